// Port locks on Windows (see PortLock.h): the port a library opens cannot be opened again by
// another program, so the open port is the lock and nothing is kept here.
#include "device/PortLock.h"

namespace zub {

TPortLockPlaces TPortLockPlaces::Default() {
  return {};
}

TLockResult TPortLock::LockDevice(const std::filesystem::path&, const TPortLockPlaces&) {
  held_ = true;
  return TLockResult::Taken;
}

TLockResult TPortLock::LockLibraryPort(const std::filesystem::path&, int, const TPortLockPlaces&) {
  held_ = true;
  return TLockResult::Taken;
}

void TPortLock::Release() {
  held_ = false;
}

}  // namespace zub
