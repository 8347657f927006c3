// The host's log file (see HostLog.h).
#include "device/host/HostLog.h"

#include <cstdlib>
#include <string>
#include <system_error>

namespace zub {

namespace fs = std::filesystem;

namespace {

fs::path EnvFolder(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return {};
  fs::path p(v);
  return p.is_absolute() ? p : fs::path();
}

fs::path Numbered(const fs::path& log, int n) {
  fs::path p = log;
  p += "." + std::to_string(n);
  return p;
}

}  // namespace

fs::path HostLogPath() {
#if defined(_WIN32)
  const fs::path state = EnvFolder("LOCALAPPDATA");
#else
  fs::path state = EnvFolder("XDG_STATE_HOME");
  if (state.empty()) {
    const fs::path home = EnvFolder("HOME");
    if (!home.empty()) state = home / ".local" / "state";
  }
#endif
  return state.empty() ? fs::path() : state / "zubmanager3" / "host.log";
}

bool RotateLog(const fs::path& log, int kept) {
  std::error_code ec;
  fs::create_directories(log.parent_path(), ec);
  if (!fs::is_directory(log.parent_path(), ec)) return false;
  fs::remove(Numbered(log, kept), ec);
  for (int n = kept - 1; n >= 1; --n)
    if (fs::exists(Numbered(log, n), ec)) fs::rename(Numbered(log, n), Numbered(log, n + 1), ec);
  if (kept >= 1 && fs::exists(log, ec))
    fs::rename(log, Numbered(log, 1), ec);
  else
    fs::remove(log, ec);
  return true;
}

}  // namespace zub
