// The main window's command table: every action and button handler, by id, as the window and
// the scripted driver invoke them. Each runs inside TManager::Run.
#pragma once

#include "app/Actions.h"
#include "app/Manager.h"

namespace zub {

// Executes an action of ActionList1, enabled or not.
void ExecuteAction(TManager& m, TActionId id);
// Clicks a main window button (Button1 .. Button10), visible or not.
void ClickButton(TManager& m, int number);

}  // namespace zub
