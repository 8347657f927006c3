#include "commands/LibraryUpload.h"
#include "commands/Messages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CommandFixture.h"

namespace zub::test {
namespace {

using ::testing::ElementsAre;
using ByteVec = std::vector<std::uint8_t>;

class LibraryUpload : public CommandFixture<> {
 protected:
  void SetUp() override {
    phone.PutSection(2, 18, ByteVec{'Z', 'U', 'B', '2', 7, 0, 17, 2, 0, 0, 0, 0});
  }
};

TEST_F(LibraryUpload, Ufif2LibraryGoesToThePreferenceSection) {
  Start();
  ui.ConfirmAnswers.push_back(true);
  OpenAnswer("ext.lib", Pattern(21504));
  Button5Click(*m);
  EXPECT_THAT(ui.Confirms,
              ElementsAre(TBox{"Confirm", "Are you sure to upload library into section 2-17?"}));
  EXPECT_THAT(ui.OpenFilters, ElementsAre(kOpenDialog1Filter));
  EXPECT_EQ(phone.Section(2, 17), Pattern(21504));
  EXPECT_THAT(ui.Boxes,
              ElementsAre(TBox{"OK!", "Section uploaded sucsessfully! Size: 21504 bytes"}));
  EXPECT_THAT(ui.StatusLog, ElementsAre("Uploading data...", "Checking data...", "Uploaded!"));
  EXPECT_EQ(log.Calls.back().Entry, "EndGBPMode");
}

TEST_F(LibraryUpload, OtherLibrarySectionAndCancel) {
  const ByteVec pref = {'Z', 'U', 'B', '2', 7, 0, 20, 17, 0, 0, 0, 0};
  phone.PutSection(2, 18, std::span<const std::uint8_t>(pref));
  Start();
  ui.ConfirmAnswers.push_back(false);
  Button5Click(*m);
  EXPECT_THAT(ui.Confirms,
              ElementsAre(TBox{"Confirm", "Are you sure to upload library into section 17-20?"}));
  EXPECT_TRUE(ui.OpenFilters.empty());
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);

  ui.ConfirmAnswers.push_back(true);
  OpenAnswer("ext.lib", Pattern(100));
  Button5Click(*m);
  EXPECT_EQ(phone.Section(17, 20), Pattern(100));
}

TEST_F(LibraryUpload, TooBigLibraryIsRefused) {
  Start();
  OpenAnswer("big.lib", Pattern(21505));
  UploadLibFile(*m, 2, 17);
  EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", kLibraryTooBig}));
  EXPECT_THAT(ui.StatusLog, ElementsAre("Uploading data..."));
  EXPECT_EQ(log.Count("InitGBPMode"), 0);
  EXPECT_FALSE(phone.Section(2, 17));
}

TEST_F(LibraryUpload, UnreadablePreferencesEndBeforeTheQuestion) {
  phone.SetFault("ReadError", "2-18:-10");
  Start();
  m->Run([&] { Button5Click(*m); });
  EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", "Error reading section 2-18"}));
  EXPECT_THAT(ui.Exceptions, ElementsAre("'' is not a valid integer value"));
  EXPECT_TRUE(ui.Confirms.empty());
  EXPECT_TRUE(ui.OpenFilters.empty());
}

TEST_F(LibraryUpload, Prg3TextBecomesItsWordTable) {
  std::string words;
  ByteVec full = {1, 0, 0, 0};
  for (int i = 0; i < 511; ++i) {
    words += "0000ABCD entry\r\n";
    full.insert(full.end(), {0xCD, 0xAB, 0, 0});
  }
  struct Case {
    const char* name;
    std::string text;
    std::optional<ByteVec> image;  // nullopt: refused, nothing written
  };
  const Case cases[] = {
      {"example", "RELEASE=3\r\n00123456 first entry\r\n0xABCD second entry\r\n\r\n# heading\r\n",
       ByteVec{3, 0, 0, 0, 0x56, 0x34, 0x12, 0, 0xCD, 0xAB, 0, 0}},
      {"release with a tail", "RELEASE=7x\n12345678\n", ByteVec{7, 0, 0, 0}},
      {"512 words", "RELEASE=1\n" + words, full},
      {"513 words", "RELEASE=1\n" + words + "1 extra\n", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    phone.RemoveSection(2, 16);
    Start();
    OpenAnswer("lib.txt", c.text);
    Button6Click(*m);
    if (c.image) {
      EXPECT_EQ(phone.Section(2, 16), c.image);
      EXPECT_EQ(ui.LastStatus(), "Uploaded!");
    } else {
      EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", kLibraryTooBig}));
      EXPECT_FALSE(phone.Section(2, 16));
      EXPECT_EQ(log.Count("InitGBPMode"), 0);
    }
  }
}

TEST_F(LibraryUpload, Prg3ReleaseWithoutDigitWritesNothing) {
  Start();
  OpenAnswer("lib.txt", std::string("RELEASE=\r\n00001234 entry\r\n"));
  m->Run([&] { Button6Click(*m); });
  EXPECT_THAT(ui.Exceptions, ElementsAre("'' is not a valid integer value"));
  EXPECT_EQ(log.Count("InitGBPMode"), 0);
  EXPECT_FALSE(phone.Section(2, 16));
}

TEST_F(LibraryUpload, HiddenUploadDropsFillerAndTakes64KiB) {
  struct Case {
    const char* name;
    ByteVec file;
    std::optional<ByteVec> written;  // nullopt: refused as empty
  };
  ByteVec withFiller = Pattern(10);
  for (std::uint8_t b : {0xC0, 0x46, 0xC0, 0x46}) withFiller.push_back(b);
  ByteVec wrongOrder = Pattern(10);
  wrongOrder.push_back(0x46);
  wrongOrder.push_back(0xC0);
  ByteVec longFile = Pattern(65537);
  longFile[65534] = 0xC0;  // filler at the end of the first 65536 bytes
  longFile[65535] = 0x46;
  const Case cases[] = {
      {"filler dropped", withFiller, Pattern(10)},
      {"not filler", wrongOrder, wrongOrder},
      {"cut at 65536", longFile, ByteVec(longFile.begin(), longFile.begin() + 65534)},
      {"empty file", ByteVec{}, std::nullopt},
      {"only filler", ByteVec{0xC0, 0x46, 0xC0, 0x46}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    phone.PutSection(17, 19, std::string("old"));
    Start();
    OpenAnswer("raw.bin", c.file);
    Button9Click(*m);
    if (c.written) {
      EXPECT_EQ(phone.Section(17, 19), c.written);
      EXPECT_EQ(ui.LastStatus(), "Uploaded!");
    } else {
      EXPECT_THAT(ui.Boxes, ElementsAre(TBox{kErrorCaption, kFileEmpty}));
      EXPECT_EQ(phone.Section(17, 19), (ByteVec{'o', 'l', 'd'}));
      EXPECT_EQ(log.Count("InitGBPMode"), 0);
    }
  }
}

TEST_F(LibraryUpload, FailedCheckIsReportedInTheStatusLine) {
  phone.SetFault("WriteKeep", "17-19:3 2-16:0 2-17:100");
  Start();
  OpenAnswer("raw.bin", Pattern(10));
  Button9Click(*m);
  OpenAnswer("lib.txt", std::string("RELEASE=2\n"));
  Button6Click(*m);
  OpenAnswer("ext.lib", Pattern(200));
  UploadLibFile(*m, 2, 17);
  EXPECT_THAT(ui.Boxes, ElementsAre(kUploadErrorBox, kUploadErrorBox, kUploadErrorBox));
  EXPECT_EQ(std::count(ui.StatusLog.begin(), ui.StatusLog.end(), "Upload error!"), 3);
  EXPECT_EQ(std::count(ui.StatusLog.begin(), ui.StatusLog.end(), "Uploaded!"), 0);
}

}  // namespace
}  // namespace zub::test
