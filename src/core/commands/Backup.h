// Backups of the telephone's sections into a folder: every catalogue section (or every section
// 0-0 to 255-255 that holds data) read whole into DIR/S-SS.bin, with DIR/manifest.ini
// (Manifest.h) written last. The backup is written beside DIR and takes DIR's place only when
// complete (BackupFolder.h): a backup that fails or is stopped leaves DIR as it was.
//
// The backup believes no "no such section" at once: the library answers -5 for a link that
// failed too, so every section that answered -5 (or 0) is asked again at the end of the pass,
// after a probe of a section that answered a size, and is recorded absent (or empty) only when
// it answers the same again while the probe succeeds.
//
// Runs report to an IRunObserver and look at a stop flag between two device calls; each opens
// and closes its own connection. The verify and the restore are in Restore.h. A front end
// drives a backup like this:
//
//   std::atomic<bool> stop{false};          // raised by Ctrl-C, or by a Cancel button
//   TMyObserver observer;                   // shows the progress, one line per section
//   const TBackupResult r = RunBackup(core, {dir, TBackupScope::Catalogue, "zub 3.0"},
//                                     {&observer, &stop});
//   if (r.Failure) ...                      // r.Failure->Text; DIR is as it was
//   else if (r.Unreadable) ...              // put in place, some sections unreadable
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "commands/CoreState.h"
#include "commands/Manifest.h"
#include "commands/SectionEngine.h"

namespace zub {

struct TComparison;
struct TRestoreOutcome;

enum class TRunPhase {
  Sizing,     // backup: the size of every section in scope
  Reading,    // backup: the sections that hold data, read and stored
  Checking,   // backup: the sections that answered "none" or 0, asked again after a probe
  Comparing,  // verify and restore: the telephone against the backup
  Writing,    // restore: the sections written back (and read back) or erased
};

// "sizing", "reading", "checking", "comparing", "writing".
const char* PhaseName(TRunPhase phase);

// How far a run has got in its current phase. Bytes are the bytes the phase moves over the
// link (a restore's writing phase counts each section twice: written, then read back); a
// section passed over without a transfer counts as done.
struct TRunProgress {
  TRunPhase Phase = TRunPhase::Sizing;
  std::size_t SectionsDone = 0;
  std::size_t Sections = 0;
  std::uint64_t BytesDone = 0;
  std::uint64_t Bytes = 0;
};

// What a run tells while it works, on the thread that runs it, between two device calls.
// Every function has an empty default: a front end takes what it shows.
class IRunObserver {
 public:
  virtual ~IRunObserver() = default;
  // A phase begins: its sections and bytes ahead, none done yet.
  virtual void OnPhase(const TRunProgress&) {}
  // A section of the phase is done (also those that are reported on their own below).
  virtual void OnProgress(const TRunProgress&) {}
  // Backup: a section is stored (or recorded empty, absent or unreadable).
  virtual void OnBackedUp(const TManifestEntry&, const TRunProgress&) {}
  // Verify and restore: a section is compared with the backup.
  virtual void OnCompared(const TComparison&, const TRunProgress&) {}
  // Restore: a section is written back or erased, or failed to be.
  virtual void OnRestored(const TRestoreOutcome&, const TRunProgress&) {}
};

// The front end's hold on a run: whom to tell, and the flag that stops it between two calls.
struct TRunControl {
  IRunObserver* Observer = nullptr;
  const std::atomic<bool>* Stop = nullptr;
};

enum class TBackupScope {
  Catalogue,  // the catalogue's rows, each section once (its low 8 bits, as the telephone sees it)
  All,        // every section 0-0 to 255-255 that holds data, or whose size cannot be read
};

struct TBackupRequest {
  std::filesystem::path Dir;
  TBackupScope Scope = TBackupScope::Catalogue;
  std::string Tool = "zub";  // recorded in the manifest ("zub 3.0.0")
};

struct TBackupResult {
  std::filesystem::path Dir;  // the folder as it was resolved (absolute, a link followed)
  // Why the new backup was not put in place; DIR then holds what it held before. Stopped:
  // the stop flag; Unreachable: the connection; LinkLost: the telephone fell silent; Invalid:
  // nothing to back up or a folder that holds something else; Files: the disk.
  std::optional<TStepError> Failure;
  // The sections as recorded, in order (as far as the run got when it failed).
  TManifest Manifest;
  std::size_t Present = 0, Empty = 0, Absent = 0, Unreadable = 0;
  std::uint64_t Bytes = 0;  // in the sections stored
};

// Backs up the sections in scope into request.Dir. A folder that holds something other than
// a backup of ours is refused before any device call, and so is a catalogue without sections.
// Sections that cannot be read are recorded as unreadable and the backup goes on; such a
// backup is put in place only where there was no earlier one, which it never replaces.
TBackupResult RunBackup(TCoreState& m, const TBackupRequest& request,
                        const TRunControl& control = {});

}  // namespace zub
