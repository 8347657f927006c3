// AboutBox, "About": product name, what the tool does, credits and its web address.
#pragma once

#include <memory>

#include "gui/common/ZubDialog.h"

namespace zub {

namespace Ui {
class TAboutBox;
}

class TAboutBox : public TZubDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent);
  ~TAboutBox() override;

 private:
  std::unique_ptr<Ui::TAboutBox> ui;
};

}  // namespace zub
