#include "Manifest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <set>
#include <system_error>

#include "base/Convert.h"
#include "base/ProfileFile.h"

namespace zub::cli {
namespace {

constexpr const char* kBackup = "Backup";
constexpr const char* kSections = "Sections";

struct TStateRow {
  TSectionState State;
  const char* Name;
};
constexpr TStateRow kStates[] = {
    {TSectionState::Present, "present"},
    {TSectionState::Empty, "empty"},
    {TSectionState::Absent, "absent"},
    {TSectionState::Unreadable, "unreadable"},
};

std::optional<TSectionState> StateByName(std::string_view name) {
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

bool IsSha256Hex(const std::string& text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c)) != 0;
         });
}

}  // namespace

const char* StateName(TSectionState state) {
  for (const auto& row : kStates)
    if (row.State == state) return row.Name;
  return "";
}

std::string SectionFileName(TSectionAddress a) {
  return AddressText(a) + ".bin";
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
    out += "section" + std::to_string(i + 1) + "=" + AddressText(m.Entries[i].Address) + "\n";
  for (const auto& e : m.Entries) {
    out += "\n[" + AddressText(e.Address) + "]\n";
    out += std::string("State=") + StateName(e.State) + "\n";
    out += "Size=" + std::to_string(e.Size) + "\n";
    if (e.State == TSectionState::Present) out += "SHA-256=" + e.Sha256 + "\n";
    if (e.State == TSectionState::Unreadable) out += "Error=" + OneLine(e.Error) + "\n";
  }
  return out;
}

std::optional<TManifest> LoadManifest(const std::filesystem::path& dir, std::string& error) {
  const auto path = dir / kManifestName;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error = "there is no " + std::string(kManifestName) + " in " + dir.string() +
            ", so it is no complete backup";
    return std::nullopt;
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
  std::set<std::pair<int, int>> seen;
  const auto bad = [&](const std::string& what) {
    error = path.string() + ": " + what;
    return std::nullopt;
  };
  for (int n = 1;; ++n) {
    const std::string text = ini.ReadString(kSections, "section" + std::to_string(n), "");
    if (text.empty()) break;
    const auto address = ParseSectionAddress(text);
    if (!address) return bad("section" + std::to_string(n) + "=" + text + " is no section S-SS");
    if (!seen.insert({address->Section, address->SubSection}).second)
      return bad(text + " is listed twice");
    TManifestEntry e;
    e.Address = *address;
    const std::string state = ini.ReadString(text, "State", "");
    const auto parsed = StateByName(state);
    if (!parsed) return bad(text + " has no valid State (\"" + state + "\")");
    e.State = *parsed;
    const auto size = TryStrToInt(ini.ReadString(text, "Size", ""));
    if (!size || *size < 0) return bad(text + " has no valid Size");
    e.Size = static_cast<std::uint64_t>(*size);
    if (e.State == TSectionState::Present) {
      e.Sha256 = ini.ReadString(text, "SHA-256", "");
      if (!IsSha256Hex(e.Sha256)) return bad(text + " has no valid SHA-256");
      std::transform(e.Sha256.begin(), e.Sha256.end(), e.Sha256.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    } else if (e.Size != 0 && e.State != TSectionState::Unreadable) {
      return bad(text + " is " + state + " but has the size " + std::to_string(e.Size));
    }
    e.Error = ini.ReadString(text, "Error", "");
    m.Entries.push_back(std::move(e));
  }
  if (m.Entries.empty()) return bad("lists no section");
  return m;
}

std::string Sha256Hex(Bytes data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 could not be computed");
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
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

}  // namespace zub::cli
