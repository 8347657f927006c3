// The telephone's timing as the core sees it, under the test's control: a clock that moves only
// when a device call does, calls that take as long as the test says, and a telephone that
// falls silent (every call from then on answers -5, each after two seconds), as a cable pulled
// mid-command would. It stands between the device component and the library, where the window
// puts its device thread, so every call passes it; the simulator answers underneath.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>

#include "base/SectionAddress.h"
#include "device/DeviceCallRunner.h"
#include "device/NVMSection.h"

namespace zub::test {

class TLinkTiming : public IDeviceCallRunner {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kSlow = std::chrono::seconds(2);
  static constexpr auto kQuick = std::chrono::milliseconds(1);

  // The component whose section the calls address; set once the core exists.
  TNVMSection* Nvm = nullptr;
  // Calls to these sections take kSlow (their answers stay the telephone's).
  std::set<TSectionAddress> Slow;
  // The first call to this section, and every call after it, answers -5 after kSlow.
  std::optional<TSectionAddress> SilentFrom;
  // Set by the test at any moment: every call from now on answers -5 after kSlow.
  bool Silent = false;
  // The first call to each of these answers -5 at once, whatever the telephone holds.
  std::set<TSectionAddress> NoneOnce;

  Clock::time_point Now() const { return now_; }
  std::function<Clock::time_point()> ClockFunction() {
    return [this] { return now_; };
  }

  std::int32_t Run(const std::function<std::int32_t()>& call) override {
    const std::optional<TSectionAddress> at =
        Nvm ? std::optional<TSectionAddress>({Nvm->Section(), Nvm->SubSection()}) : std::nullopt;
    if (at && SilentFrom && *at == *SilentFrom) Silent = true;
    const std::int32_t answer = call();
    if (Silent) {
      now_ += kSlow;
      return -5;
    }
    now_ += at && Slow.contains(*at) ? Clock::duration(kSlow) : Clock::duration(kQuick);
    if (at && NoneOnce.erase(*at)) return -5;
    return answer;
  }

 private:
  Clock::time_point now_{};
};

}  // namespace zub::test
