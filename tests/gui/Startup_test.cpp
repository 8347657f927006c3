// Start-up and shut-down: the forms and their order, the device library report, and the
// window's settings on show and close.
#include <gmock/gmock.h>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "GuiTestSupport.h"
#include "app/Manager.h"
#include "base/ProfileFile.h"
#include "gui/app/StatusForm.h"
#include "gui/app/ZubApp.h"
#include "gui/browser/SectionGrid.h"
#include "support/SimTelephone.h"

namespace zub::test {
namespace {

TEST(Startup, CreatesTheTenFormsInOrderWithTheirCaptions) {
  TTempHome home;
  TBoxRecorder boxes;
  TZubApp app(home.Options(boxes));
  const std::pair<const char*, const char*> expected[] = {
      {"Form1", "ZUB Manager 3"},         {"AboutBox", "About"},
      {"PrefForm", "ZUB Mod Parameters"}, {"ExpertsForm", "Manager options"},
      {"StatusForm", "Status"},           {"OKBottomDlg", "Dialog"},
      {"BadAddrForm", "BadAddrForm"},     {"IconForm", "Icon"},
      {"SaveSlotForm", "Save Slot"},      {"HistoryForm", "History"},
  };
  ASSERT_EQ(app.Forms().size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].first);
    EXPECT_EQ(app.Forms()[i]->objectName(), QString::fromLatin1(expected[i].first));
    EXPECT_EQ(app.Forms()[i]->windowTitle(), QString::fromLatin1(expected[i].second));
    EXPECT_TRUE(app.Forms()[i]->isWindow());
  }
  app.Form1().show();
  for (std::size_t i = 1; i < app.Forms().size(); ++i) EXPECT_FALSE(app.Forms()[i]->isVisible());
  EXPECT_TRUE(app.StatusForm().windowFlags().testFlag(Qt::FramelessWindowHint));
}

TEST(Startup, MissingLibraryIsReportedOnceBeforeTheWindowOpens) {
  TTempHome home;
  TBoxRecorder boxes;
  TZubApp app(home.Options(boxes));
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Caption, "ERROR");
  EXPECT_EQ(boxes.Boxes[0].Text, "Unable to open gbp.dll");
  EXPECT_FALSE(app.Form1().isVisible());

  app.Form1().show();  // the settings load reloads the library: no second box
  QApplication::processEvents();
  EXPECT_TRUE(app.Form1().isVisible());
  EXPECT_EQ(boxes.CountBoxes("Unable to open gbp.dll"), 1);
  EXPECT_EQ(boxes.Boxes.size(), 1u);
}

TEST(Startup, PresentLibraryStartsWithoutAnyBox) {
  SimTelephone phone;
  TBoxRecorder boxes;
  TZubApp app(HomeOptions(phone.Dir(), boxes));
  app.Form1().show();
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST(Startup, ShowAppliesTheSettingsAndCloseWritesThemBack) {
  TTempHome home;
  home.Write("zubmanager.INI",
             "[Form]\nTop=50\nLeft=60\nWidth=400\nHeight=450\n"
             "[Manager]\nCOM-Port=2\n"
             "[Sections]\nsection1=0x0210\nsection2=0x0211\n");
  home.Write("SECTIONS.INI", "[0x0210]\nDescription=PRG3 library\n");
  TBoxRecorder boxes;
  TZubApp app(home.Options(boxes));
  TForm1& form = app.Form1();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  // The stored bounds are the outer ones, frame included.
  EXPECT_EQ(form.frameGeometry(), QRect(60, 50, 400, 450));
  auto* com = form.findChild<QComboBox*>("ComboBox1");
  ASSERT_NE(com, nullptr);
  EXPECT_EQ(com->currentText(), "COM3");
  EXPECT_EQ(form.Grid().RowCount(), 3);
  ASSERT_EQ(form.Core().Sections.size(), 3u);
  EXPECT_EQ(form.Core().Sections[1].Description, "PRG3 library");
  EXPECT_EQ(form.Core().Sections[2].Description, "Free");

  // The user picks COM4, moves and resizes the window, then closes it.
  com->setCurrentIndex(3);
  form.move(70, 80);
  form.resize(420, 460);
  QApplication::processEvents();
  const QRect outer = form.frameGeometry();
  EXPECT_EQ(outer.topLeft(), QPoint(70, 80));
  form.close();
  TProfileFile ini(home.SettingsPath());
  EXPECT_EQ(ini.ReadInteger("Form", "Top", 0), 80);
  EXPECT_EQ(ini.ReadInteger("Form", "Left", 0), 70);
  EXPECT_EQ(ini.ReadInteger("Form", "Width", 0), outer.width());
  EXPECT_EQ(ini.ReadInteger("Form", "Height", 0), outer.height());
  EXPECT_EQ(ini.ReadInteger("Manager", "COM-Port", 0), 3);
  EXPECT_EQ(ini.ReadString("Sections", "section1", ""), "0x0210");
}

// Bounds saved on a screen that is gone, or bigger than this one: the window comes up on the
// screen, no bigger than its free area.
TEST(Startup, StoredBoundsOffTheScreenAreBroughtOntoIt) {
  TTempHome home;
  home.Write("zubmanager.INI", "[Form]\nTop=9000\nLeft=-9000\nWidth=16000\nHeight=300\n");
  TBoxRecorder boxes;
  TZubApp app(home.Options(boxes));
  TForm1& form = app.Form1();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QApplication::processEvents();
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(area.contains(form.frameGeometry()))
      << form.frameGeometry().x() << "," << form.frameGeometry().y() << " "
      << form.frameGeometry().width() << "x" << form.frameGeometry().height();
  EXPECT_EQ(form.frameGeometry().width(), area.width());
}

TEST(Startup, OptionsDialogKeepsTheWindowWhereTheUserPutIt) {
  TTempHome home;
  TBoxRecorder boxes;
  TZubApp app(home.Options(boxes));
  TForm1& form = app.Form1();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.move(100, 110);
  form.resize(500, 400);
  QApplication::processEvents();
  const QRect outer = form.frameGeometry();
  QTest::mouseClick(form.findChild<QAbstractButton*>("Button7"), Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(boxes.Executed, std::vector<QString>{"ExpertsForm"});
  EXPECT_EQ(form.frameGeometry(), outer);
  EXPECT_EQ(form.size(), QSize(500, 400));
  EXPECT_EQ(TProfileFile(home.SettingsPath()).ReadInteger("Form", "Width", 0), outer.width());
}

TEST(Startup, EmptyCatalogueShowsOnlyTheTitleRow) {
  TTempHome home;
  TBoxRecorder boxes;
  TZubApp app(home.Options(boxes));
  app.Form1().show();
  EXPECT_EQ(app.Form1().Grid().RowCount(), 1);
  // A click in the title row selects nothing and leaves the status line alone.
  TSectionGrid& grid = app.Form1().Grid();
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.CellRect(1, 0).center());
  EXPECT_TRUE(app.Form1().StatusText().isEmpty());
}

}  // namespace
}  // namespace zub::test
