// The tool's end of gbp-host.exe: starts the host as a child process with pipes on its
// standard input and output (directly, or through Wine on Linux), reads its hello, and offers
// the six entry points as calls that answer exactly what the library answered.
//
// A call that loses the link answers -5 (COMM error, as a broken cable would) and says so
// (LastCallLost): the host died, hung up, sent something else than a reply, overran the
// call's time limit or was cut short (AbortHostedCall). The host is ended and the channel is
// dead until the next Start, which makes a fresh child.
//
// One thread at a time; every call blocks until the reply is in, the host fails, or the
// call's time limit passes: the bytes it moves at 9,600 bit/s (10 bits a byte) plus an
// allowance, 30 s unless set.
//
// A host may be launched ahead of its first call (Launch): Wine gets ready meanwhile, and its
// hello, once sent, waits in the pipe until AwaitHello takes it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "device/host/ChildProcess.h"
#include "device/host/HostProtocol.h"

namespace zub {

class THostChannel {
 public:
  // The answer of a call when the host failed during it, or no host is running.
  static constexpr std::int32_t kCommError = -5;
  // The answer of a call to an entry point the library lacks (the host is not asked).
  static constexpr std::int32_t kNotServed = -1;

  // What a call's time limit is made of.
  static constexpr std::uint64_t kLinkBitsPerSecond = 9600;
  static constexpr std::uint64_t kBitsPerByte = 10;
  static constexpr std::chrono::milliseconds kDefaultAllowance{30'000};
  // How long a host whose input was closed has to end by itself before it is killed.
  static constexpr int kEndGraceMs = 2000;
  // The time limit of a call that moves `bytes` (ReadNVMFile: the length asked;
  // WriteNVMFile: the length handed over; others: none).
  static std::chrono::milliseconds CallTimeLimit(std::chrono::milliseconds allowance,
                                                 std::uint64_t bytes);

  THostChannel();
  ~THostChannel();
  THostChannel(const THostChannel&) = delete;
  THostChannel& operator=(const THostChannel&) = delete;

  // What waiting for a launched host's hello came to.
  enum class THelloWait {
    Ready,    // the hello is in: the host is running
    Pending,  // not in by the time given; the host goes on getting ready
    Ended,    // the host ended before its hello
    Failed,   // a wrong hello, its time limit passed, or the wait was cut short
  };

  // Ends any child held, starts `command` and waits for its hello. On failure the channel is
  // dead and `error` (when given) says why.
  bool Start(const THostCommand& command, std::string* error = nullptr);
  // Ends any child held and starts `command` without waiting for its hello; its time limit
  // (helloTimeoutMs) runs from now. False with `error` set when it cannot be started.
  bool Launch(const THostCommand& command, std::string* error = nullptr);
  // Waits for the launched host's hello, at most until `until` (nullopt: its time limit).
  // Anything but Ready and Pending ends the host, with `error` (when given) saying why.
  THelloWait AwaitHello(std::optional<std::chrono::steady_clock::time_point> until,
                        std::string* error = nullptr);
  // True while a launched host's hello has not been taken.
  bool Launched() const { return starting_ != nullptr; }
  // Starts the last command again when the channel is dead; true when a host is running.
  bool EnsureRunning(std::string* error = nullptr);
  // Closes the host's input (it ends by itself), then makes sure the child is gone; a host
  // still getting ready goes the same way.
  void Stop();

  bool Running() const;
  void SetCallAllowance(std::chrono::milliseconds allowance) { allowance_ = allowance; }
  // True when the most recent call lost the link (see above); the host is gone then.
  bool LastCallLost() const { return lost_; }
  const hostproto::THello& Hello() const { return hello_; }
  bool Has(hostproto::TEntry entry) const { return Running() && hello_.Has(entry); }
  // The child's process id, running or getting ready (0 when there is none), for diagnostics
  // and tests.
  long ChildId() const;

  std::int32_t InitGBPMode(std::uint8_t port);
  std::int32_t EndGBPMode();
  std::int32_t ReadNVMFile(std::uint8_t section, std::uint8_t subSection, void* buffer,
                           std::uint32_t length);
  std::int32_t WriteNVMFile(std::uint8_t section, std::uint8_t subSection, const void* buffer,
                            std::uint32_t length);
  std::int32_t ClearNVMFile(std::uint8_t section, std::uint8_t subSection);
  std::int32_t GetNVMFileSize(std::uint8_t section, std::uint8_t subSection);

 private:
  std::int32_t Call(const hostproto::TRequest& request, const void* writeData, void* readBuffer);
  // Ends the host after a failed call; answers kCommError.
  std::int32_t LoseLink();

  std::unique_ptr<IChildProcess> child_;
  // A launched host whose hello is not in yet, the part of the hello read so far, and when
  // its time for the hello runs out.
  std::unique_ptr<IChildProcess> starting_;
  std::array<std::uint8_t, hostproto::kHelloSize> helloBytes_{};
  std::size_t helloHave_ = 0;
  std::optional<std::chrono::steady_clock::time_point> helloDeadline_;
  THostCommand command_;
  bool haveCommand_ = false;
  hostproto::THello hello_;
  std::chrono::milliseconds allowance_ = kDefaultAllowance;
  bool lost_ = false;
};

// Cuts the hosted call in flight short, in whichever channel makes it: its host is ended and
// the call answers -5 as a lost link. Nothing when no call is in flight. Async-signal-safe:
// callable from a signal handler or another thread.
void AbortHostedCall() noexcept;

}  // namespace zub
