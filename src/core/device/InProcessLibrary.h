// TInProcessLibrary: a device library built for the tool's own platform, loaded into the
// process (TDeviceLibrary) and called directly.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "device/DeviceLibrary.h"
#include "device/GbpApi.h"
#include "device/GbpLibrary.h"

namespace zub {

class TInProcessLibrary : public IGbpLibrary {
 public:
  // Loads `fileName` (from `programDir` first) and resolves the six entry points; nullptr when
  // the library cannot be loaded or lacks any of them.
  static std::unique_ptr<TInProcessLibrary> Load(const std::string& fileName,
                                                 const std::filesystem::path& programDir);

  bool Prepare(std::string&) override { return true; }
  std::int32_t InitGBPMode(std::uint8_t port) override { return FInitGBPMode(port); }
  std::int32_t EndGBPMode() override { return FEndGBPMode(); }
  std::int32_t ReadNVMFile(std::uint8_t section, std::uint8_t subSection, void* buffer,
                           std::uint32_t length) override {
    return FReadNVMFile(section, subSection, buffer, length);
  }
  std::int32_t WriteNVMFile(std::uint8_t section, std::uint8_t subSection, const void* buffer,
                            std::uint32_t length) override {
    return FWriteNVMFile(section, subSection, buffer, length);
  }
  std::int32_t ClearNVMFile(std::uint8_t section, std::uint8_t subSection) override {
    return FClearNVMFile(section, subSection);
  }
  std::int32_t GetNVMFileSize(std::uint8_t section, std::uint8_t subSection) override {
    return FGetNVMFileSize(section, subSection);
  }
  bool LastCallLost() const override { return false; }

 private:
  TDeviceLibrary FLibrary;
  gbp::InitGBPModeFn FInitGBPMode = nullptr;
  gbp::EndGBPModeFn FEndGBPMode = nullptr;
  gbp::ReadNVMFileFn FReadNVMFile = nullptr;
  gbp::WriteNVMFileFn FWriteNVMFile = nullptr;
  gbp::ClearNVMFileFn FClearNVMFile = nullptr;
  gbp::GetNVMFileSizeFn FGetNVMFileSize = nullptr;
};

}  // namespace zub
