#include "gui/prefs/PrefForm.h"

#include <QButtonGroup>
#include <QSignalBlocker>

#include "app/Manager.h"
#include "gui/common/CoreText.h"
#include "ui_PrefForm.h"

namespace zub {

TPrefForm::TPrefForm(TManager& core, QWidget* parent)
    : TZubDialog(TFormId::PrefForm, parent), FCore(core), ui(std::make_unique<Ui::TPrefForm>()) {
  ui->setupUi(this);
  FRG1 = new QButtonGroup(this);
  FRG1->addButton(ui->RG1Item0, 0);
  FRG1->addButton(ui->RG1Item1, 1);
  FRG1->addButton(ui->RG1Item2, 2);
  QFont small = DialogFont();
  small.setPixelSize(9);
  ui->Label2->setFont(small);
  connect(ui->ACheckBox, &QCheckBox::toggled, this, &TPrefForm::ACheckBoxClick);
  connect(ui->Button1, &QPushButton::clicked, this, [this] { done(mrOk); });
  connect(ui->Button2, &QPushButton::clicked, this, [this] { done(mrCancel); });
  InitForm();
}

TPrefForm::~TPrefForm() = default;

void TPrefForm::ACheckBoxClick(bool checked) {
  FCore.ACheckBoxClick(checked);
  ui->AsEdit->setVisible(FCore.Pref.AsVisible);
  ui->AssEdit->setVisible(FCore.Pref.AssVisible);
}

void TPrefForm::FormShow() {
  const TPrefModel& m = FCore.Pref;
  // An exclusive group cannot be cleared directly.
  FRG1->setExclusive(false);
  for (QAbstractButton* b : FRG1->buttons()) b->setChecked(FRG1->id(b) == m.RG1);
  FRG1->setExclusive(true);
  {
    const QSignalBlocker block(ui->ACheckBox);
    ui->ACheckBox->setChecked(m.ACheckBox);
  }
  ui->AsEdit->setText(FromCore(m.AsEdit));
  ui->AssEdit->setText(FromCore(m.AssEdit));
  ui->AsEdit->setVisible(m.AsVisible);
  ui->AssEdit->setVisible(m.AssVisible);
  ui->sEdit->setText(FromCore(m.sEdit));
  ui->ssEdit->setText(FromCore(m.ssEdit));
  ui->Label4->setText(FromCore(m.Label4));
  ui->Label5->setText(FromCore(m.Label5));
  ui->Label6->setText(FromCore(m.Label6));
}

void TPrefForm::FormHide(int modalResult) {
  if (modalResult != mrOk) return;
  TPrefModel& m = FCore.Pref;
  m.RG1 = FRG1->checkedId();
  m.ACheckBox = ui->ACheckBox->isChecked();
  m.AsEdit = ToCore(ui->AsEdit->text());
  m.AssEdit = ToCore(ui->AssEdit->text());
  m.AsVisible = !ui->AsEdit->isHidden();
  m.AssVisible = !ui->AssEdit->isHidden();
  m.sEdit = ToCore(ui->sEdit->text());
  m.ssEdit = ToCore(ui->ssEdit->text());
}

}  // namespace zub
