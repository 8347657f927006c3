// The section scan: the size and the head of one section, classified into its row. Full
// Refresh scans every catalogue row, Refresh the current one; the commands that change a
// section scan it again before they close the connection.
#pragma once

#include <cstdint>
#include <optional>

#include "commands/CoreState.h"
#include "commands/SectionEngine.h"
#include "formats/SectInfo.h"

namespace zub {

struct TScanResult {
  // The section's size (0 when empty or absent), or the negative device answer.
  std::int32_t Size = 0;
  // Why the scan failed: the window's box text ("Error getting section 2-5 size", "Error
  // reading section 2-5") for a refused answer; LinkLost or Stopped from a watched link.
  std::optional<TStepError> Error;
};

// Scans one row on an open connection without showing anything but the status line; a failed
// scan leaves the row as it was. With `link` the size query is watched and the run's stop
// flag is looked at (see TSectionLink).
TScanResult ScanRow(TCoreState& m, TSectInfo& row, TSectionLink* link = nullptr);

// The window's scan of one row: ScanRow, with its "ERROR" box when it fails. Returns the size,
// or the negative device result.
std::int32_t ScanSection(TCoreState& m, TSectInfo& row);

// "Full Refresh": scans rows 1 to the last on one connection. A telephone that falls silent
// stops it there: the rows not reached keep what they showed.
void Button1Click(TCoreState& m);

// "Refresh" in the context menu: scans the current row.
void RefreshActionExecute(TCoreState& m);

}  // namespace zub
