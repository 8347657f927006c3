// The toolkit's text-to-integer conversion and its error, as the settings file, the
// preference fields, the firmware table and the library texts use it.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zub {

// Raised where the toolkit raises its conversion error; the command ends and the standard
// exception box shows the message.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that cannot be opened, created or written.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Leading blanks, an optional sign, then decimal digits, or hexadecimal digits after "$",
// "0x", "0X", "x" or "X". Hexadecimal takes up to 32 bits (wrapping into the sign); decimal
// must fit a signed 32-bit value. Nothing may follow the digits.
std::optional<std::int32_t> TryStrToInt(std::string_view text);

// As TryStrToInt, raising "'%s' is not a valid integer value" on failure.
std::int32_t StrToInt(std::string_view text);

// Hexadecimal digits only (no prefix, no sign), up to 32 bits.
std::optional<std::uint32_t> TryHexToU32(std::string_view digits);

}  // namespace zub
