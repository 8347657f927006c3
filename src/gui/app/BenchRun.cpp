#include "gui/app/BenchRun.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

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
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               t)
      .count();
}

}  // namespace

int RunBench(const std::string& mode, std::chrono::steady_clock::time_point started) {
  TBenchPrompts prompts;
  TForm1Options options = TForm1Options::ForExecutable();
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
