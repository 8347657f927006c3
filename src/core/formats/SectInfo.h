// One catalogued section as a row of the grid. The catalogue creates it, the scan fills the
// content fields, the grid and every section command read it.
#pragma once

#include <cstdint>
#include <string>

#include "base/SectionAddress.h"

namespace zub {

enum TSectKind : std::int32_t {
  skEmpty = 0,
  skProgram = 1,
  skGIF = 3,
  skData = 4,
};

struct TSectInfo {
  std::int32_t Section = 0;
  std::int32_t SubSection = 0;
  TSectKind Kind = skEmpty;
  std::string Title;  // UTF-8, decoded from the telephone's bytes by the scan
  std::uint32_t Format = 0;
  std::int32_t Size = 0;
  std::int32_t Compression = 0;
  std::int32_t UnpackedSize = 0;
  std::int32_t Icon = -1;
  std::uint16_t MaxSize = 0;
  std::string Description;

  TSectionAddress Address() const { return {Section, SubSection}; }
};

}  // namespace zub
