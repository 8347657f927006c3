#include "gui/app/ExpertsForm.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include "app/Manager.h"
#include "gui/common/CoreText.h"
#include "ui_ExpertsForm.h"

namespace zub {

TExpertsForm::TExpertsForm(TManager& core, QWidget* parent)
    : TZubDialog(TFormId::ExpertsForm, parent),
      FCore(core),
      ui(std::make_unique<Ui::TExpertsForm>()) {
  ui->setupUi(this);
  QPalette warning = ui->Label2->palette();
  warning.setColor(QPalette::WindowText, QColor(255, 0, 0));
  ui->Label2->setPalette(warning);
  for (const std::string& item : FCore.Experts.FWItems) ui->FWComboBox->addItem(FromCore(item));
  LoadFW();

  connect(ui->FWComboBox, &QComboBox::activated, this,
          [this](int index) { FCore.Run([&] { FCore.SetFWIndex(index); }); });
  connect(ui->FWComboBox->lineEdit(), &QLineEdit::textEdited, this,
          [this](const QString& text) { FCore.Run([&] { FCore.SetFWText(ToCore(text)); }); });
  // The toolkit runs CTECBClick whenever the ticked state changes: the library switches now.
  connect(ui->CTECB, &QCheckBox::toggled, this, [this](bool ticked) {
    FCore.Run([&] { FCore.SetCTECB(ticked); });
    LoadCTECB();  // shows the core's state should the switch have been refused
  });
  connect(ui->Button3, &QPushButton::clicked, this, [this] {
    FCore.Run([&] { FCore.ExpertsButton3Click(); });
    LoadCTECB();
  });
  // Kept by the "Options" button's save on OK, like the rest of the dialog.
  connect(ui->HistoryCB, &QCheckBox::toggled, this,
          [this](bool ticked) { FCore.Experts.HistoryReadBeforeChange = ticked; });
  connect(ui->Button1, &QPushButton::clicked, this, [this] { done(mrOk); });
  connect(ui->Button2, &QPushButton::clicked, this, [this] { done(mrCancel); });
  InitForm();
}

TExpertsForm::~TExpertsForm() = default;

QComboBox* TExpertsForm::FWComboBox() const {
  return ui->FWComboBox;
}

void TExpertsForm::FormShow() {
  LoadFW();
  LoadCTECB();
}

void TExpertsForm::LoadFW() {
  const QSignalBlocker block(ui->FWComboBox);
  const TExpertsModel& m = FCore.Experts;
  ui->FWComboBox->setCurrentIndex(m.FWIndex < ui->FWComboBox->count() ? m.FWIndex : -1);
  ui->FWComboBox->setEditText(FromCore(m.FWText));
}

void TExpertsForm::LoadCTECB() {
  const QSignalBlocker block(ui->CTECB);
  ui->CTECB->setChecked(FCore.Experts.CTECB);
  const QSignalBlocker blockHistory(ui->HistoryCB);
  ui->HistoryCB->setChecked(FCore.Experts.HistoryReadBeforeChange);
}

}  // namespace zub
