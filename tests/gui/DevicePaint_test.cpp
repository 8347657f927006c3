// The window while the telephone works: during a slow Full Refresh the window and the status
// line are painted, the user's clicks, keys and the title bar's close are dropped (not run
// afterwards), and every library call comes from the same one thread that is not the window's.
#include <QtTest/qtestspontaneevent.h>
#include <gmock/gmock.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "GuiTestSupport.h"
#include "app/Manager.h"
#include "gui/app/ZubApp.h"
#include "gui/browser/SectionGrid.h"
#include "gui/common/DeviceThread.h"
#include "support/SimTelephone.h"

namespace zub::test {
namespace {

// Hands every call on to the window's device thread and notes, from inside the call, the
// thread it runs on and how many calls run at once.
class TThreadRecorder : public IDeviceCallRunner {
 public:
  explicit TThreadRecorder(IDeviceCallRunner& inner) : FInner(inner) {}
  std::int32_t Run(const std::function<std::int32_t()>& call) override {
    return FInner.Run([&] {
      const int running = ++FRunning;
      if (running > MostAtOnce) MostAtOnce = running;
      {
        const std::lock_guard lock(FMutex);
        FThreads.insert(std::this_thread::get_id());
      }
      const std::int32_t result = call();
      --FRunning;
      ++Calls;
      return result;
    });
  }
  std::set<std::thread::id> Threads() {
    const std::lock_guard lock(FMutex);
    return FThreads;
  }
  std::atomic<int> Calls{0};
  std::atomic<int> MostAtOnce{0};

 private:
  IDeviceCallRunner& FInner;
  std::atomic<int> FRunning{0};
  std::mutex FMutex;
  std::set<std::thread::id> FThreads;
};

// Counts the paint events that reach the watched widgets while a device call is in flight,
// and keeps the status line's text at each of its paints.
class TPaintWatch : public QObject {
 public:
  TPaintWatch(TForm1& form, QWidget* status) : FForm(form), FStatus(status) {
    for (QObject* o : {static_cast<QObject*>(&form), static_cast<QObject*>(status),
                       static_cast<QObject*>(form.Grid().viewport())})
      o->installEventFilter(this);
  }
  int WindowInCall = 0, GridInCall = 0;
  QStringList StatusTexts;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    const bool inCall = FForm.DeviceThread().InCall();
    if (watched == &FForm && inCall) ++WindowInCall;
    if (watched == FForm.Grid().viewport() && inCall) ++GridInCall;
    if (watched == FStatus && !StatusTexts.contains(FForm.StatusText()))
      StatusTexts << FForm.StatusText();
    return false;
  }

 private:
  TForm1& FForm;
  QWidget* FStatus;
};

class DevicePaintTest : public TPhoneWindowTest {
 protected:
  DevicePaintTest() {
    // 128 bytes of each program's head at 4,800 bit/s: about a quarter second a section.
    phone.SetSim("Link", "Baud", "4800");
    phone.SetCatalogue({SimTelephone::Entry(2, 1, "Program slot 1"),
                        SimTelephone::Entry(2, 3, "Picture"), SimTelephone::Entry(17, 1, "Data")});
    phone.PutSection(2, 1, std::string(3000, 'p'));
    phone.PutSection(2, 3, std::string("GIF89a\x01\x00\x01\x00", 10) + std::string(200, '\0'));
    phone.PutSection(17, 1, std::string(3000, 'x'));
    Open();
  }
};

TEST_F(DevicePaintTest, FullRefreshKeepsPaintingDropsTheInputAndCallsFromOneThread) {
  TThreadRecorder recorder(form().DeviceThread());
  form().Core().NVM->SetCallRunner(&recorder);
  QWidget* status = form().findChild<QWidget*>(QStringLiteral("StatusText"));
  ASSERT_NE(status, nullptr);
  TPaintWatch paints(form(), status);
  QAbstractButton* refresh = Button("Button1");
  refresh->setFocus();

  // Ticks while the command runs: each asks for a repaint; the first one also plays the user
  // clicking Full Refresh again, pressing Space on it and closing the window.
  int ticksInCall = 0;
  bool inputSent = false;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!form().DeviceThread().InCall()) return;
    ++ticksInCall;
    form().update();
    form().Grid().viewport()->update();
    if (inputSent) return;
    inputSent = true;
    QTest::mouseClick(refresh, Qt::LeftButton);
    QTest::keyClick(refresh, Qt::Key_Space);
    QCloseEvent close;
    QSpontaneKeyEvent::setSpontaneous(&close);
    QApplication::sendEvent(form().windowHandle(), &close);
  });
  timer.start();
  QTest::mouseClick(refresh, Qt::LeftButton);
  timer.stop();
  const int callsOfOneRefresh = recorder.Calls;
  for (int i = 0; i < 10; ++i) QTest::qWait(20);

  // The event loop ran during the calls, and what it painted reached the window.
  EXPECT_TRUE(inputSent);
  EXPECT_GE(ticksInCall, 5);
  EXPECT_GT(paints.WindowInCall, 0);
  EXPECT_GT(paints.GridInCall, 0);
  EXPECT_THAT(
      paints.StatusTexts,
      testing::IsSupersetOf(
          {QStringLiteral("Refreshing section 2-1..."), QStringLiteral("Refreshing section 2-3..."),
           QStringLiteral("Refreshing section 17-1..."), QStringLiteral("Updated!")}));
  // Nothing of the input ran, then or later: one refresh, and the window is still open.
  EXPECT_EQ(boxes.CountBoxes("Update done!"), 1);
  EXPECT_EQ(recorder.Calls, callsOfOneRefresh);
  EXPECT_TRUE(form().isVisible());
  EXPECT_EQ(form().Core().Sections[1].Size, 3000);

  // Once the call is over the input works again, and the calls stay on the same thread.
  QTest::mouseClick(refresh, Qt::LeftButton);
  EXPECT_EQ(boxes.CountBoxes("Update done!"), 2);
  EXPECT_EQ(recorder.Calls, 2 * callsOfOneRefresh);
  const auto threads = recorder.Threads();
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_NE(*threads.begin(), std::this_thread::get_id());
  EXPECT_EQ(recorder.MostAtOnce, 1);
  form().Core().NVM->SetCallRunner(&form().DeviceThread());
}

}  // namespace
}  // namespace zub::test
