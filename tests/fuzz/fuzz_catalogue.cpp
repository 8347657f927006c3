// BuildCatalogue, the section list the settings load builds once it has read the two files,
// over any program settings file and any SECTIONS.INI, both in memory.
//
// Input: Byte flags (bit 0: the settings file is built from a key list), Chunk SECTIONS.INI
// contents, then the settings file's contents, or the list: one key value per line (the first
// 32 lines; a list of hundreds would cost its input a millisecond and find nothing a short one
// does not), where a line "!" leaves that number out (a gap) and other characters than digits,
// hexadecimal letters, "x", "X", "$", "+", "-" and blanks are dropped.
//
// The rows are the header placeholder and one row per catalogue key up to the first missing or
// empty one, skipping keys that are no integers; each row's numbers are the key's value
// shifted right by 8 and its low 8 bits, its texts come from SECTIONS.INI (as UTF-8), and there is
// no row beyond the list.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/Convert.h"
#include "base/Cp1251.h"
#include "base/ProfileText.h"
#include "commands/Catalogue.h"

using namespace zub;
using zub::fuzz::TFuzzInput;

namespace {

constexpr std::size_t kLongestList = 32;

std::string KeyText(std::string_view line) {
  std::string out;
  for (char c : line)
    if (std::string_view("0123456789abcdefABCDEFxX$+- ").find(c) != std::string_view::npos)
      out.push_back(c);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzInput in(data, size);
  const bool listed = (in.Byte() & 1) != 0;
  const Bytes sectionsIni = in.Chunk();
  const Bytes rest = in.Rest();

  // The values the list gives, in order, up to its first empty one.
  std::vector<std::string> written;
  std::string settingsBytes;
  if (listed) {
    settingsBytes = "[Sections]\r\n";
    std::size_t number = 0;
    std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
    bool open = true;
    while (!text.empty() && number < kLongestList) {
      const auto eol = text.find('\n');
      const std::string_view line = text.substr(0, eol);
      text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
      ++number;
      if (line == "!") {
        open = false;  // a gap ends the list
        continue;
      }
      const std::string value = KeyText(line);
      settingsBytes += "section" + std::to_string(number) + "=" + value + "\r\n";
      // Blanks around a value are not part of it.
      const auto first = value.find_first_not_of(' ');
      const std::string trimmed =
          first == std::string::npos ? ""
                                     : value.substr(first, value.find_last_not_of(' ') + 1 - first);
      if (trimmed.empty()) open = false;
      if (open) written.push_back(trimmed);
    }
  } else {
    settingsBytes.assign(rest.begin(), rest.end());
  }

  const TProfileText settings(settingsBytes);
  const TProfileText catalogue(std::string(sectionsIni.begin(), sectionsIni.end()));
  const std::vector<TSectInfo> rows = BuildCatalogue(settings, catalogue);

  // The list as the settings file gives it.
  std::vector<std::string> keys;
  for (int n = 1;; ++n) {
    const std::string v = settings.ReadString("Sections", "section" + std::to_string(n), "");
    if (v.empty()) break;
    keys.push_back(v);
  }
  if (listed) ZUB_CHECK(keys == written);

  ZUB_CHECK(!rows.empty());
  const TSectInfo& header = rows[0];
  ZUB_CHECK(header.Section == 0 && header.SubSection == 0 && header.Title.empty() &&
            header.Description.empty() && header.Size == 0 && header.MaxSize == 0);

  std::size_t r = 1;
  for (const std::string& text : keys) {
    const auto key = TryStrToInt(text);
    if (!key) continue;
    ZUB_CHECK(r < rows.size());
    const TSectInfo& row = rows[r++];
    ZUB_CHECK(row.Section == (*key >> 8));
    ZUB_CHECK(row.SubSection == (*key & 255));
    ZUB_CHECK(row.Description ==
              SettingsTextToUtf8(catalogue.ReadString(text, "Description", "Free"),
                                 catalogue.TextIsUtf8()));
    ZUB_CHECK(row.MaxSize ==
              static_cast<std::uint16_t>(catalogue.ReadInteger(text, "MaxSize", 65535)));
    ZUB_CHECK(row.Size == 0 && row.Icon == -1 && row.Kind == skEmpty && row.Format == 0 &&
              row.Compression == 0 && row.UnpackedSize == 0 && row.Title.empty());
  }
  ZUB_CHECK(r == rows.size());
  return 0;
}
