#include "gui/formats/OKBottomDlg.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>

#include "app/Manager.h"
#include "ui_OKBottomDlg.h"

namespace zub {

TOKBottomDlg::TOKBottomDlg(TManager& core, QWidget* parent)
    : TZubDialog(TFormId::OKBottomDlg, parent),
      FCore(core),
      ui(std::make_unique<Ui::TOKBottomDlg>()) {
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

  if (!FFWComboBox || FCore.Experts.FWBorrowed) return;
  FOwner = FFWComboBox->parentWidget();
  FOwnerPos = FFWComboBox->pos();
  FOwnerVisible = !FFWComboBox->isHidden();
  FFWComboBox->setParent(this);
  const QRect text1 = ui->StaticText1->geometry();
  FFWComboBox->move(text1.x(), text1.y() + text1.height() + 2);
  FFWComboBox->show();
  FCore.Experts.FWBorrowed = true;
  if (FRefresh) FRefresh();
}

void TOKBottomDlg::FormHide(int modalResult) {
  (void)modalResult;
  if (!FFWComboBox || !FCore.Experts.FWBorrowed) return;
  FFWComboBox->setParent(FOwner);
  FFWComboBox->move(FOwnerPos);
  FFWComboBox->setVisible(FOwnerVisible);
  FCore.Experts.FWBorrowed = false;
}

}  // namespace zub
