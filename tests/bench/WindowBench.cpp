// Measurements of the whole window program for scripts/bench, run in a folder that holds the
// simulator, its telephone, zubmanager.INI and SECTIONS.INI, as the program runs for a user.
//   zub-window-bench startup   prints "shown-ms: N", the milliseconds from the start of main to
//                              the main window's first show, and quits
//   zub-window-bench refresh   then runs "Full Refresh" and prints "refresh-ms: N"
// Every question is answered without a dialog.
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <string>

#include "gui/app/ZubApp.h"
#include "gui/common/ModalPrompts.h"

namespace zub {
namespace {

// Answers OK to boxes, cancels everything else.
class TBenchPrompts final : public IModalPrompts {
 public:
  void MessageBox(QWidget*, const QString&, const QString&) override {}
  bool Confirm(QWidget*, const QString&, const QString&) override { return false; }
  std::optional<QString> OpenFile(QWidget*, const QStringList&) override { return std::nullopt; }
  std::optional<QString> SaveFile(QWidget*) override { return std::nullopt; }
  void ShowException(QWidget*, const QString& text) override {
    std::fprintf(stderr, "exception: %s\n", text.toUtf8().constData());
  }
  bool OpenWithSystem(const QString&) override { return true; }
  int Exec(QDialog&) override { return QDialog::Rejected; }
};

long long MillisecondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t)
      .count();
}

}  // namespace

int RunBench(const std::string& mode, std::chrono::steady_clock::time_point started) {
  TBenchPrompts prompts;
  TForm1Options options = TForm1Options::ForExecutable();
  options.SettingsPath = options.HomeDir / "zubmanager.INI";
  options.Prompts = &prompts;
  TZubApp forms(options);
  forms.Form1().show();
  // The first pass of the event loop after show: the window has been shown and laid out.
  QTimer::singleShot(0, [&] {
    std::printf("shown-ms: %lld\n", MillisecondsSince(started));
    if (mode == "refresh") {
      auto* button = forms.Form1().findChild<QPushButton*>(QStringLiteral("Button1"));
      const auto t = std::chrono::steady_clock::now();
      if (button) button->click();
      std::printf("refresh-ms: %lld\n", MillisecondsSince(t));
    }
    std::fflush(stdout);
    forms.Form1().close();
    QApplication::quit();
  });
  return QApplication::exec();
}

}  // namespace zub

int main(int argc, char* argv[]) {
  const auto started = std::chrono::steady_clock::now();
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("ZUB Manager"));
  return zub::RunBench(argc > 1 ? argv[1] : "startup", started);
}
