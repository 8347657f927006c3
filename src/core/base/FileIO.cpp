#include "base/FileIO.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <random>
#include <string_view>

#include "base/Convert.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zub {
namespace {

namespace fs = std::filesystem;

std::string Reason(int err) {
  std::string r = std::strerror(err);
  if (!r.empty()) r[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(r[0])));
  return r;
}

[[noreturn]] void OpenFailed(const std::string& path, const std::string& reason) {
  throw EFileError("Cannot open file \"" + path + "\". " + reason);
}
[[noreturn]] void OpenFailed(const std::string& path, int err) {
  OpenFailed(path, Reason(err));
}

[[noreturn]] void CreateFailed(const std::string& path, const std::string& reason) {
  throw EFileError("Cannot create file \"" + path + "\". " + reason);
}
[[noreturn]] void CreateFailed(const std::string& path, int err) {
  CreateFailed(path, Reason(err));
}

constexpr const char* kNotRegular = "Not a regular file";

// What a path names now, following links.
struct TFileState {
  bool Exists = false;
  bool Regular = false;
  bool Directory = false;
  bool ReadOnly = false;  // no write permission for the owner, or none for this user
  unsigned Mode = 0;      // the permission bits
};

// ---------------------------------------------------------------------------------------
// The few calls that differ between the platforms. Each returns -1 (or false) and leaves
// the reason in errno on failure.

#ifdef _WIN32

fs::path Native(const std::string& path) {
  return PathFromUtf8(path);
}

bool Inspect(const std::string& path, TFileState& state) {
  std::error_code ec;
  const fs::file_status s = fs::status(Native(path), ec);
  if (ec || !fs::exists(s)) {
    errno = ENOENT;
    return false;
  }
  state.Exists = true;
  state.Regular = fs::is_regular_file(s);
  state.Directory = fs::is_directory(s);
  state.Mode = static_cast<unsigned>(s.permissions() & fs::perms::mask);
  state.ReadOnly = (s.permissions() & fs::perms::owner_write) == fs::perms::none;
  return true;
}

std::string Resolve(const std::string& path) {
  return path;
}

int OpenForReading(const std::string& path) {
  return ::_wopen(Native(path).c_str(), _O_RDONLY | _O_BINARY);
}

bool OpenedIsRegular(int fd) {
  struct _stat64 st {};
  return ::_fstat64(fd, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
}

long long ReadSome(int fd, void* buffer, std::size_t n) {
  return ::_read(fd, buffer, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 20)));
}

int CreateExclusive(const std::string& path, bool /*keepPrivate*/) {
  return ::_wopen(Native(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                  _S_IREAD | _S_IWRITE);
}

long long WriteSome(int fd, const void* data, std::size_t n) {
  return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 20)));
}

int SetMode(int /*fd*/, unsigned /*mode*/) {
  return 0;
}  // the target was writable: so is the copy
int SyncFile(int fd) {
  return ::_commit(fd);
}
int CloseFile(int fd) {
  return ::_close(fd);
}

int RenameOver(const std::string& from, const std::string& to) {
  if (::MoveFileExW(Native(from).c_str(), Native(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  errno = EACCES;
  return -1;
}

void RemoveFile(const std::string& path) {
  ::_wunlink(Native(path).c_str());
}
void SyncFolder(const std::string& /*folder*/) {}

#else

bool Inspect(const std::string& path, TFileState& state) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  state.Exists = true;
  state.Regular = S_ISREG(st.st_mode);
  state.Directory = S_ISDIR(st.st_mode);
  state.Mode = st.st_mode & 07777;
  // The owner's bit decides even for a user whom the bits do not bind.
  state.ReadOnly = (st.st_mode & S_IWUSR) == 0 || ::access(path.c_str(), W_OK) != 0;
  return true;
}

std::string Resolve(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return path;  // a dangling link is replaced by the file
  std::string out = real;
  std::free(real);
  return out;
}

// Non-blocking, so that a pipe without a writer cannot hold the open.
int OpenForReading(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

bool OpenedIsRegular(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

long long ReadSome(int fd, void* buffer, std::size_t n) {
  return ::read(fd, buffer, n);
}

int CreateExclusive(const std::string& path, bool keepPrivate) {
  // O_EXCL with O_CREAT fails on any existing name, a link included.
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                keepPrivate ? 0600 : 0666);
}

long long WriteSome(int fd, const void* data, std::size_t n) {
  return ::write(fd, data, n);
}
int SetMode(int fd, unsigned mode) {
  return ::fchmod(fd, static_cast<mode_t>(mode));
}
int SyncFile(int fd) {
  return ::fsync(fd);
}
int CloseFile(int fd) {
  return ::close(fd);
}
int RenameOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str());
}
void RemoveFile(const std::string& path) {
  ::unlink(path.c_str());
}

// Makes the rename itself durable; a folder that cannot be synchronised changes nothing.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

#endif

// ---------------------------------------------------------------------------------------

// Closes the descriptor when it goes out of scope.
class TOpenFile {
 public:
  explicit TOpenFile(int fd) : fd_(fd) {}
  ~TOpenFile() {
    if (fd_ >= 0) CloseFile(fd_);
  }
  TOpenFile(const TOpenFile&) = delete;
  TOpenFile& operator=(const TOpenFile&) = delete;
  int Fd() const { return fd_; }
  int Close() {
    const int r = CloseFile(fd_);
    fd_ = -1;
    return r;
  }

 private:
  int fd_;
};

// Opens a regular file for reading; anything else is refused before it is opened, and again
// when something else took its place meanwhile.
int OpenRegular(const std::string& path) {
  TFileState state;
  if (!Inspect(path, state)) OpenFailed(path, errno);
  if (state.Directory) OpenFailed(path, EISDIR);
  if (!state.Regular) OpenFailed(path, kNotRegular);
  const int fd = OpenForReading(path);
  if (fd < 0) OpenFailed(path, errno);
  if (!OpenedIsRegular(fd)) {
    CloseFile(fd);
    OpenFailed(path, kNotRegular);
  }
  return fd;
}

// Up to `limit` bytes; fewer only at the end of the file.
std::string ReadUpTo(const std::string& path, std::size_t limit) {
  const TOpenFile file(OpenRegular(path));
  std::string data;
  std::size_t have = 0;
  while (have < limit) {
    const std::size_t chunk = std::min<std::size_t>(limit - have, 65536);
    data.resize(have + chunk);
    const long long n = ReadSome(file.Fd(), data.data() + have, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) OpenFailed(path, errno);
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  data.resize(have);
  return data;
}

// A temporary file's name: "." + the target's name + "." + 16 random letters or digits +
// ".tmp".
constexpr std::string_view kTempLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kTempRandomLength = 16;
constexpr std::string_view kTempSuffix = ".tmp";

std::string TempPrefix(const std::string& target) {
  return "." + PathFromUtf8(target).filename().string() + ".";
}

std::string DefaultTempName(const std::string& target) {
  std::random_device rd;
  std::string name = TempPrefix(target);
  for (std::size_t i = 0; i < kTempRandomLength / 4; ++i) {
    std::uint32_t r = rd();
    for (int j = 0; j < 4; ++j, r /= 36) name.push_back(kTempLetters[r % 36]);
  }
  return name + std::string(kTempSuffix);
}

bool IsDefaultTempName(std::string_view name, const std::string& target) {
  const std::string prefix = TempPrefix(target);
  if (name.size() != prefix.size() + kTempRandomLength + kTempSuffix.size() ||
      !name.starts_with(prefix) || !name.ends_with(kTempSuffix))
    return false;
  const std::string_view random = name.substr(prefix.size(), kTempRandomLength);
  return random.find_first_not_of(kTempLetters) == std::string_view::npos;
}

// One byte past the limit tells a text file that is too long.
std::size_t TextReadLimit(std::size_t maxBytes) {
  return maxBytes == SIZE_MAX ? maxBytes : maxBytes + 1;
}

void RefuseLongText(const std::string& path, std::size_t size, std::size_t maxBytes) {
  if (size <= maxBytes) return;
  const std::string limit = maxBytes % (1u << 20) == 0 ? std::to_string(maxBytes >> 20) + " MiB"
                                                       : std::to_string(maxBytes) + " bytes";
  OpenFailed(path, "The file is too large: a text file may hold at most " + limit);
}

}  // namespace

fs::path PathFromUtf8(std::string_view text) {
  return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

std::vector<std::uint8_t> ReadFileHead(const std::string& path, std::size_t maxBytes) {
  const std::string data = ReadUpTo(path, maxBytes);
  return std::vector<std::uint8_t>(data.begin(), data.end());
}

std::string ReadTextFile(const std::string& path, std::size_t maxBytes) {
  std::string text = ReadUpTo(path, TextReadLimit(maxBytes));
  RefuseLongText(path, text.size(), maxBytes);
  return text;
}

std::string ReadTextFile(const TFileReader& read, const std::string& path, std::size_t maxBytes) {
  const std::vector<std::uint8_t> bytes = read(path, TextReadLimit(maxBytes));
  RefuseLongText(path, bytes.size(), maxBytes);
  return std::string(bytes.begin(), bytes.end());
}

void WriteFileAtomic(const std::string& path, Bytes data) {
  WriteFileAtomic(path, data, [&path] { return DefaultTempName(path); });
}

void WriteFileAtomic(const std::string& path, Bytes data,
                     const std::function<std::string()>& tempName) {
  const std::string target = Resolve(path);
  TFileState state;
  if (Inspect(target, state)) {
    if (state.Directory) CreateFailed(path, EISDIR);
    if (!state.Regular) CreateFailed(path, kNotRegular);
    if (state.ReadOnly) CreateFailed(path, EACCES);
  } else if (errno != ENOENT) {
    CreateFailed(path, errno);
  }

  std::string folder = PathFromUtf8(target).parent_path().string();
  if (folder.empty()) folder = ".";
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 64 && fd < 0; ++attempt) {
    temp = (PathFromUtf8(folder) / PathFromUtf8(tempName())).string();
    // An existing file keeps its bits (set below); a new one gets the user's defaults.
    fd = CreateExclusive(temp, state.Exists);
    if (fd < 0 && errno != EEXIST) CreateFailed(path, errno);
  }
  if (fd < 0) CreateFailed(path, EEXIST);

  // From here on every failure removes the temporary file; the target is not touched.
  TOpenFile file(fd);
  const auto fail = [&](int err) {
    if (file.Fd() >= 0) file.Close();
    RemoveFile(temp);
    CreateFailed(path, err);
  };
  std::size_t done = 0;
  while (done < data.size()) {
    const long long n = WriteSome(file.Fd(), data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail(n < 0 ? errno : EIO);
    done += static_cast<std::size_t>(n);
  }
  if (state.Exists && SetMode(file.Fd(), state.Mode) != 0) fail(errno);
  if (SyncFile(file.Fd()) != 0) fail(errno);
  if (file.Close() != 0) fail(errno);
  if (RenameOver(temp, target) != 0) fail(errno);
  SyncFolder(folder);
}

std::size_t RemoveLeftoverTempFiles(const std::string& path, std::chrono::seconds minAge) {
  // WriteFileAtomic puts them in the folder of the file a link leads to.
  fs::path folder = PathFromUtf8(Resolve(path)).parent_path();
  if (folder.empty()) folder = ".";
  const auto before = fs::file_time_type::clock::now() - minAge;
  std::size_t removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name;
    try {
      name = it->path().filename().string();
    } catch (const std::exception&) {
      continue;  // a name the narrow strings cannot hold: not one this program made
    }
    if (!IsDefaultTempName(name, path)) continue;
    std::error_code e;
    // Not followed: a link of that name is not ours.
    if (!fs::is_regular_file(it->symlink_status(e)) || e) continue;
    const auto written = fs::last_write_time(it->path(), e);
    if (e || written > before) continue;
    if (fs::remove(it->path(), e)) ++removed;
  }
  return removed;
}

}  // namespace zub
