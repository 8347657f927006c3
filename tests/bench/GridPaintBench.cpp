// zub-bench-gui: painting one screen of the section grid, offscreen, into an image. The rows
// are the demo telephone's sections as a full refresh classifies them, behind the shipped
// catalogue's length of empty rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <cstdio>
#include <set>
#include <vector>

#include "BenchTable.h"
#include "DemoContent.h"
#include "formats/Classify.h"
#include "formats/IconTable.h"
#include "gui/browser/SectionGrid.h"

namespace zub::bench {
namespace {

constexpr int kRows = 47;  // the shipped catalogue

std::vector<TSectInfo> DemoRows() {
  std::vector<TSectInfo> rows(1);
  const TSignatureLookup lookup = [](std::uint32_t, const std::string& fallback) {
    return fallback;
  };
  for (const auto& s : demo::PhoneSections()) {
    TSectInfo row;
    std::sscanf(s.Address.c_str(), "%d-%d", &row.Section, &row.SubSection);
    row.Description = "Program slot";
    THeadInput in;
    in.Head = Bytes(s.Bytes.data(), std::min(s.Bytes.size(), kHeadSize));
    in.Section = row.Section;
    in.SubSection = row.SubSection;
    in.Size = static_cast<std::int32_t>(s.Bytes.size());
    in.Description = row.Description;
    ApplyHeadClass(row, ClassifyHead(in, lookup));
    rows.push_back(row);
  }
  while (rows.size() < kRows + 1) {
    TSectInfo row;
    row.Section = 18;
    row.SubSection = static_cast<int>(rows.size());
    row.Title = "< Empty >";
    row.Icon = kEmptyIcon;
    rows.push_back(row);
  }
  return rows;
}

// The grid at the main window's default size (330 x 420), painted whole per pass.
void BM_PaintGridScreen(benchmark::State& state) {
  const std::vector<TSectInfo> rows = DemoRows();
  TSectionGrid grid;
  grid.SetSource(&rows);
  grid.SetRowCount(static_cast<int>(rows.size()));
  grid.resize(330, 420);
  grid.show();
  QApplication::processEvents();
  QImage image(grid.size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    grid.render(&image);
    benchmark::DoNotOptimize(image.bits());
  }
  // A painted grid has text, icons and bars: far more than a handful of colours.
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  if (colours.size() < 8) state.SkipWithError("the grid painted nothing");
  state.counters["colours"] = static_cast<double>(colours.size());
}
BENCHMARK(BM_PaintGridScreen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zub::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  using namespace zub::bench;
  return RunAndReport(argc, argv,
                      {TimeAtMost("paint one screen of the grid (330 x 420, offscreen)",
                                  "BM_PaintGridScreen", TClock::Cpu, 5e-3, "<= 5 ms")});
}
