// ZUB Manager 3: creates the application and its forms and runs the message loop.
#include <QApplication>

#include "base/StdDescriptors.h"

#include "gui/app/ZubApp.h"

int main(int argc, char* argv[]) {
  zub::EnsureStandardDescriptors();
  QApplication app(argc, argv);
  // The application's title. Not its display name: Qt would append that to every window title.
  QApplication::setApplicationName(QStringLiteral("ZUB Manager"));
  zub::TZubApp forms(zub::TForm1Options::ForExecutable());
  forms.Form1().show();
  return QApplication::exec();
}
