// The UFIF 2.0 -> 2.1 conversion as the commands run it: the prompt that borrows the firmware
// combo box, and the conversion of a loaded image for the firmware it shows.
#pragma once

#include "base/Bytes.h"
#include "commands/CoreState.h"

namespace zub {

enum class TConvertAnswer { Yes, No, Cancel };

// Shows the conversion prompt (OKBottomDlg). The firmware combo box of the options dialog sits
// in the prompt while it is shown; on hide it goes back and the settings are saved, whichever
// button closed the prompt.
TConvertAnswer AskConversion(TCoreState& m);

// Marks the image as UFIF 2.1 and relocates it for the firmware that the combo box shows, with
// "Converting data..." and "Convert done!" in the status line; a non-empty report replaces the
// report window's memo. A firmware text that is no valid address raises EConvertError before
// the image is touched.
void ConvertImage(TCoreState& m, MutableBytes image);

// For the uploads: when the image is a UFIF 2.0 program, asks and converts on "Yes". Returns
// false when the user cancelled, which ends the upload.
bool OfferConversion(TCoreState& m, MutableBytes image);

// "Convert to UFIF2.1" in the context menu: converts the program in the current row's
// section in place, keeping a copy in "temp.prg".
void ConvertActionExecute(TCoreState& m);

}  // namespace zub
