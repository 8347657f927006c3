// The window under a real window manager, with real message boxes and dialogs: the captions
// as the window manager shows them, the conversion prompt with the firmware box, and the
// window's place across the Options dialog. tests/gui/window-manager-test.sh runs these on an
// X server with openbox; on any other platform they are skipped. With ZUB_SHOTS=DIR set they
// leave screenshots of the whole screen in DIR.
#include <gmock/gmock.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <fstream>

#include "GuiTestSupport.h"
#include "app/Manager.h"
#include "base/ProfileFile.h"
#include "gui/app/ExpertsForm.h"
#include "gui/app/ZubApp.h"
#include "gui/browser/SectionGrid.h"
#include "support/SimTelephone.h"

namespace zub::test {
namespace {

bool Framed(QWidget& w) {
  QWindow* window = w.windowHandle();
  return window && window->isExposed() && !window->frameMargins().isNull();
}

// The title the window manager has for a window (_NET_WM_NAME, as xprop shows it).
QString XTitle(QWidget& w) {
  QProcess xprop;
  xprop.start("xprop", {"-id", QString::number(w.winId()), "_NET_WM_NAME"});
  xprop.waitForFinished();
  // "_NET_WM_NAME(UTF8_STRING) = "text"", or nothing after the "=" for an empty title.
  const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
  if (!out.startsWith("_NET_WM_NAME(UTF8_STRING) =")) return "<no title: " + out + ">";
  QString value = out.section(u'=', 1).trimmed();
  if (value.startsWith(u'"') && value.endsWith(u'"')) value = value.mid(1, value.size() - 2);
  return value;
}

void Shot(const char* name) {
  const QString dir = qEnvironmentVariable("ZUB_SHOTS");
  if (!dir.isEmpty()) QProcess::execute("import", {"-window", "root", dir + "/" + name});
}

// Real boxes and dialogs. Once one is up and framed by the window manager, OnShown gets it and
// must close it. File dialogs answer at once.
class TLivePrompts final : public IModalPrompts {
 public:
  std::function<void(QDialog&)> OnShown = [](QDialog& d) { d.done(mrCancel); };
  std::optional<QString> OpenAnswer;

  void MessageBox(QWidget* owner, const QString& caption, const QString& text) override {
    Arm();
    FQt.MessageBox(owner, caption, text);
  }
  bool Confirm(QWidget* owner, const QString& caption, const QString& text) override {
    Arm();
    return FQt.Confirm(owner, caption, text);
  }
  std::optional<QString> OpenFile(QWidget*, const QStringList&) override { return OpenAnswer; }
  std::optional<QString> SaveFile(QWidget*) override { return std::nullopt; }
  void ShowException(QWidget* owner, const QString& text) override {
    Arm();
    FQt.ShowException(owner, text);
  }
  bool OpenWithSystem(const QString&) override { return true; }
  int Exec(QDialog& dialog) override {
    Arm();
    return FQt.Exec(dialog);
  }

 private:
  void Arm() {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [this, timer] {
      auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!d || !Framed(*d)) return;
      timer->stop();
      timer->deleteLater();
      QTest::qWait(200);  // the window manager's decorations are drawn
      OnShown(*d);
    });
    timer->start();
  }

  TQtPrompts FQt;
};

class WindowManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QGuiApplication::platformName() != "xcb")
      GTEST_SKIP() << "needs an X11 display with a window manager; "
                      "tests/gui/window-manager-test.sh runs these under Xvfb and openbox";
    phone.SetCatalogue(
        {SimTelephone::Entry(2, 1, "Program slot 1"), SimTelephone::Entry(2, 2, "Program slot 2")});
    phone.SetSetting("Form", "Left", "150");
    phone.SetSetting("Form", "Top", "100");
    phone.SetSetting("Form", "Width", "400");
    phone.SetSetting("Form", "Height", "450");
    app = std::make_unique<TZubApp>(HomeOptions(phone.Dir(), prompts));
    form().show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Framed(form()); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Outer() == QRect(150, 100, 400, 450); }, 5000))
        << "outer bounds " << Outer().x() << "," << Outer().y() << " " << Outer().width() << "x"
        << Outer().height();
  }
  void TearDown() override {
    if (app) form().close();
  }
  TForm1& form() { return app->Form1(); }
  // The native window's: the widget's own frameGeometry() may miss a frame added late.
  QRect Outer() { return form().windowHandle()->frameGeometry(); }
  QComboBox& fw() { return *app->ExpertsForm().FWComboBox(); }
  QAbstractButton* Button(QWidget& in, const char* name) {
    return in.findChild<QAbstractButton*>(QString::fromLatin1(name));
  }
  std::string WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(phone.Dir() / name, std::ios::binary) << bytes;
    return (phone.Dir() / name).string();
  }
  void FromMenu(int row, TActionId action) {
    TSectionGrid& grid = form().Grid();
    QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, grid.CellRect(1, row).center());
    form().PopupMenu1().hide();
    form().Action(action)->trigger();
  }

  SimTelephone phone;
  TLivePrompts prompts;
  std::unique_ptr<TZubApp> app;
};

TEST_F(WindowManagerTest, WindowsCarryTheirCaptionsLetterForLetter) {
  std::string ufif20("\x00\x00\x00\x20Tetris", 10);
  ufif20.resize(1000, '\x01');
  const std::string tooBig = WriteFile("toobig.bin", std::string(40000, 'x'));
  const std::string small = WriteFile("small.bin", std::string(500, 'y'));
  const std::string program = WriteFile("tetris.prg", ufif20);

  std::vector<std::pair<QString, QString>> seen;  // the caption, and the window manager's title
  prompts.OnShown = [&](QDialog& d) {
    seen.emplace_back(d.windowTitle(), XTitle(d));
    d.done(d.objectName() == "OKBottomDlg" ? mrCancel : 0);
  };
  EXPECT_EQ(XTitle(form()), "ZUB Manager 3");
  QTest::mouseClick(Button(form(), "Button1"), Qt::LeftButton);  // "Update done!"
  prompts.OpenAnswer = QString::fromStdString(tooBig);
  FromMenu(2, TActionId::UploadAction);  // "Can't uplod - file too big!"
  prompts.OpenAnswer = QString::fromStdString(small);
  FromMenu(2, TActionId::UploadAction);  // "Section uploaded sucsessfully!"
  prompts.OpenAnswer = QString::fromStdString(program);
  FromMenu(2, TActionId::UploadAction);                          // the conversion prompt
  QTest::mouseClick(Button(form(), "Button7"), Qt::LeftButton);  // Options
  const std::vector<std::pair<QString, QString>> expected = {
      {"", ""},
      {"ERROR", "ERROR"},
      {"OK!", "OK!"},
      {"Dialog", "Dialog"},
      {"Manager options", "Manager options"},
  };
  EXPECT_EQ(seen, expected);
}

TEST_F(WindowManagerTest, ConversionPromptShowsTheFirmwareBoxAndOptionsTheChoice) {
  std::string ufif20("\x00\x00\x00\x20Tetris", 10);
  ufif20.resize(1000, '\x01');
  prompts.OpenAnswer = QString::fromStdString(WriteFile("tetris.prg", ufif20));
  QString chosen;
  prompts.OnShown = [&](QDialog& d) {
    if (d.objectName() != "OKBottomDlg") {  // the upload's "OK!" box after the prompt
      d.done(0);
      return;
    }
    EXPECT_EQ(fw().parentWidget(), &d);
    EXPECT_TRUE(fw().isVisible());
    EXPECT_TRUE(d.rect().contains(fw().geometry()));
    for (int i = 0; i < 4; ++i) QTest::keyClick(&fw(), Qt::Key_Down);
    chosen = fw().currentText();
    QTest::qWait(100);
    Shot("conversion-prompt.png");
    QTest::mouseClick(Button(d, "Button1"), Qt::LeftButton);  // "No"
  };
  FromMenu(2, TActionId::UploadAction);
  ASSERT_FALSE(chosen.isEmpty());
  EXPECT_EQ(phone.Section(2, 2)->size(), ufif20.size());

  prompts.OnShown = [&](QDialog& d) {
    EXPECT_EQ(d.objectName(), "ExpertsForm");
    EXPECT_EQ(fw().parentWidget(), &d);
    EXPECT_TRUE(fw().isVisible());
    EXPECT_EQ(fw().currentText(), chosen);
    Shot("options-after-prompt.png");
    QTest::mouseClick(Button(d, "Button2"), Qt::LeftButton);  // "Cancel"
  };
  QTest::mouseClick(Button(form(), "Button7"), Qt::LeftButton);
}

TEST_F(WindowManagerTest, OptionsDialogLeavesTheWindowWhereItIs) {
  for (const char* close : {"Button2", "Button1"}) {  // Cancel, then OK
    SCOPED_TRACE(close);
    prompts.OnShown = [&](QDialog& d) { QTest::mouseClick(Button(d, close), Qt::LeftButton); };
    QTest::mouseClick(Button(form(), "Button7"), Qt::LeftButton);
    QTest::qWait(300);  // whatever the window manager does with the window, it has done now
    EXPECT_EQ(Outer(), QRect(150, 100, 400, 450));
  }
  form().close();
  TProfileFile ini(phone.SettingsPath());
  EXPECT_EQ(ini.ReadInteger("Form", "Left", 0), 150);
  EXPECT_EQ(ini.ReadInteger("Form", "Top", 0), 100);
  EXPECT_EQ(ini.ReadInteger("Form", "Width", 0), 400);
  EXPECT_EQ(ini.ReadInteger("Form", "Height", 0), 450);
}

}  // namespace
}  // namespace zub::test
