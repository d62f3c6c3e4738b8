// Reading a DXF drawing of many entities, beside the time dxflib alone takes
// to parse the same bytes: what the reader adds is its first pass over the
// pairs, the block expansion, flattening and the level building.
#include <sstream>
#include <string>
#include <tuple>

#include <benchmark/benchmark.h>
#include <dl_creationadapter.h>
#include <dl_dxf.h>

#include "dxf/DxfReader.h"

namespace {

void Pair(std::string &text, int code, const std::string &value) {
  text += std::to_string(code);
  text += '\n';
  text += value;
  text += '\n';
}

// A sheet of parts as a box generator writes them: per part a closed
// polyline with a rounded corner, a hole (circle), an arc and two lines, on
// three layers; count entities in all.
std::string Drawing(int count) {
  std::string text;
  Pair(text, 0, "SECTION");
  Pair(text, 2, "HEADER");
  Pair(text, 9, "$INSUNITS");
  Pair(text, 70, "4");
  Pair(text, 0, "ENDSEC");
  Pair(text, 0, "SECTION");
  Pair(text, 2, "ENTITIES");
  const char *layers[] = {"Cut", "Engrave", "Mark"};
  for (int i = 0; i < count; ++i) {
    const double x = (i % 300) * 12.0, y = (i / 300) * 12.0;
    const std::string layer = layers[i % 3];
    switch (i % 5) {
    case 0:
      Pair(text, 0, "LWPOLYLINE");
      Pair(text, 8, layer);
      Pair(text, 90, "4");
      Pair(text, 70, "1");
      for (const auto &[dx, dy, bulge] :
           {std::tuple{0.0, 0.0, 0.0}, {10.0, 0.0, 0.4}, {10.0, 10.0, 0.0}, {0.0, 10.0, 0.0}}) {
        Pair(text, 10, std::to_string(x + dx));
        Pair(text, 20, std::to_string(y + dy));
        if (bulge != 0)
          Pair(text, 42, std::to_string(bulge));
      }
      break;
    case 1:
      Pair(text, 0, "CIRCLE");
      Pair(text, 8, layer);
      Pair(text, 10, std::to_string(x + 5));
      Pair(text, 20, std::to_string(y + 5));
      Pair(text, 40, "2.5");
      break;
    case 2:
      Pair(text, 0, "ARC");
      Pair(text, 8, layer);
      Pair(text, 10, std::to_string(x + 5));
      Pair(text, 20, std::to_string(y + 5));
      Pair(text, 40, "4");
      Pair(text, 50, "10");
      Pair(text, 51, "170");
      break;
    default:
      Pair(text, 0, "LINE");
      Pair(text, 8, layer);
      Pair(text, 10, std::to_string(x));
      Pair(text, 20, std::to_string(y + 11));
      Pair(text, 11, std::to_string(x + 10));
      Pair(text, 21, std::to_string(y + 11.5));
      break;
    }
  }
  Pair(text, 0, "ENDSEC");
  Pair(text, 0, "EOF");
  return text;
}

void BM_DxfLoad(benchmark::State &state) {
  const std::string text = Drawing(static_cast<int>(state.range(0)));
  TReadOptions options;
  options.UnitsPerMM = 100;
  for (auto _ : state)
    benchmark::DoNotOptimize(LoadDxf(text, options));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_DxfLoad)->Arg(100000)->Unit(benchmark::kMillisecond);

// dxflib with a receiver that keeps nothing.
void BM_DxflibParseOnly(benchmark::State &state) {
  const std::string text = Drawing(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::istringstream stream{text};
    DL_CreationAdapter adapter;
    DL_Dxf dxf;
    benchmark::DoNotOptimize(dxf.in(stream, &adapter));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_DxflibParseOnly)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
