// HistoryForm, "History": the versions of one section that the tool has kept, newest first,
// with what each holds; "Write this version back" closes with OK and the selected version in
// the core's model, and the command writes it.
#pragma once

#include <memory>

#include "gui/common/ZubDialog.h"

namespace zub {

class TManager;
namespace Ui {
class THistoryForm;
}

class THistoryForm : public TZubDialog {
  Q_OBJECT

 public:
  THistoryForm(TManager& core, QWidget* parent);
  ~THistoryForm() override;

  void FormShow() override;

 private:
  void SelectionChanged();

  TManager& FCore;
  std::unique_ptr<Ui::THistoryForm> ui;
};

}  // namespace zub
