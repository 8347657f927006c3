// The history of section contents on the disk. Every content is kept once, in a file named by
// its SHA-256 (objects/<hash>), however many versions of however many sections it is; each
// section has an index (S-SS.index), one version a line, oldest first:
//
//   TIME<TAB>COMMAND<TAB>read|written<TAB>SIZE<TAB>HASH<TAB>CABLE<TAB>PORT
//
// TIME is UTC ("2026-12-09T04:37:00.123Z"). Files are replaced whole, by a rename, so a
// stopped write never leaves half an index. A line that does not parse is reported and kept
// as it is; a content file that is missing or does not hash to its name is reported and its
// version cannot be written back. Nothing here is fatal: every failure becomes a sentence in
// the caller's list of problems.
//
// The last version in a section's index is what the telephone held when the tool last saw it;
// the limits never remove it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "base/SectionAddress.h"

namespace zub {

enum class THistoryDirection { Read, Written };

struct THistoryEntry {
  std::string Time;     // UTC, as above
  std::string Command;  // what the user ran ("Upload", "zub write")
  THistoryDirection Direction = THistoryDirection::Read;
  std::uint64_t Size = 0;
  std::string Hash;   // SHA-256 of the content, lower-case hexadecimal
  std::string Cable;  // "gbp.dll" or "cte_gbp.dll"
  std::string Port;   // "COM1".."COM4"
};

struct THistoryLimits {
  std::size_t Versions = 20;                          // per section
  std::uint64_t MaxBytes = std::uint64_t{256} << 20;  // all content files together
};

// The index line of an entry, and back (nullopt: the line is damaged).
std::string HistoryIndexLine(const THistoryEntry& e);
std::optional<THistoryEntry> ParseHistoryIndexLine(const std::string& line);
// Now, in the index's form.
std::string HistoryTimeNow();

class THistoryStore {
 public:
  explicit THistoryStore(std::filesystem::path folder) : folder_(std::move(folder)) {}
  const std::filesystem::path& Folder() const { return folder_; }

  // Adds a version of the section, unless its content is the section's last version already.
  // The section's oldest versions beyond the limit go, then, when all contents together
  // exceed the size limit, the oldest versions of every section. Gives the content's hash.
  std::string Add(TSectionAddress a, THistoryEntry e, Bytes data, const THistoryLimits& limits,
                  std::vector<std::string>& problems);
  // The section's versions, oldest first.
  std::vector<THistoryEntry> List(TSectionAddress a, std::vector<std::string>& problems) const;
  // The bytes of a content, checked against its hash; nullopt after a problem.
  std::optional<std::vector<std::uint8_t>> Content(const std::string& hash,
                                                   std::vector<std::string>& problems) const;
  // The first `n` bytes of a version's content, when its file is there and of its size.
  std::optional<std::vector<std::uint8_t>> ContentHead(const THistoryEntry& e, std::size_t n,
                                                       std::vector<std::string>& problems) const;
  // Applies the limits to every section now and removes content files no version names.
  void Prune(const THistoryLimits& limits, std::vector<std::string>& problems);
  // The sections that have an index.
  std::vector<TSectionAddress> Sections() const;

 private:
  struct TLine {
    std::optional<THistoryEntry> Entry;
    std::string Raw;
  };
  struct TIndex {
    TSectionAddress Address;
    std::vector<TLine> Lines;
    bool Changed = false;
  };

  std::filesystem::path IndexPath(TSectionAddress a) const;
  std::filesystem::path ObjectPath(const std::string& hash) const;
  TIndex Load(TSectionAddress a, std::vector<std::string>& problems) const;
  void Save(const TIndex& index, std::vector<std::string>& problems) const;
  // Drops the oldest versions beyond `versions`, never the last.
  static void KeepNewest(TIndex& index, std::size_t versions);
  // Applies both limits over these indexes (every section's), saves the changed ones and
  // removes the content files none of them names.
  void Enforce(std::vector<TIndex>& all, const THistoryLimits& limits,
               std::vector<std::string>& problems);
  std::vector<TIndex> LoadAll(std::vector<std::string>& problems) const;

  std::filesystem::path folder_;
  // The size of every content file together, once known (counted at the first need).
  std::optional<std::uint64_t> total_;
};

}  // namespace zub
