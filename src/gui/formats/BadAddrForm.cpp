#include "gui/formats/BadAddrForm.h"

#include "app/Manager.h"
#include "gui/common/CoreText.h"
#include "ui_BadAddrForm.h"

namespace zub {

TBadAddrForm::TBadAddrForm(TManager& core, QWidget* parent)
    : TZubDialog(TFormId::BadAddrForm, parent),
      FCore(core),
      ui(std::make_unique<Ui::TBadAddrForm>()) {
  ui->setupUi(this);
  connect(ui->Button1, &QPushButton::clicked, this, [this] { done(mrOk); });
  InitForm();
}

TBadAddrForm::~TBadAddrForm() = default;

void TBadAddrForm::FormShow() {
  QStringList lines;
  for (const std::string& line : FCore.BadAddr.Memo1) lines << FromCore(line);
  ui->Memo1->setPlainText(lines.join(u'\n'));
}

}  // namespace zub
