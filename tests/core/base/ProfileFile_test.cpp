#include "base/ProfileFile.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace zub {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::Utf16Le;

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

TEST_F(ProfileFileTest, TheFirstSectionAndTheFirstKeyAreRead) {
  struct Case {
    std::string text;
    const char* section;
    const char* key;
    const char* value;  // "-" for the default
  };
  const Case cases[] = {
      {"[Form]\nTop=1\nTop=2\n", "Form", "Top", "1"},
      {"[Form]\nTop=1\n[form]\nTop=2\nLeft=3\n", "form", "Left", "-"},
      {"[Form]\nTop=1\n[form]\nTop=2\nLeft=3\n", "FORM", "top", "1"},
      {"; Top=1\n[Form]\n;Top=2\n#Top=5\nTop = 3 \n", "Form", "Top", "3"},
      {"Top=1\n[Form]\n", "Form", "Top", "-"},
      {"[ Form ] notes\r\n  Top\t=\t4\r\n", "Form", "Top", "4"},
      {"[Form]\nno equals\nTop\n", "Form", "Top", "-"},
      {"[Form\nTop=1\n", "Form", "Top", "-"},
      {"\xEF\xBB\xBF[Form]\r\nTop=6\r\n", "Form", "Top", "6"},
      {"[Form]\nTop=7\n\0[x]\n"s, "Form", "Top", "7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Write(c.text);
    EXPECT_EQ(TProfileFile(path_).ReadString(c.section, c.key, "-"), c.value);
  }
}

TEST_F(ProfileFileTest, WritingChangesOnlyTheValueOrAddsOneLine) {
  struct Value {
    const char *section, *key, *value;
  };
  struct Case {
    const char* name;
    std::string before;
    std::vector<Value> writes;
    std::string after;
  };
  const Case cases[] = {
      {"InPlaceWithItsSpacing",
       "[Form]\r\nTop = 5\r\nLeft=6\r\n",
       {{"Form", "Top", "11"}, {"Form", "Left", "22"}},
       "[Form]\r\nTop = 11\r\nLeft=22\r\n"},
      {"FirstDuplicateOnly",
       "[Form]\nTop=1\nTop=2\n",
       {{"Form", "Top", "7"}},
       "[Form]\nTop=7\nTop=2\n"},
      {"RepeatedSectionUntouched",
       "[Form]\nTop=1\n[Other]\nx=1\n[FORM]\nLeft=9\n",
       {{"Form", "Left", "3"}},
       "[Form]\nTop=1\nLeft=3\n[Other]\nx=1\n[FORM]\nLeft=9\n"},
      {"NewKeyAfterTheLastKey",
       "[Form]\r\nTop=1\r\n; note\r\nodd line\r\n\r\n[Sign]\r\n0x1=A\r\n",
       {{"Form", "Width", "5"}},
       "[Form]\r\nTop=1\r\nWidth=5\r\n; note\r\nodd line\r\n\r\n[Sign]\r\n0x1=A\r\n"},
      {"NewKeyAfterTheHeader",
       "[Manager]\n\n[Form]\n",
       {{"Manager", "CTEMode", "1"}},
       "[Manager]\nCTEMode=1\n\n[Form]\n"},
      {"NewSectionAtTheEnd",
       "; only a comment",
       {{"Form", "Top", "1"}},
       "; only a comment\r\n[Form]\r\nTop=1\r\n"},
      {"LastLineWithoutEnding",
       "[Form]\nTop=1",
       {{"Form", "Left", "2"}, {"Form", "Top", "3"}},
       "[Form]\nTop=3\nLeft=2"},
      {"EmptyValues", "[M]\nA=\nB = \n", {{"M", "A", "1"}, {"M", "B", "2"}}, "[M]\nA=1\nB = 2\n"},
      {"NamesKeepTheirCase", "[FORM]\ntop=1\n", {{"Form", "Top", "2"}}, "[FORM]\ntop=2\n"},
      {"Utf8ByteOrderMark",
       "\xEF\xBB\xBF[Form]\r\nTop=1\r\n",
       {{"Form", "Top", "2"}},
       "\xEF\xBB\xBF[Form]\r\nTop=2\r\n"},
      {"EmptyFile",
       "",
       {{"Form", "Top", "1"}, {"Manager", "COM-Port", "0"}},
       "[Form]\r\nTop=1\r\n[Manager]\r\nCOM-Port=0\r\n"},
      {"KeyBeforeAnySection", "Top=1\n[Form]\n", {{"Form", "Top", "2"}}, "Top=1\n[Form]\nTop=2\n"},
      {"HeaderLastWithABareCarriageReturn", "[A]\r", {{"A", "x", "1"}}, "[A]\rx=1\r"},
      {"LoneCarriageReturnAtTheEnd", "[A]\nx=1\r", {{"B", "y", "2"}}, "[A]\nx=1\r[B]\ny=2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(c.before);
    {
      TProfileFile f(path_);
      TProfileFile::TEdit edit(f);
      for (const Value& v : c.writes) edit.WriteString(v.section, v.key, v.value);
      EXPECT_EQ(Read(), c.before) << "written before Commit";
      edit.Commit();
      for (const Value& v : c.writes) EXPECT_EQ(f.ReadString(v.section, v.key, "-"), v.value);
    }
    EXPECT_EQ(Read(), c.after);
    // Written one at a time, the same result.
    Write(c.before);
    TProfileFile g(path_);
    for (const Value& v : c.writes) g.WriteString(v.section, v.key, v.value);
    EXPECT_EQ(Read(), c.after);
  }
}

TEST_F(ProfileFileTest, AFileThatIsNotTextIsNeverRewritten) {
  const std::string texts[] = {
      "[Form]\r\nTop=1\r\n\0\0[Sections]\r\nsection1=0x0201\r\n"s,
      "\xFF\xFE[\0F\0o\0r\0m\0]\0\0\0"s,  // UTF-16LE holding a NUL character
      "\xFE\xFF\0[\0F\0o\0r\0m\0]"s,
  };
  for (const std::string& text : texts) {
    Write(text);
    TProfileFile f(path_);
    EXPECT_THROW(f.WriteInteger("Form", "Top", 5), EProfileNotText);
    EXPECT_EQ(Read(), text);
  }
  EXPECT_EQ(TProfileFile(path_).ReadString("Form", "Top", "-"), "-");
}

TEST_F(ProfileFileTest, NamesAndValuesThatWouldNotReadBackAreRefused) {
  Write("[Form]\nTop=1\n");
  const std::array<const char*, 3> bad[] = {
      {"Fo]rm", "Top", "1"},
      {"Form", "To=p", "1"},
      {"Form", " Top", "1"},
      {"Form", "[Top", "1"},
      {"Form", ";Top", "1"},
      {"Form", "", "1"},
      {"Form", "Top", "1\r\n[Sections]"},
      {"Fo\nrm", "Top", "1"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(std::string(b[0]) + "/" + b[1] + "=" + b[2]);
    TProfileFile f(path_);
    EXPECT_THROW(f.WriteString(b[0], b[1], b[2]), std::invalid_argument);
    EXPECT_EQ(Read(), "[Form]\nTop=1\n");
  }
}

// Files a user could have from Windows: each is read as the platform's profile functions read
// it, on disk and from memory alike, and one write changes only what it must.
TEST_F(ProfileFileTest, FilesFromWindowsReadAndEditAsThere) {
  struct Value {
    const char *section, *key, *value;  // value "-": the key is missing
  };
  struct Case {
    const char* name;
    std::string before;
    std::vector<Value> reads;
    Value write;
    std::string after;
  };
  const Case cases[] = {
      {"DoubleQuotes",
       "[0x0210]\r\nDescription=\"Camera photos\"\r\nMaxSize = \"2048\" \r\n",
       {{"0x0210", "Description", "Camera photos"}, {"0x0210", "MaxSize", "2048"}},
       {"0x0210", "Description", "Pictures"},
       "[0x0210]\r\nDescription=\"Pictures\"\r\nMaxSize = \"2048\" \r\n"},
      {"SingleQuotes",
       "[Sections]\r\nsection1='0x0210'\r\n",
       {{"Sections", "section1", "0x0210"}},
       {"Sections", "section1", "528"},
       "[Sections]\r\nsection1='528'\r\n"},
      {"QuotesThatAreNoPair",
       "[S]\na=\" x \"\nb=\"y'\nc=\"\nd=\"\"\ne=\"z\" ; note\n",
       {{"S", "a", " x "},
        {"S", "b", "\"y'"},
        {"S", "c", "\""},
        {"S", "d", ""},
        {"S", "e", "\"z\" ; note"}},
       {"S", "a", " y "},
       "[S]\na=\" y \"\nb=\"y'\nc=\"\nd=\"\"\ne=\"z\" ; note\n"},
      {"ValueThatNeedsQuotesToReadBack",
       "[S]\na=1\n",
       {{"S", "a", "1"}},
       {"S", "a", " padded\x1A"},
       "[S]\na=\" padded\x1A\"\n"},
      {"QuotedValueWritten", "[S]\na=1\n", {}, {"S", "b", "'q'"}, "[S]\na=1\nb=\"'q'\"\n"},
      {"CarriageReturnTwiceThenLineFeed",
       "[Form]\r\r\nTop=100\r\r\nLeft=5\r\r\n[form]\r\r\nTop=9\r\r\n",
       {{"Form", "Top", "100"}, {"Form", "Left", "5"}},
       {"Form", "Top", "7"},
       "[Form]\r\r\nTop=7\r\r\nLeft=5\r\r\n[form]\r\r\nTop=9\r\r\n"},
      {"CarriageReturnTwiceThenLineFeedNewKey",
       "[Form]\r\r\nTop=100\r\r\nLeft=5\r\r\n",
       {{"Form", "Left", "5"}},
       {"Form", "Width", "3"},
       "[Form]\r\r\nTop=100\r\r\nLeft=5\rWidth=3\r\r\n"},
      {"BareCarriageReturns",
       "[Form]\rTop=100\rTop=1\rLeft=5",
       {{"Form", "Top", "100"}, {"Form", "Left", "5"}},
       {"Form", "Height", "9"},
       "[Form]\rTop=100\rTop=1\rLeft=5\rHeight=9"},
      {"EveryLineItsOwnEnding",
       "[A]\nx=1\r\n[B]\ry=2\r",
       {{"A", "x", "1"}, {"B", "y", "2"}},
       {"B", "z", "3"},
       "[A]\nx=1\r\n[B]\ry=2\rz=3\r"},
      {"NewSectionTakesTheFirstEnding",
       "[A]\rx=1\r\n",
       {{"A", "x", "1"}},
       {"B", "y", "2"},
       "[A]\rx=1\r\n[B]\ry=2\r"},
      {"ControlZAfterTheLastValue",
       "[Form]\r\nTop=100\x1A",
       {{"Form", "Top", "100"}},
       {"Form", "Top", "5"},
       "[Form]\r\nTop=5\x1A"},
      {"ControlZAfterBlanksAndQuotes",
       "[0x0210]\r\nDescription=\"Camera photos\" \x1A",
       {{"0x0210", "Description", "Camera photos"}},
       {"0x0210", "MaxSize", "1"},
       "[0x0210]\r\nDescription=\"Camera photos\" \x1A\r\nMaxSize=1"},
      {"Utf16LittleEndian",
       Utf16Le(u"[0x0210]\r\nDescription=\"Фото\"\r\nMaxSize=2048\r\n[0x0210]\r\nMaxSize=1\r\n"),
       {{"0x0210", "Description", "Фото"}, {"0x0210", "MaxSize", "2048"}},
       {"0x0210", "MaxSize", "4096"},
       Utf16Le(u"[0x0210]\r\nDescription=\"Фото\"\r\nMaxSize=4096\r\n[0x0210]\r\nMaxSize=1\r\n")},
      {"Utf16LittleEndianNewSection",
       Utf16Le(u"[A]\nb=\U0001F600 \xD800\nc=1") + "\x7F",  // an odd byte at the end
       {{"A", "b", "\U0001F600 \uFFFD"}, {"A", "c", "1"}},
       {"Form", "Top", "Ёж"},
       Utf16Le(u"[A]\nb=\U0001F600 \xD800\nc=1\n[Form]\nTop=Ёж\n") + "\x7F"},
      {"Utf16LittleEndianAfterAnAstralCharacter",
       Utf16Le(u"[A]\r\nb=\U0001F600\r\nc=1\r\n"),
       {{"A", "c", "1"}},
       {"A", "c", "22"},
       Utf16Le(u"[A]\r\nb=\U0001F600\r\nc=22\r\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(c.before);
    TProfileFile file(path_);
    const TProfileText memory(c.before);
    for (const Value& r : c.reads) {
      EXPECT_EQ(file.ReadString(r.section, r.key, "-"), r.value) << r.key;
      EXPECT_EQ(memory.ReadString(r.section, r.key, "-"), r.value) << r.key;
    }
    EXPECT_TRUE(file.TextIsUtf8());
    file.WriteString(c.write.section, c.write.key, c.write.value);
    EXPECT_EQ(Read(), c.after);
    EXPECT_EQ(TProfileFile(path_).ReadString(c.write.section, c.write.key, "-"), c.write.value);
    TProfileText edited(c.before);
    edited.WriteString(c.write.section, c.write.key, c.write.value);
    EXPECT_EQ(edited.Data(), c.after);
    EXPECT_EQ(edited.ReadString(c.write.section, c.write.key, "-"), c.write.value);
  }
}

}  // namespace
}  // namespace zub
