// Compiled with the include roots of the formats layer only: its own and the base layer's
// headers are found.
#include "base/Bytes.h"
#include "formats/Ufif.h"
