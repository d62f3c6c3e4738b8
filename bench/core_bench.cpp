// Area filling on jobs of realistic size.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "core/HeadlessHost.h"
#include "core/Levels.h"
#include "core/PathUtils.h"
#include "core/Toolpaths.h"

namespace {

// A square plate of the given side with holes x holes round holes.
TPaths Plate(ClipperLib::cInt side, int holes) {
  TPaths plate{{{0, 0}, {side, 0}, {side, side}, {0, side}}};
  const double pitch = static_cast<double>(side) / (holes + 1);
  for (int i = 1; i <= holes; ++i)
    for (int j = 1; j <= holes; ++j) {
      TPath hole;
      for (int k = 0; k < 24; ++k) {
        const double angle = -k * M_PI / 12; // clockwise: a hole
        hole.push_back({static_cast<ClipperLib::cInt>(i * pitch + pitch / 4 * std::cos(angle)),
                        static_cast<ClipperLib::cInt>(j * pitch + pitch / 4 * std::sin(angle))});
      }
      plate.push_back(hole);
    }
  return plate;
}

// One full processing cycle of an area level with one shell.
void RecalcAreaCycle(benchmark::State &state) {
  const auto micrometres = static_cast<std::int32_t>(state.range(0));
  const auto sideMM = state.range(1);
  const auto holes = static_cast<int>(state.range(2));
  THeadlessHost host;
  TLevels levels(host, false);
  levels.SetFocus(micrometres);
  levels.SetView({30, 30});
  const auto side = static_cast<ClipperLib::cInt>(sideMM * UnitsPerMM());
  levels.SetReading(true);
  auto area = std::make_unique<TLevel>(lkArea);
  area->SetPower(255);
  area->SetPasses(1);
  area->Input()->push_back(Plate(side, holes));
  TLevel *level = levels.Add(std::move(area));
  auto perimeter = std::make_unique<TLevel>(lkPerimeter);
  perimeter->SetHeight(1);
  perimeter->SetPower(255);
  perimeter->SetPasses(1);
  levels.Add(std::move(perimeter));
  levels.SetSize({static_cast<std::int32_t>(side), static_cast<std::int32_t>(side)});
  levels.SetOutput(levels.Size());
  levels.SetReading(false);
  for (auto _ : state) {
    levels.RecalcAll();
    levels.RunCycles();
  }
  state.counters["paths"] = static_cast<double>(level->OutputCount());
}

// One hatch pass with its phase search, candidates measured serially or in parallel.
void HatchPhaseSearch(benchmark::State &state) {
  const bool parallel = state.range(0) != 0;
  const TPaths plate = Plate(20000, 20);
  for (auto _ : state)
    benchmark::DoNotOptimize(HatchPass(plate, hdFalling, 250, 625, nullptr, parallel));
}

} // namespace

// focus micrometres, side mm, holes per row (20 × 20 = 400 holes)
BENCHMARK(RecalcAreaCycle)->Args({100, 200, 20})->Args({200, 200, 20})->Args({2500, 100, 5})
    ->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(HatchPhaseSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

namespace {

// The outline's zone around scattered strokes: one union over all of them,
// or groups of nearby strokes united at the end.
void OutlineZone(benchmark::State &state) {
  const bool united = state.range(0) != 0;
  const auto count = static_cast<int>(state.range(1));
  std::srand(1);
  TPaths strokes;
  for (int i = 0; i < count; ++i) {
    const ClipperLib::cInt x = std::rand() % 30000, y = std::rand() % 20000;
    strokes.push_back({{x, y}, {x + std::rand() % 160 - 80, y + std::rand() % 160 - 80}});
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(united ? UnitedStrokeZone(strokes, 42) : StrokeZone(strokes, 42));
}

} // namespace

// The single union over 200 000 overlapping strokes takes over a minute.
BENCHMARK(OutlineZone)->Args({1, 20000})->Args({0, 20000})->Args({1, 200000})
    ->Unit(benchmark::kMillisecond)->Iterations(1);
