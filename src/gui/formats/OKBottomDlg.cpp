#include "gui/formats/OKBottomDlg.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>

#include "ui_OKBottomDlg.h"

namespace zub {

TOKBottomDlg::TOKBottomDlg(QWidget* parent)
    : TZubDialog(TFormId::OKBottomDlg, parent), ui(std::make_unique<Ui::TOKBottomDlg>()) {
  ui->setupUi(this);
  QFont heading;
  heading.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
  heading.setPixelSize(19);
  ui->StaticText3->setFont(heading);
  connect(ui->OKBtn, &QPushButton::clicked, this, [this] { done(mrYes); });
  connect(ui->Button1, &QPushButton::clicked, this, [this] { done(mrNo); });
  connect(ui->CancelBtn, &QPushButton::clicked, this, [this] { done(mrCancel); });
  InitForm();
}

TOKBottomDlg::~TOKBottomDlg() = default;

void TOKBottomDlg::SetFWComboBox(QComboBox* combo, std::function<void()> refresh) {
  FFWComboBox = combo;
  FRefresh = std::move(refresh);
}

void TOKBottomDlg::FormShow() {
  // Centred on the screen, not on the main window.
  if (const QScreen* screen =
          parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  // The command marks the box as lent in the core before the prompt shows; the widget moves
  // here on every show, whatever that mark says.
  if (!FFWComboBox || FOwner) return;
  FOwner = FFWComboBox->parentWidget();
  FOwnerPos = FFWComboBox->pos();
  FOwnerVisible = !FFWComboBox->isHidden();
  FFWComboBox->setParent(this);
  const QRect text1 = ui->StaticText1->geometry();
  FFWComboBox->move(text1.x(), text1.y() + text1.height() + 2);
  FFWComboBox->show();
  if (FRefresh) FRefresh();
}

// Whichever button closed the prompt; the command saves the settings after it.
void TOKBottomDlg::FormHide(int modalResult) {
  (void)modalResult;
  if (!FFWComboBox || !FOwner) return;
  FFWComboBox->setParent(FOwner);
  FFWComboBox->move(FOwnerPos);
  FFWComboBox->setVisible(FOwnerVisible);
  FOwner = nullptr;
}

}  // namespace zub
