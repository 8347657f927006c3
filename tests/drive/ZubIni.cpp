// zub-ini FILE SECTION KEY VALUE: sets one key of a profile file, keeping the rest. Test
// scripts use it to prepare a telephone or the settings before a driver run.
#include <iostream>

#include "base/ProfileFile.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: zub-ini FILE SECTION KEY VALUE\n";
    return 2;
  }
  try {
    zub::TProfileFile file(argv[1]);
    file.WriteString(argv[2], argv[3], argv[4]);
  } catch (const std::exception& e) {
    std::cerr << "zub-ini: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
