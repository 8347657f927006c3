#include "gui/saveslots/SaveSlotForm.h"

#include <QListWidgetItem>
#include <QSignalBlocker>
#include <algorithm>

#include "app/Manager.h"
#include "commands/SaveSlotSelection.h"
#include "gui/common/CoreText.h"
#include "ui_SaveSlotForm.h"

namespace zub {
namespace {
constexpr int kItemHeight = 13;
}

TSaveSlotForm::TSaveSlotForm(TManager& core, QWidget* parent)
    : TZubDialog(TFormId::SaveSlotForm, parent),
      FCore(core),
      ui(std::make_unique<Ui::TSaveSlotForm>()) {
  ui->setupUi(this);
  connect(ui->CheckListBox1, &QListWidget::itemChanged, this,
          &TSaveSlotForm::CheckListBox1ClickCheck);
  connect(ui->Button3, &QPushButton::clicked, this, [this] { SetAll(true); });
  connect(ui->Button4, &QPushButton::clicked, this, [this] { SetAll(false); });
  connect(ui->Button1, &QPushButton::clicked, this, [this] { done(mrOk); });
  connect(ui->Button2, &QPushButton::clicked, this, [this] { done(mrCancel); });
  InitForm();
  FDesignedSize = size();
  FDesignedLabelHeight = ui->Label1->height();
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (w != ui->Label1 && w->y() >= ui->Label1->geometry().bottom())
      FBelowLabel.emplace_back(w, w->pos());
}

TSaveSlotForm::~TSaveSlotForm() = default;

void TSaveSlotForm::FormShow() {
  ui->Label1->setText(FromCore(FCore.SaveSlotForm.Label1));
  FitPrompt();
  ShowLines();
}

void TSaveSlotForm::FitPrompt() {
  QLabel& label = *ui->Label1;
  const int extra = std::max(0, label.heightForWidth(label.width()) - FDesignedLabelHeight);
  label.resize(label.width(), FDesignedLabelHeight + extra);
  for (const auto& [widget, designed] : FBelowLabel) widget->move(designed + QPoint(0, extra));
  setFixedSize(FDesignedSize + QSize(0, extra));
}

void TSaveSlotForm::ShowLines() {
  const QSignalBlocker block(ui->CheckListBox1);
  ui->CheckListBox1->clear();
  for (const TCheckLine& line : FCore.SaveSlotForm.Lines) {
    auto* item = new QListWidgetItem(FromCore(line.Text), ui->CheckListBox1);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(line.Checked ? Qt::Checked : Qt::Unchecked);
    item->setSizeHint(QSize(0, kItemHeight));
  }
}

void TSaveSlotForm::CheckListBox1ClickCheck(QListWidgetItem* item) {
  const int index = ui->CheckListBox1->row(item);
  if (index < 0) return;
  SaveSlotCheckClick(FCore, index, item->checkState() == Qt::Checked);
}

void TSaveSlotForm::SetAll(bool selected) {
  if (selected)
    SaveSlotSelectAll(FCore);
  else
    SaveSlotDeselectAll(FCore);
  ShowLines();
}

}  // namespace zub
