#include "gui/common/DeviceThread.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QThread>
#include <QWidget>
#include <QWindow>

namespace zub {

TDeviceThread::TDeviceThread(QObject* parent) : QObject(parent), FThread([this] { Serve(); }) {}

TDeviceThread::~TDeviceThread() {
  {
    const std::lock_guard lock(FMutex);
    FQuit = true;
  }
  FChanged.notify_all();
  FThread.join();
}

void TDeviceThread::Serve() {
  std::unique_lock lock(FMutex);
  for (;;) {
    FChanged.wait(lock, [this] { return FQuit || FJob; });
    if (FQuit) return;
    TJob& job = *FJob;
    lock.unlock();
    std::int32_t result = 0;
    std::exception_ptr error;
    try {
      result = (*job.Call)();
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    job.Result = result;
    job.Error = error;
    job.Done = true;
    FJob = nullptr;
    // Woken under the lock: the waiting thread cannot see the call done and go before this.
    if (job.Waker) job.Waker->wakeUp();
    FChanged.notify_all();
  }
}

bool TDeviceThread::JobDone(const TJob& job) {
  const std::lock_guard lock(FMutex);
  return job.Done;
}

std::int32_t TDeviceThread::Run(const std::function<std::int32_t()>& call) {
  // The window's events are run meanwhile only on the window thread and not inside another
  // call (a call cannot start while one runs: the input that could start one is dropped).
  QCoreApplication* app = QCoreApplication::instance();
  const bool paint = FPainting && !FInCall && app && QThread::currentThread() == app->thread();
  TJob job;
  job.Call = &call;
  if (paint) job.Waker = QAbstractEventDispatcher::instance();
  if (paint) {
    app->installEventFilter(this);
    // The user sees that the telephone is busy and that clicks are not taken meanwhile.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  }
  const bool outer = !FInCall;
  FInCall = true;
  {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [this] { return FJob == nullptr; });
    FJob = &job;
  }
  FChanged.notify_all();
  if (job.Waker) {
    while (!JobDone(job))
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&job] { return job.Done; });
  }
  if (outer) FInCall = false;
  if (paint) {
    QGuiApplication::restoreOverrideCursor();
    app->removeEventFilter(this);
  }
  if (job.Error) std::rethrow_exception(job.Error);
  return job.Result;
}

bool TDeviceThread::InputAllowed(QObject* watched) const {
  if (!FAllowed) return false;
  if (auto* widget = qobject_cast<QWidget*>(watched))
    return widget == FAllowed || FAllowed->isAncestorOf(widget);
  if (auto* window = qobject_cast<QWindow*>(watched)) return window == FAllowed->windowHandle();
  return false;
}

bool TDeviceThread::eventFilter(QObject* watched, QEvent* event) {
  if (!FInCall || InputAllowed(watched)) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::InputMethod:
      return true;
    case QEvent::ShortcutOverride:
      // Claimed for the focused widget, so no shortcut fires; the key itself is dropped above.
      event->accept();
      return true;
    case QEvent::Close:
      // Only the window system's close (the title bar's button, Alt+F4) is the user's; a close
      // the program makes itself goes through.
      if (!event->spontaneous()) break;
      event->ignore();
      if (FOnClose) FOnClose(watched);
      return true;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace zub
