#include "base/Cp1251.h"

#include <array>
#include <utility>

namespace zub {
namespace {

// The code points of the bytes 0x80 to 0xFF. 0x98 is unassigned; the platform's converters
// pass it through as U+0098, and so does this table.
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsSurrogate(char32_t cp) {
  return cp >= 0xD800 && cp <= 0xDFFF;
}

// The well-formed UTF-8 sequence at text[i]: its code point and length; a length of 0 when
// the bytes there form none.
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t i) {
  const auto b = static_cast<std::uint8_t>(text[i]);
  if (b < 0x80) return {b, 1};
  std::size_t more = 0;
  char32_t cp = 0;
  char32_t least = 0;
  if ((b & 0xE0) == 0xC0) {
    more = 1, cp = b & 0x1Fu, least = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    more = 2, cp = b & 0x0Fu, least = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    more = 3, cp = b & 0x07u, least = 0x10000;
  } else {
    return {0, 0};
  }
  if (more >= text.size() - i) return {0, 0};
  for (std::size_t k = 1; k <= more; ++k) {
    const auto c = static_cast<std::uint8_t>(text[i + k]);
    if ((c & 0xC0) != 0x80) return {0, 0};
    cp = (cp << 6) | (c & 0x3Fu);
  }
  if (cp < least || cp > 0x10FFFF || IsSurrogate(cp)) return {0, 0};
  return {cp, more + 1};
}

}  // namespace

std::optional<std::uint8_t> UnicodeToCp1251(char32_t codePoint) {
  if (codePoint < 0x80) return static_cast<std::uint8_t>(codePoint);
  for (std::size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == codePoint) return static_cast<std::uint8_t>(0x80 + i);
  return std::nullopt;
}

char Utf16UnitToCp1251(std::uint16_t unit) {
  if (IsSurrogate(unit)) return '?';
  const auto b = UnicodeToCp1251(unit);
  return b ? static_cast<char>(*b) : '?';
}

std::string Utf16ToCp1251(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    // A character outside the basic plane is one '?', not two.
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      ++i;
    out.push_back(Utf16UnitToCp1251(unit));
  }
  return out;
}

char32_t Cp1251ToUnicode(std::uint8_t byte) {
  return byte < 0x80 ? static_cast<char32_t>(byte) : static_cast<char32_t>(kHigh[byte - 0x80u]);
}

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const char c : text) AppendUtf8(out, Cp1251ToUnicode(static_cast<std::uint8_t>(c)));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  constexpr char32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00u));
    } else {
      AppendUtf8(out, IsSurrogate(unit) ? kReplacement : unit);
    }
  }
  return out;
}

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = DecodeUtf8(text, i).second;
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    auto [cp, length] = DecodeUtf8(text, i);
    if (length == 0) cp = Cp1251ToUnicode(static_cast<std::uint8_t>(text[i])), length = 1;
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return out;
}

std::string SettingsTextToUtf8(std::string_view text, bool fileIsUtf8) {
  return fileIsUtf8 ? std::string(text) : Cp1251ToUtf8(text);
}

std::string_view Utf8Prefix(std::string_view text, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t chars = 0; end < text.size() && chars < count; ++chars) {
    ++end;  // a character is its lead byte and the continuation bytes after it
    while (end < text.size() && (static_cast<std::uint8_t>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return text.substr(0, end);
}

}  // namespace zub
