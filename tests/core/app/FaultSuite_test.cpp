// Nothing lost: every command that writes, run under every fault the telephone simulator can
// play. Each cell of the matrix runs the command twice on fresh telephones, once without the
// fault (what the command is meant to leave behind: its intended result) and once with it,
// and checks that
//   a command that refuses writes nothing,
//   a failure never ends with a success box or status,
//   data the user still had survives (temp.prg, kept save items, the old download file),
//   the connection is closed at the end, failed or not.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Actions.h"
#include "commands/SaveSlotSelection.h"
#include "formats/SaveStore.h"
#include "support/CommandFixture.h"
#include "support/WatchingUI.h"

namespace zub::test {
namespace {

// ---------------------------------------------------------------------------------------
// Faults

enum class TFault {
  WriteKeep,        // the telephone keeps only the first bytes of a write, and says nothing
  Capacity,         // the telephone's memory is full: every write fails with -6
  ReadError,        // reading the section fails with a COMM error (-5)
  SizeError,        // the section's size cannot be read (-10)
  ClearFails,       // the erase answers OK and erases nothing
  NoAnswer,         // the telephone does not answer at all
  NoPort,           // the cable hangs on another port than the one the tool opens
  MaxTransfer,      // the service cable moves at most 256 bytes a call
  DropBeforeWrite,  // the telephone stops answering once the command got to its write
  WriteFail,        // the write answers a COMM error (-5) and the section stays as it was
};
constexpr std::array kFaults = {TFault::WriteKeep, TFault::Capacity,    TFault::ReadError,
                                TFault::SizeError, TFault::ClearFails,  TFault::NoAnswer,
                                TFault::NoPort,    TFault::MaxTransfer, TFault::DropBeforeWrite,
                                TFault::WriteFail};
constexpr std::size_t kFaultCount = kFaults.size();

const char* FaultName(TFault f) {
  switch (f) {
    case TFault::WriteKeep:
      return "WriteKeep";
    case TFault::Capacity:
      return "Capacity";
    case TFault::ReadError:
      return "ReadError";
    case TFault::SizeError:
      return "SizeError";
    case TFault::ClearFails:
      return "ClearFails";
    case TFault::NoAnswer:
      return "NoAnswer";
    case TFault::NoPort:
      return "NoPort";
    case TFault::MaxTransfer:
      return "MaxTransfer";
    case TFault::DropBeforeWrite:
      return "DropBeforeWrite";
    case TFault::WriteFail:
      return "WriteFail";
  }
  return "?";
}

constexpr std::size_t kWriteKeepBytes = 10;
constexpr const char* kMaxTransfer = "256";

// ---------------------------------------------------------------------------------------
// Expectations

enum class TOutcome {
  Refuses,     // nothing written or erased, the target unchanged, the user told why
  Fails,       // written or erased, the target is not what was intended, an error shown
  Unverified,  // the target is what was intended, but the command could not confirm it
  Succeeds,    // the target is what was intended and the command says so
  Skip,
};

struct TExpect {
  TOutcome Outcome;
  const char* Why = nullptr;           // why the combination says nothing
  TExpect(TOutcome o) : Outcome(o) {}  // NOLINT: the table reads better without the wrapper
  TExpect(TOutcome o, const char* why) : Outcome(o), Why(why) {}
};

TExpect Skip(const char* why) {
  return {TOutcome::Skip, why};
}

constexpr const char* kNeverClears = "the command never erases a section";
constexpr const char* kNeverWrites = "the command never writes to the telephone";
constexpr const char* kNoRoomNeeded = "an erase needs no room on the telephone";
constexpr const char* kNoData = "an erase moves no data over the link";
constexpr const char* kOneConnection =
    "the command opens one connection only: the same as no answer at all";

// ---------------------------------------------------------------------------------------
// Test data

// A UFIF program image: format word, name, random code (which hardly compresses).
Buf Program(std::uint32_t format, const std::string& name, std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Buf b(n);
  for (auto& c : b) c = static_cast<std::uint8_t>(rng());
  store_u32le(b, 0, format);
  for (std::size_t i = 0; i < 16; ++i)
    b[4 + i] = i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0;
  if (load_u16le(b, n - 2) == 0x46C0) b[n - 1] = 0;
  return b;
}

// 2-1 for the save-slot commands: a program part of 3000 bytes and two items.
Buf SlotSection() {
  return Cat({Pattern(3000, 3), Record(600, 0x31), Record(384, 0x32), Trailer(3000)});
}

// The preference record 2-18: "Progs and data", library 2-17, autorun 18-9.
Buf PrefRecord(std::uint8_t menuMode) {
  return {'Z', 'U', 'B', '2', menuMode, 0, 17, 2, 9, 18, 0, 0};
}

// The PRG3 library text of a release line and 100 values, and its image.
std::string Prg3Text() {
  std::string text = "RELEASE=3\r\n";
  for (unsigned i = 0; i < 100; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "%08X entry %u\r\n", 0x00A00000u + i * 0x111u, i);
    text += line;
  }
  return text;
}
Buf Prg3Image() {
  Buf b(4 * 101);
  store_u32le(b, 0, 3);
  for (unsigned i = 0; i < 100; ++i) store_u32le(b, 4 * (i + 1), 0x00A00000u + i * 0x111u);
  return b;
}

// ---------------------------------------------------------------------------------------
// One run: a fresh telephone, the command's setup, at most one fault, the command.

// Records the device calls and can make the telephone stop answering after a number of
// connections were opened.
class TFaultLog : public CallLog {
 public:
  int Opened = 0;
  int DropAfter = -1;
  std::function<void()> Drop;

  void OnLibraryCall(std::string_view entry, const std::vector<std::int64_t>& args, bool hasResult,
                     std::int32_t result) override {
    CallLog::OnLibraryCall(entry, args, hasResult, result);
    if (entry == "InitGBPMode" && result == 0 && ++Opened == DropAfter && Drop) Drop();
  }
};

struct TBench : CommandBench<WatchingUI, TFaultLog> {
  TBench() {
    phone.SetCatalogue({SimTelephone::Entry(2, 1, "Program")});
    // What every telephone holds besides the command's own section.
    phone.PutSection(2, 18, PrefRecord(7));
    phone.PutSection(2, 17, Cat({Buf{'L', 'I', 'B'}, Pattern(500, 11)}));
    phone.PutSection(2, 16, Buf{3, 0, 0, 0, 0x10, 0, 0, 0});
    phone.PutSection(17, 19, Pattern(300, 12));
  }
  void Start() {
    CommandBench::Start();
    // The rows show what the sections hold, as after a Full Refresh.
    m->Run([this] { ClickButton(*m, 1); });
    m->Row = 1;
  }
};

// One writing command and what each fault does to it.
struct TCommand {
  const char* Name;
  int Section, SubSection;  // the section the command writes; the faults aim at it
  const char* Done;         // the status line of a success
  int ConnectionsBeforeWrite;
  const char* TargetFile = nullptr;      // the command writes this file, not the section
  std::function<void(TBench&)> Content;  // sections, before the tool starts
  std::function<void(TBench&)> Answers;  // files and dialog answers, after it started
  std::function<void(TManager&)> Run;
  std::optional<Buf> Intended;  // when known here, the clean run must leave exactly this
  bool TempCopy = false;        // a copy of the intended section is kept in "temp.prg"
  std::vector<Buf> Kept;        // save items a store in the final section must hold
  std::array<TExpect, kFaultCount> Expect;

  std::string Address() const { return TSectionAddress{Section, SubSection}.Text(); }
};

using O = TOutcome;

// Each row: the command, its target, its setup, and one expectation per fault in the order
// of kFaults: WriteKeep, Capacity, ReadError, SizeError, ClearFails, NoAnswer, NoPort,
// MaxTransfer, DropBeforeWrite, WriteFail.
// clang-format off
const std::vector<TCommand>& Commands() {
  static const std::vector<TCommand> commands = {
    {"Upload", 2, 1, "Uploaded!", 0, nullptr,
     [](TBench& b) { b.phone.PutSection(2, 1, Pattern(600, 1)); },
     [](TBench& b) { b.OpenAnswer("new.bin", Cat({Pattern(1000, 2), Filler(3)})); },
     [](TManager& m) { ExecuteAction(m, TActionId::UploadAction); },
     Pattern(1000, 2), false, {},
     {O::Fails, O::Fails, O::Unverified, O::Unverified, Skip(kNeverClears), O::Refuses, O::Refuses, O::Fails, Skip(kOneConnection), O::Fails}},

    {"UploadLZO", 2, 1, "Uploaded!", 1, nullptr,
     [](TBench& b) {
       b.phone.PutSection(2, 1, Cat({Program(0x20010000, "Tetris", 1500, 21), Record(600, 0x51),
                                     Record(384, 0x52), Trailer(1500)}));
     },
     [](TBench& b) {
       b.OpenAnswer("new.prg", Program(0x20010000, "Tetris v2", 3000, 22));
       b.ui.AnswerModal(TFormId::IconForm, mrCancel);
       b.ui.AnswerModal(TFormId::SaveSlotForm, mrOk);  // keep both old items
     },
     [](TManager& m) { ExecuteAction(m, TActionId::UploadLZOAction); },
     std::nullopt, false, {Data(600, 0x51), Data(384, 0x52)},
     // the carry-over reads the section first: a fault of the read refuses the upload
     {O::Fails, O::Fails, O::Refuses, O::Unverified, Skip(kNeverClears), O::Refuses, O::Refuses, O::Refuses, O::Refuses, O::Fails}},

    {"Convert", 2, 1, "Uploaded!", 2, nullptr,
     [](TBench& b) { b.phone.PutSection(2, 1, Program(0x20000000, "Old", 1000, 31)); },
     [](TBench&) {},
     [](TManager& m) { ExecuteAction(m, TActionId::ConvertAction); },
     std::nullopt, true, {},
     // DropBeforeWrite: the section is erased, the write-back cannot connect
     {O::Fails, O::Fails, O::Refuses, O::Unverified, O::Succeeds, O::Refuses, O::Refuses, O::Refuses, O::Fails, O::Fails}},

    {"Clear", 2, 1, "Erased!", 0, nullptr,
     [](TBench& b) { b.phone.PutSection(2, 1, Pattern(600, 4)); },
     [](TBench&) {},
     [](TManager& m) { ExecuteAction(m, TActionId::ClearAction); },
     std::nullopt, false, {},
     // ReadError: the rescan of an empty section reads nothing
     {Skip(kNeverWrites), Skip(kNoRoomNeeded), O::Succeeds, O::Unverified, O::Fails, O::Refuses, O::Refuses, Skip(kNoData), Skip(kOneConnection), Skip(kNeverWrites)}},

    {"UploadSave", 2, 1, "Uploaded!", 1, nullptr,
     [](TBench& b) { b.phone.PutSection(2, 1, SlotSection()); },
     [](TBench& b) {
       // Remove slot 1, keep slot 2, add both items of the file.
       b.ui.AnswerModal(TFormId::SaveSlotForm, mrOk, [&b] { SaveSlotCheckClick(*b.m, 1, false); });
       b.OpenAnswer("add.sav", Cat({Record(100, 0x41), Record(50, 0x42)}));
       b.ui.AnswerModal(TFormId::SaveSlotForm, mrOk);
     },
     [](TManager& m) { ExecuteAction(m, TActionId::UploadSaveAction); },
     Cat({Pattern(3000, 3), Record(384, 0x32), Record(100, 0x41), Record(50, 0x42), Trailer(3000)}),
     false, {Data(384, 0x32), Data(100, 0x41), Data(50, 0x42)},
     {O::Fails, O::Fails, O::Refuses, O::Unverified, Skip(kNeverClears), O::Refuses, O::Refuses, O::Refuses, O::Refuses, O::Fails}},

    {"DownloadSave", 2, 1, "Downloaded!", 0, "slots.sav",
     [](TBench& b) { b.phone.PutSection(2, 1, SlotSection()); },
     [](TBench& b) {
       b.ui.AnswerModal(TFormId::SaveSlotForm, mrOk);
       b.SaveAnswer("slots.sav", Pattern(77, 8));
     },
     [](TManager& m) { ExecuteAction(m, TActionId::DownloadSaveAction); },
     Cat({Record(600, 0x31), Record(384, 0x32)}), false, {},
     {Skip(kNeverWrites), Skip(kNeverWrites), O::Refuses, O::Succeeds, Skip(kNeverWrites), O::Refuses, O::Refuses, O::Refuses, Skip(kOneConnection), Skip(kNeverWrites)}},

    {"EraseSave", 2, 1, "Erased!", 1, nullptr,
     [](TBench& b) { b.phone.PutSection(2, 1, SlotSection()); },
     [](TBench& b) {
       b.ui.AnswerModal(TFormId::SaveSlotForm, mrOk, [&b] { SaveSlotCheckClick(*b.m, 1, false); });
     },
     [](TManager& m) { ExecuteAction(m, TActionId::EraseSaveAction); },
     Cat({Pattern(3000, 3), Record(384, 0x32), Trailer(3000)}), false, {Data(384, 0x32)},
     {O::Fails, O::Fails, O::Refuses, O::Unverified, Skip(kNeverClears), O::Refuses, O::Refuses, O::Refuses, O::Refuses, O::Fails}},

    {"UFIF2Library", 2, 17, "Uploaded!", 2, nullptr,
     [](TBench&) {},
     [](TBench& b) {
       b.ui.ConfirmAnswers.push_back(true);
       b.OpenAnswer("new.lib", Cat({Buf{'L', 'I', 'B'}, Pattern(3000, 5)}));
     },
     [](TManager& m) { ClickButton(m, 5); },
     Cat({Buf{'L', 'I', 'B'}, Pattern(3000, 5)}), false, {},
     // ReadError: the library section itself is never read
     {O::Fails, O::Fails, O::Succeeds, O::Unverified, Skip(kNeverClears), O::Refuses, O::Refuses, O::Fails, O::Refuses, O::Fails}},

    {"PRG3Library", 2, 16, "Uploaded!", 0, nullptr,
     [](TBench&) {},
     [](TBench& b) {
       const std::string text = Prg3Text();
       b.OpenAnswer("lib.txt", Buf(text.begin(), text.end()));
     },
     [](TManager& m) { ClickButton(m, 6); },
     Prg3Image(), false, {},
     {O::Fails, O::Fails, O::Succeeds, O::Unverified, Skip(kNeverClears), O::Refuses, O::Refuses, O::Fails, Skip(kOneConnection), O::Fails}},

    {"RawUpload", 17, 19, "Uploaded!", 0, nullptr,
     [](TBench&) {},
     [](TBench& b) { b.OpenAnswer("raw.bin", Cat({Pattern(1000, 9), Filler(2)})); },
     [](TManager& m) { ClickButton(m, 9); },
     Pattern(1000, 9), false, {},
     {O::Fails, O::Fails, O::Succeeds, O::Unverified, Skip(kNeverClears), O::Refuses, O::Refuses, O::Fails, Skip(kOneConnection), O::Fails}},

    // A failed write over a section of the same size leaves a section that passes the size
    // check: only the write's own answer tells.
    {"UploadSameSize", 2, 1, "Uploaded!", 0, nullptr,
     [](TBench& b) { b.phone.PutSection(2, 1, Pattern(1000, 7)); },
     [](TBench& b) { b.OpenAnswer("new.bin", Cat({Pattern(1000, 2), Filler(3)})); },
     [](TManager& m) { ExecuteAction(m, TActionId::UploadAction); },
     Pattern(1000, 2), false, {},
     {O::Fails, O::Fails, O::Unverified, O::Unverified, Skip(kNeverClears), O::Refuses, O::Refuses, O::Fails, Skip(kOneConnection), O::Fails}},

    {"RawUploadSameSize", 17, 19, "Uploaded!", 0, nullptr,
     [](TBench& b) { b.phone.PutSection(17, 19, Pattern(1000, 13)); },
     [](TBench& b) { b.OpenAnswer("raw.bin", Cat({Pattern(1000, 9), Filler(2)})); },
     [](TManager& m) { ClickButton(m, 9); },
     Pattern(1000, 9), false, {},
     {O::Fails, O::Fails, O::Succeeds, O::Unverified, Skip(kNeverClears), O::Refuses, O::Refuses, O::Fails, Skip(kOneConnection), O::Fails}},

    {"Preferences", 2, 18, "Uploaded!", 2, nullptr,
     [](TBench&) {},
     [](TBench& b) {
       b.ui.AnswerModal(TFormId::PrefForm, mrOk, [&b] { b.m->Pref.RG1 = 2; });  // "Show all"
     },
     [](TManager& m) { ClickButton(m, 3); },
     PrefRecord(0xFF), false, {},
     // ReadError: an unreadable record leaves the library fields empty, whose conversion
     // ends the update; MaxTransfer: the 12-byte record fits any link
     {O::Fails, O::Fails, O::Refuses, O::Unverified, Skip(kNeverClears), O::Refuses, O::Refuses, O::Succeeds, O::Refuses, O::Fails}},

    {"Download", 2, 1, "Downloaded!", 0, "section.bin",
     [](TBench& b) { b.phone.PutSection(2, 1, Pattern(3000, 6)); },
     [](TBench& b) { b.SaveAnswer("section.bin", Pattern(77, 8)); },
     [](TManager& m) { ExecuteAction(m, TActionId::DownloadAction); },
     Pattern(3000, 6), false, {},
     {Skip(kNeverWrites), Skip(kNeverWrites), O::Refuses, O::Succeeds, Skip(kNeverWrites), O::Refuses, O::Refuses, O::Refuses, Skip(kOneConnection), Skip(kNeverWrites)}},
  };
  return commands;
}
// clang-format on

void ApplyFault(TBench& b, const TCommand& c, TFault f) {
  const std::string at = c.Address();
  switch (f) {
    case TFault::WriteKeep:
      b.phone.SetFault("WriteKeep", at + ":" + std::to_string(kWriteKeepBytes));
      break;
    case TFault::Capacity:
      b.phone.SetSim("Memory", "Capacity", "1");
      break;
    case TFault::ReadError:
      b.phone.SetFault("ReadError", at + ":-5");
      break;
    case TFault::SizeError:
      b.phone.SetFault("SizeError", at + ":-10");
      break;
    case TFault::ClearFails:
      b.phone.SetFault("ClearFails", at);
      break;
    case TFault::NoAnswer:
      b.phone.SetSim("Link", "Answer", "0");
      break;
    case TFault::NoPort:  // the tool opens COM1
      b.phone.SetSim("Link", "Ports", "4");
      break;
    case TFault::MaxTransfer:
      b.phone.SetSim("Link", "MaxTransfer", kMaxTransfer);
      break;
    case TFault::DropBeforeWrite:
      b.log.DropAfter = c.ConnectionsBeforeWrite;
      b.log.Drop = [&b] { b.phone.SetSim("Link", "Answer", "0"); };
      break;
    case TFault::WriteFail:
      b.phone.SetFault("WriteFail", at + ":-5");
      break;
  }
}

// What a run left behind.
struct TRun {
  std::optional<Buf> Before, After;                // the command's target
  std::optional<Buf> SectionBefore, SectionAfter;  // the section, for file targets
  std::optional<Buf> TempPrg;
  int Writes = 0, Clears = 0;
  std::vector<TBox> Boxes;
  std::vector<std::string> Exceptions;
  std::string LastStatus;
  int Unanswered = 0;
  bool PendingAnswers = false;

  bool HasBox(const std::string& caption) const {
    for (const auto& b : Boxes)
      if (b.Caption == caption) return true;
    return false;
  }
  bool ErrorShown() const { return HasBox("ERROR") || !Exceptions.empty(); }
};

std::optional<Buf> Target(const TBench& b, const TCommand& c) {
  if (c.TargetFile) return ReadFile(b.phone.Dir() / c.TargetFile);
  return b.phone.Section(c.Section, c.SubSection);
}

TRun RunCommand(const TCommand& c, std::optional<TFault> fault) {
  TBench b;
  c.Content(b);
  b.Start();
  c.Answers(b);
  TRun run;
  run.Before = Target(b, c);
  run.SectionBefore = b.phone.Section(c.Section, c.SubSection);
  if (fault) ApplyFault(b, c, *fault);
  b.ui.ClearRecords();
  b.log.Clear();
  b.log.Opened = 0;
  {
    InFolder home(b.phone.Dir());
    b.m->Run([&] { c.Run(*b.m); });
  }
  run.After = Target(b, c);
  run.SectionAfter = b.phone.Section(c.Section, c.SubSection);
  run.TempPrg = ReadFile(b.phone.Dir() / "temp.prg");
  run.Writes = b.log.Count("WriteNVMFile");
  run.Clears = b.log.Count("ClearNVMFile");
  run.Boxes = b.ui.Boxes;
  run.Exceptions = b.ui.Exceptions;
  run.LastStatus = b.ui.LastStatus();
  run.Unanswered = b.ui.Unanswered;
  run.PendingAnswers = !b.ui.ModalAnswers.empty() || !b.ui.OpenAnswers.empty() ||
                       !b.ui.SaveAnswers.empty() || !b.ui.ConfirmAnswers.empty();

  // The connection is closed at the end, failed or not: the last connection that opened was
  // ended, and no dialog was shown while one was open.
  EXPECT_FALSE(b.m->NVM->PortOpen()) << "the connection was left open";
  int lastOpen = -1;
  for (int i = 0; i < static_cast<int>(b.log.Calls.size()); ++i) {
    const auto& call = b.log.Calls[static_cast<std::size_t>(i)];
    if (call.Entry == "InitGBPMode" && call.Result == 0) lastOpen = i;
  }
  if (lastOpen >= 0) {
    bool ended = false;
    for (std::size_t i = static_cast<std::size_t>(lastOpen) + 1; i < b.log.Calls.size(); ++i)
      ended = ended || b.log.Calls[i].Entry == "EndGBPMode";
    EXPECT_TRUE(ended) << "the last connection opened was never ended";
  }
  EXPECT_EQ(b.ui.AskedWhileOpen, 0) << "a dialog was shown on an open connection";
  return run;
}

// The data of the items a well-formed store in the image holds, with its start; nullopt when
// the image holds none.
std::optional<std::pair<std::size_t, std::vector<Buf>>> StoreItems(const Buf& image) {
  std::vector<TSaveSlot> slots;
  const auto store = FindSaveStore(image, &slots);
  if (!store) return std::nullopt;
  std::vector<Buf> items;
  for (const auto& s : slots) {
    const auto at = image.begin() + s.Offset;
    items.emplace_back(at, at + s.Size);
  }
  return std::pair{store->Start, items};
}

bool Contains(const std::vector<std::string>& list, const std::string& s) {
  return std::find(list.begin(), list.end(), s) != list.end();
}

class FaultSuite : public ::testing::TestWithParam<std::tuple<std::size_t, std::size_t>> {};

TEST_P(FaultSuite, NothingLost) {
  const TCommand& c = Commands()[std::get<0>(GetParam())];
  const std::size_t column = std::get<1>(GetParam());
  const TFault fault = kFaults[column];
  const TExpect& expect = c.Expect[column];
  if (expect.Outcome == TOutcome::Skip) GTEST_SKIP() << expect.Why;

  // Without the fault the command does what it is for: that is the intended result.
  SCOPED_TRACE("clean run");
  const TRun clean = RunCommand(c, std::nullopt);
  ASSERT_EQ(clean.LastStatus, c.Done) << "the clean run did not succeed";
  ASSERT_TRUE(clean.Exceptions.empty()) << clean.Exceptions.front();
  ASSERT_FALSE(clean.HasBox("ERROR"));
  ASSERT_EQ(clean.Unanswered, 0);
  ASSERT_FALSE(clean.PendingAnswers) << "a scripted answer was not used";
  ASSERT_NE(clean.After, clean.Before) << "the clean run changed nothing";
  if (c.Intended) {
    ASSERT_EQ(clean.After, c.Intended);
  }
  const std::optional<Buf> intended = clean.After;

  SCOPED_TRACE(std::string("with ") + FaultName(fault));
  const TRun run = RunCommand(c, fault);
  const std::vector<std::string> successTexts = {"Uploaded!", "Erased!", "Downloaded!"};

  // No failure ends with a success box or a success status.
  if (run.After != intended) {
    EXPECT_FALSE(run.HasBox("OK!")) << "a failure was reported as a success";
    EXPECT_FALSE(Contains(successTexts, run.LastStatus))
        << "a failure ends with \"" << run.LastStatus << "\"";
  }

  switch (expect.Outcome) {
    case TOutcome::Refuses:
      EXPECT_EQ(run.Writes, 0) << "a command that refused wrote";
      EXPECT_EQ(run.Clears, 0) << "a command that refused erased";
      EXPECT_EQ(run.After, run.Before) << "a command that refused changed its target";
      EXPECT_TRUE(run.ErrorShown()) << "the user was not told why nothing happened";
      break;
    case TOutcome::Fails:
      EXPECT_GT(run.Writes + run.Clears, 0);
      EXPECT_NE(run.After, intended);
      EXPECT_TRUE(run.HasBox("ERROR")) << "the failure was not reported";
      break;
    case TOutcome::Unverified:
      EXPECT_EQ(run.After, intended);
      EXPECT_TRUE(run.HasBox("ERROR")) << "an unconfirmed write was not reported";
      EXPECT_FALSE(run.HasBox("OK!"));
      EXPECT_NE(run.LastStatus, c.Done);
      break;
    case TOutcome::Succeeds:
      EXPECT_EQ(run.After, intended);
      EXPECT_EQ(run.LastStatus, c.Done);
      EXPECT_TRUE(run.Exceptions.empty());
      break;
    case TOutcome::Skip:
      break;
  }

  // Data the user still had is not destroyed.
  if (c.TargetFile) {
    // A download that did not happen leaves the old file in place; the telephone is untouched.
    if (run.After != intended) {
      EXPECT_EQ(run.After, run.Before) << "the old file was destroyed";
    }
    EXPECT_EQ(run.Writes + run.Clears, 0);
    EXPECT_EQ(run.SectionAfter, run.SectionBefore);
  }
  if (c.TempCopy && run.Writes + run.Clears > 0) {
    EXPECT_EQ(run.TempPrg, intended) << "the converted program is not in temp.prg";
  }
  if (!c.Kept.empty() && run.After && run.After != run.Before) {
    // Whatever store the section holds now carries the kept items whole, behind the
    // intended program part.
    if (const auto items = StoreItems(*run.After)) {
      EXPECT_EQ(items->second, c.Kept) << "kept save items were changed";
      ASSERT_TRUE(intended.has_value());
      const auto intendedStore = StoreItems(*intended);
      ASSERT_TRUE(intendedStore.has_value());
      EXPECT_EQ(items->first, intendedStore->first);
      EXPECT_TRUE(
          std::equal(run.After->begin(), run.After->begin() + items->first, intended->begin()))
          << "the program part in front of the store changed";
    }
  }
}

std::string CellName(const ::testing::TestParamInfo<FaultSuite::ParamType>& info) {
  return std::string(Commands()[std::get<0>(info.param)].Name) + "_" +
         FaultName(kFaults[std::get<1>(info.param)]);
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, FaultSuite,
                         ::testing::Combine(::testing::Range<std::size_t>(0, Commands().size()),
                                            ::testing::Range<std::size_t>(0, kFaultCount)),
                         CellName);

// ---------------------------------------------------------------------------------------
// Faults one command meets in a way of its own.

const TCommand& CommandNamed(const std::string& name) {
  for (const TCommand& c : Commands())
    if (name == c.Name) return c;
  throw std::runtime_error("no command " + name);
}

bool HasBox(const TRun& run, const std::string& text) {
  for (const auto& b : run.Boxes)
    if (b.Text == text) return true;
  return false;
}

TEST(FaultCases, ConversionThatCannotWriteBackSaysWhereTheProgramIs) {
  const TRun run = RunCommand(CommandNamed("Convert"), TFault::DropBeforeWrite);
  EXPECT_EQ(run.Clears, 1);
  EXPECT_EQ(run.Writes, 0);
  EXPECT_TRUE(HasBox(run, kConvertUploadErrorText));
  EXPECT_EQ(run.LastStatus, "Upload error!");
  EXPECT_TRUE(run.TempPrg.has_value());
}

// Sections that hold more than 64 KiB: a head that is itself a whole store (so that the
// save-slot commands would find items in it), then 1000 bytes more.
TEST(FaultCases, SectionsLongerThanTheBufferAreNeverShortened) {
  constexpr std::size_t kProgram = 65536 - 604 - 388 - 8;
  const Buf head = Cat({Pattern(kProgram, 3), Record(600, 0x31), Record(384, 0x32),
                        Trailer(static_cast<std::uint32_t>(kProgram))});
  ASSERT_EQ(head.size(), 65536u);
  const Buf section = Cat({head, Pattern(1000, 4)});
  struct TCase {
    const char* Name;
    std::function<void(TBench&)> Answers;
    TActionId Action;
    const char* Refusal;  // nullptr: the download saves the whole section
  };
  const std::vector<TCase> cases = {
      {"Download", [](TBench& b) { b.SaveAnswer("section.bin", Pattern(77, 8)); },
       TActionId::DownloadAction, nullptr},
      {"UploadSave",
       [](TBench& b) {
         b.ui.AnswerModal(TFormId::SaveSlotForm, mrOk);
         b.OpenAnswer("add.sav", Record(100, 0x41));
         b.ui.AnswerModal(TFormId::SaveSlotForm, mrOk);
       },
       TActionId::UploadSaveAction, "Can't upload save slot - section 2-1 too big!"},
      {"EraseSave",
       [](TBench& b) {
         b.ui.AnswerModal(TFormId::SaveSlotForm, mrOk,
                          [&b] { SaveSlotCheckClick(*b.m, 0, false); });
       },
       TActionId::EraseSaveAction, "Can't erase save slot - section 2-1 too big!"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBench b;
    b.phone.PutSection(2, 1, section);
    b.Start();
    c.Answers(b);
    b.ui.ClearRecords();
    b.log.Clear();
    b.m->Run([&] { ExecuteAction(*b.m, c.Action); });
    EXPECT_EQ(b.log.Count("WriteNVMFile"), 0);
    EXPECT_EQ(b.phone.Section(2, 1), section);
    if (c.Refusal) {
      ASSERT_EQ(b.ui.Boxes.size(), 1u);
      EXPECT_EQ(b.ui.Boxes[0].Text, c.Refusal);
    } else {
      EXPECT_EQ(ReadFile(b.phone.Dir() / "section.bin"), section);
      EXPECT_EQ(b.ui.LastStatus(), "Downloaded!");
    }
    EXPECT_FALSE(b.m->NVM->PortOpen());
  }

  // Without the size, a full buffer may hold only the head: the download is refused and the
  // file the user chose stays as it was.
  TBench b;
  b.phone.PutSection(2, 1, section);
  b.phone.SetFault("SizeError", "2-1:-10");
  b.Start();
  b.SaveAnswer("section.bin", Pattern(77, 8));
  b.ui.ClearRecords();
  b.m->Run([&] { ExecuteAction(*b.m, TActionId::DownloadAction); });
  EXPECT_EQ(ReadFile(b.phone.Dir() / "section.bin"), Pattern(77, 8));
  ASSERT_EQ(b.ui.Boxes.size(), 1u);
  EXPECT_EQ(b.ui.Boxes[0].Text, "Error reading section 2-1");
}

// Upload Save Slot starts a new store only where there is really nothing: a section the
// telephone says does not exist, or one of size 0. Any other failed read is a failed read.
TEST(FaultCases, UploadSaveStartsAStoreOnlyInAnEmptySection) {
  struct TCase {
    const char* Name;
    const char* ReadError;  // the faults on 2-1, S-SS:code or empty
    const char* SizeError;
    bool Present;  // 2-1 holds SlotSection()
    bool Writes;
  };
  const std::vector<TCase> cases = {
      {"absent", "", "", false, true},
      {"read -153", "2-1:-153", "", true, true},
      {"read -5, size 0", "2-1:-5", "2-1:0", true, true},
      {"read -5, size -5", "2-1:-5", "2-1:-5", true, false},
      {"read -5, size -153", "2-1:-5", "2-1:-153", true, false},
      {"read -10, size -153", "2-1:-10", "2-1:-153", true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBench b;
    if (c.Present) b.phone.PutSection(2, 1, SlotSection());
    b.Start();
    b.OpenAnswer("add.sav", Record(100, 0x41));
    b.ui.AnswerModal(TFormId::SaveSlotForm, mrOk);
    b.phone.SetFault("ReadError", c.ReadError);
    b.phone.SetFault("SizeError", c.SizeError);
    b.ui.ClearRecords();
    b.log.Clear();
    b.m->Run([&] { ExecuteAction(*b.m, TActionId::UploadSaveAction); });
    if (c.Writes) {
      // A new store that holds the file's item alone.
      EXPECT_EQ(b.log.Count("WriteNVMFile"), 1);
      const auto after = b.phone.Section(2, 1);
      ASSERT_TRUE(after.has_value());
      const auto items = StoreItems(*after);
      ASSERT_TRUE(items.has_value());
      EXPECT_EQ(items->second, std::vector<Buf>{Data(100, 0x41)});
    } else {
      EXPECT_EQ(b.log.Count("WriteNVMFile"), 0);
      EXPECT_EQ(b.phone.Section(2, 1), SlotSection());
      ASSERT_EQ(b.ui.Boxes.size(), 1u);
      EXPECT_EQ(b.ui.Boxes[0].Text, "Error reading section 2-1");
    }
    EXPECT_FALSE(b.m->NVM->PortOpen());
  }
}

}  // namespace
}  // namespace zub::test
