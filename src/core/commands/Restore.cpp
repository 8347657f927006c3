#include "commands/Restore.h"

#include "base/Convert.h"
#include "base/FolderIO.h"
#include "base/Sha256.h"
#include "commands/BackupFolder.h"
#include "commands/RunReport.h"
#include "device/GbpApi.h"

namespace zub {
namespace {

TStepError Damaged(const TBackupSet& backup, const std::string& file, const std::string& why) {
  return {TFailureKind::Invalid,
          "the backup in " + backup.Dir.string() + " is damaged: " + file + " " + why};
}

// Checks a present entry's file: a regular file, not a link, of the recorded size (looked at
// before a byte is read) and SHA-256 (taken as a stream). `keep` receives the bytes.
std::optional<TStepError> CheckFile(const TBackupSet& backup, const TManifestEntry& e,
                                    std::vector<std::uint8_t>* keep) {
  const std::string name = SectionFileName(e.Address);
  try {
    TNoFollowFile file(backup.Dir / name);
    if (file.Size() != e.Size)
      return Damaged(backup, name,
                     "does not hold the " + std::to_string(e.Size) + " bytes of its manifest");
    TSha256 sha;
    if (keep) keep->reserve(static_cast<std::size_t>(e.Size));
    const std::uint64_t read = file.Stream([&](Bytes piece) {
      sha.Update(piece);
      if (keep) keep->insert(keep->end(), piece.begin(), piece.end());
    });
    if (read != e.Size)
      return Damaged(backup, name,
                     "does not hold the " + std::to_string(e.Size) + " bytes of its manifest");
    if (sha.FinishHex() != e.Sha256) return Damaged(backup, name, "does not match its SHA-256");
  } catch (const EFileError& ex) {
    return Damaged(backup, name, std::string("cannot be read (") + ex.what() + ")");
  }
  return std::nullopt;
}

// One entry against the telephone: the size first, the bytes only when the sizes agree.
// nullopt when the run must end (the failure is in `failure`).
std::optional<TComparison> Compare(TSectionLink& link, const TBackupSet& backup, std::size_t i,
                                   std::optional<TStepError>& failure) {
  const TManifestEntry& e = backup.Manifest.Entries[i];
  TComparison c;
  c.Entry = i;
  c.Address = e.Address;
  c.BackupHasData = e.State == TBackupState::Present;
  c.BackupSize = e.Size;
  if (e.State == TBackupState::Unreadable) {
    c.Kind = TCompareKind::NotInBackup;
    return c;
  }
  TSizeAnswer q = link.QuerySize(e.Address);
  // The library answers -5 both for a section that does not exist and for a call that failed:
  // where the backup has no data either, one such answer would let a section that holds data
  // pass for the same. It must say so twice.
  if (!Halted(q.Error) && q.Code == gbp::kNoSectionAlt && !c.BackupHasData)
    q = link.QuerySize(e.Address);
  if (Halted(q.Error)) {
    failure = q.Error;
    return std::nullopt;
  }
  if (q.HasData()) c.TelephoneSize = q.Size;
  if (q.Error) {
    c.Kind = TCompareKind::Unreadable;
    c.Error = q.Error->Text;
  } else if (!c.BackupHasData) {
    c.Kind = q.HasData() ? TCompareKind::Differs : TCompareKind::Same;
  } else if (!q.HasData()) {
    c.Kind = TCompareKind::NowEmpty;
  } else if (static_cast<std::uint64_t>(q.Size) != e.Size) {
    c.Kind = TCompareKind::Differs;
  } else {
    const TBackupFile file = ReadBackupFile(backup, e);
    if (file.Failure) {
      failure = file.Failure;
      return std::nullopt;
    }
    const TSectionRead r = link.ReadContent(q);
    if (Halted(r.Error)) {
      failure = r.Error;
      return std::nullopt;
    }
    if (r.Error) {
      c.Kind = TCompareKind::Unreadable;
      c.Error = r.Error->Text;
    } else {
      c.DiffersAt = FirstDifference(file.Bytes, r.Bytes);
      if (c.DiffersAt) c.Kind = TCompareKind::Differs;
    }
  }
  return c;
}

std::string ByteCount(std::uint64_t n) {
  return std::to_string(n) + " bytes";
}

}  // namespace

TOpenedBackup OpenBackup(const std::filesystem::path& dir) {
  TOpenedBackup out;
  TBackupSet set;
  set.Dir = BackupFolderPath(dir);
  RecoverBackupFolder(set.Dir);
  std::string error;
  auto manifest = LoadManifest(set.Dir, error);
  if (!manifest) {
    out.Failure = TStepError{TFailureKind::Invalid, error};
    return out;
  }
  set.Manifest = std::move(*manifest);
  for (const auto& e : set.Manifest.Entries) {
    if (e.State != TBackupState::Present) continue;
    if (auto failed = CheckFile(set, e, nullptr)) {
      out.Failure = std::move(failed);
      return out;
    }
    set.Bytes += e.Size;
  }
  out.Backup = std::move(set);
  return out;
}

TBackupFile ReadBackupFile(const TBackupSet& backup, const TManifestEntry& entry) {
  TBackupFile out;
  out.Failure = CheckFile(backup, entry, &out.Bytes);
  if (out.Failure) out.Bytes.clear();
  return out;
}

std::string CompareText(const TComparison& c) {
  switch (c.Kind) {
    case TCompareKind::Same:
      return "same";
    case TCompareKind::Differs:
      if (c.DiffersAt) return "differs at offset " + std::to_string(*c.DiffersAt);
      return "differs: the telephone holds " + ByteCount(c.TelephoneSize.value_or(0)) +
             ", the backup " + (c.BackupHasData ? std::to_string(c.BackupSize) : "none");
    case TCompareKind::NowEmpty:
      return "now empty";
    case TCompareKind::Unreadable:
      return "unreadable: " + c.Error;
    case TCompareKind::NotInBackup:
      return "not in the backup (it could not be read then)";
  }
  return "";
}

std::string ReasonText(const TComparison& c) {
  switch (c.Kind) {
    case TCompareKind::Same:
    case TCompareKind::NotInBackup:
      return "";
    case TCompareKind::Differs:
      if (c.DiffersAt) return "differs at offset " + std::to_string(*c.DiffersAt);
      return "the telephone holds " + ByteCount(c.TelephoneSize.value_or(0));
    case TCompareKind::NowEmpty:
      return "the telephone's section is empty";
    case TCompareKind::Unreadable:
      return "unreadable: " + c.Error;
  }
  return "";
}

TCompareResult CompareWithBackup(TCoreState& m, const TBackupSet& backup,
                                 const std::vector<std::size_t>& entries,
                                 const TRunControl& control) {
  TCompareResult out;
  std::vector<std::size_t> chosen = entries;
  if (chosen.empty())
    for (std::size_t i = 0; i < backup.Manifest.Entries.size(); ++i) chosen.push_back(i);
  std::uint64_t bytes = 0;
  for (const std::size_t i : chosen)
    if (backup.Manifest.Entries.at(i).State == TBackupState::Present)
      bytes += backup.Manifest.Entries[i].Size;

  TReporter report(control);
  TSectionLink link(m, control.Stop);
  if (!link) {
    out.Failure = link.OpenError();
    return out;
  }
  report.Phase(TRunPhase::Comparing, chosen.size(), bytes);
  for (const std::size_t i : chosen) {
    const auto c = Compare(link, backup, i, out.Failure);
    if (!c) break;
    switch (c->Kind) {
      case TCompareKind::Same:
        ++out.Same;
        break;
      case TCompareKind::Differs:
        ++out.Differ;
        break;
      case TCompareKind::NowEmpty:
        ++out.NowEmpty;
        break;
      case TCompareKind::Unreadable:
        ++out.Unreadable;
        break;
      case TCompareKind::NotInBackup:
        ++out.NotInBackup;
        break;
    }
    out.Sections.push_back(*c);
    report.Done(c->BackupHasData ? c->BackupSize : 0);
    report.Compared(*c);
  }
  return out;
}

TRestoreAction ActionFor(const TComparison& c) {
  switch (c.Kind) {
    case TCompareKind::Same:
      return TRestoreAction::None;
    case TCompareKind::NotInBackup:
      return TRestoreAction::Skip;
    case TCompareKind::Differs:
    case TCompareKind::NowEmpty:
    case TCompareKind::Unreadable:
      break;
  }
  return c.BackupHasData ? TRestoreAction::Write : TRestoreAction::Erase;
}

std::string PlannedText(const TComparison& c) {
  switch (ActionFor(c)) {
    case TRestoreAction::None:
      return "same";
    case TRestoreAction::Skip:
      return "skipped: " + CompareText(c);
    case TRestoreAction::Write:
      return "would write " + ByteCount(c.BackupSize) + " (" + ReasonText(c) + ")";
    case TRestoreAction::Erase:
      return "would erase (" + ReasonText(c) + ")";
  }
  return "";
}

std::string RestoreText(const TRestoreOutcome& o) {
  switch (o.Kind) {
    case TRestoreKind::Same:
      return "same";
    case TRestoreKind::Skipped:
      return "skipped: " + CompareText(o.Before);
    case TRestoreKind::Written:
      return "written " + ByteCount(o.Before.BackupSize) + ", verified (" + ReasonText(o.Before) +
             ")";
    case TRestoreKind::Erased:
      return "erased, reads as empty (" + ReasonText(o.Before) + ")";
    case TRestoreKind::Failed:
      return "failed";
  }
  return "";
}

TRestoreResult RunRestore(TCoreState& m, const TBackupSet& backup, const TCompareResult& plan,
                          const TRunControl& control) {
  TRestoreResult out;
  std::size_t acts = 0;
  std::uint64_t bytes = 0;
  for (const auto& c : plan.Sections) {
    const TRestoreAction action = ActionFor(c);
    if (action == TRestoreAction::Write) bytes += 2 * c.BackupSize;  // written, then read back
    acts += action == TRestoreAction::Write || action == TRestoreAction::Erase;
  }
  TReporter report(control);
  std::optional<TSectionLink> link;
  if (acts) {
    link.emplace(m, control.Stop);
    if (!*link) {
      out.Failure = link->OpenError();
      return out;
    }
  }
  report.Phase(TRunPhase::Writing, acts, bytes);
  for (const auto& c : plan.Sections) {
    TRestoreOutcome o;
    o.Before = c;
    const TRestoreAction action = ActionFor(c);
    if (action == TRestoreAction::None || action == TRestoreAction::Skip) {
      o.Kind = action == TRestoreAction::None ? TRestoreKind::Same : TRestoreKind::Skipped;
      ++(action == TRestoreAction::None ? out.Same : out.Skipped);
      out.Sections.push_back(std::move(o));
      continue;
    }
    if (action == TRestoreAction::Write) {
      const TBackupFile file = ReadBackupFile(backup, backup.Manifest.Entries.at(c.Entry));
      if (file.Failure) {
        out.Failure = file.Failure;
        break;
      }
      const TWriteCheck check = link->WriteAndCheck(c.Address, file.Bytes);
      if (Halted(check.Error)) {
        out.Failure = check.Error;
        break;
      }
      o.Kind = check.Ok() ? TRestoreKind::Written : TRestoreKind::Failed;
      if (!check.Ok())
        o.Error = check.Error ? *check.Error
                              : TStepError{TFailureKind::Differs, check.Text(file.Bytes.size())};
    } else {
      o.Error = link->EraseAndCheck(c.Address);
      if (Halted(o.Error)) {
        out.Failure = o.Error;
        break;
      }
      o.Kind = o.Error ? TRestoreKind::Failed : TRestoreKind::Erased;
    }
    ++(o.Kind == TRestoreKind::Written  ? out.Written
       : o.Kind == TRestoreKind::Erased ? out.Erased
                                        : out.Failed);
    report.Done(action == TRestoreAction::Write ? 2 * c.BackupSize : 0);
    report.Restored(o);
    out.Sections.push_back(std::move(o));
  }
  return out;
}

}  // namespace zub
