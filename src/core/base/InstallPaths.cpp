// The choice of the settings folder and of the device library's folders, and the first start's
// copy of the installed defaults.
#include "base/InstallPaths.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <exception>

#include "base/FileIO.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

// Relative to the installation prefix; the install rules use the same folders.
constexpr const char* kDataDir = ZUB_INSTALL_DATADIR;
constexpr const char* kLibDir = ZUB_INSTALL_LIBDIR;
constexpr const char* kFolderName = "zubmanager3";
constexpr const char* kSettingsName = "zubmanager.INI";
constexpr const char* kCatalogueName = "SECTIONS.INI";

#if !defined(_WIN32)
std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
#endif

// An XDG variable counts only when it names an absolute folder; else $HOME/`fallback`.
fs::path XdgFolder(const std::string& value, const std::string& userHome, const char* fallback) {
  if (!value.empty() && fs::path(value).is_absolute()) return fs::path(value) / kFolderName;
  if (userHome.empty()) return {};
  return fs::path(userHome) / fallback / kFolderName;
}

}  // namespace

bool FolderWritable(const fs::path& dir) {
#if defined(_WIN32)
  return _waccess(dir.c_str(), 2) == 0;
#else
  return access(dir.c_str(), W_OK) == 0;
#endif
}

TPathQuery TPathQuery::ForProcess(fs::path executable, fs::path home) {
  TPathQuery query;
  query.Executable = std::move(executable);
  query.Home = std::move(home);
#if !defined(_WIN32)
  // Windows keeps everything in the program's folder: the user's folders are Linux's.
  query.XdgConfigHome = Env("XDG_CONFIG_HOME");
  query.XdgDataHome = Env("XDG_DATA_HOME");
  query.UserHome = Env("HOME");
#endif
  return query;
}

TInstallPaths ResolvePaths(const TPathQuery& query) {
  const fs::path programDir = query.Executable.parent_path();
  const fs::path prefix = programDir.parent_path();
  const fs::path installedLibs = prefix / kLibDir;
  const auto writable = query.Writable ? query.Writable : FolderWritable;

  TInstallPaths paths;
  std::error_code ec;
  if (!query.Home.empty()) {
    paths.Mode = TPathMode::Home;
    paths.HomeDir = fs::absolute(query.Home, ec);
    if (ec) paths.HomeDir = query.Home;
    paths.SettingsPath = paths.HomeDir / kSettingsName;
    paths.LibraryDirs = {paths.HomeDir, installedLibs};
    paths.HistoryDir = paths.HomeDir / "history";
    return paths;
  }
  const fs::path config = XdgFolder(query.XdgConfigHome, query.UserHome, ".config");
  const bool portable = fs::is_regular_file(programDir / kSettingsName, ec) && writable(programDir);
  if (portable || config.empty()) {
    paths.Mode = TPathMode::Portable;
    paths.HomeDir = programDir;
    paths.SettingsPath = programDir / query.SettingsName;
    paths.LibraryDirs = {programDir, installedLibs};
    paths.HistoryDir = programDir / "history";
    return paths;
  }
  paths.Mode = TPathMode::User;
  paths.HomeDir = config;
  paths.SettingsPath = config / kSettingsName;
  paths.LibraryDirs = {config};
  if (const fs::path data = XdgFolder(query.XdgDataHome, query.UserHome, ".local/share");
      !data.empty()) {
    paths.LibraryDirs.push_back(data);
    paths.HistoryDir = data / "history";
  }
  paths.LibraryDirs.push_back(programDir);
  paths.LibraryDirs.push_back(installedLibs);
  paths.DefaultsDir = prefix / kDataDir;
  return paths;
}

std::string InstallDefaults(const TInstallPaths& paths) {
  if (paths.Mode != TPathMode::User) return {};
  std::error_code ec;
  fs::create_directories(paths.HomeDir, ec);
  if (ec) return "cannot create " + paths.HomeDir.string() + ": " + ec.message();
  std::string problems;
  for (const char* name : {kSettingsName, kCatalogueName}) {
    const fs::path target = paths.HomeDir / name;
    const fs::path source = paths.DefaultsDir / name;
    if (fs::exists(fs::symlink_status(target, ec)) || !fs::is_regular_file(source, ec)) continue;
    try {
      const std::string text = ReadTextFile(source.string());
      WriteFileAtomic(target.string(),
                      Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    } catch (const std::exception& e) {
      problems += (problems.empty() ? "" : "; ") + std::string("cannot copy ") + source.string() +
                  " to " + target.string() + ": " + e.what();
    }
  }
  return problems;
}

}  // namespace zub
