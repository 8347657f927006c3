// TManager: the one core object that holds what the main window owns (the core state that
// every command works on) together with the window's own events and the action table's state.
// The Qt window, the scripted driver and the command line each hold one.
#pragma once

#include <functional>

#include "app/Actions.h"
#include "commands/CoreState.h"

namespace zub {

class TManager : public TCoreState {
 public:
  TManager(IInteraction& ui, TManagerOptions options);

  TActionSet ActionEnabled;  // set by the context menu

  // Runs a handler the way the message loop does: an exception that escapes is shown by the
  // standard exception box and the tool goes on.
  void Run(const std::function<void()>& handler);

  // Window events.
  void FormShow();   // settings load; a Windows library's host is started meanwhile
  void FormClose();  // settings save

  void Button7Click();  // "Options"
  void DrawGrid1Click(int row);
  void DrawGrid1MouseUpRight();  // a right click: enable the actions for the current row
};

}  // namespace zub
