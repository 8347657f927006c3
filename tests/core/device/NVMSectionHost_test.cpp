// TNVMSection with a 32-bit Windows library: the load-time check of its export table (no Wine
// needed), Wine missing, and, under Wine, the same calls, results and observed transcript as
// the simulator in-process, the host kept across connections, a host killed mid-session, and
// the serial ports mapped from the settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/device/DeviceTestSupport.h"
#include "device/NVMSection.h"
#include "device/host/WineHost.h"

#if !defined(_WIN32)
#include <signal.h>
#endif

namespace zub {
namespace {

namespace fs = std::filesystem;
using test::Output;
using test::TRecordingObserver;
using test::TRecordingOwner;
using test::Win32File;
using TMessages = std::vector<std::pair<std::string, std::string>>;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& file, const Bytes& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// The Windows simulator as gbp.dll in `home`, with gbp-host.exe in home/win32.
void PutWindowsLibrary(const fs::path& home, const std::string& ini) {
  fs::create_directories(home / "win32");
  fs::copy_file(Win32File("gbp.dll"), home / "gbp.dll", fs::copy_options::overwrite_existing);
  fs::copy_file(Win32File("gbp-host.exe"), home / "win32" / "gbp-host.exe",
                fs::copy_options::overwrite_existing);
  std::ofstream(home / "gbp-sim.ini") << ini;
}

// Renames an export in a copy of a library: the name stays in the table, spelled otherwise.
void SpoilExport(const fs::path& file, const std::string& name) {
  Bytes bytes = ReadAll(file);
  const std::string needle = name + '\0';
  auto at = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
  ASSERT_NE(at, bytes.end()) << name;
  *(at + static_cast<std::ptrdiff_t>(name.size()) - 1) ^= 0x20;
  WriteAll(file, bytes);
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Whether the export table is judged at load, before (and without) any Wine start.
TEST(NVMSectionHostLoad, TheExportTableDecidesAtLoad) {
  if (const std::string missing = test::Win32BuildMissing(); !missing.empty())
    GTEST_SKIP() << missing;
  struct TRow {
    const char* name;
    std::vector<const char*> spoil;  // exports to rename
    bool program;                    // gbp-host.exe put in the library's place
    const char* message;             // nullptr: loaded
  };
  const TRow rows[] = {
      {"the Windows simulator", {}, false, nullptr},
      {"without ReadNVMFile",
       {"ReadNVMFile"},
       false,
       "Unable to open gbp.dll\ngbp.dll lacks ReadNVMFile"},
      {"without ClearNVMFile",
       {"ClearNVMFile"},
       false,
       "Unable to open gbp.dll\ngbp.dll lacks ClearNVMFile"},
      {"without InitGBPMode and GetNVMFileSize",
       {"GetNVMFileSize", "InitGBPMode"},
       false,
       "Unable to open gbp.dll\ngbp.dll lacks InitGBPMode, GetNVMFileSize"},
      {"a program, not a library", {}, true, "Unable to open gbp.dll"},
  };
  // No Wine on PATH: a load that needed it would show.
  const fs::path empty = test::FreshTestDir("-path");
  const ScopedEnv path("PATH", empty.string());
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path home = test::FreshTestDir(std::string("-") + row.name);
    PutWindowsLibrary(home, "");
    if (row.program)
      fs::copy_file(Win32File("gbp-host.exe"), home / "gbp.dll",
                    fs::copy_options::overwrite_existing);
    for (const char* name : row.spoil) SpoilExport(home / "gbp.dll", name);
    TRecordingOwner owner;
    TRecordingObserver observer;
    TNVMSection nvm(owner, home, &observer);
    const bool loaded = row.message == nullptr;
    EXPECT_EQ(nvm.Loaded(), loaded);
    EXPECT_EQ(nvm.Hosted(), loaded);
    EXPECT_EQ(nvm.HostProcessId(), 0);
    EXPECT_EQ(owner.messages, (loaded ? TMessages{} : TMessages{{"ERROR", row.message}}));
    EXPECT_EQ(observer.loads, (std::vector<std::pair<std::string, bool>>{{"gbp.dll", loaded}}));
  }
}

TEST(NVMSectionHostLoad, WithoutWineOneMessageAndTheOpeningFails) {
#if defined(_WIN32)
  GTEST_SKIP() << "Wine is not used on Windows";
#endif
  if (const std::string missing = test::Win32BuildMissing(); !missing.empty())
    GTEST_SKIP() << missing;
  const fs::path home = test::FreshTestDir();
  PutWindowsLibrary(home, "");
  const ScopedEnv path("PATH", (home / "win32").string());
  TRecordingOwner owner;
  TRecordingObserver observer;
  TNVMSection nvm(owner, home, &observer);
  ASSERT_TRUE(nvm.Loaded());
  EXPECT_FALSE(nvm.InitGBP());
  unsigned char buffer[4];
  EXPECT_EQ(nvm.Read(buffer, sizeof buffer), -1);
  EXPECT_EQ(nvm.Clear(), 0);
  EXPECT_FALSE(nvm.PortOpen());
  EXPECT_EQ(owner.messages, (TMessages{{"ERROR", kWineMissingText}}));
  EXPECT_TRUE(observer.calls.empty());
}

class NVMSectionHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { skip_ = test::UseTestWinePrefix(); }
  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
  }
  static inline std::string skip_;
};

constexpr const char* kPorts12 = "[Link]\nPorts=1,2\n[Memory]\nFolder=phone\n";

// One session of the tool's calls; everything the caller sees, in order.
std::vector<std::string> RunSession(TNVMSection& nvm, TRecordingOwner& owner,
                                    TRecordingObserver& observer) {
  std::vector<std::string> seen;
  const auto note = [&](const std::string& what, std::int64_t value) {
    seen.push_back(what + " = " + std::to_string(value));
  };
  nvm.SetCOMPort(TNVMCOMPortName::cpnCOM2);
  nvm.SetSect(258);  // reaches the library as 2
  nvm.SetSSect(5);
  note("GetSize", nvm.GetSize());  // opens the connection on demand
  note("Write", nvm.Write("hello world", 11));
  note("GetSize", nvm.GetSize());
  std::string head(128, '\xEE');
  note("Read", nvm.Read(head.data(), 128));
  seen.push_back("head " + head.substr(0, 12));
  note("Read", nvm.Read(head.data(), 5));
  // More than one piece of a payload each way.
  const auto big = test::Pattern(70'000, 9);
  nvm.SetSect(255);
  nvm.SetSSect(255);
  note("Write", nvm.Write(big.data(), 70'000));
  std::vector<unsigned char> back(80'000, 0xEE);
  note("Read", nvm.Read(back.data(), 80'000));
  note("same bytes", std::equal(big.begin(), big.end(), back.begin()) && back[70'000] == 0xEE);
  nvm.SetSect(2);
  note("Clear", nvm.Clear());
  note("GetSize", nvm.GetSize());
  nvm.EndGBP();
  nvm.SetCOMPort(TNVMCOMPortName::cpnCOM3);  // no telephone there
  note("InitGBP", nvm.InitGBP());
  nvm.EndGBP();
  for (const auto& [caption, text] : owner.messages) seen.push_back(caption + ": " + text);
  for (const auto& call : observer.calls) seen.push_back("call " + call);
  return seen;
}

TEST_F(NVMSectionHostTest, TheHostAnswersAndIsObservedAsTheLibraryInProcess) {
  std::vector<std::string> sessions[2];
  for (const bool hosted : {false, true}) {
    SCOPED_TRACE(hosted ? "through the host" : "in-process");
    const fs::path home = test::FreshTestDir(hosted ? "-hosted" : "-native");
    if (hosted) {
      PutWindowsLibrary(home, kPorts12);
    } else {
      fs::copy_file(fs::path(ZUB_BIN_DIR) / "gbp.dll", home / "gbp.dll");
      std::ofstream(home / "gbp-sim.ini") << kPorts12;
    }
    TRecordingOwner owner;
    TRecordingObserver observer;
    {
      TNVMSection nvm(owner, home, &observer);
      ASSERT_TRUE(nvm.Loaded());
      EXPECT_EQ(nvm.Hosted(), hosted);
      sessions[hosted] = RunSession(nvm, owner, observer);
    }
    EXPECT_EQ(ReadAll(home / "phone" / "255-255.bin"), Bytes(test::Pattern(70'000, 9)));
  }
  EXPECT_EQ(sessions[1], sessions[0]);
  // The session itself did what it says (so the comparison is not between two failures).
  const std::vector<std::string> expectedStart = {"GetSize = -153",
                                                  "Write = 11",
                                                  "GetSize = 11",
                                                  "Read = 11",
                                                  "head hello world\xEE",
                                                  "Read = 5",
                                                  "Write = 70000",
                                                  "Read = 70000",
                                                  "same bytes = 1",
                                                  "Clear = 0",
                                                  "GetSize = -153",
                                                  "InitGBP = 0",
                                                  "ERROR: GBP Error: Can't open port!"};
  ASSERT_GE(sessions[1].size(), expectedStart.size());
  EXPECT_EQ(std::vector<std::string>(sessions[1].begin(),
                                     sessions[1].begin() + static_cast<long>(expectedStart.size())),
            expectedStart);
  EXPECT_EQ(sessions[1].back(), "call EndGBPMode()");
}

TEST_F(NVMSectionHostTest, OneHostServesEveryConnectionUntilTheLibraryIsSwitched) {
  const fs::path home = test::FreshTestDir();
  PutWindowsLibrary(home, kPorts12);
  TRecordingOwner owner;
  TNVMSection nvm(owner, home);
  EXPECT_EQ(nvm.HostProcessId(), 0);  // nothing started at load
  nvm.EndGBP();                       // nor to end a connection that was never opened
  EXPECT_EQ(nvm.HostProcessId(), 0);
  ASSERT_TRUE(nvm.InitGBP());
  const long host = nvm.HostProcessId();
  EXPECT_GT(host, 0);
  nvm.EndGBP();
  ASSERT_TRUE(nvm.InitGBP());
  EXPECT_EQ(nvm.HostProcessId(), host);
  nvm.SetCTEMode(false);  // the library is loaded afresh: its host goes
  EXPECT_EQ(nvm.HostProcessId(), 0);
  EXPECT_TRUE(nvm.PortOpen());  // the mode switch leaves the flag alone, as in-process
  nvm.EndGBP();
  ASSERT_TRUE(nvm.InitGBP());
  EXPECT_NE(nvm.HostProcessId(), 0);
  EXPECT_TRUE(owner.messages.empty());
}

#if !defined(_WIN32)
TEST_F(NVMSectionHostTest, AKilledHostFailsTheCallWithCommErrorAndTheNextOpeningStartsAnew) {
  const fs::path home = test::FreshTestDir();
  PutWindowsLibrary(home, kPorts12);
  TRecordingOwner owner;
  TRecordingObserver observer;
  TNVMSection nvm(owner, home, &observer);
  nvm.SetSect(4);
  nvm.SetSSect(4);
  ASSERT_TRUE(nvm.InitGBP());
  ASSERT_EQ(nvm.Write("kept", 4), 4);
  const long first = nvm.HostProcessId();
  ASSERT_EQ(::kill(static_cast<pid_t>(first), SIGKILL), 0);
  std::string buffer(16, '\0');
  EXPECT_EQ(nvm.Read(buffer.data(), 16), -5);
  EXPECT_TRUE(nvm.LinkLost());
  EXPECT_FALSE(nvm.PortOpen());
  EXPECT_EQ(nvm.HostProcessId(), 0);
  EXPECT_TRUE(owner.messages.empty());  // the caller words its own read failure

  EXPECT_EQ(nvm.Read(buffer.data(), 16), 4);  // opens again, with a fresh host
  EXPECT_EQ(buffer.substr(0, 4), "kept");
  EXPECT_NE(nvm.HostProcessId(), first);
  EXPECT_EQ(observer.calls,
            (std::vector<std::string>{"InitGBPMode(1) -> 0", "WriteNVMFile(4,4,4) -> 4",
                                      "ReadNVMFile(4,4,16) -> -5", "InitGBPMode(1) -> 0",
                                      "ReadNVMFile(4,4,16) -> 4"}));
}

// The device Wine's registry maps `port` ("COM4") to in the prefix of WINEPREFIX; empty when
// none.
std::string RegistryPort(const std::string& port) {
  const std::string all =
      Output("WINEDEBUG=-all wine reg query 'HKLM\\Software\\Wine\\Ports' 2>/dev/null");
  const std::string head = port + "    REG_SZ    ";
  const std::size_t at = all.find(head);
  if (at == std::string::npos) return {};
  const std::size_t from = at + head.size();
  return all.substr(from, all.find_first_of("\r\n", from) - from);
}

// A port of the settings leads to its device both in Wine's registry (for Wine's next start)
// and in the prefix's links (for the Wine running); a key removed gives the port back to Wine.
// (COM4: a port no other test of the shared prefix maps.)
TEST_F(NVMSectionHostTest, SerialPortsFromTheSettingsAreMappedAndGivenBack) {
  const fs::path home = test::FreshTestDir();
  PutWindowsLibrary(home, kPorts12);
  const fs::path prefix = std::getenv("WINEPREFIX");
  const fs::path link = prefix / "dosdevices" / "com4";
  const test::TPty pty;
  ASSERT_FALSE(pty.Device().empty());
  struct TRow {
    const char* name;
    std::string device;
  };
  for (const TRow& row : {TRow{"mapped", pty.Device()}, TRow{"key removed", ""}}) {
    SCOPED_TRACE(row.name);
    TRecordingOwner owner;
    TNVMSection nvm(owner, home);
    nvm.SetComDevices({"", "", "", row.device});
    ASSERT_TRUE(nvm.InitGBP());
    std::error_code ec;
    if (row.device.empty()) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(link, ec)));
    } else {
      EXPECT_EQ(fs::read_symlink(link, ec), row.device);
    }
    EXPECT_EQ(RegistryPort("COM4"), row.device);
    EXPECT_TRUE(owner.messages.empty());
  }
}

// Wine links the ports anew each time it starts: from the registry the port's device is set
// in, so its own linking makes the link we want. (A prefix of its own: Wine is restarted.)
TEST(NVMSectionHostPorts, WinesOwnStartLinksThePortToTheSettingsDevice) {
  if (const std::string skip = test::UseTestWinePrefix("-ports"); !skip.empty())
    GTEST_SKIP() << skip;
  const fs::path prefix = std::getenv("WINEPREFIX");
  const fs::path link = prefix / "dosdevices" / "com3";
  const fs::path home = test::FreshTestDir();
  PutWindowsLibrary(home, kPorts12);
  const test::TPty pty;
  ASSERT_FALSE(pty.Device().empty());
  {
    TRecordingOwner owner;
    TNVMSection nvm(owner, home);
    nvm.SetComDevices({"", "", pty.Device(), ""});
    ASSERT_TRUE(nvm.InitGBP());
    EXPECT_TRUE(owner.messages.empty());
  }
  // Wine stops; a link of somebody else's takes the name; Wine starts again without us.
  Output("WINEDEBUG=-all wineserver -k 2>&1; WINEDEBUG=-all wineserver -w 2>&1");
  std::error_code ec;
  fs::remove(link, ec);
  fs::create_symlink("/dev/null", link);
  Output("WINEDEBUG=-all wine '" + (home / "win32" / "gbp-host.exe").string() +
         "' </dev/null 2>&1");
  // Wine's device manager links the ports as it starts, beside the program's own start.
  EXPECT_TRUE(test::WaitUntil([&] { return fs::read_symlink(link, ec) == pty.Device(); }))
      << fs::read_symlink(link, ec);
  EXPECT_EQ(RegistryPort("COM3"), pty.Device());
}
#endif

}  // namespace
}  // namespace zub
