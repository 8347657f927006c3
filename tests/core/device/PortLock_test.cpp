// One program per port: the lock files themselves (UUCP lock files of serial devices, taken
// over from dead processes, our own lock file where the shared folder cannot be used, the
// library's port), and two processes opening one port through the device component.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "core/device/DeviceTestSupport.h"
#include "device/NVMSection.h"
#include "device/PortLock.h"
#include "support/TestFiles.h"

namespace zub {
namespace {

namespace fs = std::filesystem;
using test::FakeDir;
using test::TFakeControl;
using test::TRecordingObserver;
using test::TRecordingOwner;

std::string PidLine(long pid) {
  char line[16];
  std::snprintf(line, sizeof line, "%10ld\n", pid);
  return line;
}

// The id of a process that has ended (and been reaped).
long DeadPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

// A child process that runs `body` and then waits until told to end (or is killed).
class THolder {
 public:
  explicit THolder(const std::function<void()>& body) {
    int ready[2], release[2];
    EXPECT_EQ(::pipe(ready), 0);
    EXPECT_EQ(::pipe(release), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      body();
      char c = 'r';
      [[maybe_unused]] auto w = ::write(ready[1], &c, 1);
      [[maybe_unused]] auto r = ::read(release[0], &c, 1);  // until the parent says so
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char c;
    EXPECT_EQ(::read(ready[0], &c, 1), 1);  // its body has run
    ::close(ready[0]);
  }
  ~THolder() { End(); }
  long Pid() const { return pid_; }
  // Lets it end the way it chooses (destructors run).
  void End() {
    if (pid_ <= 0) return;
    ::close(release_);
    ::waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }
  void Kill() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

 private:
  pid_t pid_ = 0;
  int release_ = -1;
};

struct TPlaces {
  explicit TPlaces(const std::string& suffix = {})
      : root(test::FreshTestDir(suffix)), places{root / "lock", root / "own"} {
    fs::create_directories(places.uucpDir);
  }
  fs::path root;
  TPortLockPlaces places;
};

TEST(PortLock, ASerialDeviceIsLockedAsTheSerialToolsAgree) {
  struct TRow {
    const char* name;
    std::function<void(const TPortLockPlaces&)> before;
    TLockResult result;
    std::function<long()> holder;  // after InUse
    bool uucp;                     // the lock is the shared LCK.. file (else our own)
  };
  const fs::path shared = "LCK..null";
  const TRow rows[] = {
      {"free", [](const auto&) {}, TLockResult::Taken, nullptr, true},
      {"held by a live process",
       [&](const auto& p) { std::ofstream(p.uucpDir / shared) << PidLine(::getppid()); },
       TLockResult::InUse, [] { return static_cast<long>(::getppid()); }, true},
      {"left by a dead process",
       [&](const auto& p) { std::ofstream(p.uucpDir / shared) << PidLine(DeadPid()); },
       TLockResult::Taken, nullptr, true},
      {"left by a dead process of an older tool (a binary number)",
       [&](const auto& p) {
         const long pid = DeadPid();
         const char bytes[4] = {static_cast<char>(pid & 255), static_cast<char>((pid >> 8) & 255),
                                static_cast<char>((pid >> 16) & 255), 0};
         std::ofstream(p.uucpDir / shared, std::ios::binary).write(bytes, 4);
       },
       TLockResult::Taken, nullptr, true},
      {"no shared lock folder", [](const auto& p) { fs::remove_all(p.uucpDir); },
       TLockResult::Taken, nullptr, false},
      {"the shared lock folder cannot be written (it is a file)",
       [](const auto& p) {
         fs::remove_all(p.uucpDir);
         std::ofstream(p.uucpDir) << "x";
       },
       TLockResult::Taken, nullptr, false},
      {"held by another component of this program",
       [&](const auto& p) {
         static TPortLock first;
         ASSERT_EQ(first.LockDevice("/dev/null", p), TLockResult::Taken);
       },
       TLockResult::InUse, [] { return static_cast<long>(::getpid()); }, true},
  };
  int n = 0;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    const TPlaces at("-" + std::to_string(n++));
    row.before(at.places);
    TPortLock lock;
    // Through a link, as /dev/serial/by-id names a device: the device's own name is locked.
    fs::create_symlink("/dev/null", at.root / "by-id-link");
    EXPECT_EQ(lock.LockDevice(at.root / "by-id-link", at.places), row.result);
    EXPECT_EQ(lock.Held(), row.result == TLockResult::Taken);
    const fs::path file = (row.uucp ? at.places.uucpDir : at.places.ownDir) / shared;
    EXPECT_EQ(lock.File(), file);
    if (row.result == TLockResult::InUse) {
      EXPECT_EQ(lock.Holder(), row.holder());
      continue;
    }
    EXPECT_EQ(test::ReadText(file), PidLine(::getpid()));
    lock.Release();
    EXPECT_FALSE(fs::exists(file));
  }
}

TEST(PortLock, ALibrarysPortIsLockedByItsFileAndNumber) {
  const TPlaces at;
  const fs::path library = at.root / "gbp.dll";
  std::ofstream(library) << "x";
  TPortLock com1;
  ASSERT_EQ(com1.LockLibraryPort(library, 1, at.places), TLockResult::Taken);
  EXPECT_EQ(com1.File().parent_path(), at.places.ownDir);
  EXPECT_EQ(test::ReadText(com1.File()), PidLine(::getpid()));
  struct TRow {
    const char* name;
    fs::path library;
    int port;
    TLockResult result;
  };
  const TRow rows[] = {
      {"the same port", library, 1, TLockResult::InUse},
      {"the same port, by another spelling of the path", at.root / "." / "gbp.dll", 1,
       TLockResult::InUse},
      {"another port", library, 2, TLockResult::Taken},
      {"another library", at.root / "cte_gbp.dll", 1, TLockResult::Taken},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    TPortLock lock;
    EXPECT_EQ(lock.LockLibraryPort(row.library, row.port, at.places), row.result);
  }
  // Held in another process: its number is told; it is free again once that process ends,
  // however it ends.
  com1.Release();
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "the holder is killed" : "the holder ends");
    auto holder = std::make_unique<THolder>([&] {
      static TPortLock held;
      held.LockLibraryPort(library, 1, at.places);
    });
    TPortLock lock;
    EXPECT_EQ(lock.LockLibraryPort(library, 1, at.places), TLockResult::InUse);
    EXPECT_EQ(lock.Holder(), holder->Pid());
    killed ? holder->Kill() : holder->End();
    EXPECT_EQ(lock.LockLibraryPort(library, 1, at.places), TLockResult::Taken);
  }
}

// Through the component: a second program on the port is told who holds it and touches
// nothing; once the first lets go, it opens.
TEST(PortLock, ASecondProgramOnThePortIsToldAndTouchesNothing) {
  const TPlaces at;
  const fs::path dir = FakeDir("fake");
  const auto open = [&] {
    static TRecordingOwner owner;
    static TNVMSection nvm(owner, dir);
    nvm.SetPortLockPlaces(at.places);
    nvm.SetCOMPort(TNVMCOMPortName::cpnCOM3);
    if (!nvm.InitGBP()) ::_exit(1);
  };
  // Reset before the holder forks, so that it opens a clean library whatever ran before.
  TFakeControl fake(dir, "gbp.dll");
  fake.Reset();
  THolder first(open);
  TRecordingOwner owner;
  TRecordingObserver observer;
  TNVMSection nvm(owner, dir, &observer);
  nvm.SetPortLockPlaces(at.places);
  nvm.SetCOMPort(TNVMCOMPortName::cpnCOM3);
  std::vector<unsigned char> buffer(16);
  EXPECT_FALSE(nvm.InitGBP());
  EXPECT_EQ(nvm.Read(buffer.data(), 16), -1);
  const std::string inUse = "COM3 (" + fs::absolute(dir / "gbp.dll").string() +
                            ") is in use by another program (process " +
                            std::to_string(first.Pid()) + "); close it and try again.";
  EXPECT_EQ(owner.messages,
            (std::vector<std::pair<std::string, std::string>>(2, {"ERROR", inUse})));
  EXPECT_TRUE(observer.calls.empty());
  EXPECT_EQ(fake.CallCount("InitGBPMode"), 0);
  // Another port of the same library is free.
  nvm.SetCOMPort(TNVMCOMPortName::cpnCOM2);
  EXPECT_TRUE(nvm.InitGBP());
  nvm.EndGBP();

  first.End();
  nvm.SetCOMPort(TNVMCOMPortName::cpnCOM3);
  EXPECT_TRUE(nvm.InitGBP());
  EXPECT_EQ(fake.CallCount("InitGBPMode"), 2);
  // Held from the opening to EndGBP, and not a moment longer.
  TRecordingOwner other;
  TNVMSection second(other, dir);
  second.SetPortLockPlaces(at.places);
  second.SetCOMPort(TNVMCOMPortName::cpnCOM3);
  EXPECT_FALSE(second.InitGBP());
  nvm.EndGBP();
  EXPECT_TRUE(second.InitGBP());
  second.EndGBP();
}

// A port mapped to a serial device is locked by the device, whatever library opens it.
TEST(PortLock, APortMappedToADeviceIsLockedByTheDevice) {
  const TPlaces at;
  const test::TPty pty;
  ASSERT_FALSE(pty.Device().empty());
  const fs::path dir = FakeDir("fake");
  TRecordingOwner owner;
  TNVMSection first(owner, dir), second(owner, FakeDir("fake-cte"));
  second.SetCTEMode(true);
  for (TNVMSection* nvm : {&first, &second}) {
    nvm->SetPortLockPlaces(at.places);
    nvm->SetComDevices({pty.Device(), "", "", ""});
    nvm->SetCOMPort(TNVMCOMPortName::cpnCOM1);
  }
  owner.messages.clear();
  ASSERT_TRUE(first.InitGBP());
  const fs::path file = at.places.uucpDir / ("LCK.." + fs::path(pty.Device()).filename().string());
  EXPECT_EQ(test::ReadText(file), PidLine(::getpid()));
  EXPECT_FALSE(second.InitGBP());
  EXPECT_EQ(owner.messages,
            (std::vector<std::pair<std::string, std::string>>{
                {"ERROR", "COM1 (" + pty.Device() + ") is in use by another program (process " +
                              std::to_string(::getpid()) + "); close it and try again."}}));
  first.EndGBP();
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(second.InitGBP());
}

}  // namespace
}  // namespace zub
