// The history's own work for one whole 64 KiB section: the hash, the content file and the
// index, written as every command that reads or writes the section has them written. Each
// pass keeps new content, so nothing is skipped as already kept; once the section holds its
// 20 versions every pass also applies the limits, as a long-used history does.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <vector>

#include "base/HistoryStore.h"

namespace zub::bench {
namespace {

void BM_HistoryKeep64K(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::temp_directory_path() / ("zub-history-bench-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  THistoryStore store(folder);
  const THistoryLimits limits;
  std::vector<std::uint8_t> content(65536);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7);
  // Other sections' histories beside it, as a used history has them.
  std::vector<std::string> problems;
  for (int s = 1; s <= 30; ++s)
    store.Add({2, s}, THistoryEntry{HistoryTimeNow(), "Download"}, Bytes(content.data(), 1000 + s),
              limits, problems);
  std::uint64_t pass = 0;
  for (auto _ : state) {
    ++pass;
    for (int b = 0; b < 8; ++b)
      content[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(pass >> (8 * b));
    THistoryEntry e{HistoryTimeNow(), "Upload", THistoryDirection::Written};
    e.Cable = "data cable";
    e.Port = "COM1";
    store.Add({2, 9}, e, content, limits, problems);
  }
  if (!problems.empty()) state.SkipWithError(problems.front().c_str());
  fs::remove_all(folder);
}
BENCHMARK(BM_HistoryKeep64K)->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zub::bench
