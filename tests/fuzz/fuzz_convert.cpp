// TryStrToInt, StrToInt and TryHexToU32 against a reference worked out in 64 bits.
//
// Input: the text (at most 64 bytes). The reference: leading blanks, an optional sign, then
// decimal digits whose signed value fits 32 bits, or after "$", "0x", "0X", "x" or "X"
// hexadecimal digits worth at most 0xFFFFFFFF, which wrap into the sign; nothing after.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "base/Convert.h"

using namespace zub;

namespace {

// The value of the digits in the base, or nothing when a character is no digit of it, there
// is none, or the value passes `limit`.
std::optional<std::uint64_t> Digits(std::string_view s, unsigned base, std::uint64_t limit) {
  if (s.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (const char ch : s) {
    unsigned d;
    if (ch >= '0' && ch <= '9')
      d = static_cast<unsigned>(ch - '0');
    else if (base == 16 && ch >= 'a' && ch <= 'f')
      d = static_cast<unsigned>(ch - 'a' + 10);
    else if (base == 16 && ch >= 'A' && ch <= 'F')
      d = static_cast<unsigned>(ch - 'A' + 10);
    else
      return std::nullopt;
    v = v * base + d;
    if (v > limit) return std::nullopt;
  }
  return v;
}

std::optional<std::int32_t> Reference(std::string_view s) {
  std::size_t i = s.find_first_not_of(' ');
  if (i == std::string_view::npos) return std::nullopt;
  s.remove_prefix(i);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  std::size_t prefix = 0;
  if (s.starts_with("0x") || s.starts_with("0X"))
    prefix = 2;
  else if (s.starts_with('$') || s.starts_with('x') || s.starts_with('X'))
    prefix = 1;
  if (prefix > 0) {
    const auto v = Digits(s.substr(prefix), 16, 0xFFFFFFFFull);
    if (!v) return std::nullopt;
    const std::uint32_t bits = static_cast<std::uint32_t>(negative ? (0 - *v) : *v);
    return static_cast<std::int32_t>(bits);
  }
  const auto v = Digits(s, 10, 0x80000000ull);
  if (!v) return std::nullopt;
  const std::int64_t signedValue =
      negative ? -static_cast<std::int64_t>(*v) : static_cast<std::int64_t>(*v);
  if (signedValue > INT32_MAX || signedValue < INT32_MIN) return std::nullopt;
  return static_cast<std::int32_t>(signedValue);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const auto expected = Reference(text);
  ZUB_CHECK(TryStrToInt(text) == expected);
  try {
    const std::int32_t v = StrToInt(text);
    ZUB_CHECK(expected && v == *expected);
  } catch (const EConvertError& e) {
    ZUB_CHECK(!expected);
    // what() is a C string: a NUL inside the text ends the message there.
    const std::string message = "'" + std::string(text) + "' is not a valid integer value";
    ZUB_CHECK(std::strcmp(e.what(), message.c_str()) == 0);
  }

  const auto hex = Digits(text, 16, 0xFFFFFFFFull);
  const auto got = TryHexToU32(text);
  ZUB_CHECK(got.has_value() == hex.has_value());
  if (got) ZUB_CHECK(*got == *hex);

  // Whatever the text, its decimal rendering converts back to the same value.
  if (expected) ZUB_CHECK(TryStrToInt(std::to_string(*expected)) == expected);
  return 0;
}
