// A Windows device library's host started ahead of the first command, through the core the
// window holds: the window's show starts the host without a device call, the first command
// uses that host and makes the calls it makes with the library in the process, and a host
// that is never used goes with the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/Manager.h"
#include "commands/Scan.h"
#include "core/device/DeviceTestSupport.h"
#include "support/FakeInteraction.h"
#include "support/SimTelephone.h"

#if !defined(_WIN32)
#include <signal.h>
#endif

namespace zub::test {
namespace {

class HostEarlyStart : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { skip_ = UseTestWinePrefix(); }
  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
  }
  static inline std::string skip_;
};

TEST_F(HostEarlyStart, TheShowStartsTheHostAndTheFirstCommandOrTheEndTakesItUp) {
  struct TRow {
    const char* name;
    bool windows;
    bool refresh;  // a Full Refresh after the show, or the program ends at once
  };
  const TRow rows[] = {{"in the process", false, true},
                       {"through the host", true, true},
                       {"through the host, never used", true, false}};
  std::vector<std::string> calls[2];
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    SimTelephone phone;
    phone.PutSection(2, 3, std::string(300, 'A'));
    phone.PutSection(17, 2, std::string(40, 'B'));
    for (const char* name : {"gbp.dll", "gbp-host.exe"})
      if (row.windows)
        fs::copy_file(Win32File(name), phone.Dir() / name, fs::copy_options::overwrite_existing);
    TRecordingObserver observer;
    FakeInteraction ui;
    auto m = std::make_unique<TManager>(ui, phone.Options(&observer));
    m->FormShow();
    ASSERT_EQ(m->NVM->Hosted(), row.windows);
    const long host = m->NVM->HostProcessId();
    EXPECT_EQ(host != 0, row.windows);  // started at the show, before any command
    EXPECT_TRUE(observer.calls.empty());
    if (row.refresh) {
      Button1Click(*m);
      EXPECT_EQ(ui.LastStatus(), "Updated!");
      EXPECT_EQ(m->NVM->HostProcessId(), host);  // the show's host served the command
      // How long the host takes varies: the wait may be said, but never twice.
      EXPECT_LE(std::count(ui.StatusLog.begin(), ui.StatusLog.end(), kHostStartingText), 1);
      calls[row.windows] = observer.calls;
      continue;
    }
    const auto start = std::chrono::steady_clock::now();
    m.reset();
    // Its input closed, the host ends (one still getting ready is ended after a grace).
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
#if !defined(_WIN32)
    EXPECT_TRUE(::kill(static_cast<pid_t>(host), 0) == -1 && errno == ESRCH);
#endif
    // Nothing was opened: the end makes no call but its usual EndGBPMode.
    for (const std::string& call : observer.calls) EXPECT_EQ(call, "EndGBPMode()");
    EXPECT_TRUE(ui.Boxes.empty());
  }
  ASSERT_FALSE(calls[0].empty());
  EXPECT_TRUE(calls[0].front().starts_with("InitGBPMode(")) << calls[0].front();
  EXPECT_EQ(calls[1], calls[0]);
}

}  // namespace
}  // namespace zub::test
