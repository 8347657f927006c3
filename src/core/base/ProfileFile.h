// Profile ("INI") files with the platform's semantics (TProfileText gives the rules of reading
// and editing): a missing file, section or key gives the default, and integers are read in
// the toolkit's notation (decimal, or hexadecimal with "$", "0x" or "x"). Reads always see the
// file as it is on disk now.
//
// Writes edit the file's bytes rather than regenerate them, and each write, or each batch of
// writes (TEdit), replaces the file once, atomically. A file that is neither 8-bit text nor
// UTF-16LE text is read as it is but never rewritten: the write raises EProfileNotText.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/ProfileText.h"

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
  // Whether the file's values are UTF-8 text (those of every ASCII or UTF-16LE file are). The
  // values of a file that is not are Windows-1251 text; ReadString hands out the bytes as they
  // are.
  bool TextIsUtf8();
  // The file's bytes as they are on disk now, in memory; valid until the next read or write
  // of this object. An operation that reads many keys reads them from here: one look at the
  // disk, one state of the file.
  const TProfileText& Text();

  // While a hold lives, reads use the file as it was at the hold's first read instead of
  // looking at the disk again for every key: one operation that reads many keys (a backup's
  // manifest) sees one state of the file, and pays for one look.
  class THold {
   public:
    explicit THold(TProfileFile& file) : file_(file) { ++file_.holds_; }
    ~THold() { --file_.holds_; }
    THold(const THold&) = delete;
    THold& operator=(const THold&) = delete;

   private:
    TProfileFile& file_;
  };

  // Values collected and written together: Commit reads the file as it is then, applies
  // every value in order, and replaces the file once. Nothing is written before Commit.
  class TEdit {
   public:
    explicit TEdit(TProfileFile& file) : file_(file) {}
    TEdit& WriteString(const std::string& section, const std::string& key,
                       const std::string& value);
    TEdit& WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
    TEdit& WriteBool(const std::string& section, const std::string& key, bool value);
    void Commit();

   private:
    struct TValue {
      std::string Section, Key, Value;
    };
    TProfileFile& file_;
    std::vector<TValue> values_;
  };

  // Writes go to the file at once, as the platform's profile functions do.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

 private:
  struct Impl;
  void Refresh();

  std::filesystem::path path_;
  std::unique_ptr<Impl> impl_;
  int holds_ = 0;
};

}  // namespace zub
