#include <gtest/gtest.h>

#include <random>

#include "io/GcodeWriter.h"
#include "io/PieceSearch.h"

// The index must pick exactly what the plain scan picks, ties included, as
// pieces are taken away in walk order, and hand back the piece's ends and tag.
TEST(PieceSearch, IndexPicksWhatTheScanPicks) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    // A coarse grid makes many exact ties and many coincident ends.
    std::uniform_int_distribution<int> coordinate(0, round % 2 ? 8 : 2000);
    auto point = [&] { return TIntPoint(coordinate(random) * 50, coordinate(random) * 50); };
    std::vector<TWalkPiece> pieces(200);
    for (std::size_t i = 0; i < pieces.size(); ++i)
      pieces[i] = {point(), point(), static_cast<std::int32_t>(i % 3)};
    TLinearPieceSearch scan(pieces);
    TPieceIndex index(pieces);
    TIntPoint from(0, 0);
    for (std::size_t left = pieces.size(); left > 0; --left) {
      const TPieceHit expected = scan.Nearest(from);
      const TPieceHit found = index.Nearest(from);
      ASSERT_EQ(found.End, expected.End);
      ASSERT_EQ(found.Near, expected.Near);
      ASSERT_EQ(found.Far, expected.Far);
      ASSERT_EQ(found.Tag, expected.Tag);
      scan.Remove(expected);
      index.Remove(found);
      // The head does not always stand on an end: overscan and skipped
      // short moves leave it elsewhere.
      from = left % 4 == 0 ? point() : found.Far;
    }
    EXPECT_EQ(index.Nearest(from).End, -1);
    EXPECT_EQ(scan.Nearest(from).End, -1);
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
