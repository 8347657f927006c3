// The framed binary protocol between the tool and gbp-host.exe, the small 32-bit Windows
// program that loads a Windows device library and serves its six entry points over standard
// input and output. Pure C++: no operating-system calls, so both sides (and the MinGW build of
// the host) compile this same file.
//
// Frames, all numbers little-endian:
//   hello   (host -> tool, once)  "ZGBH", u16 version, u16 entry mask (bit i = entry i exists)
//   request (tool -> host)        u8 'Q', u8 entry, u8 port, u8 section, u8 sub-section,
//                                 3 zero bytes, u32 length; a WriteNVMFile request is
//                                 followed by `length` bytes to write
//   reply   (host -> tool)        u8 'R', u8 status, 2 zero bytes, i32 result, u32 data length,
//                                 then the bytes read
// A request carries only what its entry point takes: the port for InitGBPMode, section and
// sub-section for the four section calls, a length for ReadNVMFile (the buffer capacity) and
// WriteNVMFile; every other field must be zero. A reply carries data only for a ReadNVMFile
// that the library answered with a count of zero or more, exactly min(count, capacity) bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zub::hostproto {

inline constexpr std::uint16_t kVersion = 1;

// The entry points in the order the device component keeps them.
enum class TEntry : std::uint8_t {
  InitGBPMode = 0,
  EndGBPMode = 1,
  ReadNVMFile = 2,
  WriteNVMFile = 3,
  ClearNVMFile = 4,
  GetNVMFileSize = 5,
};
inline constexpr int kEntryCount = 6;
inline constexpr std::uint16_t kAllEntries = (1u << kEntryCount) - 1;

const char* EntryName(TEntry entry);
// The name a 32-bit stdcall export carries when the library was linked with decorations
// ("_InitGBPMode@4").
const char* DecoratedEntryName(TEntry entry);

struct THello {
  std::uint16_t version = kVersion;
  std::uint16_t entries = 0;  // bit i set = TEntry i exists
  bool Has(TEntry e) const { return (entries >> static_cast<unsigned>(e)) & 1u; }
};

struct TRequest {
  TEntry entry = TEntry::EndGBPMode;
  std::uint8_t port = 0;
  std::uint8_t section = 0;
  std::uint8_t subSection = 0;
  std::uint32_t length = 0;  // ReadNVMFile: buffer capacity; WriteNVMFile: payload bytes
};

enum class TStatus : std::uint8_t {
  Called = 0,    // the library was called; `result` is its answer
  Missing = 1,   // the library lacks the entry point; it was not called
  NoMemory = 2,  // the host could not hold the call's buffer; the library was not called
};

struct TReply {
  TStatus status = TStatus::Called;
  std::int32_t result = 0;
  std::uint32_t dataLength = 0;
};

inline constexpr std::size_t kHelloSize = 8;
inline constexpr std::size_t kRequestHeaderSize = 12;
inline constexpr std::size_t kReplyHeaderSize = 12;
// Payloads are taken in pieces of at most this size, so a length that the bytes never back
// costs no more memory than the bytes that really came.
inline constexpr std::size_t kPayloadChunk = 64 * 1024;

// Whether the fields fit the entry point (see the frame layout above).
bool IsValidRequest(const TRequest& request);
// The number of data bytes a reply to `request` must carry for a given status and result.
std::uint32_t ExpectedDataLength(const TRequest& request, TStatus status, std::int32_t result);

std::array<std::uint8_t, kHelloSize> EncodeHello(const THello& hello);
// The request's header; a WriteNVMFile's payload follows it on the wire.
std::array<std::uint8_t, kRequestHeaderSize> EncodeRequest(const TRequest& request);
// The reply's header; the data follows it on the wire.
std::array<std::uint8_t, kReplyHeaderSize> EncodeReply(const TReply& reply);

// Where a reader takes its bytes from: ReadSome delivers at least one and at most
// `into.size()` bytes, or 0 at the end of input (or when the input failed).
class IByteSource {
 public:
  virtual ~IByteSource() = default;
  virtual std::size_t ReadSome(std::span<std::uint8_t> into) = 0;
};

enum class TReadStatus {
  Ok,
  End,        // the input ended cleanly before the first byte of the frame
  Truncated,  // the input ended inside the frame
  Malformed,  // the bytes are not a valid frame
};

TReadStatus ReadHello(IByteSource& source, THello& hello);
// The payload of a WriteNVMFile is appended to `payload` (cleared first) as it arrives.
TReadStatus ReadRequest(IByteSource& source, TRequest& request, std::vector<std::uint8_t>& payload);
// Reads the reply to `request`. The data of a ReadNVMFile lands at the start of `readBuffer`,
// which must hold request.length bytes; nothing beyond the delivered bytes is touched.
TReadStatus ReadReply(IByteSource& source, const TRequest& request, TReply& reply,
                      std::span<std::uint8_t> readBuffer);

// A source over bytes in memory, handing out at most `step` bytes per ReadSome (0 = all).
class TMemorySource : public IByteSource {
 public:
  explicit TMemorySource(std::span<const std::uint8_t> bytes, std::size_t step = 0)
      : bytes_(bytes), step_(step) {}
  std::size_t ReadSome(std::span<std::uint8_t> into) override;
  std::size_t Remaining() const { return bytes_.size() - pos_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t step_;
  std::size_t pos_ = 0;
};

}  // namespace zub::hostproto
