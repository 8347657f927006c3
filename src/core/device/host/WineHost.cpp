// Running gbp-host.exe through Wine on Linux (see WineHost.h).
#include "device/host/WineHost.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace zub {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool IsExecutableFile(const fs::path& p) {
  std::error_code ec;
  if (!fs::is_regular_file(p, ec)) return false;
#if defined(_WIN32)
  return true;
#else
  return ::access(p.c_str(), X_OK) == 0;
#endif
}

}  // namespace

std::optional<fs::path> FindOnPath(const std::string& program) {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string::npos) {
    if (IsExecutableFile(program)) return fs::path(program);
    return std::nullopt;
  }
  const std::string path = Env("PATH");
#if defined(_WIN32)
  constexpr char kSeparator = ';';
#else
  constexpr char kSeparator = ':';
#endif
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find(kSeparator, start), path.size());
    const std::string dir = path.substr(start, end - start);
    // An empty entry means the current folder.
    const fs::path candidate = (dir.empty() ? fs::path(".") : fs::path(dir)) / program;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

fs::path DefaultWinePrefix() {
  fs::path data;
  if (const std::string xdg = Env("XDG_DATA_HOME"); !xdg.empty() && fs::path(xdg).is_absolute()) {
    data = xdg;
  } else if (const std::string home = Env("HOME"); !home.empty()) {
    data = fs::path(home) / ".local" / "share";
  } else {
    return {};
  }
  return data / "zubmanager3" / "wine";
}

std::string WineWindowsPath(const fs::path& file) {
  std::string text = fs::absolute(file).lexically_normal().generic_string();
  for (char& c : text)
    if (c == '/') c = '\\';
  return "Z:" + text;
}

bool NeedsHost(const TPeFile& library) {
  if (!library.IsI386Dll()) return false;
#if defined(_WIN32) && !defined(_WIN64)
  return false;
#else
  return true;
#endif
}

std::optional<fs::path> FindHostExe(const fs::path& programDir) {
  for (const fs::path& candidate :
       {programDir / "gbp-host.exe", programDir / "win32" / "gbp-host.exe"}) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

bool WinePrefixReady(const fs::path& prefix) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(prefix / "dosdevices" / "c:", ec)) && !ec;
}

bool MapComPorts(const fs::path& prefix, const std::array<std::string, 4>& devices,
                 std::string& error) {
  if (!WinePrefixReady(prefix)) {
    error = "the Wine prefix " + prefix.string() + " is not set up yet";
    return false;
  }
  bool ok = true;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].empty()) continue;
    const fs::path link = prefix / "dosdevices" / ("com" + std::to_string(i + 1));
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(link, ec);
    if (fs::exists(status)) {
      if (!fs::is_symlink(status)) {
        error = link.string() + " is not a link; COM" + std::to_string(i + 1) + " is left as it is";
        ok = false;
        continue;
      }
      if (fs::read_symlink(link, ec) == fs::path(devices[i]) && !ec) continue;
      fs::remove(link, ec);
    }
    ec.clear();
    fs::create_symlink(devices[i], link, ec);
    if (ec) {
      error = "cannot link " + link.string() + " to " + devices[i] + ": " + ec.message();
      ok = false;
    }
  }
  return ok;
}

bool PrepareWinePrefix(const TWineOptions& options, std::string& error) {
  const fs::path prefix = options.prefix.empty() ? DefaultWinePrefix() : options.prefix;
  if (prefix.empty()) {
    error = "no folder for the Wine prefix (neither XDG_DATA_HOME nor HOME is set)";
    return false;
  }
  std::error_code ec;
  fs::create_directories(prefix, ec);
  if (ec) {
    error = "cannot make the Wine prefix " + prefix.string() + ": " + ec.message();
    return false;
  }
  if (!WinePrefixReady(prefix)) return true;  // Wine sets it up at the first start
  return MapComPorts(prefix, options.comDevices, error);
}

namespace {

fs::path PortRecordFile(const fs::path& prefix, const fs::path& programDir) {
  // FNV-1a of the folder: a short stable file name.
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : fs::absolute(programDir).lexically_normal().string()) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return prefix / "zubmanager3-ports" / hex;
}

}  // namespace

std::array<std::string, 4> ReadPortRecord(const fs::path& prefix, const fs::path& programDir) {
  std::array<std::string, 4> recorded;
  std::ifstream in(PortRecordFile(prefix, programDir));
  std::string line;
  while (std::getline(in, line)) {
    // "COMn=DEVICE"
    if (line.size() < 6 || line.compare(0, 3, "COM") != 0 || line[4] != '=') continue;
    const int n = line[3] - '0';
    if (n >= 1 && n <= 4) recorded[static_cast<std::size_t>(n - 1)] = line.substr(5);
  }
  return recorded;
}

bool WritePortRecord(const fs::path& prefix, const fs::path& programDir,
                     const std::array<std::string, 4>& devices) {
  const fs::path file = PortRecordFile(prefix, programDir);
  std::error_code ec;
  bool any = false;
  for (const auto& d : devices) any = any || !d.empty();
  if (!any) {
    fs::remove(file, ec);
    return !ec;
  }
  fs::create_directories(file.parent_path(), ec);
  std::ofstream out(file, std::ios::trunc);
  for (std::size_t i = 0; i < devices.size(); ++i)
    if (!devices[i].empty()) out << "COM" << i + 1 << '=' << devices[i] << '\n';
  return static_cast<bool>(out);
}

std::vector<std::string> PortArguments(const std::array<std::string, 4>& devices,
                                       const std::array<std::string, 4>& recorded) {
  std::vector<std::string> args;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].empty() && recorded[i].empty()) continue;
    args.push_back("--port");
    args.push_back("COM" + std::to_string(i + 1) + "=" + devices[i]);
  }
  return args;
}

void UnmapComPorts(const fs::path& prefix, const std::array<std::string, 4>& devices,
                   const std::array<std::string, 4>& recorded) {
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (!devices[i].empty() || recorded[i].empty()) continue;
    const fs::path link = prefix / "dosdevices" / ("com" + std::to_string(i + 1));
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(link, ec)) && fs::read_symlink(link, ec) == recorded[i])
      fs::remove(link, ec);
  }
}

std::optional<THostCommand> MakeWineHostCommand(const fs::path& hostExe, const fs::path& library,
                                                const TWineOptions& options, std::string& error) {
  const auto wine = FindOnPath("wine");
  if (!wine) {
    error = kWineMissingText;
    return std::nullopt;
  }
  if (!PrepareWinePrefix(options, error)) return std::nullopt;
  const fs::path prefix = options.prefix.empty() ? DefaultWinePrefix() : options.prefix;
  THostCommand command;
  command.argv = {wine->string(), fs::absolute(hostExe).string()};
  command.argv.insert(command.argv.end(), options.hostArguments.begin(),
                      options.hostArguments.end());
  command.argv.push_back(WineWindowsPath(library));
  command.env = {
      {"WINEPREFIX", fs::absolute(prefix).string()},
      {"WINEDEBUG", "-all"},
      // A new prefix would otherwise offer to install .NET and HTML support in dialogs.
      {"WINEDLLOVERRIDES", "mscoree,mshtml="},
  };
  return command;
}

THostCommand MakeDirectHostCommand(const fs::path& hostExe, const fs::path& library) {
  THostCommand command;
  command.argv = {fs::absolute(hostExe).string(), fs::absolute(library).string()};
  return command;
}

}  // namespace zub
