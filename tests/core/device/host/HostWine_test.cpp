// gbp-host.exe under Wine with the telephone simulator built as a Windows library: the calls
// through the tool's channel, the host's exit codes and output, a host killed mid-session,
// and the round trip measured against the same call in-process. Skipped when the cross
// compiler or Wine is missing. All tests of a run share one Wine prefix in the build tree,
// set up at the first run (which takes a while).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/device/DeviceTestSupport.h"
#include "device/host/HostChannel.h"
#include "device/host/HostProtocol.h"
#include "device/host/WineHost.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zub::test::host {
namespace {

class HostWineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#if defined(_WIN32)
    skip_ = "runs gbp-host.exe through Wine, on Linux only";
#else
    if (!fs::exists(Win32("gbp-host.exe")) || !fs::exists(Win32("gbp.dll"))) {
      skip_ = "no win32 build (i686-w64-mingw32-g++ not installed)";
      return;
    }
    if (!FindOnPath("wine")) {
      skip_ = "wine is not installed";
      return;
    }
    const char* own = std::getenv("ZUB_TEST_WINE_PREFIX");
    prefix_ = own && *own ? fs::path(own) : fs::path(ZUB_TEST_WINE_PREFIX);
    fs::create_directories(prefix_);
    // The first start sets the prefix up; test programs running side by side take turns.
    const int lock =
        ::open((prefix_.string() + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (lock >= 0) ::flock(lock, LOCK_EX);
    const fs::path dir = fs::path(ZUB_TEST_TMP) / "wine-warm-up";
    fs::create_directories(dir);
    fs::copy_file(Win32("gbp.dll"), dir / "gbp.dll", fs::copy_options::overwrite_existing);
    std::string error;
    const auto command =
        MakeWineHostCommand(Win32("gbp-host.exe"), dir / "gbp.dll", {prefix_, {}}, error);
    THostChannel channel;
    const auto start = Clock::now();
    if (!command || !channel.Start(*command, &error))
      skip_ = "Wine does not run the host: " + error;
    firstStartMs_ = Millis(Clock::now() - start);
    channel.Stop();
    if (lock >= 0) ::close(lock);
#endif
  }

  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
    home_ = test::FreshTestDir();
    fs::create_directories(home_ / "phone");
  }

  static fs::path Win32(const char* name) {
    return fs::path(ZUB_WIN32_DIR) / name;
  }

  // The Windows simulator `name` in the test's folder, with gbp-sim.ini `ini`.
  fs::path PutLibrary(const char* name, const std::string& ini) {
    fs::copy_file(Win32(name), home_ / name, fs::copy_options::overwrite_existing);
    std::ofstream(home_ / "gbp-sim.ini") << ini;
    return home_ / name;
  }

  THostCommand Command(const fs::path& library) {
    std::string error;
    auto command = MakeWineHostCommand(Win32("gbp-host.exe"), library, {prefix_, {}}, error);
    EXPECT_TRUE(command) << error;
    return command.value_or(THostCommand{});
  }

  Bytes Section(const std::string& file) {
    return ReadBytes(home_ / "phone" / file);
  }

  static inline std::string skip_;
  static inline fs::path prefix_;
  static inline double firstStartMs_ = 0;
  fs::path home_;
};

constexpr const char* kAllPorts = "[Link]\nPorts=1,2,3,4\n[Memory]\nFolder=phone\n";

TEST_F(HostWineTest, ServesTheSimulatorsCallsThroughWine) {
  const fs::path library = PutLibrary("gbp.dll", kAllPorts);
  THostChannel channel;
  std::string error;
  ASSERT_TRUE(channel.Start(Command(library), &error)) << error;
  EXPECT_EQ(channel.Hello().entries, kAllEntries);

  EXPECT_EQ(channel.GetNVMFileSize(2, 5), -4);  // closed
  EXPECT_EQ(channel.EndGBPMode(), 0);
  EXPECT_EQ(channel.InitGBPMode(3), 0);
  EXPECT_EQ(channel.InitGBPMode(3), -1);
  EXPECT_EQ(channel.GetNVMFileSize(2, 5), gbp::kNoSection);
  EXPECT_EQ(channel.WriteNVMFile(2, 5, "hello world", 11), 11);
  EXPECT_EQ(Section("2-5.bin"), Bytes({'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}));
  EXPECT_EQ(channel.GetNVMFileSize(2, 5), 11);
  std::string buffer(128, '\xEE');
  EXPECT_EQ(channel.ReadNVMFile(2, 5, buffer.data(), 5), 5);
  EXPECT_EQ(buffer.substr(0, 6), "hello\xEE");
  EXPECT_EQ(channel.ReadNVMFile(2, 5, buffer.data(), 128), 11);
  EXPECT_EQ(buffer.substr(0, 12), "hello world\xEE");
  EXPECT_EQ(channel.ReadNVMFile(2, 5, nullptr, 0), 0);
  EXPECT_EQ(channel.WriteNVMFile(0, 0, nullptr, 0), 0);  // an empty section exists
  EXPECT_EQ(channel.GetNVMFileSize(0, 0), 0);

  // Larger than a pipe's buffer and than one piece of a payload, both ways.
  const auto big = test::Pattern(300'000, 3);
  EXPECT_EQ(channel.WriteNVMFile(255, 255, big.data(), static_cast<std::uint32_t>(big.size())),
            300'000);
  EXPECT_EQ(Section("255-255.bin"), Bytes(big.begin(), big.end()));
  std::vector<unsigned char> back(400'000, 0xEE);
  EXPECT_EQ(channel.ReadNVMFile(255, 255, back.data(), 400'000), 300'000);
  EXPECT_TRUE(std::equal(big.begin(), big.end(), back.begin()));
  EXPECT_EQ(back[300'000], 0xEE);

  EXPECT_EQ(channel.ClearNVMFile(2, 5), 0);
  EXPECT_FALSE(fs::exists(home_ / "phone" / "2-5.bin"));
  EXPECT_EQ(channel.GetNVMFileSize(2, 5), gbp::kNoSection);
  EXPECT_EQ(channel.EndGBPMode(), 0);
  EXPECT_EQ(channel.ReadNVMFile(255, 255, back.data(), 1), -4);
  EXPECT_TRUE(channel.Running());
}

// The service-cable library refuses transfers over its limit with its own -5: the host lives on.
TEST_F(HostWineTest, TheLibrarysOwnCommErrorKeepsTheHost) {
  const fs::path library = PutLibrary("cte_gbp.dll", "[Link]\nPorts=1\nBaud=0\n");
  THostChannel channel;
  std::string error;
  ASSERT_TRUE(channel.Start(Command(library), &error)) << error;
  ASSERT_EQ(channel.InitGBPMode(1), 0);
  const std::string tooBig(30'000, 'x');
  EXPECT_EQ(channel.WriteNVMFile(3, 1, tooBig.data(), 30'000), -5);
  EXPECT_TRUE(channel.Running());
  EXPECT_EQ(channel.WriteNVMFile(3, 1, tooBig.data(), 21'504), 21'504);
  EXPECT_EQ(channel.GetNVMFileSize(3, 1), 21'504);
}

TEST_F(HostWineTest, AKilledHostGivesCommErrorAndAFreshOneTakesOver) {
  const fs::path library = PutLibrary("gbp.dll", kAllPorts);
  THostChannel channel;
  std::string error;
  ASSERT_TRUE(channel.Start(Command(library), &error)) << error;
  ASSERT_EQ(channel.InitGBPMode(1), 0);
  ASSERT_EQ(channel.WriteNVMFile(4, 4, "kept", 4), 4);
  const long first = channel.ChildId();
  ASSERT_GT(first, 0);
  ::kill(static_cast<pid_t>(first), SIGKILL);
  std::string buffer(16, '\0');
  EXPECT_EQ(channel.ReadNVMFile(4, 4, buffer.data(), 16), -5);
  EXPECT_FALSE(channel.Running());
  EXPECT_EQ(channel.EndGBPMode(), -5);

  ASSERT_TRUE(channel.EnsureRunning(&error)) << error;
  EXPECT_NE(channel.ChildId(), first);
  EXPECT_EQ(channel.InitGBPMode(1), 0);  // a fresh library: the port is not open yet
  EXPECT_EQ(channel.ReadNVMFile(4, 4, buffer.data(), 16), 4);
  EXPECT_EQ(buffer.substr(0, 4), "kept");
}

// The host run by hand: what it writes and how it ends for a given input.
TEST_F(HostWineTest, HostWritesOnlyFramesAndEndsWithItsCode) {
  const fs::path library = PutLibrary("gbp.dll", kAllPorts);
  const auto bytes = [](const auto& frame) { return Bytes(frame.begin(), frame.end()); };
  const auto cat = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  THello all;
  all.entries = kAllEntries;
  const Bytes hello = bytes(EncodeHello(all));
  const Bytes sizeRequest = bytes(EncodeRequest({TEntry::GetNVMFileSize, 0, 2, 5, 0}));
  const Bytes initRequest = bytes(EncodeRequest({TEntry::InitGBPMode, 1, 0, 0, 0}));
  struct TRow {
    const char* name;
    std::vector<std::string> args;
    Bytes input;
    int code;
    Bytes output;
  };
  const std::string dll = WineWindowsPath(library);
  const TRow rows[] = {
      {"no input", {dll}, {}, 0, hello},
      {"a call on a closed port",
       {dll},
       sizeRequest,
       0,
       cat(hello, bytes(EncodeReply({TStatus::Called, -4, 0})))},
      {"malformed request",
       {dll},
       cat(initRequest, Bytes(12, 0x51)),
       4,
       cat(hello, bytes(EncodeReply({TStatus::Called, 0, 0})))},
      {"request cut off", {dll}, Bytes(sizeRequest.begin(), sizeRequest.begin() + 7), 4, hello},
      {"a library without the entry points",
       {"C:\\windows\\system32\\kernel32.dll"},
       initRequest,
       0,
       cat(bytes(EncodeHello({kVersion, 0})), bytes(EncodeReply({TStatus::Missing, 0, 0})))},
      {"no library", {WineWindowsPath(home_ / "none.dll")}, initRequest, 3, {}},
      {"no argument", {}, {}, 2, {}},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    std::ofstream(home_ / "in.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(row.input.data()),
               static_cast<std::streamsize>(row.input.size()));
    std::string line = "cd '" + home_.string() + "' && WINEPREFIX='" + prefix_.string() +
                       "' WINEDEBUG=-all wine '" + Win32("gbp-host.exe").string() + "'";
    for (const auto& a : row.args) line += " '" + a + "'";
    line += " < in.bin > out.bin 2> err.txt";
    const int status = std::system(line.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), row.code);
    EXPECT_EQ(ReadBytes(home_ / "out.bin"), row.output);
  }
}

// The warm round trip of a 128-byte read, through the host and in-process, for the record.
TEST_F(HostWineTest, RoundTripOfAHeadRead) {
  const fs::path library = PutLibrary("gbp.dll", kAllPorts);
  const auto section = test::Pattern(5000, 1);
  std::ofstream(home_ / "phone" / "2-16.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(section.data()), 5000);
  THostChannel channel;
  std::string error;
  const auto start = Clock::now();
  ASSERT_TRUE(channel.Start(Command(library), &error)) << error;
  const double startMs = Millis(Clock::now() - start);
  ASSERT_EQ(channel.InitGBPMode(1), 0);

  test::TSimPhone native;
  native.WriteIni(kAllPorts);
  native.PutSection(2, 16, section);
  ASSERT_TRUE(native.Load());
  ASSERT_EQ(native.Api().Init(1), 0);

  constexpr int kRounds = 2000;
  const auto median = [&](auto&& read) {
    std::vector<double> times;
    std::vector<std::uint8_t> head(128);
    for (int i = 0; i < kRounds; ++i) {
      const auto t = Clock::now();
      const std::int32_t n = read(head.data());
      times.push_back(Millis(Clock::now() - t));
      if (n != 128 || !std::equal(head.begin(), head.end(), section.begin())) {
        ADD_FAILURE() << "round " << i << ": " << n;
        break;
      }
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  };
  // Warm both first.
  median([&](std::uint8_t* b) { return channel.ReadNVMFile(2, 16, b, 128); });
  const double hosted = median([&](std::uint8_t* b) { return channel.ReadNVMFile(2, 16, b, 128); });
  const double inProcess =
      median([&](std::uint8_t* b) { return native.Api().Read(2, 16, b, 128); });
  std::printf(
      "host round trip of a 128-byte read: median %.3f ms through host+Wine, %.3f ms in-process, "
      "overhead %.3f ms; host start %.0f ms (first start of this run %.0f ms)\n",
      hosted, inProcess, hosted - inProcess, startMs, firstStartMs_);
  RecordProperty("hosted_ms", std::to_string(hosted));
  RecordProperty("in_process_ms", std::to_string(inProcess));
  native.Api().End();
}

}  // namespace
}  // namespace zub::test::host
