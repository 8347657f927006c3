// The core state's file reader: every command that reads a file the user picked takes its bytes
// through it, so a run that holds the bytes (the fuzz targets) hands them over without a file.
#include "commands/CoreState.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "commands/LibraryUpload.h"
#include "commands/LzoUpload.h"
#include "commands/SaveSlotCommands.h"
#include "commands/Transfer.h"
#include "formats/Magic.h"
#include "support/CommandFixture.h"

namespace zub::test {
namespace {

// Rows of the test catalogue.
enum Row { kProgramRow = 1, kFreeRow };

struct TRead {
  std::string Path;
  std::size_t MaxBytes = 0;
  bool operator==(const TRead&) const = default;
};

class InputFiles : public CommandFixture<> {
 protected:
  void SetUp() override {
    phone.SetCatalogue(
        {SimTelephone::Entry(2, 1, "Program 1"), SimTelephone::Entry(2, 8, "Program 8")});
  }
  // The core started as the window starts it, its picked files read from `bytes` alone.
  void StartReading(const Buf& bytes) {
    TManagerOptions options = phone.Options(&log);
    options.ReadFile = [this, bytes](const std::string& path, std::size_t maxBytes) {
      reads.push_back({path, maxBytes});
      return bytes;
    };
    m = std::make_unique<TManager>(ui, options);
    m->FormShow();
    ui.ClearRecords();
    log.Clear();
  }

  std::vector<TRead> reads;
};

TEST_F(InputFiles, CommandsTakeThePickedFileFromTheReader) {
  const std::string nowhere = PathOf("not-on-disk.bin");
  const Buf saves = Cat({Record(100, 7), Record(50, 8)});
  struct Case {
    const char* name;
    std::function<void(TManager&)> command;
    Buf file;
    std::size_t limit;  // what the command reads at most
    TSectionAddress written;
    Buf expected;  // the section afterwards; empty: only its first word is checked
    std::uint32_t firstWord = 0;
  };
  const Case cases[] = {
      {"Upload", UploadActionExecute, Pattern(3000), kSectionBufferSize, {2, 1}, Pattern(3000)},
      {"Upload LZO-Compressed",
       [](TManager& m) { UploadLZOActionExecute(m); },
       Pattern(3000),
       kSectionBufferSize,
       {2, 1},
       {},
       LZOMagic},
      {"Upload Save Slot",
       UploadSaveActionExecute,
       saves,
       kSectionBufferSize,
       {2, 8},
       Cat({saves, Trailer(0)})},
      {"Upload library",
       [](TManager& m) { UploadLibFile(m, 2, 17); },
       Pattern(700),
       kMaxLibrarySize + 1,
       {2, 17},
       Pattern(700)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    phone.RemoveSection(c.written.Section, c.written.SubSection);
    reads.clear();
    StartReading(c.file);
    ui.OpenAnswers.push_back(nowhere);
    ui.AnswerModal(TFormId::SaveSlotForm, mrOk);  // the file's items, all ticked
    On(c.written == TSectionAddress{2, 8} ? kFreeRow : kProgramRow, c.command);
    EXPECT_EQ(reads, (std::vector<TRead>{{nowhere, c.limit}}));
    const auto section = phone.Section(c.written.Section, c.written.SubSection);
    ASSERT_TRUE(section.has_value());
    if (c.expected.empty()) {
      EXPECT_EQ(load_u32le(*section, 0), c.firstWord);
    } else {
      EXPECT_EQ(*section, c.expected);
    }
    ui.ModalAnswers.clear();
  }
}

TEST_F(InputFiles, ATextFileComesThroughTheReaderWithItsLimit) {
  const std::string nowhere = PathOf("words.txt");
  const std::string words = "RELEASE=1\n00000102 first\n00000304 second\n";
  StartReading(Buf(words.begin(), words.end()));
  ui.OpenAnswers.push_back(nowhere);
  m->Run([&] { UploadPRG3Lib(*m, 2, 16); });
  EXPECT_EQ(reads, (std::vector<TRead>{{nowhere, kMaxTextFileSize + 1}}));
  const auto section = phone.Section(2, 16);
  ASSERT_TRUE(section.has_value());
  EXPECT_EQ(section->front(), 1);  // the release
  EXPECT_TRUE(ui.Exceptions.empty());

  // One byte past the limit is refused with the words a file on disk gets.
  StartReading(Buf(kMaxTextFileSize + 1, 'x'));
  ui.OpenAnswers.push_back(nowhere);
  m->Run([&] { UploadPRG3Lib(*m, 2, 16); });
  ASSERT_EQ(ui.Exceptions.size(), 1u);
  EXPECT_NE(ui.Exceptions[0].find("a text file may hold at most 1 MiB"), std::string::npos);
}

TEST_F(InputFiles, AReaderThatHandsMoreThanAskedIsCutToTheLimit) {
  StartReading(Pattern(100));
  EXPECT_EQ(m->ReadInputFile("any", 40), Pattern(40));
  EXPECT_EQ(m->ReadInputFile("any", 400), Pattern(100));
}

}  // namespace
}  // namespace zub::test
