// The telephone simulator's configuration, read from gbp-sim.ini beside the library file at
// the library's first call and at every InitGBPMode. Anything missing or malformed falls back
// to a telephone on port 1 that answers, keeps its sections in the folder "phone" and has no
// faults.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

namespace zub::sim {

// A section address S-SS packed as S * 256 + SS.
using TSectionKey = int;

constexpr TSectionKey MakeSectionKey(std::uint8_t section, std::uint8_t subSection) {
  return section * 256 + subSection;
}

// "2-18" -> key; nullopt unless both numbers are plain decimal 0..255.
std::optional<TSectionKey> ParseSectionKey(std::string_view text);

// The service-cable library's link when the file does not say otherwise.
inline constexpr std::uint64_t kServiceCableMaxTransfer = 21504;
inline constexpr std::uint64_t kServiceCableBaud = 19200;

// What the K-th call into the library does instead of answering (FailCall=K:...).
struct TCallFault {
  enum class TKind {
    Code,      // answers `code` and does nothing else
    Die,       // does its work, then the call is lost: its process ends (or, loaded into the
               // tool, it answers -5 and says so through ZubSimLastCallLost)
    Hang,      // never returns
    KillTool,  // does its work, then the process it is loaded into is killed
  };
  TKind kind = TKind::Code;
  std::int32_t code = 0;
  bool operator==(const TCallFault&) const = default;
};

struct TSimConfig {
  // [Link]
  std::vector<int> ports{1};
  bool answer = true;
  std::optional<std::int32_t> initResult;
  std::uint64_t baud = 0;         // bit/s, 10 bits a byte; 0 = no delay
  std::uint64_t maxTransfer = 0;  // bytes one read or write may move; 0 = no limit
  // [Memory]
  std::filesystem::path folder = "phone";  // relative to the file's own folder
  std::uint64_t capacity = 0;              // bytes all sections may hold; 0 = no limit
  // [Faults]
  std::map<TSectionKey, std::int32_t> readError;
  std::map<TSectionKey, std::int32_t> sizeError;
  std::map<TSectionKey, std::uint64_t> writeKeep;
  std::map<TSectionKey, std::int32_t> writeFail;  // the write returns the code, the section stays
  std::set<TSectionKey> clearFails;
  // Call number (1-based, every entry point counted since the library was loaded) -> fault.
  std::map<std::uint64_t, TCallFault> failCall;
};

// Parses the text of gbp-sim.ini. `serviceCable` selects the defaults of cte_gbp.dll.
// A relative folder is returned as written; the caller resolves it.
TSimConfig ParseSimConfig(std::string_view text, bool serviceCable);

// Reads and parses `iniFile` (a missing or unreadable file gives the defaults) and resolves
// the folder against the file's own folder.
TSimConfig LoadSimConfig(const std::filesystem::path& iniFile, bool serviceCable);

}  // namespace zub::sim
