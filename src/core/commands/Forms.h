// The state of the application's dialogs, kept in the core so that the commands, the Qt
// dialogs and the scripted driver all work on the same values. A Qt dialog shows this state
// when it opens and changes it through the core's handlers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zub {

// ExpertsForm, "Manager options".
struct TExpertsModel {
  static const std::vector<std::string>& DefaultFirmwareTable();

  std::vector<std::string> FWItems = DefaultFirmwareTable();
  int FWIndex = 0;          // -1: nothing selected
  std::string FWText;       // what the editable combo box shows (an item, or typed text)
  bool CTECB = false;       // "Use Service cable (CTE Mode)"
  bool FWBorrowed = false;  // FWComboBox currently sits in the conversion prompt
  bool HistoryReadBeforeChange = false;  // "Read a section before changing it"
};

// PrefForm, "ZUB Mod Parameters".
struct TPrefModel {
  int RG1 = -1;  // "Only programs", "Progs and data", "Show all"; -1: none
  bool ACheckBox = false;
  std::string AsEdit = "18";
  std::string AssEdit = "09";
  bool AsVisible = true;
  bool AssVisible = true;
  std::string sEdit = "02";
  std::string ssEdit = "17";
  std::string Label4, Label5, Label6;
  // The record as last read from the telephone (bytes beyond what was read are 0), kept so
  // that bytes the dialog does not show are written back unchanged.
  std::optional<std::array<std::uint8_t, 12>> LastRecord;
  std::size_t LastRecordLength = 0;  // how many of its bytes the telephone delivered
};

// One line of SaveSlotForm's check list.
struct TCheckLine {
  std::string Text;
  bool Checked = true;
};

// SaveSlotForm, "Save Slot".
struct TSaveSlotModel {
  std::string Label1;  // the caller's prompt
  std::vector<TCheckLine> Lines;
};

// IconForm, "Icon".
struct TIconModel {
  int ItemIndex = -1;  // selected item of ComboBoxEx1; -1: nothing chosen
};

// BadAddrForm: the conversion's report of addresses it did not relocate.
struct TBadAddrModel {
  std::vector<std::string> Memo1 = {"Memo1"};
};

// HistoryForm, "History": the versions of one section, newest first.
struct THistoryRow {
  std::string Time, Command, Direction, Size, What, Hash;
};
struct THistoryModel {
  std::string Caption;
  std::vector<THistoryRow> Rows;
  std::vector<std::string> Problems;  // damaged index lines, missing files
  int Selected = -1;                  // the version "Write this version back" writes
};

}  // namespace zub
