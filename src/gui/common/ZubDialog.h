// The base of the application's dialogs: named and captioned after their form, closing with
// the toolkit's modal result numbers. The main window shows a dialog in three steps:
// FormShow (load the core's model into the widgets), the modal run, FormHide (write back).
#pragma once

#include <QDialog>
#include <QFont>

#include "commands/Interaction.h"

namespace zub {

// The forms' font. They were laid out for MS Sans Serif 8 point; Liberation Sans (or Arial, its
// metric twin) needs 10 pixels to fit the same widths, "Additional info in full refresh" in
// its 153-pixel check box being the tightest.
QFont DialogFont();

class TZubDialog : public QDialog {
  Q_OBJECT

 public:
  TZubDialog(TFormId form, QWidget* parent);

  TFormId FormId() const { return FForm; }

  virtual void FormShow() {}
  virtual void FormHide(int modalResult) { (void)modalResult; }

  // Esc and the close box give Cancel, as the toolkit's modal forms do.
  void reject() override { done(mrCancel); }

 protected:
  // After setupUi: the form's name and caption, and a size the user cannot change.
  void InitForm();

 private:
  TFormId FForm;
};

}  // namespace zub
