// TManager: what the main window owns, and the window's own commands. The device component
// NVM, the section list (entry 0 is the title-row placeholder), the save-slot list of the most
// recent parse, the settings file, the state of the window's controls and of the dialogs.
// Every command works on this object and reaches the user only through IInteraction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Actions.h"
#include "app/Forms.h"
#include "app/Interaction.h"
#include "app/ProfileFile.h"
#include "app/SectInfo.h"
#include "device/NVMSection.h"
#include "saveslots/SaveSlot.h"

namespace zub {

// The filter of OpenDialog1, the file-open dialog of the upload commands.
inline constexpr const char* kOpenDialog1Filter =
    "All known|*.bin;*.prg;*.lzo;*.lib;*.sec;*.elf;*.ep|Binary files|*.bin|PRG-Programs|*.prg|"
    "LZO-Compressed progs|*.lzo|Library|*.lib|Sections data|*.sec|ELF-Executables|*.elf|"
    "All files|*.*|Talon3D episode|*.ep";

// The buffer most commands read a section or a file into.
inline constexpr std::size_t kSectionBufferSize = 65536;

struct TWindowBounds {
  int Top = 20;
  int Left = 240;
  int Width = 330;
  int Height = 420;
};

struct TManagerOptions {
  // The folder that stands for the executable's: device libraries are looked up there first,
  // SECTIONS.INI lives there.
  std::filesystem::path HomeDir;
  // The program settings file (the executable's path with ".INI" for its extension).
  std::filesystem::path SettingsPath;
  INVMObserver* Observer = nullptr;
};

class TManager : private INVMOwner {
 public:
  TManager(IInteraction& ui, TManagerOptions options);
  ~TManager() override;
  TManager(const TManager&) = delete;
  TManager& operator=(const TManager&) = delete;

  IInteraction& UI;
  const TManagerOptions Options;
  std::unique_ptr<TNVMSection> NVM;

  // The section list, index = grid row; entry 0 is the header placeholder.
  std::vector<TSectInfo> Sections;
  int RowCount() const { return static_cast<int>(Sections.size()); }
  int Row = 1;  // the grid's current row

  std::vector<TSaveSlot> FSaveSlots;
  std::int32_t FSaveStart = 0;
  std::int32_t FSaveLength = 0;

  // The main window's controls.
  TWindowBounds Bounds;
  int ComboBox1Index = 0;   // COM1..COM4; -1 shows no selection
  bool CheckBox1 = true;    // "Additional info in full refresh"
  TActionSet ActionEnabled;  // set by the context menu

  // The dialogs.
  TExpertsModel Experts;
  TPrefModel Pref;
  TSaveSlotModel SaveSlotForm;
  TIconModel IconForm;
  TBadAddrModel BadAddr;

  // The program settings file object, open for the window's lifetime (reads).
  TProfileFile& Settings() { return *FSettings; }
  std::filesystem::path SectionsIniPath() const { return Options.HomeDir / "SECTIONS.INI"; }

  // Runs a handler the way the message loop does: an exception that escapes is shown by the
  // standard exception box and the tool goes on.
  void Run(const std::function<void()>& handler);

  // Window events.
  void FormShow();   // settings load
  void FormClose();  // settings save

  void SettingsLoad();
  void SettingsSave();
  void RebuildCatalogue();

  // Main window controls.
  void ComboBox1Change(int index);
  void SetCheckBox1(bool ticked) { CheckBox1 = ticked; }
  void Button7Click();  // "Options"
  void DrawGrid1Click(int row);
  void DrawGrid1MouseUpRight();  // a right click: enable the actions for the current row

  // ExpertsForm controls.
  void SetCTECB(bool ticked);  // the toolkit runs CTECBClick when the state changes
  void CTECBClick();
  void ExpertsButton3Click();  // "Default"
  void SetFWIndex(int index);
  void SetFWText(const std::string& text);  // typed by the user

  // PrefForm controls.
  void SetACheckBox(bool checked);  // the toolkit runs ACheckBoxClick when the state changes
  void ACheckBoxClick();            // AsEdit and AssEdit follow the check box

  // The record of the grid's current row, or nullptr when the current row is the header
  // placeholder or lies outside the list. No section command acts without one.
  TSectInfo* CurrentSection();

  // The signature name for unrecognised data whose first 32-bit value is `first`.
  std::string SignatureName(std::uint32_t first, const std::string& defaultText);

 private:
  void NVMMessage(const std::string& caption, const std::string& text) override;

  std::unique_ptr<TProfileFile> FSettings;
  bool FSuppressRepeatedLoadFailure = false;
  std::vector<std::string> FLoadFailuresShown;
};

}  // namespace zub
