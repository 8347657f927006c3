#include "app/Manager.h"

namespace zub {

TManager::TManager(IInteraction& ui, TManagerOptions options)
    : TCoreState(ui, std::move(options)) {}

void TManager::Run(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    UI.ShowException(e.what());
  }
}

void TManager::FormShow() {
  // The first load reloads the library that the constructor loaded a moment ago; a library
  // missing then was reported already and is not reported twice.
  SuppressRepeatedLoadFailures(true);
  try {
    SettingsLoad();
  } catch (...) {
    SuppressRepeatedLoadFailures(false);
    throw;
  }
  SuppressRepeatedLoadFailures(false);
  // A Windows library's host takes its time at Wine's first start (up to a minute): it gets
  // ready while the user looks at the window. The connection opens only at a command.
  NVM->StartHostEarly();
}

void TManager::FormClose() {
  SettingsSave();
}

void TManager::Button7Click() {
  SettingsSave();
  const int result = UI.ShowModal(TFormId::ExpertsForm);
  if (result == mrOk) SettingsSave();
  SettingsLoad();
  // The settings' load takes the library (and its host) anew.
  NVM->StartHostEarly();
}

void TManager::DrawGrid1Click(int row) {
  Row = row;
  if (const TSectInfo* s = CurrentSection())
    UI.Status("By default section " + s->Address().Text() + " is used for " + s->Description);
}

void TManager::DrawGrid1MouseUpRight() {
  ActionEnabled.reset();
  if (const TSectInfo* s = CurrentSection()) ActionEnabled = MenuActionsFor(s->Kind, s->Format);
}

}  // namespace zub
