// DrawGrid1: the owner-drawn section grid. Three columns, one fixed title row, row height 30,
// whole-row selection, columns the user can size by dragging their edges in the title row.
// Each cell is laid out by zub::DrawCell; this widget paints what it returns on top of the
// grid's own background (title-row colour, highlight for the current row, window colour).
#pragma once

#include <QAbstractScrollArea>
#include <array>
#include <vector>

#include "formats/SectInfo.h"

namespace zub {

class TSectionGrid : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static constexpr int kColCount = 3;
  static constexpr int kDefaultRowHeight = 30;

  explicit TSectionGrid(QWidget* parent = nullptr);

  // The records the rows show (entry N for row N); rows without a record draw nothing.
  void SetSource(const std::vector<TSectInfo>* sections);

  int RowCount() const { return FRowCount; }
  void SetRowCount(int count);
  // The current row; setting it does not count as a user's selection.
  int Row() const { return FRow; }
  void SetRow(int row);
  int TopRow() const;

  int ColWidth(int col) const;
  void SetColWidth(int col, int width);
  // The width of the cell area (without a vertical scroll bar).
  int ClientWidth() const;

  // A cell's rectangle in viewport coordinates, for the current scroll position.
  QRect CellRect(int col, int row) const;
  // The grid row under a viewport point; -1 below the last row.
  int RowAt(const QPoint& pos) const;

 signals:
  // The user selected a row with the mouse (either button) or the keyboard (DrawGrid1Click).
  void RowClicked(int row);
  // The right mouse button was released over the grid (DrawGrid1MouseUp).
  void RightMouseUp(const QPoint& globalPos);
  // The Menu key or Shift+F10: the context menu is wanted for the current row, at its place
  // on the screen.
  void MenuKey(const QPoint& globalPos);
  void Resized();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void PaintCell(class QPainter& painter, int col, int row, const QRect& rect);
  void UpdateScrollBars();
  int VisibleRows() const;
  int ColLeft(int col) const;
  // The column whose right edge lies under a point of the title row, or -1.
  int SizingEdgeAt(const QPoint& pos) const;
  void SelectByUser(int row);
  void ScrollIntoView(int row);

  const std::vector<TSectInfo>* FSections = nullptr;
  int FRowCount = 1;
  int FRow = 1;
  std::array<int, kColCount> FColWidths{75, 120, 64};
  int FSizingCol = -1;
};

}  // namespace zub
