// TNVMSection: the single path between the tool and the telephone. It loads the device
// library, opens and ends its connection, and reads, writes, sizes and clears one section at a
// time. Nothing else in the tool calls the device library.
//
// The library file decides how it is reached (IGbpLibrary): a library built for the tool's own
// platform is loaded into the process; a 32-bit Windows library is served by gbp-host.exe, run
// through Wine on Linux and directly on Windows. The host starts at the first InitGBP, or
// before it (StartHostEarly) so that Wine gets ready while the user has yet to ask for the
// telephone, and lives until the library is released, so Wine starts once; an opening that
// has to wait for it says so first (INVMOwner::NVMWaiting). The six calls answer the same
// either way. A call that loses the link to the telephone (the host fails or overruns the
// call's time limit, or the library says so) answers -5 and is told apart (LinkLost). From the
// opening to EndGBP the port is locked against other programs (PortLock.h), and a port's
// serial device from the settings is checked before it is used (ComDevice.h).
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/DeviceCallRunner.h"
#include "device/GbpLibrary.h"
#include "device/PortLock.h"
#include "device/SectionContentObserver.h"
#include "device/host/HostContext.h"

namespace zub {

class THostedLibrary;

enum class TNVMCOMPortName : std::uint8_t { cpnCOM1 = 0, cpnCOM2, cpnCOM3, cpnCOM4 };

// The component's owner: receives the component's error boxes.
class INVMOwner {
 public:
  virtual ~INVMOwner() = default;
  virtual void NVMMessage(const std::string& caption, const std::string& text) = 0;
  // An opening is about to wait for something slow (kHostStartingText): said before the wait,
  // on the thread that asked for the opening. Nothing unless the owner shows it.
  virtual void NVMWaiting(const std::string& text) { (void)text; }
};

// Said while an opening waits for gbp-host.exe: Wine sets up a new prefix at its first start.
inline constexpr const char* kHostStartingText =
    "Starting the Windows device helper (the first time takes up to a minute)…";

// Sees every call into the device library (never the buffers) and every library load.
class INVMObserver {
 public:
  virtual ~INVMObserver() = default;
  virtual void OnLibraryLoad(const std::string& fileName, bool ok) = 0;
  // `args` are the numbers handed over (port; section, sub-section, length); `hasResult` is
  // false for EndGBPMode, whose result the tool never reads.
  virtual void OnLibraryCall(std::string_view entry, const std::vector<std::int64_t>& args,
                             bool hasResult, std::int32_t result) = 0;
};

// "InitGBPMode(2) -> 0", "EndGBPMode()".
std::string FormatLibraryCall(std::string_view entry, const std::vector<std::int64_t>& args,
                              bool hasResult, std::int32_t result);

// The InitGBPMode failure text ("GBP Error: ...") for a non-zero result.
std::string GBPErrorText(std::int32_t code);

class TNVMSection {
 public:
  // Loads gbp.dll at once, reporting a failure to `owner`. The library (and gbp-host.exe) is
  // looked for in `libraryDirs` in order, the first folder that holds the file wins; when none
  // does, the platform's own library search has the last word.
  TNVMSection(INVMOwner& owner, std::vector<std::filesystem::path> libraryDirs,
              INVMObserver* observer = nullptr);
  // The same with one folder.
  TNVMSection(INVMOwner& owner, std::filesystem::path programDir, INVMObserver* observer = nullptr)
      : TNVMSection(owner, std::vector<std::filesystem::path>{std::move(programDir)}, observer) {}
  ~TNVMSection();
  TNVMSection(const TNVMSection&) = delete;
  TNVMSection& operator=(const TNVMSection&) = delete;

  // Published properties.
  std::int32_t Section() const { return FSection; }
  std::int32_t SubSection() const { return FSubSection; }
  TNVMCOMPortName COMPort() const { return FCOMPort; }
  bool CTEMode() const { return FCTEMode; }
  void SetSect(std::int32_t value) { FSection = value; }
  void SetSSect(std::int32_t value) { FSubSection = value; }
  void SetCOMPort(TNVMCOMPortName value) { FCOMPort = value; }
  void SetCTEMode(bool value);

  bool LoadGBP_DLL();
  void UnLoadGBP_DLL();

  bool InitGBP();
  void EndGBP();
  std::int32_t Read(void* buffer, std::uint32_t length);
  std::int32_t Write(const void* buffer, std::uint32_t length);
  std::int32_t GetSize();
  std::int32_t Clear();

  // Stopping between two calls: the user's Cancel, or the window closing while a command runs.
  // Once a stop is asked, the call in flight ends as usual and every later opening and section
  // operation is refused without reaching the library or showing a message, as a connection
  // that cannot be opened is: InitGBP answers false (even on an open connection, so a step
  // that joins it fails too), Read, Write and GetSize answer -1 and Clear 0. EndGBP still ends
  // the connection. A command sees the stop through its operations failing, or asks
  // StopRequested() between its steps. The stop holds until AllowCalls(); it may be asked from
  // any thread or a signal handler.
  void RequestStop() { FStopRequested = true; }
  bool StopRequested() const { return FStopRequested; }
  void AllowCalls() { FStopRequested = false; }

  bool Loaded() const { return FLoaded; }
  bool PortOpen() const { return FPortOpen; }
  // True when the most recent library call lost the link to the telephone: the host died, hung
  // up, answered something else than a reply or overran its time limit, or the in-process
  // library said so. The call answered -5; the connection is closed. Cleared when the next
  // call starts.
  bool LinkLost() const { return FLinkLost; }
  // Cuts the hosted library's call in flight short: its host is ended and the call answers -5
  // as a lost link. Nothing when no hosted call is in flight. Async-signal-safe: callable from
  // a signal handler or another thread. A call into a library loaded into the process cannot
  // be cut short; it runs until the library returns.
  static void AbortCall() noexcept;
  void SetObserver(INVMObserver* observer) { FObserver = observer; }
  // Who keeps the sections' contents (the history); nullptr: nobody.
  void SetContentObserver(ISectionContentObserver* o) { FContentObserver = o; }
  ISectionContentObserver* ContentObserver() const { return FContentObserver; }
  std::string LibraryFileName() const { return FCTEMode ? "cte_gbp.dll" : "gbp.dll"; }

  // Every call into the library or its host (the host's start and stop included) goes through
  // `runner`; nullptr restores the default, which calls inline.
  void SetCallRunner(IDeviceCallRunner* runner) { FRunner = runner ? runner : &FInlineRunner; }
  // The devices the Windows library's COM1..COM4 lead to under Wine (e.g. "/dev/ttyACM0"); an
  // empty entry leaves Wine's own mapping. Used when the host next starts.
  void SetComDevices(const std::array<std::string, 4>& devices) {
    FHostContext.comDevices = devices;
  }
  const std::array<std::string, 4>& ComDevices() const { return FHostContext.comDevices; }
  // What a hosted call may take on top of the bytes it moves at 9,600 bit/s (10 bits a byte):
  // 30 s unless set. Past its limit the host is ended and the call is a lost link.
  void SetCallTimeout(std::chrono::milliseconds allowance) {
    FHostContext.callAllowance = allowance;
  }
  std::chrono::milliseconds CallTimeout() const { return FHostContext.callAllowance; }
  // The host's and Wine's standard error go to the tool's standard error instead of the log
  // file host.log in the user's state folder (from the host's next start).
  void SetHostLogToStderr(bool toStderr) { FHostContext.logToStderr = toStderr; }
  // Where the port locks are kept (TPortLockPlaces::Default() unless set).
  void SetPortLockPlaces(const TPortLockPlaces& places) { FLockPlaces = places; }
  // Starts gbp-host.exe for a hosted library now, without opening the connection and without
  // a word, so that Wine gets ready while the user has yet to ask for the telephone. Nothing
  // for a library in the process, a host already running, or after a stop. A host that
  // cannot start is started and told about at the opening, as without this.
  void StartHostEarly();
  // How long an opening waits for the host quietly; past that it says kHostStartingText first.
  static constexpr std::chrono::milliseconds kHostNoticeAfter{300};
  // Whether the loaded library is served through gbp-host.exe.
  bool Hosted() const { return FBridge != nullptr; }
  // The process id of the host, running or getting ready; 0 when none runs.
  long HostProcessId() const;

 private:
  // Opens the connection when it is closed; false when it could not be opened.
  bool EnsureOpen();
  // A call that lost the link took the connection with it.
  void AfterCall();
  // Checks the port's device setting and locks the port; false (after the message) when the
  // opening must not go on.
  bool LockPort(std::uint8_t port);
  void ReleasePort();
  std::int32_t Run(const std::function<std::int32_t()>& call) { return FRunner->Run(call); }
  void Report(std::string_view entry, std::vector<std::int64_t> args, bool hasResult,
              std::int32_t result);

  // The first of FLibraryDirs that holds the library file, else the first of them.
  std::filesystem::path LibraryDir() const;

  INVMOwner& FOwner;
  std::vector<std::filesystem::path> FLibraryDirs;
  INVMObserver* FObserver;
  ISectionContentObserver* FContentObserver = nullptr;

  // The loaded library, in-process or through its host; null when loading failed.
  std::unique_ptr<IGbpLibrary> FLibrary;
  THostedLibrary* FBridge = nullptr;  // FLibrary, when it is served through gbp-host.exe
  THostContext FHostContext;
  TInlineCallRunner FInlineRunner;
  IDeviceCallRunner* FRunner = &FInlineRunner;
  std::string FLoadFailure;  // the message of a library that could not be loaded
  TPortLockPlaces FLockPlaces = TPortLockPlaces::Default();
  TPortLock FPortLock;
  std::string FLockedPort;  // what FPortLock holds: the device, or the library and port
  bool FLoaded = false;
  bool FPortOpen = false;
  bool FLinkLost = false;
  std::atomic<bool> FStopRequested{false};
  // Lock-free, so that RequestStop() may be called from a signal handler (Ctrl-C).
  static_assert(std::atomic<bool>::is_always_lock_free);

  std::int32_t FSection = 0;
  std::int32_t FSubSection = 0;
  TNVMCOMPortName FCOMPort = TNVMCOMPortName::cpnCOM1;
  bool FCTEMode = false;
};

}  // namespace zub
