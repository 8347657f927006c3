// The window driving the simulated telephone: buttons and menu actions reach the commands,
// the grid shows what the scan found, and a picture of the whole window is kept in
// screenshots/form1.png.
#include <gmock/gmock.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTest>
#include <fstream>

#include "GuiTestSupport.h"
#include "app/Manager.h"
#include "gui/app/ZubApp.h"
#include "gui/browser/SectionGrid.h"
#include "support/SimTelephone.h"

namespace zub::test {
namespace {

std::string UfifProgram(const std::string& name, std::size_t length) {
  std::string image("\x00\x00\x00\x20", 4);
  std::string title = name;
  title.resize(16, '\0');
  image += title;
  for (std::size_t i = image.size(); i < length; ++i) image += static_cast<char>(i * 7);
  return image;
}

class TelephoneTest : public TPhoneWindowTest {
 protected:
  TelephoneTest() {
    phone.SetCatalogue({SimTelephone::Entry(2, 1, "Program slot 1"),
                        SimTelephone::Entry(2, 2, "Program slot 2"),
                        SimTelephone::Entry(2, 3, "Picture"), SimTelephone::Entry(17, 1, "Data")});
    phone.PutSection(2, 1, UfifProgram("Tetris", 4000));
    phone.PutSection(2, 3, std::string("GIF89a\x01\x00\x01\x00", 10) + std::string(200, '\0'));
    phone.PutSection(17, 1, std::string(30000, 'x'));
    Open();
  }
  void ClickRow(int row) {
    QTest::mouseClick(form().Grid().viewport(), Qt::LeftButton, {},
                      form().Grid().CellRect(1, row).center());
  }
};

TEST_F(TelephoneTest, FullRefreshFillsTheGrid) {
  QTest::mouseClick(Button("Button1"), Qt::LeftButton);
  EXPECT_EQ(boxes.CountBoxes("Update done!"), 1);
  const auto& rows = form().Core().Sections;
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[1].Kind, skProgram);
  EXPECT_EQ(rows[1].Title, "Tetris");
  EXPECT_EQ(rows[1].Size, 4000);
  EXPECT_EQ(rows[2].Size, 0);
  EXPECT_EQ(rows[3].Kind, skGIF);
  EXPECT_EQ(rows[4].Kind, skData);
  ClickRow(4);
  EXPECT_EQ(form().StatusText(), "By default section 17-1 is used for Data");

  ASSERT_TRUE(QDir().mkpath(QStringLiteral(ZUB_SCREENSHOT_DIR)));
  EXPECT_TRUE(form().grab().save(QStringLiteral(ZUB_SCREENSHOT_DIR "/form1.png")));
}

TEST_F(TelephoneTest, UploadFromTheMenuWritesTheChosenFileIntoTheCurrentRow) {
  const auto file = phone.Dir() / "upload.bin";
  {
    std::ofstream out(file, std::ios::binary);
    out << std::string(1000, 'd');
  }
  boxes.OpenAnswer = QString::fromStdString(file.string());
  ClickRow(2);
  QTest::mouseClick(form().Grid().viewport(), Qt::RightButton, {},
                    form().Grid().CellRect(1, 2).center());
  QAction* upload = form().Action(TActionId::UploadAction);
  ASSERT_TRUE(upload->isEnabled());
  form().PopupMenu1().hide();
  upload->trigger();
  EXPECT_EQ(boxes.CountBoxes("Section uploaded sucsessfully!"), 1);
  EXPECT_EQ(form().StatusText(), "Uploaded!");
  EXPECT_EQ(phone.Section(2, 2)->size(), 1000u);
  EXPECT_EQ(form().Core().Sections[2].Size, 1000);
}

TEST_F(TelephoneTest, RightClickedRowIsTheOneTheMenuActsOn) {
  QTest::mouseClick(Button("Button1"), Qt::LeftButton);  // Full Refresh
  ClickRow(1);                                           // Tetris is current...
  QTest::mouseClick(form().Grid().viewport(), Qt::RightButton, {},
                    form().Grid().CellRect(1, 4).center());  // ...the user points at 17-1
  EXPECT_EQ(form().StatusText(), "By default section 17-1 is used for Data");
  form().PopupMenu1().hide();
  form().Action(TActionId::ClearAction)->trigger();
  const auto cleared = phone.Section(17, 1);
  EXPECT_TRUE(!cleared || cleared->empty());
  EXPECT_EQ(phone.Section(2, 1)->size(), 4000u);
  EXPECT_EQ(form().StatusText(), "Erased!");
}

TEST_F(TelephoneTest, PlayGifWithoutAViewerNamesTheSavedFile) {
  boxes.LaunchAnswer = false;
  QTest::mouseClick(Button("Button1"), Qt::LeftButton);
  boxes.Boxes.clear();
  QTest::mouseClick(form().Grid().viewport(), Qt::RightButton, {},
                    form().Grid().CellRect(1, 3).center());
  form().PopupMenu1().hide();
  form().Action(TActionId::PlayGIFAction)->trigger();
  const QString saved = QDir::current().absoluteFilePath("temp.gif");
  ASSERT_EQ(boxes.Launched, std::vector<QString>{saved});
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Caption, "ERROR");
  EXPECT_TRUE(boxes.Boxes[0].Text.endsWith(" " + saved)) << boxes.Boxes[0].Text.toStdString();
  QFile::remove(saved);
}

TEST_F(TelephoneTest, TextsOfEveryOriginShowAlike) {
  // A description in Windows-1251 and a program name as the telephone keeps it (Windows-1251).
  phone.SetCatalogue({SimTelephone::Entry(2, 1, "\xC8\xE3\xF0\xFB")});
  phone.PutSection(2, 1, UfifProgram("\xC7\xEC\xE5\xE9\xEA\xE0", 1000));
  QTest::mouseClick(Button("Button7"), Qt::LeftButton);  // Options: the catalogue is read again
  QTest::mouseClick(Button("Button1"), Qt::LeftButton);
  ClickRow(1);
  EXPECT_EQ(form().StatusText(), QString::fromUtf8("By default section 2-1 is used for Игры"));
  EXPECT_EQ(QString::fromStdString(form().Core().Sections[1].Title), QString::fromUtf8("Змейка"));
}

TEST_F(TelephoneTest, ZubxPreferencesReadsTheRecordIntoTheDialog) {
  phone.PutSection(2, 18, std::string("ZUB2\x07\x00\x11\x02\x09\x12\x00\x00", 12));
  boxes.OnExec = [](QDialog& d) {
    EXPECT_EQ(d.objectName(), "PrefForm");
    EXPECT_EQ(d.findChild<QAbstractButton*>("RG1Item1")->isChecked(), true);
    EXPECT_TRUE(d.findChild<QAbstractButton*>("ACheckBox")->isChecked());
    return int(mrCancel);
  };
  QTest::mouseClick(Button("Button3"), Qt::LeftButton);
  EXPECT_EQ(boxes.Executed, std::vector<QString>{"PrefForm"});
  EXPECT_EQ(form().Core().Pref.sEdit, "2");
  EXPECT_EQ(form().Core().Pref.ssEdit, "17");
}

}  // namespace
}  // namespace zub::test
