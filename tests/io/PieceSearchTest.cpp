#include <gtest/gtest.h>

#include <random>

#include "io/GcodeWriter.h"
#include "io/PieceSearch.h"

// The index must pick exactly what the plain scan picks, ties included, as
// entries are taken away in walk order.
TEST(PieceSearch, IndexPicksWhatTheScanPicks) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    // A coarse grid makes many exact ties and many coincident points.
    std::uniform_int_distribution<int> coordinate(0, round % 2 ? 8 : 2000);
    std::vector<TIntPoint> points(400);
    for (auto &p : points)
      p = TIntPoint(coordinate(random) * 50, coordinate(random) * 50);
    TLinearPieceSearch scan(points);
    TPieceIndex index(points);
    TIntPoint from(0, 0);
    for (std::size_t left = points.size(); left > 0; --left) {
      const std::int64_t expected = scan.Nearest(from);
      ASSERT_EQ(index.Nearest(from), expected);
      scan.Remove(expected);
      index.Remove(expected);
      from = points[static_cast<std::size_t>(expected)];
    }
    EXPECT_EQ(index.Nearest(from), -1);
  }
}

TEST(PieceSearch, BothWalksWriteTheSameGcode) {
  std::mt19937 random(3);
  std::uniform_int_distribution<int> coordinate(0, 3000);
  TGcodeJob job;
  job.UnitsPerMM = 100;
  TGcodeLevel level;
  level.Speed = 500;
  level.Power = 200;
  level.Passes = 2;
  for (int i = 0; i < 300; ++i)
    level.Paths.push_back({{coordinate(random), coordinate(random)},
                           {coordinate(random), coordinate(random)},
                           {coordinate(random), coordinate(random)}});
  job.Levels.push_back(level);
  EXPECT_EQ(GcodeLines(job), GcodeLinesReference(job));
}
