// The preference dialog's commands: reading the record of 2-18 into PrefForm together with
// the space totals of sections 2, 17 and 18, and writing the record back from the dialog.
// The library upload reads the record the same way and takes its target from sEdit/ssEdit.
#pragma once

#include "commands/CoreState.h"

namespace zub {

// "Get Preferences": fills PrefForm from the telephone, whether or not the dialog is shown.
// Leaves the status line alone. False when the telephone stopped answering (after its box):
// the command that asked must not go on.
bool GetPrefAction(TCoreState& m);

// Builds the record from PrefForm and writes it to 2-18. A field that is not a number raises
// EConvertError before anything is written.
void SetPrefAction(TCoreState& m);

// "ZUBx Preferences": the dialog reads the record as it opens; "Update" writes it back.
void Button3Click(TCoreState& m);

}  // namespace zub
