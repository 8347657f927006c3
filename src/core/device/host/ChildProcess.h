// The host as a child process with a pipe on its standard input and one on its standard
// output: the one small interface the channel uses, implemented once for POSIX systems
// (ChildProcessPosix.cpp, posix_spawn) and once for Windows (ChildProcessWin32.cpp,
// CreateProcess). Each file is built only on its own platform.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/host/HostProtocol.h"

namespace zub {

struct THostCommand {
  // The program and its arguments, e.g. {"wine", "/opt/zub/win32/gbp-host.exe", "Z:\\...\\gbp.dll"}
  // or {"C:\\zub\\gbp-host.exe", "C:\\zub\\gbp.dll"}. A program name without a folder is
  // looked up on PATH.
  std::vector<std::string> argv;
  // Variables set (or replaced) in the child's environment; the rest is inherited.
  std::vector<std::pair<std::string, std::string>> env;
  // How long the hello may take: the first Wine start in a new prefix takes up to a minute.
  // 0 = no limit.
  int helloTimeoutMs = 180'000;
  // Where the child's standard error goes: appended to this file (made when absent), or, when
  // empty, to the tool's own standard error.
  std::filesystem::path stderrFile{};
};

class IChildProcess : public hostproto::IByteSource {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts `command` with the two pipes; false with `error` set when it cannot.
  virtual bool Spawn(const THostCommand& command, std::string& error) = 0;
  // The child's process id; 0 when there is none.
  virtual long Id() const = 0;
  // Waits for the child's bytes (and for room in its input) end at `deadline`.
  virtual void SetDeadline(std::optional<Clock::time_point> deadline) = 0;
  // Whether the last wait that failed was cut short (its deadline passed, or
  // InterruptChildWaits) rather than ended by the child: the child may still be at work.
  virtual bool CutShort() const = 0;
  // Writes all of `data` to the child's input; false when the child is gone or the deadline
  // passed.
  virtual bool WriteAll(const std::uint8_t* data, std::size_t size) = 0;
  // Closes the child's input and gives it `graceMs` to end on its own, then kills it.
  virtual void Finish(int graceMs) = 0;
  // Closes both pipes and ends the child at once.
  virtual void Kill() = 0;
};

// While one lives, InterruptChildWaits() cuts every wait on a child short, as a passed
// deadline would. Interruptions from before it was made are forgotten.
class TInterruptibleWait {
 public:
  TInterruptibleWait();
  ~TInterruptibleWait();
  TInterruptibleWait(const TInterruptibleWait&) = delete;
  TInterruptibleWait& operator=(const TInterruptibleWait&) = delete;
};

// Cuts short the waits on children inside a TInterruptibleWait; nothing when there is none.
// Async-signal-safe: callable from a signal handler or any thread.
void InterruptChildWaits() noexcept;

// The platform's child process, not started yet.
std::unique_ptr<IChildProcess> MakeChildProcess();

// The child's environment: `inherited` ("NAME=value" entries) with `overrides` set or
// replaced.
std::vector<std::string> ChildEnvironment(
    const std::vector<std::string>& inherited,
    const std::vector<std::pair<std::string, std::string>>& overrides);

}  // namespace zub
