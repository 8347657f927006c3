#include "commands/Interaction.h"

namespace zub {

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
