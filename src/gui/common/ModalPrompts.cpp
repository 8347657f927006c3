#include "gui/common/ModalPrompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "gui/common/WindowTitle.h"

namespace zub {

void TQtPrompts::MessageBox(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  KeepExactTitle(box);
  box.exec();
}

bool TQtPrompts::Confirm(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                  owner);
  box.setTextFormat(Qt::PlainText);
  KeepExactTitle(box);
  return box.exec() == QMessageBox::Ok;
}

std::optional<QString> TQtPrompts::OpenFile(QWidget* owner, const QStringList& filters) {
  QString selected = filters.isEmpty() ? QString() : filters.front();
  const QString name = QFileDialog::getOpenFileName(owner, QString(), QString(),
                                                    filters.join(QStringLiteral(";;")), &selected);
  if (name.isEmpty()) return std::nullopt;
  return name;
}

std::optional<QString> TQtPrompts::SaveFile(QWidget* owner) {
  const QString name = QFileDialog::getSaveFileName(owner);
  if (name.isEmpty()) return std::nullopt;
  return name;
}

std::optional<QString> TQtPrompts::ChooseFolder(QWidget* owner, const QString& caption) {
  const QString dir = QFileDialog::getExistingDirectory(owner, caption);
  if (dir.isEmpty()) return std::nullopt;
  return dir;
}

void TQtPrompts::ShowException(QWidget* owner, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  KeepExactTitle(box);
  box.exec();
}

bool TQtPrompts::OpenWithSystem(const QString& filePath) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(filePath));
}

int TQtPrompts::Exec(QDialog& dialog) {
  return dialog.exec();
}

}  // namespace zub
