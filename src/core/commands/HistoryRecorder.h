// The recorder of the history of section contents: it keeps every whole section the section
// engine reads or writes, and, when asked to, reads a section before a change whose content
// this run has not seen. Its settings are [History] of the settings file. The files are
// base/HistoryStore.h's; the commands that use them are commands/History.h's.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/HistoryStore.h"
#include "base/ProfileFile.h"
#include "device/SectionContentObserver.h"

namespace zub {

// [History] of the settings file.
struct THistorySettings {
  bool Enabled = true;
  std::filesystem::path Folder;  // empty: no history
  THistoryLimits Limits;
  bool ReadBeforeChange = false;  // read a section whose content is not known before a change
};

inline constexpr const char* kHistorySection = "History";
inline constexpr const char* kReadBeforeChangeKey = "ReadBeforeChange";

// The settings, `defaultFolder` unless Folder= names another; a limit that is no positive
// number keeps its default.
THistorySettings ReadHistorySettings(TProfileFile& ini, const std::filesystem::path& defaultFolder);

class TSectionHistory : public ISectionContentObserver {
 public:
  void Configure(const THistorySettings& settings);
  const THistorySettings& Settings() const { return FSettings; }
  // The store, or nullptr when the history is off.
  THistoryStore* Store() { return FStore ? &*FStore : nullptr; }

  // Names the versions that follow after the command that makes them.
  void SetCommand(std::string command) { FCommand = std::move(command); }

  // What went wrong while keeping versions, since the last call.
  std::vector<std::string> TakeProblems() { return std::exchange(FProblems, {}); }

  void BeforeChange(TNVMSection& nvm, TSectionAddress a) override;
  void OnContent(TNVMSection& nvm, TSectionAddress a, TContentEvent event, Bytes data) override;
  void OnChangeFailed(TSectionAddress a) override { FKnown.erase(a); }

 private:
  THistorySettings FSettings;
  std::optional<THistoryStore> FStore;
  std::string FCommand;
  std::vector<std::string> FProblems;
  // The content of each section as this run last read or wrote it.
  std::map<TSectionAddress, std::string> FKnown;
};

}  // namespace zub
