#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include "base/ProfileFile.h"

#include <fstream>
#include <system_error>

#include "base/Convert.h"

namespace zub {

struct TProfileFile::Impl {
  CSimpleIniA ini{/*isUtf8=*/false, /*multiKey=*/false, /*multiLine=*/false};
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
  if (exists) impl_->ini.LoadFile(path_.string().c_str());
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

bool TProfileFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
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
