#pragma once
// The G-code jobs the benchmarks share, so each measures the same input.

#include <cstdint>
#include <random>

#include "io/GcodeWriter.h"

namespace BenchJobs {

// Short strokes scattered over 300 x 200 mm, each one piece, from a fixed seed.
inline TGcodeJob ScatteredJob(std::int64_t pieces) {
  std::mt19937 random(1);
  std::uniform_int_distribution<int> x(0, 30000), y(0, 20000), d(-100, 100);
  TGcodeJob job;
  TGcodeLevel level;
  level.Speed = 1000;
  level.Power = 255;
  level.Passes = 1;
  for (std::int64_t i = 0; i < pieces; ++i) {
    const int px = x(random), py = y(random);
    level.Paths.push_back({{px, py}, {px + d(random), py + d(random)}});
  }
  job.Levels.push_back(std::move(level));
  return job;
}

} // namespace BenchJobs
