// TNVMSection with a call runner: every call into the library goes through the runner, once,
// with the library's result and the observer's report unchanged and in the same order.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/device/DeviceTestSupport.h"
#include "device/DeviceCallRunner.h"
#include "device/NVMSection.h"

namespace zub {
namespace {

using test::FakeDir;
using test::TFakeControl;
using test::TRecordingObserver;
using test::TRecordingOwner;

constexpr std::array<const char*, 6> kEntries = {"InitGBPMode",  "EndGBPMode",   "ReadNVMFile",
                                                 "WriteNVMFile", "ClearNVMFile", "GetNVMFileSize"};

// Runs every call on a thread of its own and notes which entry point the library saw inside
// the call, and whether the observer had already been told of it.
class TThreadRunner : public IDeviceCallRunner {
 public:
  // `observer`: the session's observer, or nullptr when the test does not look at reports.
  TThreadRunner(const TFakeControl& fake, const TRecordingObserver* observer)
      : FFake(fake), FObserver(observer) {}

  std::int32_t Run(const std::function<std::int32_t()>& call) override {
    const auto before = Counts();
    const std::size_t reported = Reported();
    std::int32_t result = 0;
    std::thread([&] { result = call(); }).join();
    const auto after = Counts();
    std::string entered;
    for (const char* entry : kEntries)
      for (int i = before.at(entry); i < after.at(entry); ++i) entered += entry;
    Runs.push_back(entered);
    ReportedEarly = ReportedEarly || Reported() != reported;
    return result;
  }

  std::vector<std::string> Runs;  // per run: the entry point(s) the library saw
  bool ReportedEarly = false;

 private:
  std::map<std::string, int> Counts() const {
    std::map<std::string, int> counts;
    for (const char* entry : kEntries) counts[entry] = FFake.CallCount(entry);
    return counts;
  }
  std::size_t Reported() const { return FObserver ? FObserver->calls.size() : 0; }
  const TFakeControl& FFake;
  const TRecordingObserver* FObserver;
};

struct TOutcome {
  std::vector<std::int32_t> Results;
  std::vector<std::string> Calls;
  std::vector<std::pair<std::string, std::string>> Messages;
  std::string ReadBack;
};

// One session through every entry point: the opening is implicit in the first size request.
TOutcome RunSession(TFakeControl& fake, IDeviceCallRunner* runner) {
  fake.Reset();
  fake.SetResult("ClearNVMFile", 3);
  TRecordingOwner owner;
  TRecordingObserver observer;
  TOutcome out;
  {
    TNVMSection nvm(owner, FakeDir("fake"), &observer);
    if (runner) nvm.SetCallRunner(runner);
    nvm.SetSect(2);
    nvm.SetSSect(1);
    out.Results.push_back(nvm.GetSize());
    const std::string bytes = "telephone";
    out.Results.push_back(nvm.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    out.Results.push_back(nvm.GetSize());
    std::array<char, 16> buffer{};
    out.Results.push_back(nvm.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size())));
    out.ReadBack.assign(buffer.data());
    out.Results.push_back(nvm.Clear());
    nvm.EndGBP();
    // A refused opening: the result reaches the component through the runner too.
    fake.SetResult("InitGBPMode", -3);
    out.Results.push_back(nvm.InitGBP() ? 1 : 0);
    nvm.SetCallRunner(nullptr);
  }
  out.Calls = observer.calls;
  out.Messages = owner.messages;
  return out;
}

TEST(NVMSectionCallRunner, EveryLibraryCallRunsThroughTheRunnerWithResultsAndOrderUnchanged) {
  TFakeControl fake{FakeDir("fake"), "gbp.dll"};
  ASSERT_TRUE(fake.Loaded());
  const TOutcome inline_ = RunSession(fake, nullptr);

  TThreadRunner runner(fake, nullptr);
  const TOutcome threaded = RunSession(fake, &runner);
  const std::vector<std::string>& runs = runner.Runs;
  EXPECT_EQ(threaded.Results, inline_.Results);
  EXPECT_EQ(threaded.Calls, inline_.Calls);
  EXPECT_EQ(threaded.Messages, inline_.Messages);
  EXPECT_EQ(threaded.ReadBack, "telephone");
  EXPECT_EQ(threaded.Results, (std::vector<std::int32_t>{-153, 9, 9, 9, 3, 0}));
  // One run per library call, each holding exactly the call the observer reports.
  EXPECT_EQ(runs, (std::vector<std::string>{"InitGBPMode", "GetNVMFileSize", "WriteNVMFile",
                                            "GetNVMFileSize", "ReadNVMFile", "ClearNVMFile",
                                            "EndGBPMode", "InitGBPMode"}));
  // The last report is the closing at destruction, made inline once the runner was removed.
  ASSERT_EQ(threaded.Calls.size(), runs.size() + 1);
  EXPECT_EQ(threaded.Calls.back(), "EndGBPMode()");
  for (std::size_t i = 0; i < runs.size(); ++i)
    EXPECT_EQ(threaded.Calls[i].rfind(runs[i], 0), 0u) << threaded.Calls[i];
}

TEST(NVMSectionCallRunner, TheObserverHearsOfACallOnlyAfterTheRunnerReturns) {
  TFakeControl fake{FakeDir("fake"), "gbp.dll"};
  ASSERT_TRUE(fake.Loaded());
  fake.Reset();
  TRecordingOwner owner;
  TRecordingObserver observer;
  TThreadRunner runner(fake, &observer);
  {
    TNVMSection nvm(owner, FakeDir("fake"), &observer);
    nvm.SetCallRunner(&runner);
    EXPECT_TRUE(nvm.InitGBP());
    EXPECT_EQ(nvm.GetSize(), -153);
    nvm.EndGBP();
  }
  // The closing at destruction goes through the runner as well.
  EXPECT_EQ(runner.Runs, (std::vector<std::string>{"InitGBPMode", "GetNVMFileSize", "EndGBPMode",
                                                   "EndGBPMode"}));
  EXPECT_FALSE(runner.ReportedEarly);
  EXPECT_EQ(observer.calls.size(), 4u);
}

TEST(NVMSectionCallRunner, ACallThatCannotReachTheLibraryNeverReachesTheRunner) {
  TFakeControl noRead{FakeDir("fake-noread"), "gbp.dll"};
  ASSERT_TRUE(noRead.Loaded());
  noRead.Reset();
  TRecordingOwner owner;
  TRecordingObserver observer;
  TThreadRunner runner(noRead, &observer);
  TNVMSection nvm(owner, FakeDir("fake-noread"), &observer);
  nvm.SetCallRunner(&runner);
  std::array<char, 4> buffer{};
  EXPECT_EQ(nvm.Read(buffer.data(), 4), -1);
  EXPECT_TRUE(runner.Runs.empty());
  EXPECT_EQ(noRead.CallCount("InitGBPMode"), 0);
  nvm.SetCallRunner(nullptr);
}

}  // namespace
}  // namespace zub
