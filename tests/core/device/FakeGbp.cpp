// A scripted device library for the tests: a telephone in memory that answers on every port,
// plus control functions (Fake*) through which a test sets results and reads what reached the
// library. Built as several libraries: FAKE_CTE names itself cte_gbp, FAKE_NO_READ leaves out
// ReadNVMFile, FAKE_MINIMAL exports only the three entry points the tool requires,
// FAKE_NO_LOST does not say when a call lost the link (ZubSimLastCallLost).

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "device/GbpApi.h"

#define FAKE_EXPORT ZUB_GBP_EXPORT

namespace {

struct TFake {
  bool open = false;
  std::map<int, std::vector<unsigned char>> sections;  // S * 256 + SS
  std::map<std::string, std::int32_t> scripted;        // entry -> result to answer
  std::map<std::string, int> calls;
  int lastPort = -1, lastSection = -1, lastSubSection = -1;
  bool losing = false;  // a -5 loses the link (and closes the connection)
  bool lost = false;    // the most recent call lost it
  std::int64_t lastLength = -1;
};

TFake& Fake() {
  static TFake fake;
  return fake;
}

// Counts the call; true (and `result` set) when the test scripted this entry's answer.
bool Enter(const char* entry, std::int32_t& result) {
  TFake& f = Fake();
  ++f.calls[entry];
  f.lost = false;
  const auto it = f.scripted.find(entry);
  if (it == f.scripted.end()) return false;
  result = it->second;
  if (result == -5 && f.losing) {
    f.lost = true;
    f.open = false;
  }
  return true;
}

void Address(std::uint8_t section, std::uint8_t subSection) {
  Fake().lastSection = section;
  Fake().lastSubSection = subSection;
}

int Key(std::uint8_t section, std::uint8_t subSection) {
  return section * 256 + subSection;
}

}  // namespace

FAKE_EXPORT void FakeReset() {
  Fake() = TFake{};
}
FAKE_EXPORT void FakeSetResult(const char* entry, std::int32_t result) {
  Fake().scripted[entry] = result;
}
FAKE_EXPORT void FakeSetLosing(int losing) {
  Fake().losing = losing != 0;
}
FAKE_EXPORT int FakeCallCount(const char* entry) {
  const auto it = Fake().calls.find(entry);
  return it == Fake().calls.end() ? 0 : it->second;
}
FAKE_EXPORT int FakeLastPort() {
  return Fake().lastPort;
}
FAKE_EXPORT int FakeLastSection() {
  return Fake().lastSection;
}
FAKE_EXPORT int FakeLastSubSection() {
  return Fake().lastSubSection;
}
FAKE_EXPORT std::int64_t FakeLastLength() {
  return Fake().lastLength;
}
FAKE_EXPORT int FakeIsOpen() {
  return Fake().open ? 1 : 0;
}
FAKE_EXPORT const char* FakeName() {
#if defined(FAKE_CTE)
  return "cte_gbp";
#else
  return "gbp";
#endif
}

#if !defined(FAKE_NO_LOST)
ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL ZubSimLastCallLost() {
  return Fake().lost ? 1 : 0;
}
#endif

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL InitGBPMode(std::uint8_t port) {
  TFake& f = Fake();
  f.lastPort = port;
  std::int32_t r = 0;
  if (!Enter("InitGBPMode", r)) r = f.open ? -1 : 0;
  if (r == 0) f.open = true;
  return r;
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL EndGBPMode() {
  std::int32_t r = 0;
  Enter("EndGBPMode", r);
  Fake().open = false;
  return r;
}

#if !defined(FAKE_NO_READ)
ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL ReadNVMFile(std::uint8_t section, std::uint8_t subSection,
                                                     void* buffer, std::uint32_t length) {
  TFake& f = Fake();
  Address(section, subSection);
  f.lastLength = length;
  std::int32_t r = 0;
  if (Enter("ReadNVMFile", r)) return r;
  if (!f.open) return -4;
  const auto it = f.sections.find(Key(section, subSection));
  if (it == f.sections.end()) return zub::gbp::kNoSection;
  const std::size_t n = std::min<std::size_t>(length, it->second.size());
  if (n) std::memcpy(buffer, it->second.data(), n);
  return static_cast<std::int32_t>(n);
}
#endif

#if !defined(FAKE_MINIMAL)
ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL WriteNVMFile(std::uint8_t section, std::uint8_t subSection,
                                                      const void* buffer, std::uint32_t length) {
  TFake& f = Fake();
  Address(section, subSection);
  f.lastLength = length;
  std::int32_t r = 0;
  if (Enter("WriteNVMFile", r)) return r;
  if (!f.open) return -4;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  f.sections[Key(section, subSection)].assign(bytes, bytes + length);
  return static_cast<std::int32_t>(length);
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL ClearNVMFile(std::uint8_t section,
                                                      std::uint8_t subSection) {
  TFake& f = Fake();
  Address(section, subSection);
  std::int32_t r = 0;
  if (Enter("ClearNVMFile", r)) return r;
  if (!f.open) return -4;
  f.sections.erase(Key(section, subSection));
  return 0;
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL GetNVMFileSize(std::uint8_t section,
                                                        std::uint8_t subSection) {
  TFake& f = Fake();
  Address(section, subSection);
  std::int32_t r = 0;
  if (Enter("GetNVMFileSize", r)) return r;
  if (!f.open) return -4;
  const auto it = f.sections.find(Key(section, subSection));
  return it == f.sections.end() ? zub::gbp::kNoSection
                                : static_cast<std::int32_t>(it->second.size());
}
#endif
