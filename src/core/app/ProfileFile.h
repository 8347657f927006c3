// Profile ("INI") files with the platform's semantics: section and key names match without
// regard to case, a missing file, section or key gives the default, and integers are read in
// the toolkit's notation (decimal, or hexadecimal with "$", "0x" or "x"). Reads always see the
// file as it is on disk now; writes keep everything else in the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zub {

class TProfileFile {
 public:
  explicit TProfileFile(std::filesystem::path path);
  ~TProfileFile();
  TProfileFile(const TProfileFile&) = delete;
  TProfileFile& operator=(const TProfileFile&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue);
  std::int32_t ReadInteger(const std::string& section, const std::string& key,
                           std::int32_t defaultValue);
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue);
  bool SectionExists(const std::string& section);
  // Whether the file's text is valid UTF-8 (every ASCII file is). The values of a file that is
  // not are Windows-1251 text; ReadString hands out the bytes as they are.
  bool TextIsUtf8();

  // While a hold lives, reads use the file as it was at the hold's first read instead of
  // looking at the disk again for every key: one operation that reads many keys (the
  // catalogue) sees one state of the file, and pays for one look.
  class THold {
   public:
    explicit THold(TProfileFile& file) : file_(file) { ++file_.holds_; }
    ~THold() { --file_.holds_; }
    THold(const THold&) = delete;
    THold& operator=(const THold&) = delete;

   private:
    TProfileFile& file_;
  };

  // Writes go to the file at once, as the platform's profile functions do.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

 private:
  struct Impl;
  void Refresh();
  void Flush();

  std::filesystem::path path_;
  std::unique_ptr<Impl> impl_;
  int holds_ = 0;
};

}  // namespace zub
