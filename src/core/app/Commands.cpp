#include "app/Commands.h"

#include "browser/Scan.h"
#include "formats/Conversion.h"
#include "formats/LibraryUpload.h"
#include "formats/LzoUpload.h"
#include "prefs/Preferences.h"
#include "saveslots/SaveSlotCommands.h"
#include "tools/Maintenance.h"
#include "transfer/Transfer.h"

namespace zub {

void ExecuteAction(TManager& m, TActionId id) {
  using A = TActionId;
  switch (id) {
    case A::RefreshAction: RefreshActionExecute(m); break;
    case A::ClearAction: ClearActionExecute(m); break;
    case A::UploadAction: UploadActionExecute(m); break;
    case A::PlayGIFAction: PlayGIFActionExecute(m); break;
    case A::DownloadAction: DownloadActionExecute(m); break;
    case A::ConvertAction: ConvertActionExecute(m); break;
    case A::GetPrefAction: GetPrefAction(m); break;
    case A::SetPrefAction: SetPrefAction(m); break;
    case A::UploadLZOAction: UploadLZOActionExecute(m); break;
    case A::DownloadSaveAction: DownloadSaveActionExecute(m); break;
    case A::UploadSaveAction: UploadSaveActionExecute(m); break;
    case A::EraseSaveAction: EraseSaveActionExecute(m); break;
  }
}

void ClickButton(TManager& m, int number) {
  switch (number) {
    case 1: Button1Click(m); break;  // "Full Refresh"
    case 2: m.UI.ShowModal(TFormId::AboutBox); break;
    case 3: Button3Click(m); break;  // "ZUBx Preferences"
    case 4: Button4Click(m); break;  // hidden "SummSize 18"
    case 5: Button5Click(m); break;  // "UFIF2 library upload"
    case 6: Button6Click(m); break;  // "PRG3 library upload"
    case 7: m.Button7Click(); break;  // "Options"
    case 8: Button8Click(m); break;  // hidden "Button8"
    case 9: Button9Click(m); break;  // hidden "U"
    case 10: ButtonCli(m); break;    // hidden "C"
    default: break;
  }
}

}  // namespace zub
