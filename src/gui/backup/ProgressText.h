// What the progress window says about a run: the phase, the sections and bytes done, and the
// speed and time left measured since the phase began. A pure function of the run's progress
// and the seconds it took, so that the wording is tested without a window.
#pragma once

#include <QString>

#include "commands/Backup.h"

namespace zub {

struct TProgressText {
  QString Phase;     // "Reading the sections"
  QString Sections;  // "3 of 19 sections"
  QString Bytes;     // "12,040 of 81,750 bytes"; empty when the phase moves no bytes
  QString Speed;     // "2.9 KB/s, about 25 s left"; empty until something was moved
  int Percent = 0;   // by the bytes, or by the sections when the phase moves none
};

TProgressText DescribeProgress(const TRunProgress& p, double seconds);

// 81750 -> "81,750".
QString GroupedNumber(std::uint64_t n);

}  // namespace zub
