// The save-slot commands of the section grid's context menu, on the current row's section:
// copy chosen items into a save-slot file, replace chosen items by items from a file, remove
// chosen items. Each reads the section once and writes it back at most once; the connection
// is closed whenever the user is asked something, and the program part is never touched.
#pragma once

#include "commands/CoreState.h"

namespace zub {

void DownloadSaveActionExecute(TCoreState& m);  // "Download Save Slot"
void UploadSaveActionExecute(TCoreState& m);    // "Upload Save Slot"
void EraseSaveActionExecute(TCoreState& m);     // "Erase Save Slot"

}  // namespace zub
