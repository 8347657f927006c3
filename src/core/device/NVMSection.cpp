#include "device/NVMSection.h"

#include <utility>

#include "device/ComDevice.h"
#include "device/InProcessLibrary.h"
#include "device/host/HostedLibrary.h"
#include "device/host/PeFile.h"
#include "device/host/WineHost.h"

namespace zub {

namespace fs = std::filesystem;

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
    case -1:
      return "GBP Error: Port already opened!";
    case -2:
      return "GBP Error: Can't open port!";
    case -3:
      return "GBP Error: No AT response!";
    case -4:
      return "GBP Error: Port must be opened!";
    case -5:
      return "GBP Error: COMM Error!";
    case -6:
      return "GBP Error: No Memory!";
    case -7:
      return "GBP Error: Invalid arguments!";
    default:
      return "GBP Error: Unknown error #" + std::to_string(code) + "!";
  }
}

TNVMSection::TNVMSection(INVMOwner& owner, std::vector<std::filesystem::path> libraryDirs,
                         INVMObserver* observer)
    : FOwner(owner), FLibraryDirs(std::move(libraryDirs)), FObserver(observer) {
  LoadGBP_DLL();
  FPortOpen = false;
}

TNVMSection::~TNVMSection() {
  EndGBP();
  UnLoadGBP_DLL();
}

fs::path TNVMSection::LibraryDir() const {
  const std::string name = LibraryFileName();
  for (const fs::path& dir : FLibraryDirs) {
    std::error_code ec;
    if (fs::is_regular_file(dir / name, ec)) return dir;
  }
  return FLibraryDirs.empty() ? fs::path() : FLibraryDirs.front();
}

bool TNVMSection::LoadGBP_DLL() {
  const std::string name = LibraryFileName();
  UnLoadGBP_DLL();
  // A Windows library beside the program that this build cannot load itself goes to the host;
  // everything else takes the platform's loader, as the program's own libraries do.
  const fs::path dir = LibraryDir();
  const fs::path file = dir / name;
  std::error_code ec;
  const TPeFile pe = fs::is_regular_file(file, ec) ? ReadPeFile(file) : TPeFile{};
  std::vector<std::string> missing;
  if (NeedsHost(pe)) {
    auto bridge = THostedLibrary::Load(file, pe, name, FLibraryDirs, FHostContext, &missing);
    FBridge = bridge.get();
    FLibrary = std::move(bridge);
  } else {
    FLibrary = TInProcessLibrary::Load(name, dir, &missing);
  }
  FLoaded = FLibrary != nullptr;
  FLoadFailure.clear();
  if (!FLoaded) {
    // A library that lacks entry points says which, apart from one that is missing or is no
    // library at all.
    FLoadFailure = "Unable to open " + name;
    for (std::size_t i = 0; i < missing.size(); ++i)
      FLoadFailure += (i ? ", " : "\n" + name + " lacks ") + missing[i];
  }
  if (FObserver) FObserver->OnLibraryLoad(name, FLoaded);
  if (!FLoaded) FOwner.NVMMessage("ERROR", FLoadFailure);
  return FLoaded;
}

void TNVMSection::UnLoadGBP_DLL() {
  if (FBridge && FBridge->HostProcessId() != 0)
    Run([&] {
      FBridge->Stop();
      return 0;
    });
  FBridge = nullptr;
  FLibrary.reset();
  FLoaded = false;
}

void TNVMSection::StartHostEarly() {
  if (!FBridge || FStopRequested) return;
  Run([&] {
    FBridge->StartEarly();
    return 0;
  });
}

long TNVMSection::HostProcessId() const {
  return FBridge ? FBridge->HostProcessId() : 0;
}

void TNVMSection::AbortCall() noexcept {
  AbortHostedCall();
}

void TNVMSection::AfterCall() {
  FLinkLost = FLibrary->LastCallLost();
  if (FLinkLost) FPortOpen = false;
}

bool TNVMSection::LockPort(std::uint8_t port) {
  const std::string& device = FHostContext.comDevices[port - 1u];
  if (const std::string problem = ComDeviceProblem(port, device); !problem.empty()) {
    FOwner.NVMMessage("ERROR", problem);
    return false;
  }
  const fs::path library = fs::absolute(LibraryDir() / LibraryFileName());
  const std::string wanted =
      device.empty() ? library.string() + "\n" + std::to_string(port) : device;
  if (FPortLock.Held() && FLockedPort == wanted) return true;
  FLockedPort = wanted;
  const TLockResult result = device.empty() ? FPortLock.LockLibraryPort(library, port, FLockPlaces)
                                            : FPortLock.LockDevice(device, FLockPlaces);
  // Where no lock can be made at all, the opening goes on unguarded rather than never.
  if (result != TLockResult::InUse) return true;
  const std::string holder =
      FPortLock.Holder() > 0 ? " (process " + std::to_string(FPortLock.Holder()) + ")" : "";
  FOwner.NVMMessage(
      "ERROR", "COM" + std::to_string(port) + " (" + (device.empty() ? library.string() : device) +
                   ") is in use by another program" + holder + "; close it and try again.");
  return false;
}

void TNVMSection::ReleasePort() {
  FPortLock.Release();
  FLockedPort.clear();
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
  FLinkLost = false;
  if (!FLoaded) {
    // No usable library: fail like an opening the telephone refused, without a call.
    FOwner.NVMMessage("ERROR",
                      FLoadFailure.empty() ? "Unable to open " + LibraryFileName() : FLoadFailure);
    return false;
  }
  const auto port = static_cast<std::uint8_t>(static_cast<std::uint8_t>(FCOMPort) + 1);
  // The port is ours from before the opening to EndGBP: a program that finds it taken
  // touches nothing.
  if (!LockPort(port)) return false;
  // A host that is not ready after a moment (Wine setting up a new prefix) is a wait the user
  // hears of before it goes on.
  if (FBridge && !FBridge->HostReady() &&
      Run([&] { return FBridge->StillStarting(kHostNoticeAfter) ? 1 : 0; }) == 1)
    FOwner.NVMWaiting(kHostStartingText);
  // The host's start and the opening run as one call.
  std::string message;
  bool ready = false;
  const std::int32_t result = Run([&] {
    ready = FLibrary->Prepare(message);
    return ready ? FLibrary->InitGBPMode(port) : 0;
  });
  if (!message.empty()) FOwner.NVMMessage("ERROR", message);
  if (!ready) {
    ReleasePort();
    return false;
  }
  Report("InitGBPMode", {port}, true, result);
  AfterCall();
  if (result == 0) {
    FPortOpen = true;
    return true;
  }
  ReleasePort();
  FOwner.NVMMessage("ERROR", GBPErrorText(result));
  return false;
}

void TNVMSection::EndGBP() {
  FLinkLost = false;
  if (FLoaded) {
    Run([&] { return FLibrary->EndGBPMode(); });
    Report("EndGBPMode", {}, false, 0);
    FLinkLost = FLibrary->LastCallLost();
  }
  FPortOpen = false;
  ReleasePort();
}

bool TNVMSection::EnsureOpen() {
  return !FStopRequested && (FPortOpen || InitGBP());
}

std::int32_t TNVMSection::Read(void* buffer, std::uint32_t length) {
  FLinkLost = false;
  if (!EnsureOpen()) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Run([&] { return FLibrary->ReadNVMFile(s, ss, buffer, length); });
  Report("ReadNVMFile", {s, ss, length}, true, r);
  AfterCall();
  return r;
}

std::int32_t TNVMSection::Write(const void* buffer, std::uint32_t length) {
  FLinkLost = false;
  if (!EnsureOpen()) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Run([&] { return FLibrary->WriteNVMFile(s, ss, buffer, length); });
  Report("WriteNVMFile", {s, ss, length}, true, r);
  AfterCall();
  return r;
}

std::int32_t TNVMSection::GetSize() {
  FLinkLost = false;
  if (!EnsureOpen()) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Run([&] { return FLibrary->GetNVMFileSize(s, ss); });
  Report("GetNVMFileSize", {s, ss}, true, r);
  AfterCall();
  return r;
}

std::int32_t TNVMSection::Clear() {
  FLinkLost = false;
  if (!EnsureOpen()) return 0;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Run([&] { return FLibrary->ClearNVMFile(s, ss); });
  Report("ClearNVMFile", {s, ss}, true, r);
  AfterCall();
  return r;
}

}  // namespace zub
