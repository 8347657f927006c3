// Measurements of the whole program for scripts/bench, chosen by the environment variable
// ZUB_BENCH. "startup": prints "shown-ms: N", the milliseconds from the start of main to the
// main window's first show, and quits. "refresh": then runs "Full Refresh" on the telephone
// beside the program and prints "refresh-ms: N". Every question is answered without a dialog.
#pragma once

#include <chrono>
#include <string>

namespace zub {

int RunBench(const std::string& mode, std::chrono::steady_clock::time_point started);

}  // namespace zub
