// Micro-benchmarks of the core's pure work: classification, conversion, compression, the save
// store, the catalogue load and the cell layout.
#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchPhone.h"
#include "DemoContent.h"
#include "app/Manager.h"
#include "formats/Classify.h"
#include "formats/GridCells.h"
#include "formats/LzoImage.h"
#include "formats/SaveStore.h"
#include "formats/Ufif.h"
#include "support/FakeInteraction.h"
#include "support/SimTelephone.h"

namespace zub::bench {
namespace {

using demo::ByteVec;
constexpr std::size_t k64K = 65536;

// A 64 KiB UFIF program: tag, name and 16379 words of code with firmware calls throughout.
ByteVec Program64K(std::uint32_t tag) {
  return demo::UfifProgram(tag, "BenchProgram", (k64K - 20) / 4, 64);
}

// --- Classification ------------------------------------------------------------------------

// The heads of the demo telephone: every line of the classification, from the LZO image to
// data named by its signature.
const std::vector<demo::TNamedBytes>& DemoSections() {
  static const auto sections = demo::PhoneSections();
  return sections;
}

void BM_ClassifyHead(benchmark::State& state) {
  const auto& s = DemoSections().at(static_cast<std::size_t>(state.range(0)));
  int section = 0, subSection = 0;
  std::sscanf(s.Address.c_str(), "%d-%d", &section, &subSection);
  THeadInput in;
  in.Head = Bytes(s.Bytes.data(), std::min(s.Bytes.size(), kHeadSize));
  in.Section = section;
  in.SubSection = subSection;
  in.Size = static_cast<std::int32_t>(s.Bytes.size());
  in.Description = "Program slot";
  // The signature lookup answers from memory: the profile read behind it is not classification.
  const TSignatureLookup lookup = [](std::uint32_t, const std::string& fallback) {
    return fallback;
  };
  for (auto _ : state) {
    THeadClass c = ClassifyHead(in, lookup);
    benchmark::DoNotOptimize(c);
  }
  state.SetLabel(s.Address + " " + ClassifyHead(in, lookup).Title);
}
BENCHMARK(BM_ClassifyHead)->DenseRange(0, static_cast<int>(demo::PhoneSections().size()) - 1);

// --- UFIF conversion -----------------------------------------------------------------------

// Converts in place, so every pass starts from a fresh copy of the image; the 64 KiB copy is
// part of the time (a few microseconds).
void BM_ConvertToUFIF21(benchmark::State& state) {
  const ByteVec program = Program64K(UFIF20Tag);
  const TFirmwareChoice fw{0x36C000, false};
  ByteVec image(program.size());
  std::size_t reported = 0;
  for (auto _ : state) {
    std::copy(program.begin(), program.end(), image.begin());
    auto report = ConvertToUFIF21(image, fw);
    reported = report.size();
    benchmark::DoNotOptimize(image.data());
  }
  if (image == program) state.SkipWithError("the conversion changed nothing");
  state.counters["report_lines"] = static_cast<double>(reported);
}
BENCHMARK(BM_ConvertToUFIF21)->Unit(benchmark::kMicrosecond);

// --- LZO image -----------------------------------------------------------------------------

// The CPU time this thread has used: unlike the wall clock it does not count the time other
// work on a busy machine takes the processor away.
double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// BuildLZOImage against the bare compressor on the same 64 KiB program, timed in alternation
// (thread CPU time) so that whatever else the machine does weighs on both alike. The iteration
// time is BuildLZOImage's; the counter "ratio" is its total time over the bare compressor's.
// The bare call gets its work memory and output buffer ready-made; BuildLZOImage allocates
// its own, as every upload does.
void BM_LzoImageVsBareCompressor(benchmark::State& state) {
  const ByteVec program = Program64K(0x20010000);
  if (lzo_init() != LZO_E_OK) {
    state.SkipWithError("lzo_init failed");
    return;
  }
  std::vector<lzo_align_t> work((LZO1X_999_MEM_COMPRESS + sizeof(lzo_align_t) - 1) /
                                sizeof(lzo_align_t));
  ByteVec bare(program.size() + program.size() / 16 + 64 + 3);
  ByteVec image;
  double bareTotal = 0, buildTotal = 0;
  bool sameSize = true;
  for (auto _ : state) {
    const double t0 = ThreadCpuSeconds();
    lzo_uint packed = 0;
    lzo1x_999_compress(program.data(), program.size(), bare.data(), &packed, work.data());
    const double t1 = ThreadCpuSeconds();
    image = program;
    const double t2 = ThreadCpuSeconds();
    const std::size_t length = BuildLZOImage(image, image.size(), [] { return 0xE80Au; });
    const double t3 = ThreadCpuSeconds();
    benchmark::DoNotOptimize(image.data());
    bareTotal += t1 - t0;
    buildTotal += t3 - t2;
    sameSize = sameSize && length == TLZOHeader::Size + packed;
    state.SetIterationTime(t3 - t2);
  }
  state.counters["ratio"] = bareTotal > 0 ? buildTotal / bareTotal : 0;
  state.counters["bare_ms"] = 1e3 * bareTotal / static_cast<double>(state.iterations());
  state.counters["same_size"] = sameSize ? 1 : 0;
}
BENCHMARK(BM_LzoImageVsBareCompressor)->UseManualTime()->Unit(benchmark::kMillisecond);

// --- Save store ----------------------------------------------------------------------------

// A 64 KiB section image whose store holds 4-byte items: 16 bytes of program, 8189 records,
// the trailer. Each pass parses it and assembles every item again behind the program part;
// with every item kept the image comes out unchanged, so the same buffer serves every pass.
void BM_ParseAndAssembleSaveSlots(benchmark::State& state) {
  constexpr std::size_t kProgram = 16;
  const std::size_t items = (k64K - kProgram - SaveTrailerSize) / 8;
  const ByteVec original =
      demo::SaveStore(ByteVec(kProgram, 0x11), std::vector<std::uint16_t>(items, 4), true);
  ByteVec image = original;
  std::vector<TSaveSlot> slots;
  std::int32_t start = 0, length = 0;
  for (auto _ : state) {
    slots.clear();
    ParseSaveSlots(image, slots, start, length);
    TSaveAreaAssembler assembler(image, static_cast<std::size_t>(start));
    for (const auto& slot : slots) assembler.AddFromSelf(slot);
    assembler.Close();
    benchmark::DoNotOptimize(assembler.Length());
  }
  if (original.size() != k64K || slots.size() != items || image != original)
    state.SkipWithError("the store did not survive the round trip");
  state.counters["items"] = static_cast<double>(slots.size());
}
BENCHMARK(BM_ParseAndAssembleSaveSlots)->Unit(benchmark::kMicrosecond);

// --- Catalogue load ------------------------------------------------------------------------

// A tool on a simulated telephone whose catalogue lists `count` entries: 1000 from section 1
// on, or all 65536 section keys 0..65535.
struct TCatalogueTool {
  test::SimTelephone Phone;
  test::FakeInteraction UI;
  std::unique_ptr<TManager> M;

  explicit TCatalogueTool(int count) {
    std::vector<int> keys;
    if (count == 65536) {
      for (int k = 0; k < 65536; ++k) keys.push_back(k);
    } else {
      keys = CatalogueKeys(count);
    }
    WriteCatalogue(Phone.SettingsPath(), Phone.Dir() / "SECTIONS.INI", keys);
    M = std::make_unique<TManager>(UI, Phone.Options());
  }
};

void BM_RebuildCatalogue(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  TCatalogueTool tool(count);
  for (auto _ : state) {
    tool.M->RebuildCatalogue();
    benchmark::DoNotOptimize(tool.M->Sections.data());
  }
  if (tool.M->RowCount() != count + 1 || tool.M->Sections.back().Description.empty())
    state.SkipWithError("the catalogue was not loaded whole");
}
BENCHMARK(BM_RebuildCatalogue)->Arg(1000)->Arg(65536)->Unit(benchmark::kMillisecond);

// --- Grid cells ----------------------------------------------------------------------------

// The three cells of a row that draws everything: an LZO program with its icon, title, LZO
// share, size text, bar and firmware label.
void BM_DrawCellRow(benchmark::State& state) {
  TSectInfo info;
  info.Section = 2;
  info.SubSection = 3;
  info.Kind = skProgram;
  info.Title = "Chess";
  info.Format = 0x20010000;
  info.Size = 9876;
  info.Compression = 1;
  info.UnpackedSize = 12020;
  info.Icon = 107;
  const TTextMetrics metrics{[](const std::string& s) { return 7 * static_cast<int>(s.size()); },
                             14};
  const TCellRect cells[] = {{0, 30, 75, 60}, {76, 30, 196, 60}, {197, 30, 261, 60}};
  for (auto _ : state) {
    for (int col = 0; col < 3; ++col) {
      TCellDrawing d = DrawCell(info, col, 1, cells[col], metrics);
      benchmark::DoNotOptimize(d);
    }
  }
}
BENCHMARK(BM_DrawCellRow);

}  // namespace
}  // namespace zub::bench
