// fuzz_replay ROOT...: runs every fuzz target's test function, without libFuzzer, over each
// file below ROOT/<target>/ (regression inputs, seed corpora). A violated property aborts, as
// it does under the fuzzer; a missing ROOT or target folder is fine, no input at all is not.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#define ZUB_FUZZ_TARGET(name) extern "C" int ZubFuzz_##name(const std::uint8_t*, std::size_t);
#include "FuzzTargets.inc"
#undef ZUB_FUZZ_TARGET

namespace {

namespace fs = std::filesystem;

struct TTarget {
  const char* Name;
  int (*Run)(const std::uint8_t*, std::size_t);
};

const TTarget kTargets[] = {
#define ZUB_FUZZ_TARGET(name) {#name, ZubFuzz_##name},
#include "FuzzTargets.inc"
#undef ZUB_FUZZ_TARGET
};

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: fuzz_replay ROOT...\n";
    return 2;
  }
  std::size_t total = 0;
  for (const TTarget& target : kTargets) {
    std::size_t count = 0;
    for (int a = 1; a < argc; ++a) {
      const fs::path dir = fs::path(argv[a]) / target.Name;
      if (!fs::is_directory(dir)) continue;
      std::vector<fs::path> files;
      for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const auto& file : files) {
        const auto bytes = ReadAll(file);
        // Name the input first: a violated property aborts inside the call.
        std::cerr << "replay " << file.string() << "\n";
        target.Run(bytes.data(), bytes.size());
        ++count;
      }
    }
    std::cout << target.Name << ": " << count << " inputs\n";
    total += count;
  }
  std::cout << "fuzz_replay: " << total << " inputs replayed\n";
  return total > 0 ? 0 : 1;
}
