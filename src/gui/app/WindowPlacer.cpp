#include "gui/app/WindowPlacer.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace zub {

TWindowPlacer::TWindowPlacer(QWidget& window) : QObject(&window), FWindow(window) {}

QRect TWindowPlacer::Outer() const {
  return FWindow.frameGeometry();
}

void TWindowPlacer::SetOuter(const QRect& outer) {
  Watch();
  if (!FFrameKnown) FPending = outer;
  if (FFrameKnown && Outer() == outer) return;
  const QMargins frame =
      FFrameKnown && FWindow.windowHandle() ? FWindow.windowHandle()->frameMargins() : QMargins();
  // The client area: the outer bounds less the frame.
  FWindow.setGeometry(outer.x() + frame.left(), outer.y() + frame.top(),
                      std::max(1, outer.width() - frame.left() - frame.right()),
                      std::max(1, outer.height() - frame.top() - frame.bottom()));
}

void TWindowPlacer::Watch() {
  if (FWatching || !FWindow.windowHandle()) return;
  FWindow.windowHandle()->installEventFilter(this);
  FWatching = true;
}

bool TWindowPlacer::eventFilter(QObject* watched, QEvent* event) {
  if (!FFrameKnown && event->type() == QEvent::Expose && watched == FWindow.windowHandle() &&
      FWindow.windowHandle()->isExposed()) {
    FFrameKnown = true;
    if (FPending) {
      const QRect outer = *FPending;
      FPending.reset();
      SetOuter(outer);
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace zub
