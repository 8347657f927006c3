// The one seam through which the window and every command reach the user. The Qt window
// implements it with real dialogs; the scripted driver and the tests script it.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zub {

struct TRunProgress;

// The forms of the application, in the order they are created at start-up.
enum class TFormId {
  Form1,
  AboutBox,
  PrefForm,
  ExpertsForm,
  StatusForm,
  OKBottomDlg,
  BadAddrForm,
  IconForm,
  SaveSlotForm,
  HistoryForm,
};

inline constexpr TFormId kAllForms[] = {
    TFormId::Form1,        TFormId::AboutBox,    TFormId::PrefForm,    TFormId::ExpertsForm,
    TFormId::StatusForm,   TFormId::OKBottomDlg, TFormId::BadAddrForm, TFormId::IconForm,
    TFormId::SaveSlotForm, TFormId::HistoryForm,
};

const char* FormName(TFormId form);     // "Form1", "AboutBox", ...
const char* FormCaption(TFormId form);  // "ZUB Manager 3", "About", ...

// Modal results, numbered as the toolkit numbers them.
enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrYes = 6,
  mrNo = 7,
};

// The progress window of a long run (backup, verify, restore), shown until the object goes.
class IProgress {
 public:
  virtual ~IProgress() = default;
  // A phase begins (SectionsDone 0) or a section of it is done.
  virtual void Update(const TRunProgress& progress) = 0;
};

// A modal list of results, one line per section and a summary, with an OK button; with a
// question, Yes and No buttons instead, No the default.
struct TReport {
  std::string Caption;
  std::vector<std::string> Lines;
  std::string Question;  // empty: the list only
};

class IInteraction {
 public:
  virtual ~IInteraction() = default;

  // The status line (a single simple panel).
  virtual void Status(const std::string& text) = 0;
  // A command is about to wait for something slow that is not its own work (the Windows
  // device helper's first start): the status line, unless the front end has a better place.
  virtual void Waiting(const std::string& text) { Status(text); }
  // A modal box with one OK button, owned by the main window. "\n" in text is a line break.
  virtual void MessageBox(const std::string& caption, const std::string& text) = 0;
  // The confirmation dialog with OK and Cancel; true for OK.
  virtual bool Confirm(const std::string& caption, const std::string& text) = 0;
  // A file-open dialog with the given filter (empty: no filter); nullopt when cancelled.
  virtual std::optional<std::string> OpenFile(const std::string& filter) = 0;
  // The file-save dialog (no filter, no default extension); nullopt when cancelled.
  virtual std::optional<std::string> SaveFile() = 0;
  // Shows a form modally over the core's model of that form and returns its modal result.
  // Whoever answers may change the form's model through the core's handlers first.
  virtual int ShowModal(TFormId form) = 0;
  // Hands a command line to the system's program launcher; does not wait. False when the
  // system reports that no program could be started for it.
  virtual bool Launch(const std::string& commandLine) = 0;
  // The standard exception box: a command ended with an exception.
  virtual void ShowException(const std::string& text) = 0;

  // The safety net's dialogs (commands/SafetyNet.h). A front end without them (the command
  // line) keeps what is here: the folder dialog cancelled, no progress shown, no question
  // answered Yes.
  //
  // A folder chooser with this caption (an existing folder, or one made in it); nullopt when
  // cancelled.
  virtual std::optional<std::string> ChooseFolder(const std::string& caption);
  // Shows a modal progress window with a Cancel button until the returned object goes. The
  // user's Cancel raises `stop`, which the run looks at before every device call.
  virtual std::unique_ptr<IProgress> BeginProgress(const std::string& caption,
                                                   std::atomic<bool>& stop);
  // The report; true when the user answered its question with Yes (false without a question).
  virtual bool ShowReport(const TReport& report);

  // Not blocking: the grid's rows or contents changed and should be repainted.
  virtual void RepaintGrid() = 0;
  // Not blocking: the main window's controls (bounds, combo boxes, check boxes) were changed
  // by the core and should show the core's values.
  virtual void ControlsChanged() = 0;
};

}  // namespace zub
