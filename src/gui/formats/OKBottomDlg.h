// OKBottomDlg, "Dialog": the prompt before a UFIF 2.0 program is uploaded. While it is shown it
// borrows the firmware combo box of the options dialog, so that the user picks the firmware
// here and the options dialog shows the same choice afterwards.
#pragma once

#include <QPoint>
#include <QPointer>
#include <functional>
#include <memory>

#include "gui/common/ZubDialog.h"

class QComboBox;

namespace zub {

namespace Ui {
class TOKBottomDlg;
}

class TOKBottomDlg : public TZubDialog {
  Q_OBJECT

 public:
  explicit TOKBottomDlg(QWidget* parent);
  ~TOKBottomDlg() override;

  // The combo box to borrow on show, and how to make it show the core's firmware choice.
  void SetFWComboBox(QComboBox* combo, std::function<void()> refresh);

  void FormShow() override;
  void FormHide(int modalResult) override;

 private:
  std::unique_ptr<Ui::TOKBottomDlg> ui;
  QPointer<QComboBox> FFWComboBox;
  std::function<void()> FRefresh;
  // Where the combo box came from; one borrowing at a time, the prompt being modal.
  QPointer<QWidget> FOwner;
  QPoint FOwnerPos;
  bool FOwnerVisible = false;
};

}  // namespace zub
