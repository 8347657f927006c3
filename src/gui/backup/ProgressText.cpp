#include "gui/backup/ProgressText.h"

#include <algorithm>
#include <cmath>

namespace zub {
namespace {

QString PhaseText(TRunPhase phase) {
  switch (phase) {
    case TRunPhase::Sizing:
      return QStringLiteral("Asking the size of each section");
    case TRunPhase::Reading:
      return QStringLiteral("Reading the sections");
    case TRunPhase::Checking:
      return QStringLiteral("Asking the empty sections again");
    case TRunPhase::Comparing:
      return QStringLiteral("Comparing with the backup");
    case TRunPhase::Writing:
      return QStringLiteral("Writing back and reading back");
  }
  return {};
}

QString Duration(double seconds) {
  const auto s = static_cast<long long>(std::ceil(seconds));
  if (s < 60) return QStringLiteral("%1 s").arg(s);
  return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
}

int Percent(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 100;
  return static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total);
}

}  // namespace

QString GroupedNumber(std::uint64_t n) {
  QString digits = QString::number(n);
  for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(','));
  return digits;
}

TProgressText DescribeProgress(const TRunProgress& p, double seconds) {
  TProgressText t;
  t.Phase = PhaseText(p.Phase);
  t.Sections = QStringLiteral("%1 of %2 sections").arg(p.SectionsDone).arg(p.Sections);
  if (p.Bytes == 0) {
    t.Percent = Percent(p.SectionsDone, p.Sections);
    return t;
  }
  t.Bytes =
      QStringLiteral("%1 of %2 bytes").arg(GroupedNumber(p.BytesDone), GroupedNumber(p.Bytes));
  t.Percent = Percent(p.BytesDone, p.Bytes);
  // A rate needs some bytes and some time behind it.
  if (p.BytesDone == 0 || seconds < 0.1) return t;
  const double rate = static_cast<double>(p.BytesDone) / seconds;
  t.Speed = rate < 1024 ? QStringLiteral("%1 bytes/s").arg(static_cast<long long>(rate))
                        : QStringLiteral("%1 KB/s").arg(rate / 1024, 0, 'f', 1);
  if (p.BytesDone < p.Bytes)
    t.Speed += QStringLiteral(", about %1 left")
                   .arg(Duration(static_cast<double>(p.Bytes - p.BytesDone) / rate));
  return t;
}

}  // namespace zub
