// What the device component keeps for the libraries it serves through gbp-host.exe, across
// library loads.
#pragma once

#include <array>
#include <chrono>
#include <string>

namespace zub {

struct THostContext {
  // The devices the Windows library's COM1..COM4 lead to under Wine (e.g. "/dev/ttyACM0"); an
  // empty entry leaves Wine's own mapping. Used when the host next starts.
  std::array<std::string, 4> comDevices;
  // What a hosted call may take on top of the bytes it moves at 9,600 bit/s.
  std::chrono::milliseconds callAllowance{30'000};
  // The host's and Wine's standard error go to the tool's own instead of host.log.
  bool logToStderr = false;
  // Wine's absence is told once; until it is installed every opening fails quietly.
  bool wineMissingTold = false;
};

}  // namespace zub
