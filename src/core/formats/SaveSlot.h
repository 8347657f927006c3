// One save item of a save-slot store, as the most recent parse found it.
#pragma once

#include <cstdint>

namespace zub {

struct TSaveSlot {
  std::int32_t Offset = 0;  // offset of the item's data (its record + 4) in the parsed buffer
  std::uint16_t Size = 0;   // the item's data length
  bool Selected = true;     // the item's check mark in the selection dialog
};

}  // namespace zub
