// Reads a Windows library file (PE) far enough to tell whether it is a 32-bit x86 library
// and which names it exports, without loading it: the device component uses this to decide
// whether a library is loaded in-process or served through gbp-host.exe, and to refuse an
// unsuitable one at once. Every field is read bounds-checked from the file's bytes; no count
// in the file is trusted beyond the bytes that back it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zub {

enum class TPeStatus {
  Unreadable,  // the file cannot be read (or is too large for a library)
  NotPe,       // no "MZ" header leading to a "PE\0\0" header: e.g. an ELF library
  Malformed,   // a PE file whose headers or export table do not hold together
  Ok,
};

struct TPeFile {
  TPeStatus status = TPeStatus::Unreadable;
  std::uint16_t machine = 0;         // COFF machine; 0x14C = i386
  bool pe32 = false;                 // a 32-bit optional header (PE32, not PE32+)
  bool dll = false;                  // the image is a library (not a program)
  std::vector<std::string> exports;  // export names in file order

  static constexpr std::uint16_t kMachineI386 = 0x14C;
  bool IsI386Dll() const {
    return status == TPeStatus::Ok && machine == kMachineI386 && pe32 && dll;
  }
  bool Exports(std::string_view name) const;
};

// The device library's entry points the file exports under none of their names (plain,
// "_Name@N" or "Name@N"), in entry-point order.
std::vector<std::string> MissingEntryPoints(const TPeFile& library);

// Parses the bytes of a whole file.
TPeFile ParsePeFile(std::span<const std::uint8_t> image);
// Reads and parses a file; a file above `maxBytes` is Unreadable.
TPeFile ReadPeFile(const std::filesystem::path& file, std::uint64_t maxBytes = 64u << 20);

}  // namespace zub
