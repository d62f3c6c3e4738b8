// Loading a busy SVG drawing: thousands of overlapping filled and stroked
// shapes in a few colours, as traced or generated artwork has them. The
// occlusion steps dominate; the reference hides against one cover that
// grows over the whole drawing.
#include <random>
#include <string>
#include <string_view>

#include <benchmark/benchmark.h>

#include "svg/SvgReader.h"

namespace {

std::string BusyDrawing(int elements) {
  std::mt19937 random(42);
  std::uniform_real_distribution<double> place(0, 1000), size(8, 40);
  const char *colours[] = {"red", "#3366cc", "green", "black"};
  std::string svg =
      R"~(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 1000 1000" width="400mm" height="400mm">)~";
  for (int i = 0; i < elements; ++i) {
    const double x = place(random), y = place(random), r = size(random);
    const std::string fill = colours[random() % 4], stroke = colours[random() % 4];
    const std::string paint = " fill=\"" + fill + "\" stroke=\"" + stroke + "\" stroke-width=\"2\"";
    switch (random() % 3) {
    case 0:
      svg += "<circle cx=\"" + std::to_string(x) + "\" cy=\"" + std::to_string(y) + "\" r=\"" +
             std::to_string(r) + "\"" + paint + "/>";
      break;
    case 1:
      svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
             std::to_string(2 * r) + "\" height=\"" + std::to_string(r) + "\" rx=\"3\"" + paint +
             "/>";
      break;
    default:
      svg += "<path d=\"M" + std::to_string(x) + " " + std::to_string(y) + " l " +
             std::to_string(r) + " " + std::to_string(r / 2) + " q 10 -20 " +
             std::to_string(-r / 2) + " " + std::to_string(r) + " z\"" + paint + "/>";
      break;
    }
  }
  return svg + "</svg>";
}

template <TReadResult (*Load)(std::string_view, const TReadOptions &)>
void LoadBusy(benchmark::State &state) {
  const std::string svg = BusyDrawing(static_cast<int>(state.range(0)));
  TReadOptions options;
  options.UnitsPerMM = 100;
  options.Focus = 20;
  std::size_t levels = 0;
  for (auto _ : state)
    levels = Load(svg, options).Levels.size();
  state.counters["levels"] = static_cast<double>(levels);
}

void BM_LoadSvgFast(benchmark::State &state) { LoadBusy<LoadSvg>(state); }
void BM_LoadSvgReference(benchmark::State &state) { LoadBusy<LoadSvgReference>(state); }

// The reference grows quadratically with the overlapping elements: 250 take
// half a minute, 500 over two minutes, 5000 would take hours.
BENCHMARK(BM_LoadSvgFast)
    ->Arg(250)
    ->Arg(1000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_LoadSvgReference)->Arg(250)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
