// TProfileText, the profile file's bytes in memory, over any contents.
//
// Input: Byte k, k % 16 bytes of section name, Byte k, k % 16 bytes of key name, Byte k,
// k % 64 bytes of value (k >= 128: the value's hash is written as an integer), then the file's
// contents.
//
// Reading never fails; ReadInteger agrees with TryStrToInt of ReadString and ReadBool with
// ReadInteger; a value written under simple names (blanks, quotes and Ctrl-Z allowed in it, or
// an integer) reads back as written, by the same object and from the edited bytes anew, and leaves
// the other keys of the file as they were; the write changes the file's text in one place only
// (part of one line replaced, or lines inserted), every other byte stays; a UTF-16LE file stays
// UTF-16LE; a file that is neither 8-bit text nor UTF-16LE text (a NUL character, the UTF-16BE
// byte-order mark) is never edited. TProfileFile reads a file's bytes into one of these and
// writes its edit back whole; that part is the same for any contents.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "base/Convert.h"
#include "base/Cp1251.h"
#include "base/ProfileText.h"

using namespace zub;
using zub::fuzz::TFuzzInput;

namespace {

const std::string kAbsent = "\x01<absent>";

// Letters and digits only; a fallback when nothing is left.
std::string SimpleName(const std::string& raw, const char* fallback) {
  std::string out;
  for (unsigned char c : raw)
    if (std::isalnum(c)) out.push_back(static_cast<char>(c));
  return out.empty() ? fallback : out;
}

// Letters, digits, blanks, quotes, Ctrl-Z and a few marks.
std::string SimpleValue(const std::string& raw) {
  std::string out;
  for (unsigned char c : raw)
    if (std::isalnum(c) ||
        std::string_view(" \t\x1A\"'._:/,-").find(static_cast<char>(c)) != std::string_view::npos)
      out.push_back(static_cast<char>(c));
  return out;
}

constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

// The text of the file: UTF-16LE decoded to UTF-8 (kept in `decoded`), else its bytes.
std::string_view TextOf(std::string_view raw, std::string& decoded) {
  if (!raw.starts_with(kUtf16LeMark)) return raw;
  std::u16string units;
  for (std::size_t i = 2; i + 1 < raw.size(); i += 2)
    units.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(raw[i]) |
                                          static_cast<std::uint8_t>(raw[i + 1]) << 8));
  decoded = Utf16ToUtf8(units);
  return decoded;
}

// Whether the file may be rewritten: 8-bit text without NUL bytes, or UTF-16LE text without
// a NUL character.
bool Editable(std::string_view raw) {
  if (raw.starts_with("\xFE\xFF")) return false;
  std::string decoded;
  return TextOf(raw, decoded).find('\0') == std::string_view::npos;
}

// Line ends in the text, a CR LF counted once.
std::size_t LineEnds(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) ++n;
  return n;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The edit from `before` to `after` is one place of their text: what it removed holds no line
// break, and it added at most the lines of a new section with its key (and an ending for the
// last line). A UTF-16LE file stays one, its odd last byte kept.
void CheckOneEdit(std::string_view beforeBytes, std::string_view afterBytes) {
  ZUB_CHECK(beforeBytes.starts_with(kUtf16LeMark) == afterBytes.starts_with(kUtf16LeMark));
  if (beforeBytes.starts_with(kUtf16LeMark)) {
    ZUB_CHECK(beforeBytes.size() % 2 == afterBytes.size() % 2);
    if (beforeBytes.size() % 2 == 1) ZUB_CHECK(beforeBytes.back() == afterBytes.back());
  }
  std::string beforeText, afterText;
  const std::string_view before = TextOf(beforeBytes, beforeText);
  const std::string_view after = TextOf(afterBytes, afterText);
  std::size_t p = 0;
  while (p < before.size() && p < after.size() && before[p] == after[p]) ++p;
  std::size_t s = 0;
  while (s < before.size() - p && s < after.size() - p &&
         before[before.size() - 1 - s] == after[after.size() - 1 - s])
    ++s;
  const std::string_view removed = before.substr(p, before.size() - s - p);
  const std::string_view added = after.substr(p, after.size() - s - p);
  ZUB_CHECK(removed.find_first_of("\r\n") == std::string_view::npos);
  ZUB_CHECK(LineEnds(added) <= 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzInput in(data, size);
  // Names and values are C strings to the profile functions: they end at a NUL.
  const std::string section = in.Text(in.Byte() % 16).c_str();
  const std::string key = in.Text(in.Byte() % 16).c_str();
  const std::uint8_t valueByte = in.Byte();
  const bool integer = valueByte >= 128;
  const std::string value = in.Text(valueByte % 64).c_str();
  const Bytes contents = in.Rest();
  const std::string raw(contents.begin(), contents.end());

  TProfileText file{raw};
  const std::string text = file.ReadString(section, key, "");
  ZUB_CHECK(file.ReadInteger(section, key, 777) == TryStrToInt(text).value_or(777));
  ZUB_CHECK(file.ReadBool(section, key, true) == (file.ReadInteger(section, key, 1) != 0));
  const std::string before = file.ReadString(section, key, kAbsent);
  if (before != kAbsent) {
    ZUB_CHECK(before == text);
    ZUB_CHECK(file.SectionExists(section));
  }
  const bool editable = Editable(raw);
  ZUB_CHECK(file.Editable() == editable);

  const std::string simpleSection = SimpleName(section, "S");
  const std::string simpleKey = SimpleName(key, "K");
  const std::string simpleValue = SimpleValue(value);
  if (!editable) {
    bool refused = false;
    try {
      file.WriteString(simpleSection, simpleKey, simpleValue);
    } catch (const EProfileNotText&) {
      refused = true;
    }
    ZUB_CHECK(refused);
    ZUB_CHECK(file.Data() == raw);
    return 0;
  }
  const auto number = static_cast<std::int32_t>(std::hash<std::string>{}(value));
  const std::string written = integer ? std::to_string(number) : simpleValue;
  file.WriteString(simpleSection, simpleKey, written);
  CheckOneEdit(raw, file.Data());
  ZUB_CHECK(file.ReadString(simpleSection, simpleKey, kAbsent) == written);
  const TProfileText anew(file.Data());
  ZUB_CHECK(anew.ReadString(simpleSection, simpleKey, kAbsent) == written);
  if (integer) ZUB_CHECK(anew.ReadInteger(simpleSection, simpleKey, 0) == number);
  // The key of the input, when it is another one, kept its value through the write.
  if (!(SameName(section, simpleSection) && SameName(key, simpleKey)))
    ZUB_CHECK(anew.ReadString(section, key, kAbsent) == before);
  return 0;
}
