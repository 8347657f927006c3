// PrefForm, "ZUB Mod Parameters": the modification's preference record. The core reads the
// record into its model before the dialog shows; the dialog shows the model and, when closed
// with "Update", writes the fields back for the core to send.
#pragma once

#include <memory>

#include "gui/common/ZubDialog.h"

class QButtonGroup;

namespace zub {

class TManager;
namespace Ui {
class TPrefForm;
}

class TPrefForm : public TZubDialog {
  Q_OBJECT

 public:
  TPrefForm(TManager& core, QWidget* parent);
  ~TPrefForm() override;

  void FormShow() override;
  void FormHide(int modalResult) override;

 private:
  void ACheckBoxClick(bool checked);

  TManager& FCore;
  std::unique_ptr<Ui::TPrefForm> ui;
  QButtonGroup* FRG1 = nullptr;
};

}  // namespace zub
