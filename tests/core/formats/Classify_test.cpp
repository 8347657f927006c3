#include "formats/Classify.h"
#include "formats/Ufif.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zub {
namespace {

// A head of `size` zero bytes with fields put in place.
struct Head {
  std::vector<std::uint8_t> b;
  explicit Head(std::size_t size = 128) : b(size, 0) {}
  Head& U32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      if (at + i < b.size()) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    return *this;
  }
  Head& Text(std::size_t at, std::string_view s) {
    for (std::size_t i = 0; i < s.size() && at + i < b.size(); ++i)
      b[at + i] = static_cast<std::uint8_t>(s[i]);
    return *this;
  }
  Head& Utf16(std::size_t at, std::u16string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (at + 2 * i + 1 >= b.size()) break;
      b[at + 2 * i] = static_cast<std::uint8_t>(s[i]);
      b[at + 2 * i + 1] = static_cast<std::uint8_t>(s[i] >> 8);
    }
    return *this;
  }
};

constexpr std::uint32_t LZO = 0x004F5A4C, ELF = 0x464C457F;

struct Case {
  const char* name;
  Head head;
  std::int32_t section = 2, subSection = 5;
  // expected
  std::int32_t kind;
  std::string title;
  std::optional<std::uint32_t> format;
  std::int32_t compression;
  std::optional<std::int32_t> unpacked;
  std::int32_t icon;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

std::vector<Case> Cases() {
  std::vector<Case> c;
  const auto add = [&](const char* name, Head h, std::int32_t kind, std::string title,
                       std::optional<std::uint32_t> format, std::int32_t compression,
                       std::optional<std::int32_t> unpacked, std::int32_t icon, int s = 2,
                       int ss = 5) {
    c.push_back(
        {name, std::move(h), s, ss, kind, std::move(title), format, compression, unpacked, icon});
  };
  // Line 1: LZO images.
  add("lzo program",
      Head().U32(0, LZO).Text(4, "Tetris").U32(20, 0x20000000).U32(24, 10000).U32(28, 0xE852), 1,
      "Tetris", 0x20000000, 1, 10000, 107);
  add("lzo data",
      Head().U32(0, LZO).Text(4, "Tetris").U32(20, 0x12345678).U32(24, 7).U32(28, 0xE855), 4,
      "< Data >", 0x12345678, 1, 7, 110);
  add("lzo short head: fields beyond it are 0", Head(10).U32(0, LZO).Text(4, "Abcdef"), 4,
      "< Data >", 0, 1, 0, 0);
  add("lzo head ending inside the tag", Head(22).U32(0, LZO).U32(20, 0x20000000), 4, "< Data >", 0,
      1, 0, 0);
  add("lzo head ending before the unpacked size",
      Head(24).U32(0, LZO).Text(4, "Ab").U32(20, 0x20010000), 1, "Ab", 0x20010000, 1, 0, 0);
  // Line 2: ELF files; the icon code sits at E + 24, not E + 20.
  add("elf image at the first segment",
      Head()
          .U32(0, ELF)
          .U32(28, 52)
          .U32(56, 64)
          .U32(64, 0x20010000)
          .Text(68, "Elfprog")
          .U32(84, 0xE852)
          .U32(88, 0xE899),
      1, "Elfprog", 0x20010000, 0, std::nullopt, 147);
  add("elf table beyond 120: the header is the image",
      Head().U32(0, ELF).Text(4, "HEADNAME").U32(24, 0xE83D).U32(28, 121), 1, "HEADNAME", ELF, 0,
      std::nullopt, 20);
  add("elf table at 120",
      Head().U32(0, ELF).U32(28, 120).U32(124, 8).U32(8, 0x20000000).Text(12, "Z"), 1, "Z",
      0x20000000, 0, std::nullopt, 0);
  add("elf image past the head", Head().U32(0, ELF).U32(28, 52).U32(56, 200), 1, "", 0, 0,
      std::nullopt, 0);
  add("elf image near the end: name cut, icon absent",
      Head()
          .U32(0, ELF)
          .U32(28, 52)
          .U32(56, 110)
          .U32(110, 0x20000000)
          .Text(114, "ABCDEFGHIJKLMNOP"),
      1, "ABCDEFGHIJKLMN", 0x20000000, 0, std::nullopt, 0);
  add("elf image offset at the very top", Head().U32(0, ELF).U32(28, 52).U32(56, 0xFFFFFFF0), 1, "",
      0, 0, std::nullopt, 0);
  add("elf head too short for the table offset", Head(30).U32(0, ELF).Text(4, "XY"), 1, "", 0, 0,
      std::nullopt, 0);
  add("elf table offset whose entry is past the head", Head(60).U32(0, ELF).U32(28, 58), 1, "", 0,
      0, std::nullopt, 0);
  // Lines 3 to 5: program images.
  add("prg3", Head().U32(0, 0x30C0DE01).Text(4, "Snake"), 1, "Snake", 0x30C0DE01, 0, std::nullopt,
      107);
  add("prg3.5 low", Head().U32(0, 0x35001234).Text(4, "A"), 1, "A", 0x3500, 0, std::nullopt, 107);
  add("prg3.5 high", Head().U32(0, 0x3501FFFF).Text(4, "B"), 1, "B", 0x3500, 0, std::nullopt, 107);
  add("0x3502 is data", Head().U32(0, 0x35020000), 4, "< Free or unknown data >", std::nullopt, 0,
      std::nullopt, -1);
  add("ufif", Head().U32(0, 0x20000000).Text(4, "Hello"), 1, "Hello", 0x20000000, 0, std::nullopt,
      107);
  add("name in the telephone's code page",
      Head().U32(0, 0x20000000).Text(4, "\xC7\xEC\xE5\xE9\xEA\xE0 \xB9\x31"), 1, "Змейка №1",
      0x20000000, 0, std::nullopt, 107);
  add("lzo name in the telephone's code page",
      Head().U32(0, LZO).Text(4, "\xD8\xE0\xF5\xEC\xE0\xF2\xFB").U32(20, 0x20010000), 1, "Шахматы",
      0x20010000, 1, 0, 0);
  add("16 name bytes without a zero", Head().U32(0, 0x20010000).Text(4, "ABCDEFGHIJKLMNOPQR"), 1,
      "ABCDEFGHIJKLMNOP", 0x20010000, 0, std::nullopt, 107);
  add("LIB and a blank is a program", Head().Text(0, "LIB Game"), 1, "Game", 0x2042494C, 0,
      std::nullopt, 107);
  // Lines 6 to 11: data; Format and UnpackedSize stay.
  add("ufif2 library", Head().Text(0, "LIB\x01"), 4, "< UFIF2 ExtLibrary >", std::nullopt, 0,
      std::nullopt, -1);
  add("gif", Head().Text(0, "GIF89a"), 3, "< GIF-File >", std::nullopt, 0, std::nullopt, -1);
  add("gif of three bytes", Head(3).Text(0, "GIF"), 3, "< GIF-File >", std::nullopt, 0,
      std::nullopt, -1);
  add("ringer", Head().Utf16(4, u"Звонок 1"), 4, "ringer: Звонок 1", std::nullopt, 0, std::nullopt,
      -1);
  add("ringer with characters outside the code page", Head().Utf16(4, u"a\u4E2D\U0001F600b\u20AC"),
      4, "ringer: a中😀b€", std::nullopt, 0, std::nullopt, -1);
  add("ringer with a lone surrogate", Head().Utf16(4, std::u16string_view(u"x\xDC00y", 3)), 4,
      "ringer: x\uFFFDy", std::nullopt, 0, std::nullopt, -1);
  add("ringer to the end of an odd head", Head(11).Utf16(4, u"xyz").Text(10, "q"), 4, "ringer: xyz",
      std::nullopt, 0, std::nullopt, -1);
  add("photo pack", Head().Text(0, "PHF1"), 4, "< imagoVELA pack >", std::nullopt, 0, std::nullopt,
      -1);
  add("prg3 library in 2-16", Head(40).U32(0, 3).U32(4, 1).U32(8, 2).U32(12, 4), 4,
      "< PRG3 ExtLibrary ver.3>", std::nullopt, 0, std::nullopt, -1, 2, 16);
  add("prg3 library version in signed decimal", Head(17).U32(0, 0xFFFFFFFF), 4,
      "< PRG3 ExtLibrary ver.-1>", std::nullopt, 0, std::nullopt, -1, 2, 16);
  add("same bytes in 2-17", Head(40).U32(0, 3).U32(4, 1).U32(8, 2).U32(12, 4), 4,
      "< Free or unknown data >", std::nullopt, 0, std::nullopt, -1, 2, 17);
  add("16 bytes are no prg3 library", Head(16).U32(0, 3).U32(4, 1).U32(8, 2).U32(12, 4), 4,
      "< Free or unknown data >", std::nullopt, 0, std::nullopt, -1, 2, 16);
  add("prg3 library needs byte 11 zero", Head(40).U32(0, 3).U32(8, 0x01000000), 4,
      "< Free or unknown data >", std::nullopt, 0, std::nullopt, -1, 2, 16);
  // Heads too short for the 32-bit value: no line needing it matches.
  add("two zero bytes are not a ringer", Head(2), 4, "< Free or unknown data >", std::nullopt, 0,
      std::nullopt, -1);
  add("nothing delivered", Head(0), 4, "< Free or unknown data >", std::nullopt, 0, std::nullopt,
      -1);
  return c;
}

class ClassifyLines : public ::testing::TestWithParam<Case> {};

TEST_P(ClassifyLines, FillsTheContentFields) {
  const Case& c = GetParam();
  THeadInput in{c.head.b, c.section, c.subSection, 5000, "Free"};
  const THeadClass r = ClassifyHead(in, {});
  EXPECT_EQ(r.Kind, c.kind);
  EXPECT_EQ(r.Title, c.title);
  EXPECT_EQ(r.Format, c.format);
  EXPECT_EQ(r.Compression, c.compression);
  EXPECT_EQ(r.UnpackedSize, c.unpacked);
  EXPECT_EQ(r.Icon, c.icon);
  EXPECT_EQ(r.Size, 5000);
}

INSTANTIATE_TEST_SUITE_P(AllLines, ClassifyLines, ::testing::ValuesIn(Cases()),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

TEST(Classify, UnrecognisedDataAsksForTheSignatureName) {
  std::vector<std::pair<std::uint32_t, std::string>> asked;
  const std::map<std::uint32_t, std::string> sign = {{3, "Saved game"}};
  const TSignatureLookup lookup = [&](std::uint32_t first, const std::string& fallback) {
    asked.emplace_back(first, fallback);
    const auto it = sign.find(first);
    return it == sign.end() ? fallback : it->second;
  };
  const Head known = Head(40).U32(0, 3).U32(4, 1).U32(8, 2).U32(12, 4);
  EXPECT_EQ(ClassifyHead({known.b, 2, 17, 40, "Games"}, lookup).Title, "< Saved game >");
  const Head other = Head(40).U32(0, 0x11223344);
  EXPECT_EQ(ClassifyHead({other.b, 2, 17, 40, "Games"}, lookup).Title, "< Games or unknown data >");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], (std::pair<std::uint32_t, std::string>{3, "Games or unknown data"}));
  EXPECT_EQ(asked[1].first, 0x11223344u);
  // A recognised head never asks.
  ClassifyHead({Head().Text(0, "GIF89a").b, 2, 17, 40, "Games"}, lookup);
  EXPECT_EQ(asked.size(), 2u);
}

TEST(Classify, ApplyKeepsTheCatalogueFieldsAndUnchangedValues) {
  TSectInfo row;
  row.Section = 2;
  row.SubSection = 17;
  row.MaxSize = 4000;
  row.Description = "Games";
  row.Format = 0x20000000;
  row.UnpackedSize = 9999;
  row.Compression = 1;
  row.Icon = 107;
  ApplyHeadClass(row, ClassifyHead({Head().Text(0, "GIF89a").b, 2, 17, 5000, "Games"}, {}));
  EXPECT_EQ(row.Section, 2);
  EXPECT_EQ(row.SubSection, 17);
  EXPECT_EQ(row.MaxSize, 4000);
  EXPECT_EQ(row.Description, "Games");
  EXPECT_EQ(row.Format, 0x20000000u);
  EXPECT_EQ(row.UnpackedSize, 9999);
  EXPECT_EQ(row.Kind, 3);
  EXPECT_EQ(row.Compression, 0);
  EXPECT_EQ(row.Icon, -1);
  EXPECT_EQ(row.Size, 5000);

  ApplyHeadClass(
      row, ClassifyHead(
               {Head().U32(0, LZO).U32(20, 0x20000000).U32(24, 20000).b, 2, 17, 100, "Games"}, {}));
  EXPECT_EQ(row.UnpackedSize, 20000);
  EXPECT_EQ(row.Compression, 1);
  EXPECT_EQ(row.Size, 100);
}

TEST(Classify, ElfImageOffset) {
  EXPECT_EQ(ElfImageOffset(Head().U32(28, 52).U32(56, 64).b, TElfField::Unknown), 64u);
  EXPECT_EQ(ElfImageOffset(Head().U32(28, 121).U32(125, 64).b, TElfField::Unknown), 0u);
  EXPECT_EQ(ElfImageOffset(Head(31).b, TElfField::Unknown), std::nullopt);
  EXPECT_EQ(ElfImageOffset(Head(59).U32(28, 52).b, TElfField::Unknown), std::nullopt);
}

}  // namespace
}  // namespace zub
