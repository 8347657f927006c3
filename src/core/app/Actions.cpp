#include "app/Actions.h"

#include <string>

#include "app/Manager.h"
#include "commands/Conversion.h"
#include "commands/History.h"
#include "commands/LibraryUpload.h"
#include "commands/LzoUpload.h"
#include "commands/Maintenance.h"
#include "commands/Preferences.h"
#include "commands/SafetyNet.h"
#include "commands/SaveSlotCommands.h"
#include "commands/Scan.h"
#include "commands/Transfer.h"
#include "formats/Magic.h"

namespace zub {
namespace {

using THandler = void (*)(TManager&);

// The content kinds a context-menu action is enabled for.
constexpr unsigned Kinds(std::initializer_list<TSectKind> kinds) {
  unsigned mask = 0;
  for (TSectKind k : kinds) mask |= 1u << static_cast<unsigned>(k);
  return mask;
}
constexpr unsigned kNoKind = 0;
constexpr unsigned kAnyKind = Kinds({skEmpty, skProgram, skGIF, skData});
constexpr unsigned kFilled = Kinds({skProgram, skGIF, skData});
constexpr unsigned kHoldsSaves = Kinds({skProgram, skData});

struct TActionRow {
  TActionId Id;
  std::string_view Name;
  std::string_view Caption;
  THandler Handler;
  int MenuPosition;  // -1: not in the context menu
  unsigned EnabledKinds;
  bool OnlyUFIF20 = false;         // enabled only for a program tagged UFIF 2.0
  int TelephoneMenuPosition = -1;  // -1: not in the menu bar's Telephone menu
};

constexpr TActionRow kActions[] = {
    {TActionId::RefreshAction, "RefreshAction", "Refresh",
     [](TManager& m) { RefreshActionExecute(m); }, 0, kAnyKind},
    {TActionId::ClearAction, "ClearAction", "Clear", [](TManager& m) { ClearActionExecute(m); }, 3,
     kFilled},
    {TActionId::UploadAction, "UploadAction", "Upload", [](TManager& m) { UploadActionExecute(m); },
     1, kAnyKind},
    {TActionId::PlayGIFAction, "PlayGIFAction", "Play GIF",
     [](TManager& m) { PlayGIFActionExecute(m); }, 5, Kinds({skGIF})},
    {TActionId::DownloadAction, "DownloadAction", "Download",
     [](TManager& m) { DownloadActionExecute(m); }, 4, kFilled},
    {TActionId::GetPrefAction, "GetPrefAction", "Get Preferences",
     [](TManager& m) { GetPrefAction(m); }, -1, kNoKind},
    {TActionId::SetPrefAction, "SetPrefAction", "SetPrefAction",
     [](TManager& m) { SetPrefAction(m); }, -1, kNoKind},
    {TActionId::ConvertAction, "ConvertAction", "Convert to UFIF2.1",
     [](TManager& m) { ConvertActionExecute(m); }, 6, Kinds({skProgram}), true},
    {TActionId::UploadLZOAction, "UploadLZOAction", "Upload LZO-Compressed",
     [](TManager& m) { UploadLZOActionExecute(m); }, 2, kAnyKind},
    {TActionId::DownloadSaveAction, "DownloadSaveAction", "Download Save Slot",
     [](TManager& m) { DownloadSaveActionExecute(m); }, 8, kHoldsSaves},
    {TActionId::UploadSaveAction, "UploadSaveAction", "Upload Save Slot",
     [](TManager& m) { UploadSaveActionExecute(m); }, 7, Kinds({skEmpty, skProgram, skData})},
    {TActionId::EraseSaveAction, "EraseSaveAction", "Erase Save Slot",
     [](TManager& m) { EraseSaveActionExecute(m); }, 9, kHoldsSaves},
    {TActionId::BackupAction, "BackupAction", "Back Up Telephone\xE2\x80\xA6",
     [](TManager& m) { BackupActionExecute(m); }, -1, kNoKind, false, 0},
    {TActionId::VerifyAction, "VerifyAction", "Verify Against Backup\xE2\x80\xA6",
     [](TManager& m) { VerifyActionExecute(m); }, -1, kNoKind, false, 1},
    {TActionId::RestoreAction, "RestoreAction", "Restore From Backup\xE2\x80\xA6",
     [](TManager& m) { RestoreActionExecute(m); }, -1, kNoKind, false, 2},
    {TActionId::HistoryAction, "HistoryAction", "History\u2026",
     [](TManager& m) { HistoryActionExecute(m); }, -1, kNoKind},
};

// Every place of a menu of `count` items, 0..count-1, is taken exactly once.
constexpr bool PlacesComplete(int TActionRow::*place, int count) {
  int items = 0;
  for (std::size_t i = 0; i < std::size(kActions); ++i) {
    const int at = kActions[i].*place;
    if (at < 0) continue;
    if (at >= count) return false;
    ++items;
    for (std::size_t j = 0; j < i; ++j)
      if (kActions[j].*place == at) return false;
  }
  return items == count;
}

// Every id has its row, in id order, with a handler; the menu places are each taken once.
constexpr bool TableComplete() {
  if (std::size(kActions) != static_cast<std::size_t>(kActionCount)) return false;
  for (std::size_t i = 0; i < std::size(kActions); ++i) {
    const TActionRow& row = kActions[i];
    if (row.Id != static_cast<TActionId>(i) || row.Handler == nullptr || row.Name.empty())
      return false;
  }
  return PlacesComplete(&TActionRow::MenuPosition, kMenuItemCount) &&
         PlacesComplete(&TActionRow::TelephoneMenuPosition, kTelephoneMenuCount);
}
static_assert(TableComplete(), "every action needs exactly one row of kActions");

constexpr std::array<TActionId, kActionCount> AllActions() {
  std::array<TActionId, kActionCount> ids{};
  for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = kActions[i].Id;
  return ids;
}

constexpr std::array<TActionId, kMenuItemCount> MenuOrder() {
  std::array<TActionId, kMenuItemCount> ids{};
  for (const TActionRow& row : kActions)
    if (row.MenuPosition >= 0) ids[static_cast<std::size_t>(row.MenuPosition)] = row.Id;
  return ids;
}

constexpr std::array<TActionId, kTelephoneMenuCount> TelephoneMenuOrder() {
  std::array<TActionId, kTelephoneMenuCount> ids{};
  for (const TActionRow& row : kActions)
    if (row.TelephoneMenuPosition >= 0)
      ids[static_cast<std::size_t>(row.TelephoneMenuPosition)] = row.Id;
  return ids;
}

constexpr const TActionRow& Row(TActionId id) {
  return kActions[static_cast<std::size_t>(id)];
}

struct TButtonRow {
  std::string_view Name;
  THandler Handler;
  std::string_view Caption;  // names the versions it keeps in the history
};

// The main window's buttons; those that only open a dialog show it here too.
constexpr TButtonRow kButtons[] = {
    {"Button1", [](TManager& m) { Button1Click(m); }, "Full Refresh"},
    {"Button2", [](TManager& m) { m.UI.ShowModal(TFormId::AboutBox); }, "About"},
    {"Button3", [](TManager& m) { Button3Click(m); }, "ZUBx Preferences"},
    {"Button4", [](TManager& m) { Button4Click(m); }, "SummSize 18"},  // hidden
    {"Button5", [](TManager& m) { Button5Click(m); }, "UFIF2 library upload"},
    {"Button6", [](TManager& m) { Button6Click(m); }, "PRG3 library upload"},
    {"Button7", [](TManager& m) { m.Button7Click(); }, "Options"},
    {"Button8", [](TManager& m) { Button8Click(m); }, "Button8"},  // hidden
    {"Button9", [](TManager& m) { Button9Click(m); }, "U"},        // hidden
    {"Button10", [](TManager& m) { ButtonCli(m); }, "C"},          // hidden
};

}  // namespace

const std::array<TActionId, kActionCount> kAllActions = AllActions();
const std::array<TActionId, kMenuItemCount> kMenuOrder = MenuOrder();
const std::array<TActionId, kTelephoneMenuCount> kTelephoneMenuOrder = TelephoneMenuOrder();

std::string_view ActionName(TActionId id) {
  return Row(id).Name;
}
std::string_view ActionCaption(TActionId id) {
  return Row(id).Caption;
}

std::optional<TActionId> ActionByName(std::string_view name) {
  for (const auto& row : kActions)
    if (row.Name == name) return row.Id;
  return std::nullopt;
}

TActionSet MenuActionsFor(TSectKind kind, std::uint32_t format) {
  TActionSet s;
  const auto k = static_cast<unsigned>(kind);
  if (k >= 32) return s;
  for (const TActionRow& row : kActions) {
    if (row.MenuPosition < 0 || !(row.EnabledKinds & (1u << k))) continue;
    if (row.OnlyUFIF20 && format != UFIF20Tag) continue;
    At(s, row.Id) = true;
  }
  return s;
}

void ExecuteAction(TManager& m, TActionId id) {
  if (static_cast<int>(id) < 0 || static_cast<int>(id) >= kActionCount) return;
  m.History.SetCommand(std::string(Row(id).Caption));
  Row(id).Handler(m);
}

bool ClickButton(TManager& m, std::string_view name) {
  for (const TButtonRow& button : kButtons)
    if (button.Name == name) {
      m.History.SetCommand(std::string(button.Caption));
      button.Handler(m);
      return true;
    }
  return false;
}

void ClickButton(TManager& m, int number) {
  ClickButton(m, "Button" + std::to_string(number));
}

}  // namespace zub
