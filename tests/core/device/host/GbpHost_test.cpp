// gbp-host.exe with a library that notes its calls (built by MinGW with its own stdcall
// export names), under Wine on Linux and started directly by the Windows build: the names
// resolve, the host ends the library's connection when the tool's end of its input closes
// (even in the middle of a call that never returns), a library that says it lost the link
// ends the host without a reply, and (Linux) --port writes Wine's serial port values in the
// registry. Skipped when the cross compiler or Wine is missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/device/DeviceTestSupport.h"
#include "device/host/HostChannel.h"
#include "device/host/PeFile.h"
#include "device/host/WineHost.h"

namespace zub::test::host {
namespace {

// The tests' library, copied into a folder of the test's own.
fs::path ScriptedLibrary(const fs::path& dir, const std::string& script = {}) {
  fs::copy_file(fs::path(ZUB_WIN32_TEST_DIR) / "gbp.dll", dir / "gbp.dll",
                fs::copy_options::overwrite_existing);
  if (!script.empty()) std::ofstream(dir / "script.txt") << script;
  return dir / "gbp.dll";
}

std::vector<std::string> CallLog(const fs::path& dir) {
  std::vector<std::string> lines;
  std::ifstream in(dir / "calls.log");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class GbpHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { skip_ = UseTestWinePrefix(); }
  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
    if (!fs::exists(fs::path(ZUB_WIN32_TEST_DIR) / "gbp.dll"))
      GTEST_SKIP() << "the tests' Windows library is not built";
    dir_ = FreshTestDir();
  }

  // Starts `channel` on gbp-host.exe serving `library`; a failure carries the reason.
  static ::testing::AssertionResult Start(THostChannel& channel, const fs::path& library,
                                          std::vector<std::string> hostArguments = {}) {
#if defined(_WIN32)
    // The tool's own way on Windows: the host started directly.
    EXPECT_TRUE(hostArguments.empty());
    std::string error;
    if (channel.Start(MakeDirectHostCommand(Win32File("gbp-host.exe"), library), &error))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error;
#else
    std::string error;
    const auto command = MakeWineHostCommand(Win32File("gbp-host.exe"), library,
                                             {std::getenv("WINEPREFIX"), {}, hostArguments}, error);
    if (command && channel.Start(*command, &error)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error;
#endif
  }

  static inline std::string skip_;
  fs::path dir_;
};

// MinGW exports a stdcall function as "InitGBPMode@4": the export check and the host both
// find all six under that name.
TEST_F(GbpHostTest, ServesALibraryWithMinGWsExportNames) {
  const fs::path library = ScriptedLibrary(dir_);
  const TPeFile pe = ReadPeFile(library);
  ASSERT_TRUE(pe.IsI386Dll());
  EXPECT_TRUE(pe.Exports("InitGBPMode@4"));
  EXPECT_FALSE(pe.Exports("InitGBPMode"));
  EXPECT_TRUE(MissingEntryPoints(pe).empty());
  THostChannel channel;
  ASSERT_TRUE(Start(channel, library));
  EXPECT_EQ(channel.Hello().entries, kAllEntries);
  EXPECT_EQ(channel.InitGBPMode(1), 0);
  EXPECT_EQ(channel.GetNVMFileSize(2, 5), gbp::kNoSection);
  EXPECT_EQ(channel.WriteNVMFile(2, 5, "abc", 3), 3);
  EXPECT_EQ(channel.EndGBPMode(), 0);
  EXPECT_EQ(CallLog(dir_), (std::vector<std::string>{
                               "InitGBPMode begins", "InitGBPMode -> 0", "GetNVMFileSize begins",
                               "GetNVMFileSize -> -153", "WriteNVMFile begins", "WriteNVMFile -> 3",
                               "EndGBPMode begins", "EndGBPMode -> 0"}));
}

// When the tool's end of the host's input closes, the host ends an open connection and goes,
// even while a call that never returns runs in it.
TEST_F(GbpHostTest, TheHostEndsTheConnectionWhenTheToolGoes) {
  struct TRow {
    const char* name;
    std::string script;
    bool open;       // InitGBPMode first
    bool ended;      // EndGBPMode before the input closes
    bool hangsRead;  // a read that never returns, cut short by the call's time limit
    std::vector<std::string> log;
  };
  const std::string opening[] = {"InitGBPMode begins", "InitGBPMode -> 0"};
  const std::string ending[] = {"EndGBPMode begins", "EndGBPMode -> 0"};
  // clang-format off
  const TRow rows[] = {
      {"never opened", "", false, false, false, {}},
      {"connection open", "", true, false, false, {opening[0], opening[1], ending[0], ending[1]}},
      {"connection ended", "", true, true, false, {opening[0], opening[1], ending[0], ending[1]}},
      {"in a call that never returns", "hang ReadNVMFile\n", true, false, true,
       {opening[0], opening[1], "ReadNVMFile begins", ending[0], ending[1]}},
  };
  // clang-format on
  int n = 0;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path dir = FreshTestDir("-" + std::to_string(n++));
    const fs::path library = ScriptedLibrary(dir, row.script);
    THostChannel channel;
    ASSERT_TRUE(Start(channel, library));
    const long pid = channel.ChildId();
    if (row.open) {
      EXPECT_EQ(channel.InitGBPMode(1), 0);
    }
    if (row.ended) {
      EXPECT_EQ(channel.EndGBPMode(), 0);
    }
    if (row.hangsRead) {
      channel.SetCallAllowance(std::chrono::milliseconds(500));
      std::vector<std::uint8_t> buffer(8);
      EXPECT_EQ(channel.ReadNVMFile(1, 1, buffer.data(), 8), -5);
      EXPECT_TRUE(channel.LastCallLost());
    }
    channel.Stop();
    EXPECT_EQ(CallLog(dir), row.log);
    EXPECT_TRUE(ProcessGone(pid));
  }
}

// The library's lost link (ZubSimLastCallLost after a -5) ends the host without a reply; the
// library's own -5 is an answer like any other.
TEST_F(GbpHostTest, ALibraryThatLostTheLinkEndsTheHost) {
  const fs::path library = ScriptedLibrary(dir_, "answer ClearNVMFile -5\nlose GetNVMFileSize\n");
  THostChannel channel;
  ASSERT_TRUE(Start(channel, library));
  ASSERT_EQ(channel.InitGBPMode(1), 0);
  EXPECT_EQ(channel.ClearNVMFile(2, 5), -5);
  EXPECT_FALSE(channel.LastCallLost());
  EXPECT_TRUE(channel.Running());
  EXPECT_EQ(channel.GetNVMFileSize(2, 5), -5);
  EXPECT_TRUE(channel.LastCallLost());
  EXPECT_FALSE(channel.Running());
}

#if !defined(_WIN32)
// --port sets the value of Wine's serial port in the registry, an empty device removes it.
// (COM7 and COM8: ports no other test of the shared prefix uses.)
TEST_F(GbpHostTest, PortArgumentsSetWinesSerialPortsInTheRegistry) {
  const fs::path library = ScriptedLibrary(dir_);
  const TPty pty;
  ASSERT_FALSE(pty.Device().empty());
  const std::string query =
      "WINEDEBUG=-all wine reg query 'HKLM\\Software\\Wine\\Ports' 2>/dev/null";
  // "    COM7    REG_SZ    /dev/pts/3"
  const auto value = [&](const std::string& port) {
    const std::string all = Output(query);
    const std::string head = port + "    REG_SZ    ";
    const std::size_t at = all.find(head);
    if (at == std::string::npos) return std::string();
    const std::size_t from = at + head.size();
    return all.substr(from, all.find_first_of("\r\n", from) - from);
  };
  struct TRow {
    std::vector<std::string> args;
    std::string com7, com8;
  };
  const TRow rows[] = {
      {{"--port", "COM7=" + pty.Device(), "--port", "COM8=/dev/null"}, pty.Device(), "/dev/null"},
      {{"--port", "COM8=/dev/zero"}, pty.Device(), "/dev/zero"},
      {{"--port", "COM7=", "--port", "COM8="}, "", ""},
  };
  for (const TRow& row : rows) {
    THostChannel channel;
    ASSERT_TRUE(Start(channel, library, row.args));
    channel.Stop();
    EXPECT_EQ(value("COM7"), row.com7);
    EXPECT_EQ(value("COM8"), row.com8);
  }
}

#endif

}  // namespace
}  // namespace zub::test::host
