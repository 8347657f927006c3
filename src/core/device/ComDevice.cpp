// The check of the settings' serial devices (see ComDevice.h).
#include "device/ComDevice.h"

#include <filesystem>
#include <system_error>

namespace zub {

namespace {

#if !defined(_WIN32)
// A "; comment" after the path: the profile file keeps everything after '=' in the value.
bool LooksLikeComment(const std::string& value) {
  const auto semicolon = value.find(';');
  return semicolon != std::string::npos && semicolon > 0 &&
         (value[semicolon - 1] == ' ' || value[semicolon - 1] == '\t');
}
#endif

}  // namespace

std::string ComDeviceProblem(int port, const std::string& value) {
#if defined(_WIN32)
  (void)port;
  (void)value;
  return {};
#else
  namespace fs = std::filesystem;
  if (value.empty()) return {};
  const std::string setting = "The setting [Device] COM" + std::to_string(port) + "=" + value;
  if (!fs::path(value).is_absolute())
    return setting +
           " is not an absolute path: give the serial device's whole path, e.g. /dev/ttyACM0.";
  std::error_code ec;
  const fs::file_status status = fs::status(value, ec);
  if (!fs::exists(status)) {
    if (LooksLikeComment(value))
      return setting +
             " names no device: the value seems to carry a comment, and everything after '=' "
             "belongs to the path. Put the comment on a line of its own.";
    return setting +
           " names no device: plug the cable in, or correct the path (ls -l /dev/serial/by-id/ "
           "lists the serial devices).";
  }
  if (!fs::is_character_file(status))
    return setting + " is not a character device; a serial port is one (e.g. /dev/ttyACM0).";
  return {};
#endif
}

std::array<std::string, 4> UsableComDevices(const std::array<std::string, 4>& devices) {
  std::array<std::string, 4> usable;
  for (std::size_t i = 0; i < devices.size(); ++i)
    if (ComDeviceProblem(static_cast<int>(i) + 1, devices[i]).empty()) usable[i] = devices[i];
  return usable;
}

}  // namespace zub
