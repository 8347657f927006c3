// The figures of a benchmark program: each one reads the medians of the benchmarks it names,
// works out its value and compares it with its target. The program runs its benchmarks with
// the usual console output, then writes one line per figure ("figure<TAB>value<TAB>target
// <TAB>pass|FAIL|-") to the file given with --table=FILE, or to standard output.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zub::bench {

// One benchmark's result: the median over the repetitions when there were several, else the
// single run. Keyed by the benchmark's name and arguments ("BM_RebuildCatalogue/1000").
struct TMedian {
  double Seconds = 0;     // wall time per iteration (manual time where a benchmark times itself)
  double CpuSeconds = 0;  // the process's CPU time per iteration
  std::map<std::string, double> Counters;
};

// Which time a figure compares. The machine that runs the benchmarks may be busy with other
// work: CPU time is what a computation costs whatever else runs, wall time is what a user
// waits for (and the only measure of a command that sleeps on the link).
enum class TClock { Cpu, Wall };
using TResults = std::map<std::string, TMedian>;

struct TVerdict {
  std::string Value;         // as printed; "not measured (...)" when absent
  std::optional<bool> Pass;  // absent: not measured
};

struct TFigure {
  std::string Name;
  std::string Target;
  std::function<TVerdict(const TResults&)> Evaluate;
};

// "0.41 us", "12.3 ms", "1.02 s".
std::string FormatSeconds(double seconds);
std::string FormatNumber(double value, int decimals);

// The slowest of the benchmarks whose key starts with `prefix`, at most `limit` seconds.
TFigure TimeAtMost(std::string name, std::string prefix, TClock clock, double limit,
                   std::string target);
// The time of one benchmark, shown without a target.
TFigure TimeInfo(std::string name, std::string key, TClock clock);
// A counter of one benchmark, at most `limit`.
TFigure CounterAtMost(std::string name, std::string key, std::string counter, double limit,
                      std::string target, int decimals);

// Runs the benchmarks named on the command line (the usual --benchmark_* flags) and prints
// the figures. Returns 0 when no figure failed.
int RunAndReport(int argc, char** argv, const std::vector<TFigure>& figures);

}  // namespace zub::bench
