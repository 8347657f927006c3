// Helpers of the tests that run the window under a real window manager (X11, openbox; see
// tests/gui/window-manager-test.sh): real message boxes and dialogs that a test closes once the
// window manager has framed them, the outer bounds and titles as the window manager has them,
// waits that end when the window has settled, and the X tools that play the user's keys.
#pragma once

#include <gtest/gtest.h>
#include <QDialog>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/app/ZubApp.h"
#include "gui/common/ModalPrompts.h"
#include "support/SimTelephone.h"

class QWidget;

namespace zub::test {

// Shown, and framed by the window manager.
bool Framed(QWidget& w);
// The outer bounds, frame included, from the native window (the widget's own may lag).
QRect OuterBounds(QWidget& w);
// Waits until two readings of the outer bounds in a row, kSettleStepMs apart, are equal;
// false when they were still changing after `limitMs`.
inline constexpr int kSettleStepMs = 50;
bool WaitSettled(QWidget& w, int limitMs = 10000);
// The title the window manager has for a window (_NET_WM_NAME, as xprop shows it).
QString XTitle(QWidget& w);
// With ZUB_SHOTS=DIR set, a screenshot of the whole screen as DIR/name.
void Shot(const char* name);
// Runs an X tool (xdotool, wmctrl) to its end; true when it exited with 0.
bool RunTool(const QString& program, const QStringList& arguments);
// Keys as the X server delivers them to the focused window ("Menu", "shift+F10", "alt+F4").
bool PressKeys(const QString& keys);

// Real boxes and dialogs. Once one is up, framed and settled, OnShown gets it and must close it
// (or leave it to the keys it sends). File dialogs answer at once.
class TLivePrompts final : public IModalPrompts {
 public:
  std::function<void(QDialog&)> OnShown = [](QDialog& d) { d.done(mrCancel); };
  std::optional<QString> OpenAnswer;
  std::optional<QString> FolderAnswer;
  QStringList Shown;         // object names or captions of what was shown, in order
  std::vector<int> Results;  // the modal results of the forms run

  void MessageBox(QWidget* owner, const QString& caption, const QString& text) override;
  bool Confirm(QWidget* owner, const QString& caption, const QString& text) override;
  std::optional<QString> OpenFile(QWidget*, const QStringList&) override { return OpenAnswer; }
  std::optional<QString> SaveFile(QWidget*) override { return std::nullopt; }
  std::optional<QString> ChooseFolder(QWidget*, const QString&) override { return FolderAnswer; }
  void ShowException(QWidget* owner, const QString& text) override;
  bool OpenWithSystem(const QString&) override { return true; }
  int Exec(QDialog& dialog) override;

 private:
  void Arm();

  TQtPrompts FQt;
};

// The window on a simulated telephone with two program rows, placed by the settings at
// 150,100 and 400 x 450, shown under the window manager. Skipped on any other platform.
class TLiveWindowTest : public ::testing::Test {
 protected:
  static const QRect kPlace;
  void SetUp() override;
  void TearDown() override;
  // Opens the window (anew) and waits until the window manager has framed and placed it.
  void OpenWindow();
  TForm1& form() { return app->Form1(); }
  QRect Outer() { return OuterBounds(form()); }

  SimTelephone phone;
  TLivePrompts prompts;
  std::unique_ptr<TZubApp> app;
};

}  // namespace zub::test
