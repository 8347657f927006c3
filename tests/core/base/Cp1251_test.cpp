#include "base/Cp1251.h"

#include <gtest/gtest.h>

namespace zub {
namespace {

TEST(Cp1251, Utf16Units) {
  const std::pair<std::uint16_t, std::uint8_t> cases[] = {
      {u'A', 'A'},    {0x0410, 0xC0}, {0x044F, 0xFF}, {0x0401, 0xA8}, {0x0451, 0xB8},
      {0x20AC, 0x88}, {0x2116, 0xB9}, {0x00A0, 0xA0}, {0x0490, 0xA5}, {0x2014, 0x97},
      {0x0402, 0x80}, {0x045F, 0x9F}, {0x0098, 0x98}, {0x00E4, '?'},  {0x4E2D, '?'},
      {0xD83D, '?'},  {0x0080, '?'},
  };
  for (const auto& [unit, byte] : cases)
    EXPECT_EQ(static_cast<std::uint8_t>(Utf16UnitToCp1251(unit)), byte) << std::hex << unit;
}

TEST(Cp1251, EveryHighByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    const char32_t cp = Cp1251ToUnicode(static_cast<std::uint8_t>(b));
    ASSERT_EQ(UnicodeToCp1251(cp), static_cast<std::uint8_t>(b)) << b;
  }
}

TEST(Cp1251, Texts) {
  EXPECT_EQ(Utf16ToCp1251(u"Привет, мир"), "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0");
  // A character outside the basic plane is one '?'; a lone surrogate is one too.
  EXPECT_EQ(Utf16ToCp1251(u"a\U0001F600b"), "a?b");
  EXPECT_EQ(Utf16ToCp1251(std::u16string_view(u"\xDC00x", 2)), "?x");
  EXPECT_EQ(Cp1251ToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2 \xB9\x31 \x88"), "Привет №1 €");
  EXPECT_EQ(Cp1251ToUtf8(""), "");
}

TEST(Cp1251, EverythingComingInBecomesUtf8) {
  EXPECT_EQ(Utf16ToUtf8(u"Мелодия 1"), "Мелодия 1");
  // Outside the basic plane through its pair; a half without its partner is U+FFFD.
  EXPECT_EQ(Utf16ToUtf8(u"a\U0001F600\u4E2D"), "a😀中");
  EXPECT_EQ(Utf16ToUtf8(std::u16string_view(u"\xD83Dx\xDC00", 3)), "\uFFFDx\uFFFD");
  // A settings file's text: UTF-8 stays, Windows-1251 is decoded.
  EXPECT_EQ(SettingsTextToUtf8("Игры", true), "Игры");
  EXPECT_EQ(SettingsTextToUtf8("\xC8\xE3\xF0\xFB", false), "Игры");
}

TEST(Cp1251, PrefixCountsCharactersNotBytes) {
  const std::pair<const char*, std::string_view> cases[] = {
      {"Tetris", "Tetri"}, {"Змейка", "Змейк"}, {"a€b", "a€b"}, {"", ""}, {"ab😀cdef", "ab😀cd"},
  };
  for (const auto& [text, prefix] : cases) EXPECT_EQ(Utf8Prefix(text, 5), prefix) << text;
}

}  // namespace
}  // namespace zub
