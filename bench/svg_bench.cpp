// Loading a busy SVG drawing: thousands of overlapping filled and stroked
// shapes in a few colours, as traced or generated artwork has them. The
// occlusion steps dominate; the reference hides against one cover that
// grows over the whole drawing.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/FileBytes.h"
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

// Real drawings side by side with rsvg-convert: with BRENNIX_SVG_FILES
// naming a folder, every SVG in it becomes a benchmark of the reader alone
// (no processing cycle), with rsvg-convert's time to render the same file
// at 96 dpi measured once and the ratio of the two as counters.
double RsvgSeconds(const std::string &file) {
  const std::string command = "rsvg-convert -d 96 -p 96 -o /dev/null '" + file + "' 2>/dev/null";
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return status == 0 ? elapsed.count() : -1;
}

void LoadRealFile(benchmark::State &state, const std::string &file) {
  const std::string bytes = ReadFileBytes(file, MaxSvgFileSize);
  TReadOptions options;
  options.UnitsPerMM = 100;
  options.Focus = 20;
  std::size_t levels = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    try {
      levels = LoadSvg(bytes, options).Levels.size();
    } catch (const TReadError &) {
      levels = 0;
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double rsvg = RsvgSeconds(file);
  state.counters["levels"] = static_cast<double>(levels);
  state.counters["rsvg_ms"] = rsvg * 1000;
  state.counters["ratio"] = rsvg > 0 ? seconds / rsvg : 0;
}

const bool RealFilesRegistered = [] {
  const char *folder = std::getenv("BRENNIX_SVG_FILES");
  if (!folder)
    return false;
  std::vector<std::string> files;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().extension() == ".svg")
      files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  for (const auto &file : files)
    benchmark::RegisterBenchmark(
        ("BM_RealSvg/" + std::filesystem::path(file).filename().string()).c_str(),
        [file](benchmark::State &state) { LoadRealFile(state, file); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  return true;
}();

} // namespace
