// One program per port: from the opening of the connection to its end the tool holds a lock
// on the port, so a second program (another window, a zub run) is told who holds it instead
// of fighting over the cable.
//
// A serial device is locked the way Linux serial tools agree on: a UUCP lock file
// /var/lock/LCK..ttyACM0 holding the process id as ten ASCII characters and a newline; a lock
// left by a process that is gone is taken over. Where that folder cannot be written, a lock
// file of our own takes its place (an existing UUCP lock of a live process still counts). A
// library whose ports lead to no known device (the simulator) is locked by its file and port
// with a lock file of our own. Our own lock files live in $XDG_RUNTIME_DIR/zubmanager3 (or
// /tmp/zubmanager3-<uid>) and are held with flock, so the system frees them with their
// process. On Windows the open port is the lock, and nothing is done here.
#pragma once

#include <filesystem>
#include <string>

namespace zub {

struct TPortLockPlaces {
  std::filesystem::path uucpDir;  // the serial tools' shared lock folder
  std::filesystem::path ownDir;   // our own lock files
  // /var/lock; $XDG_RUNTIME_DIR/zubmanager3, or /tmp/zubmanager3-<uid> when it is unset.
  static TPortLockPlaces Default();
};

enum class TLockResult {
  Taken,        // held now
  InUse,        // another program (or another component of this one) holds it: Holder()
  Unavailable,  // no lock can be made here (no writable folder): nothing is held
};

class TPortLock {
 public:
  TPortLock() = default;
  ~TPortLock() { Release(); }
  TPortLock(const TPortLock&) = delete;
  TPortLock& operator=(const TPortLock&) = delete;

  // Locks the serial device `device` (named by the file name of the path it resolves to, so
  // a /dev/serial/by-id link and the device itself are one lock). Releases what was held.
  TLockResult LockDevice(const std::filesystem::path& device, const TPortLockPlaces& places);
  // Locks port `port` of the library file `library`. Releases what was held.
  TLockResult LockLibraryPort(const std::filesystem::path& library, int port,
                              const TPortLockPlaces& places);
  void Release();

  bool Held() const { return held_; }
  // The lock file held, or asked for when the lock was in use.
  const std::filesystem::path& File() const { return file_; }
  // The process that holds the lock after InUse; 0 when it cannot be told.
  long Holder() const { return holder_; }

 private:
  TLockResult TakeUucp(const std::filesystem::path& file);
  TLockResult TakeOwn(const std::filesystem::path& dir, const std::string& name);

  bool held_ = false;
  bool uucp_ = false;  // the file is a UUCP lock file (else ours, held by fd_)
  int fd_ = -1;
  std::filesystem::path file_;
  long holder_ = 0;
};

}  // namespace zub
