// THostedLibrary: the bridge to a 32-bit Windows device library served by gbp-host.exe, run
// through Wine on Linux and directly on Windows. The host starts at the first InitGBPMode
// (Prepare), or ahead of it (StartEarly) while the user has yet to ask for the telephone,
// and lives until the bridge goes, so Wine starts once; its calls answer what the library
// answered, or -5 as a lost link (LastCallLost) when the host fails, overruns a call's time
// limit or is cut short (AbortHostedCall).
#pragma once

#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/GbpLibrary.h"
#include "device/host/HostChannel.h"
#include "device/host/HostContext.h"
#include "device/host/PeFile.h"

namespace zub {

class THostedLibrary : public IGbpLibrary {
 public:
  // For `file`, a Windows library named `fileName`, served by the gbp-host.exe found first in
  // `hostDirs` (then beside the program); nullptr
  // when its export table lacks one of the six entry points (no host is started to learn it),
  // whose names `missing` (when given) then lists in entry-point order.
  static std::unique_ptr<THostedLibrary> Load(const std::filesystem::path& file, const TPeFile& pe,
                                              std::string fileName,
                                              std::vector<std::filesystem::path> hostDirs,
                                              THostContext& context,
                                              std::vector<std::string>* missing = nullptr);
  ~THostedLibrary() override;

  // Waits for a host started early, or starts one and waits for it; the connection is never
  // opened here.
  bool Prepare(std::string& message) override;
  // Starts the host without waiting for it and without a word, so that Wine is ready by the
  // first InitGBPMode; a host that cannot start is left to Prepare to start and tell.
  void StartEarly();
  // Whether the host is running and has said hello.
  bool HostReady() const { return FHost.Running(); }
  // Starts the host quietly when none runs (as StartEarly), then gives it up to `wait` to be
  // ready. True when it is still getting ready after that: a command about to wait for it
  // should say why first.
  bool StillStarting(std::chrono::milliseconds wait);
  std::int32_t InitGBPMode(std::uint8_t port) override { return Seen(Host().InitGBPMode(port)); }
  // A host that is not running holds no connection: there is nothing to end in it.
  std::int32_t EndGBPMode() override {
    FLost = false;
    return FHost.Running() ? Seen(Host().EndGBPMode()) : 0;
  }
  std::int32_t ReadNVMFile(std::uint8_t section, std::uint8_t subSection, void* buffer,
                           std::uint32_t length) override {
    return Seen(Host().ReadNVMFile(section, subSection, buffer, length));
  }
  std::int32_t WriteNVMFile(std::uint8_t section, std::uint8_t subSection, const void* buffer,
                            std::uint32_t length) override {
    return Seen(Host().WriteNVMFile(section, subSection, buffer, length));
  }
  std::int32_t ClearNVMFile(std::uint8_t section, std::uint8_t subSection) override {
    return Seen(Host().ClearNVMFile(section, subSection));
  }
  std::int32_t GetNVMFileSize(std::uint8_t section, std::uint8_t subSection) override {
    return Seen(Host().GetNVMFileSize(section, subSection));
  }
  bool LastCallLost() const override { return FLost; }

  // Ends the host, running or getting ready (it ends the library's connection first when it
  // holds one).
  void Stop() {
    FHost.Stop();
    FAwaited.reset();
    FLaunchedEarly = false;
  }
  // The process id of the host, running or getting ready; 0 when none runs.
  long HostProcessId() const { return FHost.ChildId(); }

 private:
  THostedLibrary(std::filesystem::path file, std::string fileName,
                 std::vector<std::filesystem::path> hostDirs, THostContext& context);

  std::filesystem::path FFile;
  std::string FFileName;
  std::vector<std::filesystem::path> FHostDirs;
  std::filesystem::path FProgramDir;  // the library's folder: its port mappings are kept by it
  // The channel with the call allowance of the moment.
  THostChannel& Host() {
    FHost.SetCallAllowance(FContext.callAllowance);
    return FHost;
  }
  std::int32_t Seen(std::int32_t result) {
    FLost = FHost.LastCallLost();
    return result;
  }
  // Starts the host without waiting for its hello; false when it cannot, with `message` set
  // unless `quiet`.
  bool LaunchHost(std::string& message, bool quiet);

  THostContext& FContext;
  THostChannel FHost;
  bool FLost = false;
  bool FLaunchedEarly = false;  // the host getting ready was started by StartEarly
  // What StillStarting's wait for the hello came to, when it did not leave the host pending.
  std::optional<std::pair<THostChannel::THelloWait, std::string>> FAwaited;
#if !defined(_WIN32)
  // The prefix and the port devices of the host's launch, for the steps after its hello.
  std::filesystem::path FPrefix;
  std::array<std::string, 4> FDevices;
#endif
};

}  // namespace zub
