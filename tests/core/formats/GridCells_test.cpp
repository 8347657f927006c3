#include "formats/GridCells.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace zub {
namespace {

// 7 pixels a character, 13 high: odd heights show that each term is halved on its own.
const TTextMetrics kMetrics{[](const std::string& s) { return static_cast<int>(s.size()) * 7; },
                            13};
// W = 200, H = 30: Top + H / 2 - TH / 2 = Top + 9 (not Top + 8), Top + H / 4 - TH / 2 = Top + 1,
// Top + 3H / 4 - TH / 2 = Top + 16.
const TCellRect kCell{10, 100, 210, 130};

TSectInfo Row(std::int32_t s, std::int32_t ss) {
  TSectInfo r;
  r.Section = s;
  r.SubSection = ss;
  return r;
}

void ExpectText(const std::optional<TCellText>& t, const std::string& text, int x, int y) {
  ASSERT_TRUE(t.has_value()) << text;
  EXPECT_EQ(t->Text, text);
  EXPECT_EQ(t->X, x) << text;
  EXPECT_EQ(t->Y, y) << text;
}

TEST(GridCells, HeaderRowIsCentred) {
  const TSectInfo placeholder;  // all zero: the header is drawn anyway
  // Left + W / 2 - TW / 2: "#" is 7 wide, 3 after halving.
  ExpectText(DrawCell(placeholder, 0, 0, kCell, kMetrics).Header, "#", 10 + 100 - 3, 109);
  ExpectText(DrawCell(placeholder, 1, 0, kCell, kMetrics).Header, "Program & Size", 10 + 100 - 49,
             109);
  ExpectText(DrawCell(placeholder, 2, 0, kCell, kMetrics).Header, "FW", 10 + 100 - 7, 109);
  const auto other = DrawCell(placeholder, 3, 0, kCell, kMetrics);
  EXPECT_FALSE(other.Header);
}

TEST(GridCells, RowWithoutSectionDrawsNothing) {
  for (int col = 0; col < 3; ++col) {
    const auto d = DrawCell(Row(0, 0), col, 1, kCell, kMetrics);
    EXPECT_FALSE(d.Drawn);
    EXPECT_FALSE(d.Address || d.SizeText || d.Bar || d.Firmware || d.Icon);
  }
  // Section + SubSection == 0 is the rule, not each being 0.
  EXPECT_FALSE(DrawCell(Row(5, -5), 0, 1, kCell, kMetrics).Drawn);
  EXPECT_TRUE(DrawCell(Row(0, 1), 0, 1, kCell, kMetrics).Drawn);
}

TEST(GridCells, AddressColumn) {
  ExpectText(DrawCell(Row(18, 1), 0, 1, kCell, kMetrics).Address, "{18-1}", 35, 109);
  ExpectText(DrawCell(Row(-1, 255), 0, 1, kCell, kMetrics).Address, "{-1-255}", 35, 109);
}

TEST(GridCells, ProgramRowPlacesIconTitleLzoAndSize) {
  TSectInfo r = Row(2, 5);
  r.Kind = skProgram;
  r.Title = "Tetris";
  r.Size = 6000;
  r.Compression = 1;
  r.UnpackedSize = 10000;
  r.Icon = 107;
  const auto d = DrawCell(r, 1, 1, kCell, kMetrics);
  ASSERT_TRUE(d.Icon);
  EXPECT_EQ(*d.Icon, 107);
  EXPECT_EQ(d.IconX, 13);
  EXPECT_EQ(d.IconY, 104);
  ExpectText(d.Title, "Tetris", 30, 101);
  ExpectText(d.Lzo, "LZO(40.0%)", 130, 101);
  ExpectText(d.SizeText, "6000", 160, 116);
  EXPECT_FALSE(d.Firmware);
  EXPECT_FALSE(d.Address);
}

TEST(GridCells, EmptySectionShowsIconZeroAndEmptyBar) {
  TSectInfo r = Row(2, 5);
  r.Title = "< Empty >";
  r.Icon = 110;
  const auto d = DrawCell(r, 1, 1, kCell, kMetrics);
  ASSERT_TRUE(d.Icon);
  EXPECT_EQ(*d.Icon, 110);
  EXPECT_FALSE(d.Title);
  EXPECT_FALSE(d.Lzo);
  ExpectText(d.SizeText, "0", 160, 116);
  ASSERT_TRUE(d.Bar);
  EXPECT_EQ(d.Bar->Bar.Right, d.Bar->Inner.Left);
  EXPECT_EQ(d.Bar->Colour, TBarColour::Blue);
}

TEST(GridCells, IconOnlyForImagesOfTheList) {
  for (int icon : {0, -1, 148, INT_MIN}) {
    TSectInfo r = Row(2, 5);
    r.Icon = icon;
    EXPECT_FALSE(DrawCell(r, 1, 1, kCell, kMetrics).Icon) << icon;
  }
  TSectInfo r = Row(2, 5);
  r.Icon = 147;
  EXPECT_TRUE(DrawCell(r, 1, 1, kCell, kMetrics).Icon);
}

TEST(GridCells, SizeBar) {
  // Frame (13, 118, 157, 127), inner (14, 119, 156, 126): 142 pixels wide.
  struct Case {
    std::int32_t size;
    int right;
    TBarColour colour;
    int scale;
  };
  const Case cases[] = {
      {0, 14, TBarColour::Blue, 21504},
      {10752, 14 + 71, TBarColour::Blue, 21504},
      {21504, 156, TBarColour::Blue, 21504},
      {21505, 14 + 46, TBarColour::Red, 65536},  // 21505 * 142 / 65536 = 46.6
      {65536, 156, TBarColour::Red, 65536},
      {100000, 156, TBarColour::Red, 65536},  // clipped to the frame
      {INT_MAX, 156, TBarColour::Red, 65536},
      {-1, 14, TBarColour::Blue, 21504},
      {INT_MIN, 14, TBarColour::Blue, 21504},
  };
  for (const auto& c : cases) {
    TSectInfo r = Row(2, 5);
    r.Size = c.size;
    const auto d = DrawCell(r, 1, 1, kCell, kMetrics);
    ASSERT_TRUE(d.Bar);
    EXPECT_EQ(d.Bar->Frame.Left, 13);
    EXPECT_EQ(d.Bar->Frame.Top, 118);
    EXPECT_EQ(d.Bar->Frame.Right, 157);
    EXPECT_EQ(d.Bar->Frame.Bottom, 127);
    EXPECT_EQ(d.Bar->Inner.Left, 14);
    EXPECT_EQ(d.Bar->Inner.Bottom, 126);
    EXPECT_EQ(d.Bar->Bar.Left, 14);
    EXPECT_EQ(d.Bar->Bar.Top, 119);
    EXPECT_EQ(d.Bar->Bar.Right, c.right) << c.size;
    EXPECT_EQ(d.Bar->Colour, c.colour) << c.size;
    EXPECT_EQ(d.Bar->Scale, c.scale) << c.size;
  }
}

TEST(GridCells, FullScaleFillsTheBarAtEveryWidth) {
  TSectInfo r = Row(2, 5);
  r.Size = 21504;
  for (int right = 60; right < 3000; ++right) {
    const auto d = DrawCell(r, 1, 1, {0, 0, right, 30}, kMetrics);
    ASSERT_EQ(d.Bar->Bar.Right, d.Bar->Inner.Right) << "cell width " << right;
  }
}

TEST(GridCells, NarrowCellKeepsTheBarInside) {
  TSectInfo r = Row(2, 5);
  r.Size = 20000;
  const auto d = DrawCell(r, 1, 1, {0, 0, 40, 30}, kMetrics);  // inner width negative
  EXPECT_EQ(d.Bar->Bar.Right, d.Bar->Inner.Left);
}

TEST(GridCells, FirmwareColumnOnlyForPrograms) {
  TSectInfo r = Row(2, 5);
  r.Format = 0x20000000;
  for (int kind : {0, 3, 4, 2, -1}) {
    r.Kind = static_cast<TSectKind>(kind);
    EXPECT_FALSE(DrawCell(r, 2, 1, kCell, kMetrics).Firmware) << kind;
  }
  r.Kind = skProgram;
  ExpectText(DrawCell(r, 2, 1, kCell, kMetrics).Firmware, "UFIF 2", 10 + 100 - 21, 109);
  EXPECT_FALSE(DrawCell(r, 3, 1, kCell, kMetrics).Firmware);
}

TEST(GridCells, FirmwareLabels) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0x20000000, "UFIF 2"},  {0x200000A5, "UFIF 2"},   {0x200000FF, "UFIF 2"},
      {0x20000100, "0.0.1/0"}, {0x20010000, "UFIF 2.1"}, {0x200100FF, "UFIF 2.1"},
      {0x20031004, "3.10/4"},  {0x20036005, "3.6/5"},    {0x20054206, "5.4.2/6"},
      {0x30C0DE01, "PRG 3"},   {0x00003500, "PRG 3.5"},  {0x20045604, "4.5.6/4"},
      {0x00000000, "0.0.0/0"}, {0x000ABCD7, "a.b.c/7"},  {0xFFFFFFFF, "f.f.f/f"},
      {0x80000000, "0.0.0/0"}, {0x20031005, "3.1.0/5"},  {0x35000000, "0.0.0/0"},
  };
  for (const auto& [format, label] : cases)
    EXPECT_EQ(FirmwareLabel(format), label) << std::hex << format;
}

TEST(GridCells, LzoPercentage) {
  struct Case {
    std::int32_t size, unpacked;
    char separator;
    const char* text;
  };
  const Case cases[] = {
      {6000, 10000, '.', "LZO(40.0%)"},
      {6000, 10000, ',', "LZO(40,0%)"},
      {15000, 10000, '.', "LZO(-50.0%)"},  // larger than the program
      {1, 3, '.', "LZO(67.0%)"},
      {-1, 3, '.', "LZO(133.0%)"},  // -100 / 3 truncates toward zero
      {10000, 10000, '.', "LZO(0.0%)"},
      // Size * 100 wraps in 32 bits: 3000000000 - 2^32 = -1294967296.
      {30000000, 1, '.', "LZO(1294967396.0%)"},
      // INT_MIN / -1 wraps instead of trapping, then 100 - INT_MIN wraps.
      {536870912, -1, '.', "LZO(-2147483548.0%)"},
      {6000, 0, '.', "LZO(?)"},
      {INT_MIN, INT_MIN, '.', "LZO(100.0%)"},
  };
  for (const auto& c : cases) EXPECT_EQ(LzoText(c.size, c.unpacked, c.separator), c.text) << c.size;
}

TEST(GridCells, ExtremeRecordsDrawWithoutTrouble) {
  TSectInfo r;
  r.Section = INT_MIN;
  r.SubSection = INT_MIN;  // sums to 0 only without wrapping
  r.Kind = skProgram;
  r.Size = INT_MIN;
  r.Compression = 1;
  r.UnpackedSize = -1;
  r.Icon = INT_MAX;
  r.Format = 0xFFFFFFFF;
  for (int col = 0; col < 4; ++col) {
    const auto d = DrawCell(r, col, 1, kCell, kMetrics);
    EXPECT_TRUE(d.Drawn);
  }
  ExpectText(DrawCell(r, 0, 1, kCell, kMetrics).Address, "{-2147483648--2147483648}", 35, 109);
  const auto big = DrawCell(r, 1, 1, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, kMetrics);
  ASSERT_TRUE(big.Bar);
  EXPECT_EQ(big.Bar->Bar.Right, big.Bar->Inner.Left);
}

}  // namespace
}  // namespace zub
