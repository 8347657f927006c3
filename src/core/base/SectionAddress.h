// A section address S-SS: the section number and the sub-section number, written in signed
// decimal with a dash (section 2, sub-section 18 is "2-18") in every message, file name and
// list. The numbers are kept as the catalogue gives them; only their low 8 bits reach the
// telephone. Text from a user or a file is parsed strictly: two plain decimal numbers 0..255.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zub {

struct TSectionAddress {
  std::int32_t Section = 0;
  std::int32_t SubSection = 0;

  // "S-SS", both numbers in signed decimal without leading zeros.
  std::string Text() const;
  // The section the telephone sees: the low 8 bits of each number.
  TSectionAddress OnTelephone() const { return {Section & 255, SubSection & 255}; }

  friend auto operator<=>(const TSectionAddress&, const TSectionAddress&) = default;
};

// "2-18" -> {2, 18}; nullopt unless both numbers are plain decimal 0..255.
std::optional<TSectionAddress> ParseSectionAddress(std::string_view text);

}  // namespace zub
