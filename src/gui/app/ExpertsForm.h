// ExpertsForm, "Manager options": the firmware address table for the UFIF 2.1 conversion and
// the service-cable mode. Every change goes to the core at once; the "Options" button around
// it saves and reloads the settings.
#pragma once

#include <memory>

#include "gui/common/ZubDialog.h"

class QComboBox;

namespace zub {

class TManager;
namespace Ui {
class TExpertsForm;
}

class TExpertsForm : public TZubDialog {
  Q_OBJECT

 public:
  TExpertsForm(TManager& core, QWidget* parent);
  ~TExpertsForm() override;

  void FormShow() override;

  // The firmware combo box, which the conversion prompt borrows.
  QComboBox* FWComboBox() const;
  // Shows the core's firmware choice in FWComboBox.
  void LoadFW();

 private:
  void LoadCTECB();

  TManager& FCore;
  std::unique_ptr<Ui::TExpertsForm> ui;
};

}  // namespace zub
