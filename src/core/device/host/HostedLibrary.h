// THostedLibrary: the bridge to a 32-bit Windows device library served by gbp-host.exe, run
// through Wine on Linux and directly on Windows. The host starts at the first InitGBPMode
// (Prepare) and lives until the bridge goes, so Wine starts once; its calls answer what the
// library answered.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "device/GbpLibrary.h"
#include "device/host/HostChannel.h"
#include "device/host/HostContext.h"
#include "device/host/PeFile.h"

namespace zub {

class THostedLibrary : public IGbpLibrary {
 public:
  // For `file`, a Windows library named `fileName` beside the program in `programDir`; nullptr
  // when its export table lacks one of the six entry points (no host is started to learn it).
  static std::unique_ptr<THostedLibrary> Load(const std::filesystem::path& file, const TPeFile& pe,
                                              std::string fileName,
                                              std::filesystem::path programDir,
                                              THostContext& context);
  ~THostedLibrary() override;

  bool Prepare(std::string& message) override;
  std::int32_t InitGBPMode(std::uint8_t port) override { return FHost.InitGBPMode(port); }
  // A host that is not running holds no connection: there is nothing to end in it.
  std::int32_t EndGBPMode() override { return FHost.Running() ? FHost.EndGBPMode() : 0; }
  std::int32_t ReadNVMFile(std::uint8_t section, std::uint8_t subSection, void* buffer,
                           std::uint32_t length) override {
    return FHost.ReadNVMFile(section, subSection, buffer, length);
  }
  std::int32_t WriteNVMFile(std::uint8_t section, std::uint8_t subSection, const void* buffer,
                            std::uint32_t length) override {
    return FHost.WriteNVMFile(section, subSection, buffer, length);
  }
  std::int32_t ClearNVMFile(std::uint8_t section, std::uint8_t subSection) override {
    return FHost.ClearNVMFile(section, subSection);
  }
  std::int32_t GetNVMFileSize(std::uint8_t section, std::uint8_t subSection) override {
    return FHost.GetNVMFileSize(section, subSection);
  }
  // A host that went away during a call took the connection with it.
  bool LastCallLost() const override { return !FHost.Running(); }

  // Ends the host (it ends the library's connection first when it holds one).
  void Stop() { FHost.Stop(); }
  // The process id of the running host; 0 when none runs.
  long HostProcessId() const { return FHost.ChildId(); }

 private:
  THostedLibrary(std::filesystem::path file, std::string fileName, std::filesystem::path programDir,
                 THostContext& context);

  std::filesystem::path FFile;
  std::string FFileName;
  std::filesystem::path FProgramDir;
  THostContext& FContext;
  THostChannel FHost;
};

}  // namespace zub
