// Compiled with the include roots of the formats layer only: the top layer's header must not
// be found, so this file must not compile.
#include "app/Manager.h"
