// The device call in flight (see DeviceActivity.h), packed into one lock-free word.
#include "commands/DeviceActivity.h"

#include <atomic>

namespace zub {
namespace {

// Bits 16..23 the activity, 8..15 the section, 0..7 the sub-section.
std::atomic<std::uint32_t> gCall{0};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

std::uint32_t Pack(TDeviceActivity what, TSectionAddress a) {
  const TSectionAddress t = a.OnTelephone();
  return static_cast<std::uint32_t>(what) << 16 | static_cast<std::uint32_t>(t.Section) << 8 |
         static_cast<std::uint32_t>(t.SubSection);
}

// Appends `text` to out[at..size-1), keeping room for the terminating zero.
std::size_t Put(char* out, std::size_t size, std::size_t at, const char* text) noexcept {
  while (*text && at + 1 < size) out[at++] = *text++;
  return at;
}

std::size_t PutNumber(char* out, std::size_t size, std::size_t at, int n) noexcept {
  char digits[4] = {};
  int i = 3;
  do {
    digits[--i] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0 && i > 0);
  return Put(out, size, at, digits + i);
}

}  // namespace

TDeviceCall CurrentDeviceCall() noexcept {
  const std::uint32_t v = gCall.load();
  return {static_cast<TDeviceActivity>(v >> 16 & 0xFF),
          {static_cast<std::int32_t>(v >> 8 & 0xFF), static_cast<std::int32_t>(v & 0xFF)}};
}

std::size_t FormatDeviceCall(TDeviceCall call, char* out, std::size_t size) noexcept {
  if (size == 0) return 0;
  const char* verb = "";
  bool withAddress = true;
  switch (call.What) {
    case TDeviceActivity::None:
      withAddress = false;
      break;
    case TDeviceActivity::Opening:
      verb = "opening the connection";
      withAddress = false;
      break;
    case TDeviceActivity::Closing:
      verb = "closing the connection";
      withAddress = false;
      break;
    case TDeviceActivity::Sizing:
      verb = "sizing ";
      break;
    case TDeviceActivity::Reading:
      verb = "reading ";
      break;
    case TDeviceActivity::Writing:
      verb = "writing ";
      break;
    case TDeviceActivity::Erasing:
      verb = "erasing ";
      break;
  }
  std::size_t at = Put(out, size, 0, verb);
  if (withAddress) {
    at = PutNumber(out, size, at, call.Address.Section & 255);
    at = Put(out, size, at, "-");
    at = PutNumber(out, size, at, call.Address.SubSection & 255);
  }
  out[at] = '\0';
  return at;
}

TDeviceActivityScope::TDeviceActivityScope(TDeviceActivity what, TSectionAddress a) noexcept
    : previous_(gCall.exchange(Pack(what, a))) {}

TDeviceActivityScope::~TDeviceActivityScope() {
  gCall.store(previous_);
}

}  // namespace zub
