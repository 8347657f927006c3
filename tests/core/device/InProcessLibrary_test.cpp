// A library loaded into the process can say that a call lost the link (the simulator's
// ZubSimLastCallLost): the component then reports a lost link, closes the connection, and
// opens it afresh at the next call. A -5 alone is never taken for one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/device/DeviceTestSupport.h"
#include "device/NVMSection.h"

namespace zub {
namespace {

using test::FakeDir;
using test::TFakeControl;

TEST(InProcessLibrary, ALostLinkIsTheLibrarysToSay) {
  struct TRow {
    const char* name;
    const char* folder;
    const char* entry;  // the call that answers `result`
    std::int32_t result;
    bool losing;  // a -5 closes the library's connection (and it says so, when it can)
    bool lost;
    std::int32_t next = gbp::kNoSection;  // the next call's answer (nothing is stored)
  };
  const TRow rows[] = {
      {"a size query that lost the link", "fake", "GetNVMFileSize", -5, true, true},
      {"a read that lost the link", "fake", "ReadNVMFile", -5, true, true},
      {"a write that lost the link", "fake", "WriteNVMFile", -5, true, true},
      {"a clear that lost the link", "fake", "ClearNVMFile", -5, true, true},
      {"the library's own -5 (no such section)", "fake", "GetNVMFileSize", -5, false, false},
      {"another failure", "fake", "ReadNVMFile", -10, true, false},
      // Its connection is gone, and the component cannot know: the next call finds it closed.
      {"a library that cannot tell", "fake-nolost", "GetNVMFileSize", -5, true, false, -4},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    TFakeControl fake(FakeDir(row.folder), "gbp.dll");
    fake.Reset();
    fake.SetLosing(row.losing);
    test::TRecordingOwner owner;
    test::TRecordingObserver observer;
    TNVMSection nvm(owner, FakeDir(row.folder), &observer);
    ASSERT_TRUE(nvm.InitGBP());
    fake.SetResult(row.entry, row.result);
    const std::string entry = row.entry;
    std::vector<unsigned char> buffer(8);
    const std::int32_t r = entry == "GetNVMFileSize" ? nvm.GetSize()
                           : entry == "ReadNVMFile"  ? nvm.Read(buffer.data(), 8)
                           : entry == "WriteNVMFile" ? nvm.Write(buffer.data(), 8)
                                                     : nvm.Clear();
    EXPECT_EQ(r, row.result);
    EXPECT_EQ(nvm.LinkLost(), row.lost);
    EXPECT_EQ(nvm.PortOpen(), !row.lost);
    // The observer hears the library's answer, whatever it meant.
    EXPECT_EQ(observer.calls.back().substr(0, entry.size()), entry);
    EXPECT_EQ(observer.calls.back().substr(observer.calls.back().rfind(' ') + 1),
              std::to_string(row.result));
    // The next call starts afresh: the flag goes, and a lost connection is opened again.
    const int openings = fake.CallCount("InitGBPMode");
    EXPECT_EQ(entry == "ReadNVMFile" ? nvm.GetSize() : nvm.Read(buffer.data(), 8), row.next);
    EXPECT_FALSE(nvm.LinkLost());
    EXPECT_EQ(fake.CallCount("InitGBPMode"), openings + (row.lost ? 1 : 0));
    EXPECT_TRUE(owner.messages.empty());
  }
}

TEST(InProcessLibrary, AnOpeningThatLostTheLinkIsACommError) {
  TFakeControl fake(FakeDir("fake"), "gbp.dll");
  fake.Reset();
  fake.SetLosing(true);
  fake.SetResult("InitGBPMode", -5);
  test::TRecordingOwner owner;
  TNVMSection nvm(owner, FakeDir("fake"));
  EXPECT_FALSE(nvm.InitGBP());
  EXPECT_TRUE(nvm.LinkLost());
  EXPECT_FALSE(nvm.PortOpen());
  EXPECT_EQ(
      owner.messages,
      (std::vector<std::pair<std::string, std::string>>{{"ERROR", "GBP Error: COMM Error!"}}));
  nvm.EndGBP();
  EXPECT_FALSE(nvm.LinkLost());
}

}  // namespace
}  // namespace zub
