// Encoding and validating reading of the host protocol's frames (layout in HostProtocol.h).
#include "device/host/HostProtocol.h"

#include <algorithm>

#include "base/Bytes.h"
#include "device/GbpApi.h"

namespace zub::hostproto {

namespace {

constexpr std::uint8_t kHelloMagic[4] = {'Z', 'G', 'B', 'H'};
constexpr std::uint8_t kRequestTag = 'Q';
constexpr std::uint8_t kReplyTag = 'R';

bool TakesPort(TEntry e) {
  return e == TEntry::InitGBPMode;
}
bool TakesSection(TEntry e) {
  return e != TEntry::InitGBPMode && e != TEntry::EndGBPMode;
}
bool TakesLength(TEntry e) {
  return e == TEntry::ReadNVMFile || e == TEntry::WriteNVMFile;
}

// Fills `into` completely. `End` only when not a single byte came and `atFrameStart`.
TReadStatus ReadExact(IByteSource& source, std::span<std::uint8_t> into, bool atFrameStart) {
  std::size_t got = 0;
  while (got < into.size()) {
    const std::size_t n = source.ReadSome(into.subspan(got));
    if (n == 0) return got == 0 && atFrameStart ? TReadStatus::End : TReadStatus::Truncated;
    got += std::min(n, into.size() - got);
  }
  return TReadStatus::Ok;
}

}  // namespace

const char* EntryName(TEntry entry) {
  const auto i = static_cast<std::size_t>(entry);
  return i < kEntryCount ? gbp::kEntryNames[i].plain : "?";
}

const char* DecoratedEntryName(TEntry entry) {
  const auto i = static_cast<std::size_t>(entry);
  return i < kEntryCount ? gbp::kEntryNames[i].decorated : "?";
}

bool IsValidRequest(const TRequest& r) {
  if (static_cast<unsigned>(r.entry) >= kEntryCount) return false;
  if (!TakesPort(r.entry) && r.port != 0) return false;
  if (!TakesSection(r.entry) && (r.section != 0 || r.subSection != 0)) return false;
  if (!TakesLength(r.entry) && r.length != 0) return false;
  return true;
}

std::uint32_t ExpectedDataLength(const TRequest& request, TStatus status, std::int32_t result) {
  if (request.entry != TEntry::ReadNVMFile || status != TStatus::Called || result < 0) return 0;
  return std::min(static_cast<std::uint32_t>(result), request.length);
}

std::array<std::uint8_t, kHelloSize> EncodeHello(const THello& hello) {
  std::array<std::uint8_t, kHelloSize> out{};
  std::copy(std::begin(kHelloMagic), std::end(kHelloMagic), out.begin());
  store_u16le(out, 4, hello.version);
  store_u16le(out, 6, hello.entries);
  return out;
}

std::array<std::uint8_t, kRequestHeaderSize> EncodeRequest(const TRequest& r) {
  std::array<std::uint8_t, kRequestHeaderSize> out{};
  out[0] = kRequestTag;
  out[1] = static_cast<std::uint8_t>(r.entry);
  out[2] = r.port;
  out[3] = r.section;
  out[4] = r.subSection;
  store_u32le(out, 8, r.length);
  return out;
}

std::array<std::uint8_t, kReplyHeaderSize> EncodeReply(const TReply& r) {
  std::array<std::uint8_t, kReplyHeaderSize> out{};
  out[0] = kReplyTag;
  out[1] = static_cast<std::uint8_t>(r.status);
  store_u32le(out, 4, static_cast<std::uint32_t>(r.result));
  store_u32le(out, 8, r.dataLength);
  return out;
}

TReadStatus ReadHello(IByteSource& source, THello& hello) {
  std::array<std::uint8_t, kHelloSize> head{};
  if (const auto s = ReadExact(source, head, true); s != TReadStatus::Ok) return s;
  if (!std::equal(std::begin(kHelloMagic), std::end(kHelloMagic), head.begin()))
    return TReadStatus::Malformed;
  const std::uint16_t version = load_u16le(head, 4).value_or(0);
  const std::uint16_t entries = load_u16le(head, 6).value_or(0xFFFF);
  if (version != kVersion || (entries & ~kAllEntries) != 0) return TReadStatus::Malformed;
  hello.version = version;
  hello.entries = entries;
  return TReadStatus::Ok;
}

TReadStatus ReadRequest(IByteSource& source, TRequest& request,
                        std::vector<std::uint8_t>& payload) {
  payload.clear();
  std::array<std::uint8_t, kRequestHeaderSize> head{};
  if (const auto s = ReadExact(source, head, true); s != TReadStatus::Ok) return s;
  if (head[0] != kRequestTag || head[1] >= kEntryCount || head[5] || head[6] || head[7])
    return TReadStatus::Malformed;
  TRequest r;
  r.entry = static_cast<TEntry>(head[1]);
  r.port = head[2];
  r.section = head[3];
  r.subSection = head[4];
  r.length = load_u32le(head, 8).value_or(0);
  if (!IsValidRequest(r)) return TReadStatus::Malformed;
  if (r.entry == TEntry::WriteNVMFile) {
    // Grow with the bytes that really arrive, never ahead of them by more than one piece.
    std::size_t remaining = r.length;
    while (remaining > 0) {
      const std::size_t piece = std::min(remaining, kPayloadChunk);
      const std::size_t at = payload.size();
      payload.resize(at + piece);
      if (ReadExact(source, std::span(payload).subspan(at, piece), false) != TReadStatus::Ok) {
        payload.clear();
        return TReadStatus::Truncated;
      }
      remaining -= piece;
    }
  }
  request = r;
  return TReadStatus::Ok;
}

TReadStatus ReadReply(IByteSource& source, const TRequest& request, TReply& reply,
                      std::span<std::uint8_t> readBuffer) {
  std::array<std::uint8_t, kReplyHeaderSize> head{};
  if (const auto s = ReadExact(source, head, true); s != TReadStatus::Ok) return s;
  if (head[0] != kReplyTag || head[1] > static_cast<std::uint8_t>(TStatus::NoMemory) || head[2] ||
      head[3])
    return TReadStatus::Malformed;
  TReply r;
  r.status = static_cast<TStatus>(head[1]);
  r.result = static_cast<std::int32_t>(load_u32le(head, 4).value_or(0));
  r.dataLength = load_u32le(head, 8).value_or(0);
  // Only a called library has a result of its own.
  if (r.status != TStatus::Called && r.result != 0) return TReadStatus::Malformed;
  if (r.dataLength != ExpectedDataLength(request, r.status, r.result))
    return TReadStatus::Malformed;
  if (r.dataLength > readBuffer.size()) return TReadStatus::Malformed;
  if (r.dataLength) {
    if (ReadExact(source, readBuffer.first(r.dataLength), false) != TReadStatus::Ok)
      return TReadStatus::Truncated;
  }
  reply = r;
  return TReadStatus::Ok;
}

std::size_t TMemorySource::ReadSome(std::span<std::uint8_t> into) {
  std::size_t n = std::min(into.size(), bytes_.size() - pos_);
  if (step_) n = std::min(n, step_);
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_), n, into.begin());
  pos_ += n;
  return n;
}

}  // namespace zub::hostproto
