#include "commands/SafetyNet.h"

#include <atomic>
#include <set>
#include <utility>
#include <vector>

#include "commands/BackupFolder.h"
#include "commands/Messages.h"
#include "commands/Scan.h"

#ifndef ZUB_VERSION
#define ZUB_VERSION "3"
#endif

namespace zub {
namespace {

constexpr const char* kBackupCaption = "Back Up Telephone";
constexpr const char* kVerifyCaption = "Verify Against Backup";
constexpr const char* kRestoreCaption = "Restore From Backup";

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "verb: N sections: a x, b y": the first count always, the others when not 0.
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

// The progress window follows the run: every phase and every section done.
class TProgressObserver : public IRunObserver {
 public:
  explicit TProgressObserver(IProgress& progress) : progress_(progress) {}
  void OnPhase(const TRunProgress& p) override { progress_.Update(p); }
  void OnProgress(const TRunProgress& p) override { progress_.Update(p); }

 private:
  IProgress& progress_;
};

// Runs `run` under a progress window; the window's Cancel raises the run's stop flag. The
// window has gone when this returns.
template <class TRun>
auto WithProgress(TCoreState& m, const char* caption, TRun run) {
  std::atomic<bool> stop{false};
  const std::unique_ptr<IProgress> progress = m.UI.BeginProgress(caption, stop);
  TProgressObserver observer(*progress);
  return run(TRunControl{&observer, &stop});
}

std::string EntryText(const TManifestEntry& e) {
  const std::string a = e.Address.Text() + " ";
  switch (e.State) {
    case TBackupState::Present:
      return a + std::to_string(e.Size) + " bytes";
    case TBackupState::Unreadable:
      return a + "unreadable: " + e.Error;
    case TBackupState::Empty:
    case TBackupState::Absent:
      break;
  }
  return a + StateName(e.State);
}

std::string OutcomeText(const TRestoreOutcome& o) {
  std::string text = o.Before.Address.Text() + " " + RestoreText(o);
  if (o.Error) text += ": " + o.Error->Text;
  return text;
}

// The front end cannot word a connection that could not be opened better than the device
// component, which has shown its box already.
bool ToldByComponent(const TStepError& e) {
  return e.Kind == TFailureKind::Unreachable;
}

// The rows of the sections the restore changed, scanned again so that the grid shows them.
void RescanChanged(TCoreState& m, const TRestoreResult& done) {
  std::set<TSectionAddress> changed;
  for (const auto& o : done.Sections)
    if (o.Kind == TRestoreKind::Written || o.Kind == TRestoreKind::Erased ||
        o.Kind == TRestoreKind::Failed)
      changed.insert(o.Before.Address);
  if (changed.empty()) return;
  TSectionLink link(m);
  if (!link) return;
  for (int r = 1; r < m.RowCount() && !link.Lost(); ++r) {
    TSectInfo& row = m.Sections[static_cast<std::size_t>(r)];
    if (changed.count(row.Address().OnTelephone())) ScanRow(m, row, &link);
  }
  link.Close();
  m.UI.RepaintGrid();
}

}  // namespace

std::string BackupSummary(const TBackupResult& r) {
  return Summary("backup", r.Manifest.Entries.size(),
                 {{r.Present, "with data (" + std::to_string(r.Bytes) + " bytes)"},
                  {r.Empty, "empty"},
                  {r.Absent, "absent"},
                  {r.Unreadable, "unreadable"}}) +
         " -> " + r.Dir.string();
}

std::string VerifySummary(const TCompareResult& r) {
  return Summary("verify", r.Sections.size(),
                 {{r.Same, "same"},
                  {r.Differ, "differ"},
                  {r.NowEmpty, "now empty"},
                  {r.Unreadable, "unreadable"},
                  {r.NotInBackup, "not in the backup"}});
}

std::string PlanSummary(const TCompareResult& plan, const char* verb) {
  std::size_t write = 0, erase = 0;
  for (const auto& c : plan.Sections) {
    write += ActionFor(c) == TRestoreAction::Write;
    erase += ActionFor(c) == TRestoreAction::Erase;
  }
  return Summary(verb, plan.Sections.size(),
                 {{plan.Same, "same"},
                  {write, "to write"},
                  {erase, "to erase"},
                  {plan.NotInBackup, "not in the backup"}});
}

std::string RestoreSummary(const TRestoreResult& r) {
  return Summary("restore", r.Sections.size(),
                 {{r.Same, "same"},
                  {r.Written, "written"},
                  {r.Erased, "erased"},
                  {r.Failed, "failed"},
                  {r.Skipped, "not in the backup"}});
}

void BackupActionExecute(TCoreState& m) {
  const auto dir = m.UI.ChooseFolder("Choose the folder for the backup");
  if (!dir) return;
  m.UI.Status("Backing up the telephone...");
  // The manifest's tool starts with "zub": a later backup replaces only backups of ours.
  const TBackupRequest request{*dir, TBackupScope::Catalogue,
                               std::string("zubmanager ") + ZUB_VERSION};
  const TBackupResult r = WithProgress(m, kBackupCaption, [&](const TRunControl& control) {
    return RunBackup(m, request, control);
  });
  if (r.Failure) {
    if (ToldByComponent(*r.Failure)) return;
    // What the folder holds now is what it held before.
    const TTargetCheck now = CheckBackupTarget(r.Dir);
    std::string kept = now.HoldsBackup ? "The previous backup in " + r.Dir.string() + " was kept."
                       : now.Exists    ? r.Dir.string() + " was left as it was."
                                    : "Nothing was written; " + r.Dir.string() + " was not made.";
    if (r.Failure->Kind == TFailureKind::Refused && r.Unreadable) {
      // Refused for sections it could not read over an earlier backup: the reason says that
      // the earlier one was kept, and the user wants to know which sections they were.
      kept.clear();
      for (const auto& e : r.Manifest.Entries)
        if (e.State == TBackupState::Unreadable) kept += (kept.empty() ? "" : "\n") + EntryText(e);
    }
    if (r.Failure->Kind == TFailureKind::Stopped) {
      m.UI.Status("Backup cancelled!");
      m.UI.MessageBox(kBackupCaption, "The backup was cancelled.\n" + kept);
    } else {
      m.UI.Status("Backup error!");
      m.UI.MessageBox(kErrorCaption, "The backup failed: " + r.Failure->Text + ".\n" + kept);
    }
    return;
  }
  m.UI.Status(r.Unreadable ? "Backed up, some sections unreadable!" : "Backed up!");
  TReport report{kBackupCaption, {}, {}};
  for (const auto& e : r.Manifest.Entries) report.Lines.push_back(EntryText(e));
  report.Lines.push_back(BackupSummary(r));
  m.UI.ShowReport(report);
}

void VerifyActionExecute(TCoreState& m) {
  const auto dir = m.UI.ChooseFolder("Choose the backup to verify against");
  if (!dir) return;
  m.UI.Status("Verifying against the backup...");
  const TOpenedBackup opened = OpenBackup(*dir);
  if (opened.Failure) {
    m.UI.Status("Verify error!");
    m.UI.MessageBox(kErrorCaption, "Cannot verify: " + opened.Failure->Text + ".");
    return;
  }
  const TCompareResult r = WithProgress(m, kVerifyCaption, [&](const TRunControl& control) {
    return CompareWithBackup(m, *opened.Backup, {}, control);
  });
  if (r.Failure) {
    if (ToldByComponent(*r.Failure)) return;
    const std::string reached = std::to_string(r.Sections.size()) + " of " +
                                std::to_string(opened.Backup->Manifest.Entries.size()) +
                                " sections";
    if (r.Failure->Kind == TFailureKind::Stopped) {
      m.UI.Status("Verify cancelled!");
      m.UI.MessageBox(kVerifyCaption, "The verify was cancelled after " + reached + ".");
    } else {
      m.UI.Status("Verify error!");
      m.UI.MessageBox(kErrorCaption,
                      "The verify stopped after " + reached + ": " + r.Failure->Text + ".");
    }
    return;
  }
  // A section that could not be read is not said to differ.
  const std::size_t differ = r.Sections.size() - r.Same - r.Unreadable;
  std::string found;
  if (differ) found = Plural(differ, "section differs", "sections differ");
  if (r.Unreadable)
    found += found.empty() ? Plural(r.Unreadable, "section unreadable", "sections unreadable")
                           : ", " + std::to_string(r.Unreadable) + " unreadable";
  m.UI.Status(found.empty() ? "Verified!" : "Verified: " + found + "!");
  TReport report{kVerifyCaption, {}, {}};
  for (const auto& c : r.Sections) report.Lines.push_back(c.Address.Text() + " " + CompareText(c));
  report.Lines.push_back(VerifySummary(r));
  m.UI.ShowReport(report);
}

void RestoreActionExecute(TCoreState& m) {
  const auto dir = m.UI.ChooseFolder("Choose the backup to restore");
  if (!dir) return;
  m.UI.Status("Comparing with the backup...");
  const TOpenedBackup opened = OpenBackup(*dir);
  if (opened.Failure) {
    m.UI.Status("Restore error!");
    m.UI.MessageBox(kErrorCaption, "Cannot restore: " + opened.Failure->Text +
                                       "; nothing was written to the telephone.");
    return;
  }
  const TBackupSet& backup = *opened.Backup;
  const TCompareResult plan = WithProgress(m, kRestoreCaption, [&](const TRunControl& control) {
    return CompareWithBackup(m, backup, {}, control);
  });
  if (plan.Failure) {
    if (ToldByComponent(*plan.Failure)) return;
    if (plan.Failure->Kind == TFailureKind::Stopped) {
      m.UI.Status("Restore cancelled!");
      m.UI.MessageBox(kRestoreCaption, "The restore was cancelled before it wrote anything.");
    } else {
      m.UI.Status("Restore error!");
      m.UI.MessageBox(kErrorCaption,
                      "The restore stopped before it wrote anything: " + plan.Failure->Text + ".");
    }
    return;
  }

  // The plan: what would be written and erased, and the question, No by default.
  std::size_t write = 0, erase = 0;
  TReport ask{kRestoreCaption, {}, {}};
  for (const auto& c : plan.Sections) {
    const TRestoreAction action = ActionFor(c);
    write += action == TRestoreAction::Write;
    erase += action == TRestoreAction::Erase;
    if (action != TRestoreAction::None)
      ask.Lines.push_back(c.Address.Text() + " " + PlannedText(c));
  }
  ask.Lines.push_back(PlanSummary(plan));
  if (write + erase == 0) {
    m.UI.Status("Nothing to restore!");
    ask.Lines.push_back("The telephone holds what the backup holds: nothing to write or erase.");
    m.UI.ShowReport(ask);
    return;
  }
  std::string what;
  if (write) what = "write " + Plural(write, "section", "sections");
  if (erase)
    what += (what.empty() ? "erase " : " and erase ") + Plural(erase, "section", "sections");
  what[0] = static_cast<char>(what[0] - 'a' + 'A');
  ask.Question = what + " of the telephone? What they hold now is lost.";
  if (!m.UI.ShowReport(ask)) {
    m.UI.Status("Restore cancelled!");
    return;
  }

  m.UI.Status("Restoring from the backup...");
  const TRestoreResult done = WithProgress(m, kRestoreCaption, [&](const TRunControl& control) {
    return RunRestore(m, backup, plan, control);
  });
  if (done.Failure && ToldByComponent(*done.Failure)) return;
  // A telephone that fell silent is not asked again.
  if (!done.Failure || done.Failure->Kind != TFailureKind::LinkLost) RescanChanged(m, done);
  TReport report{kRestoreCaption, {}, {}};
  for (const auto& o : done.Sections)
    if (o.Kind != TRestoreKind::Same) report.Lines.push_back(OutcomeText(o));
  if (done.Failure) {
    // The summary of a run that ended early would count only the sections it reached.
    const std::size_t acted = done.Written + done.Erased + done.Failed;
    const std::string after =
        "after " + Plural(acted, "section", "sections") + " of " + std::to_string(write + erase);
    std::size_t left = write + erase - acted;
    std::string notDone;
    if (done.Failure->Kind == TFailureKind::LinkLost &&
        done.Sections.size() < plan.Sections.size()) {
      // The write or erase in flight may have reached the telephone before its answer was
      // lost: that section is neither restored nor left as it was, as far as we know.
      notDone =
          plan.Sections[done.Sections.size()].Address.Text() + " may have been changed in part";
      --left;
      notDone += left ? ", " : ".";
    }
    if (left)
      notDone += Plural(left, notDone.empty() ? "section was" : "other section was",
                        notDone.empty() ? "sections were" : "other sections were") +
                 " not restored.";
    if (done.Failure->Kind == TFailureKind::Stopped) {
      m.UI.Status("Restore cancelled!");
      report.Lines.push_back("The restore was cancelled " + after + "; " + notDone);
    } else {
      m.UI.Status("Restore error!");
      report.Lines.push_back("The restore stopped " + after + ": " + done.Failure->Text + "; " +
                             notDone);
    }
  } else {
    report.Lines.push_back(RestoreSummary(done));
    m.UI.Status(done.Failed || done.Skipped ? "Restore error!" : "Restored!");
  }
  m.UI.ShowReport(report);
}

}  // namespace zub
