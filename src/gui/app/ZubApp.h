// The application's forms, created at start-up in their fixed order and kept until the end:
// Form1 (which creates the core and loads the device library), then the nine dialogs.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "gui/app/Form1.h"

namespace zub {

class TAboutBox;
class TPrefForm;
class TExpertsForm;
class TStatusForm;
class TOKBottomDlg;
class TBadAddrForm;
class TIconForm;
class TSaveSlotForm;
class THistoryForm;

class TZubApp {
 public:
  explicit TZubApp(TForm1Options options);
  ~TZubApp();
  TZubApp(const TZubApp&) = delete;
  TZubApp& operator=(const TZubApp&) = delete;

  TForm1& Form1() const { return *FForm1; }
  TAboutBox& AboutBox() const { return *FAboutBox; }
  TPrefForm& PrefForm() const { return *FPrefForm; }
  TExpertsForm& ExpertsForm() const { return *FExpertsForm; }
  TStatusForm& StatusForm() const { return *FStatusForm; }
  TOKBottomDlg& OKBottomDlg() const { return *FOKBottomDlg; }
  TBadAddrForm& BadAddrForm() const { return *FBadAddrForm; }
  TIconForm& IconForm() const { return *FIconForm; }
  TSaveSlotForm& SaveSlotForm() const { return *FSaveSlotForm; }
  THistoryForm& HistoryForm() const { return *FHistoryForm; }

  // The ten forms in the order they were created.
  const std::vector<QWidget*>& Forms() const { return FForms; }

 private:
  // Lists a newly created form and lets the main window show it if it is a dialog.
  template <class T>
  void Register(std::unique_ptr<T>& form);

  // Destroyed in reverse: the dialogs first, the main window (and with it the core) last.
  std::unique_ptr<TForm1> FForm1;
  std::unique_ptr<TAboutBox> FAboutBox;
  std::unique_ptr<TPrefForm> FPrefForm;
  std::unique_ptr<TExpertsForm> FExpertsForm;
  std::unique_ptr<TStatusForm> FStatusForm;
  std::unique_ptr<TOKBottomDlg> FOKBottomDlg;
  std::unique_ptr<TBadAddrForm> FBadAddrForm;
  std::unique_ptr<TIconForm> FIconForm;
  std::unique_ptr<TSaveSlotForm> FSaveSlotForm;
  std::unique_ptr<THistoryForm> FHistoryForm;
  std::vector<QWidget*> FForms;
};

}  // namespace zub
