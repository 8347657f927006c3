// Texts between the core (8-bit std::string) and the widgets (QString), and the core's file
// dialog filters in Qt's notation.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

namespace zub {

// Bytes the telephone stores (titles): Windows-1251.
QString FromCp1251(std::string_view text);

// Texts of the tool and of its settings files: UTF-8 when the bytes are valid UTF-8 (every
// ASCII text is), else Windows-1251, the code page the catalogue files were written in.
QString FromCore(std::string_view text);

// Widget text handed to the core (file names, typed texts): UTF-8.
std::string ToCore(const QString& text);

// "Name|*.a;*.b|All files|*.*" -> {"Name (*.a *.b)", "All files (*.*)"}. An empty filter
// gives no entries.
QStringList QtFileFilters(std::string_view filter);

}  // namespace zub
