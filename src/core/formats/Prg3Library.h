// The PRG3 library: a text file of a release line and value lines, turned into a table of
// 32-bit little-endian words for section 2-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zub {

inline constexpr std::size_t PRG3MaxWords = 512;

struct TPRG3Image {
  std::vector<std::uint8_t> Image;  // at most PRG3MaxWords words, never more
  bool TooBig = false;              // the text held more words than that
};

// The word of one line, or nothing for a line that adds none. A line containing "RELEASE="
// gives the one character after its first "=" as a number (raises EConvertError when it is
// none); any other line gives its first word (the text before its first space) read as
// hexadecimal, else as the toolkit reads integers, else nothing.
std::optional<std::int32_t> PRG3LineValue(std::string_view line);

// Every line of the text, in order. All lines are read even past the limit, so a bad release
// line anywhere raises before the size is judged.
TPRG3Image BuildPRG3Image(std::string_view text);

}  // namespace zub
