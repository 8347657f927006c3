// A device library loaded into the process (see InProcessLibrary.h).
#include "device/InProcessLibrary.h"

namespace zub {

std::unique_ptr<TInProcessLibrary> TInProcessLibrary::Load(
    const std::string& fileName, const std::filesystem::path& programDir) {
  auto lib = std::make_unique<TInProcessLibrary>();
  if (!lib->FLibrary.Load(fileName, programDir)) return nullptr;
  const TDeviceLibrary& l = lib->FLibrary;
  lib->FInitGBPMode = reinterpret_cast<gbp::InitGBPModeFn>(l.Symbol("InitGBPMode"));
  lib->FEndGBPMode = reinterpret_cast<gbp::EndGBPModeFn>(l.Symbol("EndGBPMode"));
  lib->FReadNVMFile = reinterpret_cast<gbp::ReadNVMFileFn>(l.Symbol("ReadNVMFile"));
  lib->FWriteNVMFile = reinterpret_cast<gbp::WriteNVMFileFn>(l.Symbol("WriteNVMFile"));
  lib->FClearNVMFile = reinterpret_cast<gbp::ClearNVMFileFn>(l.Symbol("ClearNVMFile"));
  lib->FGetNVMFileSize = reinterpret_cast<gbp::GetNVMFileSizeFn>(l.Symbol("GetNVMFileSize"));
  // A library that lacks any of the six is not used at all.
  if (!lib->FInitGBPMode || !lib->FEndGBPMode || !lib->FReadNVMFile || !lib->FWriteNVMFile ||
      !lib->FClearNVMFile || !lib->FGetNVMFileSize)
    return nullptr;
  return lib;
}

}  // namespace zub
