// TInProcessLibrary: a device library built for the tool's own platform, loaded into the
// process (TDeviceLibrary) and called directly. A call into it cannot be cut short: it runs
// until the library returns.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device/DeviceLibrary.h"
#include "device/GbpApi.h"
#include "device/GbpLibrary.h"

namespace zub {

class TInProcessLibrary : public IGbpLibrary {
 public:
  // Loads `fileName` (from `programDir` first) and resolves the six entry points, each under
  // any of its export names; nullptr when the library cannot be loaded or lacks any of them.
  // `missing` (when given) then lists the names of those it lacks, in entry-point order.
  static std::unique_ptr<TInProcessLibrary> Load(const std::string& fileName,
                                                 const std::filesystem::path& programDir,
                                                 std::vector<std::string>* missing = nullptr);

  bool Prepare(std::string&) override { return true; }
  std::int32_t InitGBPMode(std::uint8_t port) override { return After(FInitGBPMode(port)); }
  std::int32_t EndGBPMode() override { return After(FEndGBPMode()); }
  std::int32_t ReadNVMFile(std::uint8_t section, std::uint8_t subSection, void* buffer,
                           std::uint32_t length) override {
    return After(FReadNVMFile(section, subSection, buffer, length));
  }
  std::int32_t WriteNVMFile(std::uint8_t section, std::uint8_t subSection, const void* buffer,
                            std::uint32_t length) override {
    return After(FWriteNVMFile(section, subSection, buffer, length));
  }
  std::int32_t ClearNVMFile(std::uint8_t section, std::uint8_t subSection) override {
    return After(FClearNVMFile(section, subSection));
  }
  std::int32_t GetNVMFileSize(std::uint8_t section, std::uint8_t subSection) override {
    return After(FGetNVMFileSize(section, subSection));
  }
  bool LastCallLost() const override { return FLost; }

 private:
  // A -5 is a lost link when the library says so (the simulator can; other libraries give no
  // way to tell).
  std::int32_t After(std::int32_t result) {
    FLost = result == -5 && FLastCallLost && FLastCallLost() != 0;
    return result;
  }

  TDeviceLibrary FLibrary;
  gbp::InitGBPModeFn FInitGBPMode = nullptr;
  gbp::EndGBPModeFn FEndGBPMode = nullptr;
  gbp::ReadNVMFileFn FReadNVMFile = nullptr;
  gbp::WriteNVMFileFn FWriteNVMFile = nullptr;
  gbp::ClearNVMFileFn FClearNVMFile = nullptr;
  gbp::GetNVMFileSizeFn FGetNVMFileSize = nullptr;
  gbp::LastCallLostFn FLastCallLost = nullptr;  // optional
  bool FLost = false;
};

}  // namespace zub
