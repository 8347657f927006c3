// The serial devices the settings map COM1..COM4 to ([Device] COMn=/dev/ttyACM0): a value is
// checked before Wine or the library is started with it. Windows uses its own COM ports and
// never reads these keys.
#pragma once

#include <array>
#include <string>

namespace zub {

// What is wrong with `value` as the device of COM`port`, in one sentence for the user that
// names the key and the value: not an absolute path, names nothing (perhaps because a
// "; comment" was taken into it), not a character device. Empty when it is a character
// device, or is empty (no mapping).
std::string ComDeviceProblem(int port, const std::string& value);

// `devices` (COM1..COM4) with every entry that has a problem left empty.
std::array<std::string, 4> UsableComDevices(const std::array<std::string, 4>& devices);

}  // namespace zub
