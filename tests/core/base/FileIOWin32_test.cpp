// Writing files whole on Windows: names beyond ASCII and the system's code page given as
// UTF-8, both separators, and targets that may not be replaced.
#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <filesystem>
#include <string>

#include "base/Convert.h"
#include "base/FileIO.h"
#include "support/TestFiles.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

fs::path FreshDir(const std::string& name) {
  const fs::path dir = fs::path(ZUB_TEST_TMP) / "win32" / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string Utf8(const fs::path& p) {
  const std::u8string text = p.u8string();
  return std::string(text.begin(), text.end());
}

std::size_t Entries(const fs::path& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
  return n;
}

// The folder and the file name as the user's UTF-8 texts: written, read back, found by the
// wide API under the same name, and written over without a temporary file left beside it.
TEST(FileIOWin32, NamesComeAndGoAsUtf8) {
  const struct {
    const char* folder;
    const char* file;
  } rows[] = {
      {"plain", "2-1.bin"},
      {"with spaces", "my backup 1.bin"},
      {"Телефон", "мелодия.bin"},         // Cyrillic: the code page of one locale, not another's
      {"电话", "备份.bin"},               // no single-byte code page holds these
      {"Ölçü ü", "ß€.bin"},               // Latin letters and a sign outside Latin-1
      {"emoji", "\xF0\x9F\x93\xB1.bin"},  // a surrogate pair in UTF-16
  };
  const fs::path root = FreshDir("names");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.folder);
    const fs::path folder = root / PathFromUtf8(row.folder);
    fs::create_directories(folder);
    for (const char sep : {'/', '\\'}) {
      const std::string path = Utf8(folder) + sep + row.file;
      WriteFileAtomic(path, test::Pattern(100, 1));
      WriteFileAtomic(path, test::Pattern(300, 2));
      EXPECT_EQ(ReadFileHead(path, 1000), test::Pattern(300, 2));
      // The wide name Windows shows the user is the one given.
      EXPECT_TRUE(fs::is_regular_file(folder / PathFromUtf8(row.file)));
      EXPECT_EQ(PathFromUtf8(path).filename().u8string(), PathFromUtf8(row.file).u8string());
      EXPECT_EQ(Entries(folder), 1u);
      fs::remove(folder / PathFromUtf8(row.file));
    }
  }
}

// A target that may not be replaced: open in another program (Windows, unlike POSIX, refuses
// to replace it) or read-only (the file's attribute). The write fails with a message naming it,
// the target keeps its old bytes and no temporary file stays behind; once the other program
// lets go, the write goes through.
TEST(FileIOWin32, ATargetThatMayNotBeReplacedKeepsItsBytes) {
  const struct {
    const char* name;
    DWORD share;  // what the other program lets others do while it holds the file; -1: none open
    DWORD attributes;
  } rows[] = {
      {"open, sharing read and write", FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_ATTRIBUTE_NORMAL},
      {"open, sharing nothing", 0, FILE_ATTRIBUTE_NORMAL},
      {"read-only", DWORD(-1), FILE_ATTRIBUTE_READONLY},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path dir = FreshDir("held");
    const fs::path target = dir / "zubmanager.INI";
    test::WriteFile(target, std::string("old"));
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), row.attributes));
    const HANDLE held = row.share == DWORD(-1)
                            ? INVALID_HANDLE_VALUE
                            : CreateFileW(target.c_str(), GENERIC_READ, row.share, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_EQ(held == INVALID_HANDLE_VALUE, row.share == DWORD(-1));
    const std::string path = Utf8(target);
    try {
      WriteFileAtomic(path, test::Pattern(10));
      ADD_FAILURE() << "the file was replaced";
    } catch (const EFileError& e) {
      EXPECT_NE(std::string(e.what()).find("Cannot create file \"" + path + "\"."),
                std::string::npos)
          << e.what();
    }
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(test::ReadText(target), "old");
    EXPECT_EQ(Entries(dir), 1u);
    WriteFileAtomic(path, test::Pattern(10));
    EXPECT_EQ(test::ReadFile(target), test::Pattern(10));
  }
}

}  // namespace
}  // namespace zub
