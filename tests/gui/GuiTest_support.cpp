#include <gmock/gmock.h>
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <fstream>
#include <random>

#include "GuiTestSupport.h"
#include "app/Manager.h"
#include "gui/backup/ProgressDialog.h"
#include "gui/common/DeviceThread.h"

namespace zub::test {

int TBoxRecorder::CountBoxes(const QString& text) const {
  int n = 0;
  for (const TBox& b : Boxes) n += b.Text == text;
  return n;
}

void TBoxRecorder::MessageBox(QWidget*, const QString& caption, const QString& text) {
  Boxes.push_back({caption, text});
}

bool TBoxRecorder::Confirm(QWidget*, const QString& caption, const QString& text) {
  Boxes.push_back({caption, text});
  return ConfirmAnswer;
}

std::optional<QString> TBoxRecorder::OpenFile(QWidget*, const QStringList& filters) {
  OpenFilters.push_back(filters);
  return OpenAnswer;
}

std::optional<QString> TBoxRecorder::SaveFile(QWidget*) {
  return SaveAnswer;
}

std::optional<QString> TBoxRecorder::ChooseFolder(QWidget*, const QString& caption) {
  FolderCaptions.push_back(caption);
  return FolderAnswer;
}

void TBoxRecorder::ShowException(QWidget*, const QString& text) {
  Exceptions.push_back(text);
}

bool TBoxRecorder::OpenWithSystem(const QString& filePath) {
  Launched.push_back(filePath);
  return LaunchAnswer;
}

int TBoxRecorder::Exec(QDialog& dialog) {
  Executed.push_back(dialog.objectName());
  return OnExec(dialog);
}

TTempHome::TTempHome() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  FDir = std::filesystem::path(ZUB_TEST_TMP) /
         ("gui-" + std::to_string(rd()) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(FDir);
}

TTempHome::~TTempHome() {
  std::error_code ec;
  std::filesystem::remove_all(FDir, ec);
}

void TTempHome::Write(const std::string& name, const std::string& text) const {
  std::ofstream out(FDir / name, std::ios::binary | std::ios::trunc);
  out << text;
}

TForm1Options HomeOptions(const std::filesystem::path& home, IModalPrompts& prompts) {
  TForm1Options o;
  o.HomeDir = home;
  o.SettingsPath = home / SimTelephone::kSettingsName;
  o.Prompts = &prompts;
  return o;
}

void TPhoneWindowTest::Open() {
  app = std::make_unique<TZubApp>(HomeOptions(phone.Dir(), boxes));
  form().show();
  QApplication::processEvents();
}

QAbstractButton* TPhoneWindowTest::Button(const char* name) {
  return form().findChild<QAbstractButton*>(QString::fromLatin1(name));
}

std::int32_t TCallGate::Run(const std::function<std::int32_t()>& call) {
  const int n = ++FCount;
  return FInner.Run([&] {
    if (n == FHoldAt) {
      std::unique_lock lock(FMutex);
      FHeld = true;
      // Limited: a test that never lets go fails instead of hanging.
      FChanged.wait_for(lock, std::chrono::seconds(30), [this] { return FReleased; });
    }
    return call();
  });
}

bool TCallGate::Held() {
  const std::lock_guard lock(FMutex);
  return FHeld && !FReleased;
}

void TCallGate::Release() {
  {
    const std::lock_guard lock(FMutex);
    FReleased = true;
  }
  FChanged.notify_all();
}

TClosedDuringCall CloseDuringCall(TForm1& form, int holdAt, const std::function<void()>& close,
                                  const std::function<void()>& command) {
  TClosedDuringCall seen;
  CallLog log;
  TCallGate gate(form.DeviceThread(), holdAt);
  form.Core().NVM->SetCallRunner(&gate);
  form.Core().NVM->SetObserver(&log);
  QElapsedTimer sinceClose;
  QTimer tick;
  tick.setInterval(5);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (!gate.Held()) return;
    if (!seen.CloseSent) {
      const QCursor* cursor = QGuiApplication::overrideCursor();
      seen.WaitCursor = cursor && cursor->shape() == Qt::WaitCursor;
      seen.CloseSent = true;
      close();
      sinceClose.start();
    }
    if (form.StatusText() != TForm1::ClosingText() && sinceClose.elapsed() < 10000) return;
    seen.Status = form.StatusText();
    seen.OpenDuringCall = form.isVisible();
    gate.Release();
  });
  tick.start();
  command();
  tick.stop();
  seen.Calls = log.Entries();
  form.Core().NVM->SetObserver(nullptr);
  form.Core().NVM->SetCallRunner(&form.DeviceThread());
  return seen;
}

namespace {

// Counts the paints of a widget that come while a device call is in flight.
class TPaintsInCall : public QObject {
 public:
  explicit TPaintsInCall(TDeviceThread& thread) : FThread(thread) {}
  int Count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && FThread.InCall()) ++Count;
    return false;
  }

 private:
  TDeviceThread& FThread;
};

}  // namespace

TCancelledDuringCall CancelDuringCall(TForm1& form, int holdAt,
                                      const std::function<bool(QDialog&)>& cancel,
                                      const std::function<void()>& command,
                                      const std::function<void()>& during) {
  TCancelledDuringCall seen;
  CallLog log;
  TCallGate gate(form.DeviceThread(), holdAt);
  TPaintsInCall paints(form.DeviceThread());
  form.Core().NVM->SetCallRunner(&gate);
  form.Core().NVM->SetObserver(&log);
  QPointer<TProgressDialog> watched;
  bool sent = false;
  QElapsedTimer sinceHeld;
  QTimer tick;
  tick.setInterval(5);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    auto* dialog = form.findChild<TProgressDialog*>();
    if (!dialog) return;
    if (watched != dialog) {
      watched = dialog;
      dialog->installEventFilter(&paints);
    }
    if (form.DeviceThread().InCall()) dialog->update();
    if (!gate.Held()) return;
    if (!sinceHeld.isValid()) {
      sinceHeld.start();
      seen.ModalOverTheWindow = dialog->isModal() && dialog->isVisible();
      for (const char* name : {"Phase", "Sections", "Bytes", "Speed"})
        seen.Texts << dialog->findChild<QLabel*>(QString::fromLatin1(name))->text();
      if (during) during();
    }
    if (!sent) sent = cancel(*dialog);
    seen.CancelTaken = dialog->findChild<QLabel*>(QStringLiteral("Speed"))->text() ==
                       TProgressDialog::CancellingText();
    if (!seen.CancelTaken && sinceHeld.elapsed() < 10000) return;
    gate.Release();
  });
  tick.start();
  command();
  tick.stop();
  seen.PaintsInCall = paints.Count;
  seen.GoneAfter = form.findChild<TProgressDialog*>() == nullptr;
  seen.Calls = log.Entries();
  form.Core().NVM->SetObserver(nullptr);
  form.Core().NVM->SetCallRunner(&form.DeviceThread());
  return seen;
}

}  // namespace zub::test

// The tests need the application object; the offscreen platform unless told otherwise.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ZUB Manager"));
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
