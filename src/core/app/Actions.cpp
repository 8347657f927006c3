#include "app/Actions.h"

namespace zub {
namespace {

struct ActionText {
  TActionId id;
  std::string_view name;
  std::string_view caption;
};

constexpr ActionText kTexts[] = {
    {TActionId::RefreshAction, "RefreshAction", "Refresh"},
    {TActionId::ClearAction, "ClearAction", "Clear"},
    {TActionId::UploadAction, "UploadAction", "Upload"},
    {TActionId::PlayGIFAction, "PlayGIFAction", "Play GIF"},
    {TActionId::DownloadAction, "DownloadAction", "Download"},
    {TActionId::GetPrefAction, "GetPrefAction", "Get Preferences"},
    {TActionId::SetPrefAction, "SetPrefAction", "SetPrefAction"},
    {TActionId::ConvertAction, "ConvertAction", "Convert to UFIF2.1"},
    {TActionId::UploadLZOAction, "UploadLZOAction", "Upload LZO-Compressed"},
    {TActionId::DownloadSaveAction, "DownloadSaveAction", "Download Save Slot"},
    {TActionId::UploadSaveAction, "UploadSaveAction", "Upload Save Slot"},
    {TActionId::EraseSaveAction, "EraseSaveAction", "Erase Save Slot"},
};

}  // namespace

std::string_view ActionName(TActionId id) { return kTexts[static_cast<int>(id)].name; }
std::string_view ActionCaption(TActionId id) { return kTexts[static_cast<int>(id)].caption; }

std::optional<TActionId> ActionByName(std::string_view name) {
  for (const auto& t : kTexts)
    if (t.name == name) return t.id;
  return std::nullopt;
}

TActionSet MenuActionsFor(std::int32_t kind, std::uint32_t format) {
  using A = TActionId;
  TActionSet s;
  auto on = [&s](std::initializer_list<A> ids) {
    for (A id : ids) At(s, id) = true;
  };
  switch (kind) {
    case 0:
      on({A::RefreshAction, A::UploadAction, A::UploadSaveAction, A::UploadLZOAction});
      break;
    case 1:
      on({A::RefreshAction, A::ClearAction, A::UploadAction, A::UploadSaveAction,
          A::UploadLZOAction, A::DownloadAction, A::DownloadSaveAction, A::EraseSaveAction});
      if (format == 0x20000000u) on({A::ConvertAction});
      break;
    case 3:
      on({A::RefreshAction, A::ClearAction, A::UploadAction, A::UploadLZOAction,
          A::PlayGIFAction, A::DownloadAction});
      break;
    case 4:
      on({A::RefreshAction, A::ClearAction, A::UploadAction, A::UploadSaveAction,
          A::UploadLZOAction, A::DownloadAction, A::DownloadSaveAction, A::EraseSaveAction});
      break;
    default:
      break;
  }
  return s;
}

}  // namespace zub
