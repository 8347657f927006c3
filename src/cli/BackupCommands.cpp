// zub backup, verify and restore: the core's backup and restore (commands/Backup.h,
// commands/Restore.h) with a progress bar, one result line per section and a summary that
// ends with the time taken and the average rate (or, with --json, one object at the end).
#include <algorithm>
#include <iostream>

#include "Commands.h"
#include "JsonOutput.h"
#include "Progress.h"
#include "base/FileIO.h"
#include "commands/Restore.h"
#include "commands/SafetyNet.h"

#ifndef ZUB_VERSION
#define ZUB_VERSION "3"
#endif

namespace zub::cli {
namespace {

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The run's phases and progress on the bar, and the bytes moved over the link in all its
// phases for the summary's rate; each command adds its own lines.
class TBarObserver : public IRunObserver {
 public:
  TBarObserver(TProgress& progress, bool json) : progress_(progress), json_(json) {}
  void OnPhase(const TRunProgress& p) override {
    earlier_ += phase_;
    phase_ = 0;
    progress_.Phase(PhaseName(p.Phase), p.Sections, p.Bytes);
  }
  void OnProgress(const TRunProgress& p) override {
    phase_ = p.BytesDone;
    progress_.Update(p.SectionsDone, p.BytesDone);
  }
  // "; took 1.2 s, 80.5 KiB/s on average" for the end of the summary.
  std::string Took() const {
    return "; took " + ElapsedText(Moved(), Seconds()) + (Moved() ? " on average" : "");
  }
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }
  std::uint64_t Moved() const { return earlier_ + phase_; }

 protected:
  // A section's result line on standard output; with --json only its progress line.
  void Line(const std::string& line) {
    if (!json_) progress_.Result(line);
    progress_.Section(line);
  }
  TProgress& progress_;
  bool json_;

 private:
  std::uint64_t earlier_ = 0, phase_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The run's time and bytes in a JSON result.
void AddTook(TJson& out, const TBarObserver& observer) {
  out["seconds"] = static_cast<double>(static_cast<long long>(observer.Seconds() * 1000)) / 1000;
  out["link_bytes"] = observer.Moved();
}

const char* CompareName(TCompareKind kind) {
  switch (kind) {
    case TCompareKind::Same:
      return "same";
    case TCompareKind::Differs:
      return "differs";
    case TCompareKind::NowEmpty:
      return "now-empty";
    case TCompareKind::Unreadable:
      return "unreadable";
    case TCompareKind::NotInBackup:
      return "not-in-backup";
  }
  return "";
}

const char* RestoreName(TRestoreKind kind) {
  switch (kind) {
    case TRestoreKind::Same:
      return "same";
    case TRestoreKind::Written:
      return "written";
    case TRestoreKind::Erased:
      return "erased";
    case TRestoreKind::Failed:
      return "failed";
    case TRestoreKind::Skipped:
      return "skipped";
  }
  return "";
}

const char* ActionName(TRestoreAction action) {
  switch (action) {
    case TRestoreAction::None:
      return "none";
    case TRestoreAction::Write:
      return "write";
    case TRestoreAction::Erase:
      return "erase";
    case TRestoreAction::Skip:
      return "skip";
  }
  return "";
}

TJson ComparedJson(const TComparison& c) {
  return {{"section", c.Address.Text()},
          {"result", CompareName(c.Kind)},
          {"action", ActionName(ActionFor(c))},
          {"text", CompareText(c)}};
}

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
  TProgress progress("backup", !args.Quiet, session.BarOnTerminal());
  TObserver observer(progress, args.Json);
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
  const int status = r.Unreadable ? kExitFailed : kExitOk;
  if (args.Json) {
    TJson out = {{"command", "backup"},        {"exit", status},   {"dir", r.Dir.string()},
                 {"present", r.Present},       {"empty", r.Empty}, {"absent", r.Absent},
                 {"unreadable", r.Unreadable}, {"bytes", r.Bytes}};
    AddTook(out, observer);
    out["sections"] = TJson::array();
    for (const auto& e : r.Manifest.Entries) {
      TJson entry = {{"section", e.Address.Text()}, {"state", StateName(e.State)}};
      if (e.State == TBackupState::Present) {
        entry["size"] = e.Size;
        entry["sha256"] = e.Sha256;
      }
      if (!e.Error.empty()) entry["error"] = e.Error;
      out["sections"].push_back(std::move(entry));
    }
    PrintJson(out);
    return status;
  }
  PrintLine(BackupSummary(r) + observer.Took());
  return status;
}

int RunVerify(const TCliArgs& args, TCliSession& session) {
  const TBackupSet backup = OpenOrFail(args);
  class TObserver : public TBarObserver {
   public:
    using TBarObserver::TBarObserver;
    void OnCompared(const TComparison& c, const TRunProgress&) override {
      Line(c.Address.Text() + " " + CompareText(c));
    }
  };
  TProgress progress("verify", !args.Quiet, session.BarOnTerminal());
  TObserver observer(progress, args.Json);
  const TCompareResult r = CompareWithBackup(session.Core(), backup, {}, {&observer, &StopFlag()});
  progress.Finish();
  if (r.Failure) session.Fail(*r.Failure, "the verify stopped");
  const int status = r.Same == r.Sections.size() ? kExitOk : kExitFailed;
  if (args.Json) {
    TJson out = {{"command", "verify"},        {"exit", status},
                 {"dir", backup.Dir.string()}, {"same", r.Same},
                 {"differ", r.Differ},         {"now_empty", r.NowEmpty},
                 {"unreadable", r.Unreadable}, {"not_in_backup", r.NotInBackup}};
    AddTook(out, observer);
    out["sections"] = TJson::array();
    for (const auto& c : r.Sections) out["sections"].push_back(ComparedJson(c));
    PrintJson(out);
    return status;
  }
  PrintLine(VerifySummary(r) + observer.Took());
  return status;
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
    TObserver(TProgress& progress, bool json, bool dryRun)
        : TBarObserver(progress, json), dryRun_(dryRun) {}
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
    bool dryRun_;
  };
  TProgress progress(args.DryRun ? "restore (dry run)" : "restore", !args.Quiet,
                     session.BarOnTerminal());
  TObserver observer(progress, args.Json, args.DryRun);
  const TRunControl control{&observer, &StopFlag()};
  const TCompareResult plan = CompareWithBackup(session.Core(), backup, chosen, control);
  if (plan.Failure) session.Fail(*plan.Failure, "the restore stopped before writing anything");

  std::size_t write = 0, erase = 0;
  std::string planned;
  for (const auto& c : plan.Sections) {
    const TRestoreAction action = ActionFor(c);
    write += action == TRestoreAction::Write;
    erase += action == TRestoreAction::Erase;
    if (action == TRestoreAction::Write || action == TRestoreAction::Erase)
      planned += "  " + c.Address.Text() + " " + PlannedText(c) + "\n";
  }
  if (args.DryRun) {
    progress.Finish();
    const int status = plan.NotInBackup ? kExitFailed : kExitOk;
    if (args.Json) {
      TJson out = {{"command", "restore"},       {"exit", status},
                   {"dir", backup.Dir.string()}, {"dry_run", true},
                   {"same", plan.Same},          {"to_write", write},
                   {"to_erase", erase},          {"not_in_backup", plan.NotInBackup}};
      AddTook(out, observer);
      out["sections"] = TJson::array();
      for (const auto& c : plan.Sections) {
        TJson entry = ComparedJson(c);
        entry["planned"] = PlannedText(c);
        out["sections"].push_back(std::move(entry));
      }
      PrintJson(out);
      return status;
    }
    PrintLine(PlanSummary(plan, "restore --dry-run") + observer.Took());
    return status;
  }
  if (write + erase > 0) {
    progress.Finish();
    const std::string question = "Write " + Plural(write, "section", "sections") + " and erase " +
                                 std::to_string(erase) + " on " + session.LinkText() + "?";
    if (!MayChange(args, session, "zub: the restore will change these sections:\n" + planned,
                   question))
      throw ECommandFailed(kExitFailed, "nothing was written or erased: the answer was not yes");
  }
  const TRestoreResult done = zub::RunRestore(session.Core(), backup, plan, control);
  progress.Finish();
  if (done.Failure) session.Fail(*done.Failure, "the restore stopped", "zub verify " + args.Dir);
  const int status = done.Failed || done.Skipped ? kExitFailed : kExitOk;
  if (args.Json) {
    TJson out = {{"command", "restore"},  {"exit", status},        {"dir", backup.Dir.string()},
                 {"dry_run", false},      {"same", done.Same},     {"written", done.Written},
                 {"erased", done.Erased}, {"failed", done.Failed}, {"skipped", done.Skipped}};
    AddTook(out, observer);
    out["sections"] = TJson::array();
    for (const auto& o : done.Sections) {
      TJson entry = ComparedJson(o.Before);
      entry["result"] = RestoreName(o.Kind);
      entry["text"] = RestoreText(o);
      if (o.Error) entry["error"] = o.Error->Text;
      out["sections"].push_back(std::move(entry));
    }
    PrintJson(out);
    return status;
  }
  PrintLine(RestoreSummary(done) + observer.Took());
  return status;
}

}  // namespace zub::cli
