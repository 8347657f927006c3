#include "gui/app/WindowPlacer.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace zub {
namespace {
// How long a window may be without a frame after its first expose: kPolls times kPollMs.
constexpr int kPollMs = 20;
constexpr int kPolls = 50;
}  // namespace

QRect KeepOnScreen(const QRect& outer) {
  QScreen* screen = QGuiApplication::screenAt(outer.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return outer;
  const QRect area = screen->availableGeometry();
  if (area.isEmpty()) return outer;
  QRect r(outer.topLeft(), outer.size().boundedTo(area.size()));
  r.moveLeft(std::clamp(r.left(), area.left(), area.left() + area.width() - r.width()));
  r.moveTop(std::clamp(r.top(), area.top(), area.top() + area.height() - r.height()));
  return r;
}

TWindowPlacer::TWindowPlacer(QWidget& window) : QObject(&window), FWindow(window) {}

QRect TWindowPlacer::Outer() const {
  // The native window's frame, asked each time: the widget's own frameGeometry() keeps the
  // frame it saw before the window manager framed the window, and may still say "no frame"
  // after it has (the window then stayed where the settings put its client area).
  const QWindow* window = FWindow.windowHandle();
  return window ? window->frameGeometry() : FWindow.frameGeometry();
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
  if (!FFrameKnown && !FAwaiting && event->type() == QEvent::Expose &&
      watched == FWindow.windowHandle() && FWindow.windowHandle()->isExposed())
    AwaitFrame();
  return QObject::eventFilter(watched, event);
}

void TWindowPlacer::AwaitFrame() {
  if (!FWindow.windowHandle()->frameMargins().isNull()) {  // framed already
    FrameSettled();
    return;
  }
  FAwaiting = true;
  auto* poll = new QTimer(this);
  poll->setInterval(kPollMs);
  connect(poll, &QTimer::timeout, this, [this, poll, polls = 0]() mutable {
    const QWindow* window = FWindow.windowHandle();
    if (window && window->frameMargins().isNull() && ++polls < kPolls) return;
    poll->deleteLater();
    FrameSettled();
  });
  poll->start();
}

void TWindowPlacer::FrameSettled() {
  FAwaiting = false;
  FFrameKnown = true;
  if (!FPending) return;
  const QRect outer = *FPending;
  FPending.reset();
  SetOuter(outer);
}

}  // namespace zub
