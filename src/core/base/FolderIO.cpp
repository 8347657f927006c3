#include "base/FolderIO.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>
#include <vector>

#include "base/Convert.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zub {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPiece = 64 * 1024;

std::string Reason(int err) {
  std::string r = std::strerror(err);
  if (!r.empty()) r[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(r[0])));
  return r;
}

[[noreturn]] void Failed(const char* what, const fs::path& path, const std::string& reason) {
  throw EFileError(std::string(what) + " \"" + path.string() + "\". " + reason);
}

#ifdef _WIN32

int OpenNoFollow(const fs::path& path) {
  // No link is followed where the name is checked first and the file opened by name at once.
  if (IsLink(path)) return (errno = ELOOP, -1);
  return ::_wopen(path.wstring().c_str(), _O_RDONLY | _O_BINARY);
}
int CreateNoFollow(const fs::path& path) {
  return ::_wopen(path.wstring().c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                  _S_IREAD | _S_IWRITE);
}
bool RegularSize(int fd, std::uint64_t& size) {
  struct _stat64 st {};
  if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return false;
  size = static_cast<std::uint64_t>(st.st_size);
  return true;
}
long long ReadSome(int fd, void* buffer, std::size_t n) {
  return ::_read(fd, buffer, static_cast<unsigned>(n));
}
long long WriteSome(int fd, const void* data, std::size_t n) {
  return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 20)));
}
int SyncFile(int fd) {
  return ::_commit(fd);
}
int CloseFile(int fd) {
  return ::_close(fd);
}

#else

int OpenNoFollow(const fs::path& path) {
  // O_NONBLOCK: a pipe planted under the name cannot hold the open.
  return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}
int CreateNoFollow(const fs::path& path) {
  // O_EXCL with O_CREAT fails on any existing name, a link included.
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}
bool RegularSize(int fd, std::uint64_t& size) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = static_cast<std::uint64_t>(st.st_size);
  return true;
}
long long ReadSome(int fd, void* buffer, std::size_t n) {
  return ::read(fd, buffer, n);
}
long long WriteSome(int fd, const void* data, std::size_t n) {
  return ::write(fd, data, n);
}
int SyncFile(int fd) {
  return ::fsync(fd);
}
int CloseFile(int fd) {
  return ::close(fd);
}

#endif

}  // namespace

void CreateNewFile(const fs::path& path, Bytes data) {
  const int fd = CreateNoFollow(path);
  if (fd < 0) Failed("Cannot create file", path, Reason(errno));
  std::size_t done = 0;
  while (done < data.size()) {
    const long long n = WriteSome(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : ENOSPC;
      CloseFile(fd);
      Failed("Cannot write file", path, Reason(err));
    }
    done += static_cast<std::size_t>(n);
  }
  if (SyncFile(fd) != 0) {
    const int err = errno;
    CloseFile(fd);
    Failed("Cannot write file", path, Reason(err));
  }
  if (CloseFile(fd) != 0) Failed("Cannot write file", path, Reason(errno));
}

TNoFollowFile::TNoFollowFile(const fs::path& path) : path_(path) {
  if (IsLink(path)) Failed("Cannot open file", path, "It is a link");
  fd_ = OpenNoFollow(path);
  if (fd_ < 0) {
    const int err = errno;
    Failed("Cannot open file", path, err == ELOOP ? "It is a link" : Reason(err));
  }
  if (!RegularSize(fd_, size_)) {
    CloseFile(fd_);
    fd_ = -1;
    Failed("Cannot open file", path, "Not a regular file");
  }
}

TNoFollowFile::~TNoFollowFile() {
  if (fd_ >= 0) CloseFile(fd_);
}

std::uint64_t TNoFollowFile::Stream(const std::function<void(Bytes)>& take) {
  std::vector<std::uint8_t> piece(kPiece);
  std::uint64_t total = 0;
  for (;;) {
    const long long n = ReadSome(fd_, piece.data(), piece.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Failed("Cannot read file", path_, Reason(errno));
    if (n == 0) return total;
    total += static_cast<std::uint64_t>(n);
    take(Bytes(piece.data(), static_cast<std::size_t>(n)));
  }
}

bool IsLink(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() == fs::file_type::symlink;
}

fs::path CreateTempFolder(const fs::path& parent, const std::string& prefix) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device rd;
  std::mt19937 rng(rd());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name += kChars[pick(rng)];
    const fs::path folder = parent / name;
    std::error_code ec;
    // create_directory makes no folder over an existing name (a link included).
    if (fs::create_directory(folder, ec)) return folder;
    if (ec) Failed("Cannot create folder", folder, ec.message());
  }
  Failed("Cannot create folder", parent / prefix, "No free name");
}

void SyncFolderEntries(const fs::path& folder) {
#ifndef _WIN32
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
#else
  (void)folder;
#endif
}

bool ExchangeFolders(const fs::path& a, const fs::path& b) {
#if defined(__linux__) && defined(RENAME_EXCHANGE)
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return true;
  // Kernels and file systems without the exchange: the caller renames in two steps.
  if (errno == ENOSYS || errno == EINVAL || errno == ENOTSUP) return false;
  Failed("Cannot put in place", b, Reason(errno));
#else
  (void)a;
  (void)b;
  return false;
#endif
}

}  // namespace zub
