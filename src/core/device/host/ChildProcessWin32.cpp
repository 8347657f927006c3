// The host as a child process on Windows (see ChildProcess.h): CreateProcess with two
// anonymous pipes.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "device/host/ChildProcess.h"

namespace zub {

namespace {

using Clock = IChildProcess::Clock;

// Set by InterruptChildWaits while a TInterruptibleWait lives; every child's watchdog sees it.
HANDLE InterruptEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}
std::atomic<int> gInterruptibleWaits{0};

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

// A child with a pipe on its standard input and one on its standard output. Only the child's
// ends are inheritable; when the child ends, its ends close and our reads and writes fail.
// Reads and writes block: a watchdog thread cancels the waiting thread's I/O when the deadline
// passes or the wait is interrupted.
class TWin32Child : public IChildProcess {
 public:
  TWin32Child() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    watchdog_ = std::thread([this] { Watch(); });
  }
  ~TWin32Child() override {
    Kill();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    SetEvent(wake_);
    watchdog_.join();
    CloseHandle(wake_);
    SetDeadline(std::nullopt);
  }

  bool Spawn(const THostCommand& command, std::string& error) override {
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
    // A log that cannot be opened leaves the tool's own standard error to the child.
    HANDLE log = INVALID_HANDLE_VALUE;
    if (!command.stderrFile.empty())
      log = CreateFileW(command.stderrFile.wstring().c_str(), FILE_APPEND_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    si.hStdError = log != INVALID_HANDLE_VALUE ? log : GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    const BOOL ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                   CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, envBlock.data(),
                                   nullptr, &si, &pi);
    const DWORD lastError = GetLastError();
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
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

  long Id() const override { return process_ ? static_cast<long>(id_) : 0; }
  void SetDeadline(std::optional<Clock::time_point> deadline) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (waiter_) CloseHandle(waiter_);
      waiter_ = nullptr;
      deadline_ = deadline;
      if (deadline) {
        waiter_ = OpenThread(THREAD_TERMINATE, FALSE, GetCurrentThreadId());
        cutShort_ = false;
      }
    }
    SetEvent(wake_);
  }
  bool CutShort() const override { return cutShort_; }

  bool WriteAll(const std::uint8_t* data, std::size_t size) override {
    while (size > 0) {
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
      DWORD done = 0;
      if (!in_ || cutShort_ || !WriteFile(in_, data, piece, &done, nullptr) || done == 0)
        return false;
      data += done;
      size -= done;
    }
    return true;
  }

  std::size_t ReadSome(std::span<std::uint8_t> into) override {
    if (!out_ || into.empty()) return 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1u << 20));
    DWORD got = 0;
    if (cutShort_) return 0;
    if (!ReadFile(out_, into.data(), want, &got, nullptr)) return 0;  // broken pipe: ended
    return got;
  }

  void Finish(int graceMs) override {
    Close(in_);
    if (process_) WaitForSingleObject(process_, static_cast<DWORD>(graceMs));
    Kill();
  }

  void Kill() override {
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

  // Until the child goes: when a deadline passes, or an interruption comes while one is set,
  // the waiting thread's blocking read or write is cancelled (again, until it is unset, since a
  // cancel finds nothing to do between two pieces of I/O).
  void Watch() {
    for (;;) {
      DWORD timeout = INFINITE;
      bool armed = false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (quit_) return;
        if (deadline_) {
          armed = true;
          const auto left =
              std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - Clock::now());
          timeout = cutShort_ ? 50 : static_cast<DWORD>(std::max<long long>(0, left.count()));
        }
      }
      const HANDLE events[2] = {wake_, InterruptEvent()};
      const DWORD n = armed && gInterruptibleWaits.load() > 0 && events[1] ? 2 : 1;
      const DWORD r = WaitForMultipleObjects(n, events, FALSE, timeout);
      if (r == WAIT_OBJECT_0) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      if (!deadline_) continue;
      if (r == WAIT_OBJECT_0 + 1 || Clock::now() >= *deadline_) {
        cutShort_ = true;
        if (waiter_) CancelSynchronousIo(waiter_);
      }
    }
  }

  HANDLE process_ = nullptr;
  DWORD id_ = 0;
  HANDLE in_ = nullptr;
  HANDLE out_ = nullptr;

  std::mutex mutex_;  // guards what the watchdog reads
  std::optional<Clock::time_point> deadline_;
  HANDLE waiter_ = nullptr;  // the thread that set the deadline
  std::atomic<bool> cutShort_{false};
  bool quit_ = false;
  HANDLE wake_;
  std::thread watchdog_;
};

}  // namespace

TInterruptibleWait::TInterruptibleWait() {
  if (HANDLE event = InterruptEvent()) ResetEvent(event);
  ++gInterruptibleWaits;
}

TInterruptibleWait::~TInterruptibleWait() {
  --gInterruptibleWaits;
}

void InterruptChildWaits() noexcept {
  if (gInterruptibleWaits.load() <= 0) return;
  if (HANDLE event = InterruptEvent()) SetEvent(event);
}

std::unique_ptr<IChildProcess> MakeChildProcess() {
  return std::make_unique<TWin32Child>();
}

}  // namespace zub
