#include "gui/common/ZubDialog.h"

namespace zub {

QFont DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
  font.setPixelSize(10);
  return font;
}

TZubDialog::TZubDialog(TFormId form, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), FForm(form) {}

void TZubDialog::InitForm() {
  setObjectName(QString::fromLatin1(FormName(FForm)));
  setWindowTitle(QString::fromLatin1(FormCaption(FForm)));
  setFont(DialogFont());
  setFixedSize(size());
}

}  // namespace zub
