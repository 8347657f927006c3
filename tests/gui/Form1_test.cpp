// The main window: its controls as laid out, the actions and the context menu, the grid's
// column rule, and the grid events that reach the core.
#include <gmock/gmock.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>

#include "GuiTestSupport.h"
#include "app/Manager.h"
#include "gui/app/ZubApp.h"
#include "gui/browser/SectionGrid.h"

namespace zub::test {
namespace {

class Form1Test : public ::testing::Test {
 protected:
  Form1Test() {
    home.Write("zubmanager.INI",
               "[Sections]\nsection1=0x0210\nsection2=0x0211\nsection3=0x0212\n"
               "section4=0x1101\n");
    home.Write("SECTIONS.INI",
               "[0x0210]\nDescription=PRG3 library\n[0x0211]\nDescription=UFIF2 library\n");
    app = std::make_unique<TZubApp>(home.Options(boxes));
    form().show();
    QApplication::processEvents();
  }
  TForm1& form() { return app->Form1(); }
  TSectionGrid& grid() { return form().Grid(); }
  QPoint RowPoint(int row) { return grid().CellRect(1, row).center(); }

  TTempHome home;
  TBoxRecorder boxes;
  std::unique_ptr<TZubApp> app;
};

struct ControlRow {
  const char* name;
  const char* caption;  // nullptr: not a button
  QRect geometry;
  bool visible;
};

TEST_F(Form1Test, PanelControlsAreLaidOutAsDesigned) {
  const ControlRow table[] = {
      {"ComboBox1", nullptr, {8, 8, 81, 21}, true},
      {"Button1", "Full Refresh", {8, 32, 79, 25}, true},
      {"CheckBox1", "Additional info in full refresh", {8, 59, 153, 17}, true},
      {"Button7", "Options", {91, 4, 105, 25}, true},
      {"Button3", "ZUBx Preferences", {91, 32, 105, 25}, true},
      {"Button6", "PRG3 library upload", {200, 4, 113, 25}, true},
      {"Button5", "UFIF2 library upload", {200, 32, 113, 25}, true},
      {"Button2", "About", {266, 60, 47, 17}, true},
      {"Button4", "SummSize 18", {184, 5, 79, 17}, false},
      {"Button8", "Button8", {200, 60, 63, 17}, false},
      {"Button9", "U", {157, 60, 20, 17}, false},
      {"Button10", "C", {178, 60, 20, 17}, false},
  };
  auto* panel = form().findChild<QWidget*>("Panel1");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->height(), 81);
  EXPECT_EQ(panel->y(), 0);
  EXPECT_EQ(panel->width(), form().width());
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    auto* w = panel->findChild<QWidget*>(row.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget(), panel);
    EXPECT_EQ(w->geometry(), row.geometry);
    EXPECT_EQ(w->isVisible(), row.visible);
    if (row.caption) {
      auto* b = qobject_cast<QAbstractButton*>(w);
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->text(), QString::fromLatin1(row.caption));
    }
  }
  auto* com = panel->findChild<QComboBox*>("ComboBox1");
  ASSERT_EQ(com->count(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(com->itemText(i), QStringLiteral("COM%1").arg(i + 1));
  EXPECT_EQ(com->currentIndex(), 0);
  EXPECT_TRUE(panel->findChild<QAbstractButton*>("CheckBox1")->isChecked());
}

TEST_F(Form1Test, GridFillsTheRestAboveASingleStatusPanel) {
  EXPECT_EQ(grid().objectName(), "DrawGrid1");
  // The client area lies under the menu bar: Panel1 at its top, the grid 81 pixels down.
  QWidget* client = form().centralWidget();
  EXPECT_EQ(client->y(), form().menuBar()->geometry().bottom() + 1);
  EXPECT_EQ(grid().mapTo(client, QPoint(0, 0)).y(), 81);
  auto* status = form().findChild<QStatusBar*>("StatusBar");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(grid().mapTo(&form(), QPoint(0, grid().height())).y(),
            status->mapTo(&form(), QPoint(0, 0)).y());
  EXPECT_EQ(status->mapTo(&form(), QPoint(0, status->height())).y(), form().height());
  EXPECT_EQ(grid().ColWidth(0), 75);
  EXPECT_EQ(grid().ColWidth(2), 64);
  EXPECT_EQ(grid().RowCount(), 5);
  EXPECT_EQ(QFontInfo(grid().font()).pixelSize(), 12);
  EXPECT_TRUE(grid().font().bold());
}

TEST_F(Form1Test, ActionsCarryTheirCaptionsAndTheMenuItsOrder) {
  const std::pair<const char*, const char*> actions[] = {
      {"RefreshAction", "Refresh"},
      {"ClearAction", "Clear"},
      {"UploadAction", "Upload"},
      {"PlayGIFAction", "Play GIF"},
      {"DownloadAction", "Download"},
      {"GetPrefAction", "Get Preferences"},
      {"SetPrefAction", "SetPrefAction"},
      {"ConvertAction", "Convert to UFIF2.1"},
      {"UploadLZOAction", "Upload LZO-Compressed"},
      {"DownloadSaveAction", "Download Save Slot"},
      {"UploadSaveAction", "Upload Save Slot"},
      {"EraseSaveAction", "Erase Save Slot"},
      {"BackupAction", "Back Up Telephone\u2026"},
      {"VerifyAction", "Verify Against Backup\u2026"},
      {"RestoreAction", "Restore From Backup\u2026"},
      {"HistoryAction", "History\u2026"},
  };
  auto* list = form().findChild<QObject*>("ActionList1");
  ASSERT_NE(list, nullptr);
  const auto listed = list->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_EQ(listed.size(), static_cast<qsizetype>(std::size(actions)));
  for (std::size_t i = 0; i < std::size(actions); ++i) {
    EXPECT_EQ(listed[static_cast<qsizetype>(i)]->objectName(), actions[i].first);
    EXPECT_EQ(listed[static_cast<qsizetype>(i)]->text(), QString::fromUtf8(actions[i].second));
  }

  const char* menu[] = {"Refresh",
                        "Upload",
                        "Upload LZO-Compressed",
                        "Clear",
                        "Download",
                        "Play GIF",
                        "Convert to UFIF2.1",
                        "Upload Save Slot",
                        "Download Save Slot",
                        "Erase Save Slot",
                        "",  // a separator, then the tool's own items
                        "History\u2026"};
  auto* popup = form().findChild<QMenu*>("PopupMenu1");
  ASSERT_NE(popup, nullptr);
  ASSERT_EQ(popup->actions().size(), static_cast<qsizetype>(std::size(menu)));
  for (std::size_t i = 0; i < std::size(menu); ++i)
    EXPECT_EQ(popup->actions()[static_cast<qsizetype>(i)]->text(), QString::fromUtf8(menu[i]));
  EXPECT_EQ(grid().viewport()->contextMenuPolicy(), Qt::PreventContextMenu);

  // The safety net: the menu bar's one menu, Telephone, holds the three actions before History.
  const auto menus = form().menuBar()->actions();
  ASSERT_EQ(menus.size(), 1);
  EXPECT_EQ(menus[0]->text(), "&Telephone");
  auto* telephone = form().findChild<QMenu*>("TelephoneMenu");
  ASSERT_NE(telephone, nullptr);
  EXPECT_EQ(menus[0]->menu(), telephone);
  ASSERT_EQ(telephone->actions().size(), 3);
  for (qsizetype i = 0; i < 3; ++i)
    EXPECT_EQ(telephone->actions()[i], listed[listed.size() - 4 + i]);
}

TEST_F(Form1Test, UploadOpensTheFileDialogWithTheFilterFirstEntrySelected) {
  QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, RowPoint(1));
  form().Action(TActionId::UploadAction)->trigger();
  ASSERT_EQ(boxes.OpenFilters.size(), 1u);
#ifdef Q_OS_WIN
  const QString allFiles = "All files (*.*)";
#else
  const QString allFiles = "All files (*)";  // "*.*" would miss the names without a dot
#endif
  EXPECT_EQ(boxes.OpenFilters[0],
            QStringList({"All known (*.bin *.prg *.lzo *.lib *.sec *.elf *.ep)",
                         "Binary files (*.bin)", "PRG-Programs (*.prg)",
                         "LZO-Compressed progs (*.lzo)", "Library (*.lib)", "Sections data (*.sec)",
                         "ELF-Executables (*.elf)", allFiles, "Talon3D episode (*.ep)"}));
  EXPECT_FALSE(form().OpenFile("").has_value());
  EXPECT_TRUE(boxes.OpenFilters.back().isEmpty());  // no filter
}

TEST_F(Form1Test, ResizingChangesOnlyTheMiddleColumn) {
  for (const QSize size : {QSize(330, 420), QSize(520, 300), QSize(400, 600)}) {
    SCOPED_TRACE(size.width());
    form().resize(size);
    QApplication::processEvents();
    EXPECT_EQ(grid().ColWidth(0), 75);
    EXPECT_EQ(grid().ColWidth(2), 64);
    EXPECT_EQ(grid().ColWidth(1), grid().ClientWidth() - 75 - 64);
  }
  // A column the user dragged keeps its width.
  const QRect title0 = grid().CellRect(0, 0);
  const QPoint edge(title0.right() + 1, title0.center().y());
  QTest::mousePress(grid().viewport(), Qt::LeftButton, {}, edge);
  QMouseEvent move(QEvent::MouseMove, QPointF(edge + QPoint(25, 0)),
                   grid().viewport()->mapToGlobal(QPointF(edge + QPoint(25, 0))), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(grid().viewport(), &move);
  QTest::mouseRelease(grid().viewport(), Qt::LeftButton, {}, edge + QPoint(25, 0));
  EXPECT_EQ(grid().ColWidth(0), 100);
  form().resize(450, 420);
  QApplication::processEvents();
  EXPECT_EQ(grid().ColWidth(0), 100);
  EXPECT_EQ(grid().ColWidth(1), grid().ClientWidth() - 100 - 64);
}

TEST_F(Form1Test, ClickAndKeyboardSelectARowAndShowItsDescription) {
  QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, RowPoint(2));
  EXPECT_EQ(form().Core().Row, 2);
  EXPECT_EQ(form().StatusText(), "By default section 2-17 is used for UFIF2 library");
  QTest::keyClick(grid().viewport(), Qt::Key_Up);
  EXPECT_EQ(form().Core().Row, 1);
  EXPECT_EQ(form().StatusText(), "By default section 2-16 is used for PRG3 library");
  QTest::keyClick(grid().viewport(), Qt::Key_End);
  EXPECT_EQ(form().StatusText(), "By default section 17-1 is used for Free");
}

TEST_F(Form1Test, RightClickSelectsTheRowUnderThePointerAndEnablesItsActions) {
  TManager& core = form().Core();
  core.Sections[1].Kind = skGIF;
  core.Sections[2].Kind = skProgram;
  core.Sections[2].Format = 0x200000A5;
  core.Sections[3].Kind = skProgram;
  core.Sections[3].Format = 0x20000000;
  QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, RowPoint(1));

  struct Case {
    int row;
    std::vector<TActionId> enabled;
    const char* status;  // what a left click on the row shows
  };
  using A = TActionId;
  const Case cases[] = {
      {1,
       {A::RefreshAction, A::UploadAction, A::UploadLZOAction, A::ClearAction, A::DownloadAction,
        A::PlayGIFAction},
       "By default section 2-16 is used for PRG3 library"},
      {2,
       {A::RefreshAction, A::UploadAction, A::UploadLZOAction, A::ClearAction, A::DownloadAction,
        A::UploadSaveAction, A::DownloadSaveAction, A::EraseSaveAction},
       "By default section 2-17 is used for UFIF2 library"},
      {3,
       {A::RefreshAction, A::UploadAction, A::UploadLZOAction, A::ClearAction, A::DownloadAction,
        A::ConvertAction, A::UploadSaveAction, A::DownloadSaveAction, A::EraseSaveAction},
       "By default section 2-18 is used for Free"},
      {4,
       {A::RefreshAction, A::UploadAction, A::UploadLZOAction, A::UploadSaveAction},
       "By default section 17-1 is used for Free"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    // Another row is current; the right click makes the row under the pointer current first.
    const int other = c.row == 1 ? 2 : 1;
    QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, RowPoint(other));
    QTest::mouseClick(grid().viewport(), Qt::RightButton, {}, RowPoint(c.row));
    EXPECT_EQ(core.Row, c.row);
    EXPECT_EQ(grid().Row(), c.row);
    EXPECT_EQ(form().StatusText(), c.status);
    EXPECT_TRUE(form().PopupMenu1().isVisible());
    for (QAction* a : form().PopupMenu1().actions()) {
      if (a->isSeparator()) continue;
      // The tool's own items below the separator serve every row.
      const bool expected = a == form().Action(A::HistoryAction) ||
                            std::find_if(c.enabled.begin(), c.enabled.end(), [&](A id) {
                              return form().Action(id) == a;
                            }) != c.enabled.end();
      EXPECT_EQ(a->isEnabled(), expected) << a->text().toStdString();
      EXPECT_TRUE(a->isVisible());
    }
    form().PopupMenu1().hide();
  }
}

TEST_F(Form1Test, LongStatusTextIsCutToFitAndNeverWidensTheWindow) {
  const std::string longText(400, 'w');
  home.Write("SECTIONS.INI", "[0x0210]\nDescription=" + longText + "\n");
  QTest::mouseClick(form().findChild<QAbstractButton*>("Button7"), Qt::LeftButton);  // reload
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
  // As narrow as the default outer width of 330 pixels.
  const int frame = form().frameGeometry().width() - form().width();
  form().resize(330 - frame, form().height());
  QApplication::processEvents();
  QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, RowPoint(1));
  QApplication::processEvents();
  EXPECT_EQ(form().frameGeometry().width(), 330);
  const QString full = QString::fromStdString("By default section 2-16 is used for " + longText);
  EXPECT_EQ(form().StatusText(), full);
  auto* line = form().findChild<QLabel*>("StatusText");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->toolTip(), full);
  EXPECT_TRUE(line->text().endsWith(QChar(0x2026))) << line->text().toStdString();
  EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->contentsRect().width());
}

TEST_F(Form1Test, ExceptionInACommandGoesToTheExceptionBoxAndTheWindowGoesOn) {
  // A library field that is not a number stops the preference write with the toolkit's error.
  form().Core().Pref.sEdit = "x";
  form().Action(TActionId::SetPrefAction)->trigger();
  ASSERT_EQ(boxes.Exceptions.size(), 1u);
  EXPECT_EQ(boxes.Exceptions[0], "'x' is not a valid integer value");
  EXPECT_TRUE(form().isVisible());
  form().Action(TActionId::RefreshAction)->trigger();  // the next command still runs
  EXPECT_EQ(boxes.CountBoxes("Unable to open gbp.dll"), 2);
}

TEST_F(Form1Test, LaunchOpensTheFileInTheCurrentFolder) {
  form().Launch("start temp.gif");
  ASSERT_EQ(boxes.Launched.size(), 1u);
  EXPECT_EQ(boxes.Launched[0], QDir::current().absoluteFilePath("temp.gif"));
}

}  // namespace
}  // namespace zub::test
