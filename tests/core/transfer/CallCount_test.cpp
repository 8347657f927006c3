// The device calls of the whole-section commands, call by call: each opens one connection,
// touches only its own section, reads the head of what it changed once, and ends the
// connection. A command whose connection cannot be opened makes that one attempt only.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "commands/Transfer.h"
#include "support/CommandFixture.h"

namespace zub::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

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
