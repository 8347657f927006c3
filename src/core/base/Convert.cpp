#include "base/Convert.h"

namespace zub {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::uint32_t> TryHexToU32(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = v * 16 + static_cast<unsigned>(d);
    if (v > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<std::uint32_t>(v);
}

std::optional<std::int32_t> TryStrToInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  std::string_view rest = text.substr(i);
  if (rest.starts_with('$')) {
    rest.remove_prefix(1);
  } else if (rest.starts_with("0x") || rest.starts_with("0X")) {
    rest.remove_prefix(2);
  } else if (rest.starts_with('x') || rest.starts_with('X')) {
    rest.remove_prefix(1);
  } else {
    if (rest.empty()) return std::nullopt;
    std::int64_t v = 0;
    for (char c : rest) {
      if (c < '0' || c > '9') return std::nullopt;
      v = v * 10 + (c - '0');
      if (v > 0x80000000LL) return std::nullopt;
    }
    if (negative) v = -v;
    if (v > 0x7FFFFFFFLL) return std::nullopt;
    return static_cast<std::int32_t>(v);
  }
  const auto hex = TryHexToU32(rest);
  if (!hex) return std::nullopt;
  const std::uint32_t magnitude = negative ? 0u - *hex : *hex;
  return static_cast<std::int32_t>(magnitude);
}

std::int32_t StrToInt(std::string_view text) {
  if (auto v = TryStrToInt(text)) return *v;
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

}  // namespace zub
