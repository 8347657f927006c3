#include "gui/app/StatusForm.h"

#include "commands/Interaction.h"
#include "ui_StatusForm.h"

namespace zub {

TStatusForm::TStatusForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), ui(std::make_unique<Ui::TStatusForm>()) {
  ui->setupUi(this);
  setObjectName(QString::fromLatin1(FormName(TFormId::StatusForm)));
  setWindowTitle(QString::fromLatin1(FormCaption(TFormId::StatusForm)));
}

TStatusForm::~TStatusForm() = default;

}  // namespace zub
