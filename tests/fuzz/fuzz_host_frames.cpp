// The frame readers of the device library host: the host's (requests) and the tool's (hello,
// replies) over any bytes.
//
// Input: Byte reader (0 hello, 1 request, 2 reply), Byte step (how many bytes the source hands
// out at a time, 0 = all), for a reply a Byte entry, Byte section, Byte sub-section and U16
// read capacity of the request it answers; then the stream.
//
// Reading never goes outside the given bytes and reads the same whole and piecewise; an
// accepted frame encodes back to the bytes it came from; a request's payload is exactly its
// length; a reply never carries more data than the request asked for and never touches the
// buffer behind the data it carries.
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "FuzzSupport.h"
#include "device/host/HostProtocol.h"

using namespace zub;
using namespace zub::hostproto;
using zub::fuzz::TFuzzInput;

namespace {

struct TOutcome {
  TReadStatus status = TReadStatus::End;
  THello hello;
  TRequest request;
  TReply reply;
  std::vector<std::uint8_t> data;
  std::size_t remaining = 0;
};

constexpr std::uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 8;

TOutcome Run(int reader, const TRequest& asked, zub::Bytes stream, std::size_t step) {
  TMemorySource source(stream, step);
  TOutcome out;
  switch (reader) {
    case 0:
      out.status = ReadHello(source, out.hello);
      break;
    case 1:
      out.status = ReadRequest(source, out.request, out.data);
      break;
    default: {
      std::vector<std::uint8_t> buffer(asked.length + kGuardBytes, kGuard);
      out.status = ReadReply(source, asked, out.reply, std::span(buffer).first(asked.length));
      ZUB_CHECK(std::all_of(buffer.end() - kGuardBytes, buffer.end(),
                            [](std::uint8_t b) { return b == kGuard; }));
      if (out.status == TReadStatus::Ok) {
        ZUB_CHECK(out.reply.dataLength <= asked.length);
        ZUB_CHECK(std::all_of(buffer.begin() + out.reply.dataLength, buffer.end(),
                              [](std::uint8_t b) { return b == kGuard; }));
        out.data.assign(buffer.begin(), buffer.begin() + out.reply.dataLength);
      }
      break;
    }
  }
  out.remaining = source.Remaining();
  return out;
}

template <std::size_t N>
bool StartsWith(zub::Bytes stream, const std::array<std::uint8_t, N>& head) {
  return stream.size() >= N && std::equal(head.begin(), head.end(), stream.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzInput in(data, size);
  const int reader = in.Byte() % 3;
  const std::size_t step = in.Byte() % 17;
  TRequest asked;
  if (reader == 2) {
    asked.entry = static_cast<TEntry>(in.Byte() % kEntryCount);
    asked.section = in.Byte();
    asked.subSection = in.Byte();
    asked.length = in.U16();
    if (asked.entry != TEntry::ReadNVMFile && asked.entry != TEntry::WriteNVMFile) asked.length = 0;
    if (asked.entry == TEntry::InitGBPMode || asked.entry == TEntry::EndGBPMode)
      asked.section = asked.subSection = 0;
    ZUB_CHECK(IsValidRequest(asked));
  }
  const zub::Bytes stream = in.Rest();

  const TOutcome whole = Run(reader, asked, stream, 0);
  const TOutcome pieces = Run(reader, asked, stream, step);
  ZUB_CHECK(whole.status == pieces.status);
  ZUB_CHECK(whole.remaining == pieces.remaining);
  ZUB_CHECK(whole.data == pieces.data);
  ZUB_CHECK(whole.status != TReadStatus::End || stream.empty());
  if (whole.status != TReadStatus::Ok) return 0;

  const std::size_t used = stream.size() - whole.remaining;
  switch (reader) {
    case 0:
      ZUB_CHECK(used == kHelloSize);
      ZUB_CHECK(StartsWith(stream, EncodeHello(whole.hello)));
      break;
    case 1:
      ZUB_CHECK(IsValidRequest(whole.request));
      ZUB_CHECK(StartsWith(stream, EncodeRequest(whole.request)));
      ZUB_CHECK(whole.data.size() ==
                (whole.request.entry == TEntry::WriteNVMFile ? whole.request.length : 0u));
      ZUB_CHECK(used == kRequestHeaderSize + whole.data.size());
      break;
    default:
      ZUB_CHECK(StartsWith(stream, EncodeReply(whole.reply)));
      ZUB_CHECK(whole.reply.dataLength ==
                ExpectedDataLength(asked, whole.reply.status, whole.reply.result));
      ZUB_CHECK(used == kReplyHeaderSize + whole.reply.dataLength);
      break;
  }
  return 0;
}
