// The LZO image: a 32-byte header, the LZO1X stream of the program, and optionally the save
// store that stood behind the program, moved along.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "base/Bytes.h"
#include "formats/Magic.h"

namespace zub {

// Field offsets of the header (all little-endian).
struct TLZOHeader {
  static constexpr std::size_t Magic = 0;  // 4C 5A 4F 00
  static constexpr std::size_t Name = 4;   // 16 bytes, as in the program's header
  static constexpr std::size_t NameSize = 16;
  static constexpr std::size_t Format = 20;          // the program's first 32-bit value
  static constexpr std::size_t UnpackedLength = 24;  // bytes that were compressed
  static constexpr std::size_t IconCode = 28;
  static constexpr std::size_t Size = 32;  // the compressed data start here
};

// The icon code of an icon list caption: "E80A" gives 0xE80A; a caption that is not a
// hexadecimal number gives DefaultIconCode.
std::uint32_t IconCodeFromCaption(std::string_view caption);

// The LZO1X stream of the input, or nullopt when the library reports an error.
using TLZOCompressor = std::function<std::optional<std::vector<std::uint8_t>>(Bytes)>;
std::optional<std::vector<std::uint8_t>> CompressLZO1X999(Bytes input);

// Turns the first n bytes of buffer (a program file, possibly with a save store behind it)
// into an LZO image in the same buffer and returns its length; the buffer grows when the image
// needs more room. Returns 0 and leaves the buffer as it was when the compressor fails.
// askIcon is called for a raw UFIF program only.
std::size_t BuildLZOImage(std::vector<std::uint8_t>& buffer, std::size_t n,
                          const std::function<std::uint32_t()>& askIcon,
                          const TLZOCompressor& compress = CompressLZO1X999);

}  // namespace zub
