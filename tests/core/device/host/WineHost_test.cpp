// The Wine side of the host on Linux: the prefix under the user's data folder, the COM port
// links in it, the Windows view of a Linux path, and the command that runs the host.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "core/device/DeviceTestSupport.h"
#include "device/host/WineHost.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

#if !defined(_WIN32)

using test::TScopedEnv;

TEST(WineHost, KeepsThePrefixInTheUsersDataFolder) {
  const struct {
    std::optional<std::string> xdg, home;
    fs::path prefix;
  } rows[] = {
      {"/data/me", "/home/me", "/data/me/zubmanager3/wine"},
      {"relative/is/ignored", "/home/me", "/home/me/.local/share/zubmanager3/wine"},
      {std::nullopt, std::nullopt, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.xdg.value_or("no XDG_DATA_HOME"));
    const TScopedEnv xdg("XDG_DATA_HOME", row.xdg), home("HOME", row.home);
    EXPECT_EQ(DefaultWinePrefix(), row.prefix);
  }
}

TEST(WineHost, ShowsLinuxPathsOnDriveZ) {
  EXPECT_EQ(WineWindowsPath("/opt/zub/bin/gbp.dll"), "Z:\\opt\\zub\\bin\\gbp.dll");
  EXPECT_EQ(WineWindowsPath("/a/./b/../gbp.dll"), "Z:\\a\\gbp.dll");
}

TEST(WineHost, FindsProgramsOnThePath) {
  const fs::path dir = test::FreshTestDir();
  fs::create_directories(dir / "one");
  fs::create_directories(dir / "two");
  std::ofstream(dir / "one" / "tool") << "not executable";
  std::ofstream(dir / "two" / "tool") << "#!/bin/sh\n";
  fs::permissions(dir / "two" / "tool", fs::perms::owner_all);
  TScopedEnv path("PATH", (dir / "none").string() + ":" + (dir / "one").string() + ":" +
                              (dir / "two").string());
  EXPECT_EQ(FindOnPath("tool"), dir / "two" / "tool");
  EXPECT_EQ(FindOnPath("missing"), std::nullopt);
  EXPECT_EQ(FindOnPath((dir / "two" / "tool").string()), dir / "two" / "tool");
  EXPECT_EQ(FindOnPath((dir / "one" / "tool").string()), std::nullopt);

  // Without wine on the path, the command says which packages to install.
  std::string error;
  EXPECT_FALSE(
      MakeWineHostCommand(dir / "gbp-host.exe", dir / "gbp.dll", {dir / "prefix", {}}, error));
  EXPECT_NE(error.find("wine wine32"), std::string::npos) << error;
  EXPECT_NE(error.find("i386"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(dir / "prefix"));
}

TEST(WineHost, BuildsTheHostsCommandAndMakesThePrefix) {
  const fs::path dir = test::FreshTestDir();
  fs::create_directories(dir / "bin");
  std::ofstream(dir / "bin" / "wine") << "#!/bin/sh\n";
  fs::permissions(dir / "bin" / "wine", fs::perms::owner_all);
  TScopedEnv path("PATH", (dir / "bin").string());
  TScopedEnv xdg("XDG_DATA_HOME", (dir / "data").string());
  std::string error;
  const auto command =
      MakeWineHostCommand(dir / "win32" / "gbp-host.exe", dir / "gbp.dll", {}, error);
  ASSERT_TRUE(command) << error;
  EXPECT_EQ(command->argv, (std::vector<std::string>{(dir / "bin" / "wine").string(),
                                                     (dir / "win32" / "gbp-host.exe").string(),
                                                     WineWindowsPath(dir / "gbp.dll")}));
  const fs::path prefix = dir / "data" / "zubmanager3" / "wine";
  EXPECT_TRUE(fs::is_directory(prefix));
  // A new prefix gets no device folder from us: Wine makes it with its drives.
  EXPECT_FALSE(fs::exists(prefix / "dosdevices"));
  const auto has = [&](const std::string& name, const std::string& value) {
    for (const auto& kv : command->env)
      if (kv.first == name) return kv.second == value;
    return false;
  };
  EXPECT_TRUE(has("WINEPREFIX", prefix.string()));
  EXPECT_TRUE(has("WINEDEBUG", "-all"));
}

TEST(WineHost, LinksTheComPortsInAReadyPrefix) {
  const fs::path prefix = test::FreshTestDir() / "prefix";
  const fs::path devices = prefix / "dosdevices";
  std::string error;
  EXPECT_FALSE(MapComPorts(prefix, {"/dev/ttyACM0", "", "", ""}, error));  // not set up yet
  EXPECT_FALSE(error.empty());

  fs::create_directories(devices);
  fs::create_directory_symlink("../drive_c", devices / "c:");
  fs::create_symlink("/dev/ttyS0", devices / "com1");
  fs::create_symlink("/dev/ttyS1", devices / "com2");
  std::ofstream(devices / "com4") << "a file, not a link";
  error.clear();
  EXPECT_FALSE(MapComPorts(prefix, {"/dev/ttyACM0", "", "/dev/ttyUSB1", "/dev/ttyUSB2"}, error));
  EXPECT_NE(error.find("com4"), std::string::npos) << error;
  EXPECT_EQ(fs::read_symlink(devices / "com1"), "/dev/ttyACM0");       // replaced
  EXPECT_EQ(fs::read_symlink(devices / "com2"), "/dev/ttyS1");         // Wine's own stands
  EXPECT_EQ(fs::read_symlink(devices / "com3"), "/dev/ttyUSB1");       // made
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(devices / "com4")));  // left alone

  // Done again, nothing changes and nothing fails.
  error.clear();
  EXPECT_TRUE(MapComPorts(prefix, {"/dev/ttyACM0", "", "/dev/ttyUSB1", ""}, error)) << error;
  EXPECT_EQ(fs::read_symlink(devices / "com1"), "/dev/ttyACM0");
  // PrepareWinePrefix maps the ports of a ready prefix at once.
  EXPECT_TRUE(PrepareWinePrefix({prefix, {"", "/dev/ttyACM1", "", ""}}, error)) << error;
  EXPECT_EQ(fs::read_symlink(devices / "com2"), "/dev/ttyACM1");
}

// The host is told each port mapped, and each port mapped before and no longer (to remove);
// the record of what a program folder mapped is its own.
TEST(WineHost, PortsAreSetAndGivenBackByWhatWasRecorded) {
  using TPorts = std::array<std::string, 4>;
  struct TRow {
    const char* name;
    TPorts devices, recorded;
    std::vector<std::string> args;
  };
  const TRow rows[] = {
      {"nothing mapped, ever", {}, {}, {}},
      {"mapped",
       {"/dev/ttyACM0", "", "", "/dev/ttyUSB1"},
       {},
       {"--port", "COM1=/dev/ttyACM0", "--port", "COM4=/dev/ttyUSB1"}},
      {"mapped as before",
       {"/dev/ttyACM0", "", "", ""},
       {"/dev/ttyACM0", "", "", ""},
       {"--port", "COM1=/dev/ttyACM0"}},
      {"a key removed", {"", "", "", ""}, {"", "/dev/ttyACM0", "", ""}, {"--port", "COM2="}},
      {"moved to another port",
       {"", "", "/dev/ttyACM0", ""},
       {"/dev/ttyACM0", "", "", ""},
       {"--port", "COM1=", "--port", "COM3=/dev/ttyACM0"}},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(PortArguments(row.devices, row.recorded), row.args);
  }

  const fs::path prefix = test::FreshTestDir() / "prefix";
  const TPorts mapped = {"/dev/ttyACM0", "", "/dev/ttyUSB1", ""};
  EXPECT_EQ(ReadPortRecord(prefix, "/opt/zub"), TPorts{});
  EXPECT_TRUE(WritePortRecord(prefix, "/opt/zub", mapped));
  EXPECT_EQ(ReadPortRecord(prefix, "/opt/zub"), mapped);
  EXPECT_EQ(ReadPortRecord(prefix, "/opt/other"), TPorts{});
  EXPECT_TRUE(WritePortRecord(prefix, "/opt/zub", {}));
  EXPECT_EQ(ReadPortRecord(prefix, "/opt/zub"), TPorts{});

  // A port given back loses our link, not one that leads elsewhere now.
  const fs::path devices = prefix / "dosdevices";
  fs::create_directories(devices);
  fs::create_symlink("/dev/ttyACM0", devices / "com1");
  fs::create_symlink("/dev/ttyS1", devices / "com2");
  fs::create_symlink("/dev/ttyUSB1", devices / "com3");
  UnmapComPorts(prefix, {"", "", "/dev/ttyUSB1", ""}, {"/dev/ttyACM0", "/dev/ttyACM1", "", ""});
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(devices / "com1")));
  EXPECT_EQ(fs::read_symlink(devices / "com2"), "/dev/ttyS1");
  EXPECT_EQ(fs::read_symlink(devices / "com3"), "/dev/ttyUSB1");
}

#endif

TEST(WineHost, SendsOnlyWindowsI386LibrariesThroughTheHost) {
  TPeFile pe;
  pe.status = TPeStatus::Ok;
  pe.machine = TPeFile::kMachineI386;
  pe.pe32 = true;
  pe.dll = true;
#if defined(_WIN32) && !defined(_WIN64)
  EXPECT_FALSE(NeedsHost(pe));
#else
  EXPECT_TRUE(NeedsHost(pe));
#endif
  pe.machine = 0x8664;
  EXPECT_FALSE(NeedsHost(pe));
  EXPECT_FALSE(NeedsHost(TPeFile{}));  // an ELF library, or no file: loaded in-process as before
}

}  // namespace
}  // namespace zub
