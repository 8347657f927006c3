// Compiled with the include roots of the formats layer only: the formats see bytes, never the
// device, so the device component's header must not be found and this file must not compile.
#include "device/NVMSection.h"
