// The Gerber interpreter on a synthetic board of realistic size: every
// object merged on its own against runs united in a balanced tree.
#include <cmath>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include "SyntheticBoard.h"
#include "core/PathUtils.h"
#include "gerber/GerberReader.h"

namespace {

using SyntheticBoards::SyntheticBoard;

struct TBoard {
  std::string Text;
  int Objects = 0;
};

// Boards of columns x columns footprints, made once per size.
const TBoard &Board(int columns) {
  static std::map<int, TBoard> boards;
  TBoard &board = boards[columns];
  if (board.Text.empty())
    board.Text = SyntheticBoard(columns, columns, board.Objects);
  return board;
}

TPaths ParseBoard(const TBoard &board, TMergeMode merge) {
  const TGerberOptions options;
  return merge == mmOneByOne ? ParseGerberReference(board.Text, options)
                             : ParseGerber(board.Text, options);
}

void Parse(benchmark::State &state, TMergeMode merge) {
  const TBoard &board = Board(static_cast<int>(state.range(0)));
  TPaths image;
  for (auto _ : state) {
    image = ParseBoard(board, merge);
    benchmark::DoNotOptimize(image);
  }
  state.counters["objects"] = board.Objects;
  state.counters["area_mm2"] = PathsArea(image) / 1e4;
  if (merge == mmOneByOne) {
    // The region must not depend on the merge order, up to rounding of
    // intersections to whole units.
    const TPaths batched = ParseBoard(board, mmBatched);
    state.counters["xor_area_mm2"] =
        std::fabs(PathsArea(BooleanPaths(image, batched, ClipperLib::ctXor))) / 1e4;
  }
}

void BM_GerberBatched(benchmark::State &state) { Parse(state, mmBatched); }
void BM_GerberOneByOne(benchmark::State &state) { Parse(state, mmOneByOne); }

// 25 columns: about 2,700 objects; 70 columns: about 21,000.
BENCHMARK(BM_GerberBatched)->Arg(25)->Arg(70)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GerberOneByOne)->Arg(25)->Arg(70)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
