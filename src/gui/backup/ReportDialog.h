// The result list of a backup, verify or restore, and the restore's plan: one line per section
// and the summary in a read-only list the user can scroll and copy, with an OK button; with a
// question (the restore's "Write 1 section ... ?") Yes and No instead, No the default, so
// that Enter or Esc writes nothing.
#pragma once

#include <QDialog>

#include "commands/Interaction.h"

namespace zub {

class TReportDialog : public QDialog {
  Q_OBJECT

 public:
  TReportDialog(const TReport& report, QWidget* parent);

  // Esc and the close box: Cancel, as the toolkit's modal forms do.
  void reject() override { done(mrCancel); }
};

}  // namespace zub
