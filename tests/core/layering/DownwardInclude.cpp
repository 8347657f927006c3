// Compiled with the include roots of the formats layer only: its own and the lower layers'
// headers are found.
#include "base/Bytes.h"
#include "device/NVMSection.h"
#include "formats/Ufif.h"
