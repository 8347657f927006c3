#include "commands/Manifest.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <set>
#include <system_error>

#include "base/Convert.h"
#include "base/FileIO.h"
#include "base/ProfileFile.h"
#include "base/Sha256.h"
#include "base/TextLines.h"
#include "commands/SectionEngine.h"

namespace zub {
namespace {

constexpr const char* kBackup = "Backup";
constexpr const char* kSections = "Sections";
// Room for every section there is (65,536 entries of some 150 bytes each).
constexpr std::size_t kMaxManifestSize = std::size_t{32} << 20;

struct TStateRow {
  TBackupState State;
  const char* Name;
};
constexpr TStateRow kStates[] = {
    {TBackupState::Present, "present"},
    {TBackupState::Empty, "empty"},
    {TBackupState::Absent, "absent"},
    {TBackupState::Unreadable, "unreadable"},
};

std::optional<TBackupState> StateByName(std::string_view name) {
  for (const auto& row : kStates)
    if (name == row.Name) return row.State;
  return std::nullopt;
}

// A value on one line: line breaks would end the key.
std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return text;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

// The numbers N of every key "sectionN" in [Sections], read from the text itself: the profile
// layer answers only for keys it is asked about, and a numbering with a gap must not hide the
// entries after it.
std::set<long> ListedNumbers(const std::string& text) {
  std::set<long> numbers;
  bool inSections = false;
  for (const std::string& raw : SplitLines(text)) {
    const std::string line = Trimmed(raw);
    if (line.starts_with("[")) {
      inSections = Lower(line) == "[sections]";
      continue;
    }
    const auto eq = line.find('=');
    if (!inSections || eq == std::string::npos) continue;
    const std::string key = Lower(Trimmed(line.substr(0, eq)));
    if (!key.starts_with("section") || key.size() == 7 || key.size() > 16) continue;
    if (!std::all_of(key.begin() + 7, key.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    numbers.insert(std::stol(key.substr(7)));
  }
  return numbers;
}

}  // namespace

const char* StateName(TBackupState state) {
  for (const auto& row : kStates)
    if (row.State == state) return row.Name;
  return "";
}

std::string SectionFileName(TSectionAddress a) {
  return a.Text() + ".bin";
}

std::string ManifestText(const TManifest& m) {
  std::string out =
      "; zub backup. Each section that held data is the file S-SS.bin beside this one; this\n"
      "; file is written last and records every section's state, size and SHA-256.\n";
  out += "[Backup]\n";
  out += "Tool=" + OneLine(m.Tool) + "\n";
  out += "Date=" + OneLine(m.Date) + "\n";
  out += "Cable=" + OneLine(m.Cable) + "\n";
  out += "Library=" + OneLine(m.Library) + "\n";
  out += "Port=" + std::to_string(m.Port) + "\n";
  out += "Scope=" + OneLine(m.Scope) + "\n";
  out += "\n[Sections]\n";
  for (std::size_t i = 0; i < m.Entries.size(); ++i)
    out += "section" + std::to_string(i + 1) + "=" + m.Entries[i].Address.Text() + "\n";
  for (const auto& e : m.Entries) {
    out += "\n[" + e.Address.Text() + "]\n";
    out += std::string("State=") + StateName(e.State) + "\n";
    out += "Size=" + std::to_string(e.Size) + "\n";
    if (e.State == TBackupState::Present) out += "SHA-256=" + e.Sha256 + "\n";
    if (e.State == TBackupState::Unreadable) out += "Error=" + OneLine(e.Error) + "\n";
  }
  return out;
}

std::optional<TManifest> LoadManifest(const std::filesystem::path& dir, std::string& error) {
  const auto path = dir / kManifestName;
  std::error_code ec;
  const auto type = std::filesystem::symlink_status(path, ec).type();
  if (type == std::filesystem::file_type::not_found) {
    error = "there is no " + std::string(kManifestName) + " in " + dir.string() +
            ", so it is no complete backup";
    return std::nullopt;
  }
  const auto bad = [&](const std::string& what) {
    error = "the backup in " + dir.string() + " is damaged: " + kManifestName + ": " + what;
    return std::nullopt;
  };
  if (type != std::filesystem::file_type::regular) return bad("it is a link or no regular file");
  std::string raw;
  try {
    raw = ReadTextFile(path.string(), kMaxManifestSize);
  } catch (const EFileError& e) {
    return bad(e.what());
  }

  TProfileFile ini(path);
  const TProfileFile::THold hold(ini);
  TManifest m;
  m.Tool = ini.ReadString(kBackup, "Tool", "");
  m.Date = ini.ReadString(kBackup, "Date", "");
  m.Cable = ini.ReadString(kBackup, "Cable", "");
  m.Library = ini.ReadString(kBackup, "Library", "");
  m.Port = ini.ReadInteger(kBackup, "Port", 0);
  m.Scope = ini.ReadString(kBackup, "Scope", "");
  std::set<TSectionAddress> seen;
  long n = 1;
  for (;; ++n) {
    const std::string key = "section" + std::to_string(n);
    const std::string text = ini.ReadString(kSections, key, "");
    if (text.empty()) break;
    const auto address = ParseSectionAddress(text);
    if (!address) return bad(key + "=" + text + " is no section S-SS");
    if (!seen.insert(*address).second) return bad(text + " is listed twice");
    TManifestEntry e;
    e.Address = *address;
    const std::string state = ini.ReadString(text, "State", "");
    const auto parsed = StateByName(state);
    if (!parsed) return bad(text + " has no valid State (\"" + state + "\")");
    e.State = *parsed;
    const auto size = TryStrToInt(ini.ReadString(text, "Size", ""));
    if (!size || *size < 0) return bad(text + " has no valid Size");
    e.Size = static_cast<std::uint64_t>(*size);
    if (e.Size > kMaxSectionBytes)
      return bad(text + " has the size " + std::to_string(e.Size) + ", more than the " +
                 std::to_string(kMaxSectionBytes >> 20) + " MiB a section may hold");
    if (e.State == TBackupState::Present) {
      e.Sha256 = Lower(ini.ReadString(text, "SHA-256", ""));
      if (!IsSha256Hex(e.Sha256)) return bad(text + " has no valid SHA-256");
    } else if (e.Size != 0 && e.State != TBackupState::Unreadable) {
      return bad(text + " is " + state + " but has the size " + std::to_string(e.Size));
    }
    e.Error = ini.ReadString(text, "Error", "");
    m.Entries.push_back(std::move(e));
  }
  // Every key after a missing number would be lost without a word.
  const std::set<long> listed = ListedNumbers(raw);
  if (const auto after = listed.upper_bound(n - 1); after != listed.end())
    return bad("section" + std::to_string(n) + " is missing, but section" + std::to_string(*after) +
               " follows");
  if (m.Entries.empty()) return bad("lists no section");
  return m;
}

std::string UtcNowIso8601() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#if defined(_WIN32)
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace zub
