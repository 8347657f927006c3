#include "gui/common/CoreText.h"

namespace zub {

QString FromCore(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToCore(const QString& text) {
  return text.toStdString();
}

QStringList QtFileFilters(std::string_view filter) {
  const QStringList parts =
      QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size())).split(u'|');
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(u';');
#ifndef Q_OS_WIN
    for (QString& pattern : patterns)
      if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
#endif
    result << parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')';
  }
  return result;
}

}  // namespace zub
