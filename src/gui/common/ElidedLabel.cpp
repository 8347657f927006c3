#include "gui/common/ElidedLabel.h"

#include <QResizeEvent>

namespace zub {

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void TElidedLabel::SetFullText(const QString& text) {
  FFullText = text;
  setToolTip(text);
  Elide();
}

QSize TElidedLabel::sizeHint() const {
  return {0, QLabel::sizeHint().height()};
}

QSize TElidedLabel::minimumSizeHint() const {
  return {0, QLabel::minimumSizeHint().height()};
}

void TElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void TElidedLabel::Elide() {
  setText(fontMetrics().elidedText(FFullText, Qt::ElideRight, contentsRect().width()));
}

}  // namespace zub
