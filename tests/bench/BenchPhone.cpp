#include "BenchPhone.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "DemoContent.h"

namespace zub::bench {
namespace {

void WriteText(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

void WriteCatalogue(const fs::path& settingsFile, const fs::path& sectionsIni,
                    const std::vector<int>& keys) {
  std::string settings = "[Manager]\nCOM-Port=0\n[Sections]\n";
  std::string catalogue;
  settings.reserve(keys.size() * 24);
  catalogue.reserve(keys.size() * 56);
  char key[16];
  int n = 1;
  for (const int k : keys) {
    std::snprintf(key, sizeof key, "0x%04X", static_cast<unsigned>(k));
    settings += "section" + std::to_string(n++) + "=" + key + "\n";
    catalogue += std::string("[") + key + "]\nDescription=Slot " + std::to_string(k >> 8) + "-" +
                 std::to_string(k & 255) + "\nMaxSize=65535\n";
  }
  WriteText(settingsFile, settings);
  WriteText(sectionsIni, catalogue);
}

std::vector<int> CatalogueKeys(int count) {
  std::vector<int> keys;
  for (int i = 0; i < count; ++i) keys.push_back(0x100 + i);
  return keys;
}

void CopyDefaultCatalogue(const fs::path& settingsFile, const fs::path& sectionsIni) {
  const fs::path data = ZUB_DATA_DIR;
  fs::copy_file(data / "zubmanager.INI", settingsFile, fs::copy_options::overwrite_existing);
  fs::copy_file(data / "SECTIONS.INI", sectionsIni, fs::copy_options::overwrite_existing);
}

void WriteDemoSections(const fs::path& phoneDir) {
  fs::create_directories(phoneDir);
  for (const auto& s : demo::PhoneSections()) {
    std::ofstream out(phoneDir / (s.Address + ".bin"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(s.Bytes.data()),
              static_cast<std::streamsize>(s.Bytes.size()));
    if (!out) throw std::runtime_error("cannot write the demo telephone");
  }
}

void WriteSimIni(const fs::path& file, int baud) {
  WriteText(file,
            "[Link]\nPorts=1,2,3,4\nBaud=" + std::to_string(baud) + "\n[Memory]\nFolder=phone\n");
}

}  // namespace zub::bench
