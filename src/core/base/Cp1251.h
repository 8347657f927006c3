// Text inside the program is UTF-8. The telephone stores 8-bit names in the modification's code
// page, Windows-1251 (Cyrillic), and ringer names as UTF-16LE; the settings files are UTF-8 or,
// when their text is not valid UTF-8, Windows-1251. These conversions decode them where they
// come in.
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

// UTF-16 text to UTF-8; a surrogate half without its partner becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Whether the text is well-formed UTF-8 (every ASCII text is): no stray continuation byte, no
// overlong form, no surrogate, nothing above U+10FFFF.
bool IsUtf8(std::string_view text);

// UTF-8 text to UTF-16; a byte that starts no well-formed sequence is read as Windows-1251.
std::u16string Utf8ToUtf16(std::string_view text);

// A text value of a settings file as UTF-8: as it is when the file's text is UTF-8, else read
// as Windows-1251.
std::string SettingsTextToUtf8(std::string_view text, bool fileIsUtf8);

// The first `count` characters of UTF-8 text (all of it when it has fewer).
std::string_view Utf8Prefix(std::string_view text, std::size_t count);

}  // namespace zub
