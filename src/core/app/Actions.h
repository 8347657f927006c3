// The main window's actions and the rule that enables them in the grid's context menu.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zub {

enum class TActionId {
  RefreshAction,
  ClearAction,
  UploadAction,
  PlayGIFAction,
  DownloadAction,
  GetPrefAction,
  SetPrefAction,
  ConvertAction,
  UploadLZOAction,
  DownloadSaveAction,
  UploadSaveAction,
  EraseSaveAction,
};
inline constexpr int kActionCount = 12;

// ActionList1 in its order.
inline constexpr std::array<TActionId, kActionCount> kAllActions = {
    TActionId::RefreshAction,      TActionId::ClearAction,      TActionId::UploadAction,
    TActionId::PlayGIFAction,      TActionId::DownloadAction,   TActionId::GetPrefAction,
    TActionId::SetPrefAction,      TActionId::ConvertAction,    TActionId::UploadLZOAction,
    TActionId::DownloadSaveAction, TActionId::UploadSaveAction, TActionId::EraseSaveAction,
};

// PopupMenu1, top to bottom.
inline constexpr std::array<TActionId, 10> kMenuOrder = {
    TActionId::RefreshAction,   TActionId::UploadAction,       TActionId::UploadLZOAction,
    TActionId::ClearAction,     TActionId::DownloadAction,     TActionId::PlayGIFAction,
    TActionId::ConvertAction,   TActionId::UploadSaveAction,   TActionId::DownloadSaveAction,
    TActionId::EraseSaveAction,
};

std::string_view ActionName(TActionId id);     // "UploadAction"
std::string_view ActionCaption(TActionId id);  // "Upload"
std::optional<TActionId> ActionByName(std::string_view name);

using TActionSet = std::bitset<kActionCount>;

inline TActionSet::reference At(TActionSet& set, TActionId id) {
  return set[static_cast<std::size_t>(id)];
}
inline bool Has(const TActionSet& set, TActionId id) { return set[static_cast<std::size_t>(id)]; }

// The section actions the context menu enables for a row of this content kind and format.
TActionSet MenuActionsFor(std::int32_t kind, std::uint32_t format);

}  // namespace zub
