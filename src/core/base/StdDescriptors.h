// The standard descriptors 0, 1 and 2 made valid before the program opens anything: a program
// started with one of them closed (`zub list <&- >&-`) would otherwise get a pipe or a file on
// that number, and its own output, or a child's, would land in it.
#pragma once

namespace zub {

// Opens /dev/null on each of 0, 1 and 2 that is closed. Call it first in main. Nothing on
// Windows, whose standard handles are not descriptor numbers the system hands out again.
void EnsureStandardDescriptors();

}  // namespace zub
