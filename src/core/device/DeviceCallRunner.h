// Where the device component runs each call into the device library or its host. The default
// runs the call inline on the calling thread; a front end may set one that keeps its window
// painted while the call is in flight. Whatever it does, it must run the calls one at a time,
// in the order given, and return each call's result.
#pragma once

#include <cstdint>
#include <functional>

namespace zub {

class IDeviceCallRunner {
 public:
  virtual ~IDeviceCallRunner() = default;
  virtual std::int32_t Run(const std::function<std::int32_t()>& call) = 0;
};

// Runs every call at once, on the calling thread.
class TInlineCallRunner : public IDeviceCallRunner {
 public:
  std::int32_t Run(const std::function<std::int32_t()>& call) override { return call(); }
};

}  // namespace zub
