#include "device/NVMSection.h"

#include <utility>

namespace zub {

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

TNVMSection::TNVMSection(INVMOwner& owner, std::filesystem::path programDir,
                         INVMObserver* observer)
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
  FLoaded = false;
  if (FLibrary.Load(name, FProgramDir)) {
    FInitGBPMode = reinterpret_cast<gbp::InitGBPModeFn>(FLibrary.Symbol("InitGBPMode"));
    FEndGBPMode = reinterpret_cast<gbp::EndGBPModeFn>(FLibrary.Symbol("EndGBPMode"));
    FReadNVMFile = reinterpret_cast<gbp::ReadNVMFileFn>(FLibrary.Symbol("ReadNVMFile"));
    FWriteNVMFile = reinterpret_cast<gbp::WriteNVMFileFn>(FLibrary.Symbol("WriteNVMFile"));
    FClearNVMFile = reinterpret_cast<gbp::ClearNVMFileFn>(FLibrary.Symbol("ClearNVMFile"));
    FGetNVMFileSize = reinterpret_cast<gbp::GetNVMFileSizeFn>(FLibrary.Symbol("GetNVMFileSize"));
    FLoaded = FInitGBPMode && FEndGBPMode && FReadNVMFile;
  }
  // Addresses of a library that could not be used must never be called.
  if (!FLoaded) ForgetEntryPoints();
  if (FObserver) FObserver->OnLibraryLoad(name, FLoaded);
  if (!FLoaded) FOwner.NVMMessage("ERROR", "Unable to open " + name);
  return FLoaded;
}

void TNVMSection::UnLoadGBP_DLL() {
  FLibrary.Release();
  FLoaded = false;
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

void TNVMSection::SetCTEMode(bool value) {
  FCTEMode = value;
  UnLoadGBP_DLL();
  LoadGBP_DLL();
}

void TNVMSection::Report(std::string_view entry, std::vector<std::int64_t> args, bool hasResult,
                         std::int32_t result) {
  if (FObserver) FObserver->OnLibraryCall(entry, args, hasResult, result);
}

std::int32_t TNVMSection::Call(const std::function<std::int32_t()>& call) {
  return FRunner ? FRunner->Run(call) : call();
}

bool TNVMSection::InitGBP() {
  if (FPortOpen) return true;
  FPortOpen = false;
  std::int32_t result = -1;
  const auto port = static_cast<std::uint8_t>(static_cast<std::uint8_t>(FCOMPort) + 1);
  if (FLoaded && FInitGBPMode) {
    result = Call([this, port] { return FInitGBPMode(port); });
    Report("InitGBPMode", {port}, true, result);
  } else {
    // No usable library: fail like an opening the telephone refused, without a call.
    FOwner.NVMMessage("ERROR", "Unable to open " + LibraryFileName());
    return false;
  }
  if (result == 0) {
    FPortOpen = true;
    return true;
  }
  FOwner.NVMMessage("ERROR", GBPErrorText(result));
  return false;
}

void TNVMSection::EndGBP() {
  if (FLoaded && FEndGBPMode) {
    Call([this] {
      FEndGBPMode();
      return 0;
    });
    Report("EndGBPMode", {}, false, 0);
  }
  FPortOpen = false;
}

bool TNVMSection::EnsureOpen(const void* entry) {
  // A missing entry point fails before anything reaches the library, the opening included.
  if (entry == nullptr) {
    FOwner.NVMMessage("ERROR", "Unable to open " + LibraryFileName());
    return false;
  }
  return FPortOpen || InitGBP();
}

std::int32_t TNVMSection::Read(void* buffer, std::uint32_t length) {
  if (!EnsureOpen(reinterpret_cast<const void*>(FReadNVMFile))) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Call([&] { return FReadNVMFile(s, ss, buffer, length); });
  Report("ReadNVMFile", {s, ss, length}, true, r);
  return r;
}

std::int32_t TNVMSection::Write(const void* buffer, std::uint32_t length) {
  if (!EnsureOpen(reinterpret_cast<const void*>(FWriteNVMFile))) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Call([&] { return FWriteNVMFile(s, ss, buffer, length); });
  Report("WriteNVMFile", {s, ss, length}, true, r);
  return r;
}

std::int32_t TNVMSection::GetSize() {
  if (!EnsureOpen(reinterpret_cast<const void*>(FGetNVMFileSize))) return -1;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Call([&] { return FGetNVMFileSize(s, ss); });
  Report("GetNVMFileSize", {s, ss}, true, r);
  return r;
}

std::int32_t TNVMSection::Clear() {
  if (!EnsureOpen(reinterpret_cast<const void*>(FClearNVMFile))) return 0;
  const auto s = static_cast<std::uint8_t>(FSection), ss = static_cast<std::uint8_t>(FSubSection);
  const std::int32_t r = Call([&] { return FClearNVMFile(s, ss); });
  Report("ClearNVMFile", {s, ss}, true, r);
  return r;
}

}  // namespace zub
