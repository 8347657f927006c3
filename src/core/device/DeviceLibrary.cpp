#include "device/DeviceLibrary.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <system_error>

namespace zub {

TDeviceLibrary::~TDeviceLibrary() {
  Release();
}

#if defined(_WIN32)

bool TDeviceLibrary::Load(const std::string& fileName, const std::filesystem::path& programDir) {
  Release();
  // A library that cannot be loaded is answered here, never by a box of the system's.
  const UINT quiet = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
  DWORD before = 0;
  const bool modeSet = SetThreadErrorMode(quiet, &before) != 0;
  if (!programDir.empty()) {
    // The libraries it needs itself are looked for beside it first, as they ship with it.
    const std::wstring local = (programDir / std::filesystem::path(fileName)).wstring();
    handle_ = reinterpret_cast<void*>(
        LoadLibraryExW(local.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  }
  // The platform's own libraries only, by their whole path: Windows' search for a bare name
  // would also take a gbp.dll from the program's folder or the current one, or one loaded
  // already from anywhere, none of which is the folder the user chose.
  wchar_t system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (!handle_ && n > 0 && n < MAX_PATH) {
    const std::wstring file =
        (std::filesystem::path(std::wstring(system, n)) / std::filesystem::path(fileName))
            .wstring();
    handle_ = reinterpret_cast<void*>(
        LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  }
  if (modeSet) SetThreadErrorMode(before, nullptr);
  return handle_ != nullptr;
}

void TDeviceLibrary::Release() {
  if (handle_) FreeLibrary(reinterpret_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

void* TDeviceLibrary::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
}

std::filesystem::path ExecutablePath() {
  wchar_t buffer[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
  if (n == 0) return {};
  return std::filesystem::path(std::wstring(buffer, n));
}

#else

bool TDeviceLibrary::Load(const std::string& fileName, const std::filesystem::path& programDir) {
  Release();
  if (!programDir.empty()) {
    const auto local = (programDir / fileName).string();
    handle_ = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!handle_) handle_ = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  return handle_ != nullptr;
}

void TDeviceLibrary::Release() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

void* TDeviceLibrary::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return dlsym(handle_, name);
}

std::filesystem::path ExecutablePath() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return p;
}

#endif

std::filesystem::path ExecutableDir() {
  auto p = ExecutablePath();
  return p.empty() ? p : p.parent_path();
}

}  // namespace zub
