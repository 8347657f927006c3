// ZUB Manager 3: creates the application and its forms and runs the message loop.
#include <QApplication>

#include "gui/app/ZubApp.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("ZUB Manager"));
  zub::TZubApp forms(zub::TForm1Options::ForExecutable());
  forms.Form1().show();
  return QApplication::exec();
}
