// The host as a child process on POSIX systems (see ChildProcess.h): posix_spawn with two
// pipes, non-blocking waits that also watch for the child's death.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <span>

#include "device/host/ChildProcess.h"

extern char** environ;

namespace zub {

namespace {

using Clock = IChildProcess::Clock;

// The self-pipe that cuts waits short (InterruptChildWaits): made once, written from any
// thread or a signal handler, watched by every wait.
std::atomic<int> gInterruptRead{-1};
std::atomic<int> gInterruptWrite{-1};
std::atomic<int> gInterruptibleWaits{0};
std::once_flag gInterruptPipeMade;

// `fd` moved above the standard descriptors (closing the original), so a child's dup2 onto 0,
// 1 or 2 never meets one of our own pipe ends there. -1 on failure.
int AboveStandard(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  ::close(fd);
  return moved;
}

void DrainInterrupts() {
  const int fd = gInterruptRead.load();
  char sink[64];
  while (fd >= 0 && read(fd, sink, sizeof sink) > 0) {
  }
}

// A child with a pipe on its standard input and one on its standard output. Our ends are
// non-blocking and close-on-exec; every wait on them also watches for the child's death, so
// a pipe kept open by some other process (Wine's helpers) never hangs a call of a dead host.
class TPosixChild : public IChildProcess {
 public:
  ~TPosixChild() override { Kill(); }

  bool Spawn(const THostCommand& command, std::string& error) override {
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
    for (int* fd : {&toChild[0], &toChild[1], &fromChild[0], &fromChild[1]})
      *fd = AboveStandard(*fd);
    if (toChild[0] < 0 || toChild[1] < 0 || fromChild[0] < 0 || fromChild[1] < 0) {
      error = std::string("cannot make a pipe: ") + std::strerror(errno);
      CloseAll({toChild[0], toChild[1], fromChild[0], fromChild[1]});
      return false;
    }
    // A log that cannot be opened leaves the tool's own standard error to the child.
    int log = -1;
    if (!command.stderrFile.empty())
      log = AboveStandard(
          ::open(command.stderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
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
    if (log >= 0) posix_spawn_file_actions_adddup2(&actions, log, STDERR_FILENO);
    // The child starts with default signal handling, whatever the tool ignores or blocks.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    // A process group of its own: a Ctrl-C at the terminal is the tool's to handle (it stops
    // between two calls), and must not end the host in the middle of one.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    CloseAll({toChild[0], fromChild[1], log});
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

  long Id() const override { return pid_; }
  void SetDeadline(std::optional<Clock::time_point> deadline) override { deadline_ = deadline; }
  bool CutShort() const override { return cutShort_; }

  bool WriteAll(const std::uint8_t* data, std::size_t size) override {
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
      if (n == 0) {
        cutShort_ = false;  // the child closed its output: ended, whatever an earlier wait was
        return 0;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return 0;
      if (!Wait(out_, POLLIN)) return 0;
    }
  }

  // Closes the host's input and gives it `graceMs` to end on its own, then kills it.
  void Finish(int graceMs) override {
    Close(in_);
    const auto until = Clock::now() + std::chrono::milliseconds(graceMs);
    while (pid_ > 0 && !Reap(false) && Clock::now() < until) usleep(5000);
    Kill();
  }

  void Kill() override {
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
  // nothing more), the deadline passed or the wait was interrupted.
  bool Wait(int fd, short events) {
    constexpr int kSliceMs = 200;
    cutShort_ = false;
    for (;;) {
      int slice = kSliceMs;
      if (deadline_) {
        const auto now = Clock::now();
        if (*deadline_ <= now) {
          cutShort_ = true;
          return false;
        }
        // Rounded up: a wait cut short by its deadline ends at the deadline, never before it.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - now);
        slice = static_cast<int>(std::min<long long>(slice, left.count()));
      }
      pollfd p[2] = {{fd, events, 0}, {gInterruptRead.load(), POLLIN, 0}};
      const int r = poll(p, p[1].fd >= 0 ? 2 : 1, slice);
      if (r > 0 && p[1].revents) {
        DrainInterrupts();
        if (gInterruptibleWaits.load() > 0) {
          cutShort_ = true;
          return false;
        }
      }
      if (r > 0 && p[0].revents) return true;  // ready, or an error/hang-up the next I/O reports
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
  bool cutShort_ = false;
};

}  // namespace

TInterruptibleWait::TInterruptibleWait() {
  std::call_once(gInterruptPipeMade, [] {
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gInterruptRead = AboveStandard(fds[0]);
    gInterruptWrite = AboveStandard(fds[1]);
  });
  DrainInterrupts();
  ++gInterruptibleWaits;
}

TInterruptibleWait::~TInterruptibleWait() {
  --gInterruptibleWaits;
}

void InterruptChildWaits() noexcept {
  const int fd = gInterruptWrite.load();
  if (fd < 0 || gInterruptibleWaits.load() <= 0) return;
  const int saved = errno;
  const char byte = 'x';
  [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  errno = saved;
}

std::unique_ptr<IChildProcess> MakeChildProcess() {
  return std::make_unique<TPosixChild>();
}

}  // namespace zub
