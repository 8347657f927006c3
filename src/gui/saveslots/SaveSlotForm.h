// SaveSlotForm, "Save Slot": one checkable line per save item. The dialog works on the main
// window's FSaveSlots directly: ticking a line selects its item at once.
#pragma once

#include <QPoint>
#include <QSize>
#include <memory>
#include <utility>
#include <vector>

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
  // The prompt keeps its designed height unless its lines need more; then the dialog grows and
  // everything below the prompt moves down by the difference.
  void FitPrompt();

  TManager& FCore;
  std::unique_ptr<Ui::TSaveSlotForm> ui;
  QSize FDesignedSize;
  int FDesignedLabelHeight = 0;
  std::vector<std::pair<QWidget*, QPoint>> FBelowLabel;  // with their designed positions
};

}  // namespace zub
