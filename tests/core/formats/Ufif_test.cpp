#include "formats/Ufif.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/Convert.h"

namespace zub {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using Image = std::vector<std::uint8_t>;

Image Words(std::size_t size, std::initializer_list<std::pair<std::size_t, std::uint32_t>> words) {
  Image image(size, 0);
  for (auto [offset, value] : words) store_u32le(image, offset, value);
  return image;
}

std::uint32_t At(const Image& image, std::size_t offset) {
  return *load_u32le(image, offset);
}

// An ELF file whose program-header table sits at tableOffset and names segment offset e.
Image Elf(std::size_t size, std::uint32_t tableOffset, std::uint32_t e) {
  return Words(size, {{0, ElfMagic}, {28, tableOffset}, {tableOffset + 4, e}});
}

TEST(UfifTest, EmbeddedImageOffset) {
  EXPECT_EQ(EmbeddedImageOffset(Elf(256, 52, 0x80)), 0x80u);
  EXPECT_EQ(EmbeddedImageOffset(Elf(256, 120, 0x90)), 0x90u);
  EXPECT_EQ(EmbeddedImageOffset(Elf(256, 121, 0x90)), 0u);
  EXPECT_EQ(EmbeddedImageOffset(Words(126, {{28, 120}})), 0u) << "segment offset past the end";
  // A table offset that cannot be read counts as 0, so the segment offset is read at 4.
  EXPECT_EQ(EmbeddedImageOffset(Words(30, {{4, 0x11223344}})), 0x11223344u);
}

TEST(UfifTest, UFIF20TestTakesOnlyTheExactTag) {
  struct Case {
    const char* what;
    Image image;
    bool expected;
  };
  Image elf20 = Elf(256, 52, 0x80);
  store_u32le(elf20, 0x80, UFIF20Tag);
  const Image elfCut = Elf(0x83, 52, 0x80);
  const Case cases[] = {
      {"bare 2.0", Words(64, {{0, 0x20000000}}), true},
      {"bare 2.0, 4 bytes", Words(4, {{0, 0x20000000}}), true},
      {"3 bytes", Image{0, 0, 0}, false},
      {"UFIF 2 of another build", Words(64, {{0, 0x200000A5}}), false},
      {"already 2.1", Words(64, {{0, 0x20010000}}), false},
      {"ELF embedding 2.0", elf20, true},
      {"ELF embedding 2.1",
       [&] {
         auto i = elf20;
         i[0x82] = 1;
         return i;
       }(),
       false},
      {"ELF whose image tag runs past the end", elfCut, false},
      {"ELF with far table reads E = 0", Elf(256, 124, 0x80), false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUFIF20(c.image), c.expected) << c.what;
}

TEST(UfifTest, MarkUFIF21SetsByteTwoOfTheImage) {
  Image bare = Words(32, {{0, 0x20000000}});
  MarkUFIF21(bare);
  EXPECT_EQ(At(bare, 0), 0x20010000u);

  Image elf = Elf(256, 52, 0x80);
  store_u32le(elf, 0x80, UFIF20Tag);
  MarkUFIF21(elf);
  EXPECT_EQ(At(elf, 0x80), 0x20010000u);
  EXPECT_EQ(At(elf, 0), ElfMagic);

  const Image outside = Elf(0x82, 52, 0x80);
  Image copy = outside;
  MarkUFIF21(copy);
  EXPECT_EQ(copy, outside);
}

TEST(UfifTest, FirmwareTextGivesBaseAndModel) {
  struct Case {
    const char* text;
    std::uint32_t base;
    bool z7;
  };
  const Case cases[] = {
      {"0x370000 - J7/70 3.10/4", 0x370000, false},
      {"0x36A658 - J5/6 5.4.2/1", 0x36A658, false},
      {"0x37BDD8 - Z7 4.5.6/4", 0x37BDD8, true},
      {"0x37BDD8 - z7 custom", 0x37BDD8, true},
      {"0x37BDD8 - Z8 x", 0x37BDD8, false},
      {"$10 Z7", 16, false},
      {"1 Z7 no separator", 1, true},
      {"-5 - z7", 0xFFFFFFFB, true},
  };
  for (const auto& c : cases) {
    const auto fw = ParseFirmwareText(c.text);
    EXPECT_EQ(fw.Base, c.base) << c.text;
    EXPECT_EQ(fw.Z7, c.z7) << c.text;
  }
}

TEST(UfifTest, FirmwareTextThatIsNoNumberRaises) {
  const std::pair<const char*, const char*> cases[] = {
      {"0x370000", "'' is not a valid integer value"},
      {"", "'' is not a valid integer value"},
      {"J7 - 0x370000", "'J7' is not a valid integer value"},
      {" 0x370000 - J7", "'' is not a valid integer value"},
  };
  for (auto [text, message] : cases) {
    try {
      ParseFirmwareText(text);
      ADD_FAILURE() << text;
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
}

constexpr TFirmwareChoice kJ7{0x370000, false};
constexpr TFirmwareChoice kZ7{0x37BDD8, true};
constexpr TFirmwareChoice kJ5{0x37BDD8, false};
constexpr TFirmwareChoice kSame{UfifLinkBase, false};

TEST(UfifTest, PatternOneRelocatesItsLiteralAndSkipsPastIt) {
  Image image = Words(128, {{100, UfifStubPattern1},
                            {104, 0x36AC74},  // between stub and literal: not examined
                            {108, 0x36A9D1},
                            {112, 0x36AC74}});
  EXPECT_THAT(ConvertToUFIF21(image, kJ7), IsEmpty());
  EXPECT_EQ(At(image, 108), 0x37037Du);  // 0x36A9D5 + 0x59A8
  EXPECT_EQ(At(image, 104), 0x36AC74u);
  EXPECT_EQ(At(image, 112), 0x36AC74u + 0x59A8u);
}

TEST(UfifTest, PatternOneWithLiteralAtTheLinkBaseIsLeftAlone) {
  Image image = Words(128, {{100, UfifStubPattern1}, {104, 0x36AC74}, {108, 0x36A658}});
  EXPECT_THAT(ConvertToUFIF21(image, kJ7), ElementsAre("offset: 108; UFIF Address:3581528"));
  EXPECT_EQ(At(image, 104), 0x36AC74u + 0x59A8u) << "the scan went on at the next word";
  EXPECT_EQ(At(image, 108), 0x36A658u);
}

TEST(UfifTest, PatternTwoRelocatesTheWordTwentyFourOnAndSkipsThirtyTwo) {
  Image image = Words(256, {{100, UfifStubPattern2},
                            {120, 0x36AC74},  // skipped
                            {124, 0x36A9D1},  // the literal; no correction for pattern 2
                            {128, 0x36AC74},  // skipped
                            {132, 0x36AC74}});
  EXPECT_THAT(ConvertToUFIF21(image, kJ7), IsEmpty());
  EXPECT_EQ(At(image, 124), 0x36A9D1u + 0x59A8u);
  EXPECT_EQ(At(image, 120), 0x36AC74u);
  EXPECT_EQ(At(image, 128), 0x36AC74u);
  EXPECT_EQ(At(image, 132), 0x36AC74u + 0x59A8u);

  Image outOfRange = Words(256, {{100, UfifStubPattern2}, {104, 0x36AA84}, {124, 0x370000}});
  ConvertToUFIF21(outOfRange, kJ7);
  EXPECT_EQ(At(outOfRange, 124), 0x370000u);
  EXPECT_EQ(At(outOfRange, 104), 0x36AA84u + 0x59A8u);
}

TEST(UfifTest, BareAddressesAndModelWord) {
  const std::uint32_t bare[] = {0x36AC74, 0x36AA84, 0x36A97C, 0x36AE14, 0x36AE18, 0x36AE1C};
  for (auto fw : {kZ7, kJ5}) {
    Image image(64, 0);
    for (std::size_t i = 0; i < 6; ++i) store_u32le(image, 20 + 4 * i, bare[i]);
    store_u32le(image, 44, UfifModelWord);
    EXPECT_THAT(ConvertToUFIF21(image, fw), IsEmpty()) << "the model word is never reported";
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(At(image, 20 + 4 * i), bare[i] + 0x11780u);
    EXPECT_EQ(At(image, 20), 0x37C3F4u);
    EXPECT_EQ(At(image, 44), fw.Z7 ? 0x8A0000u : 0x820000u);
  }
}

TEST(UfifTest, LinkBaseFirmwareOnlyCorrectsTheEntry) {
  Image image = Words(128, {{20, 0x36AC74},
                            {40, UfifStubPattern1},
                            {48, 0x36A9D1},
                            {60, UfifStubPattern2},
                            {84, 0x36B000}});
  Image expected = image;
  store_u32le(expected, 48, 0x36A9D5);
  ConvertToUFIF21(image, kSame);
  EXPECT_EQ(image, expected);
}

TEST(UfifTest, RelocationWrapsAround32Bits) {
  Image image = Words(64, {{20, 0x36AC74}});
  ConvertToUFIF21(image, {0x100, false});
  EXPECT_EQ(At(image, 20), 0x36AC74u - 0x36A558u);
}

TEST(UfifTest, ReportListsUnrelocatedFirmwareWords) {
  Image image = Words(64, {{24, 0x36A640}, {28, 0x36A630}, {32, 0x36FFFF}, {36, 0x370000}});
  EXPECT_THAT(ConvertToUFIF21(image, kJ7),
              ElementsAre("offset: 24; UFIF Address:3581504", "offset: 32; UFIF Address:3604479"));
}

TEST(UfifTest, FirstTwentyBytesAndLengthNeverChange) {
  Image image = Words(
      44, {{0, 0x36AC74}, {4, UfifStubPattern1}, {12, 0x36A9D1}, {16, 0x820000}, {20, 0x36AE14}});
  image.push_back(0x74);  // a partial word at the end stays as it is
  const Image before = image;
  ConvertToUFIF21(image, kZ7);
  EXPECT_EQ(image.size(), before.size());
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 20, image.begin()));
  EXPECT_EQ(At(image, 20), 0x36AE14u + 0x11780u);
  EXPECT_EQ(image.back(), 0x74);
}

TEST(UfifTest, LiteralsPastTheEndAreLeftAlone) {
  // Pattern 1 with only 2 bytes of its literal inside; pattern 2 without its literal.
  Image one = Words(40, {{28, UfifStubPattern1}, {32, 0x36AC74}});
  one.resize(38);
  Image two = Words(48, {{24, UfifStubPattern2}, {40, 0x36AE18}});
  for (Image* image : {&one, &two}) {
    const Image before = *image;
    ConvertToUFIF21(*image, kJ7);
    EXPECT_EQ(image->size(), before.size());
    for (std::size_t o = 0; o + 4 <= image->size(); o += 4) {
      const std::uint32_t w = At(before, o);
      const bool bare = w == 0x36AC74 || w == 0x36AE18;
      EXPECT_EQ(At(*image, o), bare ? w + 0x59A8u : w) << o;
    }
    EXPECT_EQ(image->back(), before.back());
  }
}

TEST(UfifTest, ElfFileIsScannedFromByteTwentyOfTheFile) {
  Image elf = Elf(256, 52, 0x80);
  store_u32le(elf, 20, 0x36AC74);  // inside the ELF header, still examined
  store_u32le(elf, 0x80, 0x20010000);
  store_u32le(elf, 0x80 + 20, 0x36AE1C);
  ConvertToUFIF21(elf, kJ7);
  EXPECT_EQ(At(elf, 20), 0x36AC74u + 0x59A8u);
  EXPECT_EQ(At(elf, 0x80 + 20), 0x36AE1Cu + 0x59A8u);
  EXPECT_EQ(At(elf, 0x80), 0x20010000u);
}

}  // namespace
}  // namespace zub
