// The bytes of a profile ("INI") file in memory, read and edited the way the platform's
// profile functions see them; TProfileFile puts a file's bytes in one of these.
//
// Reading: a line ends at CR LF, LF or CR (so CR CR LF is a line end and an empty line). A
// header is "[name]"; a key line is "key=value"; a line starting with ";" or "#" is a comment.
// Names and values lose the blanks around them, a value also a trailing end-of-file mark
// (Ctrl-Z, 0x1A), and then a pair of matching double or single quotes around all of it.
// Section and key names match without regard to case; the first section of a name and the
// first key of a name in it count, later ones are never read. A UTF-8 byte-order mark before
// the first line is skipped. A file that starts with the UTF-16LE byte-order mark is UTF-16LE
// text: its names and values come out as UTF-8.
//
// Editing changes the bytes rather than regenerate them: a key's value changes where it stands
// (its spacing, its quotes and its line ending kept), a new key goes after the last key of its
// section with that line's own ending, a new section to the end of the file, and every other
// byte stays as it was; a UTF-16LE file stays UTF-16LE. A value that reading would change
// (blanks at its ends, quotes around it) is written in quotes. A file that is neither 8-bit
// text nor UTF-16LE text (it holds a NUL character, or starts with the UTF-16BE byte-order
// mark) is read as it is but never edited: the edit raises EProfileNotText.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/Convert.h"

namespace zub {

class EProfileNotText : public EFileError {
 public:
  using EFileError::EFileError;
};

class TProfileText {
 public:
  TProfileText() = default;  // an empty file
  explicit TProfileText(std::string bytes);

  // The file's bytes, with every edit made so far.
  const std::string& Data() const { return bytes_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  std::int32_t ReadInteger(const std::string& section, const std::string& key,
                           std::int32_t defaultValue) const;
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
  bool SectionExists(const std::string& section) const;
  // Whether the values are UTF-8 text (those of every ASCII or UTF-16LE file are). The values
  // of a file that is not are Windows-1251 text; ReadString hands out the bytes as they are.
  bool TextIsUtf8() const { return utf8_; }
  // Whether WriteString may change the file.
  bool Editable() const;

  // Sets one key: the first occurrence in the first section of that name. A name or value
  // that would not read back as written, or would break the lines, raises
  // std::invalid_argument; a file that cannot be edited raises EProfileNotText.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  // Raises std::invalid_argument where WriteString would, for any file.
  static void CheckWritable(const std::string& section, const std::string& key,
                            const std::string& value);

 private:
  const std::string& Text() const { return utf16_ ? decoded_ : bytes_; }
  void Index();

  std::string bytes_;
  bool utf16_ = false;
  std::string decoded_;  // the text of a UTF-16LE file as UTF-8, without its byte-order mark
  bool utf8_ = true;
  // The sections the text names and the place of each key's value in it by "section\nkey"
  // (folded names; the first section of a name, the first key in it).
  std::unordered_set<std::string> sections_;
  std::unordered_map<std::string, std::pair<std::size_t, std::size_t>> values_;
};

}  // namespace zub
