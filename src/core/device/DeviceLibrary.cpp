#include "device/DeviceLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <system_error>

namespace zub {

TDeviceLibrary::~TDeviceLibrary() { Release(); }

#if defined(_WIN32)

bool TDeviceLibrary::Load(const std::string& fileName, const std::filesystem::path& programDir) {
  Release();
  if (!programDir.empty()) {
    const auto local = (programDir / fileName).wstring();
    handle_ = reinterpret_cast<void*>(LoadLibraryW(local.c_str()));
  }
  if (!handle_) handle_ = reinterpret_cast<void*>(LoadLibraryA(fileName.c_str()));
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
