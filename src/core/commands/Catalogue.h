// The section list the grid starts from: the settings' list of sections ([Sections]
// section1, section2, ...) with each section's description and size limit from the catalogue
// (SECTIONS.INI). Built from the two files' texts in memory, so the settings load and anyone
// holding the texts already get the same rows.
#pragma once

#include <vector>

#include "base/ProfileText.h"
#include "formats/SectInfo.h"

namespace zub {

// Row 0 is the title row's placeholder; then one row per key up to the first missing or
// empty one, a key that is not a number skipped. A row has the key's value shifted right by
// 8 for its section and its low 8 bits for its sub-section, the catalogue's "Description"
// (default "Free", as UTF-8) and "MaxSize" (default 65535, kept to 16 bits), no size and no
// icon yet.
std::vector<TSectInfo> BuildCatalogue(const TProfileText& settings, const TProfileText& catalogue);

}  // namespace zub
