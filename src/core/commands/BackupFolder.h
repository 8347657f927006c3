// Where a backup lives on disk, and how a new one takes the place of the last without ever
// destroying it. A backup is written into a new folder beside the target, DIR's parent holding
// ".DIR.zub-tmp-XXXXXX", with the manifest last; only when it is complete does it take DIR's
// place: on Linux the two folders are swapped in one step and the old one is then removed;
// elsewhere the old one is renamed aside (".DIR.zub-old-XXXXXX"), the new one renamed in, and
// the old one removed. A run that ends half-way leaves DIR as it was; the next run finishes or
// undoes a swap that was cut short (RecoverBackupFolder).
//
// Inside the folder the tool uses only names it makes itself and never follows a link: a
// target that holds anything but a backup of ours (files the backup did not write, links,
// folders) is refused rather than replaced.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zub {

// The folder as the backup works on it: absolute, a link to a folder resolved (the backup
// replaces the folder the user named, not the link), no trailing separator.
std::filesystem::path BackupFolderPath(const std::filesystem::path& dir);

// Finishes or undoes a swap that a run left half-way, and removes the temporary folders of
// runs that never completed: a leftover old backup beside DIR is removed when DIR holds a
// backup again, and put back in DIR's place when DIR is missing.
void RecoverBackupFolder(const std::filesystem::path& dir);

struct TTargetCheck {
  bool Exists = false;                 // DIR exists (as a folder)
  bool HoldsBackup = false;            // ... and holds a backup of ours
  std::optional<std::string> Refusal;  // why DIR must not be replaced; a sentence
};

// What DIR holds: nothing (missing or an empty folder), a backup of ours (a manifest of ours
// and only the section files it lists), or anything else, which is refused.
TTargetCheck CheckBackupTarget(const std::filesystem::path& dir);

// The new backup while it is written. Its files are written and flushed to the disk by a
// thread of their own, in the order given, while the next section crosses the link: flushing
// a file costs milliseconds that the backup would otherwise add to the link's time.
class TNewBackupFolder {
 public:
  // Creates the temporary folder beside `dir` (and DIR's parents when missing).
  explicit TNewBackupFolder(const std::filesystem::path& dir);
  // Removes the temporary folder and all in it, unless it was put in place.
  ~TNewBackupFolder();
  TNewBackupFolder(const TNewBackupFolder&) = delete;
  TNewBackupFolder& operator=(const TNewBackupFolder&) = delete;

  const std::filesystem::path& Path() const { return temp_; }
  // A new file of the backup, written and flushed after the files added before it. A file
  // that could not be written raises EFileError here, at the next Add, or at PutInPlace.
  void Add(const std::string& name, std::vector<std::uint8_t> data);
  // Waits for every file, then puts the folder in DIR's place and removes the previous backup
  // (EFileError on failure, DIR then still as it was).
  void PutInPlace();

 private:
  void Write();
  // Waits until every file added is on the disk; raises the writer's failure.
  void Drain();
  void Stop();

  std::filesystem::path dir_;
  std::filesystem::path temp_;
  bool placed_ = false;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<std::string, std::vector<std::uint8_t>>> queue_;
  std::size_t queuedBytes_ = 0;
  bool writing_ = false;
  bool closing_ = false;
  std::optional<std::string> failure_;
  std::thread writer_;  // last: it starts once the members above exist
};

}  // namespace zub
