// Helpers of the front end's tests: a recorder that answers every blocking question at once,
// a temporary folder that stands for the executable's, the window on a simulated telephone,
// and a gate that holds the telephone inside one call.
#pragma once

#include <gtest/gtest.h>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/DeviceCallRunner.h"
#include "gui/app/Form1.h"
#include "gui/app/ZubApp.h"
#include "gui/common/ModalPrompts.h"
#include "support/SimTelephone.h"

class QAbstractButton;

namespace zub::test {

class TBoxRecorder : public IModalPrompts {
 public:
  struct TBox {
    QString Caption;
    QString Text;
  };
  std::vector<TBox> Boxes;          // message boxes and confirmations
  std::vector<QString> Exceptions;  // the standard exception box
  std::vector<QStringList> OpenFilters;
  std::vector<QString> Launched;
  std::vector<QString> Executed;  // object names of the dialogs run modally
  std::vector<QString> FolderCaptions;

  bool ConfirmAnswer = false;
  std::optional<QString> OpenAnswer;
  std::optional<QString> SaveAnswer;
  std::optional<QString> FolderAnswer;
  bool LaunchAnswer = true;  // false: no program could be started
  // Stands in for the modal run of a dialog: may work the dialog's widgets, returns the result.
  std::function<int(QDialog&)> OnExec = [](QDialog&) { return 2; };

  int CountBoxes(const QString& text) const;

  void MessageBox(QWidget*, const QString& caption, const QString& text) override;
  bool Confirm(QWidget*, const QString& caption, const QString& text) override;
  std::optional<QString> OpenFile(QWidget*, const QStringList& filters) override;
  std::optional<QString> SaveFile(QWidget*) override;
  std::optional<QString> ChooseFolder(QWidget*, const QString& caption) override;
  void ShowException(QWidget*, const QString& text) override;
  bool OpenWithSystem(const QString& filePath) override;
  int Exec(QDialog& dialog) override;
};

// The window's options for a home folder: the settings file there, every question to `prompts`.
TForm1Options HomeOptions(const std::filesystem::path& home, IModalPrompts& prompts);

// An empty folder under the build's test folder, removed at the end.
class TTempHome {
 public:
  TTempHome();
  ~TTempHome();
  TTempHome(const TTempHome&) = delete;
  TTempHome& operator=(const TTempHome&) = delete;

  const std::filesystem::path& Dir() const { return FDir; }
  std::filesystem::path SettingsPath() const { return FDir / "zubmanager.INI"; }
  void Write(const std::string& name, const std::string& text) const;
  TForm1Options Options(IModalPrompts& prompts) const { return HomeOptions(FDir, prompts); }

 private:
  std::filesystem::path FDir;
};

// The program on a simulated telephone: a test sets the telephone up, then opens the window.
class TPhoneWindowTest : public ::testing::Test {
 protected:
  void Open();
  TForm1& form() { return app->Form1(); }
  QAbstractButton* Button(const char* name);

  SimTelephone phone;
  TBoxRecorder boxes;
  std::unique_ptr<TZubApp> app;
};

// Hands the calls on to `inner` and holds the device thread inside one of them, the
// `holdAt`-th, until the window thread lets it go: what the window does during that call is
// played the same way on any machine.
class TCallGate : public IDeviceCallRunner {
 public:
  TCallGate(IDeviceCallRunner& inner, int holdAt) : FInner(inner), FHoldAt(holdAt) {}
  std::int32_t Run(const std::function<std::int32_t()>& call) override;
  // The held call has been reached and not let go yet.
  bool Held();
  void Release();

 private:
  IDeviceCallRunner& FInner;
  const int FHoldAt;
  int FCount = 0;
  std::mutex FMutex;
  std::condition_variable FChanged;
  bool FHeld = false, FReleased = false;
};

// A command the user closes the window during: its `holdAt`-th device call is held until the
// window has heard of the close that `close` sends (up to a limit), then let go.
struct TClosedDuringCall {
  bool CloseSent = false;
  bool WaitCursor = false;         // shown while the call was in flight
  bool OpenDuringCall = false;     // the window waited for the call
  QString Status;                  // the status line once the window had heard of the close
  std::vector<std::string> Calls;  // the command's library calls, in order
};
TClosedDuringCall CloseDuringCall(TForm1& form, int holdAt, const std::function<void()>& close,
                                  const std::function<void()>& command);

// A command under the progress window whose `holdAt`-th device call is held until the window
// has taken the user's Cancel, played by `cancel` (true once it was sent; asked again at the
// next tick until then), up to a limit; then let go. `during` runs once while the call is
// held, before the Cancel. Meanwhile every tick asks the progress window for a repaint.
struct TCancelledDuringCall {
  int PaintsInCall = 0;  // the progress window's paints while a call was in flight
  QStringList Texts;     // its phase, sections, bytes and speed when the call was held
  bool ModalOverTheWindow = false;
  bool CancelTaken = false;        // it showed that it cancels while the call was still held
  std::vector<std::string> Calls;  // the command's library calls, in order
  bool GoneAfter = false;          // no progress window once the command has ended
};
TCancelledDuringCall CancelDuringCall(TForm1& form, int holdAt,
                                      const std::function<bool(QDialog&)>& cancel,
                                      const std::function<void()>& command,
                                      const std::function<void()>& during = {});

}  // namespace zub::test
