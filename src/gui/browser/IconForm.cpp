#include "gui/browser/IconForm.h"

#include <QSignalBlocker>

#include "app/Manager.h"
#include "formats/IconTable.h"
#include "gui/browser/IconImages.h"
#include "ui_IconForm.h"

namespace zub {

TIconForm::TIconForm(TManager& core, QWidget* parent)
    : TZubDialog(TFormId::IconForm, parent), FCore(core), ui(std::make_unique<Ui::TIconForm>()) {
  ui->setupUi(this);
  for (int k = 0; k < kIconItemCount; ++k) {
    const std::string_view caption = IconCaption(k);
    ui->ComboBoxEx1->addItem(
        IconOf(ImageIndexOfItem(k)),
        QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())));
  }
  ui->ComboBoxEx1->setCurrentIndex(-1);
  // Styles that open a combo box as a menu (Fusion among them) ignore the limit of eight items
  // and fill the screen; the list popup honours it.
  ui->ComboBoxEx1->setStyleSheet(QStringLiteral("combobox-popup: 0;"));
  connect(ui->ComboBoxEx1, &QComboBox::currentIndexChanged, this,
          [this](int index) { FCore.IconForm.ItemIndex = index; });
  connect(ui->Button1, &QPushButton::clicked, this, [this] { done(mrOk); });
  connect(ui->Button2, &QPushButton::clicked, this, [this] { done(mrCancel); });
  InitForm();
}

TIconForm::~TIconForm() = default;

void TIconForm::FormShow() {
  const QSignalBlocker block(ui->ComboBoxEx1);
  const int index = FCore.IconForm.ItemIndex;
  ui->ComboBoxEx1->setCurrentIndex(index >= 0 && index < kIconItemCount ? index : -1);
}

}  // namespace zub
