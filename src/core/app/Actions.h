// The main window's actions and buttons. One table (Actions.cpp) holds, per action, its id,
// object name, caption, handler, place in the grid's context menu or the menu bar's Telephone
// menu and the content kinds it is enabled for; the lists below and the dispatch are all read
// from it. Adding a command means
// adding its id here and its row there; the compiler checks that every id has its row.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <string_view>

#include "formats/SectInfo.h"

namespace zub {

class TManager;

// ActionList1 in its order.
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
  // The Telephone menu: the safety net (commands/SafetyNet.h).
  BackupAction,
  VerifyAction,
  RestoreAction,
  HistoryAction,  // the tool's own: the section's earlier contents
  Count_,         // not an action: the number of actions
};
inline constexpr int kActionCount = static_cast<int>(TActionId::Count_);
inline constexpr int kMenuItemCount = 10;
inline constexpr int kTelephoneMenuCount = 3;

// Every action in ActionList1's order, PopupMenu1's items top to bottom, and the Telephone
// menu's.
extern const std::array<TActionId, kActionCount> kAllActions;
extern const std::array<TActionId, kMenuItemCount> kMenuOrder;
extern const std::array<TActionId, kTelephoneMenuCount> kTelephoneMenuOrder;
// The items the tool adds below PopupMenu1's, after a separator; enabled for every row.
inline constexpr std::array<TActionId, 1> kToolMenuItems = {TActionId::HistoryAction};

std::string_view ActionName(TActionId id);     // "UploadAction"
std::string_view ActionCaption(TActionId id);  // "Upload" (UTF-8)
std::optional<TActionId> ActionByName(std::string_view name);

using TActionSet = std::bitset<kActionCount>;

inline TActionSet::reference At(TActionSet& set, TActionId id) {
  return set[static_cast<std::size_t>(id)];
}
inline bool Has(const TActionSet& set, TActionId id) {
  return set[static_cast<std::size_t>(id)];
}

// The section actions the context menu enables for a row of this content kind and format.
TActionSet MenuActionsFor(TSectKind kind, std::uint32_t format);

// Executes an action of ActionList1, enabled or not.
void ExecuteAction(TManager& m, TActionId id);
// Clicks a main window button by its object name ("Button5"), visible or not; false when the
// window has no such button.
bool ClickButton(TManager& m, std::string_view name);
// The same by number: Button1 .. Button10.
void ClickButton(TManager& m, int number);

}  // namespace zub
