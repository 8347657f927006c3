// Where the program keeps its settings file, its catalogue and looks for the device library.
//
// Portable: the program's own folder holds zubmanager.INI and may be written, so everything
// stays there, as on Windows and in the build tree. Otherwise the user's folders, as Linux
// keeps them: the settings file and the catalogue in $XDG_CONFIG_HOME/zubmanager3 (copied
// there from the installed defaults, <prefix>/share/zubmanager3, at the first start), and the
// device library looked for there, in $XDG_DATA_HOME/zubmanager3, beside the program and in
// <prefix>/lib/zubmanager3, where the program is <prefix>/bin/NAME; the history of section
// contents kept in $XDG_DATA_HOME/zubmanager3/history. A home folder named on the
// command line stands for the program's folder and wins over both.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zub {

enum class TPathMode {
  Home,      // a folder named on the command line
  Portable,  // the program's own folder
  User,      // the user's configuration and data folders
};

// What the choice depends on: the program, the command line and the environment.
struct TPathQuery {
  std::filesystem::path Executable;  // the running program's path
  std::filesystem::path Home;        // the command line's home folder; empty: none given
  // The settings file's name in the program's folder (the window's own name with ".INI").
  std::string SettingsName = "zubmanager.INI";
  // The environment's values; empty when unset.
  std::string XdgConfigHome;
  std::string XdgDataHome;
  std::string UserHome;  // $HOME
  // Whether the program may write into a folder.
  std::function<bool(const std::filesystem::path&)> Writable;

  // The running process: its environment and the real file system.
  static TPathQuery ForProcess(std::filesystem::path executable, std::filesystem::path home = {});
};

struct TInstallPaths {
  TPathMode Mode = TPathMode::Portable;
  std::filesystem::path HomeDir;       // SECTIONS.INI
  std::filesystem::path SettingsPath;  // the program settings file
  // Where gbp.dll, cte_gbp.dll and gbp-host.exe are looked for; the first folder that holds
  // the file wins.
  std::vector<std::filesystem::path> LibraryDirs;
  // The history of section contents: $XDG_DATA_HOME/zubmanager3/history in user mode (empty
  // when neither it nor $HOME is set), HomeDir/history otherwise.
  std::filesystem::path HistoryDir;
  // User mode: the installed defaults that the first start copies into HomeDir.
  std::filesystem::path DefaultsDir;
};

TInstallPaths ResolvePaths(const TPathQuery& query);

// User mode: copies zubmanager.INI and SECTIONS.INI from DefaultsDir into HomeDir, each only
// when HomeDir does not hold it yet, never replacing what is there; a file is written whole
// or not at all. Returns what could not be done (empty when nothing went wrong); defaults that
// are not installed are no fault: the program then starts as without a settings file.
std::string InstallDefaults(const TInstallPaths& paths);

// Whether this process may create files in `dir`.
bool FolderWritable(const std::filesystem::path& dir);

}  // namespace zub
