#include "gui/backup/ProgressDialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/backup/ProgressText.h"
#include "gui/common/WindowTitle.h"
#include "gui/common/ZubDialog.h"

namespace zub {
namespace {

QLabel* Line(QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  // Each line keeps its height while it is still empty.
  label->setMinimumHeight(label->fontMetrics().height());
  return label;
}

}  // namespace

TProgressDialog::TProgressDialog(const QString& caption, std::atomic<bool>& stop, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), FStop(stop) {
  setObjectName(QStringLiteral("ProgressDialog"));
  setWindowTitle(caption);
  setFont(DialogFont());
  setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(this);
  FPhase = Line(this, "Phase");
  FSections = Line(this, "Sections");
  FBytes = Line(this, "Bytes");
  FSpeed = Line(this, "Speed");
  FBar = new QProgressBar(this);
  FBar->setObjectName(QStringLiteral("ProgressBar"));
  FBar->setRange(0, 100);
  FBar->setValue(0);
  FCancel = new QPushButton(QStringLiteral("Cancel"), this);
  FCancel->setObjectName(QStringLiteral("CancelButton"));
  FCancel->setDefault(true);
  for (QWidget* w :
       {static_cast<QWidget*>(FPhase), static_cast<QWidget*>(FSections),
        static_cast<QWidget*>(FBytes), static_cast<QWidget*>(FSpeed), static_cast<QWidget*>(FBar)})
    layout->addWidget(w);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(FCancel);
  layout->addLayout(buttons);
  connect(FCancel, &QPushButton::clicked, this, &TProgressDialog::Cancel);
  setMinimumWidth(280);
  FSincePhase.start();
  KeepExactTitle(*this);
}

QString TProgressDialog::CancellingText() {
  return QStringLiteral("Cancelling after the call in flight...");
}

void TProgressDialog::Show(const TRunProgress& p) {
  // A phase starts with nothing done; its speed is measured from then on.
  if (p.SectionsDone == 0 || p.Phase != FLastPhase) FSincePhase.restart();
  FLastPhase = p.Phase;
  const TProgressText t = DescribeProgress(p, static_cast<double>(FSincePhase.elapsed()) / 1000.0);
  FPhase->setText(t.Phase);
  FSections->setText(t.Sections);
  FBytes->setText(t.Bytes);
  if (!CancelAsked()) FSpeed->setText(t.Speed);
  FBar->setValue(t.Percent);
  if (isVisible()) repaint();
}

void TProgressDialog::Cancel() {
  if (CancelAsked()) return;
  FStop = true;
  FCancel->setEnabled(false);
  FSpeed->setText(CancellingText());
}

void TProgressDialog::closeEvent(QCloseEvent* event) {
  // The window goes when the command has stopped, not before.
  event->ignore();
  Cancel();
}

void TProgressDialog::reject() {
  Cancel();
}

}  // namespace zub
