// The line protocol between the stand-in device library (StandInGbp.cpp, under Wine) and the
// fake telephone (FakePhone.cpp) on the two ends of a pty pair. Header-only: both sides, one
// built by MinGW and one natively, share these few helpers.
//
// Every line is ASCII and ends in "\n" (a "\r" before it is ignored). After the modem-style
// check "AT\r" -> "OK", each request gets exactly one answer:
//   SIZE s ss               -> OK n                  n = the section's length
//   READ s ss len           -> OK n, then a line of 2n hex digits (n <= len, the first n bytes)
//   WRITE s ss len, then a line of 2*len hex digits  -> OK n
//   CLEAR s ss              -> OK 0
// or "ERR code" with a negative device library code (-153: no such section). s, ss, len and n
// are decimal.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zub::serial {

// The longest request or answer line without its hex data.
inline constexpr std::size_t kMaxHeadLine = 64;

inline std::string Hex(const std::uint8_t* data, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out(size * 2, '0');
  for (std::size_t i = 0; i < size; ++i) {
    out[2 * i] = kDigits[data[i] >> 4];
    out[2 * i + 1] = kDigits[data[i] & 15];
  }
  return out;
}

// Decodes exactly `size` bytes from 2*size hex digits into `out`; false on any other text.
inline bool Unhex(std::string_view text, std::uint8_t* out, std::size_t size) {
  if (text.size() != size * 2) return false;
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < size; ++i) {
    const int hi = digit(text[2 * i]), lo = digit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return true;
}

// The words of a line separated by single or repeated blanks.
inline std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ') ++j;
    if (j > i) words.push_back(line.substr(i, j - i));
    i = j;
  }
  return words;
}

// The whole word as a decimal number.
template <typename T>
std::optional<T> Number(std::string_view word) {
  T value{};
  const char* end = word.data() + word.size();
  const auto [ptr, ec] = std::from_chars(word.data(), end, value);
  if (word.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

}  // namespace zub::serial
