// A telephone in memory for the fuzz targets that run a command the way the window runs it.
// One core per process, started as the window starts it, loads the tests' scripted device
// library (a telephone whose sections live in memory) from the fuzz build's folder; an input
// puts a section into it through the core's own device component, scripts the user's answers,
// and hands the command the file the user picks through the core's file reader, without a
// file. The settings file's path names the telephone's folder: it reads as empty, and a save
// is refused at once (with its box) instead of writing to the disk.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "app/Manager.h"
#include "commands/SaveSlotSelection.h"
#include "device/GbpApi.h"

#ifndef ZUB_FUZZ_PHONE_DIR
#error "ZUB_FUZZ_PHONE_DIR names the folder of the scripted device library"
#endif

namespace zub::fuzz {

// One showing of the save-slot dialog: OK or Cancel, and line i ticked when bit i % 32 is set.
struct TSlotAnswer {
  bool Ok = true;
  std::uint32_t Ticks = 0;
};

// The user of one run. Dialogs not scripted are cancelled.
class TScriptedUser : public IInteraction {
 public:
  TCoreState* Core = nullptr;

  bool PicksFile = true;
  std::deque<TSlotAnswer> SlotAnswers;
  int ConversionAnswer = mrCancel;  // OKBottomDlg: mrYes, mrNo or mrCancel
  int IconAnswer = mrCancel;
  int IconItem = -1;

  // What the run showed.
  std::vector<std::string> Boxes;  // "caption: text"
  std::vector<std::string> Exceptions;
  int SlotDialogs = 0;

  // Forgets the answers and the record of the last run.
  void Reset() {
    TCoreState* core = Core;
    *this = TScriptedUser();
    Core = core;
  }

  void Status(const std::string&) override {}
  void MessageBox(const std::string& caption, const std::string& text) override {
    Boxes.push_back(caption + ": " + text);
  }
  bool Confirm(const std::string&, const std::string&) override { return false; }
  std::optional<std::string> OpenFile(const std::string&) override {
    if (!PicksFile) return std::nullopt;
    return std::string("picked.bin");
  }
  std::optional<std::string> SaveFile() override { return std::nullopt; }
  int ShowModal(TFormId form) override {
    switch (form) {
      case TFormId::SaveSlotForm: {
        ++SlotDialogs;
        if (SlotAnswers.empty()) return mrCancel;
        const TSlotAnswer a = SlotAnswers.front();
        SlotAnswers.pop_front();
        // The user's clicks on the lines, as the dialog's handler takes them.
        for (std::size_t i = 0; i < Core->SaveSlotForm.Lines.size(); ++i)
          SaveSlotCheckClick(*Core, static_cast<int>(i), Picked(a.Ticks, i));
        return a.Ok ? mrOk : mrCancel;
      }
      case TFormId::OKBottomDlg:
        return ConversionAnswer;
      case TFormId::IconForm:
        Core->IconForm.ItemIndex = IconItem;
        return IconAnswer;
      default:
        return mrCancel;
    }
  }
  bool Launch(const std::string&) override { return true; }
  void ShowException(const std::string& text) override { Exceptions.push_back(text); }
  void RepaintGrid() override {}
  void ControlsChanged() override {}
};

class TFuzzPhone {
 public:
  // The one telephone of this process, its core started on the current row `address`. It
  // lives until the process ends: the device library's own state is gone by the time static
  // objects are destroyed, and a core ending its connection then would call into nothing.
  static TFuzzPhone& Get(TSectionAddress address) {
    static TFuzzPhone* const phone = new TFuzzPhone(address);
    return *phone;
  }

  TManager& Core() { return *core_; }
  TScriptedUser User;
  // The file the user picks, as the reader hands it to the command.
  std::vector<std::uint8_t> File;

  // A new run: the user's record cleared, the row as the list shows it before any scan.
  TSectInfo& StartRun() {
    User.Reset();
    core_->Row = 1;
    TSectInfo& row = core_->Sections[1];
    row = TSectInfo{};
    row.Section = address_.Section;
    row.SubSection = address_.SubSection;
    return row;
  }

  // The section's bytes, or none: the telephone does not have it.
  void PutSection(const std::optional<std::vector<std::uint8_t>>& bytes) {
    TNVMSection& nvm = *core_->NVM;
    ZUB_CHECK(nvm.InitGBP());
    Select();
    nvm.Clear();
    if (bytes) {
      const auto n = static_cast<std::uint32_t>(bytes->size());
      ZUB_CHECK(nvm.Write(bytes->data(), n) == static_cast<std::int32_t>(n));
    }
    nvm.EndGBP();
  }
  std::optional<std::vector<std::uint8_t>> Section() {
    TNVMSection& nvm = *core_->NVM;
    ZUB_CHECK(nvm.InitGBP());
    Select();
    std::optional<std::vector<std::uint8_t>> out;
    const std::int32_t size = nvm.GetSize();
    if (size != gbp::kNoSection) {
      ZUB_CHECK(size >= 0);
      out.emplace(static_cast<std::size_t>(size));
      ZUB_CHECK(nvm.Read(out->data(), static_cast<std::uint32_t>(size)) == size);
    }
    nvm.EndGBP();
    return out;
  }

 private:
  explicit TFuzzPhone(TSectionAddress address) : address_(address) {
    TManagerOptions options;
    options.HomeDir = ZUB_FUZZ_PHONE_DIR;
    options.SettingsPath = ZUB_FUZZ_PHONE_DIR;
    options.ReadFile = [this](const std::string&, std::size_t maxBytes) {
      return std::vector<std::uint8_t>(
          File.begin(),
          File.begin() + static_cast<std::ptrdiff_t>(std::min(maxBytes, File.size())));
    };
    core_ = std::make_unique<TManager>(User, options);
    User.Core = core_.get();
    core_->FormShow();
    ZUB_CHECK(core_->NVM->Loaded());
    core_->Sections.resize(2);
  }
  void Select() {
    core_->NVM->SetSect(address_.Section);
    core_->NVM->SetSSect(address_.SubSection);
  }

  TSectionAddress address_;
  std::unique_ptr<TManager> core_;
};

}  // namespace zub::fuzz
