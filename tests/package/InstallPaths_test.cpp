// Where the settings, the catalogue and the device library are taken from: the program's own
// folder (portable), the user's XDG folders, or a home folder from the command line; and the
// first start's copy of the installed defaults, which never replaces what the user has.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/InstallPaths.h"
#include "support/TestFiles.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

// A prefix p with the program in p/bin, a user's home h, XDG folders c and d, and a home m
// named on the command line.
class InstallPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(ZUB_TEST_TMP) / "install-paths" /
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(root_);
    for (const char* dir : {"p/bin", "p/share/zubmanager3", "h", "c", "d", "m"})
      fs::create_directories(root_ / dir);
  }
  // Short names in a text: {bin} the program's folder, {lib} and {share} the installed
  // folders, {cfg} and {dat} the default XDG folders; {root} the test's folder.
  fs::path At(std::string text) const {
    const std::pair<const char*, const char*> names[] = {
        {"{bin}", "{root}/p/bin"},
        {"{lib}", "{root}/p/lib/zubmanager3"},
        {"{share}", "{root}/p/share/zubmanager3"},
        {"{cfg}", "{root}/h/.config/zubmanager3"},
        {"{dat}", "{root}/h/.local/share/zubmanager3"},
        {"{root}", ""}};
    for (const auto& [name, meaning] : names)
      for (auto at = text.find(name); at != std::string::npos; at = text.find(name))
        text.replace(at, std::strlen(name), *meaning ? meaning : root_.string().c_str());
    return fs::path(text);
  }
  fs::path Program() const { return root_ / "p/bin/zub"; }

  fs::path root_;
};

// The program is {root}/p/bin/zub; $HOME is {root}/h unless a row says otherwise.
struct PathCase {
  const char* Name;
  bool Ini, Writable;  // the program's folder holds zubmanager.INI, may be written
  const char *Home, *XdgConfig, *XdgData, *UserHome, *SettingsName;
  TPathMode Mode;
  const char *HomeDir, *Settings;
  const char* LibraryDirs;  // separated by blanks
  const char* Defaults;
};
void PrintTo(const PathCase& c, std::ostream* out) {
  *out << c.Name;
}

constexpr auto kPortable = TPathMode::Portable, kUser = TPathMode::User, kHome = TPathMode::Home;
// clang-format off
const PathCase kPathCases[] = {
  {"PortableWhenTheFolderHoldsTheSettingsAndIsWritable", true, true, "", "", "", "{root}/h",
   "zubmanager.INI", kPortable, "{bin}", "{bin}/zubmanager.INI", "{bin} {lib}", ""},
  {"TheWindowKeepsItsOwnNameForAPortableSettingsFile", true, true, "", "", "", "{root}/h",
   "zub-window-bench.INI", kPortable, "{bin}", "{bin}/zub-window-bench.INI", "{bin} {lib}", ""},
  {"UserFoldersWhenTheProgramsFolderIsNotWritable", true, false, "", "", "", "{root}/h",
   "zubmanager.INI", kUser, "{cfg}", "{cfg}/zubmanager.INI", "{cfg} {dat} {bin} {lib}", "{share}"},
  {"UserFoldersWhenNoSettingsLieBesideTheProgram", false, true, "", "", "", "{root}/h",
   "zubmanager.INI", kUser, "{cfg}", "{cfg}/zubmanager.INI", "{cfg} {dat} {bin} {lib}", "{share}"},
  {"UserFoldersNamedByTheXdgVariables", false, false, "", "{root}/c", "{root}/d", "{root}/h",
   "zub-window-bench.INI", kUser, "{root}/c/zubmanager3", "{root}/c/zubmanager3/zubmanager.INI",
   "{root}/c/zubmanager3 {root}/d/zubmanager3 {bin} {lib}", "{share}"},
  {"RelativeXdgVariablesAreIgnored", false, false, "", "c", "d", "{root}/h",
   "zubmanager.INI", kUser, "{cfg}", "{cfg}/zubmanager.INI", "{cfg} {dat} {bin} {lib}", "{share}"},
  {"AConfigFolderWithoutAnyHomeLeavesOutTheDataFolder", false, false, "", "{root}/c", "", "",
   "zubmanager.INI", kUser, "{root}/c/zubmanager3", "{root}/c/zubmanager3/zubmanager.INI",
   "{root}/c/zubmanager3 {bin} {lib}", "{share}"},
  {"NoHomeAndNoXdgFallsBackToTheProgramsFolder", false, false, "", "", "", "",
   "zubmanager.INI", kPortable, "{bin}", "{bin}/zubmanager.INI", "{bin} {lib}", ""},
  {"TheCommandLinesHomeWinsOverAPortableFolder", true, true, "{root}/m", "", "", "{root}/h",
   "zubmanager.INI", kHome, "{root}/m", "{root}/m/zubmanager.INI", "{root}/m {lib}", ""},
  {"TheCommandLinesHomeWinsOverTheXdgFolders", false, false, "{root}/m", "{root}/c", "{root}/d",
   "{root}/h", "zub-window-bench.INI", kHome, "{root}/m", "{root}/m/zubmanager.INI",
   "{root}/m {lib}", ""},
};
// clang-format on

class ResolvePathsTable : public InstallPathsTest,
                          public ::testing::WithParamInterface<PathCase> {};

TEST_P(ResolvePathsTable, ChoosesTheFolders) {
  const PathCase& c = GetParam();
  if (c.Ini) test::WriteFile(At("{bin}/zubmanager.INI"), "[Manager]\n");
  TPathQuery query;
  query.Executable = Program();
  query.Home = At(c.Home);
  query.SettingsName = c.SettingsName;
  query.XdgConfigHome = At(c.XdgConfig).string();
  query.XdgDataHome = At(c.XdgData).string();
  query.UserHome = At(c.UserHome).string();
  // As root every folder may be written; the case says what the file system would answer.
  query.Writable = [&](const fs::path& dir) {
    EXPECT_EQ(dir, At("{bin}")) << "only the program's folder is asked about";
    return c.Writable;
  };

  const TInstallPaths paths = ResolvePaths(query);
  EXPECT_EQ(paths.Mode, c.Mode);
  EXPECT_EQ(paths.HomeDir, At(c.HomeDir));
  EXPECT_EQ(paths.SettingsPath, At(c.Settings));
  std::vector<fs::path> libraryDirs;
  std::istringstream words(c.LibraryDirs);
  for (std::string dir; words >> dir;) libraryDirs.push_back(At(dir));
  EXPECT_EQ(paths.LibraryDirs, libraryDirs);
  EXPECT_EQ(paths.DefaultsDir, At(c.Defaults));
}

INSTANTIATE_TEST_SUITE_P(Cases, ResolvePathsTable, ::testing::ValuesIn(kPathCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// The first start: what the settings folder holds afterwards, "settings|catalogue" ("-" for a
// file that is not there; the installed defaults hold "ds" and "dc", the user's own settings
// "mine"), or "problem" when the copy is reported as failed.
struct DefaultsCase {
  const char* Name;
  bool Mine;       // the user has a zubmanager.INI of his own
  bool Installed;  // the defaults are installed in p/share/zubmanager3
  bool InTheWay;   // a file where the settings folder should be
  bool CmdHome;    // a home folder named on the command line
  const char* After;
};
void PrintTo(const DefaultsCase& c, std::ostream* out) {
  *out << c.Name;
}

// clang-format off
const DefaultsCase kDefaultsCases[] = {
  {"AFirstStartCopiesBothFiles",            false, true,  false, false, "ds|dc"},
  {"TheUsersOwnSettingsAreNeverReplaced",   true,  true,  false, false, "mine|dc"},
  {"DefaultsThatAreNotInstalledAreNoFault", false, false, false, false, "-|-"},
  {"AFolderThatCannotBeMadeIsReported",     false, true,  true,  false, "problem"},
  {"NothingIsCopiedIntoTheCommandLinesHome", false, true, false, true, "-|-"},
};
// clang-format on

class InstallDefaultsTable : public InstallPathsTest,
                             public ::testing::WithParamInterface<DefaultsCase> {};

TEST_P(InstallDefaultsTable, CopiesWhatIsMissing) {
  const DefaultsCase& c = GetParam();
  const fs::path config = At("{cfg}");
  if (c.Installed) {
    test::WriteFile(At("{share}/zubmanager.INI"), "ds");
    test::WriteFile(At("{share}/SECTIONS.INI"), "dc");
  }
  fs::create_directories(config.parent_path());
  if (c.InTheWay) test::WriteFile(config, "not a folder");
  if (c.Mine) {
    fs::create_directories(config);
    test::WriteFile(config / "zubmanager.INI", "mine");
  }
  TPathQuery query;
  query.Executable = Program();
  query.UserHome = At("{root}/h").string();
  if (c.CmdHome) query.Home = At("{root}/m");
  const TInstallPaths paths = ResolvePaths(query);

  const std::string problem = InstallDefaults(paths);
  if (std::string(c.After) == "problem") {
    EXPECT_NE(problem, "");
    return;
  }
  EXPECT_EQ(problem, "");
  auto text = [](const fs::path& file) { return fs::exists(file) ? test::ReadText(file) : "-"; };
  EXPECT_EQ(text(paths.SettingsPath) + "|" + text(paths.HomeDir / "SECTIONS.INI"), c.After);
  // Nothing else is left behind, no temporary file in particular.
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(paths.HomeDir, ec)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "zubmanager.INI" || name == "SECTIONS.INI") << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, InstallDefaultsTable, ::testing::ValuesIn(kDefaultsCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(InstallPathsTest, WriteAccessIsTheFileSystemsAnswer) {
  EXPECT_TRUE(FolderWritable(root_));
  EXPECT_FALSE(FolderWritable(root_ / "nowhere"));
  if (geteuid() == 0) GTEST_SKIP() << "root may write into a folder without write permission";
  fs::permissions(root_ / "h", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(FolderWritable(root_ / "h"));
  fs::permissions(root_ / "h", fs::perms::owner_all);
}

}  // namespace
}  // namespace zub
