// TDeviceThread: runs the device component's library calls on one thread of its own, made
// once and kept for the window's life, one call at a time and in the order they come. While a
// call is in flight the window thread goes on with its events, so the window and the status
// line stay painted, and the mouse pointer shows the wait cursor; the user's input that
// arrives meanwhile (mouse, keys, wheel, touch, shortcuts) is dropped, never queued, so no
// command can start before the running one has ended. The window manager's close is not run
// during the call either: it is handed to the close handler, which decides when to close. Only
// the one window a command lets through (a progress window's Cancel) takes input meanwhile.
#pragma once

#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "device/DeviceCallRunner.h"

class QAbstractEventDispatcher;
class QWidget;

namespace zub {

class TDeviceThread : public QObject, public IDeviceCallRunner {
 public:
  explicit TDeviceThread(QObject* parent = nullptr);
  ~TDeviceThread() override;

  // Hands `call` to the device thread and returns its result (or throws what it threw).
  std::int32_t Run(const std::function<std::int32_t()>& call) override;

  // From now on the window thread waits for a call without running its events: the window is
  // going away. The calls still run on the device thread.
  void StopPainting() { FPainting = false; }
  // True while a call is in flight.
  bool InCall() const { return FInCall; }
  // Hears of the window system's close of a window (the one given) that arrived while a call
  // was in flight and was held back.
  void SetCloseHandler(std::function<void(QObject* window)> handler) {
    FOnClose = std::move(handler);
  }
  // While a call is in flight, the input of this widget and its children (and the window
  // system's close of it) goes through; nullptr: none.
  void AllowInput(QWidget* widget) { FAllowed = widget; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct TJob {
    const std::function<std::int32_t()>* Call = nullptr;
    QAbstractEventDispatcher* Waker = nullptr;  // the window thread's, when it paints meanwhile
    std::int32_t Result = 0;
    std::exception_ptr Error;
    bool Done = false;
  };
  void Serve();
  bool JobDone(const TJob& job);
  bool InputAllowed(QObject* watched) const;

  std::mutex FMutex;
  std::condition_variable FChanged;
  TJob* FJob = nullptr;
  bool FQuit = false;
  bool FInCall = false;
  bool FPainting = true;
  std::function<void(QObject*)> FOnClose;
  QPointer<QWidget> FAllowed;
  std::thread FThread;  // last: it starts once the members above exist
};

}  // namespace zub
