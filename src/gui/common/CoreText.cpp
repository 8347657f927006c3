#include "gui/common/CoreText.h"

#include <QStringDecoder>

#include "base/Cp1251.h"

namespace zub {

QString FromCp1251(std::string_view text) {
  return QString::fromStdString(Cp1251ToUtf8(text));
}

QString FromCore(std::string_view text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return decoded;
  return FromCp1251(text);
}

std::string ToCore(const QString& text) {
  return text.toStdString();
}

QStringList QtFileFilters(std::string_view filter) {
  const QStringList parts =
      QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size())).split(u'|');
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(u';', u' ');
    result << parts[i] + QStringLiteral(" (") + patterns + u')';
  }
  return result;
}

}  // namespace zub
