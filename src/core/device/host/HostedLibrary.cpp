// The bridge to gbp-host.exe (see HostedLibrary.h).
#include "device/host/HostedLibrary.h"

#include <cstdlib>
#include <optional>
#include <utility>

#include "device/ComDevice.h"
#include "device/DeviceLibrary.h"
#include "device/host/HostLog.h"
#include "device/host/WineHost.h"

namespace zub {

namespace {

namespace fs = std::filesystem;

#if !defined(_WIN32)
// The prefix the host runs in: the one the environment names, else the tool's own.
fs::path ToolWinePrefix() {
  const char* named = std::getenv("WINEPREFIX");
  if (named && *named) return fs::path(named);
  return DefaultWinePrefix();
}

bool AnyDevice(const std::array<std::string, 4>& devices) {
  for (const auto& d : devices)
    if (!d.empty()) return true;
  return false;
}
#endif

}  // namespace

THostedLibrary::THostedLibrary(fs::path file, std::string fileName, std::vector<fs::path> hostDirs,
                               THostContext& context)
    : FFile(std::move(file)),
      FFileName(std::move(fileName)),
      FHostDirs(std::move(hostDirs)),
      FProgramDir(FFile.parent_path()),
      FContext(context) {}

THostedLibrary::~THostedLibrary() = default;

std::unique_ptr<THostedLibrary> THostedLibrary::Load(const fs::path& file, const TPeFile& pe,
                                                     std::string fileName,
                                                     std::vector<fs::path> hostDirs,
                                                     THostContext& context,
                                                     std::vector<std::string>* missing) {
  // The export table says whether the host would find the six; the host itself starts only at
  // the first InitGBP.
  const std::vector<std::string> lacking = MissingEntryPoints(pe);
  if (!lacking.empty()) {
    if (missing) *missing = lacking;
    return nullptr;
  }
  return std::unique_ptr<THostedLibrary>(
      new THostedLibrary(file, std::move(fileName), std::move(hostDirs), context));
}

bool THostedLibrary::Prepare(std::string& message) {
  THostChannel::THelloWait outcome;
  std::string error;
  if (FAwaited) {
    outcome = FAwaited->first;
    error = std::move(FAwaited->second);
    FAwaited.reset();
  } else if (FHost.Running()) {
#if !defined(_WIN32)
    // Wine links the ports anew when it starts again, which may have happened meanwhile.
    const std::array<std::string, 4> devices = UsableComDevices(FContext.comDevices);
    if (AnyDevice(devices) && !MapComPorts(ToolWinePrefix(), devices, error))
      message = "The serial ports could not be mapped for Wine: " + error;
#endif
    return true;
  } else if (FHost.Launched()) {
    outcome = FHost.AwaitHello(std::nullopt, &error);
  } else {
    FLaunchedEarly = false;
    if (!LaunchHost(message, false)) return false;
    outcome = FHost.AwaitHello(std::nullopt, &error);
  }
  // A host started early that ended before its hello (killed meanwhile, say) is no reason for
  // the command to fail: it gets a host of its own.
  if (outcome == THostChannel::THelloWait::Ended && FLaunchedEarly) {
    FLaunchedEarly = false;
    if (!LaunchHost(message, false)) return false;
    outcome = FHost.AwaitHello(std::nullopt, &error);
  }
  FLaunchedEarly = false;
  if (outcome != THostChannel::THelloWait::Ready) {
    message = "Unable to start gbp-host.exe for " + FFileName + ": " + error;
    return false;
  }
#if !defined(_WIN32)
  WritePortRecord(FPrefix, FProgramDir, FDevices);
  // The host has written the registry for Wine's next start; a Wine that was running already
  // (or whose start raced the host) gets the links now. The host runs: the opening goes on
  // whatever the mapping says.
  if (AnyDevice(FDevices) && !MapComPorts(FPrefix, FDevices, error))
    message = "The serial ports could not be mapped for Wine: " + error;
#endif
  return true;
}

void THostedLibrary::StartEarly() {
  if (FHost.Running() || FHost.Launched() || FAwaited) return;
  std::string ignored;
  FLaunchedEarly = LaunchHost(ignored, true);
}

bool THostedLibrary::StillStarting(std::chrono::milliseconds wait) {
  if (FHost.Running() || FAwaited) return false;
  if (!FHost.Launched()) {
    std::string ignored;
    if (!LaunchHost(ignored, true)) return false;
  }
  std::string error;
  const auto outcome = FHost.AwaitHello(std::chrono::steady_clock::now() + wait, &error);
  if (outcome == THostChannel::THelloWait::Pending) return true;
  // Prepare takes up what the wait came to: the steps after the hello, or the failure.
  FAwaited.emplace(outcome, std::move(error));
  return false;
}

bool THostedLibrary::LaunchHost(std::string& message, bool quiet) {
  std::optional<fs::path> hostExe;
  for (const fs::path& dir : FHostDirs)
    if (!hostExe) hostExe = FindHostExe(dir);
  if (!hostExe) hostExe = FindHostExe(ExecutableDir());
  if (!hostExe) {
    if (!quiet)
      message = "Unable to use " + FFileName +
                ": it is a Windows library, and gbp-host.exe, which serves it, is neither "
                "beside the program nor in its folder win32.";
    return false;
  }
  std::string error;
#if defined(_WIN32)
  THostCommand command = MakeDirectHostCommand(*hostExe, FFile);
#else
  FPrefix = ToolWinePrefix();
  FDevices = UsableComDevices(FContext.comDevices);
  const std::array<std::string, 4> recorded = ReadPortRecord(FPrefix, FProgramDir);
  // Ports no longer mapped go back to Wine: our link now, the registry value by the host.
  UnmapComPorts(FPrefix, FDevices, recorded);
  auto wineCommand = MakeWineHostCommand(
      *hostExe, FFile, {FPrefix, FDevices, PortArguments(FDevices, recorded)}, error);
  if (!wineCommand) {
    if (quiet) return false;
    if (error == kWineMissingText) {
      // Said once; until Wine is installed every opening fails quietly like a refused one.
      if (!FContext.wineMissingTold) message = kWineMissingText;
      FContext.wineMissingTold = true;
    } else {
      message = "Unable to use " + FFileName + " through Wine: " + error;
    }
    return false;
  }
  THostCommand command = std::move(*wineCommand);
#endif
  if (!FContext.logToStderr) {
    const fs::path log = HostLogPath();
    if (!log.empty() && RotateLog(log)) command.stderrFile = log;
  }
  if (!FHost.Launch(command, &error)) {
    if (!quiet) message = "Unable to start gbp-host.exe for " + FFileName + ": " + error;
    return false;
  }
  return true;
}

}  // namespace zub
