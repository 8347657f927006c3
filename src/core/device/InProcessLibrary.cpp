// A device library loaded into the process (see InProcessLibrary.h).
#include "device/InProcessLibrary.h"

namespace zub {

namespace {

// The entry point under the first of its names the library exports; nullptr when none.
template <typename Fn>
Fn Resolve(const TDeviceLibrary& library, const gbp::TExportNames& names) {
  void* found = nullptr;
  names.ForEach([&](const char* name) {
    if (!found) found = library.Symbol(name);
  });
  return reinterpret_cast<Fn>(found);
}

}  // namespace

std::unique_ptr<TInProcessLibrary> TInProcessLibrary::Load(const std::string& fileName,
                                                           const std::filesystem::path& programDir,
                                                           std::vector<std::string>* missing) {
  auto lib = std::make_unique<TInProcessLibrary>();
  if (!lib->FLibrary.Load(fileName, programDir)) return nullptr;
  const TDeviceLibrary& l = lib->FLibrary;
  const auto& n = gbp::kEntryNames;
  lib->FInitGBPMode = Resolve<gbp::InitGBPModeFn>(l, n[0]);
  lib->FEndGBPMode = Resolve<gbp::EndGBPModeFn>(l, n[1]);
  lib->FReadNVMFile = Resolve<gbp::ReadNVMFileFn>(l, n[2]);
  lib->FWriteNVMFile = Resolve<gbp::WriteNVMFileFn>(l, n[3]);
  lib->FClearNVMFile = Resolve<gbp::ClearNVMFileFn>(l, n[4]);
  lib->FGetNVMFileSize = Resolve<gbp::GetNVMFileSizeFn>(l, n[5]);
  lib->FLastCallLost = Resolve<gbp::LastCallLostFn>(l, gbp::kLastCallLostNames);
  // A library that lacks any of the six is not used at all.
  const bool found[gbp::kEntryCount] = {
      lib->FInitGBPMode != nullptr,  lib->FEndGBPMode != nullptr,
      lib->FReadNVMFile != nullptr,  lib->FWriteNVMFile != nullptr,
      lib->FClearNVMFile != nullptr, lib->FGetNVMFileSize != nullptr};
  bool all = true;
  for (int i = 0; i < gbp::kEntryCount; ++i) {
    if (found[i]) continue;
    all = false;
    if (missing) missing->push_back(n[i].plain);
  }
  if (!all) return nullptr;
  return lib;
}

}  // namespace zub
