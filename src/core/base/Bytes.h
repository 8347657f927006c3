// Little-endian field access on untrusted byte ranges. Every read and write checks its
// bounds; a field that does not lie wholly inside the range is absent (reads) or untouched
// (writes). Values are built with shifts, so the host's byte order plays no part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zub {

using Bytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

constexpr bool FitsAt(std::size_t size, std::size_t offset, std::size_t width) {
  return offset <= size && width <= size - offset;
}

inline std::optional<std::uint16_t> load_u16le(Bytes b, std::size_t offset) {
  if (!FitsAt(b.size(), offset, 2)) return std::nullopt;
  return static_cast<std::uint16_t>(b[offset] | (b[offset + 1] << 8));
}

inline std::optional<std::uint32_t> load_u32le(Bytes b, std::size_t offset) {
  if (!FitsAt(b.size(), offset, 4)) return std::nullopt;
  return static_cast<std::uint32_t>(b[offset]) | (static_cast<std::uint32_t>(b[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(b[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(b[offset + 3]) << 24);
}

// The value at offset, or 0 when the field does not lie wholly inside the range.
inline std::uint32_t u32le_or0(Bytes b, std::size_t offset) {
  return load_u32le(b, offset).value_or(0);
}

inline bool store_u16le(MutableBytes b, std::size_t offset, std::uint16_t v) {
  if (!FitsAt(b.size(), offset, 2)) return false;
  b[offset] = static_cast<std::uint8_t>(v);
  b[offset + 1] = static_cast<std::uint8_t>(v >> 8);
  return true;
}

inline bool store_u32le(MutableBytes b, std::size_t offset, std::uint32_t v) {
  if (!FitsAt(b.size(), offset, 4)) return false;
  b[offset] = static_cast<std::uint8_t>(v);
  b[offset + 1] = static_cast<std::uint8_t>(v >> 8);
  b[offset + 2] = static_cast<std::uint8_t>(v >> 16);
  b[offset + 3] = static_cast<std::uint8_t>(v >> 24);
  return true;
}

// An 8-bit text field of at most `width` bytes at offset: it ends at the first zero byte or
// after `width` bytes, and is cut where the range ends.
inline std::string load_text(Bytes b, std::size_t offset, std::size_t width) {
  std::string out;
  for (std::size_t i = 0; i < width && offset < b.size() && i < b.size() - offset; ++i) {
    const auto c = b[offset + i];
    if (c == 0) break;
    out.push_back(static_cast<char>(c));
  }
  return out;
}

}  // namespace zub
