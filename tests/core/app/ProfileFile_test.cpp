#include "app/ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace zub {
namespace {

namespace fs = std::filesystem;

class ProfileFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::path(ZUB_TEST_TMP) / ("profile-" + std::to_string(rd()));
    fs::create_directories(dir_);
    path_ = dir_ / "zubmanager.INI";
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const std::string& text) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
  }
  std::string Read() {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir_, path_;
};

TEST_F(ProfileFileTest, MissingFileAndKeysGiveDefaults) {
  TProfileFile f(path_);
  EXPECT_EQ(f.ReadString("Form", "Top", "d"), "d");
  EXPECT_EQ(f.ReadInteger("Form", "Top", 20), 20);
  EXPECT_TRUE(f.ReadBool("Manager", "CTEMode", true));
  EXPECT_FALSE(f.SectionExists("Form"));
}

TEST_F(ProfileFileTest, TellsWhetherItsTextIsUtf8) {
  const std::pair<std::string, bool> cases[] = {
      {"[0x0210]\r\nDescription=PRG3 library\r\n", true},
      {"[0x0210]\nDescription=Библиотека €\n", true},
      {"[0x0210]\nDescription=\xC1\xE8\xE1\xEB\xE8\xEE\xF2\xE5\xEA\xE0\n", false},
      {"[a]\nb=\xD0\n", false},          // a sequence cut off by the line end
      {"[a]\nb=\xC0\xAF\n", false},      // an overlong form
      {"[a]\nb=\xED\xA0\x80\n", false},  // a surrogate
      {"[a]\nb=\xF0\x9F\x98\x80\n", true},
  };
  for (const auto& [text, utf8] : cases) {
    Write(text);
    TProfileFile f(path_);
    EXPECT_EQ(f.TextIsUtf8(), utf8) << text;
  }
  std::filesystem::remove(path_);
  EXPECT_TRUE(TProfileFile(path_).TextIsUtf8());
}

TEST_F(ProfileFileTest, NamesMatchWithoutRegardToCase) {
  Write("[form]\r\nTOP=15\r\n[Sections]\r\nSection1=0x0201\r\n");
  TProfileFile f(path_);
  EXPECT_EQ(f.ReadInteger("Form", "Top", 0), 15);
  EXPECT_EQ(f.ReadString("SECTIONS", "section1", ""), "0x0201");
  EXPECT_TRUE(f.SectionExists("FORM"));
}

TEST_F(ProfileFileTest, IntegersInEveryNotationAndBadOnesGiveTheDefault) {
  Write("[M]\na=0x10\nb=$10\nc=x10\nd= -5\ne=12abc\nf=\ng=1\nh=0\n");
  TProfileFile f(path_);
  EXPECT_EQ(f.ReadInteger("M", "a", 0), 16);
  EXPECT_EQ(f.ReadInteger("M", "b", 0), 16);
  EXPECT_EQ(f.ReadInteger("M", "c", 0), 16);
  EXPECT_EQ(f.ReadInteger("M", "d", 0), -5);
  EXPECT_EQ(f.ReadInteger("M", "e", 99), 99);
  EXPECT_EQ(f.ReadInteger("M", "f", 99), 99);
  EXPECT_TRUE(f.ReadBool("M", "g", false));
  EXPECT_FALSE(f.ReadBool("M", "h", true));
}

TEST_F(ProfileFileTest, ValuesAreKeptAsWritten) {
  Write("[Sections]\nsection1=0x0210\nsection2=528\n");
  TProfileFile f(path_);
  EXPECT_EQ(f.ReadString("Sections", "section1", ""), "0x0210");
  EXPECT_EQ(f.ReadString("Sections", "section2", ""), "528");
}

TEST_F(ProfileFileTest, WritingKeepsEverythingElseInTheFile) {
  Write("; my notes\n[Sections]\nsection1=0x0210\n[Sign]\n0x00000003=Counter\n[Form]\nTop=1\n");
  {
    TProfileFile f(path_);
    f.WriteInteger("Form", "Top", 77);
    f.WriteBool("Manager", "CTEMode", true);
  }
  TProfileFile g(path_);
  EXPECT_EQ(g.ReadInteger("Form", "Top", 0), 77);
  EXPECT_EQ(g.ReadString("Manager", "CTEMode", ""), "1");
  EXPECT_EQ(g.ReadString("Sections", "section1", ""), "0x0210");
  EXPECT_EQ(g.ReadString("Sign", "0x00000003", ""), "Counter");
  EXPECT_NE(Read().find("my notes"), std::string::npos);
}

TEST_F(ProfileFileTest, ReadsSeeTheFileAsItIsNow) {
  Write("[Form]\nTop=1\n");
  TProfileFile reader(path_);
  EXPECT_EQ(reader.ReadInteger("Form", "Top", 0), 1);
  {
    TProfileFile writer(path_);
    writer.WriteInteger("Form", "Top", 123456);
  }
  EXPECT_EQ(reader.ReadInteger("Form", "Top", 0), 123456);
}

}  // namespace
}  // namespace zub

namespace zub {
namespace {

TEST_F(ProfileFileTest, AHoldReadsOneStateOfTheFile) {
  Write("[Form]\nTop=1\n");
  TProfileFile reader(path_);
  {
    const TProfileFile::THold hold(reader);
    EXPECT_EQ(reader.ReadInteger("Form", "Top", 0), 1);
    Write("[Form]\nTop=222\n");
    EXPECT_EQ(reader.ReadInteger("Form", "Top", 0), 1);
  }
  EXPECT_EQ(reader.ReadInteger("Form", "Top", 0), 222);
}

}  // namespace
}  // namespace zub
