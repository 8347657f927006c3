// Ctrl-C in zub (see Interrupt.h). The signal handler touches only lock-free atomics and calls
// that are safe in a handler (write, kill, waitpid, _exit, the device component's AbortCall).
#include "Interrupt.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "commands/DeviceActivity.h"
#include "device/NVMSection.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zub::cli {
namespace {

std::atomic<bool> gStop{false};
std::atomic<int> gInterrupts{0};
std::atomic<bool> gInCall{false};
std::atomic<bool> gHostedCall{false};
std::atomic<long> gIdleHost{0};  // the host's process id between calls; 0: none runs
bool gTerminal = false;          // standard error is a terminal: the bar may be on its line
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free &&
              std::atomic<long>::is_always_lock_free);

void Say(const char* text, std::size_t n) {
#if defined(_WIN32)
  [[maybe_unused]] const int r = _write(2, text, static_cast<unsigned>(n));
#else
  [[maybe_unused]] const ssize_t r = write(STDERR_FILENO, text, n);
#endif
}

// Appends `text` to line[at..], keeping room for the terminating zero.
std::size_t Append(char* line, std::size_t size, std::size_t at, const char* text) {
  while (*text && at + 1 < size) line[at++] = *text++;
  line[at] = '\0';
  return at;
}

[[noreturn]] void ExitNow() {
#if !defined(_WIN32)
  // A host between two calls is ended first: zub never leaves one behind.
  if (const long host = gIdleHost.load(); host > 0) {
    kill(static_cast<pid_t>(host), SIGKILL);
    waitpid(static_cast<pid_t>(host), nullptr, 0);
  }
#endif
  static const char kGone[] = "zub: stopped at once by a second Ctrl-C\n";
  Say(kGone, sizeof kGone - 1);
  std::_Exit(130);
}

extern "C" void OnInterrupt(int) {
  const int saved = errno;
  const int n = ++gInterrupts;
  if (n == 1) {
    gStop.store(true);
#if defined(_WIN32)
    std::signal(SIGINT, OnInterrupt);  // Windows resets it before the handler runs
#endif
    char line[160];
    // On a terminal the progress bar may hold the line: it is cleared first.
    std::size_t at = Append(line, sizeof line, 0, gTerminal ? "\r\033[K" : "");
    char doing[64];
    if (FormatDeviceCall(CurrentDeviceCall(), doing, sizeof doing) > 0) {
      at = Append(line, sizeof line, at, "zub: stopping after the current call (");
      at = Append(line, sizeof line, at, doing);
      at = Append(line, sizeof line, at, ")\xE2\x80\xA6\n");
    } else {
      at = Append(line, sizeof line, at, "zub: stopping before the next call\xE2\x80\xA6\n");
    }
    Say(line, at);
  } else if (n == 2) {
    if (!(gInCall.load() && gHostedCall.load())) ExitNow();
    // The host of the call in flight is ended by the call itself, which then answers as a
    // lost link; the run ends with 130 once the host is gone.
    TNVMSection::AbortCall();
    std::signal(SIGINT, SIG_DFL);
  }
  errno = saved;
}

}  // namespace

void InstallInterruptHandler() {
#if defined(_WIN32)
  gTerminal = _isatty(2) != 0;
#else
  gTerminal = isatty(STDERR_FILENO) != 0;
#endif
#if defined(_WIN32)
  std::signal(SIGINT, OnInterrupt);
#else
  // Not reset after the first signal, and a call in flight is not restarted by it.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
#endif
}

const std::atomic<bool>& StopFlag() {
  return gStop;
}

std::int32_t TWatchedCallRunner::Run(const std::function<std::int32_t()>& call) {
  gHostedCall.store(nvm_.Hosted());
  gInCall.store(true);
  gIdleHost.store(0);
  const auto start = std::chrono::steady_clock::now();
  const std::int32_t r = call();
  last_ = std::chrono::steady_clock::now() - start;
  gIdleHost.store(nvm_.HostProcessId());
  gInCall.store(false);
  return r;
}

}  // namespace zub::cli
