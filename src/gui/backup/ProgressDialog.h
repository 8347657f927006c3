// The progress window of a backup, verify or restore: modal over the main window, it shows
// the phase, the sections and bytes done, the speed and the time left, and has a Cancel
// button. Cancel (or Esc, or closing the window) raises the run's stop flag: the run stops
// before its next device call and closes the connection, and the window stays until the
// command takes it down. It paints while the telephone works, since the window thread runs
// its events during every call; the device thread lets its input through (AllowInput).
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <atomic>

#include "commands/Backup.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace zub {

class TProgressDialog : public QDialog {
  Q_OBJECT

 public:
  TProgressDialog(const QString& caption, std::atomic<bool>& stop, QWidget* parent);

  // Shows the run's progress and paints it at once (between two calls no event loop runs).
  void Show(const TRunProgress& p);
  bool CancelAsked() const { return FStop.load(); }

  // The text the window shows once Cancel was pressed.
  static QString CancellingText();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void Cancel();

  std::atomic<bool>& FStop;
  QLabel* FPhase;
  QLabel* FSections;
  QLabel* FBytes;
  QLabel* FSpeed;
  QProgressBar* FBar;
  QPushButton* FCancel;
  QElapsedTimer FSincePhase;
  TRunPhase FLastPhase = TRunPhase::Sizing;
};

}  // namespace zub
