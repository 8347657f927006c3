#include "app/Commands.h"

namespace zub {

void ExecuteAction(TManager& m, TActionId id) {
  switch (id) {
    default:
      break;
  }
  (void)m;
}

void ClickButton(TManager& m, int number) {
  switch (number) {
    case 2:  // "About"
      m.UI.ShowModal(TFormId::AboutBox);
      break;
    case 7:  // "Options"
      m.Button7Click();
      break;
    default:
      break;
  }
}

}  // namespace zub
