// Whole-section transfers: upload a file into the current row's section, download a section
// into a file, erase a section, show a GIF section, and the hidden size total of 18-1..18-31.
#pragma once

#include "commands/CoreState.h"

namespace zub {

void UploadActionExecute(TCoreState& m);
void DownloadActionExecute(TCoreState& m);
// Returns true when the section reads as empty afterwards.
bool ClearActionExecute(TCoreState& m);
enum class TEraseOutcome { Erased, NotErased, LinkLost };
// ClearActionExecute that tells a lost link apart; `lostNote` goes on the last line of its box.
TEraseOutcome EraseCurrentRow(TCoreState& m, const char* lostNote = nullptr);
void PlayGIFActionExecute(TCoreState& m);
void Button4Click(TCoreState& m);  // hidden "SummSize 18"

}  // namespace zub
