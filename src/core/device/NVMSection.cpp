#include "device/NVMSection.h"

#include <utility>

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

TNVMSection::TNVMSection(INVMOwner& owner, std::filesystem::path programDir, INVMObserver* observer)
    : FOwner(owner), FProgramDir(std::move(programDir)), FObserver(observer) {
  LoadGBP_DLL();
  FPortOpen = false;
}

TNVMSection::~TNVMSection() {
  EndGBP();
  UnLoadGBP_DLL();
}

bool TNVMSection::LoadGBP_DLL() {
  const std::string name = LibraryFileName();
  UnLoadGBP_DLL();
  // A Windows library beside the program that this build cannot load itself goes to the host;
  // everything else takes the platform's loader, as the program's own libraries do.
  const fs::path file = FProgramDir / name;
  std::error_code ec;
  const TPeFile pe = fs::is_regular_file(file, ec) ? ReadPeFile(file) : TPeFile{};
  if (NeedsHost(pe)) {
    auto bridge = THostedLibrary::Load(file, pe, name, FProgramDir, FHostContext);
    FBridge = bridge.get();
    FLibrary = std::move(bridge);
  } else {
    FLibrary = TInProcessLibrary::Load(name, FProgramDir);
  }
  FLoaded = FLibrary != nullptr;
  if (FObserver) FObserver->OnLibraryLoad(name, FLoaded);
  if (!FLoaded) FOwner.NVMMessage("ERROR", "Unable to open " + name);
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

long TNVMSection::HostProcessId() const {
  return FBridge ? FBridge->HostProcessId() : 0;
}

void TNVMSection::AfterCall() {
  if (FLibrary->LastCallLost()) FPortOpen = false;
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
  if (FPortOpen) return true;
  FPortOpen = false;
  if (!FLoaded) {
    // No usable library: fail like an opening the telephone refused, without a call.
    FOwner.NVMMessage("ERROR", "Unable to open " + LibraryFileName());
    return false;
  }
  const auto port = static_cast<std::uint8_t>(static_cast<std::uint8_t>(FCOMPort) + 1);
  // The host's start and the opening run as one call.
  std::string message;
  bool ready = false;
  const std::int32_t result = Run([&] {
    ready = FLibrary->Prepare(message);
    return ready ? FLibrary->InitGBPMode(port) : 0;
  });
  if (!message.empty()) FOwner.NVMMessage("ERROR", message);
  if (!ready) return false;
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
    Run([&] { return FLibrary->EndGBPMode(); });
    Report("EndGBPMode", {}, false, 0);
  }
  FPortOpen = false;
}

bool TNVMSection::EnsureOpen() {
  return FPortOpen || InitGBP();
}

std::int32_t TNVMSection::Read(void* buffer, std::uint32_t length) {
  if (!EnsureOpen()) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Run([&] { return FLibrary->ReadNVMFile(s, ss, buffer, length); });
  Report("ReadNVMFile", {s, ss, length}, true, r);
  AfterCall();
  return r;
}

std::int32_t TNVMSection::Write(const void* buffer, std::uint32_t length) {
  if (!EnsureOpen()) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Run([&] { return FLibrary->WriteNVMFile(s, ss, buffer, length); });
  Report("WriteNVMFile", {s, ss, length}, true, r);
  AfterCall();
  return r;
}

std::int32_t TNVMSection::GetSize() {
  if (!EnsureOpen()) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Run([&] { return FLibrary->GetNVMFileSize(s, ss); });
  Report("GetNVMFileSize", {s, ss}, true, r);
  AfterCall();
  return r;
}

std::int32_t TNVMSection::Clear() {
  if (!EnsureOpen()) return 0;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Run([&] { return FLibrary->ClearNVMFile(s, ss); });
  Report("ClearNVMFile", {s, ss}, true, r);
  AfterCall();
  return r;
}

}  // namespace zub
