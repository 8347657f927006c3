// The grid's 8-bit code page, Windows-1251 (Cyrillic): conversion from UTF-16 for texts the
// telephone stores as UTF-16LE, and to UTF-8 for showing 8-bit texts on screen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zub {

// The Windows-1251 byte of a code point, or nullopt when the code page lacks it.
std::optional<std::uint8_t> UnicodeToCp1251(char32_t codePoint);

// One UTF-16 code unit as a Windows-1251 character; '?' for units the code page lacks
// (surrogate halves included).
char Utf16UnitToCp1251(std::uint16_t unit);

// UTF-16 text to Windows-1251; a surrogate pair or any unit the code page lacks becomes '?'.
std::string Utf16ToCp1251(std::u16string_view text);

// The code point a Windows-1251 byte stands for.
char32_t Cp1251ToUnicode(std::uint8_t byte);

// Windows-1251 text to UTF-8.
std::string Cp1251ToUtf8(std::string_view text);

}  // namespace zub
