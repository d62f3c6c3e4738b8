// STL loading: the outline searches, indexed against plain, on a relief of
// 50 heights and hundreds of outlines, and the whole load of a binary model
// of a million facets.
#include <string>

#include <benchmark/benchmark.h>

#include "StlModels.h"
#include "stl/StlLevels.h"

using namespace StlModels;

namespace {

// Four stepped pyramids of 49 steps, 39.2 mm square: 50 heights and two
// outlines per step and pyramid.
const TStlModel &Pyramids() {
  static const TStlModel model = ReadStlModel(BinaryStl(PyramidRelief(49, 0.2f, 2)), {});
  return model;
}

void BM_StlLevels(benchmark::State &state) {
  const TStlModel &model = Pyramids();
  TStlLevelOptions options;

  int firstLevels = 0;
  options.SetProgressMax = [&](int maximum) { firstLevels = (maximum - 3) / 2; };
  std::size_t levels = 0;
  for (auto _ : state)
    levels =
        (state.range(0) ? BuildStlLevelsReference : BuildStlLevels)(model.Facets, options).size();
  state.counters["facets"] = static_cast<double>(model.Facets.size());
  state.counters["areas+outlines"] = firstLevels;
  state.counters["levels"] = static_cast<double>(levels);
}
BENCHMARK(BM_StlLevels)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("plain")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A terraced relief of 490 × 490 cells: a million facets, 50 MB, every top
// face horizontal.
void BM_StlLoadMillionFacets(benchmark::State &state) {
  static const std::string bytes = BinaryStl(ConeRelief(490, 0.1f, 49, 3));
  TReadOptions options;
  std::size_t levels = 0;
  for (auto _ : state)
    levels = ReadStereolithography(bytes, options).Levels.size();
  state.counters["facets"] = static_cast<double>((bytes.size() - 84) / 50);
  state.counters["levels"] = static_cast<double>(levels);
}
BENCHMARK(BM_StlLoadMillionFacets)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
