// zub history: a section's kept versions, one written back, or the limits applied now. The
// history itself and the write-back are the core's (commands/History.h); this prints.
#include <iostream>

#include "Commands.h"
#include "commands/History.h"

namespace zub::cli {
namespace {

void Warn(const std::vector<std::string>& problems) {
  for (const std::string& p : problems) std::cerr << "zub: warning: " << p << "\n";
}

THistoryStore& StoreOrFail(TCliSession& session) {
  THistoryStore* store = session.Core().History.Store();
  if (!store)
    throw ECommandFailed(kExitFailed,
                         "the history is turned off (no folder, or [History] Enabled=0)");
  return *store;
}

}  // namespace

int RunHistory(const TCliArgs& args, TCliSession& session) {
  TManager& m = session.Core();
  const THistoryStore& store = StoreOrFail(session);
  if (args.Prune) {
    const auto problems = PruneHistory(m);
    Warn(problems);
    const THistoryLimits& limits = m.History.Settings().Limits;
    PrintLine("history pruned to " + std::to_string(limits.Versions) + " versions per section, " +
              std::to_string(limits.MaxBytes >> 20) + " MiB in all: " + store.Folder().string());
    return kExitOk;
  }
  const TSectionAddress a = *args.Address;
  if (args.RestoreVersion) {
    m.History.SetCommand("zub history --restore");
    if (const auto error = RestoreHistoryVersion(m, a, *args.RestoreVersion, &StopFlag()))
      session.Fail(*error, "cannot write version " + std::to_string(*args.RestoreVersion) +
                               " back into section " + a.Text());
    PrintLine(a.Text() + ": version " + std::to_string(*args.RestoreVersion) +
              " written back and verified");
    return kExitOk;
  }
  const THistoryListing listing = ListHistory(m, a);
  Warn(listing.Problems);
  if (listing.Versions.empty()) PrintLine(a.Text() + ": no versions kept");
  for (const THistoryVersion& v : listing.Versions) {
    const THistoryEntry& e = v.Entry;
    PrintLine(std::to_string(v.Number) + "  " + e.Time + "  " +
              (e.Direction == THistoryDirection::Read ? "read   " : "written") + "  " +
              std::to_string(e.Size) + " bytes  " + e.Command + "  " + v.What + "  (" + e.Cable +
              ", " + e.Port + ")  " + e.Hash.substr(0, 12));
  }
  return kExitOk;
}

}  // namespace zub::cli
