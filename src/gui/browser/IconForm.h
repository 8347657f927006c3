// IconForm, "Icon": the icon picker. ComboBoxEx1 lists the 147 icon codes with their images;
// its selection is the core's IconForm.ItemIndex and stays between showings.
#pragma once

#include <memory>

#include "gui/common/ZubDialog.h"

namespace zub {

class TManager;
namespace Ui {
class TIconForm;
}

class TIconForm : public TZubDialog {
  Q_OBJECT

 public:
  TIconForm(TManager& core, QWidget* parent);
  ~TIconForm() override;

  void FormShow() override;

 private:
  TManager& FCore;
  std::unique_ptr<Ui::TIconForm> ui;
};

}  // namespace zub
