// The tool's end of the device library host, against small shell scripts that play the host:
// they send a hello, take requests and answer with good, broken or no replies, hang up, or die.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "core/device/DeviceTestSupport.h"
#include "device/host/HostChannel.h"
#include "device/host/HostProtocol.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace zub::test::host {
namespace {

// A shell command that prints `bytes` exactly.
template <typename Range>
std::string PrintBytes(const Range& bytes) {
  std::string out = "printf '";
  for (const auto b : bytes) {
    char octal[8];
    std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned>(b));
    out += octal;
  }
  return out + "'\n";
}

std::string PrintHello(std::uint16_t entries = kAllEntries) {
  THello h;
  h.entries = entries;
  return PrintBytes(EncodeHello(h));
}

std::string PrintReply(TStatus status, std::int32_t result, const std::string& data = "") {
  TReply r{status, result, static_cast<std::uint32_t>(data.size())};
  Bytes frame;
  const auto head = EncodeReply(r);
  frame.assign(head.begin(), head.end());
  frame.insert(frame.end(), data.begin(), data.end());
  return PrintBytes(frame);
}

// A host played by /bin/sh running `body` in `dir`.
THostCommand ScriptHost(const std::string& body, const fs::path& dir = test::FreshTestDir()) {
  const fs::path script = dir / "host.sh";
  std::ofstream(script) << "cd '" << dir.string() << "'\n" << body;
  THostCommand c;
  c.argv = {"/bin/sh", script.string()};
  c.helloTimeoutMs = 5000;
  return c;
}

// Starts `channel` on `command`; a failure carries the reason.
::testing::AssertionResult Started(THostChannel& channel, const THostCommand& command) {
  std::string error;
  if (channel.Start(command, &error)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << error;
}

double SecondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

TEST(HostChannel, ServesCallsAndLeavesMissingEntryPointsAlone) {
  // No WriteNVMFile; the script keeps what it was sent.
  const fs::path dir = test::FreshTestDir();
  THostCommand command = ScriptHost(
      PrintHello(kAllEntries & ~(1u << 3)) + "echo \"$ZUB_PROBE\" > env.txt\n" +
          "head -c 12 > first.bin\n" + PrintReply(TStatus::Called, 7) +
          "head -c 12 > second.bin\n" + PrintReply(TStatus::Called, 5, "hello") +
          "head -c 12 > third.bin\n" + PrintReply(TStatus::Missing, 0) + "cat > rest.bin\n",
      dir);
  command.env = {{"ZUB_PROBE", "probe 42"}};
  THostChannel channel;
  ASSERT_TRUE(Started(channel, command));
  EXPECT_TRUE(channel.Running());
  EXPECT_FALSE(channel.Has(TEntry::WriteNVMFile));
  EXPECT_TRUE(channel.Has(TEntry::ReadNVMFile));

  EXPECT_EQ(channel.WriteNVMFile(2, 5, "abc", 3), THostChannel::kNotServed);
  EXPECT_EQ(channel.GetNVMFileSize(2, 5), 7);
  std::string buffer(16, '\xEE');
  EXPECT_EQ(channel.ReadNVMFile(2, 6, buffer.data(), 16), 5);
  EXPECT_EQ(buffer, "hello" + std::string(11, '\xEE'));
  EXPECT_EQ(channel.ClearNVMFile(1, 1), THostChannel::kNotServed);  // the host says "missing"
  EXPECT_FALSE(channel.LastCallLost());
  EXPECT_TRUE(channel.Running());
  channel.Stop();
  EXPECT_FALSE(channel.Running());
  EXPECT_EQ(channel.EndGBPMode(), THostChannel::kCommError);

  const auto encoded = [](TRequest r) {
    const auto h = EncodeRequest(r);
    return Bytes(h.begin(), h.end());
  };
  // The write never went out; the size and read requests did, as encoded.
  EXPECT_EQ(ReadBytes(dir / "first.bin"), encoded({TEntry::GetNVMFileSize, 0, 2, 5, 0}));
  EXPECT_EQ(ReadBytes(dir / "second.bin"), encoded({TEntry::ReadNVMFile, 0, 2, 6, 16}));
  EXPECT_EQ(ReadBytes(dir / "third.bin"), encoded({TEntry::ClearNVMFile, 0, 1, 1, 0}));
  EXPECT_TRUE(ReadBytes(dir / "rest.bin").empty());
  std::ifstream env(dir / "env.txt");
  std::string probe;
  std::getline(env, probe);
  EXPECT_EQ(probe, "probe 42");
}

TEST(HostChannel, RefusesAHostWithoutAProperHello) {
  THello other;
  other.version = 2;
  const auto otherVersion = EncodeHello(other);
  struct TRow {
    const char* name;
    std::string body;
  };
  const TRow rows[] = {
      {"ends at once", "exit 0\n"},
      {"wrong magic", "printf 'ZGBX\\001\\000\\077\\000'\nexec sleep 20\n"},
      {"other version", PrintBytes(otherVersion) + "exec sleep 20\n"},
      {"half a hello, then silence", "printf 'ZGB'\nexec sleep 20\n"},
      {"silence", "exec sleep 20\n"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    THostCommand command = ScriptHost(row.body);
    command.helloTimeoutMs = 700;
    THostChannel channel;
    std::string error;
    const auto start = Clock::now();
    EXPECT_FALSE(channel.Start(command, &error));
    EXPECT_LT(SecondsSince(start), 5.0);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(channel.Running());
    EXPECT_EQ(channel.InitGBPMode(1), THostChannel::kCommError);
  }
  THostChannel channel;
  std::string error;
  EXPECT_FALSE(channel.Start({{"/nonexistent/gbp-host"}, {}, 1000}, &error));
  EXPECT_NE(error.find("/nonexistent/gbp-host"), std::string::npos) << error;
}

// A host launched ahead of its first call: a wait for its hello that ends first leaves it
// getting ready and loses no byte of it; what else the wait can come to ends the host. The
// scripts say hello only once the test lets them go (the file "go"), so nothing hangs on
// timing.
TEST(HostChannel, AHostLaunchedAheadIsWaitedForInPieces) {
  using TWait = THostChannel::THelloWait;
  const std::string letGo = "until [ -e go ]; do sleep 0.02; done\n";
  const std::string hello = PrintHello();
  THello all;
  all.entries = kAllEntries;
  const auto half = EncodeHello(all);
  struct TRow {
    const char* name;
    std::string body;
    int helloTimeoutMs;
    std::chrono::milliseconds probe;
    TWait probed;
    TWait finally;  // after the host is let go, waiting without a limit of our own
  };
  const TRow rows[] = {
      {"hello at once", hello + "cat > /dev/null\n", 20'000, std::chrono::seconds(15), TWait::Ready,
       TWait::Ready},
      {"hello when let go", letGo + hello + "cat > /dev/null\n", 20'000,
       std::chrono::milliseconds(100), TWait::Pending, TWait::Ready},
      {"half a hello, the rest when let go",
       PrintBytes(std::span(half).first(3)) + letGo + PrintBytes(std::span(half).subspan(3)) +
           "cat > /dev/null\n",
       20'000, std::chrono::milliseconds(100), TWait::Pending, TWait::Ready},
      {"ends before its hello", "exit 0\n", 20'000, std::chrono::seconds(15), TWait::Ended,
       TWait::Failed},
      {"a wrong hello", "printf 'ZGBX\\001\\000\\077\\000'\nexec sleep 20\n", 20'000,
       std::chrono::seconds(15), TWait::Failed, TWait::Failed},
      {"silent past its time limit", "exec sleep 20\n", 700, std::chrono::milliseconds(50),
       TWait::Pending, TWait::Failed},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path dir = test::FreshTestDir();
    THostCommand command = ScriptHost(row.body, dir);
    command.helloTimeoutMs = row.helloTimeoutMs;
    THostChannel channel;
    std::string error;
    ASSERT_TRUE(channel.Launch(command, &error)) << error;
    EXPECT_TRUE(channel.Launched());
    EXPECT_FALSE(channel.Running());
    EXPECT_NE(channel.ChildId(), 0);
    EXPECT_EQ(channel.AwaitHello(Clock::now() + row.probe, &error), row.probed) << error;
    std::ofstream(dir / "go") << "go";
    const TWait last = channel.Launched()  ? channel.AwaitHello(std::nullopt, &error)
                       : channel.Running() ? TWait::Ready
                                           : TWait::Failed;
    EXPECT_EQ(last, row.finally) << error;
    EXPECT_FALSE(channel.Launched());
    EXPECT_EQ(channel.Running(), row.finally == TWait::Ready);
    if (row.finally == TWait::Ready) {
      EXPECT_TRUE(channel.Has(TEntry::ReadNVMFile));
    } else {
      EXPECT_EQ(channel.ChildId(), 0);
      EXPECT_FALSE(error.empty());
    }
  }
}

// A host that fails in the middle of a call: the call answers -5, the channel is dead, and
// the next start makes a fresh host.
TEST(HostChannel, AHostFailingInACallGivesCommErrorAndRestarts) {
  struct TRow {
    const char* name;
    std::string afterRequest;
  };
  const TRow rows[] = {
      {"hangs up", "exit 0\n"},
      {"is killed", "kill -9 $$\n"},
      {"reply cut off", PrintBytes(Bytes{'R', 0, 0, 0, 5, 0}) + "exit 0\n"},
      {"more bytes than asked", PrintReply(TStatus::Called, 5, "abcde") + "exec sleep 20\n"},
      {"data on a failure", PrintReply(TStatus::Called, -5, "a") + "exec sleep 20\n"},
      {"unknown status", PrintReply(static_cast<TStatus>(9), 0) + "exec sleep 20\n"},
      {"text", "echo 'Segmentation fault'\nexec sleep 20\n"},
      {"closes its output and stays", "exec >&-\nexec sleep 20\n"},
      // Something else still holds the pipe open: only the host's death tells.
      {"dies, a helper keeps the pipe", "sleep 4 2>/dev/null &\nkill -9 $$\n"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    const THostCommand command =
        ScriptHost(PrintHello() + "head -c 12 > /dev/null\n" + row.afterRequest);
    THostChannel channel;
    std::string error;
    ASSERT_TRUE(channel.Start(command, &error)) << error;
    const long first = channel.ChildId();
    std::string buffer(4, '\xEE');
    const auto start = Clock::now();
    EXPECT_EQ(channel.ReadNVMFile(2, 5, buffer.data(), 4), -5);
    EXPECT_LT(SecondsSince(start), 3.0);
    EXPECT_TRUE(channel.LastCallLost());
    EXPECT_FALSE(channel.Running());
    EXPECT_EQ(channel.GetNVMFileSize(2, 5), -5);  // dead until started again
    ASSERT_TRUE(channel.EnsureRunning(&error)) << error;
    EXPECT_NE(channel.ChildId(), first);
    EXPECT_TRUE(channel.Running());
#if !defined(_WIN32)
    ::kill(static_cast<pid_t>(channel.ChildId()), SIGKILL);  // no need to wait for its end
#endif
  }
}

// A host that stops reading: writing to it must not end the tool with SIGPIPE.
TEST(HostChannel, AHostThatStopsReadingGivesCommError) {
#if !defined(_WIN32)
  struct sigaction old {};
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &defaults, &old);
#endif
  const THostCommand command = ScriptHost(PrintHello() + "exec 0<&-\nexec sleep 20\n");
  THostChannel channel;
  ASSERT_TRUE(Started(channel, command));
  const std::string big(1 << 20, 'x');
  EXPECT_EQ(channel.WriteNVMFile(2, 5, big.data(), static_cast<std::uint32_t>(big.size())), -5);
  EXPECT_FALSE(channel.Running());
#if !defined(_WIN32)
  sigaction(SIGPIPE, &old, nullptr);
#endif
}

TEST(HostChannel, ACallsTimeLimitIsItsBytesOnTheLinkPlusTheAllowance) {
  using std::chrono::milliseconds;
  struct TRow {
    milliseconds allowance;
    std::uint64_t bytes;
    milliseconds limit;
  };
  const TRow rows[] = {
      {milliseconds(30'000), 0, milliseconds(30'000)},
      {milliseconds(30'000), 9600, milliseconds(40'000)},  // 96,000 bits: 10 s
      {milliseconds(30'000), 65'536, milliseconds(98'266)},
      {milliseconds(0), 96, milliseconds(100)},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.bytes);
    EXPECT_EQ(THostChannel::CallTimeLimit(row.allowance, row.bytes), row.limit);
  }
  EXPECT_EQ(THostChannel::kDefaultAllowance, milliseconds(30'000));
}

// A host that takes the request and never answers: past the call's time limit it is ended,
// first by closing its input (a host that ends on that goes by itself), else by force.
TEST(HostChannel, AHostOverrunningItsTimeLimitIsEndedAndTheCallLosesTheLink) {
  struct TRow {
    const char* name;
    std::string afterInputEnds;
    bool endsByItself;
  };
  const TRow rows[] = {
      {"ends when its input closes", "echo ended > ended.txt\nexit 0\n", true},
      {"stays", "echo ended > ended.txt\nexec sleep 30\n", false},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path dir = test::FreshTestDir(row.endsByItself ? "-ends" : "-stays");
    THostChannel channel;
    ASSERT_TRUE(Started(
        channel,
        ScriptHost(PrintHello() + "head -c 12 > /dev/null\ncat > /dev/null\n" + row.afterInputEnds,
                   dir)));
    channel.SetCallAllowance(std::chrono::milliseconds(300));
    const long pid = channel.ChildId();
    std::string buffer(96, '\xEE');
    const auto start = Clock::now();
    EXPECT_EQ(channel.ReadNVMFile(2, 5, buffer.data(), 96), -5);  // limit: 0.3 s + 0.1 s
    const double took = SecondsSince(start);
    EXPECT_GE(took, 0.4);
    EXPECT_LT(took, row.endsByItself ? 1.9 : 6.0);
    EXPECT_TRUE(channel.LastCallLost());
    EXPECT_FALSE(channel.Running());
    EXPECT_EQ(buffer, std::string(96, '\xEE'));
    EXPECT_TRUE(fs::exists(dir / "ended.txt"));  // its input was closed
#if !defined(_WIN32)
    EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0);  // and it is gone
#endif
  }
}

#if !defined(_WIN32)
void AbortOnSignal(int) {
  AbortHostedCall();
}

// A call cut short from another thread, or from a signal handler on the calling thread: the
// host is ended and the call loses the link at once. An abort while no call is in flight
// touches nothing.
TEST(HostChannel, AnAbortCutsTheCallInFlightShort) {
  struct sigaction handler {
  }, old{};
  handler.sa_handler = &AbortOnSignal;
  sigaction(SIGUSR1, &handler, &old);
  const pthread_t caller = pthread_self();
  struct TRow {
    const char* name;
    std::function<void()> abort;
  };
  const TRow rows[] = {
      {"from another thread", [] { AbortHostedCall(); }},
      {"from a signal handler", [&] { pthread_kill(caller, SIGUSR1); }},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path dir = test::FreshTestDir(row.name[5] == 'a' ? "-thread" : "-signal");
    THostChannel channel;
    ASSERT_TRUE(Started(channel, ScriptHost(PrintHello() + "head -c 12 > /dev/null\n" +
                                                "echo got > got.txt\ncat > /dev/null\n",
                                            dir)));
    AbortHostedCall();  // no call in flight: nothing happens
    std::thread aborter([&] {
      if (WaitUntil([&] { return fs::exists(dir / "got.txt"); })) row.abort();
    });
    const auto start = Clock::now();
    EXPECT_EQ(channel.GetNVMFileSize(2, 5), -5);
    aborter.join();
    EXPECT_LT(SecondsSince(start), 10.0);  // far below the 30 s allowance
    EXPECT_TRUE(channel.LastCallLost());
    EXPECT_FALSE(channel.Running());
  }
  // An abort from before a call does not reach it.
  THostChannel channel;
  ASSERT_TRUE(Started(channel, ScriptHost(PrintHello() + "head -c 12 > /dev/null\n" +
                                          PrintReply(TStatus::Called, 7) + "exec sleep 30\n")));
  AbortHostedCall();
  EXPECT_EQ(channel.GetNVMFileSize(2, 5), 7);
  EXPECT_FALSE(channel.LastCallLost());
  sigaction(SIGUSR1, &old, nullptr);
}

// The host's standard error goes to the file given, or else to the tool's own.
TEST(HostChannel, TheHostsStandardErrorGoesToItsLog) {
  const fs::path dir = test::FreshTestDir();
  const fs::path ours = dir / "ours.txt";
  const int saved = ::dup(2);
  const int file = ::open(ours.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(file, 2);
  ::close(file);
  for (const bool toLog : {true, false}) {
    THostCommand command =
        ScriptHost(std::string("echo 'said by ") + (toLog ? "the logged" : "the plain") +
                       " host' >&2\n" + PrintHello() + "cat > /dev/null\n",
                   dir);
    if (toLog) command.stderrFile = dir / "host.log";
    THostChannel channel;
    EXPECT_TRUE(Started(channel, command));
    channel.Stop();
  }
  ::dup2(saved, 2);
  ::close(saved);
  const auto text = [](const fs::path& f) {
    const Bytes b = ReadBytes(f);
    return std::string(b.begin(), b.end());
  };
  EXPECT_EQ(text(dir / "host.log"), "said by the logged host\n");
  EXPECT_EQ(text(ours), "said by the plain host\n");
}
#endif

}  // namespace
}  // namespace zub::test::host
