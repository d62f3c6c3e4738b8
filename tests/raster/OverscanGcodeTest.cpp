// Scan lines in the G-code: one burn move per run, with the laser-off run up
// and run out that overscan adds at both ends.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "io/GcodeWriter.h"

namespace {

// Head moves as (x in mm, laser on), from the default templates' lines.
std::vector<std::pair<double, bool>> Moves(const std::vector<std::string> &lines) {
  std::vector<std::pair<double, bool>> moves;
  bool on = false;
  for (const std::string &line : lines) {
    if (line == "G1 F3000") // the suffix's way home
      break;
    // The laser templates are one entry of several lines.
    if (const auto at = line.rfind("M106 S"); at != std::string::npos)
      on = std::stod(line.substr(at + 6)) > 0;
    else if (line.rfind("G1 X", 0) == 0)
      moves.emplace_back(std::stod(line.substr(4)), on);
  }
  return moves;
}

TGcodeJob ScanJob(TPaths paths, std::int64_t overscan, std::int32_t passes) {
  TGcodeJob job;
  job.UnitsPerMM = 100;
  job.Focus = 20;
  TGcodeLevel level;
  level.Paths = std::move(paths);
  level.Speed = 1000;
  level.Power = 255;
  level.Passes = passes;
  level.Overscan = overscan;
  job.Levels.push_back(level);
  return job;
}

using TMoves = std::vector<std::pair<double, bool>>;

TEST(OverscanGcode, EachRunIsOneBurnBetweenLaserOffRunUpAndRunOut) {
  struct TCase {
    const char *What;
    TPaths Paths;
    std::int32_t Passes;
    double BedWidth;
    TMoves Expected;
  } cases[] = {
      {"one pass",
       {{{100, 0}, {300, 0}}},
       1,
       0,
       {{0.5, false}, {1, false}, {3, true}, {3.5, false}}},
      {"two passes: the run out is the way back's run up",
       {{{100, 0}, {300, 0}}},
       2,
       0,
       {{0.5, false}, {1, false}, {3, true}, {3.5, false}, {3, false}, {1, true}, {0.5, false}}},
      {"a long run is not cut into pieces",
       {{{100, 0}, {700, 0}}},
       1,
       0,
       {{0.5, false}, {1, false}, {7, true}, {7.5, false}}},
      {"held to the origin and the bed",
       {{{20, 0}, {300, 0}}},
       1,
       3.2,
       // The head starts at the origin, where the run up begins.
       {{0.2, false}, {3, true}, {3.2, false}}},
  };
  for (const auto &c : cases) {
    TGcodeJob job = ScanJob(c.Paths, 50, c.Passes);
    if (c.BedWidth > 0) {
      job.Profile.BedWidth = c.BedWidth;
      job.Profile.BedHeight = 100;
    }
    EXPECT_EQ(Moves(GcodeLines(job)), c.Expected) << c.What;
    // The moves reach no further than where the head really goes.
    TMoveExtent extent;
    GcodeLines(job, {}, &extent);
    EXPECT_DOUBLE_EQ(extent.MinX, c.Expected.front().first) << c.What;
  }
}

TEST(OverscanGcode, WithoutOverscanTheRunsAreWrittenAsBefore) {
  // Pieces under 2 mm each, the laser on from end to end.
  const TMoves moves = Moves(GcodeLines(ScanJob({{{100, 0}, {700, 0}}}, 0, 1)));
  ASSERT_GE(moves.size(), 3u);
  for (std::size_t i = 1; i < moves.size(); ++i)
    EXPECT_TRUE(moves[i].second);
}

} // namespace
