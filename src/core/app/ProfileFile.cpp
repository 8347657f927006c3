#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include "app/ProfileFile.h"

#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

#include "app/Convert.h"

namespace zub {

namespace {

// Well-formed UTF-8: no stray continuation byte, no overlong form, no surrogate, nothing above
// U+10FFFF.
bool IsUtf8(std::string_view text) {
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

}  // namespace

struct TProfileFile::Impl {
  CSimpleIniA ini{/*isUtf8=*/false, /*multiKey=*/false, /*multiLine=*/false};
  bool utf8 = true;
  bool loaded = false;
  std::filesystem::file_time_type stamp{};
  std::uintmax_t size = 0;
  bool exists = false;
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
  impl_->ini.Reset();
  impl_->utf8 = true;
  if (exists) {
    std::ifstream in(path_, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    impl_->utf8 = IsUtf8(text);
    impl_->ini.LoadData(text);
  }
  impl_->loaded = true;
  impl_->exists = exists;
  impl_->stamp = stamp;
  impl_->size = size;
}

void TProfileFile::Flush() {
  if (impl_->ini.SaveFile(path_.string().c_str(), false) < 0)
    throw EFileError("Cannot create file \"" + path_.string() + "\".");
  impl_->loaded = false;  // read back what is on disk at the next read
}

std::string TProfileFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue) {
  Refresh();
  const char* v = impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
  return v ? std::string(v) : defaultValue;
}

std::int32_t TProfileFile::ReadInteger(const std::string& section, const std::string& key,
                                       std::int32_t defaultValue) {
  const std::string text = ReadString(section, key, "");
  return TryStrToInt(text).value_or(defaultValue);
}

bool TProfileFile::ReadBool(const std::string& section, const std::string& key,
                            bool defaultValue) {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TProfileFile::TextIsUtf8() {
  Refresh();
  return impl_->utf8;
}

bool TProfileFile::SectionExists(const std::string& section) {
  Refresh();
  return impl_->ini.GetSectionSize(section.c_str()) >= 0;
}

void TProfileFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
  Refresh();
  impl_->ini.SetValue(section.c_str(), key.c_str(), value.c_str());
  Flush();
}

void TProfileFile::WriteInteger(const std::string& section, const std::string& key,
                                std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TProfileFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

}  // namespace zub
