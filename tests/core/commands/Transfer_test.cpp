#include "commands/Transfer.h"
#include "commands/Messages.h"
#include "commands/SectionIO.h"
#include "formats/Ufif.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/CommandFixture.h"

namespace zub::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ByteVec = std::vector<std::uint8_t>;

ByteVec Head(const ByteVec& b, std::size_t n) {
  return ByteVec(b.begin(), b.begin() + n);
}

// Rows of the test catalogue.
enum Row { kProgramRow = 1, kBigRow, kFreeRow, kPictureRow };

class Transfer : public CommandFixture<> {
 protected:
  void SetUp() override {
    phone.SetCatalogue(
        {SimTelephone::Entry(2, 1, "Program 1"), SimTelephone::Entry(2, 9, "Program 9"),
         SimTelephone::Entry(2, 8, "Program 8"), SimTelephone::Entry(17, 1, "Picture")});
  }
};

TEST(StripFiller, DropsTrailingFillerWordsOnly) {
  struct Case {
    const char* name;
    ByteVec bytes;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"empty", {}, 0},
      {"one byte", {0xC0}, 1},
      {"one filler word", {0xC0, 0x46}, 0},
      {"three filler words", {0xC0, 0x46, 0xC0, 0x46, 0xC0, 0x46}, 0},
      {"six filler bytes behind data", {0xAA, 0xBB, 0xC0, 0x46, 0xC0, 0x46, 0xC0, 0x46}, 2},
      {"odd length, filler at an odd offset", {0xAA, 0xC0, 0x46, 0xC0, 0x46}, 1},
      {"odd length ending in half a word", {0xC0, 0x46, 0xC0}, 3},
      {"46 C0 is kept", {0xAA, 0xBB, 0x46, 0xC0}, 4},
      {"filler inside is kept", {0xC0, 0x46, 0xAA, 0xBB}, 4},
      {"one byte before the words", {0x46, 0xC0, 0x46}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ByteVec b = c.bytes;
    EXPECT_EQ(StripFiller(b, static_cast<std::int32_t>(b.size())), c.expected);
    EXPECT_EQ(b, c.bytes);  // the bytes themselves stay
  }
  // Only the first n bytes count.
  ByteVec b = {0xAA, 0xC0, 0x46, 0xBB};
  EXPECT_EQ(StripFiller(b, 3), 1);
  EXPECT_EQ(StripFiller(b, 1), 1);
  EXPECT_EQ(StripFiller(b, 0), 0);
}

TEST_F(Transfer, UploadWritesTheFileWithoutItsFillerUpToTheLimit) {
  ByteVec longWithFiller = Pattern(34000);
  longWithFiller.resize(70000);
  for (std::size_t i = 34000; i < longWithFiller.size(); i += 2) {
    longWithFiller[i] = 0xC0;
    longWithFiller[i + 1] = 0x46;
  }
  longWithFiller[65537] = 0xAA;  // beyond what is read
  struct Case {
    const char* name;
    ByteVec file;
    std::optional<ByteVec> written;  // nullopt: refused as too big
  };
  const Case cases[] = {
      {"34442 bytes", Pattern(34442), Pattern(34442)},
      {"34443 bytes", Pattern(34443), std::nullopt},
      {"34442 bytes and three filler words", Cat({Pattern(34442), Filler(3)}), Pattern(34442)},
      {"40000 bytes, the last 6000 filler", Cat({Pattern(34000), Filler(3000)}), Pattern(34000)},
      {"longer than 65536 bytes", Pattern(70000), std::nullopt},
      {"longer than 65536, filler up to 65536", longWithFiller, Pattern(34000)},
      {"ends in 46 C0", {0x01, 0x02, 0x46, 0xC0}, ByteVec{0x01, 0x02, 0x46, 0xC0}},
      {"empty", {}, ByteVec{}},
      {"filler only", Filler(4), ByteVec{}},
      {"three bytes of a program tag", {0x00, 0x00, 0x00}, ByteVec{0x00, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    phone.PutSection(2, 8, "old");
    Start();
    OpenAnswer("up.bin", c.file);
    On(kFreeRow, UploadActionExecute);
    EXPECT_THAT(ui.OpenFilters, ElementsAre(kOpenDialog1Filter));
    EXPECT_THAT(ui.ModalShown, IsEmpty());
    EXPECT_THAT(ui.Exceptions, IsEmpty());
    if (c.written) {
      EXPECT_EQ(phone.Section(2, 8), c.written);
      EXPECT_THAT(ui.Boxes, ElementsAre(kUploadedBox));
      EXPECT_THAT(ui.StatusLog,
                  ElementsAre("Uploading data...", "Refreshing section 2-8...", "Uploaded!"));
      EXPECT_EQ(m->Sections[kFreeRow].Size, static_cast<std::int32_t>(c.written->size()));
      EXPECT_EQ(log.Last("WriteNVMFile")->Args.at(2), static_cast<std::int64_t>(c.written->size()));
      EXPECT_GT(ui.Repaints, 0);
    } else {
      EXPECT_EQ(phone.Section(2, 8), ByteVec({'o', 'l', 'd'}));
      EXPECT_THAT(ui.Boxes, ElementsAre(kTooBigBox));
      EXPECT_THAT(ui.StatusLog, ElementsAre("Uploading data..."));
      EXPECT_THAT(log.Calls, IsEmpty());
    }
    ExpectClosed();
  }
}

TEST_F(Transfer, UploadIsJudgedByTheSizeReadBack) {
  const ByteVec file = Pattern(500, 9);
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::int32_t writeResult;
    std::optional<ByteVec> kept;  // the section afterwards
    bool ok;
  };
  const Case cases[] = {
      {"written", [] {}, 500, file, true},
      // The write's own failure counts: the section kept its old content.
      {"write error, but the size matches",
       [&] {
         phone.PutSection(2, 8, Pattern(500, 3));
         phone.SetSim("Memory", "Capacity", "100");
       },
       -6, Pattern(500, 3), false},
      {"the telephone keeps only 100 bytes", [&] { phone.SetFault("WriteKeep", "2-8:100"); }, 500,
       Head(file, 100), false},
      {"out of memory", [&] { phone.SetSim("Memory", "Capacity", "300"); }, -6, std::nullopt,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    phone.RemoveSection(2, 8);
    phone.SetFault("WriteKeep", "");
    phone.SetSim("Memory", "Capacity", "0");
    c.prepare();
    Start();
    OpenAnswer("up.bin", file);
    On(kFreeRow, UploadActionExecute);
    EXPECT_EQ(log.Last("WriteNVMFile")->Result, c.writeResult);
    EXPECT_EQ(phone.Section(2, 8), c.kept);
    if (c.ok) {
      EXPECT_THAT(ui.Boxes, ElementsAre(kUploadedBox));
      EXPECT_EQ(ui.LastStatus(), "Uploaded!");
    } else {
      EXPECT_THAT(ui.Boxes, ElementsAre(kUploadErrorBox));
      EXPECT_EQ(ui.LastStatus(), "Upload error!");
    }
    ExpectClosed();
  }
}

TEST_F(Transfer, UploadStopsQuietlyWithoutAFileAndLoudlyOnAnUnreadableOne) {
  Start();
  On(kFreeRow, UploadActionExecute);  // the dialog is cancelled
  EXPECT_THAT(ui.StatusLog, IsEmpty());
  EXPECT_THAT(log.Calls, IsEmpty());

  ui.OpenAnswers.push_back((phone.Dir() / "missing.prg").string());
  On(kFreeRow, UploadActionExecute);
  ASSERT_EQ(ui.Exceptions.size(), 1u);
  EXPECT_THAT(ui.Exceptions[0], ::testing::HasSubstr("missing.prg"));
  EXPECT_THAT(log.Calls, IsEmpty());
  EXPECT_FALSE(phone.Section(2, 8));

  // The header placeholder is no section: nothing is asked, nothing happens.
  ui.ClearRecords();
  for (auto command : {UploadActionExecute, DownloadActionExecute, PlayGIFActionExecute}) {
    On(0, command);
  }
  On(0, [](TManager& mm) { ClearActionExecute(mm); });
  EXPECT_THAT(ui.OpenFilters, IsEmpty());
  EXPECT_THAT(ui.StatusLog, IsEmpty());
  EXPECT_THAT(log.Calls, IsEmpty());
}

TEST_F(Transfer, DownloadSavesTheWholeSection) {
  const ByteVec big = Pattern(30000, 5);
  phone.PutSection(2, 9, big);
  Start();
  const fs::path target = phone.Dir() / "2-9.sec";
  ui.SaveAnswers.push_back(target.string());
  On(kBigRow, DownloadActionExecute);
  EXPECT_EQ(ReadFile(target), big);
  EXPECT_EQ(ui.SaveDialogs, 1);
  EXPECT_THAT(ui.StatusLog, ElementsAre("Downloading data...", "Downloaded!"));
  EXPECT_THAT(ui.Boxes, IsEmpty());
  // The buffer is sized from the section's size, one byte more to see a section that grew.
  EXPECT_EQ(log.Last("ReadNVMFile")->Args, (std::vector<std::int64_t>{2, 9, 30001}));
  ExpectClosed();

  // An existing file is replaced.
  phone.PutSection(2, 9, "new");
  log.Clear();
  ui.ClearRecords();
  ui.SaveAnswers.push_back(target.string());
  On(kBigRow, DownloadActionExecute);
  EXPECT_EQ(ReadFile(target), ByteVec({'n', 'e', 'w'}));

  // Cancelling the save dialog writes nothing but still ends with "Downloaded!".
  ui.ClearRecords();
  On(kBigRow, DownloadActionExecute);
  EXPECT_EQ(ui.SaveDialogs, 1);
  EXPECT_EQ(ui.LastStatus(), "Downloaded!");
  EXPECT_EQ(ReadFile(target), ByteVec({'n', 'e', 'w'}));
}

TEST_F(Transfer, DownloadReadErrorAsksForNoFile) {
  phone.PutSection(2, 9, Pattern(100));
  phone.SetFault("ReadError", "2-9:-10");
  Start();
  On(kBigRow, DownloadActionExecute);
  EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", "Error reading section 2-9"}));
  EXPECT_THAT(ui.StatusLog, ElementsAre("Downloading data..."));
  EXPECT_EQ(ui.SaveDialogs, 0);
  ExpectClosed();
}

TEST_F(Transfer, DownloadThatCannotBeSavedIsReportedAndKeepsTheOldFile) {
  phone.PutSection(2, 9, Pattern(30000, 5));
  Start();
  ui.SaveAnswers.push_back((phone.Dir() / "no-such-folder" / "out.bin").string());
  On(kBigRow, DownloadActionExecute);
  ASSERT_EQ(ui.Exceptions.size(), 1u);
  EXPECT_THAT(ui.Exceptions[0], ::testing::HasSubstr("out.bin"));
  EXPECT_THAT(ui.StatusLog, ElementsAre("Downloading data..."));
  EXPECT_FALSE(fs::exists(phone.Dir() / "no-such-folder"));
  ExpectClosed();

#if !defined(_WIN32)
  // A write that fails halfway (the file size limit stands for a full disk) leaves the file
  // that was there before, and no stray file beside it.
  const fs::path folder = phone.Dir() / "saves";
  fs::create_directories(folder);
  const fs::path target = folder / "out.bin";
  WriteFile(target, Pattern(1000, 77));
  ui.ClearRecords();
  ui.SaveAnswers.push_back(target.string());
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  On(kBigRow, DownloadActionExecute);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(ui.Exceptions.size(), 1u);
  EXPECT_EQ(ReadFile(target), Pattern(1000, 77));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  EXPECT_NE(ui.LastStatus(), "Downloaded!");
  ExpectClosed();
#endif
}

TEST_F(Transfer, ClearReportsWhatTheRescanFinds) {
  struct Case {
    const char* name;
    std::string fault;
    std::string value;
    bool erased;
    std::vector<TBox> boxes;
    std::vector<std::string> status;
  };
  const Case cases[] = {
      {"erased", "", "", true, {}, {"Erasing section...", "Refreshing section 2-1...", "Erased!"}},
      {"the section stays",
       "ClearFails",
       "2-1",
       false,
       {{"ERROR", "Error erasing section 2-1"}},
       {"Erasing section...", "Refreshing section 2-1...", "Erase error!"}},
      {"the size cannot be read",
       "SizeError",
       "2-1:-10",
       false,
       {{"ERROR", "Error getting section 2-1 size"}, {"ERROR", "Error erasing section 2-1"}},
       {"Erasing section...", "Refreshing section 2-1...", "Erase error!"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    phone.SetFault("ClearFails", "");
    phone.SetFault("SizeError", "");
    if (!c.fault.empty()) phone.SetFault(c.fault, c.value);
    phone.PutSection(2, 1, Pattern(700));
    Start();
    m->Sections[kProgramRow].Size = 700;
    bool result = !c.erased;
    On(kProgramRow, [&](TManager& mm) { result = ClearActionExecute(mm); });
    EXPECT_EQ(result, c.erased);
    EXPECT_EQ(ui.Boxes, c.boxes);
    EXPECT_EQ(ui.StatusLog, c.status);
    EXPECT_EQ(log.Count("ClearNVMFile"), 1);
    EXPECT_EQ(m->Sections[kProgramRow].Size, c.erased ? 0 : 700);
    // A size that cannot be read says nothing about the erase itself.
    EXPECT_EQ(phone.Section(2, 1).has_value(), c.fault == "ClearFails");
    EXPECT_GT(ui.Repaints, 0);
    ExpectClosed();
  }
}

TEST_F(Transfer, PlayGifWritesTempGifAndLaunchesTheViewer) {
  WorkInHomeFolder();
  ByteVec gif = {'G', 'I', 'F', '8', '9', 'a'};
  const ByteVec rest = Pattern(3000);
  gif.insert(gif.end(), rest.begin(), rest.end());
  phone.PutSection(17, 1, gif);
  WriteFile(phone.Dir() / "temp.gif", Pattern(5000, 2));  // the previous picture, longer
  Start();
  On(kPictureRow, PlayGIFActionExecute);
  EXPECT_EQ(ReadFile(phone.Dir() / "temp.gif"), gif);
  EXPECT_THAT(ui.Launched, ElementsAre("start temp.gif"));
  EXPECT_THAT(ui.StatusLog, ElementsAre("Downloading data...", "Downloaded!"));
  EXPECT_THAT(ui.Boxes, IsEmpty());
  EXPECT_EQ(log.Count("GetNVMFileSize"), 0);  // no rescan
  ExpectClosed();

  fs::remove(phone.Dir() / "temp.gif");
  phone.SetFault("ReadError", "17-1:-10");
  ui.ClearRecords();
  log.Clear();
  On(kPictureRow, PlayGIFActionExecute);
  EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", "Error reading section 17-1"}));
  EXPECT_THAT(ui.Launched, IsEmpty());
  EXPECT_FALSE(fs::exists(phone.Dir() / "temp.gif"));
  ExpectClosed();

  // No program could be started for the picture: the box names the file it is in.
  phone.SetFault("ReadError", "");
  ui.ClearRecords();
  ui.LaunchAnswers.push_back(false);
  On(kPictureRow, PlayGIFActionExecute);
  EXPECT_EQ(ReadFile(phone.Dir() / "temp.gif"), gif);
  EXPECT_THAT(ui.Launched, ElementsAre("start temp.gif"));
  EXPECT_THAT(ui.Boxes,
              ElementsAre(TBox{"ERROR", "Can't open the picture: no program could be started for " +
                                            (fs::current_path() / "temp.gif").string()}));
  EXPECT_EQ(ui.LastStatus(), "Downloaded!");
}

TEST_F(Transfer, SummSizeAddsSubSections1To31OfSection18) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, std::size_t>> sections;
    std::string sizeError;
    std::string total;
  };
  const Case cases[] = {
      {"1000 and 500", {{1, 1000}, {2, 500}}, "", "1500"},
      {"18-31 counts, 18-32 does not", {{1, 1000}, {2, 500}, {31, 20}, {32, 40}}, "", "1520"},
      {"an error adds nothing", {{1, 1000}, {2, 500}, {3, 70}}, "18-3:-10", "1500"},
      {"nothing", {}, "", "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 1; i <= 32; ++i) phone.RemoveSection(18, i);
    for (const auto& [ss, size] : c.sections) phone.PutSection(18, ss, Pattern(size));
    phone.SetFault("SizeError", c.sizeError);
    Start();
    m->Run([&] { Button4Click(*m); });
    EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"", "Total Section 18xx size = " + c.total}));
    EXPECT_THAT(ui.StatusLog, IsEmpty());
    EXPECT_EQ(log.Count("GetNVMFileSize"), 31);
    EXPECT_EQ(log.Last("GetNVMFileSize")->Args, (std::vector<std::int64_t>{18, 31}));
    ExpectClosed();
  }
}

TEST_F(Transfer, VerifyUploadComparesTheSizeAndLeavesTheConnectionOpen) {
  struct Case {
    const char* name;
    std::optional<std::size_t> size;  // nullopt: no such section (-153)
    std::string sizeError;
    std::int32_t expected;
    std::int32_t result;
    TBox box;
  };
  const Case cases[] = {
      {"sizes agree", 100, "", 100, 100, {"OK!", "Section uploaded sucsessfully! Size: 100 bytes"}},
      {"no such section", std::nullopt, "", 100, -1, kUploadErrorBox},
      {"shorter", 60, "", 100, -1, kUploadErrorBox},
      {"size error", 100, "18-5:-10", 100, -1, kUploadErrorBox},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    phone.RemoveSection(18, 5);
    if (c.size) phone.PutSection(18, 5, Pattern(*c.size));
    phone.SetFault("SizeError", c.sizeError);
    Start();
    EXPECT_EQ(VerifyUpload(*m, 18, 5, c.expected), c.result);
    EXPECT_THAT(ui.Boxes, ElementsAre(c.box));
    EXPECT_THAT(ui.StatusLog, ElementsAre("Checking data..."));
    EXPECT_TRUE(m->NVM->PortOpen());
    if (!c.size) {
      EXPECT_EQ(log.Last("GetNVMFileSize")->Result, -153);
    }
    m->NVM->EndGBP();
  }
}

// The device calls of the whole-section commands, call by call: each opens one connection,
// touches only its own section, reads the head of what it changed once, and ends the
// connection. A command whose connection cannot be opened makes that one attempt only.

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 13 + 5);
  return s;
}

class TransferCallCount : public CommandFixture<> {
 protected:
  static constexpr int kRow = 1;  // 2-7

  void SetUp() override {
    phone.SetCatalogue(
        {SimTelephone::Entry(2, 7, "Program 7"), SimTelephone::Entry(17, 1, "Picture")});
    // Section 18: a few sub-sections, the rest absent.
    phone.PutSection(18, 1, Pattern(1000));
    phone.PutSection(18, 2, Pattern(500));
    phone.PutSection(18, 31, Pattern(7));
    WorkInHomeFolder();  // the PlayGIF command writes "temp.gif" into the current folder
  }
  void Start() {
    CommandFixture::Start();
    m->Row = kRow;
  }
  void Run(const std::function<void(TManager&)>& command) { On(m->Row, command); }
};

TEST_F(TransferCallCount, EachCommandMakesExactlyItsCalls) {
  const auto init = Call("InitGBPMode");
  const auto end = Call("EndGBPMode");
  std::vector<std::string> summSize{init};
  for (int i = 1; i <= 31; ++i) summSize.push_back(Call("GetNVMFileSize", {18, i}));
  summSize.push_back(end);

  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::function<void(TManager&)> command;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"upload",
       [&] { OpenAnswer("up.bin", Pattern(34442)); },
       UploadActionExecute,
       {init, Call("WriteNVMFile", {2, 7, 34442}), Call("GetNVMFileSize", {2, 7}),
        Call("ReadNVMFile", {2, 7, 128}), end}},
      {"upload of an empty file: the rescan finds nothing to read",
       [&] { OpenAnswer("empty.bin", std::string()); },
       UploadActionExecute,
       {init, Call("WriteNVMFile", {2, 7, 0}), Call("GetNVMFileSize", {2, 7}), end}},
      {"clear",
       [] {},
       [](TManager& m) { ClearActionExecute(m); },
       {init, Call("ClearNVMFile", {2, 7}), Call("GetNVMFileSize", {2, 7}), end}},
      {"clear of a section that stays: its head is read once",
       [&] { phone.SetFault("ClearFails", "2-7"); },
       [](TManager& m) { ClearActionExecute(m); },
       {init, Call("ClearNVMFile", {2, 7}), Call("GetNVMFileSize", {2, 7}),
        Call("ReadNVMFile", {2, 7, 128}), end}},
      {"play GIF",
       [&] { m->Row = 2; },
       PlayGIFActionExecute,
       {init, Call("ReadNVMFile", {17, 1, 220000}), end}},
      {"SummSize 18", [] {}, Button4Click, summSize},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    phone.PutSection(2, 7, Pattern(3000));
    phone.PutSection(17, 1, "GIF89a" + Pattern(5000));
    phone.SetFault("ClearFails", "");
    Start();
    c.prepare();
    Run(c.command);
    EXPECT_THAT(ui.Exceptions, ::testing::IsEmpty());
    EXPECT_THAT(log.Seen(), ElementsAreArray(c.calls));
    EXPECT_FALSE(m->NVM->PortOpen());
  }
}

// The download reads the section once, whole: a 30000-byte section arrives complete.
TEST_F(TransferCallCount, DownloadReadsOnceAndNeverScans) {
  phone.PutSection(2, 7, Pattern(30000));
  Start();
  ui.SaveAnswers.push_back(PathOf("down.bin"));
  Run(DownloadActionExecute);
  // The size first, so that the buffer holds the whole section.
  ASSERT_EQ(log.Calls.size(), 4u);
  EXPECT_EQ(Call(log.Calls[0].Entry), Call("InitGBPMode"));
  EXPECT_EQ(log.Calls[1].Entry, "GetNVMFileSize");
  EXPECT_EQ(log.Calls[2].Entry, "ReadNVMFile");
  EXPECT_THAT(log.Calls[2].Args, ElementsAre(2, 7, ::testing::Ge(30000)));
  EXPECT_EQ(log.Calls[2].Result, 30000);
  EXPECT_EQ(Call(log.Calls[3].Entry), Call("EndGBPMode"));
  EXPECT_EQ(fs::file_size(phone.Dir() / "down.bin"), 30000u);
}

TEST_F(TransferCallCount, ARefusedConnectionIsTriedOnce) {
  phone.PutSection(2, 7, Pattern(3000));
  phone.PutSection(17, 1, "GIF89a" + Pattern(5000));
  OpenAnswer("up.bin", Pattern(100));  // for the upload, first
  const std::pair<const char*, std::function<void(TManager&)>> commands[] = {
      {"upload", UploadActionExecute},
      {"download", DownloadActionExecute},
      {"clear", [](TManager& m) { ClearActionExecute(m); }},
      {"play GIF", PlayGIFActionExecute},
      {"SummSize 18", Button4Click},
  };
  for (const auto& [name, command] : commands) {
    SCOPED_TRACE(name);
    phone.SetSim("Link", "Answer", "0");
    Start();
    Run(command);
    EXPECT_THAT(log.Seen(), ElementsAre(Call("InitGBPMode")));
    EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", "GBP Error: No AT response!"}));
  }
  EXPECT_EQ(phone.Section(2, 7)->size(), 3000u);
}

}  // namespace
}  // namespace zub::test
