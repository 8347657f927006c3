// zub-demo-phone DIR: writes a simulated telephone into DIR (gbp-sim.ini and DIR/phone/*.bin)
// and sample files to upload into DIR/samples. Everything is generated here: programs in each
// image format the tool recognises, libraries, a preference record, a GIF picture, a ringer, a
// photo pack, save stores and data. An existing gbp-sim.ini is never overwritten.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "DemoContent.h"
#include "base/StdDescriptors.h"

namespace fs = std::filesystem;
using zub::demo::ByteVec;

namespace {

void WriteFile(const fs::path& path, const ByteVec& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteText(const fs::path& path, const std::string& text) {
  WriteFile(path, ByteVec(text.begin(), text.end()));
}

}  // namespace

int main(int argc, char** argv) {
  zub::EnsureStandardDescriptors();
  constexpr const char* kUsage =
      "usage: zub-demo-phone [--] DIR\n"
      "Writes a simulated telephone into DIR (gbp-sim.ini and DIR/phone) and sample files to\n"
      "upload into DIR/samples. An existing DIR/gbp-sim.ini is never overwritten.\n";
  const std::string arg = argc == 2 ? argv[1] : "";
  if (arg == "--help" || arg == "-h") {
    std::cout << kUsage;
    return 0;
  }
  // "--" ends the options, for a folder whose name starts with a dash.
  const bool dashed = argc == 3 && std::string(argv[1]) == "--";
  if (!dashed && (argc != 2 || (arg.size() > 1 && arg[0] == '-'))) {
    if (argc == 2) std::cerr << "zub-demo-phone: unknown option '" << arg << "'\n";
    std::cerr << kUsage;
    return 2;
  }
  const fs::path dir = argv[argc - 1];
  try {
    fs::create_directories(dir);
    const fs::path ini = dir / "gbp-sim.ini";
    if (fs::exists(ini)) {
      std::cerr << "zub-demo-phone: " << ini.string() << " exists; nothing written\n";
      return 1;
    }
    const fs::path phone = dir / "phone";
    const fs::path samples = dir / "samples";
    fs::create_directories(phone);
    fs::create_directories(samples);
    for (const auto& section : zub::demo::PhoneSections())
      WriteFile(phone / (section.Address + ".bin"), section.Bytes);
    for (const auto& sample : zub::demo::SampleFiles())
      WriteFile(samples / sample.Name, sample.Bytes);
    WriteText(ini, zub::demo::SimulatorIni());
    std::cout << "demo telephone written to " << phone.string() << "\n";
  } catch (const std::exception& e) {
    std::cerr << "zub-demo-phone: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
