#include "gui/browser/SectionGrid.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <numeric>

#include "formats/GridCells.h"
#include "gui/browser/IconImages.h"
#include "gui/common/CoreText.h"

namespace zub {
namespace {

constexpr int kSizingSlack = 2;  // pixels on either side of a column edge that grab it

char DecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  if (point.size() == 1 && point[0].unicode() < 0x80) return static_cast<char>(point[0].unicode());
  return '.';
}

// Cell rectangles of the layout have exclusive right and bottom edges.
QRect ToQRect(const TCellRect& r) {
  return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

void FillLayoutRect(QPainter& painter, const TCellRect& r, const QColor& colour) {
  if (r.Right > r.Left && r.Bottom > r.Top) painter.fillRect(ToQRect(r), colour);
}

}  // namespace

TSectionGrid::TSectionGrid(QWidget* parent) : QAbstractScrollArea(parent) {
  QFont gridFont;
  gridFont.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
  gridFont.setPixelSize(12);
  gridFont.setBold(true);
  setFont(gridFont);
  setFocusPolicy(Qt::StrongFocus);
  // The context menu opens on the right button's release, from the window's handler.
  setContextMenuPolicy(Qt::PreventContextMenu);
  viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
  viewport()->setMouseTracking(true);
  verticalScrollBar()->setSingleStep(1);
  horizontalScrollBar()->setSingleStep(8);
  UpdateScrollBars();
}

void TSectionGrid::SetSource(const std::vector<TSectInfo>* sections) {
  FSections = sections;
  viewport()->update();
}

void TSectionGrid::SetRowCount(int count) {
  FRowCount = std::max(1, count);
  if (FRow >= FRowCount) FRow = std::max(1, FRowCount - 1);
  UpdateScrollBars();
  viewport()->update();
}

void TSectionGrid::SetRow(int row) {
  row = std::clamp(row, 1, std::max(1, FRowCount - 1));
  if (row == FRow) return;
  FRow = row;
  ScrollIntoView(FRow);
  viewport()->update();
}

int TSectionGrid::TopRow() const {
  return 1 + verticalScrollBar()->value();
}

int TSectionGrid::ColWidth(int col) const {
  return col >= 0 && col < kColCount ? FColWidths[static_cast<std::size_t>(col)] : 0;
}

void TSectionGrid::SetColWidth(int col, int width) {
  if (col < 0 || col >= kColCount) return;
  FColWidths[static_cast<std::size_t>(col)] = std::max(0, width);
  UpdateScrollBars();
  viewport()->update();
}

int TSectionGrid::ClientWidth() const {
  return viewport()->width();
}

int TSectionGrid::ColLeft(int col) const {
  return std::accumulate(FColWidths.begin(), FColWidths.begin() + col, 0) -
         horizontalScrollBar()->value();
}

QRect TSectionGrid::CellRect(int col, int row) const {
  const int top = row == 0 ? 0 : (row - TopRow() + 1) * kDefaultRowHeight;
  return QRect(ColLeft(col), top, ColWidth(col), kDefaultRowHeight);
}

int TSectionGrid::RowAt(const QPoint& pos) const {
  if (pos.y() < 0) return -1;
  if (pos.y() < kDefaultRowHeight) return 0;
  const int row = TopRow() + (pos.y() - kDefaultRowHeight) / kDefaultRowHeight;
  return row < FRowCount ? row : -1;
}

int TSectionGrid::VisibleRows() const {
  return std::max(0, (viewport()->height() - kDefaultRowHeight) / kDefaultRowHeight);
}

void TSectionGrid::UpdateScrollBars() {
  const int visible = VisibleRows();
  verticalScrollBar()->setPageStep(std::max(1, visible));
  verticalScrollBar()->setRange(0, std::max(0, FRowCount - 1 - visible));
  const int total = std::accumulate(FColWidths.begin(), FColWidths.end(), 0);
  horizontalScrollBar()->setPageStep(std::max(1, viewport()->width()));
  horizontalScrollBar()->setRange(0, std::max(0, total - viewport()->width()));
}

void TSectionGrid::ScrollIntoView(int row) {
  if (row < 1) return;
  const int top = TopRow();
  const int visible = std::max(1, VisibleRows());
  if (row < top)
    verticalScrollBar()->setValue(row - 1);
  else if (row >= top + visible)
    verticalScrollBar()->setValue(row - visible);
}

void TSectionGrid::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.fillRect(event->rect(), palette().color(QPalette::Base));
  auto paintRow = [&](int row) {
    for (int col = 0; col < kColCount; ++col) {
      const QRect rect = CellRect(col, row);
      if (rect.width() > 0 && rect.intersects(event->rect())) PaintCell(painter, col, row, rect);
    }
  };
  const int bottom = viewport()->height();
  for (int row = TopRow(); row < FRowCount; ++row) {
    if (CellRect(0, row).top() >= bottom) break;
    paintRow(row);
  }
  paintRow(0);  // the title row stays on top while the rows scroll
}

void TSectionGrid::PaintCell(QPainter& painter, int col, int row, const QRect& rect) {
  const bool fixed = row == 0;
  const bool current = !fixed && row == FRow;
  const QColor background = palette().color(fixed     ? QPalette::Button
                                            : current ? QPalette::Highlight
                                                      : QPalette::Base);
  const QColor textColour = palette().color(fixed     ? QPalette::ButtonText
                                            : current ? QPalette::HighlightedText
                                                      : QPalette::Text);
  painter.save();
  painter.setClipRect(rect);
  painter.fillRect(rect, background);

  static const TSectInfo kNoRecord;
  const TSectInfo& info = FSections && row >= 0 && static_cast<std::size_t>(row) < FSections->size()
                              ? (*FSections)[static_cast<std::size_t>(row)]
                              : kNoRecord;
  const QFontMetrics metrics(font());
  const TTextMetrics textMetrics{
      [&metrics](const std::string& text) { return metrics.horizontalAdvance(FromCore(text)); },
      metrics.height()};
  const TCellRect cell{rect.left(), rect.top(), rect.left() + rect.width(),
                       rect.top() + rect.height()};
  const TCellDrawing d = DrawCell(info, col, row, cell, textMetrics, DecimalSeparator());
  if (!d.Drawn) {
    painter.restore();
    return;
  }

  // Texts are written over the cell colour, as the grid's canvas brush does.
  painter.setFont(font());
  painter.setPen(textColour);
  painter.setBackground(background);
  painter.setBackgroundMode(Qt::OpaqueMode);
  auto drawText = [&](const std::optional<TCellText>& t) {
    if (t) painter.drawText(t->X, t->Y + metrics.ascent(), FromCore(t->Text));
  };
  drawText(d.Header);
  drawText(d.Address);
  if (d.Icon) painter.drawImage(d.IconX, d.IconY, IconImage(*d.Icon));
  drawText(d.Title);
  drawText(d.Lzo);
  drawText(d.SizeText);
  if (d.Bar) {
    FillLayoutRect(painter, d.Bar->Frame, Qt::black);
    FillLayoutRect(painter, d.Bar->Inner, Qt::white);
    FillLayoutRect(painter, d.Bar->Bar,
                   d.Bar->Colour == TBarColour::Red ? QColor(255, 0, 0) : QColor(0, 0, 255));
  }
  drawText(d.Firmware);
  painter.restore();
}

int TSectionGrid::SizingEdgeAt(const QPoint& pos) const {
  if (pos.y() < 0 || pos.y() >= kDefaultRowHeight) return -1;
  for (int col = 0; col < kColCount; ++col) {
    const int edge = ColLeft(col) + ColWidth(col);
    if (std::abs(pos.x() - edge) <= kSizingSlack) return col;
  }
  return -1;
}

void TSectionGrid::SelectByUser(int row) {
  FRow = row;
  ScrollIntoView(row);
  viewport()->update();
  emit RowClicked(row);
}

// A right press selects the row under the pointer as a left one does, so that the menu that
// opens on its release acts on the row the user pointed at.
void TSectionGrid::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
  const QPoint pos = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    FSizingCol = SizingEdgeAt(pos);
    if (FSizingCol >= 0) return;
  }
  const int row = RowAt(pos);
  if (row >= 1) SelectByUser(row);
}

void TSectionGrid::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (FSizingCol >= 0) {
    SetColWidth(FSizingCol, std::max(1, pos.x() - ColLeft(FSizingCol)));
    return;
  }
  viewport()->setCursor(SizingEdgeAt(pos) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TSectionGrid::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FSizingCol = -1;
  if (event->button() == Qt::RightButton) emit RightMouseUp(event->globalPosition().toPoint());
}

void TSectionGrid::keyPressEvent(QKeyEvent* event) {
  const bool shiftF10 = event->key() == Qt::Key_F10 &&
                        (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier;
  if (event->key() == Qt::Key_Menu || shiftF10) {
    // The menu opens over the current row's first cell, as a right click there would.
    ScrollIntoView(FRow);
    emit MenuKey(viewport()->mapToGlobal(CellRect(0, FRow).center()));
    return;
  }
  const int last = FRowCount - 1;
  if (last < 1) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  const int page = std::max(1, VisibleRows());
  int row = FRow;
  switch (event->key()) {
    case Qt::Key_Up:
      row = FRow - 1;
      break;
    case Qt::Key_Down:
      row = FRow + 1;
      break;
    case Qt::Key_PageUp:
      row = FRow - page;
      break;
    case Qt::Key_PageDown:
      row = FRow + page;
      break;
    case Qt::Key_Home:
      row = 1;
      break;
    case Qt::Key_End:
      row = last;
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  row = std::clamp(row, 1, last);
  if (row != FRow) SelectByUser(row);
}

void TSectionGrid::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
  emit Resized();
}

// The title row stays put, so the whole area is drawn again instead of shifted.
void TSectionGrid::scrollContentsBy(int, int) {
  viewport()->update();
}

}  // namespace zub
