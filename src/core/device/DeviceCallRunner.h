// How the device component runs one call into the device library (or the host): the front end
// may run it elsewhere and keep its window alive meanwhile. The default runs it at once on the
// calling thread.
#pragma once

#include <cstdint>
#include <functional>

namespace zub {

class IDeviceCallRunner {
 public:
  virtual ~IDeviceCallRunner() = default;
  // Runs `call` once and returns its result; returns only when the call has ended.
  virtual std::int32_t Run(const std::function<std::int32_t()>& call) = 0;
};

}  // namespace zub
