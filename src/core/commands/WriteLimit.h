// How many bytes a write may put into a section: no more than the catalogue's maximum for it
// (its MaxSize, when the catalogue lists the section with one) and no more than the largest
// image the window's uploads write. A larger write may fill memory the telephone keeps for
// the sections after it; the command line writes one only when told to (zub write --force).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "base/SectionAddress.h"
#include "commands/CoreState.h"

namespace zub {

struct TWriteLimit {
  std::size_t Bytes = 0;           // the most a write may hold
  std::size_t UploadLimit = 0;     // the window's upload limit (kMaxUploadSize)
  std::optional<std::size_t> Max;  // the catalogue's MaxSize for the section, when it has one
};

// The limit for section `a` with the catalogue as it is loaded now.
TWriteLimit WriteLimitFor(const TCoreState& m, TSectionAddress a);

// Nullopt when `size` bytes fit into section `a`; otherwise the sentence that says why not,
// naming both sizes: "40000 bytes are more than section 2-8 takes: the catalogue's maximum
// for it is 2048 bytes".
std::optional<std::string> WriteTooLarge(const TCoreState& m, TSectionAddress a, std::size_t size);

}  // namespace zub
