#include "gui/app/ZubApp.h"

#include <type_traits>

#include "gui/app/ExpertsForm.h"
#include "gui/app/StatusForm.h"
#include "gui/browser/HistoryForm.h"
#include "gui/browser/IconForm.h"
#include "gui/formats/BadAddrForm.h"
#include "gui/formats/OKBottomDlg.h"
#include "gui/prefs/PrefForm.h"
#include "gui/saveslots/SaveSlotForm.h"
#include "gui/tools/AboutBox.h"

namespace zub {

template <class T>
void TZubApp::Register(std::unique_ptr<T>& form) {
  FForms.push_back(form.get());
  if constexpr (std::is_base_of_v<TZubDialog, T>) FForm1->RegisterForm(form.get());
}

TZubApp::TZubApp(TForm1Options options) {
  FForm1 = std::make_unique<TForm1>(std::move(options));
  FForms.push_back(FForm1.get());
  TForm1* owner = FForm1.get();
  TManager& core = FForm1->Core();

  FAboutBox = std::make_unique<TAboutBox>(owner);
  Register(FAboutBox);
  FPrefForm = std::make_unique<TPrefForm>(core, owner);
  Register(FPrefForm);
  FExpertsForm = std::make_unique<TExpertsForm>(core, owner);
  Register(FExpertsForm);
  FStatusForm = std::make_unique<TStatusForm>(owner);
  Register(FStatusForm);
  FOKBottomDlg = std::make_unique<TOKBottomDlg>(owner);
  Register(FOKBottomDlg);
  TExpertsForm* experts = FExpertsForm.get();
  FOKBottomDlg->SetFWComboBox(experts->FWComboBox(), [experts] { experts->LoadFW(); });
  FBadAddrForm = std::make_unique<TBadAddrForm>(core, owner);
  Register(FBadAddrForm);
  FIconForm = std::make_unique<TIconForm>(core, owner);
  Register(FIconForm);
  FSaveSlotForm = std::make_unique<TSaveSlotForm>(core, owner);
  Register(FSaveSlotForm);
  FHistoryForm = std::make_unique<THistoryForm>(core, owner);
  Register(FHistoryForm);
}

TZubApp::~TZubApp() = default;

}  // namespace zub
