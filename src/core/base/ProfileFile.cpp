#include "base/ProfileFile.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "base/FileIO.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

// Far beyond any settings file (a catalogue of 65,536 entries is about 1.5 MB), and a bound
// for a path that names something else.
constexpr std::size_t kMaxProfileSize = std::size_t{64} << 20;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
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

// One line of the file: its text [Begin, End), its line ending [End, Next).
struct TLine {
  enum { Other, Header, Key } Kind = Other;
  std::size_t Begin = 0, End = 0, Next = 0;
  std::string_view Name;                     // the section of a header, the key of a key line
  std::size_t ValueBegin = 0, ValueEnd = 0;  // a key line's value, without blanks around it
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
  while (ve > vb && IsBlank(content[ve - 1])) --ve;
  line.ValueBegin = line.Begin + vb;
  line.ValueEnd = line.Begin + ve;
}

// Calls `visit` with each line in order while it returns true. Lines end at "\n"; a "\r"
// before it belongs to the ending. A UTF-8 byte-order mark before the first line is skipped.
template <typename Visit>
void ScanLines(std::string_view text, Visit&& visit) {
  std::size_t pos = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  while (pos < text.size()) {
    TLine line;
    line.Begin = pos;
    const std::size_t nl = text.find('\n', pos);
    line.End = nl == std::string_view::npos ? text.size() : nl;
    line.Next = nl == std::string_view::npos ? text.size() : nl + 1;
    if (line.End > line.Begin && text[line.End - 1] == '\r') --line.End;
    Classify(text, line);
    if (!visit(line)) return;
    pos = line.Next;
  }
}

bool IsEightBitText(std::string_view text) {
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) return false;
  return text.find('\0') == std::string_view::npos;
}

// The ending the file uses: that of its first line that has one; CR LF for a new file.
std::string FileEnding(std::string_view text) {
  const std::size_t nl = text.find('\n');
  if (nl == std::string_view::npos) return "\r\n";
  return nl > 0 && text[nl - 1] == '\r' ? "\r\n" : "\n";
}

// Sets one key in the text: the value of its first occurrence in the first section of that
// name is replaced; a missing key is added after the section's last key (or after its
// header), a missing section at the end of the text. Nothing else changes.
void SetValue(std::string& text, const std::string& section, const std::string& key,
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

  const std::string entry = key + "=" + value;
  if (found) {
    text.replace(found->ValueBegin, found->ValueEnd - found->ValueBegin, value);
  } else if (header) {
    const TLine& after = lastKey ? *lastKey : *header;
    const std::string ending = text.substr(after.End, after.Next - after.End);
    if (ending.ends_with('\n')) {
      text.insert(after.Next, entry + ending);
    } else {  // the last line of the file, without a final line ending or with a bare "\r"
      text.insert(after.Next, (ending.empty() ? FileEnding(text) : "\n") + entry);
    }
  } else {
    const std::string eol = FileEnding(text);
    if (!text.empty() && text.back() != '\n') text += text.back() == '\r' ? "\n" : eol;
    text += "[" + section + "]" + eol + entry + eol;
  }
}

bool HasAny(std::string_view s, std::string_view chars) {
  return s.find_first_of(chars) != std::string_view::npos;
}

// Names that would not read back as written, and any text that would break the lines.
void CheckWritable(const std::string& section, const std::string& key, const std::string& value) {
  using namespace std::string_view_literals;
  const auto bad = [&](const std::string& what) {
    throw std::invalid_argument("\"" + what + "\" cannot be written to a profile file");
  };
  if (HasAny(section, "]\r\n\0"sv) || Trim(section) != section) bad(section);
  if (HasAny(key, "=\r\n\0"sv) || Trim(key) != key || key.starts_with('[') ||
      key.starts_with(';') || key.starts_with('#') || key.empty())
    bad(key);
  if (HasAny(value, "\r\n\0"sv)) bad(value);
}

}  // namespace

// Well-formed UTF-8: no stray continuation byte, no overlong form, no surrogate, nothing above
// U+10FFFF.
static bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<std::uint8_t>(text[i]);
    std::size_t more = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      more = 1, cp = b & 0x1Fu, least = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      more = 2, cp = b & 0x0Fu, least = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      more = 3, cp = b & 0x07u, least = 0x10000;
    } else {
      return false;
    }
    if (more >= text.size() - i) return false;
    for (std::size_t k = 1; k <= more; ++k) {
      const auto c = static_cast<std::uint8_t>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

struct TProfileFile::Impl {
  bool utf8 = true;
  bool loaded = false;
  std::filesystem::file_time_type stamp{};
  std::uintmax_t size = 0;
  bool exists = false;
  // The file's text, the sections it names (folded names) and the value of each key by
  // "section\nkey" (folded names; the first section of a name, the first key in it) as a
  // view into the text.
  std::string text;
  std::unordered_set<std::string> sections;
  std::unordered_map<std::string, std::string_view> values;

  void Index() {
    sections.clear();
    values.clear();
    values.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    std::string prefix;  // "section\n" of the section being read; empty in a repeated one
    ScanLines(text, [&](const TLine& line) {
      if (line.Kind == TLine::Header) {
        std::string name = Folded(line.Name);
        prefix = sections.insert(name).second ? name + '\n' : std::string();
      } else if (line.Kind == TLine::Key && !prefix.empty()) {
        values.try_emplace(
            prefix + Folded(line.Name),
            std::string_view(text).substr(line.ValueBegin, line.ValueEnd - line.ValueBegin));
      }
      return true;
    });
  }
};

TProfileFile::TProfileFile(std::filesystem::path path)
    : path_(std::move(path)), impl_(std::make_unique<Impl>()) {}

TProfileFile::~TProfileFile() = default;

void TProfileFile::Refresh() {
  if (holds_ > 0 && impl_->loaded) return;
  std::error_code ec;
  const bool exists = std::filesystem::is_regular_file(path_, ec);
  std::filesystem::file_time_type stamp{};
  std::uintmax_t size = 0;
  if (exists) {
    stamp = std::filesystem::last_write_time(path_, ec);
    size = std::filesystem::file_size(path_, ec);
  }
  if (impl_->loaded && exists == impl_->exists && stamp == impl_->stamp && size == impl_->size)
    return;
  impl_->text.clear();
  if (exists) {
    try {
      impl_->text = ReadTextFile(path_.string(), kMaxProfileSize);
    } catch (const EFileError&) {
      impl_->text.clear();  // unreadable: every value takes its default
    }
  }
  impl_->utf8 = IsUtf8(impl_->text);
  impl_->Index();
  impl_->loaded = true;
  impl_->exists = exists;
  impl_->stamp = stamp;
  impl_->size = size;
}

bool TProfileFile::TextIsUtf8() {
  Refresh();
  return impl_->utf8;
}

std::string TProfileFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue) {
  Refresh();
  const auto v = impl_->values.find(Folded(section) + '\n' + Folded(key));
  return v == impl_->values.end() ? defaultValue : std::string(v->second);
}

std::int32_t TProfileFile::ReadInteger(const std::string& section, const std::string& key,
                                       std::int32_t defaultValue) {
  const std::string text = ReadString(section, key, "");
  return TryStrToInt(text).value_or(defaultValue);
}

bool TProfileFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TProfileFile::SectionExists(const std::string& section) {
  Refresh();
  return impl_->sections.contains(Folded(section));
}

TProfileFile::TEdit& TProfileFile::TEdit::WriteString(const std::string& section,
                                                      const std::string& key,
                                                      const std::string& value) {
  CheckWritable(section, key, value);
  values_.push_back({section, key, value});
  return *this;
}

TProfileFile::TEdit& TProfileFile::TEdit::WriteInteger(const std::string& section,
                                                       const std::string& key, std::int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

TProfileFile::TEdit& TProfileFile::TEdit::WriteBool(const std::string& section,
                                                    const std::string& key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

void TProfileFile::TEdit::Commit() {
  const std::string path = file_.path_.string();
  std::error_code ec;
  const bool exists = fs::exists(file_.path_, ec);
  // A file that is there, or may be, is read first; one that cannot be read is not replaced.
  std::string text = exists || ec ? ReadTextFile(path, kMaxProfileSize) : std::string();
  if (!IsEightBitText(text))
    throw EProfileNotText("Cannot create file \"" + path +
                          "\". The file is not 8-bit text and is left as it is");
  for (const TValue& v : values_) SetValue(text, v.Section, v.Key, v.Value);
  WriteFileAtomic(path, Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  values_.clear();
  file_.impl_->loaded = false;  // read back what is on disk at the next read
}

void TProfileFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
  TEdit(*this).WriteString(section, key, value).Commit();
}

void TProfileFile::WriteInteger(const std::string& section, const std::string& key,
                                std::int32_t value) {
  TEdit(*this).WriteInteger(section, key, value).Commit();
}

void TProfileFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  TEdit(*this).WriteBool(section, key, value).Commit();
}

}  // namespace zub
