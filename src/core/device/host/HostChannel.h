// The tool's end of gbp-host.exe: starts the host as a child process with pipes on its
// standard input and output (directly, or through Wine on Linux), reads its hello, and offers
// the six entry points as calls that answer exactly what the library answered. When the host
// dies, hangs up or sends a malformed reply in the middle of a call, that call answers -5
// (COMM error, as a broken cable would), the child is ended and the channel is dead until
// the next Start, which makes a fresh child.
//
// One thread at a time; every call blocks until the reply is in (a library call may take many
// seconds), unless the child dies.
#pragma once

#include <cstdint>
#include <memory>
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

  THostChannel();
  ~THostChannel();
  THostChannel(const THostChannel&) = delete;
  THostChannel& operator=(const THostChannel&) = delete;

  // Ends any child held, starts `command` and waits for its hello. On failure the channel is
  // dead and `error` (when given) says why.
  bool Start(const THostCommand& command, std::string* error = nullptr);
  // Starts the last command again when the channel is dead; true when a host is running.
  bool EnsureRunning(std::string* error = nullptr);
  // Closes the host's input (it ends by itself), then makes sure the child is gone.
  void Stop();

  bool Running() const;
  const hostproto::THello& Hello() const { return hello_; }
  bool Has(hostproto::TEntry entry) const { return Running() && hello_.Has(entry); }
  // The child's process id (0 when there is none), for diagnostics and tests.
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
  void MarkDead();

  std::unique_ptr<IChildProcess> child_;
  THostCommand command_;
  bool haveCommand_ = false;
  hostproto::THello hello_;
};

}  // namespace zub
