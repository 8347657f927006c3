#include "BenchTable.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string_view>

#include <unistd.h>

namespace zub::bench {
namespace {

double ToSeconds(double value, benchmark::TimeUnit unit) {
  switch (unit) {
    case benchmark::kNanosecond:
      return value * 1e-9;
    case benchmark::kMicrosecond:
      return value * 1e-6;
    case benchmark::kMillisecond:
      return value * 1e-3;
    case benchmark::kSecond:
      return value;
  }
  return value;
}

std::string KeyOf(const benchmark::BenchmarkReporter::Run& run) {
  const auto& name = run.run_name;
  return name.args.empty() ? name.function_name : name.function_name + "/" + name.args;
}

// The console output as usual, and the medians kept for the figures.
class TCapturingReporter : public benchmark::ConsoleReporter {
 public:
  using ConsoleReporter::ConsoleReporter;
  TResults Results;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      TMedian& m = Results[KeyOf(run)];
      m.Seconds = ToSeconds(run.GetAdjustedRealTime(), run.time_unit);
      m.CpuSeconds = ToSeconds(run.GetAdjustedCPUTime(), run.time_unit);
      m.Counters.clear();
      for (const auto& [counter, value] : run.counters) m.Counters[counter] = value.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

const TVerdict kNotRun{"not measured (benchmark not run)", std::nullopt};

}  // namespace

std::string FormatNumber(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string FormatSeconds(double seconds) {
  struct Unit {
    double scale;
    const char* name;
  };
  static const Unit kUnits[] = {{1e-6, "ns"}, {1e-3, "us"}, {1, "ms"}};
  for (const auto& u : kUnits) {
    if (seconds >= u.scale) continue;
    const double value = seconds / u.scale * 1e3;
    return FormatNumber(value, value < 10 ? 2 : 1) + " " + u.name;
  }
  return FormatNumber(seconds, 3) + " s";
}

TFigure TimeAtMost(std::string name, std::string prefix, TClock clock, double limit,
                   std::string target) {
  name += clock == TClock::Cpu ? " [CPU]" : " [wall]";
  return {std::move(name), std::move(target),
          [prefix, clock, limit](const TResults& r) -> TVerdict {
            std::optional<double> worst;
            for (const auto& [key, m] : r) {
              if (!key.starts_with(prefix)) continue;
              worst = std::max(worst.value_or(0), clock == TClock::Cpu ? m.CpuSeconds : m.Seconds);
            }
            if (!worst) return kNotRun;
            return {FormatSeconds(*worst), *worst <= limit};
          }};
}

TFigure TimeInfo(std::string name, std::string key, TClock clock) {
  name += clock == TClock::Cpu ? " [CPU]" : " [wall]";
  return {std::move(name), "(for information)", [key, clock](const TResults& r) -> TVerdict {
            const auto it = r.find(key);
            if (it == r.end()) return kNotRun;
            const TMedian& m = it->second;
            return {FormatSeconds(clock == TClock::Cpu ? m.CpuSeconds : m.Seconds), std::nullopt};
          }};
}

TFigure CounterAtMost(std::string name, std::string key, std::string counter, double limit,
                      std::string target, int decimals) {
  return {std::move(name), std::move(target),
          [key, counter, limit, decimals](const TResults& r) -> TVerdict {
            const auto it = r.find(key);
            if (it == r.end()) return kNotRun;
            const auto c = it->second.Counters.find(counter);
            if (c == it->second.Counters.end()) return {"not measured (no " + counter + ")", {}};
            return {FormatNumber(c->second, decimals), c->second <= limit};
          }};
}

int RunAndReport(int argc, char** argv, const std::vector<TFigure>& figures) {
  std::string tableFile;
  std::vector<char*> args;
  // Colours only on a terminal, and not when the user turned them off.
  bool colour = isatty(STDOUT_FILENO) != 0;
  for (int i = 0; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a.starts_with("--table=")) {
      tableFile = a.substr(8);
      continue;
    }
    if (a == "--benchmark_color=false" || a == "--benchmark_color=no") colour = false;
    args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

  TCapturingReporter reporter(colour ? benchmark::ConsoleReporter::OO_ColorTabular
                                     : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::ostringstream table;
  bool failed = false;
  for (const auto& f : figures) {
    const TVerdict v = f.Evaluate(reporter.Results);
    if (v.Pass == false) failed = true;
    table << f.Name << '\t' << v.Value << '\t' << f.Target << '\t'
          << (v.Pass ? (*v.Pass ? "pass" : "FAIL") : "-") << '\n';
  }
  if (tableFile.empty()) {
    std::cout << '\n' << table.str();
  } else {
    std::ofstream out(tableFile, std::ios::app);
    out << table.str();
    if (!out) {
      std::cerr << "cannot write " << tableFile << '\n';
      return 2;
    }
  }
  return failed ? 1 : 0;
}

}  // namespace zub::bench
