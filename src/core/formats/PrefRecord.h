// The modification's preference record, the whole content of section 2-18. Every field is a
// single byte except the reserved word at the end; section numbers are stored as plain byte
// values (section 17 is the byte 17).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/Bytes.h"

namespace zub {

inline constexpr std::size_t kPrefRecordSize = 12;
inline constexpr std::int32_t kPrefSection = 2;
inline constexpr std::int32_t kPrefSubSection = 18;

// Byte offsets of the fields.
inline constexpr std::size_t kPrefSignatureAt = 0;  // 4 bytes, "ZUB2"
inline constexpr std::size_t kPrefMenuModeAt = 4;
inline constexpr std::size_t kPrefReservedAt = 5;
inline constexpr std::size_t kPrefLibSubSectionAt = 6;
inline constexpr std::size_t kPrefLibSectionAt = 7;
inline constexpr std::size_t kPrefAutorunSubSectionAt = 8;
inline constexpr std::size_t kPrefAutorunSectionAt = 9;
inline constexpr std::size_t kPrefReserved2At = 10;  // 2 bytes

// Menu show modes.
inline constexpr std::uint8_t kMenuOnlyPrograms = 3;
inline constexpr std::uint8_t kMenuProgsAndData = 7;
inline constexpr std::uint8_t kMenuShowAll = 255;

using TPrefBytes = std::array<std::uint8_t, kPrefRecordSize>;

struct TPrefRecord {
  std::array<std::uint8_t, 4> Signature{'Z', 'U', 'B', '2'};
  std::uint8_t MenuMode = 0;
  std::uint8_t Reserved = 0;
  std::uint8_t LibSubSection = 0;
  std::uint8_t LibSection = 0;         // 0: not set
  std::uint8_t AutorunSubSection = 0;  // 0: autorun off
  std::uint8_t AutorunSection = 0;
  std::uint16_t Reserved2 = 0;

  bool operator==(const TPrefRecord&) const = default;
};

TPrefBytes EncodePrefRecord(const TPrefRecord& record);
// Fields that do not lie wholly inside `bytes` read as 0.
TPrefRecord DecodePrefRecord(Bytes bytes);

// The radio item of RG1 for a menu mode: 3 -> 0, 7 -> 1, 255 -> 2; nothing for other values.
std::optional<int> RadioIndexOfMenuMode(std::uint8_t mode);
// The menu mode of a radio item: 0 -> 3, 1 -> 7, 2 -> 255; nothing when no item is selected.
std::optional<std::uint8_t> MenuModeOfRadioIndex(int index);

}  // namespace zub
