// The Gerber interpreter on a synthetic board of realistic size: every
// object merged on its own against runs united in a balanced tree.
#include <cmath>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include "core/PathUtils.h"
#include "gerber/GerberReader.h"

namespace {

std::string Coordinate(double mm) {
  return std::to_string(static_cast<long long>(std::llround(mm * 1e5)));
}
std::string At(double x, double y) { return "X" + Coordinate(x) + "Y" + Coordinate(y); }

// A board of columns x rows footprints: each a pair of pads with a track to
// the next footprint, some arcs, a ground pour with clearances cut into it
// and thermals on top. About 4 objects per footprint.
std::string SyntheticBoard(int columns, int rows, int &objects) {
  objects = 1;
  std::string text = "%FSLAX25Y25*%%MOMM*%%ADD10C,0.25*%%ADD11R,0.9X0.6*%%ADD12C,1.1*%%ADD13C,0.6*%"
                     "%AMTH*7,0,0,1.4,1,0.25,45*%%ADD14TH*%";
  const double pitch = 2.5;
  // The ground pour and its clearances first, as layout programs write them.
  text += "G36*" + At(-1, -1) + "D02*G01*" + At(columns * pitch, -1) + "D01*" +
          At(columns * pitch, rows * pitch) + "D01*" + At(-1, rows * pitch) + "D01*" + At(-1, -1) +
          "D01*G37*";
  text += "%LPC*%D12*";
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; c += 2) {
      text += At(c * pitch, r * pitch) + "D03*";
      ++objects;
    }
  text += "%LPD*%";
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const double x = c * pitch, y = r * pitch;
      text += "D11*" + At(x, y) + "D03*" + At(x + 0.9, y) + "D03*";
      text += "D10*" + At(x + 0.9, y) + "D02*";
      if (c % 5 == 4) {
        text += "G75*G03" + At(x + 2.5, y) + "I" + Coordinate(0.8) + "J0D01*G01*";
        objects += 3;
      } else {
        text += At(x + 1.6, y + 0.6) + "D01*" + At(x + 2.5, y) + "D01*";
        objects += 4;
      }
    }
    text += "D14*" + At(r * 0.7, r * pitch + 1.2) + "D03*";
    ++objects;
  }
  return text + "M02*";
}

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
