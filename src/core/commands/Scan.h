// The section scan: the size and the head of one section, classified into its row. Full
// Refresh scans every catalogue row, Refresh the current one; the commands that change a
// section scan it again before they close the connection.
#pragma once

#include <cstdint>

#include "commands/CoreState.h"
#include "formats/SectInfo.h"

namespace zub {

// Scans one row on an open connection. Returns the section's size (0 when empty or absent),
// or the negative device result after its own "ERROR" box; a failed scan leaves the row as it
// was.
std::int32_t ScanSection(TCoreState& m, TSectInfo& row);

// "Full Refresh": scans rows 1 to the last on one connection.
void Button1Click(TCoreState& m);

// "Refresh" in the context menu: scans the current row.
void RefreshActionExecute(TCoreState& m);

}  // namespace zub
