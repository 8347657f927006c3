#include "device/NVMSection.h"

#include <cstdlib>
#include <utility>

#include "device/HostChannel.h"
#include "device/PeFile.h"
#include "device/WineHost.h"

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

std::string FormatLibraryCall(std::string_view entry, const std::vector<std::int64_t>& args,
                              bool hasResult, std::int32_t result) {
  std::string out(entry);
  out += '(';
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i) out += ',';
    out += std::to_string(args[i]);
  }
  out += ')';
  if (hasResult) out += " -> " + std::to_string(result);
  return out;
}

std::string GBPErrorText(std::int32_t code) {
  switch (code) {
    case -1: return "GBP Error: Port already opened!";
    case -2: return "GBP Error: Can't open port!";
    case -3: return "GBP Error: No AT response!";
    case -4: return "GBP Error: Port must be opened!";
    case -5: return "GBP Error: COMM Error!";
    case -6: return "GBP Error: No Memory!";
    case -7: return "GBP Error: Invalid arguments!";
    default: return "GBP Error: Unknown error #" + std::to_string(code) + "!";
  }
}

TNVMSection::TNVMSection(INVMOwner& owner, std::filesystem::path programDir, INVMObserver* observer)
    : FOwner(owner),
      FProgramDir(std::move(programDir)),
      FObserver(observer),
      FHost(std::make_unique<THostChannel>()) {
  LoadGBP_DLL();
  FPortOpen = false;
}

TNVMSection::~TNVMSection() {
  EndGBP();
  UnLoadGBP_DLL();
}

bool TNVMSection::LoadGBP_DLL() {
  const std::string name = LibraryFileName();
  FLoaded = false;
  FHosted = false;
  // A Windows library beside the program that this build cannot load itself goes to the host;
  // everything else takes the platform's loader, as the program's own libraries do.
  const fs::path file = FProgramDir / name;
  std::error_code ec;
  const TPeFile pe = fs::is_regular_file(file, ec) ? ReadPeFile(file) : TPeFile{};
  FLoaded = NeedsHost(pe) ? LoadHosted(file, pe) : LoadInProcess(name);
  // Addresses of a library that could not be used must never be called.
  if (!FLoaded) {
    FLibrary.Release();
    FHosted = false;
    ForgetEntryPoints();
  }
  if (FObserver) FObserver->OnLibraryLoad(name, FLoaded);
  if (!FLoaded) FOwner.NVMMessage("ERROR", "Unable to open " + name);
  return FLoaded;
}

bool TNVMSection::LoadInProcess(const std::string& name) {
  if (!FLibrary.Load(name, FProgramDir)) return false;
  FInitGBPMode = reinterpret_cast<gbp::InitGBPModeFn>(FLibrary.Symbol("InitGBPMode"));
  FEndGBPMode = reinterpret_cast<gbp::EndGBPModeFn>(FLibrary.Symbol("EndGBPMode"));
  FReadNVMFile = reinterpret_cast<gbp::ReadNVMFileFn>(FLibrary.Symbol("ReadNVMFile"));
  FWriteNVMFile = reinterpret_cast<gbp::WriteNVMFileFn>(FLibrary.Symbol("WriteNVMFile"));
  FClearNVMFile = reinterpret_cast<gbp::ClearNVMFileFn>(FLibrary.Symbol("ClearNVMFile"));
  FGetNVMFileSize = reinterpret_cast<gbp::GetNVMFileSizeFn>(FLibrary.Symbol("GetNVMFileSize"));
  // A library that lacks any of the six is not used at all.
  return FInitGBPMode && FEndGBPMode && FReadNVMFile && FWriteNVMFile && FClearNVMFile &&
         FGetNVMFileSize;
}

bool TNVMSection::LoadHosted(const fs::path& file, const TPeFile& pe) {
  // The export table says whether the host would find the six; the host itself starts only at
  // the first InitGBP.
  for (int i = 0; i < hostproto::kEntryCount; ++i) {
    const auto entry = static_cast<TEntry>(i);
    if (!pe.Exports(hostproto::EntryName(entry)) &&
        !pe.Exports(hostproto::DecoratedEntryName(entry)))
      return false;
  }
  FHosted = true;
  FHostedFile = file;
  return true;
}

void TNVMSection::UnLoadGBP_DLL() {
  StopHost();
  FLibrary.Release();
  FLoaded = false;
  FHosted = false;
  ForgetEntryPoints();
}

void TNVMSection::ForgetEntryPoints() {
  FInitGBPMode = nullptr;
  FEndGBPMode = nullptr;
  FReadNVMFile = nullptr;
  FWriteNVMFile = nullptr;
  FClearNVMFile = nullptr;
  FGetNVMFileSize = nullptr;
}

long TNVMSection::HostProcessId() const {
  return FHost->ChildId();
}

bool TNVMSection::StartHost() {
  if (FHost->Running()) return true;
  const std::string name = LibraryFileName();
  auto hostExe = FindHostExe(FProgramDir);
  if (!hostExe && ExecutableDir() != FProgramDir) hostExe = FindHostExe(ExecutableDir());
  if (!hostExe) {
    FOwner.NVMMessage("ERROR", "Unable to use " + name +
                                   ": it is a Windows library, and gbp-host.exe, which serves "
                                   "it, is neither beside the program nor in its folder win32.");
    return false;
  }
  std::string error;
#if defined(_WIN32)
  const THostCommand command = MakeDirectHostCommand(*hostExe, FHostedFile);
#else
  const fs::path prefix = ToolWinePrefix();
  const auto wineCommand = MakeWineHostCommand(*hostExe, FHostedFile, {prefix, FComDevices}, error);
  if (!wineCommand) {
    if (error == kWineMissingText) {
      // Said once; until Wine is installed every opening fails quietly like a refused one.
      if (!FWineMissingTold) FOwner.NVMMessage("ERROR", kWineMissingText);
      FWineMissingTold = true;
    } else {
      FOwner.NVMMessage("ERROR", "Unable to use " + name + " through Wine: " + error);
    }
    return false;
  }
  const THostCommand& command = *wineCommand;
#endif
  if (Run([&] { return FHost->Start(command, &error) ? 0 : -1; }) != 0) {
    FOwner.NVMMessage("ERROR", "Unable to start gbp-host.exe for " + name + ": " + error);
    return false;
  }
#if !defined(_WIN32)
  // A prefix made by this start has its device folder only now.
  if (AnyDevice(FComDevices) && !MapComPorts(prefix, FComDevices, error))
    FOwner.NVMMessage("ERROR", "The serial ports could not be mapped for Wine: " + error);
#endif
  return true;
}

void TNVMSection::StopHost() {
  if (!FHost->Running()) return;
  Run([&] {
    FHost->Stop();
    return 0;
  });
}

void TNVMSection::AfterCall() {
  if (FHosted && !FHost->Running()) FPortOpen = false;
}

void TNVMSection::SetCTEMode(bool value) {
  FCTEMode = value;
  UnLoadGBP_DLL();
  LoadGBP_DLL();
}

void TNVMSection::Report(std::string_view entry, std::vector<std::int64_t> args, bool hasResult,
                         std::int32_t result) {
  if (FObserver) FObserver->OnLibraryCall(entry, args, hasResult, result);
}

bool TNVMSection::InitGBP() {
  if (FStopRequested) return false;
  if (FPortOpen) return true;
  FPortOpen = false;
  if (!FLoaded) {
    // No usable library: fail like an opening the telephone refused, without a call.
    FOwner.NVMMessage("ERROR", "Unable to open " + LibraryFileName());
    return false;
  }
  if (FHosted && !StartHost()) return false;
  const auto port = static_cast<std::uint8_t>(static_cast<std::uint8_t>(FCOMPort) + 1);
  const std::int32_t result =
      Run([&] { return FHosted ? FHost->InitGBPMode(port) : FInitGBPMode(port); });
  Report("InitGBPMode", {port}, true, result);
  if (result == 0) {
    FPortOpen = true;
    return true;
  }
  FOwner.NVMMessage("ERROR", GBPErrorText(result));
  return false;
}

void TNVMSection::EndGBP() {
  if (FLoaded) {
    // A host that is not running holds no connection, so there is nothing to end in it; the
    // call is still the tool's request, seen like any other.
    if (!FHosted)
      Run([&] { return FEndGBPMode(); });
    else if (FHost->Running())
      Run([&] { return FHost->EndGBPMode(); });
    Report("EndGBPMode", {}, false, 0);
  }
  FPortOpen = false;
}

bool TNVMSection::EnsureOpen() {
  return !FStopRequested && (FPortOpen || InitGBP());
}

std::int32_t TNVMSection::Read(void* buffer, std::uint32_t length) {
  if (!EnsureOpen()) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Run([&] {
    return FHosted ? FHost->ReadNVMFile(s, ss, buffer, length)
                   : FReadNVMFile(s, ss, buffer, length);
  });
  Report("ReadNVMFile", {s, ss, length}, true, r);
  AfterCall();
  return r;
}

std::int32_t TNVMSection::Write(const void* buffer, std::uint32_t length) {
  if (!EnsureOpen()) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Run([&] {
    return FHosted ? FHost->WriteNVMFile(s, ss, buffer, length)
                   : FWriteNVMFile(s, ss, buffer, length);
  });
  Report("WriteNVMFile", {s, ss, length}, true, r);
  AfterCall();
  return r;
}

std::int32_t TNVMSection::GetSize() {
  if (!EnsureOpen()) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r =
      Run([&] { return FHosted ? FHost->GetNVMFileSize(s, ss) : FGetNVMFileSize(s, ss); });
  Report("GetNVMFileSize", {s, ss}, true, r);
  AfterCall();
  return r;
}

std::int32_t TNVMSection::Clear() {
  if (!EnsureOpen()) return 0;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r =
      Run([&] { return FHosted ? FHost->ClearNVMFile(s, ss) : FClearNVMFile(s, ss); });
  Report("ClearNVMFile", {s, ss}, true, r);
  AfterCall();
  return r;
}

}  // namespace zub
