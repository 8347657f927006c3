// Window titles letter for letter. Qt hands the window manager an empty title as the
// application's name; this writes the title property again as the window has it.
#pragma once

class QWidget;

namespace zub {

// Creates the window's native window when it has none yet. Under X11 (_NET_WM_NAME) the title
// becomes exactly windowTitle(); elsewhere nothing changes.
void KeepExactTitle(QWidget& window);

}  // namespace zub
