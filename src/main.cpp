// ZUB Manager 3: creates the application and its forms and runs the message loop.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <cstdio>
#include <cstring>

#include "base/StdDescriptors.h"

#include "gui/app/ZubApp.h"

namespace {

constexpr const char* kUsage =
    "Usage: zubmanager [--help] [--version] [Qt options]\n"
    "\n"
    "Starts ZUB Manager 3, the window that looks after the NVM sections of a ZUB telephone\n"
    "through its device library (gbp.dll, or cte_gbp.dll for the service cable).\n"
    "\n"
    "Options:\n"
    "  --help      this text\n"
    "  --version   the version of ZUB Manager 3\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, -display DISPLAY, ...) are understood.\n"
    "\n"
    "The settings (zubmanager.INI) and the catalogue (SECTIONS.INI) are those beside the\n"
    "program when that folder holds zubmanager.INI and may be written; otherwise those in\n"
    "$XDG_CONFIG_HOME/zubmanager3 (~/.config/zubmanager3), copied there from the installed\n"
    "defaults at the first start. The device library is looked for in that folder, in\n"
    "$XDG_DATA_HOME/zubmanager3 (~/.local/share/zubmanager3), beside the program, and in the\n"
    "installation's lib/zubmanager3.\n";

// The icon in every size the resource holds.
QIcon AppIcon() {
  QIcon icon;
  const QDir dir(QStringLiteral(":/icons"));
  for (const QString& name : dir.entryList(QDir::Files)) icon.addFile(dir.filePath(name));
  return icon;
}

}  // namespace

int main(int argc, char* argv[]) {
  zub::EnsureStandardDescriptors();
  // Answered before Qt starts: neither needs a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("ZUB Manager 3 " ZUB_VERSION);
      return 0;
    }
  }
  QApplication app(argc, argv);
  // Qt has taken its own options out of argv; anything left is not ours either.
  if (argc > 1) {
    std::fprintf(stderr, "zubmanager: unknown argument '%s'\nTry \"zubmanager --help\".\n",
                 argv[1]);
    return 2;
  }
  // The application's title. Not its display name: Qt would append that to every window title.
  QApplication::setApplicationName(QStringLiteral("ZUB Manager"));
  // Desktops find the icon and the name through the desktop entry of this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("zubmanager3"));
  QApplication::setWindowIcon(AppIcon());
  zub::TZubApp forms(zub::TForm1Options::ForExecutable());
  forms.Form1().show();
  return QApplication::exec();
}
