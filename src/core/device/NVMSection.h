// TNVMSection: the single path between the tool and the telephone. It loads the device
// library, opens and ends its connection, and reads, writes, sizes and clears one section at a
// time. Nothing else in the tool calls the device library.
#pragma once

#include <cstdint>
#include <filesystem>
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

class TNVMSection {
 public:
  // Loads gbp.dll at once (from `programDir` first), reporting a failure to `owner`.
  TNVMSection(INVMOwner& owner, std::filesystem::path programDir,
              INVMObserver* observer = nullptr);
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

  bool Loaded() const { return FLoaded; }
  bool PortOpen() const { return FPortOpen; }
  void SetObserver(INVMObserver* observer) { FObserver = observer; }
  // Every library call goes through `runner` (nullptr: run at once on the calling thread).
  void SetCallRunner(IDeviceCallRunner* runner) { FRunner = runner; }
  std::string LibraryFileName() const { return FCTEMode ? "cte_gbp.dll" : "gbp.dll"; }

 private:
  // Opens the connection when it is closed; false when it could not be opened or the entry
  // point the operation needs is missing.
  bool EnsureOpen(const void* entry);
  void ForgetEntryPoints();
  std::int32_t Call(const std::function<std::int32_t()>& call);
  void Report(std::string_view entry, std::vector<std::int64_t> args, bool hasResult,
              std::int32_t result);

  INVMOwner& FOwner;
  std::filesystem::path FProgramDir;
  INVMObserver* FObserver;
  IDeviceCallRunner* FRunner = nullptr;

  gbp::InitGBPModeFn FInitGBPMode = nullptr;
  gbp::EndGBPModeFn FEndGBPMode = nullptr;
  gbp::ReadNVMFileFn FReadNVMFile = nullptr;
  gbp::WriteNVMFileFn FWriteNVMFile = nullptr;
  gbp::ClearNVMFileFn FClearNVMFile = nullptr;
  gbp::GetNVMFileSizeFn FGetNVMFileSize = nullptr;
  TDeviceLibrary FLibrary;
  bool FLoaded = false;
  bool FPortOpen = false;

  std::int32_t FSection = 0;
  std::int32_t FSubSection = 0;
  TNVMCOMPortName FCOMPort = TNVMCOMPortName::cpnCOM1;
  bool FCTEMode = false;
};

}  // namespace zub
