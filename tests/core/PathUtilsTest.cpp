#include <gtest/gtest.h>

#include "core/PathUtils.h"

TEST(PathMeasures, LengthRoundsEachSegmentSeparately) {
  // Segments of 5, 0, 2 and, closing, sqrt(45) = 6.7 -> 7.
  const TPath path{{0, 0}, {3, 4}, {3, 4}, {3, 6}};
  EXPECT_EQ(PathLength(path, false), 7);
  EXPECT_EQ(PathLength(path, true), 14);
  EXPECT_EQ(PathLength(TPath{{5, 5}}, true), 0);
  // Half-way lengths round to even: 0.5 -> 0, 1.5 -> 2, 2.5 -> 2.
  EXPECT_EQ(PathLength(TPath{{0, 0}, {1, 0}, {1, 1}}, false), 2);
  EXPECT_EQ(PathsLength({{{0, 0}, {10, 0}}, {{0, 0}, {3, 0}}}, false, 4), 10);
}

TEST(PathMeasures, AreaCountsHolesNegative) {
  const TPaths square{{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{2, 2}, {2, 4}, {4, 4}, {4, 2}}};
  EXPECT_DOUBLE_EQ(PathsArea(square), 100 - 4);
}

TEST(PathHelpers, CloseAndRemoveShort) {
  EXPECT_EQ(ClosePath({{1, 2}, {3, 4}}), (TPath{{1, 2}, {3, 4}, {1, 2}}));
  EXPECT_EQ(ClosePath({}), TPath{});
  const TPaths paths{{{0, 0}, {5, 0}}, {{0, 0}, {6, 0}}, {{0, 0}}};
  EXPECT_EQ(RemoveShortPaths(paths, 5), (TPaths{{{0, 0}, {6, 0}}}));
}

TEST(PathHelpers, SimplifyDropsNearAndCollinearPoints) {
  struct TCase {
    TPath In, Out;
  };
  const TCase cases[] = {
      // a point within the tolerance of its predecessor
      {{{0, 0}, {1, 1}, {100, 0}}, {{0, 0}, {100, 0}}},
      // near-collinear middle points, tested against the same predecessor
      {{{0, 0}, {50, 1}, {100, 0}, {150, 1}, {200, 0}}, {{0, 0}, {200, 0}}},
      // a real corner stays
      {{{0, 0}, {100, 0}, {100, 100}}, {{0, 0}, {100, 0}, {100, 100}}},
      // first and last points always stay, even when they coincide
      {{{0, 0}, {0, 0}}, {{0, 0}, {0, 0}}},
      // a spike back onto the first point collapses: the first point lies on
      // the line through the other two
      {{{0, 0}, {100, 0}, {0, 0}}, {{0, 0}, {0, 0}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.In));
    EXPECT_EQ(SimplifyPath(c.In, 2.5), c.Out);
  }
}

TEST(PathHelpers, NearCollinearWithCoincidentLinePoints) {
  // When the two points that define the line coincide, the line is that
  // point: the distance to it decides, and nothing divides by zero.
  EXPECT_TRUE(NearCollinear({5, 5}, {5, 5}, {5, 5}, 1));
  // C is outside A and B here, and A = B: C's distance to that point is 9.
  EXPECT_TRUE(NearCollinear({0, 0}, {0, 0}, {0, 9}, 82));
  EXPECT_FALSE(NearCollinear({0, 0}, {0, 0}, {0, 9}, 81));
  EXPECT_TRUE(NearCollinear({0, 0}, {10, 0}, {20, 1}, 1));
  EXPECT_FALSE(NearCollinear({0, 0}, {10, 5}, {20, 0}, 1));
}

TEST(PathHelpers, OffsetPathsGrowsWithMitersAndShrinksRound) {
  const TPaths square{{{0, 0}, {100, 0}, {100, 100}, {0, 100}}};
  EXPECT_DOUBLE_EQ(PathsArea(OffsetPaths(square, 10)), 120.0 * 120.0);
  const double shrunk = PathsArea(OffsetPaths(square, -10));
  EXPECT_DOUBLE_EQ(shrunk, 80.0 * 80.0);
  EXPECT_TRUE(OffsetPaths(square, -60).empty());
  EXPECT_TRUE(OffsetPaths({}, 5).empty());
}

TEST(PathHelpers, ScaleRoundsHalfToEvenThenMirrors) {
  const TPaths in{{{1, 3}, {5, 7}}};
  EXPECT_EQ(ScaleToOutput(in, {0.5f, 0.5f}, false, 0), (TPaths{{{0, 2}, {2, 4}}}));
  EXPECT_EQ(ScaleToOutput(in, {1.0f, 1.0f}, true, 10), (TPaths{{{9, 3}, {5, 7}}}));
}

TEST(PathHelpers, SubtractBurnedRemovesThreeQuartersFocusAroundStrokes) {
  const TPaths area{{{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}}};
  const TPaths rest = SubtractBurned(area, {{{0, 500}, {1000, 500}}}, 20);
  // A band 2 × 15 units wide is gone.
  EXPECT_NEAR(PathsArea(rest), 1000.0 * (1000 - 30), 1000);
}

TEST(PathHelpers, UnitedStrokeZoneIsTheOneUnionRegion) {
  // Many overlapping strokes, some far apart, some crossing everything.
  std::srand(9);
  TPaths strokes;
  for (int i = 0; i < 1500; ++i) {
    const ClipperLib::cInt x = std::rand() % 20000, y = std::rand() % 12000;
    strokes.push_back({{x, y}, {x + std::rand() % 400 - 200, y + std::rand() % 400 - 200}});
  }
  strokes.push_back({{0, 6000}, {20000, 6100}, {20000, 6300}});
  const TPaths one = StrokeZone(strokes, 42), united = UnitedStrokeZone(strokes, 42);
  // Intersections are rounded to whole units at different stages, so the
  // two may differ by slivers along the boundary, never by more.
  const double rounding = 0.5 * static_cast<double>(PathsLength(one, true, 0));
  const double difference = PathsArea(BooleanPaths(one, united, ClipperLib::ctXor));
  EXPECT_LT(difference, rounding);
  EXPECT_NEAR(PathsArea(united), PathsArea(one), rounding);
  EXPECT_EQ(united.size(), one.size());
  EXPECT_EQ(UnitedStrokeZone({{{0, 0}, {10, 0}}}, 5), StrokeZone({{{0, 0}, {10, 0}}}, 5));
  EXPECT_TRUE(UnitedStrokeZone({}, 5).empty());
}
