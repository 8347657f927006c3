// TCoreState: what the commands work on. The device component NVM, the section list (entry 0
// is the title-row placeholder), the save-slot list of the most recent parse, the settings
// file, the state of the main window's controls and of the dialogs, and the user (IInteraction).
// The core object at the top (TManager) is this state plus the window's events and the action
// table; every command takes this state and reaches the user only through UI.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/FileIO.h"
#include "base/ProfileFile.h"
#include "commands/Forms.h"
#include "commands/HistoryRecorder.h"
#include "commands/Interaction.h"
#include "device/NVMSection.h"
#include "formats/SaveSlot.h"
#include "formats/SectInfo.h"

namespace zub {

struct TWindowBounds {
  int Top = 20;
  int Left = 240;
  int Width = 330;
  int Height = 420;
};

struct TManagerOptions {
  // The folder of SECTIONS.INI (the settings folder); the device library's too unless
  // LibraryDirs says otherwise.
  std::filesystem::path HomeDir;
  // The program settings file.
  std::filesystem::path SettingsPath;
  INVMObserver* Observer = nullptr;
  // Where the commands read the files the user picks; empty: the disk (ReadFileHead).
  TFileReader ReadFile;
  // The device component's messages ("GBP Error: No AT response!", "Unable to open gbp.dll")
  // are shown as boxes (the window, the driver), or only kept for the command to word in its
  // own way (the command line): LastDeviceMessage has them either way.
  bool DeviceMessagesAsBoxes = true;
  // The clock that times the telephone's answers; empty: the steady clock. Tests set their own.
  std::function<std::chrono::steady_clock::time_point()> Clock;
  // Where the device library is looked for, in order; empty: HomeDir alone.
  std::vector<std::filesystem::path> LibraryDirs;
  // Where the history of section contents is kept unless [History] Folder= says otherwise;
  // empty: no history without that key.
  std::filesystem::path HistoryDir;
};

class TCoreState : private INVMOwner {
 public:
  TCoreState(IInteraction& ui, TManagerOptions options);
  ~TCoreState() override;
  TCoreState(const TCoreState&) = delete;
  TCoreState& operator=(const TCoreState&) = delete;

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
  int ComboBox1Index = 0;  // COM1..COM4; -1 shows no selection
  bool CheckBox1 = true;   // "Additional info in full refresh"

  // The dialogs.
  TExpertsModel Experts;
  TPrefModel Pref;
  TSaveSlotModel SaveSlotForm;
  TIconModel IconForm;
  TBadAddrModel BadAddr;
  THistoryModel HistoryForm;

  // Every whole section that the commands read or write is kept here (commands/History.h).
  TSectionHistory History;

  // The program settings file object, open for the window's lifetime (reads).
  TProfileFile& Settings() { return *FSettings; }
  std::filesystem::path SectionsIniPath() const { return Options.HomeDir / "SECTIONS.INI"; }

  void SettingsLoad();
  void SettingsSave();
  void RebuildCatalogue();

  // The port (1..4) and cable of a run that has no window (the command line): the settings'
  // choice is replaced for the run, never written. The library is loaded again only when the
  // cable changes.
  void SelectLink(int port, bool serviceCable);

  // The device component's last message, and forgetting it (before a step whose failure
  // should be told with its own message).
  const std::string& LastDeviceMessage() const { return FLastDeviceMessage; }
  void ForgetDeviceMessage() { FLastDeviceMessage.clear(); }

  // Now, on the clock that times the telephone's answers.
  std::chrono::steady_clock::time_point Now() const;

  // A file the user picked, through Options.ReadFile: up to maxBytes from its start, or the
  // whole of a text file (a longer one is refused). EFileError when it cannot be read.
  std::vector<std::uint8_t> ReadInputFile(const std::string& path, std::size_t maxBytes) const;
  std::string ReadInputText(const std::string& path, std::size_t maxBytes = kMaxTextFileSize) const;

  // Main window controls.
  void ComboBox1Change(int index);
  void SetCheckBox1(bool ticked) { CheckBox1 = ticked; }

  // ExpertsForm controls.
  void SetCTECB(bool ticked);  // the toolkit runs CTECBClick when the state changes
  void CTECBClick();
  void ExpertsButton3Click();  // "Default"
  void SetFWIndex(int index);
  void SetFWText(const std::string& text);  // typed by the user

  // PrefForm controls.
  void SetACheckBox(bool checked);  // the toolkit runs ACheckBoxClick when the state changes
  // AsEdit and AssEdit follow the check box as the user ticks it; the dialog keeps the
  // ticked state itself until "Update".
  void ACheckBoxClick(bool checked);

  // The record of the grid's current row, or nullptr when the current row is the header
  // placeholder or lies outside the list. No section command acts without one.
  TSectInfo* CurrentSection();

  // The signature name for unrecognised data whose first 32-bit value is `first`.
  std::string SignatureName(std::uint32_t first, const std::string& defaultText);

 protected:
  // While set, a library that failed to load is reported only the first time.
  void SuppressRepeatedLoadFailures(bool on) { FSuppressRepeatedLoadFailure = on; }

 private:
  void NVMMessage(const std::string& caption, const std::string& text) override;
  void NVMWaiting(const std::string& text) override { UI.Waiting(text); }

  std::unique_ptr<TProfileFile> FSettings;
  bool FSuppressRepeatedLoadFailure = false;
  bool FNotTextTold = false;  // the settings file is not text: said once
  std::vector<std::string> FLoadFailuresShown;
  std::string FLastDeviceMessage;
};

}  // namespace zub
