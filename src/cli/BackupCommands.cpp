// zub backup, verify and restore: the core's backup and restore (commands/Backup.h,
// commands/Restore.h) with a progress bar, one result line per section and a summary.
#include <algorithm>
#include <iostream>

#include "Commands.h"
#include "Progress.h"
#include "base/FileIO.h"
#include "commands/Restore.h"

#ifndef ZUB_VERSION
#define ZUB_VERSION "3"
#endif

namespace zub::cli {
namespace {

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Summary(const char* verb, std::size_t total,
                    const std::vector<std::pair<std::size_t, std::string>>& counts) {
  std::string out = std::string(verb) + ": " + Plural(total, "section", "sections");
  bool first = true;
  for (const auto& [n, word] : counts) {
    if (n == 0 && !first) continue;
    out += (first ? ": " : ", ") + std::to_string(n) + " " + word;
    first = false;
  }
  return out;
}

// The run's phases and progress on the bar; each command adds its own lines.
class TBarObserver : public IRunObserver {
 public:
  explicit TBarObserver(TProgress& progress) : progress_(progress) {}
  void OnPhase(const TRunProgress& p) override {
    progress_.Phase(PhaseName(p.Phase), p.Sections, p.Bytes);
  }
  void OnProgress(const TRunProgress& p) override { progress_.Update(p.SectionsDone, p.BytesDone); }

 protected:
  TProgress& progress_;
};

TBackupSet OpenOrFail(const TCliArgs& args) {
  TOpenedBackup opened = OpenBackup(PathFromUtf8(args.Dir));
  if (opened.Failure)
    throw ECommandFailed(kExitFailed,
                         opened.Failure->Text + "; nothing was written to the telephone");
  return std::move(*opened.Backup);
}

}  // namespace

int RunBackup(const TCliArgs& args, TCliSession& session) {
  class TObserver : public TBarObserver {
   public:
    using TBarObserver::TBarObserver;
    void OnBackedUp(const TManifestEntry& e, const TRunProgress&) override {
      std::string what = StateName(e.State);
      if (e.State == TBackupState::Present) what = std::to_string(e.Size) + " bytes";
      if (e.State == TBackupState::Unreadable)
        progress_.Note("zub: cannot read section " + e.Address.Text() + ": " + e.Error);
      progress_.Section(e.Address.Text() + " " + what);
    }
  };
  TProgress progress("backup", !args.Quiet, StderrIsTerminal());
  TObserver observer(progress);
  TBackupRequest request;
  request.Dir = PathFromUtf8(args.Dir);
  request.Scope = args.All ? TBackupScope::All : TBackupScope::Catalogue;
  request.Tool = std::string("zub ") + ZUB_VERSION;
  const TBackupResult r = zub::RunBackup(session.Core(), request, {&observer, &StopFlag()});
  progress.Finish();
  if (r.Failure) {
    const TFailureKind kind = r.Failure->Kind;
    if (kind == TFailureKind::LinkLost || kind == TFailureKind::Inconsistent ||
        kind == TFailureKind::Files)
      session.Fail({kind, r.Failure->Text + "; " + r.Dir.string() + " was left as it was"},
                   "the backup failed");
    session.Fail(*r.Failure);
  }
  PrintLine(Summary("backup", r.Manifest.Entries.size(),
                    {{r.Present, "with data (" + std::to_string(r.Bytes) + " bytes)"},
                     {r.Empty, "empty"},
                     {r.Absent, "absent"},
                     {r.Unreadable, "unreadable"}}) +
            " -> " + r.Dir.string());
  return r.Unreadable ? kExitFailed : kExitOk;
}

int RunVerify(const TCliArgs& args, TCliSession& session) {
  const TBackupSet backup = OpenOrFail(args);
  class TObserver : public TBarObserver {
   public:
    using TBarObserver::TBarObserver;
    void OnCompared(const TComparison& c, const TRunProgress&) override {
      const std::string line = c.Address.Text() + " " + CompareText(c);
      progress_.Result(line);
      progress_.Section(line);
    }
  };
  TProgress progress("verify", !args.Quiet, StderrIsTerminal());
  TObserver observer(progress);
  const TCompareResult r = CompareWithBackup(session.Core(), backup, {}, {&observer, &StopFlag()});
  progress.Finish();
  if (r.Failure) session.Fail(*r.Failure, "the verify stopped");
  PrintLine(Summary("verify", r.Sections.size(),
                    {{r.Same, "same"},
                     {r.Differ, "differ"},
                     {r.NowEmpty, "now empty"},
                     {r.Unreadable, "unreadable"},
                     {r.NotInBackup, "not in the backup"}}));
  return r.Same == r.Sections.size() ? kExitOk : kExitFailed;
}

int RunRestore(const TCliArgs& args, TCliSession& session) {
  const TBackupSet backup = OpenOrFail(args);
  const auto& entries = backup.Manifest.Entries;
  std::vector<std::size_t> chosen;
  for (const auto& a : args.Only) {
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [&](const TManifestEntry& e) { return e.Address == a; });
    if (it == entries.end())
      throw ECommandFailed(kExitUsage, "section " + a.Text() +
                                           " is not in the backup's manifest; restore touches "
                                           "only the sections it lists");
    const auto i = static_cast<std::size_t>(it - entries.begin());
    if (std::find(chosen.begin(), chosen.end(), i) == chosen.end()) chosen.push_back(i);
  }

  // The comparison prints what needs nothing (all of it on a dry run); the restore the rest.
  class TObserver : public TBarObserver {
   public:
    TObserver(TProgress& progress, bool dryRun) : TBarObserver(progress), dryRun_(dryRun) {}
    void OnCompared(const TComparison& c, const TRunProgress&) override {
      const TRestoreAction action = ActionFor(c);
      if (!dryRun_ && action != TRestoreAction::None && action != TRestoreAction::Skip) return;
      Line(c.Address.Text() + " " + PlannedText(c));
    }
    void OnRestored(const TRestoreOutcome& o, const TRunProgress&) override {
      if (o.Error)
        progress_.Note("zub: section " + o.Before.Address.Text() + " was not " +
                       (ActionFor(o.Before) == TRestoreAction::Erase ? "erased: " : "restored: ") +
                       o.Error->Text);
      Line(o.Before.Address.Text() + " " + RestoreText(o));
    }

   private:
    void Line(const std::string& line) {
      progress_.Result(line);
      progress_.Section(line);
    }
    bool dryRun_;
  };
  TProgress progress(args.DryRun ? "restore (dry run)" : "restore", !args.Quiet,
                     StderrIsTerminal());
  TObserver observer(progress, args.DryRun);
  const TRunControl control{&observer, &StopFlag()};
  const TCompareResult plan = CompareWithBackup(session.Core(), backup, chosen, control);
  if (plan.Failure) session.Fail(*plan.Failure, "the restore stopped before writing anything");

  if (args.DryRun) {
    progress.Finish();
    std::size_t write = 0, erase = 0;
    for (const auto& c : plan.Sections) {
      write += ActionFor(c) == TRestoreAction::Write;
      erase += ActionFor(c) == TRestoreAction::Erase;
    }
    PrintLine(Summary("restore --dry-run", plan.Sections.size(),
                      {{plan.Same, "same"},
                       {write, "to write"},
                       {erase, "to erase"},
                       {plan.NotInBackup, "not in the backup"}}));
    return plan.NotInBackup ? kExitFailed : kExitOk;
  }
  const TRestoreResult done = zub::RunRestore(session.Core(), backup, plan, control);
  progress.Finish();
  if (done.Failure) session.Fail(*done.Failure, "the restore stopped");
  PrintLine(Summary("restore", done.Sections.size(),
                    {{done.Same, "same"},
                     {done.Written, "written"},
                     {done.Erased, "erased"},
                     {done.Failed, "failed"},
                     {done.Skipped, "not in the backup"}}));
  return done.Failed || done.Skipped ? kExitFailed : kExitOk;
}

}  // namespace zub::cli
