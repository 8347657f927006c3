// What backup, verify and restore share while they run: the progress they report to the
// observer, and the failures that end a run at once rather than one section.
#pragma once

#include <cstdint>
#include <optional>

#include "commands/Backup.h"
#include "commands/Restore.h"
#include "commands/SectionEngine.h"

namespace zub {

// The run's progress and its reports in one place.
class TReporter {
 public:
  explicit TReporter(const TRunControl& control) : observer_(control.Observer) {}
  void Phase(TRunPhase phase, std::size_t sections, std::uint64_t bytes) {
    p_ = {phase, 0, sections, 0, bytes};
    if (observer_) observer_->OnPhase(p_);
  }
  void Done(std::uint64_t bytes) {
    ++p_.SectionsDone;
    p_.BytesDone += bytes;
    if (observer_) observer_->OnProgress(p_);
  }
  void BackedUp(const TManifestEntry& e) {
    if (observer_) observer_->OnBackedUp(e, p_);
  }
  void Compared(const TComparison& c) {
    if (observer_) observer_->OnCompared(c, p_);
  }
  void Restored(const TRestoreOutcome& o) {
    if (observer_) observer_->OnRestored(o, p_);
  }

 private:
  IRunObserver* observer_;
  TRunProgress p_;
};

// A lost link, a stop or a closed connection ends the whole run, not just one section.
inline bool Halted(const std::optional<TStepError>& e) {
  return e && (e->Kind == TFailureKind::LinkLost || e->Kind == TFailureKind::Stopped ||
               e->Kind == TFailureKind::Unreachable);
}

}  // namespace zub
