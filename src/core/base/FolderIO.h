// Files in folders whose names the tool makes itself (a backup folder): a new file is created
// afresh, never over an existing name and never through a link; a file is read only when it is
// a regular file and not a link, its size checked before a byte is read and its bytes taken as
// a stream; and a folder is put in place of another whole. Failures raise EFileError with a
// sentence that names the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "base/Bytes.h"

namespace zub {

// Creates `path` (which must not exist, not even as a link) with the bytes and flushes it to
// the disk.
void CreateNewFile(const std::filesystem::path& path, Bytes data);

// A regular file opened for reading without following a link at its name.
class TNoFollowFile {
 public:
  // Raises EFileError when the name is a link, no regular file, or cannot be opened.
  explicit TNoFollowFile(const std::filesystem::path& path);
  ~TNoFollowFile();
  TNoFollowFile(const TNoFollowFile&) = delete;
  TNoFollowFile& operator=(const TNoFollowFile&) = delete;

  std::uint64_t Size() const { return size_; }
  // Hands the file's bytes to `take` a piece at a time (at most 64 KiB each), from the start;
  // returns how many there were.
  std::uint64_t Stream(const std::function<void(Bytes)>& take);

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Whether the name is a link (of any kind, broken ones included).
bool IsLink(const std::filesystem::path& path);

// A new empty folder in `parent` named `prefix` + six random characters (never an existing
// name), with the permissions the user's new folders get.
std::filesystem::path CreateTempFolder(const std::filesystem::path& parent,
                                       const std::string& prefix);

// Flushes a folder's list of names to the disk (nothing where the platform has no such thing).
void SyncFolderEntries(const std::filesystem::path& folder);

// Swaps two existing folders in one step where the platform can (Linux); false when it cannot
// (the caller then renames one after the other). Raises EFileError on any other failure.
bool ExchangeFolders(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace zub
