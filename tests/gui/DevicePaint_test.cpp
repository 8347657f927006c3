// The window while the telephone works: during a slow Full Refresh the window and the status
// line are painted, the wait cursor shows, the user's clicks and keys are dropped (not run
// afterwards), and every library call comes from the same one thread that is not the window's.
// A close from the window system during a call closes the window once that call has ended.
#include <QtTest/qtestspontaneevent.h>
#include <gmock/gmock.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "GuiTestSupport.h"
#include "app/Manager.h"
#include "base/ProfileFile.h"
#include "gui/app/ZubApp.h"
#include "gui/browser/SectionGrid.h"
#include "gui/common/DeviceThread.h"
#include "support/SimTelephone.h"
#include "support/TestFiles.h"

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

  // Ticks while the command runs: each asks for a repaint and looks at the mouse cursor; the
  // first one also plays the user clicking Full Refresh again and pressing Space on it.
  int ticksInCall = 0, waitCursorTicks = 0;
  bool inputSent = false;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!form().DeviceThread().InCall()) return;
    ++ticksInCall;
    const QCursor* cursor = QGuiApplication::overrideCursor();
    waitCursorTicks += cursor && cursor->shape() == Qt::WaitCursor;
    form().update();
    form().Grid().viewport()->update();
    if (inputSent) return;
    inputSent = true;
    QTest::mouseClick(refresh, Qt::LeftButton);
    QTest::keyClick(refresh, Qt::Key_Space);
  });
  timer.start();
  QTest::mouseClick(refresh, Qt::LeftButton);
  timer.stop();
  const int callsOfOneRefresh = recorder.Calls;
  for (int i = 0; i < 10; ++i) QTest::qWait(20);

  // The event loop ran during the calls, and what it painted reached the window.
  EXPECT_TRUE(inputSent);
  EXPECT_GE(ticksInCall, 5);
  EXPECT_EQ(waitCursorTicks, ticksInCall);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_GT(paints.WindowInCall, 0);
  EXPECT_GT(paints.GridInCall, 0);
  EXPECT_THAT(
      paints.StatusTexts,
      testing::IsSupersetOf(
          {QStringLiteral("Refreshing section 2-1..."), QStringLiteral("Refreshing section 2-3..."),
           QStringLiteral("Refreshing section 17-1..."), QStringLiteral("Updated!")}));
  // Nothing of the input ran, then or later: one refresh.
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

// A quick telephone; every case opens the window anew, since each ends with it closed.
class CloseDuringCallTest : public TPhoneWindowTest {
 protected:
  CloseDuringCallTest() {
    phone.SetCatalogue({SimTelephone::Entry(2, 1, "Program slot 1"),
                        SimTelephone::Entry(2, 3, "Picture"), SimTelephone::Entry(17, 1, "Data")});
    phone.SetSetting("Form", "Left", "240");
  }
  void ResetPhone() {
    phone.PutSection(2, 1, std::string(3000, 'p'));
    phone.PutSection(2, 3, std::string("GIF89a\x01\x00\x01\x00", 10) + std::string(200, '\0'));
    phone.PutSection(17, 1, std::string(3000, 'x'));
    std::filesystem::remove(Saved());
    std::filesystem::remove_all(Backup());
  }
  std::filesystem::path Saved() const { return phone.Dir() / "saved.bin"; }
  std::filesystem::path Backup() const { return phone.Dir() / "backup"; }
  // As the user does it: a right click on the first row, then the menu entry.
  static void FromMenu(TForm1& form, TActionId action) {
    TSectionGrid& grid = form.Grid();
    QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, grid.CellRect(1, 1).center());
    form.PopupMenu1().hide();
    form.Action(action)->trigger();
  }
};

TEST_F(CloseDuringCallTest, TheWindowClosesOnceTheCallInFlightHasEnded) {
  const std::string upload(500, 'u');
  test::WriteFile(phone.Dir() / "upload.bin", upload);
  boxes.OpenAnswer = QString::fromStdString((phone.Dir() / "upload.bin").string());
  boxes.SaveAnswer = QString::fromStdString(Saved().string());
  const auto refresh = [](TForm1& f) {
    QTest::mouseClick(f.findChild<QAbstractButton*>("Button1"), Qt::LeftButton);
  };
  // A row offers Download once it has been read: Refresh first, then Download.
  const auto download = [](TForm1& f) {
    FromMenu(f, TActionId::RefreshAction);
    FromMenu(f, TActionId::DownloadAction);
  };
  const auto uploadTo21 = [](TForm1& f) { FromMenu(f, TActionId::UploadAction); };
  boxes.FolderAnswer = QString::fromStdString(Backup().string());
  const auto backup = [](TForm1& f) { f.Action(TActionId::BackupAction)->trigger(); };
  struct Case {
    const char* name;
    std::function<void(TForm1&)> command;
    const char* during;  // the call in flight when the close comes, and which one of its kind
    int occurrence;
  };
  const Case cases[] = {
      {"Full Refresh, while the connection opens", refresh, "InitGBPMode", 1},
      {"Full Refresh, at the second section's size", refresh, "GetNVMFileSize", 2},
      {"Full Refresh, at the first head", refresh, "ReadNVMFile", 1},
      {"Download, while it reads", download, "ReadNVMFile", 2},
      {"Upload, while it writes", uploadTo21, "WriteNVMFile", 1},
      {"Back Up Telephone, under its progress window", backup, "ReadNVMFile", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The calls of the command when nobody closes the window.
    ResetPhone();
    CallLog whole;
    Open();
    form().Core().NVM->SetObserver(&whole);
    c.command(form());
    form().Core().NVM->SetObserver(nullptr);
    app.reset();
    std::size_t held = 0;
    for (int seen = 0; held < whole.Calls.size(); ++held)
      if (whole.Calls[held].Entry == c.during && ++seen == c.occurrence) break;
    ASSERT_LT(held, whole.Calls.size());

    ResetPhone();
    boxes.Boxes.clear();
    Open();
    phone.SetSetting("Form", "Left", "77");  // the close's save puts the window's 240 back
    const TClosedDuringCall seen = CloseDuringCall(
        form(), static_cast<int>(held) + 1,
        [&] {
          QCloseEvent close;
          QSpontaneKeyEvent::setSpontaneous(&close);
          QApplication::sendEvent(form().windowHandle(), &close);
        },
        [&] { c.command(form()); });

    EXPECT_EQ(seen.Status, TForm1::ClosingText());
    EXPECT_TRUE(seen.OpenDuringCall);
    EXPECT_TRUE(seen.WaitCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(form().isVisible());
    // The call in flight ended as usual, the connection was ended, and nothing else ran.
    std::vector<std::string> expected = whole.Entries();
    expected.resize(held + 1);
    expected.push_back("EndGBPMode");
    EXPECT_EQ(seen.Calls, expected);
    EXPECT_TRUE(boxes.Boxes.empty()) << boxes.Boxes.front().Text.toStdString();
    EXPECT_FALSE(std::filesystem::exists(Saved()));
    EXPECT_FALSE(std::filesystem::exists(Backup()));
    EXPECT_EQ(TProfileFile(phone.SettingsPath()).ReadInteger("Form", "Left", 0), 240);
    if (std::string(c.during) == "WriteNVMFile") {
      EXPECT_EQ(phone.Section(2, 1), std::vector<std::uint8_t>(upload.begin(), upload.end()));
    }
    app.reset();
  }
}

}  // namespace
}  // namespace zub::test
