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
#include <QTest>
#include <fstream>

#include "GuiTestSupport.h"
#include "LiveWindowSupport.h"
#include "app/Manager.h"
#include "base/ProfileFile.h"
#include "gui/app/ExpertsForm.h"
#include "gui/app/ZubApp.h"
#include "gui/browser/SectionGrid.h"
#include "support/SimTelephone.h"

namespace zub::test {
namespace {

class WindowManagerTest : public TLiveWindowTest {
 protected:
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
    d.repaint();
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
    // Whatever the window manager does with the window once the dialog has gone, it has done.
    EXPECT_TRUE(WaitSettled(form()));
    EXPECT_EQ(Outer(), kPlace);
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
