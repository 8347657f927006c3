// The bridge to gbp-host.exe (see HostedLibrary.h).
#include "device/host/HostedLibrary.h"

#include <cstdlib>
#include <utility>

#include "device/DeviceLibrary.h"
#include "device/host/WineHost.h"

namespace zub {

namespace {

namespace fs = std::filesystem;
using hostproto::TEntry;

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

}  // namespace

THostedLibrary::THostedLibrary(fs::path file, std::string fileName, fs::path programDir,
                               THostContext& context)
    : FFile(std::move(file)),
      FFileName(std::move(fileName)),
      FProgramDir(std::move(programDir)),
      FContext(context) {}

THostedLibrary::~THostedLibrary() = default;

std::unique_ptr<THostedLibrary> THostedLibrary::Load(const fs::path& file, const TPeFile& pe,
                                                     std::string fileName, fs::path programDir,
                                                     THostContext& context) {
  // The export table says whether the host would find the six; the host itself starts only at
  // the first InitGBP.
  for (int i = 0; i < hostproto::kEntryCount; ++i) {
    const auto entry = static_cast<TEntry>(i);
    if (!pe.Exports(hostproto::EntryName(entry)) &&
        !pe.Exports(hostproto::DecoratedEntryName(entry)))
      return nullptr;
  }
  return std::unique_ptr<THostedLibrary>(
      new THostedLibrary(file, std::move(fileName), std::move(programDir), context));
}

bool THostedLibrary::Prepare(std::string& message) {
  if (FHost.Running()) return true;
  auto hostExe = FindHostExe(FProgramDir);
  if (!hostExe && ExecutableDir() != FProgramDir) hostExe = FindHostExe(ExecutableDir());
  if (!hostExe) {
    message = "Unable to use " + FFileName +
              ": it is a Windows library, and gbp-host.exe, which serves it, is neither beside "
              "the program nor in its folder win32.";
    return false;
  }
  std::string error;
#if defined(_WIN32)
  const THostCommand command = MakeDirectHostCommand(*hostExe, FFile);
#else
  const fs::path prefix = ToolWinePrefix();
  const auto wineCommand =
      MakeWineHostCommand(*hostExe, FFile, {prefix, FContext.comDevices}, error);
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
  const THostCommand& command = *wineCommand;
#endif
  if (!FHost.Start(command, &error)) {
    message = "Unable to start gbp-host.exe for " + FFileName + ": " + error;
    return false;
  }
#if !defined(_WIN32)
  // A prefix made by this start has its device folder only now. The host runs: the opening
  // goes on whatever the mapping says.
  if (AnyDevice(FContext.comDevices) && !MapComPorts(prefix, FContext.comDevices, error))
    message = "The serial ports could not be mapped for Wine: " + error;
#endif
  return true;
}

}  // namespace zub
