// The link model of the simulator: every call it charges costs kCallCostBytes, and a read or
// write the bytes it moved, at kBitsPerByte bits a byte. The time a command would take if the
// link were all that cost anything.
#pragma once

#include "support/SimTelephone.h"

namespace zub::bench {

inline double LinkModelSeconds(const test::CallLog& log, int baud) {
  constexpr double kBitsPerByte = ZUB_SIM_BITS_PER_BYTE;
  constexpr double kCallCostBytes = ZUB_SIM_CALL_COST_BYTES;
  double bytes = 0;
  for (const auto& c : log.Calls) {
    if (c.Entry == "EndGBPMode") continue;  // the simulator charges nothing for it
    bytes += kCallCostBytes;
    if (c.Entry == "ReadNVMFile" && c.Result > 0) bytes += c.Result;
    if (c.Entry == "WriteNVMFile" && c.Args.size() == 3) bytes += static_cast<double>(c.Args[2]);
  }
  return bytes * kBitsPerByte / baud;
}

}  // namespace zub::bench
