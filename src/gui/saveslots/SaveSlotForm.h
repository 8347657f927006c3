// SaveSlotForm, "Save Slot": one checkable line per save item. The dialog works on the main
// window's FSaveSlots directly: ticking a line selects its item at once.
#pragma once

#include <memory>

#include "gui/common/ZubDialog.h"

class QListWidgetItem;

namespace zub {

class TManager;
namespace Ui {
class TSaveSlotForm;
}

class TSaveSlotForm : public TZubDialog {
  Q_OBJECT

 public:
  TSaveSlotForm(TManager& core, QWidget* parent);
  ~TSaveSlotForm() override;

  void FormShow() override;

 private:
  void CheckListBox1ClickCheck(QListWidgetItem* item);
  void SetAll(bool selected);  // "Select All" and "Deselect All"
  void ShowLines();

  TManager& FCore;
  std::unique_ptr<Ui::TSaveSlotForm> ui;
};

}  // namespace zub
