// TNVMSection against the scripted fake library, loaded through the real loader.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/device/DeviceTestSupport.h"
#include "device/NVMSection.h"

namespace zub {
namespace {

using test::FakeDir;
using test::TFakeControl;
using test::TRecordingObserver;
using test::TRecordingOwner;
using TMessages = std::vector<std::pair<std::string, std::string>>;

class NVMSectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fake.Loaded());
    fake.Reset();
  }
  std::unique_ptr<TNVMSection> Make(const std::string& folder = "fake") {
    return std::make_unique<TNVMSection>(owner, FakeDir(folder), &observer);
  }

  TFakeControl fake{FakeDir("fake"), "gbp.dll"};
  TRecordingOwner owner;
  TRecordingObserver observer;
};

TEST_F(NVMSectionTest, ConstructionLoadsGbpDllWithoutOpeningThePort) {
  auto nvm = Make();
  EXPECT_TRUE(nvm->Loaded());
  EXPECT_FALSE(nvm->PortOpen());
  EXPECT_TRUE(owner.messages.empty());
  EXPECT_EQ(observer.loads, (std::vector<std::pair<std::string, bool>>{{"gbp.dll", true}}));
  EXPECT_EQ(fake.CallCount("InitGBPMode"), 0);
}

TEST_F(NVMSectionTest, EveryFailedOpeningShowsItsMessageAndLeavesThePortClosed) {
  const std::pair<std::int32_t, const char*> table[] = {
      {-1, "GBP Error: Port already opened!"},
      {-2, "GBP Error: Can't open port!"},
      {-3, "GBP Error: No AT response!"},
      {-4, "GBP Error: Port must be opened!"},
      {-5, "GBP Error: COMM Error!"},
      {-6, "GBP Error: No Memory!"},
      {-7, "GBP Error: Invalid arguments!"},
      {5, "GBP Error: Unknown error #5!"},
      {-153, "GBP Error: Unknown error #-153!"},
      {-8, "GBP Error: Unknown error #-8!"},
      {1, "GBP Error: Unknown error #1!"},
  };
  for (const auto& [code, text] : table) {
    SCOPED_TRACE(code);
    fake.Reset();
    owner.messages.clear();
    auto nvm = Make();
    fake.SetResult("InitGBPMode", code);
    EXPECT_FALSE(nvm->InitGBP());
    EXPECT_FALSE(nvm->PortOpen());
    EXPECT_EQ(owner.messages, (TMessages{{"ERROR", text}}));
    EXPECT_EQ(fake.CallCount("InitGBPMode"), 1);
  }
}

TEST_F(NVMSectionTest, InitGBPOpensOnceUntilEndGBP) {
  auto nvm = Make();
  EXPECT_TRUE(nvm->InitGBP());
  EXPECT_TRUE(nvm->InitGBP());
  EXPECT_EQ(fake.CallCount("InitGBPMode"), 1);
  nvm->EndGBP();
  EXPECT_FALSE(nvm->PortOpen());
  EXPECT_FALSE(fake.IsOpen());
  EXPECT_TRUE(nvm->InitGBP());
  EXPECT_EQ(fake.CallCount("InitGBPMode"), 2);
  // EndGBP calls the library even with nothing open.
  nvm->EndGBP();
  nvm->EndGBP();
  EXPECT_EQ(fake.CallCount("EndGBPMode"), 3);
  EXPECT_TRUE(owner.messages.empty());
}

TEST_F(NVMSectionTest, PortNumberIsTheOrdinalPlusOne) {
  const std::pair<TNVMCOMPortName, int> table[] = {{TNVMCOMPortName::cpnCOM1, 1},
                                                   {TNVMCOMPortName::cpnCOM2, 2},
                                                   {TNVMCOMPortName::cpnCOM3, 3},
                                                   {TNVMCOMPortName::cpnCOM4, 4}};
  auto nvm = Make();
  for (const auto& [port, number] : table) {
    nvm->SetCOMPort(port);
    ASSERT_TRUE(nvm->InitGBP());
    EXPECT_EQ(fake.LastPort(), number);
    nvm->EndGBP();
  }
}

TEST_F(NVMSectionTest, NewPortTakesEffectAtTheNextRealOpening) {
  auto nvm = Make();
  nvm->SetCOMPort(TNVMCOMPortName::cpnCOM3);
  ASSERT_TRUE(nvm->InitGBP());
  nvm->SetCOMPort(TNVMCOMPortName::cpnCOM4);
  EXPECT_TRUE(nvm->PortOpen());
  EXPECT_TRUE(nvm->InitGBP());
  EXPECT_EQ(fake.LastPort(), 3);
  nvm->EndGBP();
  ASSERT_TRUE(nvm->InitGBP());
  EXPECT_EQ(fake.LastPort(), 4);
}

TEST_F(NVMSectionTest, OnlyTheLowByteOfTheAddressReachesTheLibrary) {
  struct Row {
    std::int32_t section, subSection;
    int s, ss;
  };
  const Row rows[] = {{258, 273, 2, 17}, {-1, 256, 255, 0}, {2, 18, 2, 18}};
  auto nvm = Make();
  unsigned char buffer[4] = {};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.section);
    nvm->SetSect(r.section);
    nvm->SetSSect(r.subSection);
    EXPECT_EQ(nvm->Section(), r.section);
    const auto check = [&](const char* what) {
      SCOPED_TRACE(what);
      EXPECT_EQ(fake.LastSection(), r.s);
      EXPECT_EQ(fake.LastSubSection(), r.ss);
    };
    nvm->Write(buffer, sizeof buffer);
    check("Write");
    nvm->Read(buffer, sizeof buffer);
    check("Read");
    nvm->GetSize();
    check("GetSize");
    nvm->Clear();
    check("Clear");
  }
}

TEST_F(NVMSectionTest, OperationsReturnTheLibraryResultUnchanged) {
  auto nvm = Make();
  nvm->SetSect(2);
  nvm->SetSSect(5);
  const auto data = test::Pattern(200);
  EXPECT_EQ(nvm->Write(data.data(), 200), 200);
  EXPECT_EQ(fake.LastLength(), 200);
  EXPECT_EQ(nvm->GetSize(), 200);
  std::vector<unsigned char> head(128);
  EXPECT_EQ(nvm->Read(head.data(), 128), 128);
  EXPECT_TRUE(std::equal(head.begin(), head.end(), data.begin()));

  fake.SetResult("ReadNVMFile", -10);
  fake.SetResult("WriteNVMFile", -6);
  fake.SetResult("GetNVMFileSize", -5);
  fake.SetResult("ClearNVMFile", 7);
  EXPECT_EQ(nvm->Read(head.data(), 128), -10);
  EXPECT_EQ(nvm->Write(data.data(), 200), -6);
  EXPECT_EQ(nvm->GetSize(), -5);
  EXPECT_EQ(nvm->Clear(), 7);
  // All of it on the one connection the first operation opened.
  EXPECT_EQ(fake.CallCount("InitGBPMode"), 1);
  EXPECT_TRUE(nvm->PortOpen());
  EXPECT_TRUE(owner.messages.empty());
}

TEST_F(NVMSectionTest, OperationsStopWithOneMessageWhenTheConnectionCannotOpen) {
  struct Row {
    const char* name;
    const char* entry;
    std::int32_t expected;
  };
  const Row rows[] = {{"Read", "ReadNVMFile", -1},
                      {"Write", "WriteNVMFile", -1},
                      {"GetSize", "GetNVMFileSize", -1},
                      {"Clear", "ClearNVMFile", 0}};
  auto nvm = Make();
  fake.SetResult("InitGBPMode", -3);
  unsigned char buffer[16] = {};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    owner.messages.clear();
    std::int32_t result = 12345;
    const std::string name = r.name;
    if (name == "Read") result = nvm->Read(buffer, sizeof buffer);
    if (name == "Write") result = nvm->Write(buffer, sizeof buffer);
    if (name == "GetSize") result = nvm->GetSize();
    if (name == "Clear") result = nvm->Clear();
    EXPECT_EQ(result, r.expected);
    EXPECT_EQ(owner.messages, (TMessages{{"ERROR", "GBP Error: No AT response!"}}));
    EXPECT_EQ(fake.CallCount(r.entry), 0);
    EXPECT_FALSE(nvm->PortOpen());
  }
  EXPECT_EQ(fake.CallCount("InitGBPMode"), 4);
}

TEST_F(NVMSectionTest, SwitchingToAMissingServiceCableLibraryComplainsAtOnce) {
  auto nvm = Make();
  nvm->SetCTEMode(true);
  EXPECT_EQ(owner.messages, (TMessages{{"ERROR", "Unable to open cte_gbp.dll"}}));
  EXPECT_FALSE(nvm->Loaded());
  EXPECT_EQ(observer.loads.back(), (std::pair<std::string, bool>{"cte_gbp.dll", false}));
  // Nothing reaches the data-cable library that was released.
  owner.messages.clear();
  EXPECT_FALSE(nvm->InitGBP());
  EXPECT_EQ(nvm->Read(nullptr, 0), -1);
  EXPECT_EQ(nvm->Clear(), 0);
  EXPECT_EQ(fake.CallCount("InitGBPMode"), 0);
  EXPECT_EQ(fake.CallCount("ClearNVMFile"), 0);
  EXPECT_EQ(owner.messages.size(), 3u);
}

TEST_F(NVMSectionTest, CTEModeLoadsTheServiceCableLibrary) {
  TFakeControl cte(FakeDir("fake-cte"), "cte_gbp.dll");
  ASSERT_TRUE(cte.Loaded());
  cte.Reset();
  auto nvm = Make("fake-cte");  // holds only cte_gbp.dll
  EXPECT_EQ(owner.messages, (TMessages{{"ERROR", "Unable to open gbp.dll"}}));
  owner.messages.clear();

  nvm->SetCTEMode(true);
  EXPECT_TRUE(owner.messages.empty());
  EXPECT_TRUE(nvm->Loaded());
  EXPECT_EQ(cte.Name(), "cte_gbp");
  ASSERT_TRUE(nvm->InitGBP());
  EXPECT_EQ(cte.CallCount("InitGBPMode"), 1);

  // Setting the same mode again reloads the library, but neither ends nor forgets the
  // connection.
  const auto loads = observer.loads.size();
  nvm->SetCTEMode(true);
  EXPECT_EQ(observer.loads.size(), loads + 1);
  EXPECT_TRUE(nvm->PortOpen());
  EXPECT_EQ(cte.CallCount("EndGBPMode"), 0);

  nvm->SetCTEMode(false);
  EXPECT_EQ(owner.messages, (TMessages{{"ERROR", "Unable to open gbp.dll"}}));
}

TEST_F(NVMSectionTest, DestructionEndsTheConnectionOnce) {
  for (const bool open : {false, true}) {
    SCOPED_TRACE(open);
    fake.Reset();
    {
      auto nvm = Make();
      if (open) {
        ASSERT_TRUE(nvm->InitGBP());
      }
    }
    EXPECT_EQ(fake.CallCount("EndGBPMode"), 1);
    EXPECT_FALSE(fake.IsOpen());
  }
}

TEST_F(NVMSectionTest, ALibraryWithoutReadNVMFileCountsAsNotLoaded) {
  TFakeControl noRead(FakeDir("fake-noread"), "gbp.dll");
  ASSERT_TRUE(noRead.Loaded());
  noRead.Reset();
  {
    auto nvm = Make("fake-noread");
    EXPECT_FALSE(nvm->Loaded());
    EXPECT_EQ(owner.messages,
              (TMessages{{"ERROR", "Unable to open gbp.dll\ngbp.dll lacks ReadNVMFile"}}));
    unsigned char buffer[8] = {};
    nvm->SetSect(2);
    EXPECT_FALSE(nvm->InitGBP());
    EXPECT_EQ(nvm->Write(buffer, sizeof buffer), -1);
    EXPECT_EQ(nvm->GetSize(), -1);
    EXPECT_EQ(nvm->Clear(), 0);
    nvm->EndGBP();
  }
  for (const char* entry :
       {"InitGBPMode", "EndGBPMode", "WriteNVMFile", "GetNVMFileSize", "ClearNVMFile"}) {
    EXPECT_EQ(noRead.CallCount(entry), 0) << entry;
  }
}

// A library that lacks any of the six entry points is reported once, at load, and then not
// used at all: every operation fails as with no library (as a failed opening does), and
// nothing reaches the library, not even the opening.
TEST_F(NVMSectionTest, ALibraryLackingAnOptionalEntryPointIsNotUsedEither) {
  TFakeControl minimal(FakeDir("fake-minimal"), "gbp.dll");
  ASSERT_TRUE(minimal.Loaded());
  minimal.Reset();
  auto nvm = Make("fake-minimal");
  EXPECT_FALSE(nvm->Loaded());
  const std::string lacking =
      "Unable to open gbp.dll\ngbp.dll lacks WriteNVMFile, ClearNVMFile, GetNVMFileSize";
  EXPECT_EQ(owner.messages, (TMessages{{"ERROR", lacking}}));
  EXPECT_EQ(observer.loads, (std::vector<std::pair<std::string, bool>>{{"gbp.dll", false}}));
  owner.messages.clear();
  unsigned char buffer[8] = {};
  EXPECT_EQ(nvm->Write(buffer, sizeof buffer), -1);
  EXPECT_EQ(nvm->GetSize(), -1);
  EXPECT_EQ(nvm->Clear(), 0);
  EXPECT_EQ(nvm->Read(buffer, sizeof buffer), -1);
  nvm->EndGBP();
  // One box per operation, from its failed opening, each saying what the library lacks.
  EXPECT_EQ(owner.messages, TMessages(4, {"ERROR", lacking}));
  EXPECT_FALSE(nvm->PortOpen());
  for (const char* entry : {"InitGBPMode", "EndGBPMode", "ReadNVMFile"})
    EXPECT_EQ(minimal.CallCount(entry), 0) << entry;
  EXPECT_TRUE(observer.calls.empty());
}

TEST_F(NVMSectionTest, ObserverSeesLoadsAndCalls) {
  {
    auto nvm = Make();
    nvm->SetCOMPort(TNVMCOMPortName::cpnCOM2);
    ASSERT_TRUE(nvm->InitGBP());
    nvm->SetSect(2);
    nvm->SetSSect(5);
    const auto data = test::Pattern(200);
    nvm->Write(data.data(), 200);
    nvm->GetSize();
    std::vector<unsigned char> head(128);
    nvm->Read(head.data(), 128);
    nvm->Clear();
    nvm->EndGBP();
  }
  EXPECT_EQ(observer.loads, (std::vector<std::pair<std::string, bool>>{{"gbp.dll", true}}));
  EXPECT_EQ(observer.calls,
            (std::vector<std::string>{"InitGBPMode(2) -> 0", "WriteNVMFile(2,5,200) -> 200",
                                      "GetNVMFileSize(2,5) -> 200", "ReadNVMFile(2,5,128) -> 128",
                                      "ClearNVMFile(2,5) -> 0", "EndGBPMode()", "EndGBPMode()"}));
}

TEST_F(NVMSectionTest, AStopRefusesEveryLaterCallSilentlyButTheEnd) {
  struct Row {
    const char* name;
    const char* entry;
    std::int32_t refused;  // what the operation answers once stopped
  };
  const Row rows[] = {{"InitGBP", "InitGBPMode", 0},
                      {"Read", "ReadNVMFile", -1},
                      {"Write", "WriteNVMFile", -1},
                      {"GetSize", "GetNVMFileSize", -1},
                      {"Clear", "ClearNVMFile", 0}};
  unsigned char buffer[16] = {};
  for (const bool open : {true, false}) {  // stopped on an open connection, or between two
    for (const Row& r : rows) {
      SCOPED_TRACE(std::string(r.name) + (open ? " on an open connection" : " when closed"));
      fake.Reset();
      owner.messages.clear();
      auto nvm = Make();
      nvm->SetSect(2);
      nvm->SetSSect(5);
      if (open) {
        ASSERT_TRUE(nvm->InitGBP());
      }
      nvm->RequestStop();
      EXPECT_TRUE(nvm->StopRequested());
      const int opened = fake.CallCount("InitGBPMode");
      const std::string name = r.name;
      std::int32_t result = 12345;
      if (name == "InitGBP") result = nvm->InitGBP() ? 1 : 0;
      if (name == "Read") result = nvm->Read(buffer, sizeof buffer);
      if (name == "Write") result = nvm->Write(buffer, sizeof buffer);
      if (name == "GetSize") result = nvm->GetSize();
      if (name == "Clear") result = nvm->Clear();
      EXPECT_EQ(result, r.refused);
      EXPECT_EQ(fake.CallCount(r.entry), name == "InitGBP" ? opened : 0);
      EXPECT_TRUE(owner.messages.empty());
      // The connection the command holds is still ended, and calls go through again once allowed.
      nvm->EndGBP();
      EXPECT_EQ(fake.CallCount("EndGBPMode"), 1);
      EXPECT_FALSE(fake.IsOpen());
      nvm->AllowCalls();
      EXPECT_EQ(nvm->GetSize(), gbp::kNoSection);
      EXPECT_EQ(fake.CallCount("GetNVMFileSize"), 1);
    }
  }
}

}  // namespace
}  // namespace zub
