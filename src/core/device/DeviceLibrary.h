// A loaded shared library, released with its owner. The only platform-specific code of the
// tool: dlopen/dlsym on POSIX systems, LoadLibrary/GetProcAddress on Windows.
#pragma once

#include <filesystem>
#include <string>

namespace zub {

class TDeviceLibrary {
 public:
  TDeviceLibrary() = default;
  ~TDeviceLibrary();
  TDeviceLibrary(const TDeviceLibrary&) = delete;
  TDeviceLibrary& operator=(const TDeviceLibrary&) = delete;

  // Loads `fileName` (a bare name) from `programDir` first, then through the platform's own
  // library search. Releases any library held before. Returns whether a library is held.
  bool Load(const std::string& fileName, const std::filesystem::path& programDir);
  void Release();
  bool Loaded() const { return handle_ != nullptr; }
  void* Symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
};

// The folder of the running executable (empty when it cannot be found).
std::filesystem::path ExecutableDir();
// The path of the running executable (empty when it cannot be found).
std::filesystem::path ExecutablePath();

}  // namespace zub
