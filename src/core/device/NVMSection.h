// TNVMSection: the single path between the tool and the telephone. It loads the device
// library, opens and ends its connection, and reads, writes, sizes and clears one section at a
// time. Nothing else in the tool calls the device library.
//
// The library file decides how it is reached: a library built for the tool's own platform is
// loaded into the process; a 32-bit Windows library is served by gbp-host.exe, run through
// Wine on Linux and directly on Windows. The host starts at the first InitGBP and lives until
// the library is released, so Wine starts once; the six calls answer the same either way.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/DeviceCallRunner.h"
#include "device/DeviceLibrary.h"
#include "device/GbpApi.h"

namespace zub {

enum class TNVMCOMPortName : std::uint8_t { cpnCOM1 = 0, cpnCOM2, cpnCOM3, cpnCOM4 };

// The component's owner: receives the component's error boxes.
class INVMOwner {
 public:
  virtual ~INVMOwner() = default;
  virtual void NVMMessage(const std::string& caption, const std::string& text) = 0;
};

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

class THostChannel;
struct TPeFile;

class TNVMSection {
 public:
  // Loads gbp.dll at once (from `programDir` first), reporting a failure to `owner`.
  TNVMSection(INVMOwner& owner, std::filesystem::path programDir, INVMObserver* observer = nullptr);
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
  void SetObserver(INVMObserver* observer) { FObserver = observer; }
  std::string LibraryFileName() const { return FCTEMode ? "cte_gbp.dll" : "gbp.dll"; }

  // Every call into the library or its host (the host's start and stop included) goes through
  // `runner`; nullptr restores the default, which calls inline.
  void SetCallRunner(IDeviceCallRunner* runner) { FRunner = runner ? runner : &FInlineRunner; }
  // The devices the Windows library's COM1..COM4 lead to under Wine (e.g. "/dev/ttyACM0"); an
  // empty entry leaves Wine's own mapping. Used when the host next starts.
  void SetComDevices(const std::array<std::string, 4>& devices) { FComDevices = devices; }
  const std::array<std::string, 4>& ComDevices() const { return FComDevices; }
  // Whether the loaded library is served through gbp-host.exe.
  bool Hosted() const { return FHosted; }
  // The process id of the running host; 0 when none runs.
  long HostProcessId() const;

 private:
  // Opens the connection when it is closed; false when it could not be opened.
  bool EnsureOpen();
  bool LoadInProcess(const std::string& name);
  bool LoadHosted(const std::filesystem::path& file, const TPeFile& pe);
  // Starts the host when none runs; false (after its message) when it cannot.
  bool StartHost();
  void StopHost();
  // A host that went away during a call took the connection with it.
  void AfterCall();
  std::int32_t Run(const std::function<std::int32_t()>& call) { return FRunner->Run(call); }
  void ForgetEntryPoints();
  void Report(std::string_view entry, std::vector<std::int64_t> args, bool hasResult,
              std::int32_t result);

  INVMOwner& FOwner;
  std::filesystem::path FProgramDir;
  INVMObserver* FObserver;

  gbp::InitGBPModeFn FInitGBPMode = nullptr;
  gbp::EndGBPModeFn FEndGBPMode = nullptr;
  gbp::ReadNVMFileFn FReadNVMFile = nullptr;
  gbp::WriteNVMFileFn FWriteNVMFile = nullptr;
  gbp::ClearNVMFileFn FClearNVMFile = nullptr;
  gbp::GetNVMFileSizeFn FGetNVMFileSize = nullptr;
  TDeviceLibrary FLibrary;
  bool FHosted = false;
  std::filesystem::path FHostedFile;
  std::unique_ptr<THostChannel> FHost;
  std::array<std::string, 4> FComDevices;
  TInlineCallRunner FInlineRunner;
  IDeviceCallRunner* FRunner = &FInlineRunner;
  bool FWineMissingTold = false;
  bool FLoaded = false;
  bool FPortOpen = false;
  std::atomic<bool> FStopRequested{false};
  // Lock-free, so that RequestStop() may be called from a signal handler (Ctrl-C).
  static_assert(std::atomic<bool>::is_always_lock_free);

  std::int32_t FSection = 0;
  std::int32_t FSubSection = 0;
  TNVMCOMPortName FCOMPort = TNVMCOMPortName::cpnCOM1;
  bool FCTEMode = false;
};

}  // namespace zub
