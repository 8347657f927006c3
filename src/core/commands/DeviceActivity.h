// What the device call in flight is doing (opening, sizing, reading, writing, erasing a
// section, closing), kept where a signal handler may read it: Ctrl-C in zub says what it
// waits for. The section engine's steps set it around each of their calls; a link lost in a
// call is reported with it, since a write or an erase that loses its answer leaves the section
// holding the old content or the new one, and nobody can tell which.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/SectionAddress.h"

namespace zub {

enum class TDeviceActivity : std::uint8_t {
  None,
  Opening,
  Sizing,
  Reading,
  Writing,
  Erasing,
  Closing
};

struct TDeviceCall {
  TDeviceActivity What = TDeviceActivity::None;
  TSectionAddress Address;
};

// The call in flight (its section as the telephone sees it, the low 8 bits), or What None
// between calls. Async-signal-safe (one lock-free load).
TDeviceCall CurrentDeviceCall() noexcept;

// "writing 2-12", "opening the connection"; empty for None. Async-signal-safe: writes at most
// size - 1 characters and a terminating zero into `out` and returns the characters written.
std::size_t FormatDeviceCall(TDeviceCall call, char* out, std::size_t size) noexcept;

// Marks a call in flight for the scope's lifetime; the previous mark comes back after it.
class TDeviceActivityScope {
 public:
  TDeviceActivityScope(TDeviceActivity what, TSectionAddress a = {}) noexcept;
  ~TDeviceActivityScope();
  TDeviceActivityScope(const TDeviceActivityScope&) = delete;
  TDeviceActivityScope& operator=(const TDeviceActivityScope&) = delete;

 private:
  std::uint32_t previous_;
};

}  // namespace zub
