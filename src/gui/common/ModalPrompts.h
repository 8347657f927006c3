// Everything that blocks the user: message boxes, file dialogs, the modal run of a form. The
// window asks through this interface; TQtPrompts answers with real Qt dialogs, tests answer
// with a recorder and never block.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QDialog;
class QWidget;

namespace zub {

class IModalPrompts {
 public:
  virtual ~IModalPrompts() = default;

  // One OK button, no icon.
  virtual void MessageBox(QWidget* owner, const QString& caption, const QString& text) = 0;
  // OK and Cancel; true for OK.
  virtual bool Confirm(QWidget* owner, const QString& caption, const QString& text) = 0;
  // `filters` in Qt's notation, the first one selected; empty: no filter.
  virtual std::optional<QString> OpenFile(QWidget* owner, const QStringList& filters) = 0;
  virtual std::optional<QString> SaveFile(QWidget* owner) = 0;
  // An existing folder (the dialog can make one); nullopt when cancelled. Prompts that have
  // no folder chooser answer as cancelled.
  virtual std::optional<QString> ChooseFolder(QWidget* owner, const QString& caption) {
    (void)owner;
    (void)caption;
    return std::nullopt;
  }
  // The standard exception box: a command ended with an exception.
  virtual void ShowException(QWidget* owner, const QString& text) = 0;
  // Opens a file with the system's viewer for it; does not wait. False when the desktop
  // reports that no program could be started.
  virtual bool OpenWithSystem(const QString& filePath) = 0;
  // Runs a prepared dialog modally and returns its modal result.
  virtual int Exec(QDialog& dialog) = 0;
};

class TQtPrompts final : public IModalPrompts {
 public:
  void MessageBox(QWidget* owner, const QString& caption, const QString& text) override;
  bool Confirm(QWidget* owner, const QString& caption, const QString& text) override;
  std::optional<QString> OpenFile(QWidget* owner, const QStringList& filters) override;
  std::optional<QString> SaveFile(QWidget* owner) override;
  std::optional<QString> ChooseFolder(QWidget* owner, const QString& caption) override;
  void ShowException(QWidget* owner, const QString& text) override;
  bool OpenWithSystem(const QString& filePath) override;
  int Exec(QDialog& dialog) override;
};

}  // namespace zub
