// Reading plotter files, and the two places where the reader avoids the
// plain clipper method: fills of one pen kept apart, lines clipped to the
// window.
#include <cmath>
#include <numbers>
#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "core/PathUtils.h"
#include "hpgl/PlotterAreas.h"
#include "hpgl/PlotterReader.h"

namespace {

// Filled squares of one pen in a grid, each overlapping its neighbours.
std::vector<TPaths> GridFills(int count) {
  std::vector<TPaths> fills;
  const int side = static_cast<int>(std::sqrt(count)) + 1;
  for (int i = 0; i < count; ++i) {
    const ClipperLib::cInt x = (i % side) * 30, y = (i / side) * 30;
    fills.push_back({{{x, y}, {x + 40, y}, {x + 40, y + 40}, {x, y + 40}}});
  }
  return fills;
}

void BM_FillsIndexed(benchmark::State &state) {
  const auto fills = GridFills(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TFilledAreas filled;
    for (const TPaths &fill : fills)
      benchmark::DoNotOptimize(filled.Add(fill));
  }
}
BENCHMARK(BM_FillsIndexed)->Arg(100)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_FillsSubtractEverything(benchmark::State &state) {
  const auto fills = GridFills(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::vector<TPaths> stored;
    for (const TPaths &fill : fills)
      stored.push_back(SubtractAllFilledReference(fill, stored));
    benchmark::DoNotOptimize(stored);
  }
}
BENCHMARK(BM_FillsSubtractEverything)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond);

// A scribble: one pen stroke of many segments crossing each other, partly
// outside the window.
TPaths Scribble(int points) {
  std::mt19937 random(1);
  TPath path;
  for (int i = 0; i < points; ++i)
    path.push_back({static_cast<ClipperLib::cInt>(random() % 12000),
                    static_cast<ClipperLib::cInt>(random() % 12000)});
  return {path};
}

const TPath Window = {{500, 500}, {500, 10500}, {10500, 10500}, {10500, 500}};

void BM_LinesBySegment(benchmark::State &state) {
  const TPaths paths = Scribble(static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(ClipLinesToWindow(paths, Window));
}
BENCHMARK(BM_LinesBySegment)->Arg(200)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

void BM_LinesWholePaths(benchmark::State &state) {
  const TPaths paths = Scribble(static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(ClipOpenPaths(paths, {Window}, ClipperLib::ctIntersection));
}
BENCHMARK(BM_LinesWholePaths)->Arg(200)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

// A realistic plot: eight pens of polylines (a plotted chart), circles and
// filled labels' boxes, about 200 000 points.
std::string ChartPlot() {
  std::string text = "IN;";
  for (int pen = 1; pen <= 8; ++pen) {
    text += "SP" + std::to_string(pen) + ";PU0," + std::to_string(pen * 1000) + ";PD";
    for (int i = 0; i < 25000; ++i)
      text += std::to_string(i) + "," +
              std::to_string(pen * 1000 + std::lround(800 * std::sin(i * 0.01 * pen))) + ",";
    text += "0;";
    for (int i = 0; i < 20; ++i)
      text += "PU" + std::to_string(i * 1200) + ",9500;CI300;RR400,200;";
  }
  return text;
}

void BM_ReadChart(benchmark::State &state) {
  const std::string text = ChartPlot();
  for (auto _ : state)
    benchmark::DoNotOptimize(ReadPlotter(text, TReadOptions{}));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadChart)->Unit(benchmark::kMillisecond);

} // namespace
