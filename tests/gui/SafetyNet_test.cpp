// The window's safety net, from its Telephone menu: a slow backup's progress window is modal,
// paints while the telephone works and takes its Cancel during a call (the rest of the window
// takes nothing), and the backup then stops after the call in flight, closes the connection
// and keeps the previous backup as it was; the restore's plan writes nothing unless the user
// presses Yes (Enter and Esc do not); what the progress window says about a phase.
#include <gmock/gmock.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <map>

#include "GuiTestSupport.h"
#include "app/Manager.h"
#include "gui/backup/ProgressDialog.h"
#include "gui/backup/ProgressText.h"
#include "support/SimTelephone.h"
#include "support/TestFiles.h"

namespace zub::test {
namespace {

namespace fs = std::filesystem;

// Every file of a folder with its bytes, and the names of what lies beside it that a backup
// of it made (".NAME.zub-...").
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir))
    out[e.path().filename().string()] = ReadText(e.path());
  for (const auto& e : fs::directory_iterator(dir.parent_path()))
    if (e.path().filename().string().starts_with("." + dir.filename().string() + ".zub-"))
      out["beside: " + e.path().filename().string()] = "";
  return out;
}

class SafetyNetTest : public TPhoneWindowTest {
 protected:
  SafetyNetTest() {
    phone.SetCatalogue({SimTelephone::Entry(2, 1, "A"), SimTelephone::Entry(2, 2, "B"),
                        SimTelephone::Entry(2, 3, "C"), SimTelephone::Entry(2, 4, "D")});
    for (int sub = 1; sub <= 4; ++sub) phone.PutSection(2, sub, std::string(1500, 'a' + sub));
    Open();
    boxes.FolderAnswer = QString::fromStdString(Backup().string());
    // The report dialog's lines, kept before it "closes" with OK.
    boxes.OnExec = [this](QDialog& d) {
      if (auto* lines = d.findChild<QPlainTextEdit*>("Lines")) Reports << lines->toPlainText();
      return static_cast<int>(mrOk);
    };
  }
  fs::path Backup() const { return phone.Dir() / "backup"; }

  // As the user does it: the menu bar's Telephone menu, then the item.
  void FromTelephoneMenu(TActionId id) {
    QMenuBar* bar = form().menuBar();
    QMenu& menu = form().TelephoneMenu();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu.menuAction()).center());
    ASSERT_TRUE(menu.isVisible());
    QAction* item = form().Action(id);
    ASSERT_TRUE(menu.actions().contains(item));
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(item).center());
  }

  QStringList Reports;
};

TEST_F(SafetyNetTest, CancelDuringASlowBackupStopsAfterTheCallInFlightAndKeepsTheLastBackup) {
  FromTelephoneMenu(TActionId::BackupAction);
  ASSERT_EQ(Reports.size(), 1);
  ASSERT_THAT(Reports[0].toStdString(), testing::HasSubstr("backup: 4 sections: 4 with data"));
  const auto before = Snapshot(Backup());
  ASSERT_EQ(before.size(), 5u);

  // The telephone changes, and it is slow: a section's 1500 bytes take 0.6 s at 24000 bit/s.
  phone.PutSection(2, 3, std::string(1500, 'z'));
  phone.SetSim("Link", "Baud", "24000");
  QAbstractButton* refresh = Button("Button1");
  // Held: the seventh call, the second section's read (after the opening, four sizes and the
  // first read). The main window is clicked then too; only the progress window takes input.
  const TCancelledDuringCall seen = CancelDuringCall(
      form(), 7,
      [](QDialog& d) {
        QTest::mouseClick(d.findChild<QPushButton*>("CancelButton"), Qt::LeftButton);
        return true;
      },
      [&] { FromTelephoneMenu(TActionId::BackupAction); },
      [&] { QTest::mouseClick(refresh, Qt::LeftButton); });

  EXPECT_TRUE(seen.ModalOverTheWindow);
  EXPECT_GT(seen.PaintsInCall, 0);
  ASSERT_EQ(seen.Texts.size(), 4);
  EXPECT_EQ(seen.Texts[0], "Reading the sections");
  EXPECT_EQ(seen.Texts[1], "1 of 4 sections");
  EXPECT_EQ(seen.Texts[2], "1,500 of 6,000 bytes");
  EXPECT_THAT(seen.Texts[3].toStdString(), testing::MatchesRegex(".*/s, about .* s left"));
  EXPECT_TRUE(seen.CancelTaken);
  EXPECT_TRUE(seen.GoneAfter);
  // The read in flight ended, the connection was ended, nothing else reached the telephone.
  EXPECT_EQ(seen.Calls, (std::vector<std::string>{"InitGBPMode", "GetNVMFileSize", "GetNVMFileSize",
                                                  "GetNVMFileSize", "GetNVMFileSize", "ReadNVMFile",
                                                  "ReadNVMFile", "EndGBPMode"}));
  EXPECT_EQ(boxes.CountBoxes("Update done!"), 0);
  ASSERT_FALSE(boxes.Boxes.empty());
  EXPECT_EQ(boxes.Boxes.back().Caption, "Back Up Telephone");
  EXPECT_EQ(boxes.Boxes.back().Text, "The backup was cancelled.\nThe previous backup in " +
                                         QString::fromStdString(Backup().string()) + " was kept.");
  EXPECT_EQ(Snapshot(Backup()), before);
  EXPECT_EQ(form().StatusText(), "Backup cancelled!");

  // The window takes input again, and a verify finds the telephone's change against the
  // backup that was kept.
  phone.SetSim("Link", "Baud", "0");
  FromTelephoneMenu(TActionId::VerifyAction);
  ASSERT_EQ(Reports.size(), 2);
  EXPECT_THAT(Reports[1].toStdString(), testing::HasSubstr("2-3 differs at offset 0\n"));
  EXPECT_THAT(Reports[1].toStdString(), testing::EndsWith("verify: 4 sections: 3 same, 1 differ"));
  // Each command asked for its folder through the window's folder dialog.
  EXPECT_EQ(boxes.FolderCaptions, (std::vector<QString>{"Choose the folder for the backup",
                                                        "Choose the folder for the backup",
                                                        "Choose the backup to verify against"}));
}

TEST_F(SafetyNetTest, TheRestoresPlanWritesOnlyOnYes) {
  FromTelephoneMenu(TActionId::BackupAction);
  const std::string changed(700, 'c');
  struct Case {
    const char* name;
    std::function<void(QDialog&)> answer;
    bool written;
  };
  const Case cases[] = {
      {"Enter: No is the default", [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }, false},
      {"Esc", [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, false},
      {"No",
       [](QDialog& d) { QTest::mouseClick(d.findChild<QPushButton*>("NoButton"), Qt::LeftButton); },
       false},
      {"Yes",
       [](QDialog& d) {
         QTest::mouseClick(d.findChild<QPushButton*>("YesButton"), Qt::LeftButton);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    phone.PutSection(2, 2, changed);
    QStringList plan;
    boxes.OnExec = [&](QDialog& d) {
      plan << d.findChild<QPlainTextEdit*>("Lines")->toPlainText();
      const auto* question = d.findChild<QLabel*>("Question");
      if (!question) return static_cast<int>(mrOk);  // the result list after the restore
      plan << question->text();
      d.show();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
      c.answer(d);
      return d.result();
    };
    FromTelephoneMenu(TActionId::RestoreAction);
    ASSERT_GE(plan.size(), 2);
    EXPECT_EQ(plan[0],
              "2-2 would write 1500 bytes (the telephone holds 700 bytes)\n"
              "restore: 4 sections: 3 same, 1 to write");
    EXPECT_EQ(plan[1], "Write 1 section of the telephone? What they hold now is lost.");
    const auto now = phone.Section(2, 2);
    ASSERT_TRUE(now);
    EXPECT_EQ(now->size(), c.written ? 1500u : changed.size());
    EXPECT_EQ(form().StatusText(), c.written ? "Restored!" : "Restore cancelled!");
    if (c.written) {
      ASSERT_EQ(plan.size(), 3);
      EXPECT_EQ(plan[2],
                "2-2 written 1500 bytes, verified (the telephone holds 700 bytes)\n"
                "restore: 4 sections: 3 same, 1 written");
      EXPECT_EQ(form().Core().Sections[2].Size, 1500);  // the row was scanned again
    }
  }
}

TEST(ProgressText, SaysThePhaseTheCountsTheSpeedAndTheTimeLeft) {
  struct Case {
    TRunProgress progress;
    double seconds;
    TProgressText expected;
  };
  const Case cases[] = {
      {{TRunPhase::Sizing, 3, 47, 0, 0},
       1.0,
       {"Asking the size of each section", "3 of 47 sections", "", "", 6}},
      {{TRunPhase::Reading, 0, 19, 0, 81750},
       0.0,
       {"Reading the sections", "0 of 19 sections", "0 of 81,750 bytes", "", 0}},
      {{TRunPhase::Reading, 5, 19, 20480, 81750},
       10.0,
       {"Reading the sections", "5 of 19 sections", "20,480 of 81,750 bytes",
        "2.0 KB/s, about 30 s left", 25}},
      {{TRunPhase::Comparing, 1, 47, 600, 81750},
       1.0,
       {"Comparing with the backup", "1 of 47 sections", "600 of 81,750 bytes",
        "600 bytes/s, about 2 min 16 s left", 0}},
      {{TRunPhase::Writing, 2, 2, 3600, 3600},
       2.0,
       {"Writing back and reading back", "2 of 2 sections", "3,600 of 3,600 bytes", "1.8 KB/s",
        100}},
      // Too soon to say a speed; a phase with nothing in it is done.
      {{TRunPhase::Reading, 1, 2, 100, 1000},
       0.05,
       {"Reading the sections", "1 of 2 sections", "100 of 1,000 bytes", "", 10}},
      {{TRunPhase::Checking, 0, 0, 0, 0},
       0.0,
       {"Asking the empty sections again", "0 of 0 sections", "", "", 100}},
  };
  for (const Case& c : cases) {
    const TProgressText t = DescribeProgress(c.progress, c.seconds);
    SCOPED_TRACE(c.expected.Sections.toStdString() + " " + c.expected.Bytes.toStdString());
    EXPECT_EQ(t.Phase.toStdString(), c.expected.Phase.toStdString());
    EXPECT_EQ(t.Sections.toStdString(), c.expected.Sections.toStdString());
    EXPECT_EQ(t.Bytes.toStdString(), c.expected.Bytes.toStdString());
    EXPECT_EQ(t.Speed.toStdString(), c.expected.Speed.toStdString());
    EXPECT_EQ(t.Percent, c.expected.Percent);
  }
  EXPECT_EQ(GroupedNumber(0), "0");
  EXPECT_EQ(GroupedNumber(999), "999");
  EXPECT_EQ(GroupedNumber(1000), "1,000");
  EXPECT_EQ(GroupedNumber(16777216), "16,777,216");
}

}  // namespace
}  // namespace zub::test
