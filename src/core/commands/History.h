// The commands of the history of section contents: list a section's versions, write one back
// and apply the limits, and the window's "History..." that does the first two. What is kept,
// and how, is commands/HistoryRecorder.h's.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "base/HistoryStore.h"
#include "commands/SectionEngine.h"
#include "formats/SectInfo.h"

namespace zub {

class TCoreState;

// One version as the lists show it; Number 1 is the newest.
struct THistoryVersion {
  int Number = 0;
  THistoryEntry Entry;
  std::string What;  // what the content is, as the scan names a section's content
};

struct THistoryListing {
  std::vector<THistoryVersion> Versions;  // newest first
  std::vector<std::string> Problems;
};

THistoryListing ListHistory(TCoreState& m, TSectionAddress a);

// Writes version `number` of the section back through the write-then-read-back step (an empty
// version by erasing); nullopt when the section then holds it. `row`, when given, is scanned
// again on the same connection.
std::optional<TStepError> RestoreHistoryVersion(TCoreState& m, TSectionAddress a, int number,
                                                const std::atomic<bool>* stop = nullptr,
                                                TSectInfo* row = nullptr);

// Applies the limits now; what went wrong.
std::vector<std::string> PruneHistory(TCoreState& m);

// The row's "History..." in the window.
void HistoryActionExecute(TCoreState& m);

}  // namespace zub
