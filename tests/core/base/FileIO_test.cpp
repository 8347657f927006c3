// Writing files whole or not at all: the target's bits, read-only targets, failures at each
// step, links at the target and at the temporary name. Reading odd files is covered by the
// bad-file table, through the commands.
#include "base/FileIO.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>

#include "base/Convert.h"
#include "support/TestFiles.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

using test::ReadText;

void Put(const fs::path& p, const std::string& text, unsigned mode = 0644) {
  test::WriteFile(p, text);
  fs::permissions(p, static_cast<fs::perms>(mode));
}

unsigned ModeOf(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0);
  return st.st_mode & 07777;
}

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

Bytes AsBytes(const std::string& s) {
  return Bytes(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// Writes beyond `limit` bytes fail (EFBIG) while it lives, as on a full disk.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    oldSignal_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit l = old_;
    l.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &l);
  }
  ~TFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, oldSignal_);
  }

 private:
  rlimit old_{};
  void (*oldSignal_)(int) = nullptr;
};

class FileIOTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::path(ZUB_TEST_TMP) / ("fileio-" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST_F(FileIOTest, ReplacesWholeOrNotAtAll) {
  const mode_t mask = ::umask(022);
  const std::string old = "the old contents\r\n", fresh = std::string(5000, 'n');
  struct Case {
    const char* name;
    std::function<void(const fs::path& target)> prepare;
    bool replaced;  // else refused: "Cannot create file" and the old state kept
    unsigned mode;  // the target's bits afterwards
    fs::path (*where)(const fs::path& dir);  // the target's path
  };
  const auto inDir = [](const fs::path& d) { return d / "target.bin"; };
  const Case cases[] = {
      {"NewFile", [](const fs::path&) {}, true, 0644, inDir},
      {"KeepsItsBits", [&](const fs::path& t) { Put(t, old, 0640); }, true, 0640, inDir},
      {"KeepsExecutableBits", [&](const fs::path& t) { Put(t, old, 0751); }, true, 0751, inDir},
      {"ReadOnly", [&](const fs::path& t) { Put(t, old, 0444); }, false, 0444, inDir},
      {"NoWriteBitForTheOwner", [&](const fs::path& t) { Put(t, old, 0466); }, false, 0466, inDir},
      {"Folder", [](const fs::path& t) { fs::create_directory(t); }, false, 0755, inDir},
      {"FolderMissing", [](const fs::path&) {}, false, 0,
       [](const fs::path& d) { return d / "no-such-folder" / "target.bin"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const fs::path target = c.where(dir_);
    c.prepare(target);
    const std::set<std::string> before = Names(dir_);
    const std::string had = fs::is_regular_file(target) ? ReadText(target) : "";
    if (c.replaced) {
      EXPECT_NO_THROW(WriteFileAtomic(target.string(), AsBytes(fresh)));
      EXPECT_EQ(ReadText(target), fresh);
    } else {
      try {
        WriteFileAtomic(target.string(), AsBytes(fresh));
        ADD_FAILURE() << "not refused";
      } catch (const EFileError& e) {
        EXPECT_TRUE(
            std::string(e.what()).starts_with("Cannot create file \"" + target.string() + "\". "))
            << e.what();
      }
      if (fs::is_regular_file(target)) {
        EXPECT_EQ(ReadText(target), had);
      }
    }
    if (c.mode) {
      EXPECT_EQ(ModeOf(target), c.mode);
    }
    // Only the target is there, and no temporary file.
    std::set<std::string> expected = before;
    if (c.replaced) expected.insert(target.filename().string());
    EXPECT_EQ(Names(dir_), expected);
  }
  ::umask(mask);
}

TEST_F(FileIOTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  const fs::path target = dir_ / "settings.ini";
  const std::string old(300, 'o');
  Put(target, old, 0600);
  {
    const TFileSizeLimit full(1000);
    EXPECT_THROW(WriteFileAtomic(target.string(), AsBytes(std::string(4000, 'n'))), EFileError);
  }
  EXPECT_EQ(ReadText(target), old);
  EXPECT_EQ(Names(dir_), std::set<std::string>{"settings.ini"});
}

TEST_F(FileIOTest, ALinkAtTheTargetIsKeptAndItsFileReplaced) {
  fs::create_directory(dir_ / "real");
  const fs::path real = dir_ / "real" / "file.bin", link = dir_ / "link.bin";
  Put(real, "old", 0640);
  fs::create_symlink(real, link);
  WriteFileAtomic(link.string(), AsBytes("new"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadText(real), "new");
  EXPECT_EQ(ModeOf(real), 0640u);
  EXPECT_EQ(Names(dir_ / "real"), std::set<std::string>{"file.bin"});
}

TEST_F(FileIOTest, ATakenTemporaryNameIsNeverFollowedNorRemoved) {
  const fs::path victim = dir_ / "victim.txt", target = dir_ / "target.bin";
  Put(victim, "precious", 0644);
  Put(target, "old", 0644);
  fs::create_symlink(victim, dir_ / "taken-link");
  fs::create_symlink(dir_ / "nowhere", dir_ / "taken-dangling");
  Put(dir_ / "taken-file", "someone else's", 0644);
  const char* names[] = {"taken-link", "taken-dangling", "taken-file", "fresh"};
  std::size_t asked = 0;
  WriteFileAtomic(target.string(), AsBytes("new"), [&] { return names[asked++]; });
  EXPECT_EQ(asked, 4u);
  EXPECT_EQ(ReadText(target), "new");
  EXPECT_EQ(ReadText(victim), "precious");
  EXPECT_EQ(fs::read_symlink(dir_ / "taken-link"), victim);
  EXPECT_TRUE(fs::is_symlink(dir_ / "taken-dangling"));
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
  EXPECT_EQ(ReadText(dir_ / "taken-file"), "someone else's");
  EXPECT_FALSE(fs::exists(dir_ / "fresh"));
}

// A text handed over by a reader (a command's file given in memory) is taken or refused as the
// same text read from the disk, with the same words.
TEST_F(FileIOTest, ATextFromAReaderIsJudgedAsTheSameFileOnDisk) {
  const fs::path file = dir_ / "list.txt";
  const TFileReader fromDisk = [](const std::string& path, std::size_t maxBytes) {
    return ReadFileHead(path, maxBytes);
  };
  struct Case {
    std::size_t length, limit;
  };
  for (const Case c : {Case{99, 100}, Case{100, 100}, Case{101, 100}, Case{5000, 3 << 20},
                       Case{(1 << 20) + 1, 1 << 20}, Case{0, 0}, Case{1, 0}}) {
    SCOPED_TRACE(std::to_string(c.length) + " bytes, limit " + std::to_string(c.limit));
    const std::string text(c.length, 'x');
    Put(file, text);
    std::string diskResult, readerResult;
    try {
      diskResult = ReadTextFile(file.string(), c.limit);
    } catch (const EFileError& e) {
      diskResult = std::string("refused: ") + e.what();
    }
    try {
      readerResult = ReadTextFile(fromDisk, file.string(), c.limit);
    } catch (const EFileError& e) {
      readerResult = std::string("refused: ") + e.what();
    }
    EXPECT_EQ(readerResult, diskResult);
    EXPECT_EQ(readerResult == text, c.length <= c.limit);
  }
}

}  // namespace
}  // namespace zub
