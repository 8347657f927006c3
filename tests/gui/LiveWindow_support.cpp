// The live-window helpers: real prompts closed once framed, bounds and titles as the window
// manager has them, settling waits and the X tools.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "GuiTestSupport.h"
#include "LiveWindowSupport.h"

namespace zub::test {

bool Framed(QWidget& w) {
  QWindow* window = w.windowHandle();
  return window && window->isExposed() && !window->frameMargins().isNull();
}

QRect OuterBounds(QWidget& w) {
  return w.windowHandle() ? w.windowHandle()->frameGeometry() : w.frameGeometry();
}

bool WaitSettled(QWidget& w, int limitMs) {
  QElapsedTimer clock;
  clock.start();
  QRect last = OuterBounds(w);
  while (clock.elapsed() < limitMs) {
    QTest::qWait(kSettleStepMs);
    const QRect now = OuterBounds(w);
    if (now == last) return true;
    last = now;
  }
  return false;
}

QString XTitle(QWidget& w) {
  QProcess xprop;
  xprop.start("xprop", {"-id", QString::number(w.winId()), "_NET_WM_NAME"});
  xprop.waitForFinished();
  // "_NET_WM_NAME(UTF8_STRING) = "text"", or nothing after the "=" for an empty title.
  const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
  if (!out.startsWith("_NET_WM_NAME(UTF8_STRING) =")) return "<no title: " + out + ">";
  QString value = out.section(u'=', 1).trimmed();
  if (value.startsWith(u'"') && value.endsWith(u'"')) value = value.mid(1, value.size() - 2);
  return value;
}

void Shot(const char* name) {
  const QString dir = qEnvironmentVariable("ZUB_SHOTS");
  if (!dir.isEmpty()) QProcess::execute("import", {"-window", "root", dir + "/" + name});
}

bool RunTool(const QString& program, const QStringList& arguments) {
  return QProcess::execute(program, arguments) == 0;
}

bool PressKeys(const QString& keys) {
  return RunTool("xdotool", {"key", "--clearmodifiers", keys});
}

void TLivePrompts::MessageBox(QWidget* owner, const QString& caption, const QString& text) {
  Shown << caption;
  Arm();
  FQt.MessageBox(owner, caption, text);
}

bool TLivePrompts::Confirm(QWidget* owner, const QString& caption, const QString& text) {
  Shown << caption;
  Arm();
  return FQt.Confirm(owner, caption, text);
}

void TLivePrompts::ShowException(QWidget* owner, const QString& text) {
  Shown << text;
  Arm();
  FQt.ShowException(owner, text);
}

int TLivePrompts::Exec(QDialog& dialog) {
  Shown << dialog.objectName();
  Arm();
  Results.push_back(FQt.Exec(dialog));
  return Results.back();
}

void TLivePrompts::Arm() {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [this, timer] {
    auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!d || !Framed(*d)) return;
    timer->stop();
    timer->deleteLater();
    WaitSettled(*d);  // the window manager has placed and decorated it
    OnShown(*d);
  });
  timer->start();
}

const QRect TLiveWindowTest::kPlace(150, 100, 400, 450);

void TLiveWindowTest::SetUp() {
  if (QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "needs an X11 display with a window manager; "
                    "tests/gui/window-manager-test.sh runs these under Xvfb and openbox";
  phone.SetCatalogue(
      {SimTelephone::Entry(2, 1, "Program slot 1"), SimTelephone::Entry(2, 2, "Program slot 2")});
  OpenWindow();
}

void TLiveWindowTest::OpenWindow() {
  app.reset();
  phone.SetSetting("Form", "Left", std::to_string(kPlace.x()));
  phone.SetSetting("Form", "Top", std::to_string(kPlace.y()));
  phone.SetSetting("Form", "Width", std::to_string(kPlace.width()));
  phone.SetSetting("Form", "Height", std::to_string(kPlace.height()));
  app = std::make_unique<TZubApp>(HomeOptions(phone.Dir(), prompts));
  form().show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Framed(form()); }, 10000));
  const auto shown = [&] {
    const QRect r = Outer();
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) +
           "x" + std::to_string(r.height());
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return Outer() == kPlace; }, 10000)) << shown();
  ASSERT_TRUE(WaitSettled(form())) << shown();
  ASSERT_EQ(Outer(), kPlace) << shown();
}

void TLiveWindowTest::TearDown() {
  if (app) form().close();
}

}  // namespace zub::test
