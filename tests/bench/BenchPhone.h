// Telephones for the measurements: the demo telephone with the shipped catalogue, and
// catalogues of any length. Used by the link benchmarks (inside a SimTelephone folder) and by
// zub-bench-phone, which prepares a folder for the whole-program measurements.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zub::bench {

namespace fs = std::filesystem;

// A [Sections] list of the given keys (section * 256 + sub-section, written "0x%04X") in the
// settings file and an entry with a description and a size for each in SECTIONS.INI. Both
// files are replaced.
void WriteCatalogue(const fs::path& settingsFile, const fs::path& sectionsIni,
                    const std::vector<int>& keys);
// `count` distinct keys, from section 1 on.
std::vector<int> CatalogueKeys(int count);

// The settings file and catalogue that ship with the program.
void CopyDefaultCatalogue(const fs::path& settingsFile, const fs::path& sectionsIni);

// The demo telephone's sections as S-SS.bin files in phoneDir.
void WriteDemoSections(const fs::path& phoneDir);

// gbp-sim.ini for a telephone on every port, sections in "phone", the link at `baud`.
void WriteSimIni(const fs::path& file, int baud);

}  // namespace zub::bench
