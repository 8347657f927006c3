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
  if (!FHost.Running()) return StartHost(message);
#if !defined(_WIN32)
  // Wine links the ports anew when it starts again, which may have happened meanwhile.
  const std::array<std::string, 4> devices = UsableComDevices(FContext.comDevices);
  std::string error;
  if (AnyDevice(devices) && !MapComPorts(ToolWinePrefix(), devices, error))
    message = "The serial ports could not be mapped for Wine: " + error;
#endif
  return true;
}

bool THostedLibrary::StartHost(std::string& message) {
  std::optional<fs::path> hostExe;
  for (const fs::path& dir : FHostDirs)
    if (!hostExe) hostExe = FindHostExe(dir);
  if (!hostExe) hostExe = FindHostExe(ExecutableDir());
  if (!hostExe) {
    message = "Unable to use " + FFileName +
              ": it is a Windows library, and gbp-host.exe, which serves it, is neither beside "
              "the program nor in its folder win32.";
    return false;
  }
  std::string error;
#if defined(_WIN32)
  THostCommand command = MakeDirectHostCommand(*hostExe, FFile);
#else
  const fs::path prefix = ToolWinePrefix();
  const std::array<std::string, 4> devices = UsableComDevices(FContext.comDevices);
  const std::array<std::string, 4> recorded = ReadPortRecord(prefix, FProgramDir);
  // Ports no longer mapped go back to Wine: our link now, the registry value by the host.
  UnmapComPorts(prefix, devices, recorded);
  auto wineCommand = MakeWineHostCommand(
      *hostExe, FFile, {prefix, devices, PortArguments(devices, recorded)}, error);
  if (!wineCommand) {
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
  if (!FHost.Start(command, &error)) {
    message = "Unable to start gbp-host.exe for " + FFileName + ": " + error;
    return false;
  }
#if !defined(_WIN32)
  WritePortRecord(prefix, FProgramDir, devices);
  // The host has written the registry for Wine's next start; a Wine that was running already
  // (or whose start raced the host) gets the links now. The host runs: the opening goes on
  // whatever the mapping says.
  if (AnyDevice(devices) && !MapComPorts(prefix, devices, error))
    message = "The serial ports could not be mapped for Wine: " + error;
#endif
  return true;
}

}  // namespace zub
