// BadAddrForm: the conversion's report of firmware addresses it left alone, in Memo1.
#pragma once

#include <memory>

#include "gui/common/ZubDialog.h"

namespace zub {

class TManager;
namespace Ui {
class TBadAddrForm;
}

class TBadAddrForm : public TZubDialog {
  Q_OBJECT

 public:
  TBadAddrForm(TManager& core, QWidget* parent);
  ~TBadAddrForm() override;

  void FormShow() override;

 private:
  TManager& FCore;
  std::unique_ptr<Ui::TBadAddrForm> ui;
};

}  // namespace zub
