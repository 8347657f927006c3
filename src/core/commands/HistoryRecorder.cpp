#include "commands/HistoryRecorder.h"

#include "commands/SectionEngine.h"
#include "device/NVMSection.h"

namespace zub {
namespace {

constexpr int kDefaultVersions = 20;
constexpr int kDefaultMaxMB = 256;

}  // namespace

THistorySettings ReadHistorySettings(TProfileFile& ini,
                                     const std::filesystem::path& defaultFolder) {
  THistorySettings s;
  s.Enabled = ini.ReadBool(kHistorySection, "Enabled", true);
  const std::string folder = ini.ReadString(kHistorySection, "Folder", "");
  s.Folder = folder.empty() ? defaultFolder : std::filesystem::path(folder);
  const int versions = ini.ReadInteger(kHistorySection, "Versions", kDefaultVersions);
  s.Limits.Versions = static_cast<std::size_t>(versions > 0 ? versions : kDefaultVersions);
  const int maxMB = ini.ReadInteger(kHistorySection, "MaxMB", kDefaultMaxMB);
  s.Limits.MaxBytes = static_cast<std::uint64_t>(maxMB > 0 ? maxMB : kDefaultMaxMB) << 20;
  s.ReadBeforeChange = ini.ReadBool(kHistorySection, kReadBeforeChangeKey, false);
  return s;
}

void TSectionHistory::Configure(const THistorySettings& settings) {
  FSettings = settings;
  if (!settings.Enabled || settings.Folder.empty())
    FStore.reset();
  else if (!FStore || FStore->Folder() != settings.Folder)
    FStore.emplace(settings.Folder);
}

void TSectionHistory::BeforeChange(TNVMSection& nvm, TSectionAddress a) {
  if (!FStore || !FSettings.ReadBeforeChange || FKnown.count(a)) return;
  const TSizeAnswer sized = AskSize(nvm, a);
  if (sized.HasData())
    ReadSized(nvm, a, sized.Size);  // the engine tells the content back (OnContent)
  else if (sized.State == TSizeState::Empty || sized.State == TSizeState::Absent)
    OnContent(nvm, a, TContentEvent::Read, {});
}

void TSectionHistory::OnContent(TNVMSection& nvm, TSectionAddress a, TContentEvent event,
                                Bytes data) {
  if (!FStore) return;
  THistoryEntry e;
  e.Time = HistoryTimeNow();
  e.Command = FCommand.empty() ? "-" : FCommand;
  e.Direction = event == TContentEvent::Read ? THistoryDirection::Read : THistoryDirection::Written;
  e.Cable = nvm.CTEMode() ? "service cable" : "data cable";
  e.Port = "COM" + std::to_string(static_cast<int>(nvm.COMPort()) + 1);
  FKnown[a] = FStore->Add(a, std::move(e), data, FSettings.Limits, FProblems);
}

}  // namespace zub
