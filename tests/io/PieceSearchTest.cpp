#include <gtest/gtest.h>

#include <random>

#include "io/GcodeWriter.h"
#include "io/PieceSearch.h"

// The index must pick exactly what the plain scan picks, ties included, as
// pieces are taken away in walk order, and hand back the piece's ends and tag.
TEST(PieceSearch, IndexPicksWhatTheScanPicks) {
  struct TCase {
    const char *Name;
    int Pieces;
    std::int64_t Grid, Cells; // ends on a grid of Cells x Cells points Grid apart
    std::int64_t Length;      // 0: both ends anywhere; else the far end within this
    std::int64_t Shift;       // added to every coordinate
  };
  const TCase cases[] = {
      // A coarse grid makes many exact ties and many coincident ends.
      {"coarse grid, long pieces", 200, 50, 8, 0, 0},
      {"fine grid, long pieces", 200, 50, 2000, 0, 0},
      // Short pieces among many: the search stops climbing early, so the
      // cells' edges decide what it sees.
      {"short pieces", 3000, 1, 20000, 150, 0},
      {"short pieces on a grid", 3000, 10, 300, 30, 0},
      {"short pieces far below the origin", 2000, 1, 20000, 150, -4'000'000'000'000'000},
      {"short pieces far out", 2000, 1000, 20000, 3000, 3'000'000'000'000'000},
  };
  std::mt19937 random(7);
  for (const TCase &c : cases) {
    for (int round = 0; round < 4; ++round) {
      SCOPED_TRACE(testing::Message() << c.Name << ", round " << round);
      std::uniform_int_distribution<std::int64_t> cell(0, c.Cells);
      std::uniform_int_distribution<std::int64_t> near(-c.Length, c.Length);
      auto point = [&] {
        return TIntPoint(cell(random) * c.Grid + c.Shift, cell(random) * c.Grid + c.Shift);
      };
      std::vector<TWalkPiece> pieces(static_cast<std::size_t>(c.Pieces));
      for (std::size_t i = 0; i < pieces.size(); ++i) {
        const TIntPoint a = point();
        const TIntPoint b = c.Length == 0 ? point() : TIntPoint(a.X + near(random), a.Y + near(random));
        pieces[i] = {a, b, static_cast<std::int32_t>(i % 3)};
      }
      TLinearPieceSearch scan(pieces);
      TPieceIndex index(pieces);
      TIntPoint from(c.Shift, c.Shift);
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
