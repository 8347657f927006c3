// The hidden maintenance buttons: re-ordering a library entry list after the reference list
// "514lg4.lib", and erasing section 17-19.
#pragma once

#include "commands/CoreState.h"

namespace zub {

// The reference list, opened by its bare name in the current folder.
inline constexpr const char* kReferenceListName = "514lg4.lib";

// Hidden Button8: writes the chosen list re-ordered after the reference to the chosen name
// with "_" appended. Shows nothing; file failures raise EFileError.
void Button8Click(TCoreState& m);

// Hidden Button10 "C": clears 17-19.
void ButtonCli(TCoreState& m);

}  // namespace zub
