// The save-slot selection as the commands run it: the parse into the main window's save-slot
// list, the "Save Slot" dialog filled from it, and the dialog's handlers, which keep the
// check marks of the dialog's lines and the items' Selected flags in step.
#pragma once

#include <cstdint>

#include "base/Bytes.h"
#include "commands/CoreState.h"

namespace zub {

// What SelectSaveSlots returns when the user closes the dialog other than with OK.
inline constexpr std::int32_t kSaveSlotsCancelled = -999;

// Parses the store of the image into m.FSaveSlots, m.FSaveStart and m.FSaveLength and returns
// the count of items (0: no store, the list is left as it was). The list holds offsets into
// the image, so the image must stay in place while the list is used.
std::int32_t ParseSaveSlots(TCoreState& m, Bytes image);

// Parses the image; without a store returns 0 and shows nothing. Otherwise lists every item,
// ticked, in the dialog (the caller has set its prompt Label1) and shows it: the count after
// OK, with each item's Selected flag holding the user's choice; kSaveSlotsCancelled else.
std::int32_t SelectSaveSlots(TCoreState& m, Bytes image);

// CheckListBox1ClickCheck: the line `index` was ticked or unticked.
void SaveSlotCheckClick(TCoreState& m, int index, bool checked);
// Button3Click, "Select All".
void SaveSlotSelectAll(TCoreState& m);
// Button4Click, "Deselect All".
void SaveSlotDeselectAll(TCoreState& m);

}  // namespace zub
