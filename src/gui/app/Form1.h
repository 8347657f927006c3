// Form1, "ZUB Manager 3": the main window. It creates the core (TManager), shows the core's
// state in its controls and forwards every button, action and grid event to the core. It is
// also the core's IInteraction; every blocking question goes through IModalPrompts, which
// tests replace so that they never block. A close while a device call is in flight stops the
// command after that call (the device component's stop) and closes the window once the
// command has ended. The menu bar's Telephone menu holds the safety net: backup, verify and
// restore, with their progress window and result list.
#pragma once

#include <QMainWindow>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/Actions.h"
#include "commands/Interaction.h"
#include "gui/common/ModalPrompts.h"

class QMenu;

namespace zub {

class TManager;
class TDeviceThread;
class TElidedLabel;
class TWindowPlacer;
class TSectionGrid;
class TZubDialog;
namespace Ui {
class TForm1;
}

struct TForm1Options {
  // The folder of SECTIONS.INI, and the program settings file.
  std::filesystem::path HomeDir;
  std::filesystem::path SettingsPath;
  // Where the device library is looked for, in order; empty: HomeDir alone.
  std::vector<std::filesystem::path> LibraryDirs;
  // The history of section contents; empty: none unless the settings name a folder.
  std::filesystem::path HistoryDir;
  // Answers the blocking questions; nullptr: real Qt dialogs.
  IModalPrompts* Prompts = nullptr;

  // The running executable's: its own folder when that is portable (the settings file its
  // path with ".INI" for the extension), else the user's folders (see base/InstallPaths.h),
  // with the installed defaults copied there at the first start.
  static TForm1Options ForExecutable();
};

class TForm1 : public QMainWindow, public IInteraction {
  Q_OBJECT

 public:
  explicit TForm1(TForm1Options options, QWidget* parent = nullptr);
  ~TForm1() override;

  TManager& Core() { return *FCore; }
  // Runs the device library's calls while the window goes on painting.
  TDeviceThread& DeviceThread() { return *FDeviceThread; }
  // The dialogs that ShowModal can show, registered once they exist.
  void RegisterForm(TZubDialog* dialog);

  TSectionGrid& Grid() const;
  QMenu& PopupMenu1() const { return *FPopupMenu1; }
  QMenu& TelephoneMenu() const { return *FTelephoneMenu; }
  QAction* Action(TActionId id) const;
  QString StatusText() const;
  // The status line while a command winds down after the user closed the window.
  static QString ClosingText();

  // IInteraction
  void Status(const std::string& text) override;
  void MessageBox(const std::string& caption, const std::string& text) override;
  bool Confirm(const std::string& caption, const std::string& text) override;
  std::optional<std::string> OpenFile(const std::string& filter) override;
  std::optional<std::string> SaveFile() override;
  int ShowModal(TFormId form) override;
  bool Launch(const std::string& commandLine) override;
  void ShowException(const std::string& text) override;
  std::optional<std::string> ChooseFolder(const std::string& caption) override;
  std::unique_ptr<IProgress> BeginProgress(const std::string& caption,
                                           std::atomic<bool>& stop) override;
  bool ShowReport(const TReport& report) override;
  void RepaintGrid() override;
  void ControlsChanged() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Runs a core handler the way the message loop does. When the user closed the window while
  // it ran, the window closes once the outermost handler has ended.
  void RunCommand(const std::function<void()>& handler);
  // The window system's close arrived while a device call was in flight.
  void CloseAfterCommand(QObject* target);
  void CreateActions();
  void ConnectControls();
  void FormResize();
  void DrawGrid1Click(int row);
  void DrawGrid1MouseUp(const QPoint& globalPos);
  void SyncGrid();
  // The core's Bounds follow the window's outer bounds, so that every settings save stores
  // where it is.
  void KeepBounds();

  std::unique_ptr<Ui::TForm1> ui;
  TQtPrompts FQtPrompts;
  IModalPrompts* FPrompts;
  TElidedLabel* FStatusText = nullptr;
  TWindowPlacer* FPlacer = nullptr;
  QObject* FActionList1 = nullptr;
  std::array<QAction*, kActionCount> FActions{};
  QMenu* FPopupMenu1 = nullptr;
  QMenu* FTelephoneMenu = nullptr;
  std::array<TZubDialog*, std::size(kAllForms)> FForms{};
  bool FShown = false;
  bool FApplyingBounds = false;
  int FCommandDepth = 0;
  bool FCloseAsked = false;   // close once the running command has ended
  bool FWindingDown = false;  // the stopped command asks nothing more and keeps the status line
  // Outlives the core, whose last closing of the connection still runs on it.
  std::unique_ptr<TDeviceThread> FDeviceThread;
  // Last: created after the window's widgets, destroyed before them.
  std::unique_ptr<TManager> FCore;
};

}  // namespace zub
