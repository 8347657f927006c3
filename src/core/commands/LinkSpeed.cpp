#include "commands/LinkSpeed.h"

namespace zub {

std::uint32_t LinkSpeed(TCoreState& m) {
  const int speed =
      m.Settings().ReadInteger("Device", "LinkSpeed", static_cast<int>(kDefaultLinkSpeed));
  return speed > 0 ? static_cast<std::uint32_t>(speed) : kDefaultLinkSpeed;
}

double TransferSeconds(std::uint64_t bytes, std::uint32_t bitsPerSecond) {
  if (bitsPerSecond == 0) bitsPerSecond = kDefaultLinkSpeed;
  return static_cast<double>(bytes) * 10.0 / bitsPerSecond;
}

}  // namespace zub
