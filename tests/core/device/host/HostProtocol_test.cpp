// The host protocol's frames: a table of good and malformed frames, each read whole and byte
// by byte, and the bounds a reader keeps on lengths it cannot trust.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/host/HostProtocol.h"

namespace zub::hostproto {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "51 02 .." -> bytes; '.' groups nothing, it only makes rows readable.
Bytes Hex(const std::string& text) {
  Bytes out;
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    if (digits.size() == 2) {
      out.push_back(static_cast<std::uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    }
  }
  return out;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr std::size_t kSteps[] = {0, 1, 3, 7};  // 0 = everything at once

// clang-format off
struct THelloRow { const char* name; const char* bytes; TReadStatus status; std::uint16_t entries; };
const THelloRow kHellos[] = {
    {"all six",         "5A474248 0100 3F00", TReadStatus::Ok, 0x3F},
    {"three",           "5A474248 0100 0700", TReadStatus::Ok, 0x07},
    {"none",            "5A474248 0100 0000", TReadStatus::Ok, 0x00},
    {"empty input",     "",                   TReadStatus::End, 0},
    {"cut off",         "5A474248 01",        TReadStatus::Truncated, 0},
    {"wrong magic",     "5A474249 0100 3F00", TReadStatus::Malformed, 0},
    {"other version",   "5A474248 0200 3F00", TReadStatus::Malformed, 0},
    {"unknown entry",   "5A474248 0100 7F00", TReadStatus::Malformed, 0},
    {"high mask byte",  "5A474248 0100 3F01", TReadStatus::Malformed, 0},
};
// clang-format on

TEST(HostProtocol, ReadsTheTableOfHellos) {
  for (const THelloRow& row : kHellos) {
    for (std::size_t step : kSteps) {
      SCOPED_TRACE(std::string(row.name) + ", step " + std::to_string(step));
      const Bytes bytes = Hex(row.bytes);
      TMemorySource source(bytes, step);
      THello hello;
      hello.entries = 0xABCD;
      ASSERT_EQ(ReadHello(source, hello), row.status);
      if (row.status == TReadStatus::Ok) {
        EXPECT_EQ(hello.entries, row.entries);
        EXPECT_EQ(source.Remaining(), 0u);
      } else {
        EXPECT_EQ(hello.entries, 0xABCD);  // untouched on failure
      }
    }
  }
}

// clang-format off
struct TRequestRow {
  const char* name;
  const char* bytes;
  TReadStatus status;
  TRequest expect;
  std::size_t payload = 0;
};
const TRequestRow kRequests[] = {
    {"init port 3",        "51 00 03 00 00 000000 00000000", TReadStatus::Ok, {TEntry::InitGBPMode, 3, 0, 0, 0}},
    {"end",                "51 01 00 00 00 000000 00000000", TReadStatus::Ok, {TEntry::EndGBPMode, 0, 0, 0, 0}},
    {"read 2-5 128",       "51 02 00 02 05 000000 80000000", TReadStatus::Ok, {TEntry::ReadNVMFile, 0, 2, 5, 128}},
    {"read 4 GiB - 1",     "51 02 00 FF FF 000000 FFFFFFFF", TReadStatus::Ok, {TEntry::ReadNVMFile, 0, 255, 255, 0xFFFFFFFF}},
    {"write 3 bytes",      "51 03 00 02 05 000000 03000000 616263", TReadStatus::Ok, {TEntry::WriteNVMFile, 0, 2, 5, 3}, 3},
    {"write nothing",      "51 03 00 00 00 000000 00000000", TReadStatus::Ok, {TEntry::WriteNVMFile, 0, 0, 0, 0}},
    {"clear 7-1",          "51 04 00 07 01 000000 00000000", TReadStatus::Ok, {TEntry::ClearNVMFile, 0, 7, 1, 0}},
    {"size 2-16",          "51 05 00 02 10 000000 00000000", TReadStatus::Ok, {TEntry::GetNVMFileSize, 0, 2, 16, 0}},
    {"empty input",        "", TReadStatus::End, {}},
    {"cut in header",      "51 02 00 02 05 00", TReadStatus::Truncated, {}},
    {"cut in payload",     "51 03 00 02 05 000000 05000000 6162", TReadStatus::Truncated, {}},
    {"wrong tag",          "52 02 00 02 05 000000 80000000", TReadStatus::Malformed, {}},
    {"entry 6",            "51 06 00 00 00 000000 00000000", TReadStatus::Malformed, {}},
    {"reserved byte",      "51 01 00 00 00 000100 00000000", TReadStatus::Malformed, {}},
    {"port on a read",     "51 02 01 02 05 000000 80000000", TReadStatus::Malformed, {}},
    {"section on init",    "51 00 01 02 00 000000 00000000", TReadStatus::Malformed, {}},
    {"section on end",     "51 01 00 00 01 000000 00000000", TReadStatus::Malformed, {}},
    {"length on size",     "51 05 00 02 05 000000 01000000", TReadStatus::Malformed, {}},
    {"length on clear",    "51 04 00 02 05 000000 00000001", TReadStatus::Malformed, {}},
};
// clang-format on

TEST(HostProtocol, ReadsTheTableOfRequests) {
  for (const TRequestRow& row : kRequests) {
    for (std::size_t step : kSteps) {
      SCOPED_TRACE(std::string(row.name) + ", step " + std::to_string(step));
      const Bytes bytes = Hex(row.bytes);
      TMemorySource source(bytes, step);
      TRequest r;
      Bytes payload{1, 2, 3};
      ASSERT_EQ(ReadRequest(source, r, payload), row.status);
      if (row.status != TReadStatus::Ok) {
        EXPECT_TRUE(payload.empty());
        continue;
      }
      EXPECT_EQ(r.entry, row.expect.entry);
      EXPECT_EQ(r.port, row.expect.port);
      EXPECT_EQ(r.section, row.expect.section);
      EXPECT_EQ(r.subSection, row.expect.subSection);
      EXPECT_EQ(r.length, row.expect.length);
      ASSERT_EQ(payload.size(), row.payload);
      EXPECT_EQ(payload,
                Bytes(bytes.end() - static_cast<std::ptrdiff_t>(row.payload), bytes.end()));
      // Encoding gives the header back.
      const auto header = EncodeRequest(r);
      EXPECT_EQ(Bytes(header.begin(), header.end()), Bytes(bytes.begin(), bytes.begin() + 12));
    }
  }
}

// A reply is judged against the request it answers.
const TRequest kRead128{TEntry::ReadNVMFile, 0, 2, 5, 128};
const TRequest kRead4{TEntry::ReadNVMFile, 0, 2, 5, 4};
const TRequest kSize{TEntry::GetNVMFileSize, 0, 2, 5, 0};
const TRequest kWrite{TEntry::WriteNVMFile, 0, 2, 5, 3};

// clang-format off
struct TReplyRow {
  const char* name;
  TRequest request;
  const char* bytes;
  TReadStatus status;
  TStatus replyStatus = TStatus::Called;
  std::int32_t result = 0;
  const char* data = "";
};
const TReplyRow kReplies[] = {
    {"size 11",              kSize,    "52 00 0000 0B000000 00000000", TReadStatus::Ok, TStatus::Called, 11},
    {"size -153",            kSize,    "52 00 0000 67FFFFFF 00000000", TReadStatus::Ok, TStatus::Called, -153},
    {"write 3",              kWrite,   "52 00 0000 03000000 00000000", TReadStatus::Ok, TStatus::Called, 3},
    {"read 5 of 128",        kRead128, "52 00 0000 05000000 05000000 68656C6C6F", TReadStatus::Ok, TStatus::Called, 5, "68656C6C6F"},
    {"read 0",               kRead128, "52 00 0000 00000000 00000000", TReadStatus::Ok, TStatus::Called, 0},
    {"read failed",          kRead128, "52 00 0000 FBFFFFFF 00000000", TReadStatus::Ok, TStatus::Called, -5},
    {"read says more, cut",  kRead4,   "52 00 0000 0A000000 04000000 61626364", TReadStatus::Ok, TStatus::Called, 10, "61626364"},
    {"missing entry",        kSize,    "52 01 0000 00000000 00000000", TReadStatus::Ok, TStatus::Missing, 0},
    {"no memory",            kRead128, "52 02 0000 00000000 00000000", TReadStatus::Ok, TStatus::NoMemory, 0},
    {"empty input",          kSize,    "", TReadStatus::End},
    {"cut in header",        kSize,    "52 00 0000 0B00", TReadStatus::Truncated},
    {"cut in data",          kRead128, "52 00 0000 05000000 05000000 6865", TReadStatus::Truncated},
    {"wrong tag",            kSize,    "51 00 0000 0B000000 00000000", TReadStatus::Malformed},
    {"unknown status",       kSize,    "52 03 0000 00000000 00000000", TReadStatus::Malformed},
    {"reserved byte",        kSize,    "52 00 0100 0B000000 00000000", TReadStatus::Malformed},
    {"data on a size",       kSize,    "52 00 0000 01000000 01000000 41", TReadStatus::Malformed},
    {"more data than asked", kRead4,   "52 00 0000 05000000 05000000 6162636465", TReadStatus::Malformed},
    {"less data than said",  kRead128, "52 00 0000 05000000 04000000 61626364", TReadStatus::Malformed},
    {"data on a failure",    kRead128, "52 00 0000 FBFFFFFF 01000000 41", TReadStatus::Malformed},
    {"result when missing",  kSize,    "52 01 0000 FFFFFFFF 00000000", TReadStatus::Malformed},
    {"4 GiB claimed",        kRead4,   "52 00 0000 FFFFFF7F FFFFFFFF", TReadStatus::Malformed},
};
// clang-format on

TEST(HostProtocol, ReadsTheTableOfReplies) {
  for (const TReplyRow& row : kReplies) {
    for (std::size_t step : kSteps) {
      SCOPED_TRACE(std::string(row.name) + ", step " + std::to_string(step));
      const Bytes bytes = Hex(row.bytes);
      TMemorySource source(bytes, step);
      // The buffer is exactly the request's capacity, followed by a guard.
      Bytes buffer(row.request.length + 4, 0xEE);
      TReply reply;
      ASSERT_EQ(ReadReply(source, row.request, reply, std::span(buffer).first(row.request.length)),
                row.status);
      EXPECT_TRUE(std::all_of(buffer.end() - 4, buffer.end(), [](auto b) { return b == 0xEE; }));
      if (row.status != TReadStatus::Ok) continue;
      EXPECT_EQ(reply.status, row.replyStatus);
      EXPECT_EQ(reply.result, row.result);
      const Bytes data = Hex(row.data);
      ASSERT_EQ(reply.dataLength, data.size());
      EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(data.size())),
                data);
      // Nothing behind the delivered bytes is touched.
      EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(data.size()),
                              buffer.end(), [](auto b) { return b == 0xEE; }));
      const auto header = EncodeReply(reply);
      EXPECT_EQ(Bytes(header.begin(), header.end()), Bytes(bytes.begin(), bytes.begin() + 12));
    }
  }
}

// A write request that claims far more bytes than arrive costs memory only for what came.
TEST(HostProtocol, WritePayloadGrowsOnlyWithTheBytesThatArrive) {
  const Bytes bytes = Cat(Hex("51 03 00 02 05 000000 FFFFFFFF"), Bytes(1000, 0x41));
  TMemorySource source(bytes, 97);
  TRequest r;
  Bytes payload;
  EXPECT_EQ(ReadRequest(source, r, payload), TReadStatus::Truncated);
  EXPECT_TRUE(payload.empty());
  EXPECT_LE(payload.capacity(), 2 * kPayloadChunk);

  // A payload over several pieces arrives whole.
  const std::size_t n = 3 * kPayloadChunk + 17;
  Bytes big(n);
  for (std::size_t i = 0; i < n; ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  TRequest w{TEntry::WriteNVMFile, 0, 9, 9, static_cast<std::uint32_t>(n)};
  const auto head = EncodeRequest(w);
  const Bytes frame = Cat(Bytes(head.begin(), head.end()), big);
  TMemorySource whole(frame, 4093);
  ASSERT_EQ(ReadRequest(whole, r, payload), TReadStatus::Ok);
  EXPECT_EQ(payload, big);
}

TEST(HostProtocol, FramesFollowEachOtherOnOneStream) {
  const TRequest a{TEntry::InitGBPMode, 2, 0, 0, 0};
  const TRequest b{TEntry::WriteNVMFile, 0, 1, 2, 2};
  const TRequest c{TEntry::EndGBPMode, 0, 0, 0, 0};
  Bytes stream;
  for (const auto& r : {a, b, c}) {
    const auto h = EncodeRequest(r);
    stream.insert(stream.end(), h.begin(), h.end());
    if (r.entry == TEntry::WriteNVMFile) stream.insert(stream.end(), {0x10, 0x20});
  }
  TMemorySource source(stream, 5);
  TRequest r;
  Bytes payload;
  ASSERT_EQ(ReadRequest(source, r, payload), TReadStatus::Ok);
  EXPECT_EQ(r.port, 2);
  ASSERT_EQ(ReadRequest(source, r, payload), TReadStatus::Ok);
  EXPECT_EQ(payload, (Bytes{0x10, 0x20}));
  ASSERT_EQ(ReadRequest(source, r, payload), TReadStatus::Ok);
  EXPECT_EQ(r.entry, TEntry::EndGBPMode);
  EXPECT_EQ(ReadRequest(source, r, payload), TReadStatus::End);
}

TEST(HostProtocol, NamesTheEntryPointsBothWays) {
  EXPECT_STREQ(EntryName(TEntry::GetNVMFileSize), "GetNVMFileSize");
  // stdcall decorations count the argument bytes: four bytes for each argument.
  EXPECT_STREQ(DecoratedEntryName(TEntry::InitGBPMode), "_InitGBPMode@4");
  EXPECT_STREQ(DecoratedEntryName(TEntry::EndGBPMode), "_EndGBPMode@0");
  EXPECT_STREQ(DecoratedEntryName(TEntry::WriteNVMFile), "_WriteNVMFile@16");
  EXPECT_STREQ(DecoratedEntryName(TEntry::ClearNVMFile), "_ClearNVMFile@8");
}

}  // namespace
}  // namespace zub::hostproto
