// The grid painted offscreen: a few rows of every kind, saved as screenshots/grid.png for a
// person to look at, and checked where the pixels are certain (bar colours, frame, icon, the
// current row's highlight).
#include <gmock/gmock.h>
#include <QApplication>
#include <QDir>
#include <QImage>

#include "formats/IconTable.h"
#include "gui/browser/SectionGrid.h"

namespace zub::test {
namespace {

TSectInfo Row(int section, int sub, std::int32_t kind, std::string title, std::uint32_t format,
              std::int32_t size, std::int32_t icon) {
  TSectInfo r;
  r.Section = section;
  r.SubSection = sub;
  r.Kind = static_cast<TSectKind>(kind);
  r.Title = std::move(title);
  r.Format = format;
  r.Size = size;
  r.Icon = icon;
  return r;
}

class GridPaint : public ::testing::Test {
 protected:
  GridPaint() {
    rows.emplace_back();                                              // the title row's placeholder
    rows.push_back(Row(2, 1, skEmpty, "", 0, 0, -1));                 // 1: never scanned
    rows.push_back(Row(2, 2, skEmpty, "ignored", 0, 0, kEmptyIcon));  // 2: scanned, empty
    rows.push_back(Row(2, 3, skProgram, "Tetris", 0x20000000, 5000, kProgramIcon));
    TSectInfo lzo = Row(2, 4, skProgram, "\xcf\xf0\xee\xe3\xf0\xe0\xec\xec\xe0", 0x20045604, 6000,
                        30);  // "Программа" in Windows-1251
    lzo.Compression = 1;
    lzo.UnpackedSize = 10000;
    rows.push_back(lzo);                                                   // 4: LZO, 40.0%
    rows.push_back(Row(2, 5, skGIF, "GIF picture", 0x30C0DE01, 3000, 0));  // 5: no FW text
    rows.push_back(Row(17, 1, skData, "Photo pack", 0, 30000, 0));         // 6: red bar
    rows.push_back(Row(18, 1, skProgram, "Full", 0x30C0DE01, 21504, kProgramIcon));  // 7
    grid.SetSource(&rows);
    grid.SetRowCount(static_cast<int>(rows.size()));
    grid.resize(320, 30 * static_cast<int>(rows.size()) + 2 * grid.frameWidth());
    grid.show();
    QApplication::processEvents();
    grid.SetColWidth(1, grid.ClientWidth() - grid.ColWidth(0) - grid.ColWidth(2));
    grid.SetRow(3);
    image = grid.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
  QRect Cell(int col, int row) const { return grid.CellRect(col, row); }
  QColor At(int x, int y) const { return QColor(image.pixel(x, y)); }
  // The inner bar rectangle of a row: frame (Left + 3, Top + H/2 + 3, Right - 53, Bottom - 3)
  // shrunk by one pixel.
  QRect Inner(int row) const {
    const QRect c = Cell(1, row);
    const int left = c.left() + 4, top = c.top() + 15 + 4;
    const int right = c.left() + c.width() - 53 - 1, bottom = c.top() + 30 - 3 - 1;
    return QRect(left, top, right - left, bottom - top);
  }
  // Whether a cell shows anything besides its background colour.
  bool Painted(int col, int row) const {
    const QRect c = Cell(col, row).adjusted(1, 1, -1, -1);
    const QRgb background = image.pixel(c.topLeft());
    for (int y = c.top(); y <= c.bottom(); ++y)
      for (int x = c.left(); x <= c.right(); ++x)
        if (image.pixel(x, y) != background) return true;
    return false;
  }

  std::vector<TSectInfo> rows;
  TSectionGrid grid;
  QImage image;
};

TEST_F(GridPaint, SavesAScreenshotOfEveryKindOfRow) {
  ASSERT_TRUE(QDir().mkpath(QStringLiteral(ZUB_SCREENSHOT_DIR)));
  const QString file = QStringLiteral(ZUB_SCREENSHOT_DIR "/grid.png");
  ASSERT_TRUE(image.save(file));
  EXPECT_TRUE(QImage(file).size() == image.size());
}

TEST_F(GridPaint, BarsShowTheSizeAgainstTheirScale) {
  const QColor blue(0, 0, 255), red(255, 0, 0), white(255, 255, 255), black(0, 0, 0);
  // Empty rows: a white bar in a black frame.
  for (int row : {1, 2}) {
    const QRect in = Inner(row);
    EXPECT_EQ(At(in.left(), in.center().y()), white) << row;
    EXPECT_EQ(At(in.left() - 1, in.center().y()), black) << row;
    EXPECT_EQ(At(in.right() + 1, in.center().y()), black) << row;
  }
  // 21504 bytes fill the whole bar in blue; 5000 about a quarter of it.
  const QRect full = Inner(7);
  EXPECT_EQ(At(full.right(), full.center().y()), blue);
  const QRect quarter = Inner(3);
  EXPECT_EQ(At(quarter.left() + quarter.width() / 5, quarter.center().y()), blue);
  EXPECT_EQ(At(quarter.left() + quarter.width() / 3, quarter.center().y()), white);
  // 30000 bytes: red against 64 KiB, a little under half.
  const QRect big = Inner(6);
  EXPECT_EQ(At(big.left() + big.width() * 4 / 10, big.center().y()), red);
  EXPECT_EQ(At(big.left() + big.width() * 5 / 10, big.center().y()), white);
}

TEST_F(GridPaint, IconsAndTextsWhereTheRowCallsForThem) {
  // The program icon at (Left + 3, Top + H/4 - TH/2 + 3): its opaque pixels are painted.
  const QFontMetrics fm(grid.font());
  const QRect cell = Cell(1, 5 - 1);  // row 4 is not the current row
  const QPoint origin(cell.left() + 3, cell.top() + 30 / 4 - fm.height() / 2 + 3);
  const TIconPixels pixels = IconPixels(30);
  int opaque = 0;
  for (int y = 0; y < kIconSize; ++y)
    for (int x = 0; x < kIconSize; ++x) {
      const QRgb p = pixels[static_cast<std::size_t>(y * kIconSize + x)];
      if (qAlpha(p) != 255) continue;
      ++opaque;
      EXPECT_EQ(image.pixel(origin + QPoint(x, y)) & 0xFFFFFF, p & 0xFFFFFF) << x << "," << y;
    }
  EXPECT_GT(opaque, 0);
  // Column 2 carries a label for programs only; the header row is always drawn.
  EXPECT_TRUE(Painted(2, 3));
  EXPECT_TRUE(Painted(2, 4));
  EXPECT_FALSE(Painted(2, 5));
  EXPECT_FALSE(Painted(2, 6));
  for (int col = 0; col < 3; ++col) EXPECT_TRUE(Painted(col, 0));
}

TEST_F(GridPaint, CurrentRowIsHighlightedAndTheTitleRowHasTheFixedColour) {
  const QColor highlight = grid.palette().color(QPalette::Highlight);
  const QColor fixed = grid.palette().color(QPalette::Button);
  const QColor window = grid.palette().color(QPalette::Base);
  for (int col = 0; col < 3; ++col) {
    EXPECT_EQ(At(Cell(col, 3).left() + 1, Cell(col, 3).top() + 1), highlight) << col;
    EXPECT_EQ(At(Cell(col, 0).left() + 1, Cell(col, 0).top() + 1), fixed) << col;
    EXPECT_EQ(At(Cell(col, 4).left() + 1, Cell(col, 4).top() + 1), window) << col;
  }
}

TEST_F(GridPaint, RowsWithoutAnAddressKeepTheirBackground) {
  rows[2].Section = 0;
  rows[2].SubSection = 0;
  rows[2].Size = 500;
  image = grid.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  for (int col = 0; col < 3; ++col) EXPECT_FALSE(Painted(col, 2)) << col;
}

}  // namespace
}  // namespace zub::test
