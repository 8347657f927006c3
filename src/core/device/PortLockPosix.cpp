// Port locks on POSIX systems (see PortLock.h): UUCP lock files for serial devices, flock'ed
// lock files of our own for the rest.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <system_error>

#include "device/PortLock.h"

namespace zub {

namespace fs = std::filesystem;

namespace {

// A lock file older than this that names no process is taken for one left half-written.
constexpr int kUnreadableLockSeconds = 5;
constexpr int kAttempts = 5;

// The lock files this process holds: a second component of the same program is refused as
// another program would be, and a UUCP file that names this process but is not among them is
// a stale one.
std::mutex gHeldMutex;
std::set<std::string> gHeld;

bool HeldHere(const fs::path& file) {
  std::lock_guard<std::mutex> lock(gHeldMutex);
  return gHeld.count(file.string()) != 0;
}

void NoteHeld(const fs::path& file, bool held) {
  std::lock_guard<std::mutex> lock(gHeldMutex);
  if (held)
    gHeld.insert(file.string());
  else
    gHeld.erase(file.string());
}

bool Alive(long pid) {
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The process id a lock file names: ASCII digits (leading blanks allowed), or the 4-byte
// binary number of older tools. 0 when it names none.
long ParsePid(const std::string& text) {
  if (text.size() == 4 && (text[0] < ' ' || text[3] < ' ')) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(text[i]);
    return static_cast<long>(v);
  }
  std::size_t i = text.find_first_not_of(" \t");
  long pid = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    pid = pid * 10 + (text[i] - '0');
    if (pid > 0x7FFFFFFF) return 0;
  }
  return pid;
}

std::string ReadFd(int fd) {
  std::string text(64, '\0');
  const ssize_t n = ::pread(fd, text.data(), text.size(), 0);
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}

std::string PidLine() {
  char line[16];
  std::snprintf(line, sizeof line, "%10ld\n", static_cast<long>(::getpid()));
  return line;
}

bool WriteAllAt0(int fd, const std::string& text) {
  return ::pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

// A folder of our own for lock files: made when absent, and used only when it is a real
// folder that belongs to us (a shared /tmp may hold anything under that name).
bool OwnFolder(const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
    return false;
  if (st.st_mode & (S_IWGRP | S_IWOTH)) ::chmod(dir.c_str(), 0700);
  return true;
}

// FNV-1a: a short stable name for a library's path.
std::string PathHash(const std::string& text) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

}  // namespace

TPortLockPlaces TPortLockPlaces::Default() {
  TPortLockPlaces places;
  places.uucpDir = "/var/lock";
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && fs::path(runtime).is_absolute())
    places.ownDir = fs::path(runtime) / "zubmanager3";
  else
    places.ownDir = "/tmp/zubmanager3-" + std::to_string(::geteuid());
  return places;
}

TLockResult TPortLock::LockDevice(const fs::path& device, const TPortLockPlaces& places) {
  Release();
  std::error_code ec;
  fs::path real = fs::canonical(device, ec);
  if (ec) real = device;
  const std::string name = "LCK.." + real.filename().string();
  const TLockResult shared = TakeUucp(places.uucpDir / name);
  if (shared != TLockResult::Unavailable) return shared;
  return TakeOwn(places.ownDir, name);
}

TLockResult TPortLock::LockLibraryPort(const fs::path& library, int port,
                                       const TPortLockPlaces& places) {
  Release();
  std::error_code ec;
  fs::path real = fs::weakly_canonical(fs::absolute(library, ec), ec);
  if (ec) real = library;
  return TakeOwn(places.ownDir, PathHash(real.string()) + "-COM" + std::to_string(port) + ".lock");
}

TLockResult TPortLock::TakeUucp(const fs::path& file) {
  file_ = file;
  holder_ = 0;
  const long self = static_cast<long>(::getpid());
  const fs::path temporary = file.parent_path() / ("LTMP." + std::to_string(self));
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const int existing = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (existing >= 0) {
      const long pid = ParsePid(ReadFd(existing));
      struct stat st {};
      const bool fresh =
          ::fstat(existing, &st) == 0 && ::time(nullptr) - st.st_mtime < kUnreadableLockSeconds;
      ::close(existing);
      if (pid == 0 && fresh) return TLockResult::InUse;  // being written by its maker
      if (Alive(pid) && (pid != self || HeldHere(file))) {
        holder_ = pid;
        return TLockResult::InUse;
      }
      // Left by a process that is gone: taken over. One we may not remove is not ours to take.
      if (::unlink(file.c_str()) != 0 && errno != ENOENT) return TLockResult::Unavailable;
      continue;
    }
    if (errno != ENOENT) return TLockResult::Unavailable;
    // Written whole under a name of our own, then linked into place: a lock file is never seen
    // half-written, and the link fails when another program got there first.
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return TLockResult::Unavailable;
    const bool written = WriteAllAt0(fd, PidLine());
    ::close(fd);
    const int linked = written ? ::link(temporary.c_str(), file.c_str()) : -1;
    const int linkError = errno;
    ::unlink(temporary.c_str());
    if (!written) return TLockResult::Unavailable;
    if (linked == 0) {
      held_ = true;
      uucp_ = true;
      NoteHeld(file, true);
      return TLockResult::Taken;
    }
    if (linkError == EEXIST) continue;
    // A file system without hard links: created exclusively in place.
    const int direct =
        ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (direct < 0) {
      if (errno == EEXIST) continue;
      return TLockResult::Unavailable;
    }
    const bool ok = WriteAllAt0(direct, PidLine());
    ::close(direct);
    if (!ok) {
      ::unlink(file.c_str());
      return TLockResult::Unavailable;
    }
    held_ = true;
    uucp_ = true;
    NoteHeld(file, true);
    return TLockResult::Taken;
  }
  return TLockResult::InUse;
}

TLockResult TPortLock::TakeOwn(const fs::path& dir, const std::string& name) {
  file_ = dir / name;
  holder_ = 0;
  if (!OwnFolder(dir)) return TLockResult::Unavailable;
  if (HeldHere(file_)) {
    holder_ = static_cast<long>(::getpid());
    return TLockResult::InUse;
  }
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const int fd = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return TLockResult::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      holder_ = ParsePid(ReadFd(fd));
      ::close(fd);
      return TLockResult::InUse;
    }
    // The holder before us removes the file as it lets go: a lock on a file no longer in
    // place holds nothing, so try again with the one that is.
    struct stat held {
    }, placed{};
    if (::fstat(fd, &held) != 0 || ::stat(file_.c_str(), &placed) != 0 ||
        held.st_ino != placed.st_ino || held.st_dev != placed.st_dev) {
      ::close(fd);
      continue;
    }
    if (::ftruncate(fd, 0) != 0 || !WriteAllAt0(fd, PidLine())) {
      ::close(fd);
      return TLockResult::Unavailable;
    }
    fd_ = fd;
    held_ = true;
    uucp_ = false;
    NoteHeld(file_, true);
    return TLockResult::Taken;
  }
  return TLockResult::InUse;
}

void TPortLock::Release() {
  if (!held_) return;
  if (uucp_) {
    // Only our own lock is removed: one that names another process was taken over from us.
    const int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
      const bool ours = ParsePid(ReadFd(fd)) == static_cast<long>(::getpid());
      ::close(fd);
      if (ours) ::unlink(file_.c_str());
    }
  } else {
    ::unlink(file_.c_str());
    ::close(fd_);
    fd_ = -1;
  }
  NoteHeld(file_, false);
  held_ = false;
}

}  // namespace zub
