#include "formats/Prg3Library.h"

#include "base/Bytes.h"
#include "base/Convert.h"
#include "base/TextLines.h"

namespace zub {

std::optional<std::int32_t> PRG3LineValue(std::string_view line) {
  if (line.find("RELEASE=") != std::string_view::npos) {
    // Only the single character after the first "=" counts: RELEASE=12 is release 1.
    const auto equals = line.find('=');
    return StrToInt(line.substr(equals + 1, 1));
  }
  const auto space = line.find(' ');
  if (space == std::string_view::npos || space == 0) return std::nullopt;
  const std::string_view token = line.substr(0, space);
  if (auto hex = TryHexToU32(token)) return static_cast<std::int32_t>(*hex);
  return TryStrToInt(token);
}

TPRG3Image BuildPRG3Image(std::string_view text) {
  TPRG3Image result;
  std::size_t words = 0;
  for (const auto& line : SplitLines(text)) {
    const auto value = PRG3LineValue(line);
    if (!value) continue;
    if (++words > PRG3MaxWords) {
      result.TooBig = true;
      continue;
    }
    const std::size_t at = result.Image.size();
    result.Image.resize(at + 4);
    store_u32le(result.Image, at, static_cast<std::uint32_t>(*value));
  }
  return result;
}

}  // namespace zub
