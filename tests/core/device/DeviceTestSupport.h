// Helpers of the device tests: a recording owner and observer, the six entry points of a
// loaded library, the fake library's control functions, and a telephone simulator of its own
// for each test (a copy of the built library in a fresh folder with its gbp-sim.ini); and the
// words the device library host's tests share.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/DeviceLibrary.h"
#include "device/GbpApi.h"
#include "device/NVMSection.h"
#include "device/host/HostProtocol.h"

namespace zub::test {

class TRecordingOwner : public INVMOwner {
 public:
  void NVMMessage(const std::string& caption, const std::string& text) override {
    messages.emplace_back(caption, text);
  }
  std::vector<std::pair<std::string, std::string>> messages;
};

class TRecordingObserver : public INVMObserver {
 public:
  void OnLibraryLoad(const std::string& fileName, bool ok) override {
    loads.emplace_back(fileName, ok);
  }
  void OnLibraryCall(std::string_view entry, const std::vector<std::int64_t>& args, bool hasResult,
                     std::int32_t result) override {
    calls.push_back(FormatLibraryCall(entry, args, hasResult, result));
  }
  std::vector<std::pair<std::string, bool>> loads;
  std::vector<std::string> calls;
};

// The six entry points of a library; missing ones stay null.
struct TGbpEntries {
  gbp::InitGBPModeFn Init = nullptr;
  gbp::EndGBPModeFn End = nullptr;
  gbp::ReadNVMFileFn Read = nullptr;
  gbp::WriteNVMFileFn Write = nullptr;
  gbp::ClearNVMFileFn Clear = nullptr;
  gbp::GetNVMFileSizeFn Size = nullptr;
  // True when all six were found.
  bool Resolve(const TDeviceLibrary& library);
};

// Folder of one of the fake libraries built for the tests: "fake", "fake-cte", "fake-noread",
// "fake-minimal", "fake-nolost" (a copy of this process's own).
std::filesystem::path FakeDir(const std::string& name);

// The control functions of a fake library, reached through a handle of its own on the same
// file, so it shares the state of the copy the component loads.
class TFakeControl {
 public:
  TFakeControl(const std::filesystem::path& dir, const std::string& fileName);
  bool Loaded() const { return library_.Loaded(); }
  void Reset() const;
  void SetResult(const char* entry, std::int32_t result) const;
  // From now on a scripted -5 loses the link (ZubSimLastCallLost says so) and closes.
  void SetLosing(bool losing) const;
  int CallCount(const char* entry) const;
  int LastPort() const;
  int LastSection() const;
  int LastSubSection() const;
  std::int64_t LastLength() const;
  bool IsOpen() const;
  std::string Name() const;
  const TDeviceLibrary& Library() const { return library_; }

 private:
  template <typename Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(library_.Symbol(name));
  }
  TDeviceLibrary library_;
};

// A fresh empty folder for the running test, below the build tree. Folders are left in place
// until the next run, so no later copy of a library can reuse a file of an earlier one.
std::filesystem::path FreshTestDir(const std::string& suffix = {});

// A telephone of the running test: the simulator library (gbp.dll or cte_gbp.dll from the
// program folder) copied into a fresh folder, with a gbp-sim.ini written by the test.
class TSimPhone {
 public:
  explicit TSimPhone(const std::string& libraryName = "gbp.dll", const std::string& suffix = {});
  const std::filesystem::path& Dir() const { return dir_; }
  // Writes gbp-sim.ini; it is read at the next InitGBPMode.
  void WriteIni(const std::string& text) const;
  // Loads the copied library and resolves its entry points; false on failure.
  bool Load();
  const TGbpEntries& Api() const { return api_; }
  // The file of section S-SS in the folder "phone" (or `folder`).
  std::filesystem::path SectionFile(int section, int subSection,
                                    const std::string& folder = "phone") const;
  std::optional<std::vector<unsigned char>> SectionBytes(int section, int subSection,
                                                         const std::string& folder = "phone") const;
  void PutSection(int section, int subSection, const std::vector<unsigned char>& bytes,
                  const std::string& folder = "phone") const;
  // Names of everything in the memory folder, sorted.
  std::vector<std::string> FolderEntries(const std::string& folder = "phone") const;

 private:
  std::filesystem::path dir_;
  std::string libraryName_;
  TDeviceLibrary library_;
  TGbpEntries api_;
};

// A file of the win32 cross build (gbp-host.exe, gbp.dll, cte_gbp.dll).
std::filesystem::path Win32File(const char* name);
// Why the win32 cross build cannot be used (empty when it can).
std::string Win32BuildMissing();
// Points WINEPREFIX at the Wine prefix all device tests of this build tree share (or, with a
// `suffix`, one beside it for the tests that restart Wine), and sets it up on first use under
// a file lock. Returns why Wine tests must be skipped (empty: run them). On Windows, where the
// host is started directly, only the build is needed.
std::string UseTestWinePrefix(const std::string& suffix = {});

// Sets (or, with nullopt, removes) an environment variable for one scope.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::optional<std::string>& value);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Whether the process `pid` has ended (and, on POSIX systems, been reaped).
bool ProcessGone(long pid);

// A pseudo-terminal of the test's own: its other end (/dev/pts/N) is a character device that
// stands in for a serial device.
class TPty {
 public:
  TPty();
  ~TPty();
  TPty(const TPty&) = delete;
  TPty& operator=(const TPty&) = delete;
  const std::string& Device() const { return device_; }

 private:
  int master_ = -1;
  std::string device_;
};

// Polls `condition` until it holds or `limit` passes; whether it held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(20));

// Bytes 0, 1, 2, ... (mod 251) plus `seed`.
std::vector<unsigned char> Pattern(std::size_t size, unsigned seed = 0);

// The host's tests: frames as bytes, calls timed on the steady clock.
// The output of a command run through the shell.
inline std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    ::pclose(p);
  }
  return out;
}

namespace host {
using namespace hostproto;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

double Millis(Clock::duration d);
// The whole file; empty when it cannot be read.
Bytes ReadBytes(const fs::path& file);
}  // namespace host

}  // namespace zub::test
