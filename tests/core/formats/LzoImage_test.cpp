#include "formats/LzoImage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <lzo/lzo1x.h>

#include <algorithm>
#include <random>
#include <vector>

#include "formats/SaveStore.h"
#include "formats/Ufif.h"

namespace zub {
namespace {

using Buffer = std::vector<std::uint8_t>;

// Program-like bytes: random stretches with repeats, so the compressor has something to find.
Buffer ProgramBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Buffer out;
  while (out.size() < n) {
    if (out.size() > 64 && rng() % 2) {
      const std::size_t from = rng() % (out.size() - 32);
      const std::size_t len = 4 + rng() % 28;
      for (std::size_t i = 0; i < len; ++i) out.push_back(out[from + i]);
    } else {
      for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(rng()));
    }
  }
  out.resize(n);
  return out;
}

Buffer RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Buffer out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

// Appends records of the given data lengths and a trailer behind the program.
Buffer WithStore(Buffer program, std::initializer_list<std::uint16_t> sizes, unsigned seed) {
  const auto start = static_cast<std::uint32_t>(program.size());
  for (auto n : sizes) {
    const Buffer data = RandomBytes(n, seed++);
    program.push_back(static_cast<std::uint8_t>(n));
    program.push_back(static_cast<std::uint8_t>(n >> 8));
    program.push_back(static_cast<std::uint8_t>(n));
    program.push_back(static_cast<std::uint8_t>(n >> 8));
    program.insert(program.end(), data.begin(), data.end());
  }
  program.resize(program.size() + 8);
  store_u32le(program, program.size() - 8, start);
  store_u32le(program, program.size() - 4, SaveAreaMagic);
  return program;
}

// The data that the image's compressed part unpacks to (c = compressedLength).
Buffer Unpack(const Buffer& image, std::size_t compressedLength) {
  Buffer out(*load_u32le(image, TLZOHeader::UnpackedLength));
  lzo_uint outLength = out.size();
  const int r = lzo1x_decompress_safe(image.data() + TLZOHeader::Size, compressedLength, out.data(),
                                      &outLength, nullptr);
  EXPECT_EQ(r, LZO_E_OK);
  EXPECT_EQ(outLength, out.size());
  return out;
}

Buffer NameBytes(const Buffer& image) {
  return Buffer(image.begin() + TLZOHeader::Name,
                image.begin() + TLZOHeader::Name + TLZOHeader::NameSize);
}

struct IconAsker {
  int calls = 0;
  std::uint32_t answer = DefaultIconCode;
  std::function<std::uint32_t()> Fn() {
    return [this] {
      ++calls;
      return answer;
    };
  }
};

TEST(LzoImageTest, IconCodeFromCaption) {
  EXPECT_EQ(IconCodeFromCaption("E80A"), 0xE80Au);
  EXPECT_EQ(IconCodeFromCaption("e80a"), 0xE80Au);
  EXPECT_EQ(IconCodeFromCaption("1"), 0x1u);
  EXPECT_EQ(IconCodeFromCaption(""), DefaultIconCode);
  EXPECT_EQ(IconCodeFromCaption("E80G"), DefaultIconCode);
  EXPECT_EQ(IconCodeFromCaption("0xE80A"), DefaultIconCode);
}

TEST(LzoImageTest, RawUfifProgramWithChosenIcon) {
  Buffer input = ProgramBytes(12000, 1);
  store_u32le(input, 0, 0x20010000);
  std::copy_n("Talon3D episode", 16, input.begin() + 4);

  // The command's buffer holds more than the file.
  Buffer buffer = input;
  buffer.resize(65536, 0xAA);
  IconAsker icon{.answer = IconCodeFromCaption("E80A")};
  const std::size_t length = BuildLZOImage(buffer, input.size(), icon.Fn());

  ASSERT_GT(length, TLZOHeader::Size);
  EXPECT_LT(length, 12000u);
  EXPECT_EQ(icon.calls, 1);
  EXPECT_THAT(Buffer(buffer.begin(), buffer.begin() + 4),
              ::testing::ElementsAre(0x4C, 0x5A, 0x4F, 0));
  EXPECT_EQ(NameBytes(buffer), Buffer(input.begin() + 4, input.begin() + 20));
  EXPECT_EQ(*load_u32le(buffer, TLZOHeader::Format), 0x20010000u);
  EXPECT_EQ(*load_u32le(buffer, TLZOHeader::UnpackedLength), 12000u);
  EXPECT_EQ(*load_u32le(buffer, TLZOHeader::IconCode), 0xE80Au);
  EXPECT_EQ(Unpack(buffer, length - TLZOHeader::Size), input);
}

TEST(LzoImageTest, HeaderFieldsByInputKind) {
  // ELF: image at E = 0x60, fields from it, icon at E + 20; the icon dialog is not asked.
  Buffer elf = ProgramBytes(4000, 2);
  store_u32le(elf, 0, ElfMagic);
  store_u32le(elf, 28, 52);
  store_u32le(elf, 56, 0x60);
  store_u32le(elf, 0x60, 0x20000000);
  store_u32le(elf, 0x60 + 20, 0xE80B);

  Buffer lzo = ProgramBytes(3000, 3);  // an LZO image again is data, not a program
  store_u32le(lzo, 0, LZOMagic);

  Buffer ufif20 = ProgramBytes(3000, 4);
  store_u32le(ufif20, 0, 0x20FFFFFF);

  struct Case {
    const char* what;
    Buffer input;
    std::uint32_t format;
    std::size_t nameAt;  // 0: a zero name
    std::uint32_t icon;
    int asked;
  };
  const Case cases[] = {
      {"ELF", elf, 0x20000000, 0x60 + 4, 0xE80B, 0},
      {"LZO image", lzo, 0, 0, DefaultIconCode, 0},
      {"UFIF of another build", ufif20, 0x20FFFFFF, 4, 0x1234, 1},
      {"too short for a tag", Buffer{0x00, 0x00, 0x20}, 0, 0, DefaultIconCode, 0},
  };
  for (const auto& c : cases) {
    Buffer buffer = c.input;
    IconAsker icon{.answer = 0x1234};
    const std::size_t length = BuildLZOImage(buffer, c.input.size(), icon.Fn());
    ASSERT_GT(length, TLZOHeader::Size) << c.what;
    EXPECT_EQ(*load_u32le(buffer, TLZOHeader::Magic), LZOMagic) << c.what;
    EXPECT_EQ(*load_u32le(buffer, TLZOHeader::Format), c.format) << c.what;
    EXPECT_EQ(*load_u32le(buffer, TLZOHeader::IconCode), c.icon) << c.what;
    EXPECT_EQ(icon.calls, c.asked) << c.what;
    const Buffer name = c.nameAt
                            ? Buffer(c.input.begin() + c.nameAt, c.input.begin() + c.nameAt + 16)
                            : Buffer(16, 0);
    EXPECT_EQ(NameBytes(buffer), name) << c.what;
    EXPECT_EQ(Unpack(buffer, length - TLZOHeader::Size), c.input) << c.what;
  }
}

TEST(LzoImageTest, SaveStoreIsMovedBehindTheCompressedData) {
  Buffer program = ProgramBytes(10000, 5);
  store_u32le(program, 0, 0x20010000);
  const Buffer input = WithStore(program, {100, 100}, 50);
  ASSERT_EQ(input.size(), 10216u);

  Buffer buffer = input;
  const std::size_t length = BuildLZOImage(buffer, input.size(), [] { return DefaultIconCode; });
  ASSERT_GT(length, 216u + TLZOHeader::Size);
  const std::size_t c = length - 216 - TLZOHeader::Size;

  EXPECT_EQ(*load_u32le(buffer, TLZOHeader::UnpackedLength), 10000u);
  EXPECT_EQ(Unpack(buffer, c), program);
  EXPECT_TRUE(std::equal(input.begin() + 10000, input.end() - 8,
                         buffer.begin() + static_cast<std::ptrdiff_t>(TLZOHeader::Size + c)));
  EXPECT_EQ(*load_u32le(buffer, length - 8), TLZOHeader::Size + c);
  EXPECT_EQ(*load_u32le(buffer, length - 4), SaveAreaMagic);

  std::vector<TSaveSlot> slots;
  std::int32_t start = 0, saveLength = 0;
  EXPECT_EQ(ParseSaveSlots(Bytes(buffer).first(length), slots, start, saveLength), 2);
  EXPECT_EQ(start, static_cast<std::int32_t>(TLZOHeader::Size + c));
  EXPECT_EQ(saveLength, 208);
}

TEST(LzoImageTest, IncompressibleProgramKeepsItsTailIntact) {
  // c > n - t: the compressed data reach over where the store stood in the input.
  const Buffer program = RandomBytes(2000, 6);
  const Buffer input = WithStore(program, {3000, 7}, 60);
  Buffer buffer = input;
  const std::size_t length = BuildLZOImage(buffer, input.size(), {});
  const std::size_t tail = input.size() - 2000;
  ASSERT_GT(length, tail + TLZOHeader::Size);
  const std::size_t c = length - tail - TLZOHeader::Size;
  ASSERT_GT(c, 2000u);
  EXPECT_LE(buffer.size(), std::max(length, input.size()));
  EXPECT_GE(buffer.size(), length);

  EXPECT_EQ(Unpack(buffer, c), program);
  EXPECT_TRUE(std::equal(input.begin() + 2000, input.end() - 8,
                         buffer.begin() + static_cast<std::ptrdiff_t>(TLZOHeader::Size + c)));
  EXPECT_EQ(*load_u32le(buffer, length - 8), TLZOHeader::Size + c);
}

TEST(LzoImageTest, IncompressibleInputGrowsTheBuffer) {
  const Buffer input = RandomBytes(5000, 7);
  Buffer buffer = input;
  const std::size_t length = BuildLZOImage(buffer, input.size(), {});
  ASSERT_GT(length, 5000u);
  EXPECT_GE(buffer.size(), length);
  EXPECT_EQ(Unpack(buffer, length - TLZOHeader::Size), input);
}

TEST(LzoImageTest, MalformedOrBareStoreIsCompressedWithTheProgram) {
  Buffer pastEnd = WithStore(ProgramBytes(1000, 8), {10}, 70);
  store_u32le(pastEnd, pastEnd.size() - 8, static_cast<std::uint32_t>(pastEnd.size() - 7));
  Buffer negative = WithStore(ProgramBytes(1000, 9), {10}, 71);
  store_u32le(negative, negative.size() - 8, 0x80000000u);
  Buffer overrun = WithStore(ProgramBytes(1000, 10), {10}, 72);
  store_u16le(overrun, 1000, 11);  // the record runs into the trailer
  const Buffer bare = {3, 0, 3, 0, 1, 2, 3};

  for (const Buffer& input : {pastEnd, negative, overrun, bare}) {
    Buffer buffer = input;
    const std::size_t length = BuildLZOImage(buffer, input.size(), {});
    ASSERT_GT(length, TLZOHeader::Size);
    EXPECT_EQ(*load_u32le(buffer, TLZOHeader::UnpackedLength), input.size());
    EXPECT_EQ(Unpack(buffer, length - TLZOHeader::Size), input);
  }
}

TEST(LzoImageTest, EmptyInputGivesHeaderAndEndMarker) {
  Buffer buffer;
  const std::size_t length = BuildLZOImage(buffer, 0, {});
  ASSERT_GT(length, TLZOHeader::Size);
  EXPECT_EQ(*load_u32le(buffer, TLZOHeader::UnpackedLength), 0u);
  EXPECT_TRUE(Unpack(buffer, length - TLZOHeader::Size).empty());
}

TEST(LzoImageTest, CompressorFailureLeavesTheBufferAlone) {
  const Buffer input = WithStore(ProgramBytes(3000, 11), {50}, 80);
  Buffer buffer = input;
  const TLZOCompressor failing = [](Bytes) { return std::optional<Buffer>(); };
  EXPECT_EQ(BuildLZOImage(buffer, input.size(), {}, failing), 0u);
  EXPECT_EQ(buffer, input);
}

}  // namespace
}  // namespace zub
