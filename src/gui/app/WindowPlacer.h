// The main window's bounds as the settings store them: its outer bounds, frame included, so
// that they come back exactly under any window manager. A window manager frames a window when
// it is mapped, and tells its frame a moment later; until then bounds are applied as if there
// were no frame, and again once the frame is known. A window that is still without a frame a
// while after its first expose has none.
#pragma once

#include <QObject>
#include <QRect>
#include <optional>

class QWidget;

namespace zub {

// The outer bounds moved (and, when larger, shrunk) onto the available area of the screen
// they are mostly on, or of the primary screen: bounds from the settings file may come from
// a screen that is gone.
QRect KeepOnScreen(const QRect& outer);

class TWindowPlacer : public QObject {
  Q_OBJECT

 public:
  explicit TWindowPlacer(QWidget& window);

  // Before, the window's frame (and so its outer bounds) is unknown.
  bool FrameKnown() const { return FFrameKnown; }
  // The outer bounds now.
  QRect Outer() const;
  // Gives the window these outer bounds. A window that has them already does not move.
  void SetOuter(const QRect& outer);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Watch();
  void AwaitFrame();
  void FrameSettled();

  QWidget& FWindow;
  bool FFrameKnown = false;
  bool FWatching = false;
  bool FAwaiting = false;
  std::optional<QRect> FPending;  // given before the frame was known
};

}  // namespace zub
