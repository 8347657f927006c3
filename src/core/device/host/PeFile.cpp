// The PE export table reader (see PeFile.h). Layout: the DOS header's u32 at 0x3C leads to
// "PE\0\0", the COFF header (machine, section count, optional header size, characteristics),
// the optional header (its data directory 0 locates the export directory by RVA) and the
// section table, which maps RVAs to file offsets.
#include "device/host/PeFile.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <system_error>

#include "base/Bytes.h"
#include "device/GbpApi.h"

namespace zub {

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kExportDirectorySize = 40;
constexpr std::size_t kMaxNameLength = 512;

struct TSection {
  std::uint32_t va = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawPointer = 0;
};

// Where the bytes at an RVA lie in the file, and how many of them the file holds.
struct TMapped {
  std::size_t offset = 0;
  std::size_t available = 0;
};

class TImage {
 public:
  TImage(Bytes bytes, std::vector<TSection> sections, std::uint32_t headersSize)
      : bytes_(bytes), sections_(std::move(sections)), headersSize_(headersSize) {}

  std::optional<TMapped> Map(std::uint32_t rva) const {
    for (const TSection& s : sections_) {
      if (rva < s.va || rva - s.va >= s.rawSize) continue;
      return Clamp(static_cast<std::uint64_t>(s.rawPointer) + (rva - s.va),
                   s.rawSize - (rva - s.va));
    }
    if (rva < headersSize_) return Clamp(rva, headersSize_ - rva);
    return std::nullopt;
  }

 private:
  std::optional<TMapped> Clamp(std::uint64_t offset, std::uint64_t length) const {
    if (offset >= bytes_.size()) return std::nullopt;
    const std::uint64_t inFile = bytes_.size() - offset;
    return TMapped{static_cast<std::size_t>(offset),
                   static_cast<std::size_t>(std::min(length, inFile))};
  }

  Bytes bytes_;
  std::vector<TSection> sections_;
  std::uint32_t headersSize_;
};

}  // namespace

bool TPeFile::Exports(std::string_view name) const {
  return std::find(exports.begin(), exports.end(), name) != exports.end();
}

std::vector<std::string> MissingEntryPoints(const TPeFile& library) {
  std::vector<std::string> missing;
  for (const gbp::TExportNames& names : gbp::kEntryNames) {
    bool found = false;
    names.ForEach([&](const char* name) { found = found || library.Exports(name); });
    if (!found) missing.emplace_back(names.plain);
  }
  return missing;
}

TPeFile ParsePeFile(std::span<const std::uint8_t> b) {
  TPeFile pe;
  pe.status = TPeStatus::NotPe;
  if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return pe;
  const std::uint32_t peOffset = u32le_or0(b, 0x3C);
  const auto signature = load_u32le(b, peOffset);
  if (!signature || *signature != 0x00004550) return pe;  // "PE\0\0"

  pe.status = TPeStatus::Malformed;
  const std::size_t coff = std::size_t{peOffset} + 4;
  const auto machine = load_u16le(b, coff);
  const auto sectionCount = load_u16le(b, coff + 2);
  const auto optionalSize = load_u16le(b, coff + 16);
  const auto characteristics = load_u16le(b, coff + 18);
  if (!machine || !sectionCount || !optionalSize || !characteristics) return pe;
  pe.machine = *machine;
  pe.dll = (*characteristics & kFileDll) != 0;

  const std::size_t opt = coff + 20;
  if (!FitsAt(b.size(), opt, *optionalSize)) return pe;
  const Bytes optional = b.subspan(opt, *optionalSize);
  const auto magic = load_u16le(optional, 0);
  if (!magic || (*magic != kPe32Magic && *magic != kPe32PlusMagic)) return pe;
  pe.pe32 = *magic == kPe32Magic;
  const std::size_t countAt = pe.pe32 ? 92 : 108;
  const std::size_t directoriesAt = countAt + 4;
  const auto headersSize = load_u32le(optional, 60);
  const auto directoryCount = load_u32le(optional, countAt);
  if (!headersSize || !directoryCount) return pe;

  const std::size_t sectionsAt = opt + *optionalSize;
  if (!FitsAt(b.size(), sectionsAt, std::size_t{*sectionCount} * kSectionHeaderSize)) return pe;
  std::vector<TSection> sections;
  for (std::size_t i = 0; i < *sectionCount; ++i) {
    const std::size_t at = sectionsAt + i * kSectionHeaderSize;
    sections.push_back({u32le_or0(b, at + 12), u32le_or0(b, at + 16), u32le_or0(b, at + 20)});
  }
  const TImage image(b, std::move(sections), *headersSize);

  // The export directory: data directory 0, when the header has one.
  const auto exportRva = *directoryCount >= 1 ? load_u32le(optional, directoriesAt) : std::nullopt;
  if (!exportRva || *exportRva == 0) {
    pe.status = TPeStatus::Ok;  // a library without exports
    return pe;
  }
  const auto dir = image.Map(*exportRva);
  if (!dir || dir->available < kExportDirectorySize) return pe;
  const Bytes directory = b.subspan(dir->offset, kExportDirectorySize);
  const std::uint32_t nameCount = u32le_or0(directory, 24);
  const std::uint32_t namesRva = u32le_or0(directory, 32);
  if (nameCount > 0) {
    const auto table = image.Map(namesRva);
    if (!table || table->available / 4 < nameCount) return pe;
    for (std::uint32_t i = 0; i < nameCount; ++i) {
      const auto name = image.Map(u32le_or0(b, table->offset + std::size_t{i} * 4));
      if (!name) return pe;
      const Bytes text = b.subspan(name->offset, std::min(name->available, kMaxNameLength + 1));
      const auto end = std::find(text.begin(), text.end(), std::uint8_t{0});
      if (end == text.end()) return pe;
      pe.exports.emplace_back(text.begin(), end);
    }
  }
  pe.status = TPeStatus::Ok;
  return pe;
}

TPeFile ReadPeFile(const std::filesystem::path& file, std::uint64_t maxBytes) {
  TPeFile unreadable;
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec || size > maxBytes) return unreadable;
  std::ifstream in(file, std::ios::binary);
  if (!in) return unreadable;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<std::uint64_t>(in.gcount()) != size) return unreadable;
  return ParsePeFile(bytes);
}

}  // namespace zub
