#include "commands/Conversion.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "base/ProfileFile.h"
#include "commands/Transfer.h"
#include "formats/LzoImage.h"
#include "support/CommandFixture.h"

namespace zub::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ByteVec = std::vector<std::uint8_t>;

const TBox kInPlaceError{kErrorCaption, kConvertUploadErrorText};

// Where the test program keeps its firmware calls, and what it holds there.
constexpr std::size_t kStub = 100;      // pattern 1, its literal 8 bytes on
constexpr std::size_t kBare = 200;      // a bare firmware address
constexpr std::size_t kModel = 204;     // the model word
constexpr std::size_t kReported = 208;  // an address no rule relocates

// A UFIF 2.0 program of `size` bytes (at least 212).
ByteVec Ufif20(std::size_t size) {
  ByteVec b(size, 0x11);
  store_u32le(b, 0, 0x20000000);
  const std::string name = "Snake";
  for (std::size_t i = 0; i < 16; ++i) b[4 + i] = i < name.size() ? name[i] : 0;
  store_u32le(b, kStub, 0x4801B403);
  store_u32le(b, kStub + 8, 0x36A9D1);
  store_u32le(b, kBare, 0x36AC74);
  store_u32le(b, kModel, 0x820000);
  store_u32le(b, kReported, 0x36A640);
  return b;
}

// The program's words after the conversion for a firmware at `base`.
struct TConverted {
  std::uint32_t Literal, Bare, Model;
};
void ExpectConverted(const std::optional<ByteVec>& b, std::size_t size, TConverted want) {
  ASSERT_TRUE(b);
  ASSERT_EQ(b->size(), size);
  EXPECT_EQ(u32le_or0(*b, 0), 0x20010000u);
  EXPECT_EQ(load_text(*b, 4, 16), "Snake");
  EXPECT_EQ(u32le_or0(*b, kStub + 8), want.Literal);
  EXPECT_EQ(u32le_or0(*b, kBare), want.Bare);
  EXPECT_EQ(u32le_or0(*b, kModel), want.Model);
  EXPECT_EQ(u32le_or0(*b, kReported), 0x36A640u);
  EXPECT_EQ(u32le_or0(*b, size - 4), 0x11111111u);
}
// The first entry, 0x370000 - J7/70 3.10/4.
constexpr TConverted kForFirstEntry{0x37037D, 0x37061C, 0x820000};
// The seventh entry, 0x37BDD8 - Z7 4.5.6/4.
constexpr TConverted kForZ7{0x37C155, 0x37C3F4, 0x8A0000};

// An ELF file around a program image, which starts at file offset 84.
ByteVec ElfAround(const ByteVec& image) {
  ByteVec b(84, 0);
  store_u32le(b, 0, 0x464C457F);
  store_u32le(b, 28, 52);
  store_u32le(b, 56, 84);
  b.insert(b.end(), image.begin(), image.end());
  return b;
}

class Conversion : public CommandFixture<> {
 protected:
  void SetUp() override {
    WorkInHomeFolder();  // "temp.prg" lands in the current folder
    phone.SetCatalogue(
        {SimTelephone::Entry(2, 1, "Program 1"), SimTelephone::Entry(2, 8, "Program 8")});
  }
  void Upload(const ByteVec& file) {
    OpenAnswer("up.prg", file);
    On(2, UploadActionExecute);
  }
  void ConvertInPlace() { On(1, ConvertActionExecute); }
  std::optional<ByteVec> TempPrg() const { return FileBytes("temp.prg"); }
};

TEST_F(Conversion, ThePromptDecidesWhatTheUploadWrites) {
  const ByteVec program = Ufif20(400);
  struct Case {
    const char* name;
    int answer;
    int firmware;
    std::vector<std::string> status;
  };
  const Case cases[] = {
      {"Yes",
       mrYes,
       6,
       {"Uploading data...", "Converting data...", "Convert done!", "Refreshing section 2-8...",
        "Uploaded!"}},
      {"No", mrNo, 2, {"Uploading data...", "Refreshing section 2-8...", "Uploaded!"}},
      {"Cancel", mrCancel, 3, {"Uploading data..."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    phone.RemoveSection(2, 8);
    Start();
    bool borrowed = false;
    ui.AnswerModal(TFormId::OKBottomDlg, c.answer, [&] {
      borrowed = m->Experts.FWBorrowed;
      m->SetFWIndex(c.firmware);
    });
    Upload(program);
    EXPECT_THAT(ui.ModalShown, ElementsAre(TFormId::OKBottomDlg));
    EXPECT_THAT(ui.Mismatches, IsEmpty());
    EXPECT_TRUE(borrowed);
    EXPECT_FALSE(m->Experts.FWBorrowed);
    // The prompt saves the settings whichever button closed it.
    EXPECT_EQ(TProfileFile(phone.SettingsPath()).ReadInteger("Manager", "UFIFFW", -9), c.firmware);
    EXPECT_EQ(ui.StatusLog, c.status);
    if (c.answer == mrYes) {
      ExpectConverted(phone.Section(2, 8), 400, kForZ7);
      EXPECT_THAT(m->BadAddr.Memo1, ElementsAre("offset: 208; UFIF Address:3581504"));
    } else if (c.answer == mrNo) {
      EXPECT_EQ(phone.Section(2, 8), program);
      EXPECT_THAT(m->BadAddr.Memo1, ElementsAre("Memo1"));
    } else {
      EXPECT_FALSE(phone.Section(2, 8));
      EXPECT_THAT(log.Calls, IsEmpty());
      EXPECT_THAT(ui.Boxes, IsEmpty());
    }
    if (c.answer != mrCancel) {
      EXPECT_THAT(ui.Boxes, ElementsAre(kUploadedBox));
    }
    ExpectClosed();
  }
}

TEST_F(Conversion, OnlyUfif20ImagesAreOffered) {
  ByteVec v21 = Ufif20(300);
  store_u32le(v21, 0, 0x20010000);
  ByteVec tagged = Ufif20(300);
  store_u32le(tagged, 0, 0x200000A5);
  for (const ByteVec& file : {v21, tagged, ByteVec{0x00, 0x00, 0x00}}) {
    phone.RemoveSection(2, 8);
    Start();
    Upload(file);
    EXPECT_THAT(ui.ModalShown, IsEmpty());
    EXPECT_EQ(phone.Section(2, 8), file);
  }
}

TEST_F(Conversion, ElfFileIsMarkedAtItsEmbeddedImage) {
  const ByteVec elf = ElfAround(Ufif20(300));
  Start();
  ui.AnswerModal(TFormId::OKBottomDlg, mrYes);  // with the first entry
  Upload(elf);
  const auto written = phone.Section(2, 8);
  ASSERT_TRUE(written);
  ASSERT_EQ(written->size(), elf.size());
  EXPECT_EQ(u32le_or0(*written, 0), 0x464C457Fu);
  EXPECT_EQ(u32le_or0(*written, 84), 0x20010000u);
  EXPECT_EQ(u32le_or0(*written, 84 + kStub + 8), kForFirstEntry.Literal);
}

TEST_F(Conversion, BadFirmwareTextEndsTheUploadBeforeTheTelephone) {
  phone.PutSection(2, 8, "old");
  Start();
  ui.AnswerModal(TFormId::OKBottomDlg, mrYes, [&] { m->SetFWText("0x370000"); });
  Upload(Ufif20(300));
  EXPECT_THAT(ui.Exceptions, ElementsAre("'' is not a valid integer value"));
  EXPECT_THAT(ui.StatusLog, ElementsAre("Uploading data...", "Converting data..."));
  EXPECT_THAT(log.Calls, IsEmpty());
  EXPECT_EQ(phone.Section(2, 8), ByteVec({'o', 'l', 'd'}));
}

TEST_F(Conversion, TooBigProgramIsConvertedThenRefused) {
  Start();
  ui.AnswerModal(TFormId::OKBottomDlg, mrYes);
  Upload(Ufif20(34444));
  EXPECT_THAT(ui.Boxes, ElementsAre(kTooBigBox));
  EXPECT_EQ(ui.LastStatus(), "Convert done!");
  EXPECT_THAT(log.Calls, IsEmpty());
  EXPECT_FALSE(phone.Section(2, 8));
}

TEST_F(Conversion, InPlaceConvertsKeepsACopyAndWritesBack) {
  for (std::size_t size : {400u, 30000u}) {
    SCOPED_TRACE(size);
    phone.PutSection(2, 1, Ufif20(size));
    fs::remove(phone.Dir() / "temp.prg");
    Start();
    ConvertInPlace();
    ExpectConverted(phone.Section(2, 1), size, kForFirstEntry);
    EXPECT_EQ(TempPrg(), phone.Section(2, 1));
    EXPECT_THAT(
        ui.StatusLog,
        ElementsAre("Downloading data...", "Downloaded!", "Converting data...", "Convert done!",
                    "Erasing section...", "Refreshing section 2-1...", "Erased!",
                    "Uploading data...", "Refreshing section 2-1...", "Uploaded!"));
    EXPECT_THAT(ui.Boxes, ElementsAre(kUploadedBox));
    EXPECT_THAT(ui.ModalShown, IsEmpty());
    EXPECT_EQ(log.Calls.at(1).Args, (std::vector<std::int64_t>{2, 1, 65536}));
    EXPECT_THAT(log.Entries(),
                ElementsAre("InitGBPMode", "ReadNVMFile", "EndGBPMode", "InitGBPMode",
                            "ClearNVMFile", "GetNVMFileSize", "EndGBPMode", "InitGBPMode",
                            "WriteNVMFile", "GetNVMFileSize", "ReadNVMFile", "EndGBPMode"));
    EXPECT_EQ(m->Sections[1].Format, 0x20010000u);
    ExpectClosed();
  }
}

TEST_F(Conversion, InPlaceWritesOtherContentBackUnchanged) {
  ByteVec lzo = Ufif20(2000);
  const std::size_t n = BuildLZOImage(lzo, lzo.size(), [] { return DefaultIconCode; });
  ASSERT_GT(n, 0u);
  lzo.resize(n);
  phone.PutSection(2, 1, lzo);
  Start();
  ConvertInPlace();
  EXPECT_EQ(phone.Section(2, 1), lzo);
  EXPECT_EQ(TempPrg(), lzo);
  EXPECT_THAT(ui.StatusLog, ::testing::Not(::testing::Contains("Converting data...")));
  EXPECT_THAT(ui.Boxes, ElementsAre(kUploadedBox));
  ExpectClosed();
}

TEST_F(Conversion, InPlaceShortWriteKeepsTheConvertedProgramOnDisk) {
  phone.PutSection(2, 1, Ufif20(400));
  phone.SetFault("WriteKeep", "2-1:100");
  Start();
  ConvertInPlace();
  ExpectConverted(TempPrg(), 400, kForFirstEntry);
  const ByteVec copy = TempPrg().value_or(ByteVec{});
  ASSERT_GE(copy.size(), 100u);
  EXPECT_EQ(phone.Section(2, 1), ByteVec(copy.begin(), copy.begin() + 100));
  EXPECT_THAT(ui.Boxes, ElementsAre(kInPlaceError));
  EXPECT_EQ(ui.LastStatus(), "Upload error!");
  ExpectClosed();
}

TEST_F(Conversion, InPlaceWritesEvenWhenTheEraseFails) {
  phone.PutSection(2, 1, Ufif20(400));
  phone.SetFault("ClearFails", "2-1");
  Start();
  ConvertInPlace();
  ExpectConverted(phone.Section(2, 1), 400, kForFirstEntry);
  EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", "Error erasing section 2-1"}, kUploadedBox));
  EXPECT_THAT(ui.StatusLog, ::testing::Contains("Erase error!"));
  EXPECT_EQ(ui.LastStatus(), "Uploaded!");
  ExpectClosed();
}

TEST_F(Conversion, InPlaceStopsBeforeChangingAnything) {
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::vector<TBox> boxes;
    std::vector<std::string> exceptions;
  };
  const Case cases[] = {
      {"read error",
       [&] { phone.SetFault("ReadError", "2-1:-10"); },
       {{"ERROR", "Error reading section 2-1"}},
       {}},
      {"firmware text without a blank",
       [&] { m->SetFWText("0x370000"); },
       {},
       {"'' is not a valid integer value"}},
      {"section longer than the buffer",
       [&] { phone.PutSection(2, 1, Ufif20(70000)); },
       {{"ERROR", "Can't convert - section 2-1 too big!"}},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    phone.SetFault("ReadError", "");
    phone.PutSection(2, 1, Ufif20(400));
    Start();
    c.prepare();
    const auto before = phone.Section(2, 1);
    ConvertInPlace();
    EXPECT_EQ(ui.Boxes, c.boxes);
    EXPECT_EQ(ui.Exceptions, c.exceptions);
    EXPECT_EQ(phone.Section(2, 1), before);
    EXPECT_FALSE(fs::exists(phone.Dir() / "temp.prg"));
    EXPECT_EQ(log.Count("ClearNVMFile"), 0);
    EXPECT_EQ(log.Count("WriteNVMFile"), 0);
    EXPECT_EQ(ui.StatusLog.front(), "Downloading data...");
    EXPECT_THAT(ui.StatusLog, ::testing::Not(::testing::Contains("Erasing section...")));
    ExpectClosed();
  }
}

TEST_F(Conversion, InPlaceWithoutAConnectionForTheWriteLeavesTheCopy) {
  phone.PutSection(2, 1, Ufif20(400));
  Start();
  ui.OnStatus = [&](const std::string& text) {
    if (text == "Uploading data...") phone.SetSim("Link", "InitResult", "-2");
  };
  ConvertInPlace();
  EXPECT_FALSE(phone.Section(2, 1));
  ExpectConverted(TempPrg(), 400, kForFirstEntry);
  // The section is erased and the program is not back: the user is told where it is.
  EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", "GBP Error: Can't open port!"}, kInPlaceError));
  EXPECT_EQ(ui.LastStatus(), "Upload error!");
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);
  EXPECT_FALSE(m->NVM->PortOpen());
}

}  // namespace
}  // namespace zub::test
