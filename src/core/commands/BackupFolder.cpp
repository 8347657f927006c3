#include "commands/BackupFolder.h"

#include <random>
#include <set>
#include <system_error>
#include <vector>

#include "base/Convert.h"
#include "base/FolderIO.h"
#include "base/ProfileFile.h"
#include "commands/Manifest.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

std::string TempPrefix(const fs::path& dir) {
  return "." + dir.filename().string() + ".zub-tmp-";
}
std::string OldPrefix(const fs::path& dir) {
  return "." + dir.filename().string() + ".zub-old-";
}

// The names in DIR's parent that begin with `prefix`.
std::vector<fs::path> Siblings(const fs::path& dir, const std::string& prefix) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (fs::directory_iterator it(dir.parent_path(), ec), end; !ec && it != end; it.increment(ec))
    if (it->path().filename().string().starts_with(prefix)) out.push_back(it->path());
  return out;
}

bool IsFolder(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() == fs::file_type::directory;
}

void RemoveTree(const fs::path& path) {
  // remove_all takes links away as links: nothing outside the tree is touched.
  std::error_code ec;
  fs::remove_all(path, ec);
}

// A name beside DIR that nothing has yet.
fs::path FreeSibling(const fs::path& dir, const std::string& prefix) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device rd;
  std::mt19937 rng(rd());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
  for (;;) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name += kChars[pick(rng)];
    const fs::path candidate = dir.parent_path() / name;
    std::error_code ec;
    if (fs::symlink_status(candidate, ec).type() == fs::file_type::not_found) return candidate;
  }
}

bool HoldsOurManifest(const fs::path& dir) {
  const fs::path manifest = dir / kManifestName;
  std::error_code ec;
  if (fs::symlink_status(manifest, ec).type() != fs::file_type::regular) return false;
  TProfileFile ini(manifest);
  return ini.ReadString("Backup", "Tool", "").starts_with("zub");
}

}  // namespace

fs::path BackupFolderPath(const fs::path& dir) {
  std::error_code ec;
  fs::path out = fs::weakly_canonical(fs::absolute(dir, ec), ec);
  if (ec) out = fs::absolute(dir, ec).lexically_normal();
  if (out.filename().empty()) out = out.parent_path();
  return out;
}

void RecoverBackupFolder(const fs::path& dir) {
  for (const auto& temp : Siblings(dir, TempPrefix(dir)))
    if (IsFolder(temp)) RemoveTree(temp);
  for (const auto& old : Siblings(dir, OldPrefix(dir))) {
    if (!IsFolder(old)) continue;
    std::error_code ec;
    if (fs::symlink_status(dir, ec).type() == fs::file_type::not_found && HoldsOurManifest(old)) {
      // Cut short between the two renames: the old backup goes back where it was.
      fs::rename(old, dir, ec);
      if (!ec) continue;
    }
    if (HoldsOurManifest(dir)) RemoveTree(old);
  }
}

TTargetCheck CheckBackupTarget(const fs::path& dir) {
  TTargetCheck check;
  std::error_code ec;
  const auto type = fs::symlink_status(dir, ec).type();
  if (type == fs::file_type::not_found) return check;
  const std::string name = dir.string();
  if (type != fs::file_type::directory) {
    check.Refusal = name + " is not a folder";
    return check;
  }
  check.Exists = true;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(it->path());
  if (ec) {
    check.Refusal = "the folder " + name + " cannot be read: " + ec.message();
    return check;
  }
  if (entries.empty()) return check;

  const auto refuse = [&](const std::string& what) {
    check.Refusal = name + " " + what +
                    ": a backup goes only into a new or empty folder, or over an earlier backup";
    return check;
  };
  if (!HoldsOurManifest(dir))
    return refuse("holds files but no " + std::string(kManifestName) + " of a backup");
  std::string error;
  const auto manifest = LoadManifest(dir, error);
  if (!manifest) return refuse("holds a damaged backup (" + error + ")");
  std::set<std::string> ours = {kManifestName};
  for (const auto& e : manifest->Entries)
    if (e.State == TBackupState::Present) ours.insert(SectionFileName(e.Address));
  for (const auto& entry : entries) {
    const std::string file = entry.filename().string();
    const auto kind = fs::symlink_status(entry, ec).type();
    if (kind == fs::file_type::symlink) return refuse("holds " + file + ", a link");
    if (kind != fs::file_type::regular || !ours.contains(file))
      return refuse("holds " + file + ", which the backup did not write");
  }
  check.HoldsBackup = true;
  return check;
}

TNewBackupFolder::TNewBackupFolder(const fs::path& dir) : dir_(dir) {
  std::error_code ec;
  fs::create_directories(dir_.parent_path(), ec);
  if (ec)
    throw EFileError("Cannot create folder \"" + dir_.parent_path().string() + "\". " +
                     ec.message());
  temp_ = CreateTempFolder(dir_.parent_path(), TempPrefix(dir_));
  writer_ = std::thread([this] { Write(); });
}

TNewBackupFolder::~TNewBackupFolder() {
  Stop();
  if (!placed_) RemoveTree(temp_);
}

void TNewBackupFolder::Stop() {
  {
    const std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable()) writer_.join();
}

void TNewBackupFolder::Write() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || !queue_.empty(); });
    // Closing without PutInPlace abandons the backup: what is left is not written.
    if (closing_) return;
    if (failure_) {
      queue_.clear();
      queuedBytes_ = 0;
      changed_.notify_all();
      continue;
    }
    auto [name, data] = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    lock.unlock();
    std::optional<std::string> failed;
    try {
      CreateNewFile(temp_ / name, data);
    } catch (const EFileError& e) {
      failed = e.what();
    }
    lock.lock();
    writing_ = false;
    queuedBytes_ -= data.size();
    if (failed && !failure_) failure_ = std::move(failed);
    changed_.notify_all();
  }
}

void TNewBackupFolder::Add(const std::string& name, std::vector<std::uint8_t> data) {
  // Files wait in memory while the disk is slower than the link, up to a bound.
  constexpr std::size_t kMaxQueued = std::size_t{64} << 20;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return failure_ || queuedBytes_ < kMaxQueued; });
  if (failure_) throw EFileError(*failure_);
  queuedBytes_ += data.size();
  queue_.emplace_back(name, std::move(data));
  changed_.notify_all();
}

void TNewBackupFolder::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return failure_ || (queue_.empty() && !writing_); });
  if (failure_) throw EFileError(*failure_);
}

void TNewBackupFolder::PutInPlace() {
  Drain();
  SyncFolderEntries(temp_);
  const fs::path parent = dir_.parent_path();
  std::error_code ec;
  if (fs::symlink_status(dir_, ec).type() == fs::file_type::not_found) {
    fs::rename(temp_, dir_, ec);
    if (ec)
      throw EFileError("Cannot put the backup in place at \"" + dir_.string() + "\". " +
                       ec.message());
    placed_ = true;
    SyncFolderEntries(parent);
    return;
  }
  if (ExchangeFolders(temp_, dir_)) {
    // The temporary name now holds the previous backup.
    placed_ = true;
    SyncFolderEntries(parent);
    RemoveTree(temp_);
    return;
  }
  const fs::path old = FreeSibling(dir_, OldPrefix(dir_));
  fs::rename(dir_, old, ec);
  if (ec)
    throw EFileError("Cannot put the backup in place at \"" + dir_.string() + "\". " +
                     ec.message());
  fs::rename(temp_, dir_, ec);
  if (ec) {
    std::error_code ignored;
    fs::rename(old, dir_, ignored);
    throw EFileError("Cannot put the backup in place at \"" + dir_.string() + "\". " +
                     ec.message());
  }
  placed_ = true;
  SyncFolderEntries(parent);
  RemoveTree(old);
}

}  // namespace zub
