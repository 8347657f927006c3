// Commands bound by the link: the real core against the simulator running at 115200 bit/s.
// Each pass is timed whole and set against the time the link model alone accounts for, worked
// out from the calls the component made: every call the simulator charges costs
// kCallCostBytes, and a read or write the bytes it moved, at kBitsPerByte bits a byte.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "BenchPhone.h"
#include "DemoContent.h"
#include "LinkModel.h"
#include "app/Manager.h"
#include "commands/Backup.h"
#include "commands/Restore.h"
#include "commands/Scan.h"
#include "commands/Transfer.h"
#include "support/FakeInteraction.h"
#include "support/SimTelephone.h"

namespace zub::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBaud = 115200;
double ModelSeconds(const test::CallLog& log) {
  return LinkModelSeconds(log, kBaud);
}

// The demo telephone with the catalogue that ships with the program, the link at 115200.
struct TDemoTool {
  test::SimTelephone Phone;
  test::FakeInteraction UI;
  test::CallLog Log;
  std::unique_ptr<TManager> M;

  explicit TDemoTool(int baud = kBaud) {
    CopyDefaultCatalogue(Phone.SettingsPath(), Phone.Dir() / "SECTIONS.INI");
    WriteDemoSections(Phone.PhoneDir());
    Phone.SetSim("Link", "Baud", std::to_string(baud));
    M = std::make_unique<TManager>(UI, Phone.Options(&Log));
    M->FormShow();
  }
};

void Report(benchmark::State& state, double measured, double model) {
  state.counters["model_s"] = model;
  state.counters["ratio"] = model > 0 ? measured / model : 0;
}

void BM_LinkFullRefresh(benchmark::State& state) {
  TDemoTool tool;
  Button1Click(*tool.M);  // warm-up: the first connection reads the simulator's settings
  double measured = 0, model = 0;
  for (auto _ : state) {
    tool.Log.Clear();
    const auto t0 = Clock::now();
    Button1Click(*tool.M);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    state.SetIterationTime(seconds);
    measured += seconds;
    model += ModelSeconds(tool.Log);
  }
  if (tool.UI.LastStatus() != "Updated!" || tool.Log.Count("ReadNVMFile") == 0)
    state.SkipWithError("the refresh did not run");
  state.counters["rows"] = tool.M->RowCount() - 1;
  Report(state, measured, model);
}
BENCHMARK(BM_LinkFullRefresh)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The same refresh with a link that takes no time: what the tool and the simulator spend.
void BM_FullRefreshNoLink(benchmark::State& state) {
  TDemoTool tool(0);
  for (auto _ : state) Button1Click(*tool.M);
  if (tool.UI.LastStatus() != "Updated!") state.SkipWithError("the refresh did not run");
}
BENCHMARK(BM_FullRefreshNoLink)->Unit(benchmark::kMicrosecond);

// A UFIF 2.1 program of 34442 bytes (no conversion prompt) uploaded into an empty row.
void BM_LinkUpload34442(benchmark::State& state) {
  TDemoTool tool;
  demo::ByteVec file = demo::UfifProgram(0x20010000, "Upload", (34442 - 20) / 4, 7);
  file.insert(file.end(), {0x01, 0x02});
  const auto path = tool.Phone.Dir() / "upload.prg";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  // Program slot 8 (2-8), empty on the demo telephone.
  for (int row = 1; row < tool.M->RowCount(); ++row) {
    const TSectInfo& s = tool.M->Sections[static_cast<std::size_t>(row)];
    if (s.Section == 2 && s.SubSection == 8) tool.M->Row = row;
  }

  tool.UI.OpenAnswers.push_back(path.string());
  UploadActionExecute(*tool.M);  // warm-up
  double measured = 0, model = 0;
  for (auto _ : state) {
    tool.Log.Clear();
    tool.UI.OpenAnswers.push_back(path.string());
    const auto t0 = Clock::now();
    UploadActionExecute(*tool.M);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    state.SetIterationTime(seconds);
    measured += seconds;
    model += ModelSeconds(tool.Log);
    if (tool.UI.LastStatus() != "Uploaded!") {
      state.SkipWithError("the upload failed");
      break;
    }
  }
  Report(state, measured, model);
}
BENCHMARK(BM_LinkUpload34442)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// A backup of the demo telephone through the core: the size of every catalogue section, every
// one that holds data read whole, its file written and flushed, the manifest last, the folder
// put in place. Each pass replaces the previous pass's backup.
void BM_LinkBackup(benchmark::State& state) {
  TDemoTool tool;
  const auto dir = tool.Phone.Dir() / "backup";
  const auto run = [&] { return RunBackup(*tool.M, {dir, TBackupScope::Catalogue, "zub bench"}); };
  if (run().Failure) state.SkipWithError("the backup failed");  // warm-up
  double measured = 0, model = 0;
  for (auto _ : state) {
    tool.Log.Clear();
    const auto t0 = Clock::now();
    const TBackupResult r = run();
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    state.SetIterationTime(seconds);
    measured += seconds;
    model += ModelSeconds(tool.Log);
    if (r.Failure || r.Present == 0) {
      state.SkipWithError("the backup failed");
      break;
    }
  }
  Report(state, measured, model);
}
BENCHMARK(BM_LinkBackup)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The same backup with a link that takes no time: what the tool, the simulator and the disk
// spend (every file flushed to the disk, the folder swapped, the previous one removed).
void BM_BackupNoLink(benchmark::State& state) {
  TDemoTool tool(0);
  const auto dir = tool.Phone.Dir() / "backup";
  for (auto _ : state)
    if (RunBackup(*tool.M, {dir, TBackupScope::Catalogue, "zub bench"}).Failure) {
      state.SkipWithError("the backup failed");
      break;
    }
}
BENCHMARK(BM_BackupNoLink)->Unit(benchmark::kMillisecond);

// A restore of the backup just made: the telephone holds it already, so the restore only
// compares. Counts the writes and erases it makes (none is the figure).
void BM_RestoreUnchanged(benchmark::State& state) {
  TDemoTool tool(0);
  const auto dir = tool.Phone.Dir() / "backup";
  if (RunBackup(*tool.M, {dir, TBackupScope::Catalogue, "zub bench"}).Failure)
    state.SkipWithError("the backup failed");
  double changes = 0;
  for (auto _ : state) {
    tool.Log.Clear();
    const TOpenedBackup opened = OpenBackup(dir);
    if (!opened.Backup) {
      state.SkipWithError("the backup cannot be opened");
      break;
    }
    const TCompareResult plan = CompareWithBackup(*tool.M, *opened.Backup);
    const TRestoreResult done = RunRestore(*tool.M, *opened.Backup, plan);
    if (plan.Failure || done.Failure || done.Same != done.Sections.size()) {
      state.SkipWithError("the restore found changes");
      break;
    }
    changes = tool.Log.Count("WriteNVMFile") + tool.Log.Count("ClearNVMFile");
  }
  state.counters["writes_erases"] = changes;
}
BENCHMARK(BM_RestoreUnchanged)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zub::bench
