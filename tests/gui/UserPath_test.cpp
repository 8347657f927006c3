// The window through the commands the user runs, on the simulated telephone: the conversion
// prompt reached by an upload lends the firmware box and the options dialog shows the choice
// afterwards; the prompts of the LZO upload show all their text.
#include <gmock/gmock.h>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <cstdlib>
#include <fstream>

#include "GuiTestSupport.h"
#include "app/Manager.h"
#include "base/Bytes.h"
#include "base/ProfileFile.h"
#include "formats/Magic.h"
#include "gui/app/ExpertsForm.h"
#include "gui/app/ZubApp.h"
#include "gui/browser/SectionGrid.h"
#include "support/SimTelephone.h"
#include "support/TestFiles.h"

namespace zub::test {
namespace {

constexpr std::size_t kBareWordAt = 100;       // a relocated firmware address in the program
constexpr std::uint32_t kBareWord = 0x36AC74;  // relative to the link base 0x36A658

std::vector<std::uint8_t> Ufif20(const std::string& name, std::size_t length) {
  std::vector<std::uint8_t> b(length);
  store_u32le(b, 0, 0x20000000);
  for (std::size_t i = 0; i < name.size() && i < 16; ++i)
    b[4 + i] = static_cast<std::uint8_t>(name[i]);
  for (std::size_t o = 20; o + 4 <= length; o += 4) store_u32le(b, o, 0x11110000u + o);
  store_u32le(b, kBareWordAt, kBareWord);
  return b;
}

// The base address an entry of the firmware box names: its text up to the first blank.
std::uint32_t BaseOf(const QString& entry) {
  return entry.section(u' ', 0, 0).toUInt(nullptr, 16);
}

class UserPathTest : public TPhoneWindowTest {
 protected:
  UserPathTest() {
    phone.SetCatalogue(
        {SimTelephone::Entry(2, 1, "Program slot 1"), SimTelephone::Entry(2, 2, "Program slot 2")});
    Open();
  }
  TManager& core() { return form().Core(); }
  QComboBox& fw() { return *app->ExpertsForm().FWComboBox(); }  // wherever it sits

  std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    test::WriteFile(phone.Dir() / name, bytes);
    return (phone.Dir() / name).string();
  }
  // As the user does it: a right click on the row, then the menu entry.
  void FromMenu(int row, TActionId action) {
    TSectionGrid& grid = form().Grid();
    QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, grid.CellRect(1, row).center());
    ASSERT_TRUE(form().PopupMenu1().isVisible());
    form().PopupMenu1().hide();
    ASSERT_TRUE(form().Action(action)->isEnabled());
    form().Action(action)->trigger();
  }
  // Runs the options dialog from its button and returns what its firmware box showed.
  QString OptionsShow() {
    QString shown;
    boxes.OnExec = [&](QDialog& d) {
      EXPECT_EQ(d.objectName(), "ExpertsForm");
      EXPECT_EQ(fw().parentWidget(), &d);
      EXPECT_FALSE(fw().isHidden());
      shown = fw().currentText();
      return int(mrCancel);
    };
    QTest::mouseClick(Button("Button7"), Qt::LeftButton);
    return shown;
  }
};

TEST_F(UserPathTest, ConversionPromptLendsTheFirmwareBoxAndOptionsShowTheChoice) {
  const std::vector<std::uint8_t> program = Ufif20("Tetris", 2000);
  const std::string file = WriteFile("tetris.prg", program);
  boxes.OpenAnswer = QString::fromStdString(file);
  struct Case {
    TActionId action;
    const char* closeWith;  // a button of the prompt; nullptr: the close box
    int steps;              // entries down the firmware box the user goes in the prompt
  };
  using A = TActionId;
  // The choices differ from case to case; the last one ends on a base other than the link base.
  const Case cases[] = {
      {A::UploadAction, "OKBtn", 4},        {A::UploadAction, "Button1", 1},
      {A::UploadAction, "CancelBtn", 1},    {A::UploadAction, nullptr, -1},
      {A::UploadLZOAction, "OKBtn", -5},    {A::UploadLZOAction, "Button1", 2},
      {A::UploadLZOAction, "CancelBtn", 1}, {A::UploadLZOAction, nullptr, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(ActionName(c.action)) + " / " +
                 (c.closeWith ? c.closeWith : "close box"));
    phone.RemoveSection(2, 2);
    QString chosen;
    int prompts = 0;
    boxes.OnExec = [&](QDialog& d) {
      if (d.objectName() != "OKBottomDlg") return int(mrCancel);  // the icon picker
      ++prompts;
      EXPECT_TRUE(core().Experts.FWBorrowed);
      // The box sits in the prompt, right below the first text.
      const QWidget* text1 = d.findChild<QWidget*>("StaticText1");
      EXPECT_EQ(fw().parentWidget(), &d);
      EXPECT_FALSE(fw().isHidden());
      EXPECT_EQ(fw().pos(), QPoint(text1->x(), text1->geometry().bottom() + 1 + 2));
      const Qt::Key key = c.steps > 0 ? Qt::Key_Down : Qt::Key_Up;
      for (int i = 0; i < std::abs(c.steps); ++i) QTest::keyClick(&fw(), key);
      chosen = fw().currentText();
      d.show();
      if (c.closeWith)
        QTest::mouseClick(d.findChild<QAbstractButton*>(c.closeWith), Qt::LeftButton);
      else
        d.close();
      return d.result();
    };
    FromMenu(2, c.action);
    ASSERT_EQ(prompts, 1);
    EXPECT_FALSE(core().Experts.FWBorrowed);
    EXPECT_EQ(fw().parentWidget(), &app->ExpertsForm());
    const int index = fw().findText(chosen);
    EXPECT_EQ(TProfileFile(phone.SettingsPath()).ReadInteger("Manager", "UFIFFW", -1), index);

    const auto written = phone.Section(2, 2);
    const std::string closeWith = c.closeWith ? c.closeWith : "";
    if (closeWith == "CancelBtn" || closeWith.empty()) {
      EXPECT_FALSE(written);
    } else if (c.action == A::UploadLZOAction) {
      EXPECT_EQ(core().Sections[2].Format, closeWith == "OKBtn" ? 0x20010000u : 0x20000000u);
    } else if (closeWith == "OKBtn") {
      ASSERT_TRUE(written);
      EXPECT_EQ(load_u32le(*written, kBareWordAt), kBareWord + BaseOf(chosen) - 0x36A658u);
    } else {
      EXPECT_EQ(written, program);
    }
    EXPECT_EQ(OptionsShow(), chosen);
  }

  // A later conversion, with nothing touched in the prompt, uses the last choice.
  const QString last = fw().currentText();
  ASSERT_NE(BaseOf(last), 0x36A658u);
  boxes.OnExec = [&](QDialog& d) {
    EXPECT_EQ(fw().parentWidget(), &d);
    return int(mrYes);
  };
  FromMenu(2, A::UploadAction);
  ASSERT_TRUE(phone.Section(2, 2));
  EXPECT_EQ(load_u32le(*phone.Section(2, 2), kBareWordAt), kBareWord + BaseOf(last) - 0x36A658u);
}

TEST_F(UserPathTest, LzoUploadOfANewVersionShowsItsPromptsWhole) {
  // 2-1 holds "Tetris" with one save item behind it; the user uploads "Tetris v2".
  std::vector<std::uint8_t> old = Ufif20("Tetris", 3000);
  old.resize(3000 + 4 + 10 + 8, 0x5A);
  store_u16le(old, 3000, 10);
  store_u16le(old, 3002, 10);
  store_u32le(old, 3014, 3000);
  store_u32le(old, 3018, SaveAreaMagic);
  phone.PutSection(2, 1, old);
  QTest::mouseClick(Button("Button1"), Qt::LeftButton);  // Full Refresh
  boxes.OpenAnswer = QString::fromStdString(WriteFile("tetris2.prg", Ufif20("Tetris v2", 2000)));

  std::vector<QString> shown;
  boxes.OnExec = [&](QDialog& d) {
    shown.push_back(d.objectName());
    if (d.objectName() == "OKBottomDlg") return int(mrNo);
    if (d.objectName() == "IconForm") {
      // The drop-down shows eight items at a time, whatever the style.
      auto* icons = d.findChild<QComboBox*>("ComboBoxEx1");
      d.show();
      icons->showPopup();
      QAbstractItemView* list = icons->view();
      EXPECT_TRUE(list->isVisible());
      EXPECT_EQ(list->viewport()->height() / list->sizeHintForRow(0), 8);
      icons->hidePopup();
      d.hide();
      return int(mrCancel);
    }
    // The save-slot prompt: every line of the text fits its label, and the list stays below.
    auto* label = d.findChild<QLabel*>("Label1");
    const QWidget* list = d.findChild<QWidget*>("CheckListBox1");
    EXPECT_GE(label->fontMetrics()
                  .boundingRect(QRect(0, 0, label->width(), 10000), Qt::TextWordWrap, label->text())
                  .height(),
              3 * label->fontMetrics().lineSpacing());  // the prompt does take several lines
    EXPECT_LE(label->heightForWidth(label->width()), label->height());
    EXPECT_LE(label->geometry().bottom(), list->y());
    for (const QWidget* w : d.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
      EXPECT_TRUE(d.rect().contains(w->geometry())) << w->objectName().toStdString();
    return int(mrCancel);
  };
  FromMenu(1, TActionId::UploadLZOAction);
  EXPECT_THAT(shown, ::testing::ElementsAre("OKBottomDlg", "IconForm", "SaveSlotForm"));
}

}  // namespace
}  // namespace zub::test
