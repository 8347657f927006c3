// The Wine prefix the device tests share (see DeviceTestSupport.h).
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/device/DeviceTestSupport.h"
#include "device/host/HostChannel.h"
#include "device/host/WineHost.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace zub::test {

namespace fs = std::filesystem;

fs::path Win32File(const char* name) {
  return fs::path(ZUB_WIN32_DIR) / name;
}

std::string Win32BuildMissing() {
  for (const char* name : {"gbp-host.exe", "gbp.dll", "cte_gbp.dll"})
    if (!fs::exists(Win32File(name))) return "no win32 build (i686-w64-mingw32-g++ not installed)";
  return {};
}

std::string UseTestWinePrefix(const std::string& suffix) {
#if defined(_WIN32)
  // Windows starts the host itself: only the build is needed.
  (void)suffix;
  return Win32BuildMissing();
#else
  if (std::string missing = Win32BuildMissing(); !missing.empty()) return missing;
  if (!FindOnPath("wine")) return "wine is not installed";
  const char* own = std::getenv("ZUB_TEST_WINE_PREFIX");
  const fs::path prefix =
      (own && *own ? fs::path(own) : fs::path(ZUB_TEST_WINE_PREFIX)).string() + suffix;
  fs::create_directories(prefix);
  ::setenv("WINEPREFIX", prefix.c_str(), 1);
  if (WinePrefixReady(prefix)) return {};
  // The first start sets the prefix up; test programs running side by side take turns, so
  // no two Wine starts race on a new prefix.
  const int lock = ::open((prefix.string() + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  if (lock >= 0) ::flock(lock, LOCK_EX);
  std::string skip;
  if (!WinePrefixReady(prefix)) {
    const fs::path dir = fs::path(ZUB_TEST_TMP) / ("wine-warm-up" + suffix);
    fs::create_directories(dir);
    fs::copy_file(Win32File("gbp.dll"), dir / "gbp.dll", fs::copy_options::overwrite_existing);
    std::string error;
    const auto command =
        MakeWineHostCommand(Win32File("gbp-host.exe"), dir / "gbp.dll", {prefix, {}}, error);
    THostChannel channel;
    if (!command || !channel.Start(*command, &error)) skip = "Wine does not run the host: " + error;
    channel.Stop();
  }
  if (lock >= 0) ::close(lock);
  return skip;
#endif
}

}  // namespace zub::test
