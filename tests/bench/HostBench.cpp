// A Windows device library served through gbp-host.exe under Wine: the warm round trip of a
// 128-byte head read against the same call in-process, the full refresh of the demo telephone
// through the host against the link model, the host's start in a new and in a ready Wine
// prefix, and the user's first Full Refresh on a new prefix with and without the host started
// at the window's show. Each benchmark skips with its reason when Wine or the win32 build is
// missing.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchPhone.h"
#include "LinkModel.h"
#include "app/Manager.h"
#include "commands/Scan.h"
#include "device/NVMSection.h"
#include "device/host/WineHost.h"
#include "support/FakeInteraction.h"
#include "support/SimTelephone.h"

namespace zub::bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBaud = 115200;

fs::path Win32(const char* name) {
  return fs::path(ZUB_WIN32_DIR) / name;
}

// Why the host cannot be measured here; empty when it can. Points WINEPREFIX at the bench's
// own prefix (set up by the first start).
std::string HostMissing() {
  for (const char* name : {"gbp-host.exe", "gbp.dll"})
    if (!fs::exists(Win32(name))) return "no win32 build (i686-w64-mingw32-g++ not installed)";
  if (!FindOnPath("wine")) return "wine is not installed";
  static const fs::path prefix = fs::path(ZUB_TEST_TMP) / "wine-prefix";
  ::setenv("WINEPREFIX", prefix.c_str(), 1);
  return {};
}

// The Windows simulator and its host in place of the native simulator in `dir`.
void UseWindowsLibrary(const fs::path& dir) {
  for (const char* name : {"gbp.dll", "gbp-host.exe"})
    fs::copy_file(Win32(name), dir / name, fs::copy_options::overwrite_existing);
}

class TQuietOwner : public INVMOwner {
 public:
  void NVMMessage(const std::string& caption, const std::string& text) override {
    last = caption + ": " + text;
  }
  std::string last;
};

void HeadRead(benchmark::State& state, bool hosted) {
  if (hosted) {
    if (const std::string why = HostMissing(); !why.empty()) {
      state.SkipWithError(why.c_str());
      return;
    }
  }
  test::SimTelephone phone;
  if (hosted) UseWindowsLibrary(phone.Dir());
  std::vector<std::uint8_t> section(5000);
  for (std::size_t i = 0; i < section.size(); ++i) section[i] = static_cast<std::uint8_t>(i);
  phone.PutSection(2, 16, section);
  TQuietOwner owner;
  TNVMSection nvm(owner, phone.Dir());
  nvm.SetSect(2);
  nvm.SetSSect(16);
  std::vector<std::uint8_t> head(128);
  // Warm: the host started, the connection open, the first calls made.
  for (int i = 0; i < 50; ++i) nvm.Read(head.data(), 128);
  if (nvm.Hosted() != hosted || nvm.Read(head.data(), 128) != 128) {
    state.SkipWithError(("the read failed: " + owner.last).c_str());
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(nvm.Read(head.data(), 128));
  nvm.EndGBP();
}

void BM_HeadReadInProcess(benchmark::State& state) {
  HeadRead(state, false);
}
BENCHMARK(BM_HeadReadInProcess)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_HeadReadThroughHost(benchmark::State& state) {
  HeadRead(state, true);
}
BENCHMARK(BM_HeadReadThroughHost)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The link benchmark's full refresh, with the Windows simulator behind the host.
void BM_HostLinkFullRefresh(benchmark::State& state) {
  if (const std::string why = HostMissing(); !why.empty()) {
    state.SkipWithError(why.c_str());
    return;
  }
  test::SimTelephone phone;
  UseWindowsLibrary(phone.Dir());
  test::FakeInteraction ui;
  test::CallLog log;
  CopyDefaultCatalogue(phone.SettingsPath(), phone.Dir() / "SECTIONS.INI");
  WriteDemoSections(phone.PhoneDir());
  phone.SetSim("Link", "Baud", std::to_string(kBaud));
  auto m = std::make_unique<TManager>(ui, phone.Options(&log));
  m->FormShow();
  if (!m->NVM->Hosted()) {
    state.SkipWithError("the library is not served through the host");
    return;
  }
  Button1Click(*m);  // warm-up: the host starts, the simulator reads its settings
  double measured = 0, model = 0;
  for (auto _ : state) {
    log.Clear();
    const auto t0 = Clock::now();
    Button1Click(*m);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    state.SetIterationTime(seconds);
    measured += seconds;
    model += LinkModelSeconds(log, kBaud);
  }
  if (ui.LastStatus() != "Updated!" || log.Count("ReadNVMFile") == 0)
    state.SkipWithError("the refresh did not run");
  state.counters["model_s"] = model;
  state.counters["ratio"] = model > 0 ? measured / model : 0;
}
BENCHMARK(BM_HostLinkFullRefresh)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The first InitGBP: the host's start through Wine, then the opening. Cold: a new prefix that
// Wine sets up first, with no Wine process running; warm: the prefix ready, Wine running.
void HostStart(benchmark::State& state, bool cold) {
  if (const std::string why = HostMissing(); !why.empty()) {
    state.SkipWithError(why.c_str());
    return;
  }
  test::SimTelephone phone;
  UseWindowsLibrary(phone.Dir());
  const fs::path shared = std::getenv("WINEPREFIX");
  if (!cold) {
    // The shared prefix set up, and Wine running.
    TQuietOwner owner;
    TNVMSection warm(owner, phone.Dir());
    if (!warm.InitGBP()) {
      state.SkipWithError(("the host did not start: " + owner.last).c_str());
      return;
    }
  }
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::path prefix = shared;
    if (cold) {
      prefix = phone.Dir() / ("cold-prefix-" + std::to_string(round++));
      ::setenv("WINEPREFIX", prefix.c_str(), 1);
    }
    TQuietOwner owner;
    auto nvm = std::make_unique<TNVMSection>(owner, phone.Dir());
    state.ResumeTiming();
    const bool opened = nvm->InitGBP();
    state.PauseTiming();
    nvm.reset();
    if (cold) {
      // Let this prefix's Wine end before the next cold start.
      std::system(("WINEPREFIX='" + prefix.string() + "' wineserver -k >/dev/null 2>&1").c_str());
      ::setenv("WINEPREFIX", shared.c_str(), 1);
    }
    state.ResumeTiming();
    if (!opened) {
      state.SkipWithError(("the host did not start: " + owner.last).c_str());
      break;
    }
  }
}

void BM_HostStartColdWine(benchmark::State& state) {
  HostStart(state, true);
}
BENCHMARK(BM_HostStartColdWine)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_HostStartWarmWine(benchmark::State& state) {
  HostStart(state, false);
}
BENCHMARK(BM_HostStartWarmWine)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

// The user's first Full Refresh in a new Wine prefix, pressed a few seconds after the window
// showed: with the host started at the show (FormShow), and without (the settings loaded
// alone, as the window did before it started the host early). The time is the press's.
constexpr auto kLookAtTheWindow = std::chrono::seconds(5);

void FirstRefreshNewPrefix(benchmark::State& state, bool early) {
  if (const std::string why = HostMissing(); !why.empty()) {
    state.SkipWithError(why.c_str());
    return;
  }
  const fs::path shared = std::getenv("WINEPREFIX");
  for (auto _ : state) {
    test::SimTelephone phone;
    UseWindowsLibrary(phone.Dir());
    CopyDefaultCatalogue(phone.SettingsPath(), phone.Dir() / "SECTIONS.INI");
    WriteDemoSections(phone.PhoneDir());
    phone.SetSim("Link", "Baud", std::to_string(kBaud));
    const fs::path prefix = phone.Dir() / "new-prefix";
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    test::FakeInteraction ui;
    auto m = std::make_unique<TManager>(ui, phone.Options());
    if (early)
      m->FormShow();
    else
      m->SettingsLoad();
    std::this_thread::sleep_for(kLookAtTheWindow);
    const auto t0 = Clock::now();
    Button1Click(*m);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    const bool refreshed = ui.LastStatus() == "Updated!";
    m.reset();
    std::system(("WINEPREFIX='" + prefix.string() + "' wineserver -k >/dev/null 2>&1").c_str());
    ::setenv("WINEPREFIX", shared.c_str(), 1);
    if (!refreshed) {
      state.SkipWithError(("the refresh did not run: " + ui.LastStatus()).c_str());
      break;
    }
  }
}

void BM_FirstRefreshNewPrefixEarlyStart(benchmark::State& state) {
  FirstRefreshNewPrefix(state, true);
}
BENCHMARK(BM_FirstRefreshNewPrefixEarlyStart)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_FirstRefreshNewPrefixAtCommand(benchmark::State& state) {
  FirstRefreshNewPrefix(state, false);
}
BENCHMARK(BM_FirstRefreshNewPrefixAtCommand)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zub::bench
