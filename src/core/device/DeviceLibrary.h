// A loaded shared library, released with its owner: dlopen/dlsym on POSIX systems,
// LoadLibraryExW/GetProcAddress on Windows (paths through the wide API, so any file name).
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

  // Loads `fileName` (a bare name) from `programDir` first, then from the platform's own
  // libraries (POSIX: the loader's search path; Windows: System32, never the program's or
  // the current folder). Releases any library held before. Returns whether a library is held.
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
