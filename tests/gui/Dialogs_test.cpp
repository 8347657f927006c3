// The dialogs: their layout, what they show of the core's model and what the user's changes
// do to it. Modal runs are answered by the recorder, which works the widgets meanwhile.
#include <gmock/gmock.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "GuiTestSupport.h"
#include "app/Manager.h"
#include "base/ProfileFile.h"
#include "formats/IconTable.h"
#include "gui/app/ExpertsForm.h"
#include "gui/app/ZubApp.h"
#include "gui/browser/IconForm.h"
#include "gui/browser/IconImages.h"
#include "gui/formats/BadAddrForm.h"
#include "gui/formats/OKBottomDlg.h"
#include "gui/prefs/PrefForm.h"
#include "gui/saveslots/SaveSlotForm.h"
#include "gui/tools/AboutBox.h"

namespace zub::test {
namespace {

class DialogTest : public ::testing::Test {
 protected:
  DialogTest() : app(home.Options(boxes)) {
    app.Form1().show();
    boxes.Boxes.clear();
  }
  template <class T = QWidget>
  static T* Child(QWidget& parent, const char* name) {
    auto* w = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  TManager& core() { return app.Form1().Core(); }

  TTempHome home;
  TBoxRecorder boxes;
  TZubApp app;
};

struct Placed {
  const char* name;
  int x, y;           // x < 0: position not checked
  int width, height;  // width 0: size not checked (labels size to their text)
  const char* text;   // nullptr: not checked
};

QString TextOf(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return {};
}

void ExpectLayout(QWidget& dialog, std::initializer_list<Placed> table) {
  for (const Placed& p : table) {
    SCOPED_TRACE(p.name);
    auto* w = dialog.findChild<QWidget*>(QString::fromLatin1(p.name));
    ASSERT_NE(w, nullptr);
    if (p.x >= 0) {
      EXPECT_EQ(w->pos(), QPoint(p.x, p.y));
    }
    if (p.width > 0) {
      EXPECT_EQ(w->size(), QSize(p.width, p.height));
    }
    if (p.text) {
      EXPECT_EQ(TextOf(w), QString::fromUtf8(p.text));
    }
  }
}

TEST_F(DialogTest, OptionsDialogShowsTheFirmwareTableAndTheWarning) {
  int shown = 0;
  boxes.OnExec = [&](QDialog& d) {
    ++shown;
    EXPECT_EQ(d.objectName(), "ExpertsForm");
    auto* fw = Child<QComboBox>(d, "FWComboBox");
    const QStringList table = {"0x370000 - J7/70 3.10/4", "0x36A658 - J7/70 3.10/5",
                               "0x36A658 - J7/70 3.6/5",  "0x36A658 - J5/6 5.4.2/1",
                               "0x37BDD8 - J5/6 5.4.2/4", "0x36A658 - J5/6 5.4.2/5",
                               "0x37BDD8 - Z7 4.5.6/4"};
    EXPECT_EQ(fw->count(), table.size());
    for (int i = 0; i < fw->count(); ++i) EXPECT_EQ(fw->itemText(i), table[i]);
    EXPECT_EQ(fw->currentText(), table[0]);
    EXPECT_TRUE(fw->isEditable());
    ExpectLayout(d, {{"Label1", -1, -1, 0, 0, "Address and FW version for UFIF2.1 conversion:"},
                     {"CTECB", -1, -1, 0, 0, "Use Service cable (CTE Mode)"},
                     {"Button3", -1, -1, 0, 0, "Default"},
                     {"Button1", -1, -1, 0, 0, "OK"},
                     {"Button2", -1, -1, 0, 0, "Cancel"}});
    auto* warning = Child<QLabel>(d, "Label2");
    EXPECT_EQ(warning->text(),
              "Warning! Be careful using this mode. It is very slow and not support data larger "
              "than 21K.");
    EXPECT_TRUE(warning->wordWrap());
    warning->ensurePolished();
    EXPECT_EQ(warning->palette().color(warning->foregroundRole()), QColor(255, 0, 0));
    return int(mrCancel);
  };
  QTest::mouseClick(Child<QAbstractButton>(app.Form1(), "Button7"), Qt::LeftButton);
  EXPECT_EQ(shown, 1);
}

TEST_F(DialogTest, OptionsDialogChangesReachTheCoreAtOnce) {
  boxes.OnExec = [&](QDialog& d) {
    auto* cte = Child<QCheckBox>(d, "CTECB");
    QTest::mouseClick(cte, Qt::LeftButton);  // the library switches now
    EXPECT_TRUE(core().Experts.CTECB);
    EXPECT_EQ(boxes.CountBoxes("Unable to open cte_gbp.dll"), 1);
    QTest::mouseClick(Child<QAbstractButton>(d, "Button3"), Qt::LeftButton);  // "Default"
    EXPECT_FALSE(core().Experts.CTECB);
    EXPECT_FALSE(cte->isChecked());

    auto* fw = Child<QComboBox>(d, "FWComboBox");
    QTest::keyClick(fw, Qt::Key_Down);  // choose the second entry
    EXPECT_EQ(core().Experts.FWIndex, 1);
    fw->lineEdit()->clear();
    QTest::keyClicks(fw->lineEdit(), "0x37BDD8 - z7 custom");
    EXPECT_EQ(core().Experts.FWIndex, -1);
    EXPECT_EQ(core().Experts.FWText, "0x37BDD8 - z7 custom");
    QTest::keyClick(fw->lineEdit(), Qt::Key_Return);  // typed text never becomes an item
    EXPECT_EQ(fw->count(), 7);
    QTest::keyClick(fw, Qt::Key_Down);  // the entry below the last one chosen
    EXPECT_EQ(core().Experts.FWIndex, 2);
    return int(mrOk);
  };
  QTest::mouseClick(Child<QAbstractButton>(app.Form1(), "Button7"), Qt::LeftButton);
  EXPECT_EQ(TProfileFile(home.SettingsPath()).ReadInteger("Manager", "UFIFFW", -1), 2);
  EXPECT_EQ(core().Experts.FWIndex, 2);
  EXPECT_FALSE(core().Experts.CTECB);
}

TEST_F(DialogTest, ConversionPromptIsLaidOutAndBorrowsTheFirmwareBox) {
  TOKBottomDlg& prompt = app.OKBottomDlg();
  EXPECT_EQ(prompt.size(), QSize(313, 247));
  ExpectLayout(prompt,
               {{"Bevel1", 8, 8, 297, 193, nullptr},
                {"StaticText3", 56, 16, 186, 28, "Please read this text!!!"},
                {"StaticText1", 16, 48, 281, 57,
                 "You're trying to upload UFIF 2.0 version program! This is an older format and "
                 "it may not work on some ZUB3 firmwares. Do you want to convert this program to "
                 "UFIF 2.1 - compatible format?"},
                {"StaticText2", 16, 136, 281, 57,
                 "If you using ZUB3 MOD and want to convert this program select correct firmware "
                 "and press \"Yes\" button. Press \"No\" if you still using ZUB2 MOD, or simply "
                 "want to upload program \"as is\" without converting."},
                {"OKBtn", 47, 212, 75, 25, "Yes"},
                {"Button1", 127, 212, 75, 25, "No"},
                {"CancelBtn", 207, 212, 75, 25, "Cancel"}});
  EXPECT_EQ(QFontInfo(Child(prompt, "StaticText3")->font()).pixelSize(), 19);

  QComboBox* fw = Child<QComboBox>(app.ExpertsForm(), "FWComboBox");
  const QPoint homePos = fw->pos();
  struct Case {
    const char* button;  // nullptr: Esc
    int result;
  };
  for (const Case c : {Case{"OKBtn", mrYes}, Case{"Button1", mrNo}, Case{"CancelBtn", mrCancel},
                       Case{nullptr, mrCancel}}) {
    SCOPED_TRACE(c.result);
    boxes.OnExec = [&](QDialog& d) {
      EXPECT_EQ(fw->parentWidget(), &d);
      EXPECT_EQ(fw->geometry(), QRect(16, 107, 233, fw->height()));
      EXPECT_FALSE(fw->isHidden());
      QTest::keyClick(fw, Qt::Key_Down);  // picked in the prompt, kept by the options dialog
      d.show();
      if (c.button)
        QTest::mouseClick(Child<QAbstractButton>(d, c.button), Qt::LeftButton);
      else
        QTest::keyClick(&d, Qt::Key_Escape);
      EXPECT_FALSE(d.isVisible());
      return d.result();
    };
    const int before = core().Experts.FWIndex;
    // The command marks the box as lent before it shows the prompt; the prompt takes it all
    // the same.
    core().Experts.FWBorrowed = true;
    EXPECT_EQ(app.Form1().ShowModal(TFormId::OKBottomDlg), c.result);
    core().Experts.FWBorrowed = false;
    EXPECT_EQ(fw->parentWidget(), &app.ExpertsForm());
    EXPECT_EQ(fw->pos(), homePos);
    EXPECT_EQ(core().Experts.FWIndex, before + 1);
  }
}

TEST_F(DialogTest, ReportWindowShowsTheConversionReport) {
  core().BadAddr.Memo1 = {"offset: 24; UFIF Address:3581504", "offset: 40; UFIF Address:3581505"};
  boxes.OnExec = [&](QDialog& d) {
    EXPECT_EQ(Child<QPlainTextEdit>(d, "Memo1")->toPlainText(),
              "offset: 24; UFIF Address:3581504\noffset: 40; UFIF Address:3581505");
    EXPECT_EQ(TextOf(Child(d, "Button1")), "OK");
    return int(mrOk);
  };
  EXPECT_EQ(app.Form1().ShowModal(TFormId::BadAddrForm), mrOk);
}

TEST_F(DialogTest, PreferenceDialogShowsTheModelAndWritesItBackOnUpdate) {
  TPrefForm& pref = app.PrefForm();
  ExpectLayout(pref, {{"RG1", 8, 8, 113, 81, "Menu show mode"},
                      {"RG1Item0", -1, -1, 0, 0, "Only programs"},
                      {"RG1Item1", -1, -1, 0, 0, "Progs and data"},
                      {"RG1Item2", -1, -1, 0, 0, "Show all"},
                      {"GroupBox1", 128, 8, 113, 81, "Autorun (ZUB3b3)"},
                      {"ACheckBox", 8, 16, 65, 17, "Enabled"},
                      {"Label3", 8, 36, 0, 0, "Program section:"},
                      {"AsEdit", 56, 52, 25, 21, "18"},
                      {"AssEdit", 80, 52, 25, 21, "09"},
                      {"Label1", 8, 100, 0, 0, "UFIF2-Library section:"},
                      {"sEdit", 110, 96, 25, 21, "02"},
                      {"ssEdit", 134, 96, 25, 21, "17"},
                      {"Label2", 158, 102, 0, 0, "(ZUB2 2b9 or higher)"},
                      {"Label4", 8, 120, 0, 0, nullptr},
                      {"Label5", 8, 136, 0, 0, nullptr},
                      {"Label6", 8, 152, 0, 0, nullptr},
                      {"Button1", 80, 168, 75, 25, "Update"},
                      {"Button2", 160, 168, 75, 25, "Cancel"}});
  EXPECT_EQ(Child(pref, "ACheckBox")->parentWidget()->objectName(), "GroupBox1");
  EXPECT_LT(Child(pref, "Label2")->font().pixelSize(), pref.font().pixelSize());
  for (const char* item : {"RG1Item0", "RG1Item1", "RG1Item2"})
    EXPECT_FALSE(Child<QRadioButton>(pref, item)->isChecked());

  TPrefModel& m = core().Pref;
  m.RG1 = 1;
  m.ACheckBox = true;
  m.AsEdit = "18";
  m.AssEdit = "9";
  m.sEdit = "2";
  m.ssEdit = "17";
  m.Label5 = "Total space used by section 17: 1024";
  for (int result : {int(mrCancel), int(mrOk)}) {
    SCOPED_TRACE(result);
    boxes.OnExec = [&](QDialog& d) {
      EXPECT_TRUE(Child<QRadioButton>(d, "RG1Item1")->isChecked());
      auto* autorun = Child<QCheckBox>(d, "ACheckBox");
      EXPECT_TRUE(autorun->isChecked());
      EXPECT_EQ(TextOf(Child(d, "AssEdit")), "9");
      EXPECT_EQ(TextOf(Child(d, "Label5")), "Total space used by section 17: 1024");
      d.show();
      QTest::mouseClick(autorun, Qt::LeftButton);
      EXPECT_FALSE(Child(d, "AsEdit")->isVisible());
      EXPECT_FALSE(Child(d, "AssEdit")->isVisible());
      EXPECT_TRUE(Child(d, "Label3")->isVisible());
      EXPECT_FALSE(m.AsVisible);
      QTest::mouseClick(Child<QRadioButton>(d, "RG1Item2"), Qt::LeftButton);
      auto* lib = Child<QLineEdit>(d, "sEdit");
      lib->selectAll();
      QTest::keyClicks(lib, "258");
      d.hide();
      return result;
    };
    m.AsVisible = m.AssVisible = true;
    app.Form1().ShowModal(TFormId::PrefForm);
  }
  // Only "Update" wrote the fields back; the first run's Cancel left them alone.
  EXPECT_EQ(m.RG1, 2);
  EXPECT_FALSE(m.ACheckBox);
  EXPECT_EQ(m.sEdit, "258");
  EXPECT_EQ(m.ssEdit, "17");
}

TEST_F(DialogTest, SaveSlotDialogTicksTheCoresSlots) {
  TSaveSlotForm& dialog = app.SaveSlotForm();
  ExpectLayout(dialog, {{"Label1", 8, 8, 249, 41, nullptr},
                        {"CheckListBox1", 8, 56, 249, 121, nullptr},
                        {"Button3", 8, 184, 75, 25, "Select All"},
                        {"Button4", 8, 216, 75, 25, "Deselect All"},
                        {"Button1", 96, 216, 75, 25, "OK"},
                        {"Button2", 184, 216, 75, 25, "Cancel"}});
  EXPECT_TRUE(Child<QLabel>(dialog, "Label1")->wordWrap());
  // Tab order: the list, OK, Cancel, Select All, Deselect All.
  QWidget* w = Child(dialog, "CheckListBox1");
  for (const char* next : {"Button1", "Button2", "Button3", "Button4", "CheckListBox1"}) {
    do w = w->nextInFocusChain();
    while (w->parentWidget() != &dialog || !(w->focusPolicy() & Qt::TabFocus));
    EXPECT_EQ(w->objectName(), next);
  }

  core().FSaveSlots = {TSaveSlot{4004, 600, true}, TSaveSlot{4608, 384, true}};
  core().SaveSlotForm.Label1 = "Select slots to keep";
  core().SaveSlotForm.Lines = {{"Slot 1, Size: 600 bytes", true},
                               {"Slot 2, Size: 384 bytes", true}};
  boxes.OnExec = [&](QDialog& d) {
    auto* list = Child<QListWidget>(d, "CheckListBox1");
    EXPECT_EQ(TextOf(Child(d, "Label1")), "Select slots to keep");
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "Slot 2, Size: 384 bytes");
    EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
    list->item(0)->setCheckState(Qt::Unchecked);  // as a click on its box does
    EXPECT_FALSE(core().FSaveSlots[0].Selected);
    EXPECT_TRUE(core().FSaveSlots[1].Selected);
    EXPECT_FALSE(core().SaveSlotForm.Lines[0].Checked);
    QTest::mouseClick(Child<QAbstractButton>(d, "Button4"), Qt::LeftButton);  // Deselect All
    EXPECT_FALSE(core().FSaveSlots[1].Selected);
    EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
    QTest::mouseClick(Child<QAbstractButton>(d, "Button3"), Qt::LeftButton);  // Select All
    EXPECT_TRUE(core().FSaveSlots[0].Selected && core().FSaveSlots[1].Selected);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    d.reject();  // the close box
    return d.result();
  };
  EXPECT_EQ(app.Form1().ShowModal(TFormId::SaveSlotForm), mrCancel);
}

TEST_F(DialogTest, IconPickerListsTheCodesWithTheirImagesAndKeepsTheChoice) {
  TIconForm& picker = app.IconForm();
  auto* combo = Child<QComboBox>(picker, "ComboBoxEx1");
  EXPECT_EQ(TextOf(Child(picker, "Label1")), "Select icon for program:");
  ASSERT_EQ(combo->count(), 147);
  EXPECT_EQ(combo->currentIndex(), -1);
  EXPECT_EQ(combo->placeholderText(), "Select icon");
  EXPECT_EQ(combo->maxVisibleItems(), 8);
  const std::pair<int, const char*> items[] = {
      {0, "E80A"}, {18, "E83B"}, {19, "E83D"}, {106, "E852"}, {146, "E899"}};
  for (const auto& [k, caption] : items) {
    SCOPED_TRACE(caption);
    EXPECT_EQ(combo->itemText(k), caption);
    const QImage shown =
        combo->itemIcon(k).pixmap(12, 12).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(shown, IconImage(ImageIndexOfItem(k)));
  }
  EXPECT_NE(IconImage(19), IconImage(20));

  boxes.OnExec = [&](QDialog& d) {
    auto* c = Child<QComboBox>(d, "ComboBoxEx1");
    c->setCurrentIndex(106);
    return int(mrOk);
  };
  EXPECT_EQ(app.Form1().ShowModal(TFormId::IconForm), mrOk);
  EXPECT_EQ(core().IconForm.ItemIndex, 106);
  boxes.OnExec = [&](QDialog& d) {
    EXPECT_EQ(Child<QComboBox>(d, "ComboBoxEx1")->currentIndex(), 106);  // the last choice
    return int(mrCancel);
  };
  app.Form1().ShowModal(TFormId::IconForm);
}

TEST_F(DialogTest, AboutButtonShowsTheAboutBox) {
  boxes.OnExec = [&](QDialog& d) {
    EXPECT_EQ(d.objectName(), "AboutBox");
    EXPECT_EQ(TextOf(Child(d, "ProductName")), "ZUB Manager 3");
    EXPECT_FALSE(TextOf(Child(d, "Comments")).isEmpty());
    EXPECT_EQ(TextOf(Child(d, "WebAddress")), "https://zubmanager.example.org");
    auto* ok = Child<QPushButton>(d, "OKButton");
    EXPECT_TRUE(ok->isDefault());
    ok->click();
    return d.result();
  };
  QTest::mouseClick(Child<QAbstractButton>(app.Form1(), "Button2"), Qt::LeftButton);
  EXPECT_EQ(boxes.Executed, std::vector<QString>{"AboutBox"});
}

}  // namespace
}  // namespace zub::test
