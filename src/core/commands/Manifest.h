// The manifest of a backup folder, manifest.ini: what was backed up from which telephone link,
// and per section its state, size and SHA-256. Each section that held data lies beside it as
// S-SS.bin. The manifest is written last, so a folder without one is no complete backup. It is
// a profile file, read through the same profile layer as the settings:
//
//   [Backup]     Tool, Date (ISO 8601, UTC), Cable (data/service), Library, Port, Scope
//   [Sections]   section1=S-SS, section2=S-SS, ... numbered without a gap
//   [S-SS]       State (present/empty/absent/unreadable), Size, SHA-256 (present), Error
//
// A manifest that does not say clearly what to restore is refused as damaged, naming the
// entry: a gap in the numbering, a section listed twice, a state, size or SHA-256 it cannot
// read, a size beyond what the tool writes into a section.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/SectionAddress.h"

namespace zub {

inline constexpr const char* kManifestName = "manifest.ini";

enum class TBackupState {
  Present,     // held data: S-SS.bin
  Empty,       // size 0
  Absent,      // no such section (-153 / -5)
  Unreadable,  // could not be read when backed up: no file, nothing to restore
};

const char* StateName(TBackupState state);  // "present", "empty", "absent", "unreadable"

struct TManifestEntry {
  TSectionAddress Address;
  TBackupState State = TBackupState::Empty;
  std::uint64_t Size = 0;
  std::string Sha256;  // 64 lower-case hexadecimal digits, Present only
  std::string Error;   // Unreadable only: why
};

struct TManifest {
  std::string Tool;   // "zub 3.0"
  std::string Date;   // ISO 8601, UTC
  std::string Cable;  // "data" or "service"
  std::string Library;
  int Port = 1;
  std::string Scope;  // "catalogue" or "all"
  std::vector<TManifestEntry> Entries;
};

// "S-SS.bin".
std::string SectionFileName(TSectionAddress a);

// The manifest's text, ready to be written.
std::string ManifestText(const TManifest& manifest);

// Reads DIR/manifest.ini. A missing file, one that is a link, or any entry it cannot read is
// an error: the sentence, naming the entry, goes to `error`.
std::optional<TManifest> LoadManifest(const std::filesystem::path& dir, std::string& error);

// "2025-01-31T12:00:00Z" for now.
std::string UtcNowIso8601();

}  // namespace zub
