// The nearest-piece walk of the G-code writer: the k-d tree against the
// plain scan, on the same jobs, checking that both write the same G-code.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "BenchJobs.h"
#include "io/GcodeWriter.h"
#include "io/PieceSearch.h"

namespace {

using BenchJobs::ScatteredJob;

template <std::vector<std::string> (*Lines)(const TGcodeJob &, const std::function<void(int)> &,
                                            TMoveExtent *)>
void Walk(benchmark::State &state) {
  const TGcodeJob job = ScatteredJob(state.range(0));
  std::size_t lines = 0;
  for (auto _ : state)
    lines = Lines(job, {}, nullptr).size();
  state.counters["lines"] = static_cast<double>(lines);
}

void IndexedWalk(benchmark::State &state) { Walk<GcodeLines>(state); }

// The file's text as a save writes it: the walk straight into one text.
void TextWalk(benchmark::State &state) {
  const TGcodeJob job = ScatteredJob(state.range(0));
  std::size_t bytes = 0;
  for (auto _ : state)
    bytes = GcodeText(job).size();
  state.counters["bytes"] = static_cast<double>(bytes);
  state.counters["pieces"] = static_cast<double>(state.range(0));
}
void LinearWalk(benchmark::State &state) { Walk<GcodeLinesReference>(state); }

// Not a timing: fails the run when the two walks differ in a single byte.
void SameGcode(benchmark::State &state) {
  const TGcodeJob job = ScatteredJob(state.range(0));
  for (auto _ : state) {
    const std::string indexed = GcodeFileText(GcodeLines(job));
    const std::string linear = GcodeFileText(GcodeLinesReference(job));
    if (indexed != linear)
      state.SkipWithError("the indexed walk wrote different G-code");
    state.counters["bytes"] = static_cast<double>(indexed.size());
  }
}

} // namespace

BENCHMARK(IndexedWalk)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(TextWalk)->Arg(1000000)->Unit(benchmark::kMillisecond);
// The scan is quadratic: 1 000 000 pieces would take the better part of an hour.
BENCHMARK(LinearWalk)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(SameGcode)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

namespace {

// The search alone, without writing any G-code: the walk's own cost.
void SearchOnly(benchmark::State &state, bool indexed) {
  const TGcodeJob job = ScatteredJob(state.range(0));
  std::vector<TWalkPiece> pieces;
  for (const auto &path : job.Levels[0].Paths)
    pieces.push_back({path[1], path[0], 0});
  for (auto _ : state) {
    TIntPoint from(0, 0);
    auto walk = [&](auto &search) {
      for (std::size_t left = pieces.size(); left > 0; --left) {
        const TPieceHit hit = search.Nearest(from);
        from = hit.Far;
        search.Remove(hit);
      }
    };
    if (indexed) {
      TPieceIndex search(pieces);
      walk(search);
    } else {
      TLinearPieceSearch search(pieces);
      walk(search);
    }
  }
}

void IndexedSearchOnly(benchmark::State &state) { SearchOnly(state, true); }
void LinearSearchOnly(benchmark::State &state) { SearchOnly(state, false); }

} // namespace

BENCHMARK(IndexedSearchOnly)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(LinearSearchOnly)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "core/GcodeCheck.h"

namespace {

// CPU seconds of the whole process: the machine is shared, so wall time
// says more about the neighbours than about the work.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A save of a million pieces as it runs (the text made, then checked) beside
// writing the same number of bytes to a file and nothing else: the counters
// give the CPU seconds of each and the ratio of the save to that write.
void MillionPieceSave(benchmark::State &state) {
  const TGcodeJob job = ScatteredJob(1000000);
  const std::string file =
      (std::filesystem::temp_directory_path() / "brennix-io-bench.gcode").string();
  for (auto _ : state) {
    double start = CpuSeconds();
    const std::string text = GcodeText(job);
    const double made = CpuSeconds() - start;
    start = CpuSeconds();
    const std::size_t problems =
        CheckGcode(text, job.Profile, job.Focus / job.UnitsPerMM).size();
    const double checked = CpuSeconds() - start;
    if (problems != 0)
      state.SkipWithError("the check found problems in the written G-code");
    start = CpuSeconds();
    std::FILE *out = std::fopen(file.c_str(), "wb");
    if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
        std::fclose(out) != 0)
      state.SkipWithError("could not write the plain file");
    const double written = CpuSeconds() - start;
    state.counters["text_cpu_s"] = made;
    state.counters["check_cpu_s"] = checked;
    state.counters["save_cpu_s"] = made + checked;
    state.counters["plain_write_cpu_s"] = written;
    state.counters["ratio"] = (made + checked) / std::max(written, 1e-9);
    state.counters["bytes"] = static_cast<double>(text.size());
  }
  std::filesystem::remove(file);
}

} // namespace

BENCHMARK(MillionPieceSave)->Unit(benchmark::kMillisecond)->Iterations(1);
