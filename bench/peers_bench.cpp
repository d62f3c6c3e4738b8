// Whole jobs beside the program a user would otherwise run on the same file,
// both measured in the same run: a Gerber board (load, burn paths, G-code
// saved) against gerbv's 1000-dpi render, an STL load against ADMesh reading
// and checking the model, and the G-code of a million pieces against one
// second. The counters give both times and their ratio; a peer that is not
// installed is skipped with a message saying so.
//
// The inputs are made here (a board of some 2,700 objects, a binary relief
// of some 190,000 facets); BRENNIX_BENCH_GERBER and BRENNIX_BENCH_STL name
// real files to measure instead.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "BenchJobs.h"
#include "StlModels.h"
#include "SyntheticBoard.h"
#include "core/HeadlessHost.h"
#include "core/Levels.h"
#include "io/FileIntake.h"
#include "io/GcodeWriter.h"

namespace {

namespace fs = std::filesystem;

double Seconds(const std::function<void()> &work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

fs::path Folder() {
  static const fs::path folder = [] {
    const fs::path path = fs::temp_directory_path() / "brennix-peers-bench";
    fs::create_directories(path);
    return path;
  }();
  return folder;
}

// The named real file, or the made one written once into the folder.
std::string Input(const char *variable, const char *name,
                  const std::function<std::string()> &make) {
  if (const char *given = std::getenv(variable); given && *given)
    return given;
  const fs::path path = Folder() / name;
  if (!fs::exists(path)) {
    std::ofstream out(path, std::ios::binary);
    out << make();
  }
  return path.string();
}

bool Installed(const std::string &program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// The peer's run, its output thrown away; a failure ends the benchmark.
bool RunPeer(benchmark::State &state, const std::string &command, double &seconds) {
  int status = 0;
  seconds = Seconds([&] { status = std::system((command + " >/dev/null 2>&1").c_str()); });
  if (status != 0) {
    state.SkipWithError(("the peer failed: " + command).c_str());
    return false;
  }
  return true;
}

void Report(benchmark::State &state, double brennix, double peer) {
  state.counters["brennix_s"] = brennix;
  state.counters["peer_s"] = peer;
  state.counters["ratio"] = brennix / peer;
}

// What brennix-cli -o does with the file at the stored defaults.
void WholeJob(const std::string &file, const fs::path &output) {
  THeadlessHost host;
  TLevels levels(host, false);
  levels.SetView({30, 30});
  levels.SetFocus(200);
  LoadFromFile(levels, file, 1);
  host.IdleQueue.clear();
  levels.RunCycles();
  SaveToGcode(levels, output.string());
}

void BM_GerberJobAgainstGerbv(benchmark::State &state) {
  const std::string board = Input("BRENNIX_BENCH_GERBER", "board-25.gbr", [] {
    int objects = 0;
    return SyntheticBoards::SyntheticBoard(25, 25, objects);
  });
  if (!Installed("gerbv")) {
    state.SkipWithError("gerbv is not installed: no ratio to show");
    return;
  }
  for (auto _ : state) {
    double peer = 0;
    const double brennix = Seconds([&] { WholeJob(board, Folder() / "board.gcode"); });
    if (!RunPeer(state,
                 "gerbv -x png -D 1000 -o " + (Folder() / "board.png").string() + " '" + board +
                     "'",
                 peer))
      return;
    Report(state, brennix, peer);
  }
}
BENCHMARK(BM_GerberJobAgainstGerbv)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_StlLoadAgainstAdmesh(benchmark::State &state) {
  const std::string model = Input("BRENNIX_BENCH_STL", "relief-210.stl", [] {
    return StlModels::BinaryStl(StlModels::ConeRelief(210, 0.2f, 49, 3));
  });
  if (!Installed("admesh")) {
    state.SkipWithError("admesh is not installed: no ratio to show");
    return;
  }
  for (auto _ : state) {
    THeadlessHost host;
    TLevels levels(host, false);
    levels.SetFocus(200);
    double peer = 0;
    const double brennix = Seconds([&] { LoadFromFile(levels, model, 1); });
    if (!RunPeer(state, "admesh '" + model + "'", peer))
      return;
    Report(state, brennix, peer);
    state.counters["facets"] = static_cast<double>((fs::file_size(model) - 84) / 50);
  }
}
BENCHMARK(BM_StlLoadAgainstAdmesh)->Unit(benchmark::kMillisecond)->Iterations(1);

// A million short strokes scattered over 300 x 200 mm, one piece each: the
// file's text made and checked as a save does, against the second it should
// stay under.
void BM_MillionPieceGcode(benchmark::State &state) {
  const TGcodeJob job = BenchJobs::ScatteredJob(1000000);
  for (auto _ : state) {
    std::string text;
    const double made = Seconds([&] { text = GcodeText(job); });
    // A save checks what it wrote as the firmware would read it.
    std::size_t problems = 0;
    const double checked = Seconds(
        [&] { problems = CheckGcode(text, job.Profile, job.Focus / job.UnitsPerMM).size(); });
    Report(state, made + checked, 1.0);
    state.counters["text_s"] = made;
    state.counters["check_s"] = checked;
    state.counters["bytes"] = static_cast<double>(text.size());
    state.counters["problems"] = static_cast<double>(problems);
  }
}
BENCHMARK(BM_MillionPieceGcode)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
