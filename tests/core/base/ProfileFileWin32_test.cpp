// A settings file read again after it changed on Windows, where the C++ library tells the time
// a file was written only to the second: a rewrite at the same size within that second, by this
// program or another, is seen all the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/ProfileFile.h"
#include "support/TestFiles.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

TEST(ProfileFileWin32, ARewriteWithinTheSameSecondIsRead) {
  const fs::path dir = fs::path(ZUB_TEST_TMP) / "win32" / "profile";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path path = dir / "zubmanager.INI";
  test::WriteFile(path, std::string("[Manager]\nCOM-Port=0\n"));
  TProfileFile cached(path);
  ASSERT_EQ(cached.ReadInteger("Manager", "COM-Port", -1), 0);
  // Each value is written and read back at once, many times a second, the size never changing:
  // by another copy of the file's object (as the settings are saved), then by another program.
  for (int value = 1; value <= 9; ++value) {
    TProfileFile writer(path);
    TProfileFile::TEdit(writer).WriteInteger("Manager", "COM-Port", value).Commit();
    EXPECT_EQ(cached.ReadInteger("Manager", "COM-Port", -1), value);
    test::WriteFile(path, "[Manager]\nCOM-Port=" + std::to_string(9 - value) + "\n");
    EXPECT_EQ(cached.ReadInteger("Manager", "COM-Port", -1), 9 - value);
  }
}

}  // namespace
}  // namespace zub
