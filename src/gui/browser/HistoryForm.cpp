#include "gui/browser/HistoryForm.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTreeWidgetItem>

#include "app/Manager.h"
#include "gui/common/CoreText.h"
#include "ui_HistoryForm.h"

namespace zub {

THistoryForm::THistoryForm(TManager& core, QWidget* parent)
    : TZubDialog(TFormId::HistoryForm, parent),
      FCore(core),
      ui(std::make_unique<Ui::THistoryForm>()) {
  ui->setupUi(this);
  ui->VersionList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  connect(ui->VersionList, &QTreeWidget::itemSelectionChanged, this,
          &THistoryForm::SelectionChanged);
  connect(ui->VersionList, &QTreeWidget::itemDoubleClicked, this, [this] { done(mrOk); });
  connect(ui->Button1, &QPushButton::clicked, this, [this] { done(mrOk); });
  connect(ui->Button2, &QPushButton::clicked, this, [this] { done(mrCancel); });
  InitForm();
}

THistoryForm::~THistoryForm() = default;

void THistoryForm::FormShow() {
  const THistoryModel& m = FCore.HistoryForm;
  setWindowTitle(FromCore(m.Caption));
  std::string problems;
  for (const std::string& p : m.Problems) problems += (problems.empty() ? "" : "\n") + p;
  ui->Label1->setText(
      FromCore(problems.empty() ? std::string("Versions, newest first:") : problems));
  const QSignalBlocker block(ui->VersionList);
  ui->VersionList->clear();
  for (const THistoryRow& r : m.Rows) {
    auto* item = new QTreeWidgetItem(ui->VersionList);
    const std::string* columns[] = {&r.Time, &r.Command, &r.Direction, &r.Size, &r.What};
    for (int c = 0; c < 5; ++c) item->setText(c, FromCore(*columns[c]));
    item->setToolTip(4, FromCore("SHA-256 " + r.Hash));
  }
  SelectionChanged();
}

void THistoryForm::SelectionChanged() {
  const QModelIndex current = ui->VersionList->currentIndex();
  const bool selected = !ui->VersionList->selectedItems().isEmpty() && current.isValid();
  FCore.HistoryForm.Selected = selected ? current.row() : -1;
  ui->Button1->setEnabled(selected);
}

}  // namespace zub
