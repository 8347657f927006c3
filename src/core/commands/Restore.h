// A backup folder read back (Backup.h writes one): opened and checked without touching the
// telephone, compared with the telephone section by section (the verify, and the restore's
// plan), and restored: what differs is written back and read back, what the backup lists as
// empty or absent is erased and checked; a section the manifest does not list is never
// touched, and an unchanged backup costs only the reads of the comparison.
//
// A front end (zub verify / restore, a window dialog) drives it like this:
//
//   const TOpenedBackup opened = OpenBackup(dir);     // manifest and files checked
//   if (opened.Failure) ...                           // damaged: nothing was touched
//   const TCompareResult plan = CompareWithBackup(core, *opened.Backup, {}, control);
//   for (const TComparison& c : plan.Sections) ... ActionFor(c), PlannedText(c)
//   const TRestoreResult done = RunRestore(core, *opened.Backup, plan, control);
//
// Runs report to the control's observer (Backup.h) and stop between two device calls when its
// flag is raised; each opens and closes its own connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "commands/Backup.h"

namespace zub {

// A backup whose manifest and files were found sound: every present entry's file is a
// regular file (never a link) of the recorded size and SHA-256, none beyond what a section may
// hold.
struct TBackupSet {
  std::filesystem::path Dir;
  TManifest Manifest;
  std::uint64_t Bytes = 0;  // in the section files
};

struct TOpenedBackup {
  std::optional<TBackupSet> Backup;
  std::optional<TStepError> Failure;  // Invalid: "the backup in DIR is damaged: ..." and the like
};

// Opens DIR as a backup (finishing or undoing a swap an earlier backup left half-way). The
// files are hashed as a stream; no device call.
TOpenedBackup OpenBackup(const std::filesystem::path& dir);

// The bytes of a present entry's file, checked against its size and SHA-256 again (the folder
// may have changed since it was opened); a Failure (Invalid) otherwise.
struct TBackupFile {
  std::vector<std::uint8_t> Bytes;
  std::optional<TStepError> Failure;
};
TBackupFile ReadBackupFile(const TBackupSet& backup, const TManifestEntry& entry);

enum class TCompareKind {
  Same,         // the telephone holds what the backup holds (or, like it, nothing)
  Differs,      // other bytes, another size, or data where the backup has none
  NowEmpty,     // the backup has data, the telephone's section is empty or absent
  Unreadable,   // the telephone's section could not be sized or read
  NotInBackup,  // the backup could not read this section when it was made
};

struct TComparison {
  std::size_t Entry = 0;  // the index in the manifest
  TSectionAddress Address;
  TCompareKind Kind = TCompareKind::Same;
  bool BackupHasData = false;
  std::uint64_t BackupSize = 0;
  std::optional<std::int32_t> TelephoneSize;  // when the telephone's section held data
  std::optional<std::size_t> DiffersAt;       // same size, other bytes: the first offset
  std::string Error;                          // Unreadable: why
};

// "same", "differs at offset 17", "differs: the telephone holds 6020 bytes, the backup none",
// "now empty", "unreadable: ...", "not in the backup (it could not be read then)".
std::string CompareText(const TComparison& c);
// Why a restore acts on it: "differs at offset 17", "the telephone's section is empty",
// "the telephone holds 6020 bytes", "unreadable: ..."; empty for Same.
std::string ReasonText(const TComparison& c);

struct TCompareResult {
  // The run ended before the last section (Unreachable, Stopped, LinkLost, or Invalid when a
  // backup file changed since it was opened).
  std::optional<TStepError> Failure;
  std::vector<TComparison> Sections;  // in the order compared, as far as the run got
  std::size_t Same = 0, Differ = 0, NowEmpty = 0, Unreadable = 0, NotInBackup = 0;
};

// Compares the manifest's entries `entries` (indices; empty: all of them, in order) with the
// telephone: the size first, the bytes only when the sizes agree.
TCompareResult CompareWithBackup(TCoreState& m, const TBackupSet& backup,
                                 const std::vector<std::size_t>& entries = {},
                                 const TRunControl& control = {});

// What a restore does about a compared section.
enum class TRestoreAction {
  None,   // the same
  Write,  // the backup's bytes go back (it differs, is now empty, or could not be read)
  Erase,  // the backup has no data there and the telephone has (or could not be read)
  Skip,   // the backup has nothing to restore for it
};
TRestoreAction ActionFor(const TComparison& c);
// The dry run's line: "would write 6020 bytes (differs at offset 17)", "would erase (...)",
// "same", "skipped: ...".
std::string PlannedText(const TComparison& c);

enum class TRestoreKind { Same, Written, Erased, Failed, Skipped };

struct TRestoreOutcome {
  TComparison Before;
  TRestoreKind Kind = TRestoreKind::Same;
  std::optional<TStepError> Error;  // Failed: why (the write, the read-back, the erase)
};
// "written 6020 bytes, verified (differs at offset 17)", "erased, reads as empty (...)",
// "failed", "same", "skipped: not in the backup (it could not be read then)".
std::string RestoreText(const TRestoreOutcome& o);

struct TRestoreResult {
  // The run ended before the last section (Unreachable, Stopped, LinkLost, Invalid).
  std::optional<TStepError> Failure;
  std::vector<TRestoreOutcome> Sections;  // every compared section, as far as the run got
  std::size_t Same = 0, Written = 0, Erased = 0, Failed = 0, Skipped = 0;
};

// Carries out the plan: each section of `plan` (CompareWithBackup on the same backup) whose
// action is Write or Erase, each checked afterwards. OnRestored is told of those only; the
// result lists every section of the plan.
TRestoreResult RunRestore(TCoreState& m, const TBackupSet& backup, const TCompareResult& plan,
                          const TRunControl& control = {});

}  // namespace zub
