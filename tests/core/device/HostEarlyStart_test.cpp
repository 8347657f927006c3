// A Windows device library's host started ahead of the first command, through the core the
// window holds: the window's show starts the host without a device call, the first command
// uses that host and makes the calls it makes with the library in the process, and a host
// that is never used goes with the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
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

namespace fs = std::filesystem;

class HostEarlyStart : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { skip_ = UseTestWinePrefix(); }
  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
  }
  static inline std::string skip_;
};

// A telephone with a few sections, served by the simulator in the process or, built for
// Windows, through gbp-host.exe.
void PutTelephone(SimTelephone& phone, bool windows) {
  phone.PutSection(2, 3, std::vector<std::uint8_t>(300, 0x41));
  phone.PutSection(17, 2, std::vector<std::uint8_t>(40, 0x42));
  if (!windows) return;
  for (const char* name : {"gbp.dll", "gbp-host.exe"})
    fs::copy_file(Win32File(name), phone.Dir() / name, fs::copy_options::overwrite_existing);
}

bool ProcessGone(long pid) {
#if defined(_WIN32)
  (void)pid;
  return true;
#else
  return ::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH;
#endif
}

TEST_F(HostEarlyStart, TheShowStartsTheHostAndTheFirstCommandUsesItWithTheSameCalls) {
  std::vector<std::string> calls[2];
  for (const bool windows : {false, true}) {
    SCOPED_TRACE(windows ? "through the host" : "in the process");
    SimTelephone phone;
    PutTelephone(phone, windows);
    TRecordingObserver observer;
    FakeInteraction ui;
    TManager m(ui, phone.Options(&observer));
    m.FormShow();
    ASSERT_EQ(m.NVM->Hosted(), windows);
    const long host = m.NVM->HostProcessId();
    EXPECT_EQ(host != 0, windows);  // started at the show, before any command
    EXPECT_TRUE(observer.calls.empty());
    EXPECT_FALSE(m.NVM->PortOpen());

    Button1Click(m);
    EXPECT_EQ(ui.LastStatus(), "Updated!");
    EXPECT_TRUE(ui.Boxes.empty());
    EXPECT_EQ(m.NVM->HostProcessId(), host);  // the show's host served the command
    // How long the host takes varies: the wait may be said, but never more than once.
    EXPECT_LE(std::count(ui.StatusLog.begin(), ui.StatusLog.end(), kHostStartingText), 1);
    calls[windows] = observer.calls;
  }
  ASSERT_FALSE(calls[0].empty());
  EXPECT_TRUE(calls[0].front().starts_with("InitGBPMode(") && calls[0].front().ends_with("-> 0"))
      << calls[0].front();
  EXPECT_EQ(calls[1], calls[0]);
}

TEST_F(HostEarlyStart, AHostNeverUsedGoesWithTheProgram) {
  SimTelephone phone;
  PutTelephone(phone, true);
  FakeInteraction ui;
  TRecordingObserver observer;
  auto m = std::make_unique<TManager>(ui, phone.Options(&observer));
  m->FormShow();
  const long host = m->NVM->HostProcessId();
  ASSERT_GT(host, 0);
  const auto start = std::chrono::steady_clock::now();
  m.reset();
  // The host ends when its input closes; one still getting ready is ended after a grace.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(ProcessGone(host));
  // Nothing was opened: the program's end makes no call but its usual EndGBPMode.
  for (const std::string& call : observer.calls) EXPECT_EQ(call, "EndGBPMode()");
  EXPECT_TRUE(ui.Boxes.empty());
}

}  // namespace
}  // namespace zub::test
