// Where the settings, the catalogue and the device library are taken from: the program's own
// folder (portable), the user's XDG folders, or a home folder from the command line; and the
// first start's copy of the installed defaults, which never replaces what the user has.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "base/InstallPaths.h"
#include "support/TestFiles.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

// A prefix with the program in bin/, a user's home, XDG folders and a command-line home.
class InstallPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(ZUB_TEST_TMP) / "install-paths" /
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(root_);
    for (const char* dir :
         {"prefix/bin", "prefix/share/zubmanager3", "home", "xdg-config", "xdg-data", "cmd-home"})
      fs::create_directories(root_ / dir);
  }
  // "{root}" in a text stands for the test's folder.
  fs::path At(const std::string& text) const {
    std::string s = text;
    if (const auto at = s.find("{root}"); at != std::string::npos) s.replace(at, 6, root_.string());
    return fs::path(s);
  }
  fs::path Program() const { return root_ / "prefix/bin/zub"; }

  fs::path root_;
};

struct PathCase {
  const char* Name;
  bool IniBesideProgram;
  bool ProgramDirWritable;
  const char* Home;  // --home; "" none
  const char* XdgConfigHome;
  const char* XdgDataHome;
  const char* UserHome;  // $HOME
  const char* SettingsName;
  TPathMode Mode;
  const char* HomeDir;
  const char* SettingsPath;
  std::vector<const char*> LibraryDirs;
  const char* DefaultsDir;
};

constexpr const char* kBin = "{root}/prefix/bin";
constexpr const char* kLib = "{root}/prefix/lib/zubmanager3";
constexpr const char* kShare = "{root}/prefix/share/zubmanager3";
constexpr const char* kConfig = "{root}/home/.config/zubmanager3";
constexpr const char* kData = "{root}/home/.local/share/zubmanager3";

const PathCase kPathCases[] = {
    {"PortableWhenTheProgramsFolderHoldsTheSettingsAndIsWritable",
     true,
     true,
     "",
     "",
     "",
     "{root}/home",
     "zubmanager.INI",
     TPathMode::Portable,
     kBin,
     "{root}/prefix/bin/zubmanager.INI",
     {kBin, kLib},
     ""},
    {"TheWindowKeepsItsOwnNameForThePortableSettingsFile",
     true,
     true,
     "",
     "",
     "",
     "{root}/home",
     "zub-window-bench.INI",
     TPathMode::Portable,
     kBin,
     "{root}/prefix/bin/zub-window-bench.INI",
     {kBin, kLib},
     ""},
    {"UserFoldersWhenTheProgramsFolderIsNotWritable",
     true,
     false,
     "",
     "",
     "",
     "{root}/home",
     "zubmanager.INI",
     TPathMode::User,
     kConfig,
     "{root}/home/.config/zubmanager3/zubmanager.INI",
     {kConfig, kData, kBin, kLib},
     kShare},
    {"UserFoldersWhenNoSettingsLieBesideTheProgram",
     false,
     true,
     "",
     "",
     "",
     "{root}/home",
     "zubmanager.INI",
     TPathMode::User,
     kConfig,
     "{root}/home/.config/zubmanager3/zubmanager.INI",
     {kConfig, kData, kBin, kLib},
     kShare},
    {"UserFoldersNamedByTheXdgVariables",
     false,
     false,
     "",
     "{root}/xdg-config",
     "{root}/xdg-data",
     "{root}/home",
     "zub-window-bench.INI",
     TPathMode::User,
     "{root}/xdg-config/zubmanager3",
     "{root}/xdg-config/zubmanager3/zubmanager.INI",
     {"{root}/xdg-config/zubmanager3", "{root}/xdg-data/zubmanager3", kBin, kLib},
     kShare},
    {"RelativeXdgVariablesAreIgnored",
     false,
     false,
     "",
     "xdg-config",
     "xdg-data",
     "{root}/home",
     "zubmanager.INI",
     TPathMode::User,
     kConfig,
     "{root}/home/.config/zubmanager3/zubmanager.INI",
     {kConfig, kData, kBin, kLib},
     kShare},
    {"AConfigFolderWithoutAnyHomeLeavesOutTheDataFolder",
     false,
     false,
     "",
     "{root}/xdg-config",
     "",
     "",
     "zubmanager.INI",
     TPathMode::User,
     "{root}/xdg-config/zubmanager3",
     "{root}/xdg-config/zubmanager3/zubmanager.INI",
     {"{root}/xdg-config/zubmanager3", kBin, kLib},
     kShare},
    {"NoHomeAndNoXdgFallsBackToTheProgramsFolder",
     false,
     false,
     "",
     "",
     "",
     "",
     "zubmanager.INI",
     TPathMode::Portable,
     kBin,
     "{root}/prefix/bin/zubmanager.INI",
     {kBin, kLib},
     ""},
    {"TheCommandLinesHomeWinsOverAPortableFolder",
     true,
     true,
     "{root}/cmd-home",
     "",
     "",
     "{root}/home",
     "zubmanager.INI",
     TPathMode::Home,
     "{root}/cmd-home",
     "{root}/cmd-home/zubmanager.INI",
     {"{root}/cmd-home", kLib},
     ""},
    {"TheCommandLinesHomeWinsOverTheXdgFolders",
     false,
     false,
     "{root}/cmd-home",
     "{root}/xdg-config",
     "{root}/xdg-data",
     "{root}/home",
     "zub-window-bench.INI",
     TPathMode::Home,
     "{root}/cmd-home",
     "{root}/cmd-home/zubmanager.INI",
     {"{root}/cmd-home", kLib},
     ""},
};

void PrintTo(const PathCase& c, std::ostream* out) {
  *out << c.Name;
}

class ResolvePathsTable : public InstallPathsTest,
                          public ::testing::WithParamInterface<PathCase> {};

TEST_P(ResolvePathsTable, ChoosesTheFolders) {
  const PathCase& c = GetParam();
  if (c.IniBesideProgram) test::WriteFile(At(kBin) / "zubmanager.INI", "[Manager]\n");
  TPathQuery query;
  query.Executable = Program();
  query.Home = At(c.Home);
  query.SettingsName = c.SettingsName;
  query.XdgConfigHome = At(c.XdgConfigHome).string();
  query.XdgDataHome = At(c.XdgDataHome).string();
  query.UserHome = At(c.UserHome).string();
  // As root every folder may be written; the case says what the file system would answer.
  query.Writable = [&](const fs::path& dir) {
    EXPECT_EQ(dir, At(kBin)) << "only the program's folder is asked about";
    return c.ProgramDirWritable;
  };

  const TInstallPaths paths = ResolvePaths(query);
  EXPECT_EQ(paths.Mode, c.Mode);
  EXPECT_EQ(paths.HomeDir, At(c.HomeDir));
  EXPECT_EQ(paths.SettingsPath, At(c.SettingsPath));
  std::vector<fs::path> libraryDirs;
  for (const char* dir : c.LibraryDirs) libraryDirs.push_back(At(dir));
  EXPECT_EQ(paths.LibraryDirs, libraryDirs);
  EXPECT_EQ(paths.DefaultsDir, At(c.DefaultsDir));
}

INSTANTIATE_TEST_SUITE_P(Cases, ResolvePathsTable, ::testing::ValuesIn(kPathCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// The first start: what the user's settings folder holds afterwards.
struct DefaultsCase {
  const char* Name;
  bool UserSettingsBefore;  // the user has a zubmanager.INI of his own
  bool DefaultsInstalled;
  bool FileInTheWay;  // a file where the settings folder should be
  bool ExpectProblem;
  const char* SettingsAfter;  // "" absent
  const char* CatalogueAfter;
};

const DefaultsCase kDefaultsCases[] = {
    {"AFirstStartCopiesBothFiles", false, true, false, false, "default settings",
     "default catalogue"},
    {"TheUsersOwnSettingsAreNeverReplaced", true, true, false, false, "my settings",
     "default catalogue"},
    {"DefaultsThatAreNotInstalledAreNoFault", false, false, false, false, "", ""},
    {"AFolderThatCannotBeMadeIsReported", false, true, true, true, "", ""},
};

void PrintTo(const DefaultsCase& c, std::ostream* out) {
  *out << c.Name;
}

class InstallDefaultsTable : public InstallPathsTest,
                             public ::testing::WithParamInterface<DefaultsCase> {};

TEST_P(InstallDefaultsTable, CopiesWhatIsMissing) {
  const DefaultsCase& c = GetParam();
  if (c.DefaultsInstalled) {
    test::WriteFile(At(kShare) / "zubmanager.INI", "default settings");
    test::WriteFile(At(kShare) / "SECTIONS.INI", "default catalogue");
  }
  fs::create_directories(At(kConfig).parent_path());
  if (c.FileInTheWay) test::WriteFile(At(kConfig), "not a folder");
  if (c.UserSettingsBefore) {
    fs::create_directories(At(kConfig));
    test::WriteFile(At(kConfig) / "zubmanager.INI", "my settings");
  }
  TPathQuery query;
  query.Executable = Program();
  query.UserHome = At("{root}/home").string();
  const TInstallPaths paths = ResolvePaths(query);
  ASSERT_EQ(paths.Mode, TPathMode::User);

  const std::string problem = InstallDefaults(paths);
  EXPECT_EQ(!problem.empty(), c.ExpectProblem) << problem;
  if (c.FileInTheWay) return;
  const auto settings = test::ReadFile(paths.SettingsPath);
  const auto catalogue = test::ReadFile(paths.HomeDir / "SECTIONS.INI");
  EXPECT_EQ(settings ? test::ReadText(paths.SettingsPath) : "", c.SettingsAfter);
  EXPECT_EQ(catalogue ? test::ReadText(paths.HomeDir / "SECTIONS.INI") : "", c.CatalogueAfter);
  // No temporary file is left behind.
  for (const auto& entry : fs::directory_iterator(paths.HomeDir)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "zubmanager.INI" || name == "SECTIONS.INI") << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, InstallDefaultsTable, ::testing::ValuesIn(kDefaultsCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(InstallPathsTest, NothingIsCopiedOutsideTheUsersFolders) {
  test::WriteFile(At(kShare) / "zubmanager.INI", "default settings");
  TPathQuery query;
  query.Executable = Program();
  query.Home = At("{root}/cmd-home");
  EXPECT_EQ(InstallDefaults(ResolvePaths(query)), "");
  EXPECT_FALSE(fs::exists(At("{root}/cmd-home/zubmanager.INI")));
}

TEST_F(InstallPathsTest, WriteAccessIsTheFileSystemsAnswer) {
  EXPECT_TRUE(FolderWritable(root_));
  EXPECT_FALSE(FolderWritable(root_ / "nowhere"));
  if (geteuid() == 0) GTEST_SKIP() << "root may write into a folder without write permission";
  fs::permissions(root_ / "home", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(FolderWritable(root_ / "home"));
  fs::permissions(root_ / "home", fs::perms::owner_all);
}

}  // namespace
}  // namespace zub
