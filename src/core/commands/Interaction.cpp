// The forms' names and captions, and what the seam does for a front end without the safety
// net's dialogs.
#include "commands/Interaction.h"

namespace zub {
namespace {

class TNoProgress : public IProgress {
 public:
  void Update(const TRunProgress&) override {}
};

}  // namespace

std::optional<std::string> IInteraction::ChooseFolder(const std::string&) {
  return std::nullopt;
}

std::unique_ptr<IProgress> IInteraction::BeginProgress(const std::string&, std::atomic<bool>&) {
  return std::make_unique<TNoProgress>();
}

bool IInteraction::ShowReport(const TReport&) {
  return false;
}

const char* FormName(TFormId form) {
  switch (form) {
    case TFormId::Form1:
      return "Form1";
    case TFormId::AboutBox:
      return "AboutBox";
    case TFormId::PrefForm:
      return "PrefForm";
    case TFormId::ExpertsForm:
      return "ExpertsForm";
    case TFormId::StatusForm:
      return "StatusForm";
    case TFormId::OKBottomDlg:
      return "OKBottomDlg";
    case TFormId::BadAddrForm:
      return "BadAddrForm";
    case TFormId::IconForm:
      return "IconForm";
    case TFormId::SaveSlotForm:
      return "SaveSlotForm";
    case TFormId::HistoryForm:
      return "HistoryForm";
  }
  return "";
}

const char* FormCaption(TFormId form) {
  switch (form) {
    case TFormId::Form1:
      return "ZUB Manager 3";
    case TFormId::AboutBox:
      return "About";
    case TFormId::PrefForm:
      return "ZUB Mod Parameters";
    case TFormId::ExpertsForm:
      return "Manager options";
    case TFormId::StatusForm:
      return "Status";
    case TFormId::OKBottomDlg:
      return "Dialog";
    case TFormId::BadAddrForm:
      return "BadAddrForm";
    case TFormId::IconForm:
      return "Icon";
    case TFormId::SaveSlotForm:
      return "Save Slot";
    case TFormId::HistoryForm:
      return "History";
  }
  return "";
}

}  // namespace zub
