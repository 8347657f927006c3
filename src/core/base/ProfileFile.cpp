// A profile file on disk: its bytes read into a TProfileText when they changed, and edits
// written back whole and atomically.
#include "base/ProfileFile.h"

#include <cstdint>
#include <system_error>

#include "base/FileIO.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace zub {
namespace {

namespace fs = std::filesystem;

// Far beyond any settings file (a catalogue of 65,536 entries is about 1.5 MB), and a bound
// for a path that names something else.
constexpr std::size_t kMaxProfileSize = std::size_t{64} << 20;

// When the file was last written, as finely as the system keeps it; only ever compared with an
// earlier stamp of the same file. (On Windows the C++ library gives whole seconds, and a file
// rewritten within one second at the same size would look unchanged: the system's own 100 ns
// stamp is taken there.)
fs::file_time_type WriteStamp(const fs::path& path, std::error_code& ec) {
#if defined(_WIN32)
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
    return {};
  }
  const std::uint64_t ticks = (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                              data.ftLastWriteTime.dwLowDateTime;
  return fs::file_time_type(
      fs::file_time_type::duration(static_cast<fs::file_time_type::rep>(ticks)));
#else
  return fs::last_write_time(path, ec);
#endif
}

}  // namespace

struct TProfileFile::Impl {
  TProfileText text;
  bool loaded = false;
  // What the file was when `text` was read.
  bool exists = false;
  fs::file_time_type stamp{};
  std::uintmax_t size = 0;
};

TProfileFile::TProfileFile(std::filesystem::path path)
    : path_(std::move(path)), impl_(std::make_unique<Impl>()) {}

TProfileFile::~TProfileFile() = default;

void TProfileFile::Refresh() {
  if (holds_ > 0 && impl_->loaded) return;
  std::error_code ec;
  const bool exists = fs::is_regular_file(path_, ec);
  fs::file_time_type stamp{};
  std::uintmax_t size = 0;
  if (exists) {
    stamp = WriteStamp(path_, ec);
    size = fs::file_size(path_, ec);
  }
  if (impl_->loaded && exists == impl_->exists && stamp == impl_->stamp && size == impl_->size)
    return;
  std::string bytes;
  if (exists) {
    try {
      bytes = ReadTextFile(path_.string(), kMaxProfileSize);
    } catch (const EFileError&) {
      bytes.clear();  // unreadable: every value takes its default
    }
  }
  impl_->text = TProfileText(std::move(bytes));
  impl_->loaded = true;
  impl_->exists = exists;
  impl_->stamp = stamp;
  impl_->size = size;
}

const TProfileText& TProfileFile::Text() {
  Refresh();
  return impl_->text;
}

bool TProfileFile::TextIsUtf8() {
  Refresh();
  return impl_->text.TextIsUtf8();
}

std::string TProfileFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue) {
  Refresh();
  return impl_->text.ReadString(section, key, defaultValue);
}

std::int32_t TProfileFile::ReadInteger(const std::string& section, const std::string& key,
                                       std::int32_t defaultValue) {
  Refresh();
  return impl_->text.ReadInteger(section, key, defaultValue);
}

bool TProfileFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) {
  Refresh();
  return impl_->text.ReadBool(section, key, defaultValue);
}

bool TProfileFile::SectionExists(const std::string& section) {
  Refresh();
  return impl_->text.SectionExists(section);
}

TProfileFile::TEdit& TProfileFile::TEdit::WriteString(const std::string& section,
                                                      const std::string& key,
                                                      const std::string& value) {
  TProfileText::CheckWritable(section, key, value);
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
  TProfileText text(exists || ec ? ReadTextFile(path, kMaxProfileSize) : std::string());
  if (!text.Editable())
    throw EProfileNotText("Cannot create file \"" + path +
                          "\". The file is neither 8-bit text nor UTF-16LE text and is left as "
                          "it is");
  for (const TValue& v : values_) text.WriteString(v.Section, v.Key, v.Value);
  const std::string& bytes = text.Data();
  WriteFileAtomic(path, Bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
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
