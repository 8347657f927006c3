// Loading the device library on Windows: from the folder the user chose, whatever its name,
// and from nowhere else (not the current folder, where Windows' own search would look), with
// no box of the system's for a file that is no library.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "core/device/DeviceTestSupport.h"
#include "device/DeviceLibrary.h"
#include "device/GbpApi.h"
#include "support/TestFiles.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

TEST(DeviceLibraryWin32, LoadsOnlyFromTheChosenFolder) {
  const fs::path root = test::FreshTestDir();
  const fs::path simulator = fs::path(ZUB_BIN_DIR) / "gbp.dll";
  const struct {
    std::u8string_view folder;  // the folder given to Load (made below root), "" for none
    std::string_view contents;  // its gbp.dll: "simulator", "garbage", "" for none
    std::string_view current;   // what the current folder holds: "simulator" or ""
    bool loaded;
  } rows[] = {
      {u8"plain", "simulator", "", true},
      {u8"with spaces", "simulator", "", true},
      {u8"Программы ü 电话", "simulator", "", true},
      {u8"empty", "", "simulator", false},  // a gbp.dll in the current folder is not taken
      {u8"", "", "simulator", false},       // nor without a folder
      {u8"garbage", "garbage", "", false},  // not a library: false, and no dialog waits
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.folder.begin(), row.folder.end()));
    const fs::path here = root / ("current" + std::to_string(++n));
    fs::create_directories(here);
    if (row.current == "simulator") fs::copy_file(simulator, here / "gbp.dll");
    fs::path folder;
    if (!row.folder.empty()) {
      folder = root / fs::path(row.folder);
      fs::create_directories(folder);
      if (row.contents == "simulator") fs::copy_file(simulator, folder / "gbp.dll");
      if (row.contents == "garbage")
        test::WriteFile(folder / "gbp.dll", std::string("MZ this is no library"));
    }
    const test::InFolder in(here);
    TDeviceLibrary library;
    EXPECT_EQ(library.Load("gbp.dll", folder), row.loaded);
    EXPECT_EQ(library.Loaded(), row.loaded);
    if (row.loaded) {
      // Every entry point is found under one of its export names.
      for (const gbp::TExportNames& names : gbp::kEntryNames) {
        bool found = false;
        names.ForEach([&](const char* name) { found = found || library.Symbol(name); });
        EXPECT_TRUE(found);
      }
    }
  }
}

}  // namespace
}  // namespace zub
