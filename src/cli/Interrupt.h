// Ctrl-C in zub. The first one says at once on standard error what the device call in flight
// is doing ("zub: stopping after the current call (writing 2-12)…") and raises the stop flag
// that every run looks at between two device calls: the call ends as usual, the connection is
// closed, no file is left half-written, and zub exits with status 130. A second one does not
// wait for the call: a call served by gbp-host.exe is cut short (its host ended, the call a
// lost link, then the run ends with 130); otherwise zub ends the idle host, if one runs, and
// exits with 130 at once. A third one ends zub as the system ends a program on Ctrl-C.
//
// The device component's host runs in a process group of its own, so a Ctrl-C typed at the
// terminal (or sent to zub's process group) reaches zub only, never the host in the middle of
// a call.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

#include "device/DeviceCallRunner.h"

namespace zub {
class TNVMSection;
}

namespace zub::cli {

void InstallInterruptHandler();
const std::atomic<bool>& StopFlag();

// Every device call of the run goes through it: it notes, where the signal handler can read
// it, whether a call is in flight and whether its library is served by a host, and times the
// call.
class TWatchedCallRunner : public IDeviceCallRunner {
 public:
  explicit TWatchedCallRunner(const TNVMSection& nvm) : nvm_(nvm) {}
  std::int32_t Run(const std::function<std::int32_t()>& call) override;
  // How long the last call took.
  std::chrono::steady_clock::duration LastCallTime() const { return last_; }

 private:
  const TNVMSection& nvm_;
  std::chrono::steady_clock::duration last_{};
};

}  // namespace zub::cli
