// Where gbp-host.exe's and Wine's standard error go: a log file in the user's state folder,
// ($XDG_STATE_HOME or ~/.local/state)/zubmanager3/host.log (%LOCALAPPDATA%\zubmanager3 on
// Windows), so nothing of theirs reaches the user's terminal. Each host start begins a new
// log; the last few runs are kept as host.log.1 (the latest) to host.log.3.
#pragma once

#include <filesystem>

namespace zub {

inline constexpr int kKeptHostLogs = 3;

// The log's path; empty when the environment names no folder for it.
std::filesystem::path HostLogPath();

// Moves `log` to `log`.1, `log`.1 to `log`.2 ... keeping `kept` old ones, and makes the log's
// folder. False when the folder cannot be made (the log cannot be written then).
bool RotateLog(const std::filesystem::path& log, int kept = kKeptHostLogs);

}  // namespace zub
