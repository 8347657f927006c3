// Texts between the core (UTF-8 std::string) and the widgets (QString), and the core's file
// dialog filters in Qt's notation.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

namespace zub {

// Text of the core: UTF-8. The core decodes the telephone's bytes and the settings files'
// texts where they come in, so every front end shows the same characters.
QString FromCore(std::string_view text);

// Widget text handed to the core (file names, typed texts): UTF-8.
std::string ToCore(const QString& text);

// "Name|*.a;*.b|All files|*.*" -> {"Name (*.a *.b)", "All files (*)"}. An empty filter
// gives no entries. "*.*" matches every file on Windows; elsewhere it would miss the names
// without a dot, so it becomes "*".
QStringList QtFileFilters(std::string_view filter);

}  // namespace zub
