// The tool's end of gbp-host.exe (see HostChannel.h): the child process and its pipes for
// POSIX systems (posix_spawn) and Windows (CreateProcess), and the calls on top.
#include "device/HostChannel.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <span>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;
#endif

namespace zub {

using hostproto::TEntry;
using hostproto::TReadStatus;
using hostproto::TReply;
using hostproto::TRequest;
using hostproto::TStatus;

namespace {

using Clock = std::chrono::steady_clock;

// The child's environment: ours, with `overrides` set or replaced.
std::vector<std::string> ChildEnvironment(
    const std::vector<std::string>& inherited,
    const std::vector<std::pair<std::string, std::string>>& overrides) {
  std::vector<std::string> out;
  for (const std::string& entry : inherited) {
    const auto eq = entry.find('=');
    const std::string name = entry.substr(0, eq);
    const bool replaced = std::any_of(overrides.begin(), overrides.end(),
                                      [&](const auto& kv) { return kv.first == name; });
    if (!replaced) out.push_back(entry);
  }
  for (const auto& [name, value] : overrides) out.push_back(name + "=" + value);
  return out;
}

}  // namespace

#if !defined(_WIN32)

// A child with a pipe on its standard input and one on its standard output. Our ends are
// non-blocking and close-on-exec; every wait on them also watches for the child's death, so
// a pipe kept open by some other process (Wine's helpers) never hangs a call of a dead host.
class THostChannel::TChild : public hostproto::IByteSource {
 public:
  ~TChild() { Kill(); }

  bool Spawn(const THostCommand& command, std::string& error) {
    if (command.argv.empty()) {
      error = "no host program given";
      return false;
    }
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
      error = std::string("cannot make a pipe: ") + std::strerror(errno);
      CloseAll({toChild[0], toChild[1], fromChild[0], fromChild[1]});
      return false;
    }
    std::vector<std::string> inherited;
    for (char** e = environ; e && *e; ++e) inherited.emplace_back(*e);
    const std::vector<std::string> env = ChildEnvironment(inherited, command.env);
    std::vector<char*> envp;
    for (const std::string& s : env) envp.push_back(const_cast<char*>(s.c_str()));
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (const std::string& s : command.argv) argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    // The child starts with default signal handling, whatever the tool ignores or blocks.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    CloseAll({toChild[0], fromChild[1]});
    if (rc != 0) {
      error = "cannot start " + command.argv[0] + ": " + std::strerror(rc);
      CloseAll({toChild[1], fromChild[0]});
      return false;
    }
    pid_ = pid;
    in_ = toChild[1];
    out_ = fromChild[0];
    fcntl(in_, F_SETFL, fcntl(in_, F_GETFL) | O_NONBLOCK);
    fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
    return true;
  }

  long Id() const { return pid_; }
  void SetDeadline(std::optional<Clock::time_point> deadline) { deadline_ = deadline; }

  bool WriteAll(const std::uint8_t* data, std::size_t size) {
    // Writing to a pipe whose reader is gone raises SIGPIPE: hold it back for this thread and
    // take it off again, so only EPIPE tells.
    sigset_t pipeSet, old, pending;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    bool ok = in_ >= 0;
    bool brokenPipe = false;
    while (ok && size > 0) {
      const ssize_t n = write(in_, data, size);
      if (n > 0) {
        data += n;
        size -= static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        ok = Wait(in_, POLLOUT);
      } else {
        brokenPipe = n < 0 && errno == EPIPE;
        ok = false;
      }
    }
    if (brokenPipe && !wasPending) {
      const timespec zero{};
      sigtimedwait(&pipeSet, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
  }

  std::size_t ReadSome(std::span<std::uint8_t> into) override {
    if (out_ < 0 || into.empty()) return 0;
    for (;;) {
      const ssize_t n = read(out_, into.data(), into.size());
      if (n > 0) return static_cast<std::size_t>(n);
      if (n == 0) return 0;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return 0;
      if (!Wait(out_, POLLIN)) return 0;
    }
  }

  // Closes the host's input and gives it `graceMs` to end on its own, then kills it.
  void Finish(int graceMs) {
    Close(in_);
    const auto until = Clock::now() + std::chrono::milliseconds(graceMs);
    while (pid_ > 0 && !Reap(false) && Clock::now() < until) usleep(5000);
    Kill();
  }

  void Kill() {
    Close(in_);
    Close(out_);
    if (pid_ > 0 && !Reap(false)) {
      ::kill(pid_, SIGKILL);
      Reap(true);
    }
    pid_ = 0;
  }

 private:
  static void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  static void CloseAll(std::initializer_list<int> fds) {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
  }

  // True when the child has ended (and is reaped).
  bool Reap(bool block) {
    if (pid_ <= 0) return true;
    int status = 0;
    pid_t r;
    do {
      r = waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
      pid_ = 0;
      return true;
    }
    return false;
  }

  // Waits until `fd` is ready for `events`; false when the child ended (and the pipe has
  // nothing more), or the deadline passed.
  bool Wait(int fd, short events) {
    constexpr int kSliceMs = 200;
    for (;;) {
      int slice = kSliceMs;
      if (deadline_) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - Clock::now());
        if (left.count() <= 0) return false;
        slice = static_cast<int>(std::min<long long>(slice, left.count()));
      }
      pollfd p{fd, events, 0};
      const int r = poll(&p, 1, slice);
      if (r > 0) return true;  // ready, or an error/hang-up that the next read/write reports
      if (r < 0 && errno != EINTR) return false;
      if (r == 0 && (pid_ <= 0 || Reap(false))) {
        // Gone: whatever it wrote before ending is still in the pipe.
        pollfd last{fd, events, 0};
        return poll(&last, 1, 0) > 0 && (last.revents & events);
      }
    }
  }

  pid_t pid_ = 0;
  int in_ = -1;   // the host's standard input (we write)
  int out_ = -1;  // the host's standard output (we read)
  std::optional<Clock::time_point> deadline_;
};

#else  // _WIN32

namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// One argument quoted the way the C runtime splits a command line.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
  if (!line.empty()) line += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"')
      line.append(backslashes * 2 + 1, L'\\');
    else
      line.append(backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

}  // namespace

// A child with a pipe on its standard input and one on its standard output. Only the child's
// ends are inheritable; when the child ends, its ends close and our reads and writes fail.
class THostChannel::TChild : public hostproto::IByteSource {
 public:
  ~TChild() { Kill(); }

  bool Spawn(const THostCommand& command, std::string& error) {
    if (command.argv.empty()) {
      error = "no host program given";
      return false;
    }
    SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &in_, &sa, 0) || !CreatePipe(&out_, &childOut, &sa, 0)) {
      error = "cannot make a pipe (error " + std::to_string(GetLastError()) + ")";
      for (HANDLE h : {childIn, childOut})
        if (h) CloseHandle(h);
      Kill();
      return false;
    }
    SetHandleInformation(in_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(out_, HANDLE_FLAG_INHERIT, 0);

    std::wstring line;
    for (const std::string& a : command.argv) AppendQuoted(line, Wide(a));
    std::vector<std::string> inherited;
    if (wchar_t* block = GetEnvironmentStringsW()) {
      for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
        if (*p != L'=') inherited.push_back(Narrow(p));  // "=C:" entries stay out
      }
      FreeEnvironmentStringsW(block);
    }
    std::wstring envBlock;
    for (const std::string& e : ChildEnvironment(inherited, command.env)) {
      envBlock += Wide(e);
      envBlock += L'\0';
    }
    envBlock += L'\0';

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = childIn;
    si.hStdOutput = childOut;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    const BOOL ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                   CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, envBlock.data(),
                                   nullptr, &si, &pi);
    const DWORD lastError = GetLastError();
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (!ok) {
      error = "cannot start " + command.argv[0] + " (error " + std::to_string(lastError) + ")";
      Kill();
      return false;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    id_ = pi.dwProcessId;
    return true;
  }

  long Id() const { return process_ ? static_cast<long>(id_) : 0; }
  // Reads block on Windows; the hello has no time limit there.
  void SetDeadline(std::optional<Clock::time_point>) {}

  bool WriteAll(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
      DWORD done = 0;
      if (!in_ || !WriteFile(in_, data, piece, &done, nullptr) || done == 0) return false;
      data += done;
      size -= done;
    }
    return true;
  }

  std::size_t ReadSome(std::span<std::uint8_t> into) override {
    if (!out_ || into.empty()) return 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1u << 20));
    DWORD got = 0;
    if (!ReadFile(out_, into.data(), want, &got, nullptr)) return 0;  // broken pipe: ended
    return got;
  }

  void Finish(int graceMs) {
    Close(in_);
    if (process_) WaitForSingleObject(process_, static_cast<DWORD>(graceMs));
    Kill();
  }

  void Kill() {
    Close(in_);
    Close(out_);
    if (process_) {
      if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
      }
      CloseHandle(process_);
      process_ = nullptr;
    }
  }

 private:
  static void Close(HANDLE& h) {
    if (h) CloseHandle(h);
    h = nullptr;
  }

  HANDLE process_ = nullptr;
  DWORD id_ = 0;
  HANDLE in_ = nullptr;
  HANDLE out_ = nullptr;
};

#endif

THostChannel::THostChannel() = default;

THostChannel::~THostChannel() {
  Stop();
}

bool THostChannel::Start(const THostCommand& command, std::string* error) {
  Stop();
  command_ = command;
  haveCommand_ = true;
  std::string why;
  auto child = std::make_unique<TChild>();
  if (!child->Spawn(command, why)) {
    if (error) *error = why;
    return false;
  }
  if (command.helloTimeoutMs > 0)
    child->SetDeadline(Clock::now() + std::chrono::milliseconds(command.helloTimeoutMs));
  hostproto::THello hello;
  const TReadStatus status = hostproto::ReadHello(*child, hello);
  child->SetDeadline(std::nullopt);
  if (status != TReadStatus::Ok) {
    if (error) {
      *error = status == TReadStatus::Malformed
                   ? "the device library host answered with something else than its hello"
                   : "the device library host ended or did not answer";
    }
    child->Kill();
    return false;
  }
  hello_ = hello;
  child_ = std::move(child);
  return true;
}

bool THostChannel::EnsureRunning(std::string* error) {
  if (Running()) return true;
  if (!haveCommand_) {
    if (error) *error = "no device library host was started before";
    return false;
  }
  const THostCommand command = command_;
  return Start(command, error);
}

void THostChannel::Stop() {
  if (child_) child_->Finish(2000);
  child_.reset();
  hello_ = {};
}

bool THostChannel::Running() const {
  return child_ != nullptr;
}

long THostChannel::ChildId() const {
  return child_ ? child_->Id() : 0;
}

void THostChannel::MarkDead() {
  if (child_) child_->Kill();
  child_.reset();
  hello_ = {};
}

std::int32_t THostChannel::Call(const TRequest& request, const void* writeData, void* readBuffer) {
  if (!child_) return kCommError;
  if (!hello_.Has(request.entry)) return kNotServed;
  const auto head = hostproto::EncodeRequest(request);
  bool sent = child_->WriteAll(head.data(), head.size());
  if (sent && request.entry == TEntry::WriteNVMFile && request.length)
    sent = child_->WriteAll(static_cast<const std::uint8_t*>(writeData), request.length);
  if (!sent) {
    MarkDead();
    return kCommError;
  }
  TReply reply;
  const std::size_t capacity = request.entry == TEntry::ReadNVMFile ? request.length : 0;
  const std::span<std::uint8_t> into(static_cast<std::uint8_t*>(readBuffer), capacity);
  if (hostproto::ReadReply(*child_, request, reply, into) != TReadStatus::Ok) {
    MarkDead();
    return kCommError;
  }
  switch (reply.status) {
    case TStatus::Called:
      return reply.result;
    case TStatus::Missing:
      return kNotServed;
    case TStatus::NoMemory:
      return -6;  // the library's own "no memory"
  }
  return kCommError;
}

std::int32_t THostChannel::InitGBPMode(std::uint8_t port) {
  TRequest r;
  r.entry = TEntry::InitGBPMode;
  r.port = port;
  return Call(r, nullptr, nullptr);
}

std::int32_t THostChannel::EndGBPMode() {
  TRequest r;
  r.entry = TEntry::EndGBPMode;
  return Call(r, nullptr, nullptr);
}

std::int32_t THostChannel::ReadNVMFile(std::uint8_t section, std::uint8_t subSection, void* buffer,
                                       std::uint32_t length) {
  if (length && !buffer) return -7;  // as the library answers a missing buffer
  TRequest r;
  r.entry = TEntry::ReadNVMFile;
  r.section = section;
  r.subSection = subSection;
  r.length = length;
  return Call(r, nullptr, buffer);
}

std::int32_t THostChannel::WriteNVMFile(std::uint8_t section, std::uint8_t subSection,
                                        const void* buffer, std::uint32_t length) {
  if (length && !buffer) return -7;
  TRequest r;
  r.entry = TEntry::WriteNVMFile;
  r.section = section;
  r.subSection = subSection;
  r.length = length;
  return Call(r, buffer, nullptr);
}

std::int32_t THostChannel::ClearNVMFile(std::uint8_t section, std::uint8_t subSection) {
  TRequest r;
  r.entry = TEntry::ClearNVMFile;
  r.section = section;
  r.subSection = subSection;
  return Call(r, nullptr, nullptr);
}

std::int32_t THostChannel::GetNVMFileSize(std::uint8_t section, std::uint8_t subSection) {
  TRequest r;
  r.entry = TEntry::GetNVMFileSize;
  r.section = section;
  r.subSection = subSection;
  return Call(r, nullptr, nullptr);
}

}  // namespace zub
