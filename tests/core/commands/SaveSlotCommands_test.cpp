#include "commands/SaveSlotCommands.h"
#include "commands/Messages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "commands/SaveSlotSelection.h"
#include "support/CommandFixture.h"
#include "support/WatchingUI.h"

namespace zub::test {
namespace {

constexpr const char* kRemovePrompt = "Please select items you want to be removed from section.";
constexpr const char* kFromFilePrompt = "Please select items you want to be uploaded from file.";

// A program part whose first two 16-bit values differ, so it never reads as a bare store.
Buf Program(std::size_t n) {
  Buf b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
  if (n >= 4) {
    b[0] = 0x00;
    b[1] = 0x00;
    b[2] = 0x01;
    b[3] = 0x20;
  }
  return b;
}

class SaveSlotTest : public CommandFixture<WatchingUI> {
 protected:
  static constexpr int kGames = 1;  // 2-2
  static constexpr int kSaves = 2;  // 18-1
  static constexpr int kFree = 3;   // 2-8

  void SetUp() override {
    phone.SetCatalogue({SimTelephone::Entry(2, 2, "Games"), SimTelephone::Entry(18, 1, "Saves"),
                        SimTelephone::Entry(2, 8, "Free")});
    Start();
  }
  void TearDown() override { ExpectScriptPlayed(); }

  // The selection dialog closes with `result` after exactly the 1-based items in `ticked` were
  // left ticked, clicked as a user would.
  void AnswerSlots(std::vector<int> ticked, int result = mrOk) {
    ui.AnswerModal(TFormId::SaveSlotForm, result, [this, ticked] {
      SaveSlotDeselectAll(*m);
      for (int i : ticked) SaveSlotCheckClick(*m, i - 1, true);
    });
  }
  // The dialog confirmed as it opens: every item ticked.
  void AnswerUnchanged(int result = mrOk) { ui.AnswerModal(TFormId::SaveSlotForm, result); }

  void Reset() {
    ui.ClearRecords();
    ui.Prompts.clear();
    ui.Listings.clear();
    log.Clear();
  }
  void Run(void (*command)(TCoreState&), int row) { On(row, command); }
  // Every section read of a command asks for a whole buffer, except the rescan's head read.
  void ExpectWholeBufferRead() const { EXPECT_EQ(log.Reads(65536), 1); }
};

// The 4,000-byte program with items of 600 and 384 bytes behind it.
Buf GamesSection() {
  return Cat({Program(4000), Record(600, 1), Record(384, 2), Trailer(4000)});
}

// --- the selection itself ---------------------------------------------------------------

TEST_F(SaveSlotTest, SelectionListsEveryItemTicked) {
  const Buf image = GamesSection();
  ASSERT_EQ(image.size(), 5000u);
  m->SaveSlotForm.Label1 = "prompt";
  AnswerUnchanged();
  EXPECT_EQ(SelectSaveSlots(*m, image), 2);
  EXPECT_EQ(m->FSaveStart, 4000);
  EXPECT_EQ(m->FSaveLength, 992);
  ASSERT_EQ(ui.Listings.size(), 1u);
  ASSERT_EQ(ui.Listings[0].size(), 2u);
  EXPECT_EQ(ui.Listings[0][0].Text, "Slot 1, Size: 600 bytes");
  EXPECT_EQ(ui.Listings[0][1].Text, "Slot 2, Size: 384 bytes");
  EXPECT_TRUE(ui.Listings[0][0].Checked && ui.Listings[0][1].Checked);
  EXPECT_EQ(ui.Prompts, std::vector<std::string>{"prompt"});
  EXPECT_EQ(m->FSaveSlots.at(1).Offset, 4000 + 604 + 4);

  // A later, shorter store replaces the lines; the last record may be shorter than 5 bytes.
  AnswerUnchanged();
  EXPECT_EQ(SelectSaveSlots(*m, Cat({Record(10, 1), Record(3, 2)})), 2);
  EXPECT_EQ(m->SaveSlotForm.Lines.size(), 2u);
  EXPECT_EQ(m->SaveSlotForm.Lines[1].Text, "Slot 2, Size: 3 bytes");
}

TEST_F(SaveSlotTest, SelectionResults) {
  const Buf image = GamesSection();
  for (int result : {int(mrCancel), int(mrNone)}) {
    AnswerUnchanged(result);
    EXPECT_EQ(SelectSaveSlots(*m, image), kSaveSlotsCancelled) << result;
  }
  // No store: no dialog, and the list of the last parse stays.
  ui.ModalShown.clear();
  const std::vector<Buf> noStore = {Cat({{0x4C, 0x5A, 0x4F, 0x00}, Program(100)}), Program(100),
                                    Buf{}, Buf{1, 0, 1}};
  for (const auto& image2 : noStore) {
    EXPECT_EQ(SelectSaveSlots(*m, image2), 0);
    EXPECT_EQ(m->FSaveStart, static_cast<std::int32_t>(image2.size()));
    EXPECT_EQ(m->FSaveLength, 0);
  }
  EXPECT_TRUE(ui.ModalShown.empty());
  EXPECT_EQ(m->FSaveSlots.size(), 2u);
}

TEST_F(SaveSlotTest, DialogHandlersKeepLinesAndItemsInStep) {
  const Buf image = Cat({Record(1, 1), Record(2, 2), Record(3, 3)});
  ui.AnswerModal(TFormId::SaveSlotForm, mrOk, [this] {
    SaveSlotDeselectAll(*m);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_FALSE(m->FSaveSlots[i].Selected);
      EXPECT_FALSE(m->SaveSlotForm.Lines[i].Checked);
    }
    SaveSlotCheckClick(*m, 2, true);
    SaveSlotCheckClick(*m, 3, true);   // no such line
    SaveSlotCheckClick(*m, -1, true);  // no current line
    EXPECT_TRUE(m->FSaveSlots[2].Selected && m->SaveSlotForm.Lines[2].Checked);
    SaveSlotSelectAll(*m);
    SaveSlotCheckClick(*m, 0, false);
  });
  EXPECT_EQ(SelectSaveSlots(*m, image), 3);
  const std::vector<bool> want = {false, true, true};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(m->FSaveSlots[i].Selected, want[i]) << i;
    EXPECT_EQ(m->SaveSlotForm.Lines[i].Checked, want[i]) << i;
  }
  // Deselect All and OK returns the count with nothing selected.
  AnswerSlots({});
  EXPECT_EQ(SelectSaveSlots(*m, image), 3);
  for (const auto& s : m->FSaveSlots) EXPECT_FALSE(s.Selected);
}

// --- Download Save Slot -------------------------------------------------------------------

TEST_F(SaveSlotTest, DownloadWritesTheTickedRecords) {
  phone.PutSection(2, 2, GamesSection());
  struct Case {
    std::vector<int> ticked;
    Buf file;
  };
  const std::vector<Case> cases = {
      {{1, 2}, Cat({Record(600, 1), Record(384, 2)})},
      {{2}, Record(384, 2)},
      {{}, Buf{}},  // every item unticked: an empty file
  };
  for (const auto& c : cases) {
    Reset();
    AnswerSlots(c.ticked);
    ui.SaveAnswers.push_back(PathOf("out.sav"));
    Run(DownloadSaveActionExecute, kGames);
    EXPECT_EQ(FileBytes("out.sav"), c.file) << c.ticked.size();
    EXPECT_EQ(ui.StatusLog,
              (std::vector<std::string>{"Downloading SaveSlot data...", "Downloaded!"}));
    EXPECT_EQ(ui.Prompts,
              std::vector<std::string>{"Please select items you want to be saved in file."});
    EXPECT_TRUE(ui.Boxes.empty());
    EXPECT_EQ(log.Entries(),
              (std::vector<std::string>{"InitGBPMode", "ReadNVMFile", "EndGBPMode"}));
    ExpectWholeBufferRead();
  }
  EXPECT_EQ(phone.Section(2, 2), GamesSection());
}

TEST_F(SaveSlotTest, DownloadEndsWithoutFile) {
  phone.PutSection(2, 2, GamesSection());
  phone.PutSection(2, 8, Program(300));

  // Save dialog cancelled: nothing written, still "Downloaded!".
  AnswerUnchanged();
  ui.SaveAnswers.push_back(std::nullopt);
  Run(DownloadSaveActionExecute, kGames);
  EXPECT_EQ(ui.SaveDialogs, 1);
  EXPECT_EQ(ui.LastStatus(), "Downloaded!");

  // Selection cancelled: no save dialog, no message.
  Reset();
  AnswerUnchanged(mrCancel);
  Run(DownloadSaveActionExecute, kGames);
  EXPECT_EQ(ui.SaveDialogs, 0);
  EXPECT_TRUE(ui.Boxes.empty());
  EXPECT_EQ(ui.StatusLog, std::vector<std::string>{"Downloading SaveSlot data..."});

  // No store.
  Reset();
  Run(DownloadSaveActionExecute, kFree);
  EXPECT_TRUE(ui.ModalShown.empty());
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "No SaveSlot found"}}));

  // Read failure.
  Reset();
  phone.SetFault("ReadError", "2-2:-10");
  Run(DownloadSaveActionExecute, kGames);
  EXPECT_TRUE(ui.ModalShown.empty());
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "Error reading section 2-2"}}));
  EXPECT_EQ(ui.StatusLog, std::vector<std::string>{"Downloading SaveSlot data..."});
  EXPECT_FALSE(std::filesystem::exists(PathOf("out.sav")));
}

// --- Erase Save Slot ----------------------------------------------------------------------

TEST_F(SaveSlotTest, EraseRewritesTheStore) {
  struct Case {
    const char* name;
    int row;
    Buf section;
    std::vector<int> ticked;  // the items to remove
    Buf written;
  };
  const Buf bare = Cat({Record(300, 1), Record(200, 2), Record(488, 3)});
  const std::vector<Case> cases = {
      {"slot 1 of 600/384",
       kGames,
       GamesSection(),
       {1},
       Cat({Program(4000), Record(384, 2), Trailer(4000)})},
      {"every item", kGames, GamesSection(), {1, 2}, Program(4000)},
      {"nothing: the same records", kGames, GamesSection(), {}, GamesSection()},
      {"nothing of a bare store: the trailer comes", kSaves, bare, {}, Cat({bare, Trailer(0)})},
      {"middle of a bare store",
       kSaves,
       bare,
       {2},
       Cat({Record(300, 1), Record(488, 3), Trailer(0)})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    phone.PutSection(2, 2, GamesSection());
    phone.PutSection(18, 1, bare);
    AnswerSlots(c.ticked);
    Run(EraseSaveActionExecute, c.row);
    const auto& row = m->Sections[static_cast<std::size_t>(c.row)];
    EXPECT_EQ(phone.Section(row.Section, row.SubSection), c.written);
    EXPECT_EQ(ui.Prompts, std::vector<std::string>{kRemovePrompt});
    EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"OK!", "Save Slot erased sucsessfully!"}}));
    EXPECT_EQ(ui.StatusLog, (std::vector<std::string>{
                                "Reading Slot data...", "Uploading Slot data...",
                                "Refreshing section " + row.Address().Text() + "...", "Erased!"}));
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{
                                 "InitGBPMode", "ReadNVMFile", "EndGBPMode", "InitGBPMode",
                                 "WriteNVMFile", "GetNVMFileSize", "ReadNVMFile", "EndGBPMode"}));
    ExpectWholeBufferRead();
    EXPECT_EQ(row.Size, static_cast<std::int32_t>(c.written.size()));
    EXPECT_GE(ui.Repaints, 1);
  }
}

TEST_F(SaveSlotTest, EraseFailures) {
  phone.PutSection(2, 2, GamesSection());
  phone.PutSection(2, 8, Program(300));

  AnswerUnchanged(mrCancel);
  Run(EraseSaveActionExecute, kGames);
  EXPECT_TRUE(ui.Boxes.empty());
  EXPECT_EQ(ui.StatusLog, std::vector<std::string>{"Reading Slot data..."});

  Reset();
  Run(EraseSaveActionExecute, kFree);
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "Save slot not found in this section!"}}));

  Reset();
  phone.SetFault("ReadError", "2-2:-7");
  Run(EraseSaveActionExecute, kGames);
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "Error reading section 2-2"}}));
  EXPECT_TRUE(ui.ModalShown.empty());
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);
  EXPECT_EQ(phone.Section(2, 2), GamesSection());

  // The telephone keeps only part of the write: reported, not rolled back.
  Reset();
  phone.SetFault("ReadError", "");
  phone.SetFault("WriteKeep", "2-2:100");
  AnswerSlots({1});
  Run(EraseSaveActionExecute, kGames);
  EXPECT_EQ(ui.Boxes, std::vector<TBox>{kUploadErrorBox});
  EXPECT_EQ(ui.LastStatus(), "Upload error!");
  EXPECT_EQ(phone.Section(2, 2)->size(), 100u);
}

TEST_F(SaveSlotTest, EraseRefusesAStoreThatOutgrowsTheBuffer) {
  // A bare store filling the whole buffer: keeping every item would need 8 bytes more.
  const Buf full = Record(65532, 9);
  ASSERT_EQ(full.size(), 65536u);
  phone.PutSection(18, 1, full);
  AnswerSlots({});
  Run(EraseSaveActionExecute, kSaves);
  EXPECT_EQ(ui.Boxes, std::vector<TBox>{kTooBigBox});
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);
  EXPECT_EQ(phone.Section(18, 1), full);
}

// --- Upload Save Slot ---------------------------------------------------------------------

TEST_F(SaveSlotTest, UploadCombinesKeptAndFileItems) {
  const Buf saves = Cat({Record(100, 7), Record(50, 8)});
  const Buf sectionDump = Cat({Program(900), Record(20, 5), Record(30, 6), Trailer(900)});
  PutFile("saves.sav", saves);
  PutFile("dump.bin", sectionDump);
  PutFile("prog.prg", Program(500));
  struct Case {
    const char* name;
    Buf section;
    std::vector<int> remove;
    std::optional<std::string> file;
    std::optional<std::vector<int>> fromFile;  // nullopt: no dialog expected
    int fileResult;
    Buf written;
  };
  const std::vector<Case> cases = {
      {"empty section, two file items",
       Buf{},
       {},
       "saves.sav",
       std::vector<int>{1, 2},
       mrOk,
       Cat({saves, Trailer(0)})},
      {"remove slot 1, add file slot 2",
       GamesSection(),
       {1},
       "saves.sav",
       std::vector<int>{2},
       mrOk,
       Cat({Program(4000), Record(384, 2), Record(50, 8), Trailer(4000)})},
      {"remove all, open cancelled",
       GamesSection(),
       {1, 2},
       std::nullopt,
       std::nullopt,
       mrOk,
       Program(4000)},
      {"file selection cancelled",
       GamesSection(),
       {2},
       "saves.sav",
       std::vector<int>{1, 2},
       mrCancel,
       Cat({Program(4000), Record(600, 1), Trailer(4000)})},
      {"items of a whole-section file",
       GamesSection(),
       {},
       "dump.bin",
       std::vector<int>{2},
       mrOk,
       Cat({Program(4000), Record(600, 1), Record(384, 2), Record(30, 6), Trailer(4000)})},
      {"program without store keeps it whole",
       Program(3000),
       {},
       "saves.sav",
       std::vector<int>{1},
       mrOk,
       Cat({Program(3000), Record(100, 7), Trailer(3000)})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    phone.PutSection(2, 2, c.section);
    const bool sectionStore = c.section == GamesSection();
    if (sectionStore) AnswerSlots(c.remove);
    ui.OpenAnswers.push_back(c.file ? std::optional<std::string>(PathOf(*c.file)) : std::nullopt);
    if (c.fromFile) AnswerSlots(*c.fromFile, c.fileResult);
    Run(UploadSaveActionExecute, kGames);
    EXPECT_EQ(phone.Section(2, 2), c.written);
    std::vector<std::string> prompts;
    if (sectionStore) prompts.push_back(kRemovePrompt);
    if (c.fromFile) prompts.push_back(kFromFilePrompt);
    EXPECT_EQ(ui.Prompts, prompts);
    EXPECT_EQ(ui.OpenFilters, std::vector<std::string>{kOpenDialog1Filter});
    EXPECT_EQ(ui.Unanswered, 0);
    EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"OK!", "Save slot uploaded sucsessfully!"}}));
    EXPECT_EQ(ui.StatusLog,
              (std::vector<std::string>{"Reading Slot data...", "Uploading Save data...",
                                        "Refreshing section 2-2...", "Uploaded!"}));
    EXPECT_EQ(log.Count("WriteNVMFile"), 1);
    ExpectWholeBufferRead();
  }

  // A file without records has nothing to upload: refused, even with a removal chosen.
  Reset();
  phone.PutSection(2, 2, GamesSection());
  AnswerSlots({1});
  ui.OpenAnswers.push_back(PathOf("prog.prg"));
  Run(UploadSaveActionExecute, kGames);
  EXPECT_EQ(phone.Section(2, 2), GamesSection());
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "Can't uplod - no save slots in file!"}}));
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);
}

TEST_F(SaveSlotTest, UploadIntoAnAbsentSectionStartsAStore) {
  // The grid shows a section that does not exist as empty and offers Upload Save Slot there;
  // the read's "no such section" is an empty section, not a read error.
  const Buf saves = Cat({Record(100, 7), Record(50, 8)});
  PutFile("saves.sav", saves);
  phone.RemoveSection(2, 8);
  ui.OpenAnswers.push_back(PathOf("saves.sav"));
  AnswerUnchanged();
  Run(UploadSaveActionExecute, kFree);
  EXPECT_EQ(phone.Section(2, 8), Cat({saves, Trailer(0)}));
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"OK!", "Save slot uploaded sucsessfully!"}}));

  // Any other read failure still ends the command.
  Reset();
  phone.SetFault("ReadError", "2-8:-10");
  Run(UploadSaveActionExecute, kFree);
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "Error reading section 2-8"}}));
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);
}

TEST_F(SaveSlotTest, UploadCancelledInTheRemovalPromptWritesNothing) {
  phone.PutSection(2, 2, GamesSection());
  AnswerUnchanged(mrCancel);
  Run(UploadSaveActionExecute, kGames);
  EXPECT_TRUE(ui.OpenFilters.empty());
  EXPECT_TRUE(ui.Boxes.empty());
  EXPECT_EQ(ui.StatusLog, std::vector<std::string>{"Reading Slot data..."});
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);
  EXPECT_EQ(phone.Section(2, 2), GamesSection());
}

TEST_F(SaveSlotTest, UploadFitsTheBufferOrIsRefused) {
  // Program part 10,000 bytes, no store; the file brings items that just fit or do not.
  const std::size_t program = 10000;
  const std::uint16_t fits = static_cast<std::uint16_t>(65536 - program - 8 - 4 - 4 - 20000);
  PutFile("fits.sav", Cat({Record(20000, 1), Record(fits, 2)}));
  PutFile("toobig.sav", Cat({Record(20000, 1), Record(static_cast<std::uint16_t>(fits + 1), 2)}));

  phone.PutSection(2, 2, Program(program));
  ui.OpenAnswers.push_back(PathOf("toobig.sav"));
  AnswerUnchanged();
  Run(UploadSaveActionExecute, kGames);
  EXPECT_EQ(ui.Boxes, std::vector<TBox>{kTooBigBox});
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);
  EXPECT_EQ(phone.Section(2, 2), Program(program));

  Reset();
  ui.OpenAnswers.push_back(PathOf("fits.sav"));
  AnswerUnchanged();
  Run(UploadSaveActionExecute, kGames);
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"OK!", "Save slot uploaded sucsessfully!"}}));
  EXPECT_EQ(phone.Section(2, 2)->size(), 65536u);
}

TEST_F(SaveSlotTest, UploadFailures) {
  phone.PutSection(2, 2, GamesSection());
  PutFile("saves.sav", Cat({Record(100, 7), Record(50, 8)}));

  // A file that cannot be read: the exception box, nothing written, connection closed.
  AnswerUnchanged();
  ui.OpenAnswers.push_back(PathOf("missing.sav"));
  Run(UploadSaveActionExecute, kGames);
  EXPECT_EQ(ui.Exceptions.size(), 1u);
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);

  Reset();
  phone.SetFault("ReadError", "2-2:-10");
  Run(UploadSaveActionExecute, kGames);
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "Error reading section 2-2"}}));
  EXPECT_TRUE(ui.ModalShown.empty());
  EXPECT_TRUE(ui.OpenFilters.empty());
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);

  Reset();
  phone.SetFault("ReadError", "");
  phone.SetFault("WriteKeep", "2-2:100");
  AnswerSlots({});
  ui.OpenAnswers.push_back(PathOf("saves.sav"));
  AnswerUnchanged();
  Run(UploadSaveActionExecute, kGames);
  EXPECT_EQ(ui.Boxes, std::vector<TBox>{kUploadErrorBox});
  EXPECT_EQ(ui.LastStatus(), "Upload error!");
  EXPECT_EQ(m->Sections[kGames].Size, 100);
  EXPECT_EQ(phone.Section(2, 2)->size(), 100u);
}

TEST_F(SaveSlotTest, CommandsNeedARow) {
  phone.PutSection(2, 2, GamesSection());
  for (auto* command :
       {DownloadSaveActionExecute, UploadSaveActionExecute, EraseSaveActionExecute}) {
    Run(command, 0);
    Run(command, 99);
  }
  EXPECT_TRUE(log.Calls.empty());
  EXPECT_TRUE(ui.StatusLog.empty());
}

}  // namespace
}  // namespace zub::test
