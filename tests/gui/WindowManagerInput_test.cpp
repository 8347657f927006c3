// The user's input to the window under a real window manager, played through the X server:
// a close (the window manager's close, Alt+F4) while the telephone works closes the window
// after the call in flight, with the wait cursor shown during the call; the Menu key and
// Shift+F10 open the current row's menu; Enter and the keypad's Enter press the focused
// "Options" button, and Enter in the dialog its default button; a click on the backup's Cancel
// while the telephone works is taken, and the backup stops after the call in flight.
// tests/gui/window-manager-test.sh runs these on an X server with openbox; elsewhere, or
// without xdotool, they are skipped.
#include <gmock/gmock.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include "GuiTestSupport.h"
#include "LiveWindowSupport.h"
#include "app/Manager.h"
#include "base/ProfileFile.h"
#include "gui/browser/SectionGrid.h"
#include "support/SimTelephone.h"

namespace zub::test {
namespace {

// Whether the window manager lists a window with this title (wmctrl -l).
bool Listed(const QString& title) {
  QProcess wmctrl;
  wmctrl.start("wmctrl", {"-l"});
  wmctrl.waitForFinished();
  return QString::fromUtf8(wmctrl.readAllStandardOutput()).contains(title);
}

class WindowManagerInputTest : public TLiveWindowTest {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("xdotool").isEmpty())
      GTEST_SKIP() << "needs xdotool (scripts/deps.sh installs it)";
    TLiveWindowTest::SetUp();
  }
  QAbstractButton* Button(const char* name) {
    return form().findChild<QAbstractButton*>(QString::fromLatin1(name));
  }
  std::vector<bool> MenuStates() {
    std::vector<bool> states;
    for (QAction* a : form().PopupMenu1().actions()) states.push_back(a->isEnabled());
    return states;
  }
};

TEST_F(WindowManagerInputTest, ACloseDuringASlowRefreshClosesTheWindowAfterTheCallInFlight) {
  struct Case {
    const char* name;
    std::function<bool(TForm1&)> close;
  };
  const Case cases[] = {
      {"the window manager's close",
       [](TForm1& f) {
         return RunTool("wmctrl", {"-i", "-c", QString::number(f.winId())});
       }},
      {"Alt+F4", [](TForm1&) { return PressKeys("alt+F4"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    phone.SetSim("Link", "Baud", "19200");
    phone.PutSection(2, 1, std::string(3000, 'p'));
    phone.PutSection(2, 2, std::string(3000, 'q'));
    OpenWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));  // Alt+F4 goes to the active window
    phone.SetSetting("Form", "Left", "1");  // the close's save puts the window's place back
    // Held: the third call, the first row's head (after InitGBPMode and GetNVMFileSize).
    const TClosedDuringCall seen = CloseDuringCall(
        form(), 3, [&] { EXPECT_TRUE(c.close(form())); },
        [&] { QTest::mouseClick(Button("Button1"), Qt::LeftButton); });  // Full Refresh

    EXPECT_EQ(seen.Status, TForm1::ClosingText());
    EXPECT_TRUE(seen.OpenDuringCall);
    EXPECT_TRUE(seen.WaitCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(form().isVisible());
    EXPECT_TRUE(QTest::qWaitFor([] { return !Listed("ZUB Manager 3"); }, 10000));
    // The head read in flight ended, the connection was ended, nothing else reached the
    // telephone and nothing more was asked or shown.
    EXPECT_EQ(seen.Calls, (std::vector<std::string>{"InitGBPMode", "GetNVMFileSize", "ReadNVMFile",
                                                    "EndGBPMode"}));
    EXPECT_TRUE(prompts.Shown.isEmpty()) << prompts.Shown.join(", ").toStdString();
    EXPECT_EQ(TProfileFile(phone.SettingsPath()).ReadInteger("Form", "Left", 0), kPlace.x());
    app.reset();
  }
}

TEST_F(WindowManagerInputTest, MenuKeyAndShiftF10OpenTheCurrentRowsMenu) {
  phone.PutSection(2, 1, std::string("GIF89a\x01\x00\x01\x00", 10) + std::string(200, '\0'));
  phone.RemoveSection(2, 2);
  QTest::mouseClick(Button("Button1"), Qt::LeftButton);  // Full Refresh: a GIF and an empty row
  ASSERT_EQ(prompts.Shown, QStringList{""});             // "Update done!"
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
  TSectionGrid& grid = form().Grid();
  const auto point = [&](int row) { return grid.CellRect(1, row).center(); };
  for (const char* keys : {"Menu", "shift+F10"}) {
    for (const int row : {1, 2}) {
      SCOPED_TRACE(std::string(keys) + " on row " + std::to_string(row));
      QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, point(row));
      const std::vector<bool> byMouse = MenuStates();
      form().PopupMenu1().hide();
      // The other row's menu leaves other states; the keys must set this row's again.
      QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, point(3 - row));
      ASSERT_NE(MenuStates(), byMouse);
      form().PopupMenu1().hide();
      QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, point(row));
      ASSERT_TRUE(grid.hasFocus());

      ASSERT_TRUE(PressKeys(keys));
      ASSERT_TRUE(QTest::qWaitFor([&] { return form().PopupMenu1().isVisible(); }, 10000));
      EXPECT_EQ(MenuStates(), byMouse);
      EXPECT_EQ(form().PopupMenu1().pos(),
                grid.viewport()->mapToGlobal(grid.CellRect(0, row).center()));
      EXPECT_EQ(form().Core().Row, row);
      ASSERT_TRUE(PressKeys("Escape"));
      ASSERT_TRUE(QTest::qWaitFor([&] { return !form().PopupMenu1().isVisible(); }, 10000));
    }
  }
}

TEST_F(WindowManagerInputTest, EnterPressesTheFocusedOptionsButtonAndTheDialogItsDefault) {
  for (const char* keys : {"Return", "KP_Enter"}) {
    SCOPED_TRACE(keys);
    // Each key on a window of its own, so that each reaches the dialog's first showing.
    OpenWindow();
    prompts.Shown.clear();
    prompts.Results.clear();
    prompts.OnShown = [&](QDialog& d) {
      // The Options dialog, framed: Enter there still presses its default button, OK.
      EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
      EXPECT_TRUE(PressKeys("Return"));
      // A dialog the key did not close fails the test instead of hanging it.
      QTimer::singleShot(10000, &d, [&d] { d.done(mrNone); });
    };
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
    Button("Button7")->setFocus();
    ASSERT_TRUE(PressKeys(keys));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.Results.empty(); }, 20000));
    EXPECT_EQ(prompts.Shown, QStringList{"ExpertsForm"});
    EXPECT_EQ(prompts.Results, std::vector<int>{mrOk});
  }
}

TEST_F(WindowManagerInputTest, TheBackupsCancelTakesAClickWhileTheTelephoneWorks) {
  phone.SetSim("Link", "Baud", "19200");
  phone.PutSection(2, 1, std::string(3000, 'p'));
  phone.PutSection(2, 2, std::string(3000, 'q'));
  const std::filesystem::path dir = phone.Dir() / "backup";
  prompts.FolderAnswer = QString::fromStdString(dir.string());
  QString box;
  prompts.OnShown = [&](QDialog& d) {
    box = d.findChild<QLabel*>("qt_msgbox_label")->text();
    d.done(0);
  };
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
  // Held: the fourth call, the first section's read (after the opening and two sizes). The
  // command comes from the keys: Alt+T opens the Telephone menu, Enter takes its first item.
  const TCancelledDuringCall seen = CancelDuringCall(
      form(), 4,
      [](QDialog& d) {
        if (!Framed(d)) return false;
        Shot("backup-progress.png");
        auto* cancel = d.findChild<QPushButton*>("CancelButton");
        const QPoint at = cancel->mapToGlobal(cancel->rect().center());
        return RunTool("xdotool", {"mousemove", "--sync", QString::number(at.x()),
                                   QString::number(at.y()), "click", "1"});
      },
      [&] {
        ASSERT_TRUE(PressKeys("alt+t"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return form().TelephoneMenu().isVisible(); }, 10000));
        ASSERT_TRUE(PressKeys("Return"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.Shown.isEmpty(); }, 30000));
      });

  EXPECT_TRUE(seen.ModalOverTheWindow);
  EXPECT_GT(seen.PaintsInCall, 0);
  EXPECT_TRUE(seen.CancelTaken);
  EXPECT_TRUE(seen.GoneAfter);
  EXPECT_EQ(seen.Calls, (std::vector<std::string>{"InitGBPMode", "GetNVMFileSize", "GetNVMFileSize",
                                                  "ReadNVMFile", "EndGBPMode"}));
  EXPECT_EQ(prompts.Shown, QStringList{"Back Up Telephone"});
  EXPECT_EQ(box, "The backup was cancelled.\nNothing was written; " +
                     QString::fromStdString(dir.string()) + " was not made.");
  EXPECT_FALSE(std::filesystem::exists(dir));
}

}  // namespace
}  // namespace zub::test
