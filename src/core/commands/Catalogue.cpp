// The section list from the settings' list and the catalogue's entries.
#include "commands/Catalogue.h"

#include <cstdint>
#include <string>

#include "base/Convert.h"
#include "base/Cp1251.h"

namespace zub {

std::vector<TSectInfo> BuildCatalogue(const TProfileText& settings, const TProfileText& catalogue) {
  std::vector<TSectInfo> rows(1);  // the title row's placeholder
  for (int n = 1;; ++n) {
    const std::string keyText = settings.ReadString("Sections", "section" + std::to_string(n), "");
    if (keyText.empty()) break;
    // A key that is not a number names no section: it is skipped, the list goes on.
    const auto key = TryStrToInt(keyText);
    if (!key) continue;
    TSectInfo e;
    e.Section = *key >> 8;
    e.SubSection = *key & 255;
    e.MaxSize = static_cast<std::uint16_t>(catalogue.ReadInteger(keyText, "MaxSize", 65535));
    e.Description = SettingsTextToUtf8(catalogue.ReadString(keyText, "Description", "Free"),
                                       catalogue.TextIsUtf8());
    e.Size = 0;
    e.Icon = -1;
    rows.push_back(std::move(e));
  }
  return rows;
}

}  // namespace zub
