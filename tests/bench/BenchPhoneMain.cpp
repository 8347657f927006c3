// zub-bench-phone DIR (--demo | --catalogue=N) [--baud=B]: prepares DIR for a run of the
// program on the simulated telephone. DIR receives the simulator as gbp.dll, gbp-sim.ini and
// the settings file zubmanager.INI with SECTIONS.INI: the shipped catalogue over the demo
// telephone (--demo), or a catalogue of N entries over an empty telephone.
#include <filesystem>
#include <iostream>
#include <string>

#include "BenchPhone.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: zub-bench-phone DIR (--demo | --catalogue=N) [--baud=B]\n";
    return 2;
  }
  const fs::path dir = argv[1];
  bool demo = false;
  int catalogue = -1, baud = 0;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--demo") {
      demo = true;
    } else if (a.starts_with("--catalogue=")) {
      catalogue = std::stoi(a.substr(12));
    } else if (a.starts_with("--baud=")) {
      baud = std::stoi(a.substr(7));
    } else {
      std::cerr << "zub-bench-phone: unknown argument " << a << "\n";
      return 2;
    }
  }
  if (demo == (catalogue >= 0)) {
    std::cerr << "zub-bench-phone: give either --demo or --catalogue=N\n";
    return 2;
  }
  try {
    using namespace zub::bench;
    fs::create_directories(dir / "phone");
    fs::copy_file(fs::path(ZUB_BIN_DIR) / "gbp.dll", dir / "gbp.dll",
                  fs::copy_options::overwrite_existing);
    WriteSimIni(dir / "gbp-sim.ini", baud);
    if (demo) {
      CopyDefaultCatalogue(dir / "zubmanager.INI", dir / "SECTIONS.INI");
      WriteDemoSections(dir / "phone");
    } else {
      WriteCatalogue(dir / "zubmanager.INI", dir / "SECTIONS.INI", CatalogueKeys(catalogue));
    }
  } catch (const std::exception& e) {
    std::cerr << "zub-bench-phone: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
