#include "gui/app/Form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QWindow>
#include <algorithm>
#include <cstdio>

#include "app/Actions.h"
#include "app/Manager.h"
#include "base/InstallPaths.h"
#include "device/DeviceLibrary.h"
#include "gui/app/WindowPlacer.h"
#include "gui/backup/ProgressDialog.h"
#include "gui/backup/ReportDialog.h"
#include "gui/browser/SectionGrid.h"
#include "gui/common/CoreText.h"
#include "gui/common/DeviceThread.h"
#include "gui/common/ElidedLabel.h"
#include "gui/common/ZubDialog.h"
#include "ui_Form1.h"

namespace zub {
namespace {

// The progress window of a command, taken down when the command lets go of it. While it is
// up, its Cancel takes clicks even during a device call.
class TProgressWindow : public IProgress {
 public:
  TProgressWindow(TForm1& form, const QString& caption, std::atomic<bool>& stop)
      : FThread(form.DeviceThread()), FDialog(caption, stop, &form) {
    FDialog.show();
    FThread.AllowInput(&FDialog);
  }
  ~TProgressWindow() override { FThread.AllowInput(nullptr); }
  TProgressWindow(const TProgressWindow&) = delete;
  TProgressWindow& operator=(const TProgressWindow&) = delete;
  void Update(const TRunProgress& progress) override { FDialog.Show(progress); }

 private:
  TDeviceThread& FThread;
  TProgressDialog FDialog;
};

}  // namespace

TForm1Options TForm1Options::ForExecutable() {
  std::filesystem::path exe = ExecutablePath();
  if (exe.empty()) exe = QCoreApplication::applicationFilePath().toStdString();
  TPathQuery query = TPathQuery::ForProcess(exe);
  query.SettingsName = std::filesystem::path(exe.filename()).replace_extension(".INI").string();
  const TInstallPaths paths = ResolvePaths(query);
  // Like a missing settings file, defaults that could not be copied leave the window empty.
  if (const std::string problem = InstallDefaults(paths); !problem.empty())
    std::fprintf(stderr, "zubmanager: %s\n", problem.c_str());
  TForm1Options options;
  options.HomeDir = paths.HomeDir;
  options.SettingsPath = paths.SettingsPath;
  options.HistoryDir = paths.HistoryDir;
  options.LibraryDirs = paths.LibraryDirs;
  return options;
}

TForm1::TForm1(TForm1Options options, QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::TForm1>()),
      FPrompts(options.Prompts ? options.Prompts : &FQtPrompts) {
  ui->setupUi(this);
  setObjectName(QString::fromLatin1(FormName(TFormId::Form1)));
  setWindowTitle(QString::fromLatin1(FormCaption(TFormId::Form1)));
  setFont(DialogFont());
  FStatusText = new TElidedLabel(ui->StatusBar);
  FStatusText->setObjectName(QStringLiteral("StatusText"));
  ui->StatusBar->addWidget(FStatusText, 1);
  CreateActions();
  FPlacer = new TWindowPlacer(*this);

  // The core loads the device library now: a missing one is reported before the window shows.
  TManagerOptions core;
  core.HomeDir = options.HomeDir;
  core.SettingsPath = options.SettingsPath;
  core.LibraryDirs = options.LibraryDirs;
  core.HistoryDir = options.HistoryDir;
  FCore = std::make_unique<TManager>(*this, std::move(core));
  FDeviceThread = std::make_unique<TDeviceThread>();
  FCore->NVM->SetCallRunner(FDeviceThread.get());
  FDeviceThread->SetCloseHandler([this](QObject* target) { CloseAfterCommand(target); });
  ui->DrawGrid1->SetSource(&FCore->Sections);
  ConnectControls();
  SyncGrid();
}

TForm1::~TForm1() {
  // The window is going: its events are no longer run while the last calls wait.
  FDeviceThread->StopPainting();
  ui->DrawGrid1->SetSource(nullptr);
}

void TForm1::RegisterForm(TZubDialog* dialog) {
  if (dialog) FForms[static_cast<std::size_t>(dialog->FormId())] = dialog;
}

TSectionGrid& TForm1::Grid() const {
  return *ui->DrawGrid1;
}

QAction* TForm1::Action(TActionId id) const {
  return FActions[static_cast<std::size_t>(id)];
}

QString TForm1::StatusText() const {
  return FStatusText->FullText();
}

QString TForm1::ClosingText() {
  return QStringLiteral("Closing after the current call...");
}

void TForm1::RunCommand(const std::function<void()>& handler) {
  ++FCommandDepth;
  FCore->Run(handler);
  if (--FCommandDepth > 0 || !FCloseAsked) return;
  FCloseAsked = false;
  // The settings save of the close speaks as usual; the telephone stays stopped.
  FWindingDown = false;
  close();
}

void TForm1::CloseAfterCommand(QObject* target) {
  // Every call the window makes runs inside a command; a dialog's own close stays dropped.
  if (target != this && target != static_cast<QObject*>(windowHandle())) return;
  if (FCommandDepth == 0 || FCloseAsked) return;
  FCloseAsked = true;
  FWindingDown = true;
  FCore->NVM->RequestStop();
  FStatusText->SetFullText(ClosingText());
  FStatusText->repaint();
}

void TForm1::CreateActions() {
  FActionList1 = new QObject(this);
  FActionList1->setObjectName(QStringLiteral("ActionList1"));
  for (TActionId id : kAllActions) {
    const std::string_view name = ActionName(id);
    auto* action = new QAction(FromCore(ActionCaption(id)), FActionList1);
    action->setObjectName(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    connect(action, &QAction::triggered, this,
            [this, id] { RunCommand([this, id] { ExecuteAction(*FCore, id); }); });
    FActions[static_cast<std::size_t>(id)] = action;
  }
  FPopupMenu1 = new QMenu(this);
  FPopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  for (TActionId id : kMenuOrder) FPopupMenu1->addAction(Action(id));
  FPopupMenu1->addSeparator();
  for (TActionId id : kToolMenuItems) FPopupMenu1->addAction(Action(id));
  // Above Panel1: the panel's controls keep their places.
  menuBar()->setObjectName(QStringLiteral("MenuBar"));
  FTelephoneMenu = menuBar()->addMenu(QStringLiteral("&Telephone"));
  FTelephoneMenu->setObjectName(QStringLiteral("TelephoneMenu"));
  for (TActionId id : kTelephoneMenuOrder) FTelephoneMenu->addAction(Action(id));
}

void TForm1::ConnectControls() {
  const std::pair<QPushButton*, int> buttons[] = {
      {ui->Button1, 1}, {ui->Button2, 2}, {ui->Button3, 3}, {ui->Button4, 4}, {ui->Button5, 5},
      {ui->Button6, 6}, {ui->Button7, 7}, {ui->Button8, 8}, {ui->Button9, 9}, {ui->Button10, 10},
  };
  for (const auto& [button, number] : buttons) {
    // Enter (and the keypad's Enter) presses the focused button, as Space does; a main window's
    // buttons would otherwise take it only inside a dialog.
    button->setAutoDefault(true);
    connect(button, &QPushButton::clicked, this,
            [this, n = number] { RunCommand([this, n] { ClickButton(*FCore, n); }); });
  }
  connect(ui->ComboBox1, &QComboBox::currentIndexChanged, this,
          [this](int index) { RunCommand([this, index] { FCore->ComboBox1Change(index); }); });
  connect(ui->CheckBox1, &QCheckBox::toggled, this,
          [this](bool ticked) { FCore->SetCheckBox1(ticked); });
  connect(ui->DrawGrid1, &TSectionGrid::RowClicked, this, &TForm1::DrawGrid1Click);
  connect(ui->DrawGrid1, &TSectionGrid::RightMouseUp, this, &TForm1::DrawGrid1MouseUp);
  connect(ui->DrawGrid1, &TSectionGrid::MenuKey, this, &TForm1::DrawGrid1MouseUp);
  connect(ui->DrawGrid1, &TSectionGrid::Resized, this, &TForm1::FormResize);
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (FShown) return;
  FShown = true;
  RunCommand([this] { FCore->FormShow(); });
}

void TForm1::closeEvent(QCloseEvent* event) {
  KeepBounds();
  RunCommand([this] { FCore->FormClose(); });
  event->accept();
}

void TForm1::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  KeepBounds();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  KeepBounds();
}

void TForm1::KeepBounds() {
  // Before the first show the settings have not been applied yet, and until the window manager
  // has framed the window its outer bounds are not known.
  if (!FCore || !FShown || FApplyingBounds || !FPlacer->FrameKnown()) return;
  const QRect outer = FPlacer->Outer();
  FCore->Bounds = {outer.y(), outer.x(), outer.width(), outer.height()};
}

void TForm1::FormResize() {
  TSectionGrid& grid = Grid();
  grid.SetColWidth(1, grid.ClientWidth() - grid.ColWidth(0) - grid.ColWidth(2));
}

void TForm1::DrawGrid1Click(int row) {
  RunCommand([this, row] { FCore->DrawGrid1Click(row); });
}

void TForm1::DrawGrid1MouseUp(const QPoint& globalPos) {
  RunCommand([this] { FCore->DrawGrid1MouseUpRight(); });
  for (TActionId id : kMenuOrder) Action(id)->setEnabled(Has(FCore->ActionEnabled, id));
  for (TActionId id : kToolMenuItems) Action(id)->setEnabled(FCore->CurrentSection() != nullptr);
  FPopupMenu1->popup(globalPos);
}

void TForm1::SyncGrid() {
  Grid().SetRowCount(FCore->RowCount());
  Grid().SetRow(FCore->Row);
}

void TForm1::Status(const std::string& text) {
  if (FWindingDown) return;
  FStatusText->SetFullText(FromCore(text));
  // Commands run to their end in one handler: paint now so the user sees the progress text.
  if (FStatusText->isVisible()) FStatusText->repaint();
}

void TForm1::MessageBox(const std::string& caption, const std::string& text) {
  if (FWindingDown) return;
  FPrompts->MessageBox(this, FromCore(caption), FromCore(text));
}

bool TForm1::Confirm(const std::string& caption, const std::string& text) {
  if (FWindingDown) return false;
  return FPrompts->Confirm(this, FromCore(caption), FromCore(text));
}

std::optional<std::string> TForm1::OpenFile(const std::string& filter) {
  if (FWindingDown) return std::nullopt;
  const auto name = FPrompts->OpenFile(this, QtFileFilters(filter));
  if (!name) return std::nullopt;
  return ToCore(*name);
}

std::optional<std::string> TForm1::SaveFile() {
  if (FWindingDown) return std::nullopt;
  const auto name = FPrompts->SaveFile(this);
  if (!name) return std::nullopt;
  return ToCore(*name);
}

int TForm1::ShowModal(TFormId form) {
  if (FWindingDown) return mrCancel;
  TZubDialog* dialog = FForms[static_cast<std::size_t>(form)];
  if (!dialog) return mrNone;
  dialog->FormShow();
  const int result = FPrompts->Exec(*dialog);
  dialog->FormHide(result);
  return result;
}

bool TForm1::Launch(const std::string& commandLine) {
  // Nothing opens for a user who closed the window meanwhile.
  if (FWindingDown) return true;
  // The launcher's "start FILE" opens FILE (in the current folder) with its viewer.
  constexpr std::string_view kStart = "start ";
  std::string file = commandLine;
  if (file.starts_with(kStart)) file.erase(0, kStart.size());
  return FPrompts->OpenWithSystem(QDir::current().absoluteFilePath(FromCore(file)));
}

void TForm1::ShowException(const std::string& text) {
  if (FWindingDown) return;
  FPrompts->ShowException(this, FromCore(text));
}

std::optional<std::string> TForm1::ChooseFolder(const std::string& caption) {
  if (FWindingDown) return std::nullopt;
  const auto dir = FPrompts->ChooseFolder(this, FromCore(caption));
  if (!dir) return std::nullopt;
  return ToCore(*dir);
}

std::unique_ptr<IProgress> TForm1::BeginProgress(const std::string& caption,
                                                 std::atomic<bool>& stop) {
  if (FWindingDown) return IInteraction::BeginProgress(caption, stop);
  return std::make_unique<TProgressWindow>(*this, FromCore(caption), stop);
}

bool TForm1::ShowReport(const TReport& report) {
  if (FWindingDown) return false;
  TReportDialog dialog(report, this);
  return FPrompts->Exec(dialog) == mrYes;
}

void TForm1::RepaintGrid() {
  SyncGrid();
  if (Grid().isVisible())
    Grid().viewport()->repaint();
  else
    Grid().viewport()->update();
}

void TForm1::ControlsChanged() {
  const TWindowBounds b = FCore->Bounds;
  FApplyingBounds = true;
  FPlacer->SetOuter(KeepOnScreen(QRect(b.Left, b.Top, b.Width, b.Height)));
  FApplyingBounds = false;
  {
    const QSignalBlocker block(ui->ComboBox1);
    const int index = FCore->ComboBox1Index;
    ui->ComboBox1->setCurrentIndex(index >= 0 && index < ui->ComboBox1->count() ? index : -1);
  }
  {
    const QSignalBlocker block(ui->CheckBox1);
    ui->CheckBox1->setChecked(FCore->CheckBox1);
  }
  SyncGrid();
  FormResize();
}

}  // namespace zub
