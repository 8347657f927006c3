// The speed of the link to the telephone, for the time a transfer is expected to take. The
// device library does not tell it; [Device] LinkSpeed= of the settings (bit/s) says what the
// cable runs at, 115,200 bit/s unless set. A byte takes 10 bits on a serial line.
#pragma once

#include <cstdint>

#include "commands/CoreState.h"

namespace zub {

inline constexpr std::uint32_t kDefaultLinkSpeed = 115200;

// [Device] LinkSpeed of the settings; the default for a value that is no positive number.
std::uint32_t LinkSpeed(TCoreState& m);

// The seconds `bytes` take on a link of `bitsPerSecond`.
double TransferSeconds(std::uint64_t bytes, std::uint32_t bitsPerSecond);

}  // namespace zub
