#include "gui/tools/AboutBox.h"

#include "ui_AboutBox.h"

namespace zub {

TAboutBox::TAboutBox(QWidget* parent)
    : TZubDialog(TFormId::AboutBox, parent), ui(std::make_unique<Ui::TAboutBox>()) {
  ui->setupUi(this);
  InitForm();
  QFont product = font();
  product.setPixelSize(16);
  product.setBold(true);
  ui->ProductName->setFont(product);
  connect(ui->OKButton, &QPushButton::clicked, this, [this] { done(mrOk); });
}

TAboutBox::~TAboutBox() = default;

}  // namespace zub
