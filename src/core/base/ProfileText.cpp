// Reading and editing a profile file's bytes in memory (see ProfileText.h for the rules).
#include "base/ProfileText.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "base/Cp1251.h"

namespace zub {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// What may follow a value and is not part of it: blanks, and the end-of-file mark (Ctrl-Z)
// that some editors leave after the last line.
bool IsTrailing(char c) {
  return IsBlank(c) || c == '\x1A';
}

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// One line of the text: its content [Begin, End), its line ending [End, Next).
struct TLine {
  enum { Other, Header, Key } Kind = Other;
  std::size_t Begin = 0, End = 0, Next = 0;
  std::string_view Name;                     // the section of a header, the key of a key line
  std::size_t ValueBegin = 0, ValueEnd = 0;  // a key line's value as read
  bool Quoted = false;                       // the value stands between quotes
};

// A header is "[name]" (blanks around allowed, anything after the bracket ignored); a key
// line is "key=value"; a line starting with ";" or "#" is a comment. Every other line is
// kept but means nothing.
void Classify(std::string_view text, TLine& line) {
  const std::string_view content = text.substr(line.Begin, line.End - line.Begin);
  std::size_t first = 0;
  while (first < content.size() && IsBlank(content[first])) ++first;
  if (first == content.size() || content[first] == ';' || content[first] == '#') return;
  if (content[first] == '[') {
    const std::size_t close = content.find(']', first);
    if (close == std::string_view::npos) return;
    line.Kind = TLine::Header;
    line.Name = Trim(content.substr(first + 1, close - first - 1));
    return;
  }
  const std::size_t eq = content.find('=');
  if (eq == std::string_view::npos) return;
  line.Kind = TLine::Key;
  line.Name = Trim(content.substr(0, eq));
  std::size_t vb = eq + 1, ve = content.size();
  while (vb < ve && IsBlank(content[vb])) ++vb;
  while (ve > vb && IsTrailing(content[ve - 1])) --ve;
  if (ve - vb >= 2 && IsQuote(content[vb]) && content[ve - 1] == content[vb]) {
    ++vb, --ve;
    line.Quoted = true;
  }
  line.ValueBegin = line.Begin + vb;
  line.ValueEnd = line.Begin + ve;
}

// The length of the line ending at text[at]: CR LF, a lone LF or a lone CR; 0 at the end.
std::size_t EndingLength(std::string_view text, std::size_t at) {
  if (at >= text.size()) return 0;
  return text.substr(at, 2) == "\r\n" ? 2 : 1;
}

// Calls `visit` with each line in order while it returns true. A UTF-8 byte-order mark
// before the first line is skipped.
template <typename Visit>
void ScanLines(std::string_view text, Visit&& visit) {
  std::size_t pos = text.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
  while (pos < text.size()) {
    TLine line;
    line.Begin = pos;
    line.End = std::min(text.find_first_of("\r\n", pos), text.size());
    line.Next = line.End + EndingLength(text, line.End);
    Classify(text, line);
    if (!visit(line)) return;
    pos = line.Next;
  }
}

// The ending the text uses: that of its first line that has one; CR LF for a new file.
std::string FileEnding(std::string_view text) {
  const std::size_t at = text.find_first_of("\r\n");
  if (at == std::string_view::npos) return "\r\n";
  return std::string(text.substr(at, EndingLength(text, at)));
}

// A value as it goes into the file: in quotes when reading would change it otherwise.
std::string AsWritten(const std::string& value) {
  const bool quoted = value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
  const bool padded = !value.empty() && (IsBlank(value.front()) || IsTrailing(value.back()));
  return quoted || padded ? "\"" + value + "\"" : value;
}

// What setting one key changes: `Removed` bytes at `At` give way to `Inserted`.
struct TSplice {
  std::size_t At = 0, Removed = 0;
  std::string Inserted;
};

// The value of the key's first occurrence in the first section of that name is replaced
// (inside its quotes when it has them); a missing key is added after the section's last key
// (or after its header) with that line's ending, a missing section at the end of the text.
TSplice SetValue(std::string_view text, const std::string& section, const std::string& key,
                 const std::string& value) {
  bool inSection = false;
  std::optional<TLine> header, lastKey, found;
  ScanLines(text, [&](const TLine& line) {
    if (line.Kind == TLine::Header) {
      if (inSection) return false;  // the section ended without the key
      if (SameName(line.Name, section)) {
        inSection = true;
        header = line;
      }
      return true;
    }
    if (!inSection || line.Kind != TLine::Key) return true;
    if (SameName(line.Name, key)) {
      found = line;
      return false;
    }
    lastKey = line;
    return true;
  });

  if (found)
    return {found->ValueBegin, found->ValueEnd - found->ValueBegin,
            found->Quoted ? value : AsWritten(value)};
  const std::string entry = key + "=" + AsWritten(value);
  if (header) {
    const TLine& after = lastKey ? *lastKey : *header;
    if (after.Next > after.End)
      return {after.Next, 0, entry + std::string(text.substr(after.End, after.Next - after.End))};
    return {after.Next, 0, FileEnding(text) + entry};  // the last line, without an ending
  }
  const std::string eol = FileEnding(text);
  const bool open =
      !text.empty() && text.back() != '\n' && text.back() != '\r' && text != kUtf8Mark;
  return {text.size(), 0, (open ? eol : "") + "[" + section + "]" + eol + entry + eol};
}

bool HasAny(std::string_view s, std::string_view chars) {
  return s.find_first_of(chars) != std::string_view::npos;
}

// UTF-16 code units of the UTF-8 text before `at`: two for a character that needs four
// bytes, one for any other.
std::size_t UnitsBefore(std::string_view utf8, std::size_t at) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < at; ++i) {
    const auto b = static_cast<std::uint8_t>(utf8[i]);
    if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

// The text of a UTF-16LE file after its byte-order mark, as UTF-8. An odd last byte is half
// a character: it is not read, and it stays where it is.
std::string DecodeUtf16Le(std::string_view bytes) {
  std::u16string units((bytes.size() - kUtf16LeMark.size()) / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<std::uint8_t>(bytes[2 + 2 * i]) |
                                     static_cast<std::uint8_t>(bytes[3 + 2 * i]) << 8);
  return Utf16ToUtf8(units);
}

std::string LittleEndianBytes(std::u16string_view units) {
  std::string out;
  out.reserve(units.size() * 2);
  for (const char16_t u : units) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

}  // namespace

TProfileText::TProfileText(std::string bytes) : bytes_(std::move(bytes)) {
  utf16_ = std::string_view(bytes_).starts_with(kUtf16LeMark);
  if (utf16_) decoded_ = DecodeUtf16Le(bytes_);
  utf8_ = utf16_ || IsUtf8(bytes_);
  Index();
}

void TProfileText::Index() {
  sections_.clear();
  values_.clear();
  const std::string& text = Text();
  const auto lines =
      std::count_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; });
  values_.reserve(static_cast<std::size_t>(lines) + 1);
  std::string prefix;  // "section\n" of the section being read; empty in a repeated one
  ScanLines(text, [&](const TLine& line) {
    if (line.Kind == TLine::Header) {
      std::string name = Folded(line.Name);
      prefix = sections_.insert(name).second ? name + '\n' : std::string();
    } else if (line.Kind == TLine::Key && !prefix.empty()) {
      values_.try_emplace(prefix + Folded(line.Name), line.ValueBegin, line.ValueEnd);
    }
    return true;
  });
}

std::string TProfileText::ReadString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue) const {
  const auto v = values_.find(Folded(section) + '\n' + Folded(key));
  if (v == values_.end()) return defaultValue;
  return Text().substr(v->second.first, v->second.second - v->second.first);
}

std::int32_t TProfileText::ReadInteger(const std::string& section, const std::string& key,
                                       std::int32_t defaultValue) const {
  return TryStrToInt(ReadString(section, key, "")).value_or(defaultValue);
}

bool TProfileText::ReadBool(const std::string& section, const std::string& key,
                            bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TProfileText::SectionExists(const std::string& section) const {
  return sections_.contains(Folded(section));
}

bool TProfileText::Editable() const {
  if (!utf16_ && std::string_view(bytes_).starts_with(kUtf16BeMark)) return false;
  return Text().find('\0') == std::string::npos;
}

// Names that would not read back as written, and any text that would break the lines.
void TProfileText::CheckWritable(const std::string& section, const std::string& key,
                                 const std::string& value) {
  const auto bad = [&](const std::string& what) {
    throw std::invalid_argument("\"" + what + "\" cannot be written to a profile file");
  };
  if (HasAny(section, "]\r\n\0"sv) || Trim(section) != section) bad(section);
  if (HasAny(key, "=\r\n\0"sv) || Trim(key) != key || key.starts_with('[') ||
      key.starts_with(';') || key.starts_with('#') || key.empty())
    bad(key);
  if (HasAny(value, "\r\n\0"sv)) bad(value);
}

void TProfileText::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
  CheckWritable(section, key, value);
  if (!Editable())
    throw EProfileNotText("The file is neither 8-bit text nor UTF-16LE text and cannot be edited");
  const TSplice s = SetValue(Text(), section, key, value);
  if (utf16_) {
    const std::size_t at = UnitsBefore(decoded_, s.At);
    const std::size_t removed = UnitsBefore(decoded_, s.At + s.Removed) - at;
    bytes_.replace(kUtf16LeMark.size() + 2 * at, 2 * removed,
                   LittleEndianBytes(Utf8ToUtf16(s.Inserted)));
    decoded_ = DecodeUtf16Le(bytes_);
  } else {
    bytes_.replace(s.At, s.Removed, s.Inserted);
    utf8_ = IsUtf8(bytes_);
  }
  Index();
}

}  // namespace zub
