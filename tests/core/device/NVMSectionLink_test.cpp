// TNVMSection with a Windows library served through gbp-host.exe under Wine (the tests' own
// library, which notes its calls and can hang in one): a call that hangs is a lost link at its
// time limit or when cut short, the library's own lost link is one too, a tool killed in the
// middle of a call leaves no host behind, and the host's standard error goes to host.log.
// Skipped when the cross compiler or Wine is missing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/device/DeviceTestSupport.h"
#include "device/NVMSection.h"
#include "support/TestFiles.h"

namespace zub {
namespace {

namespace fs = std::filesystem;
using test::TRecordingObserver;
using test::TRecordingOwner;
using Clock = std::chrono::steady_clock;

// A file the Windows library wrote in text mode, with its line ends as "\n".
std::string WindowsText(const fs::path& file) {
  std::string text = test::ReadText(file);
  std::erase(text, '\r');
  return text;
}

class NVMSectionLinkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { skip_ = test::UseTestWinePrefix(); }
  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
    if (!fs::exists(fs::path(ZUB_WIN32_TEST_DIR) / "gbp.dll"))
      GTEST_SKIP() << "the tests' Windows library is not built";
    home_ = test::FreshTestDir();
    fs::create_directories(home_ / "win32");
    fs::copy_file(fs::path(ZUB_WIN32_TEST_DIR) / "gbp.dll", home_ / "gbp.dll");
    fs::copy_file(test::Win32File("gbp-host.exe"), home_ / "win32" / "gbp-host.exe");
  }
  void Script(const std::string& text) { std::ofstream(home_ / "script.txt") << text; }
  std::string Calls() { return test::ReadText(home_ / "calls.log"); }
  bool ReadBegun() { return Calls().find("ReadNVMFile begins") != std::string::npos; }
  // The host ended the library's connection while the read hung.
  ::testing::AssertionResult EndedInTheRead() {
    if (Calls().find("ReadNVMFile begins\nEndGBPMode begins\nEndGBPMode -> 0\n") !=
        std::string::npos)
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << Calls();
  }

  static inline std::string skip_;
  fs::path home_;
};

// A read that never returns: cut short by the call's time limit or from another thread, it
// answers -5 as a lost link; the host is gone (having ended the library's connection), and the
// next call opens afresh with a new host.
TEST_F(NVMSectionLinkTest, AHangingCallIsALostLinkAndTheNextCallStartsAnew) {
  struct TRow {
    const char* name;
    bool abort;  // cut short from another thread (else: the time limit of 0.5 s passes)
  };
  for (const TRow row : {TRow{"time limit", false}, TRow{"cut short", true}}) {
    SCOPED_TRACE(row.name);
    fs::remove(home_ / "calls.log");
    Script("hang ReadNVMFile\n");
    TRecordingOwner owner;
    TRecordingObserver observer;
    TNVMSection nvm(owner, home_, &observer);
    ASSERT_TRUE(nvm.Hosted());
    if (!row.abort) nvm.SetCallTimeout(std::chrono::milliseconds(500));
    ASSERT_TRUE(nvm.InitGBP()) << ::testing::PrintToString(owner.messages);
    const long host = nvm.HostProcessId();
    std::thread aborter([&] {
      if (row.abort && test::WaitUntil([&] { return ReadBegun(); })) TNVMSection::AbortCall();
    });
    std::vector<unsigned char> buffer(64);
    const auto start = Clock::now();
    EXPECT_EQ(nvm.Read(buffer.data(), 64), -5);
    aborter.join();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 20.0);
    EXPECT_TRUE(nvm.LinkLost());
    EXPECT_FALSE(nvm.PortOpen());
    EXPECT_EQ(nvm.HostProcessId(), 0);
    EXPECT_NE(::kill(static_cast<pid_t>(host), 0), 0);
    EXPECT_TRUE(EndedInTheRead());
    EXPECT_EQ(observer.calls,
              (std::vector<std::string>{"InitGBPMode(1) -> 0", "ReadNVMFile(0,0,64) -> -5"}));

    Script("");
    EXPECT_EQ(nvm.GetSize(), gbp::kNoSection);
    EXPECT_FALSE(nvm.LinkLost());
    EXPECT_NE(nvm.HostProcessId(), 0);
    EXPECT_EQ(observer.calls.size(), 4u);  // opened anew, then the size
    EXPECT_TRUE(owner.messages.empty());
  }
}

// The library says its -5 lost the link: so does the component. Its -5 alone is an answer.
TEST_F(NVMSectionLinkTest, TheLibrarysLostLinkIsOneForTheComponent) {
  Script("answer ClearNVMFile -5\nlose GetNVMFileSize\n");
  TRecordingOwner owner;
  TNVMSection nvm(owner, home_);
  ASSERT_TRUE(nvm.InitGBP());
  EXPECT_EQ(nvm.Clear(), -5);
  EXPECT_FALSE(nvm.LinkLost());
  EXPECT_TRUE(nvm.PortOpen());
  EXPECT_EQ(nvm.GetSize(), -5);
  EXPECT_TRUE(nvm.LinkLost());
  EXPECT_FALSE(nvm.PortOpen());
  EXPECT_EQ(nvm.HostProcessId(), 0);
}

// The tool killed in the middle of a call that never returns: its end of the host's input
// closes, the host ends the library's connection and goes. Nothing of it stays behind.
TEST_F(NVMSectionLinkTest, AKilledToolLeavesNoHostBehind) {
  Script("hang ReadNVMFile\n");
  // Orphans come to this process, which can then see them end.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t tool = ::fork();
  if (tool == 0) {
    TRecordingOwner owner;
    TNVMSection nvm(owner, home_);
    if (!nvm.InitGBP()) ::_exit(1);
    const long host = nvm.HostProcessId();
    [[maybe_unused]] auto n = ::write(report[1], &host, sizeof host);
    std::vector<unsigned char> buffer(8);
    nvm.Read(buffer.data(), 8);
    ::_exit(0);
  }
  ::close(report[1]);
  long host = 0;
  ASSERT_EQ(::read(report[0], &host, sizeof host), static_cast<ssize_t>(sizeof host));
  ::close(report[0]);
  ASSERT_TRUE(test::WaitUntil([&] { return ReadBegun(); }));
  ::kill(tool, SIGKILL);
  ::waitpid(tool, nullptr, 0);
  EXPECT_TRUE(test::WaitUntil([&] {
    const pid_t r = ::waitpid(static_cast<pid_t>(host), nullptr, WNOHANG);
    return r == host || (r < 0 && errno == ECHILD);
  }));
  EXPECT_TRUE(EndedInTheRead());
  // No process runs anything from the tool's folder.
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string cmdline = test::ReadText(entry.path() / "cmdline");
    EXPECT_EQ(cmdline.find(home_.string()), std::string::npos) << entry.path() << ": " << cmdline;
  }
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}

// The host's and Wine's standard error go to host.log in the user's state folder, a new one
// at each start with the three before kept; or to the tool's standard error when asked.
TEST_F(NVMSectionLinkTest, TheHostsStandardErrorGoesToHostLog) {
  const fs::path state = home_ / "state";
  const test::TScopedEnv xdg("XDG_STATE_HOME", state.string());
  const fs::path log = state / "zubmanager3" / "host.log";
  for (int run = 1; run <= 5; ++run) {
    Script("answer GetNVMFileSize " + std::to_string(run) + "\n");
    TRecordingOwner owner;
    TNVMSection nvm(owner, home_);
    ASSERT_TRUE(nvm.InitGBP());
    EXPECT_EQ(nvm.GetSize(), run);
    nvm.EndGBP();
  }
  const std::string oneRun =
      "scripted gbp: InitGBPMode\nscripted gbp: GetNVMFileSize\nscripted gbp: EndGBPMode\n";
  for (const char* kept : {"", ".1", ".2", ".3"}) {
    SCOPED_TRACE(kept);
    EXPECT_NE(WindowsText(log.string() + kept).find(oneRun), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(log.string() + ".4"));

  const fs::path ours = home_ / "stderr.txt";
  const int saved = ::dup(2);
  const int file = ::open(ours.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(file, 2);
  ::close(file);
  {
    TRecordingOwner owner;
    TNVMSection nvm(owner, home_);
    nvm.SetHostLogToStderr(true);
    EXPECT_TRUE(nvm.InitGBP());
  }
  ::dup2(saved, 2);
  ::close(saved);
  EXPECT_NE(WindowsText(ours).find("scripted gbp: InitGBPMode\n"), std::string::npos);
  EXPECT_EQ(WindowsText(log).find("scripted gbp: InitGBPMode\nscripted gbp: EndGBPMode"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(log.string() + ".4"));
}

}  // namespace
}  // namespace zub
