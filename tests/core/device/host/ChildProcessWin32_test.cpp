// The host started as a Windows child process, as a 64-bit build of the tool starts it: the
// program and the library in folders whose names need quoting on a Windows command line or
// lie beyond the system's code page, answering calls through the pipes; and a program that is
// not there.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "core/device/DeviceTestSupport.h"
#include "device/host/ChildProcess.h"
#include "device/host/HostChannel.h"
#include "device/host/WineHost.h"
#include "support/TestFiles.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

TEST(ChildProcessWin32, TheHostStartsFromAnyFolder) {
  if (const std::string skip = test::Win32BuildMissing(); !skip.empty()) GTEST_SKIP() << skip;
  const struct {
    std::u8string_view hostFolder, libraryFolder;
  } rows[] = {
      {u8"host", u8"library"},
      {u8"the host", u8"the library folder"},  // quoted on the command line
      {u8"Хост ü", u8"库 文件夹"},             // beyond the system's code page
  };
  const fs::path root = test::FreshTestDir();
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.libraryFolder.begin(), row.libraryFolder.end()));
    const fs::path hostDir = root / fs::path(row.hostFolder);
    const fs::path libDir = root / fs::path(row.libraryFolder);
    fs::create_directories(hostDir);
    fs::create_directories(libDir);
    fs::copy_file(test::Win32File("gbp-host.exe"), hostDir / "gbp-host.exe",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(test::Win32File("gbp.dll"), libDir / "gbp.dll",
                  fs::copy_options::overwrite_existing);
    fs::create_directories(libDir / "phone");
    test::WriteFile(libDir / "phone" / "2-1.bin", std::string("0123456789"));

    THostChannel host;
    std::string error;
    ASSERT_TRUE(
        host.Start(MakeDirectHostCommand(hostDir / "gbp-host.exe", libDir / "gbp.dll"), &error))
        << error;
    EXPECT_NE(host.ChildId(), 0);
    // The simulator finds its telephone beside itself, whatever that folder is called.
    EXPECT_EQ(host.InitGBPMode(1), 0);
    EXPECT_EQ(host.GetNVMFileSize(2, 1), 10);
    EXPECT_EQ(host.EndGBPMode(), 0);
    host.Stop();
    EXPECT_FALSE(host.Running());
  }
}

TEST(ChildProcessWin32, AMissingProgramIsReportedByName) {
  const fs::path missing = test::FreshTestDir() / "no such folder" / "gbp-host.exe";
  THostChannel host;
  std::string error;
  EXPECT_FALSE(
      host.Start(MakeDirectHostCommand(missing, missing.parent_path() / "gbp.dll"), &error));
  EXPECT_NE(error.find("gbp-host.exe"), std::string::npos) << error;
  EXPECT_FALSE(host.Running());
}

}  // namespace
}  // namespace zub
