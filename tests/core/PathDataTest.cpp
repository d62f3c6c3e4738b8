#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "core/PathData.h"
#include "core/ReadResult.h"

namespace {

std::size_t CountKind(const TPathData &path, TPathCommand kind) {
  std::size_t n = 0;
  for (const auto &e : path.Entries())
    n += e.Kind == kind;
  return n;
}

void ExpectNear(TPointF p, double x, double y, double tolerance = 1e-3) {
  EXPECT_NEAR(p.X, x, tolerance);
  EXPECT_NEAR(p.Y, y, tolerance);
}

} // namespace

TEST(PathData, RelativeOperationsFollowTheLastPoint) {
  TPathData path;
  EXPECT_EQ(path.LastPoint(), (TPointF{0, 0}));
  path.MoveToRel({10, 10}); // from (0, 0) of the empty path
  path.LineToRel({5, 0});
  path.CurveToRel({1, 1}, {2, 2}, {3, 0});
  EXPECT_EQ(path.LastPoint(), (TPointF{18, 10}));
  const auto &e = path.Entries();
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[2], (TPathEntry{pcCurve, {16, 11}}));
  EXPECT_EQ(e[3], (TPathEntry{pcCurve, {17, 12}}));
  path.ClosePath();
  EXPECT_EQ(path.Entries().back(), (TPathEntry{pcClose, {10, 10}}));
  EXPECT_EQ(path.LastPoint(), (TPointF{10, 10}));
  path.Clear();
  EXPECT_TRUE(path.Empty());
  EXPECT_EQ(path.LastPoint(), (TPointF{0, 0}));
}

TEST(PathData, ArcPiecesAndJoin) {
  struct TCase {
    float Start, Sweep;
    std::size_t Curves;
    double EndAngle;
  };
  // The last piece is taken once at most 90 degrees plus 0.01 radians remain;
  // sweeps beyond a turn are limited to one turn.
  const TCase cases[] = {{0, 90, 1, 90},    {0, 90.5f, 1, 90.5}, {0, 91, 2, 91},
                         {30, 360, 4, 390}, {0, -180, 2, -180},  {720, 45, 1, 45},
                         {0, 1e9f, 4, 360}, {0, -1e9f, 4, -360}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Sweep);
    TPathData path;
    path.AddArc({100, 50}, {20, 10}, c.Start, c.Sweep);
    EXPECT_EQ(path.Entries().front().Kind, pcMove); // empty path: a move to the start
    EXPECT_EQ(CountKind(path, pcCurve), 3 * c.Curves);
    const double a = c.EndAngle * std::numbers::pi / 180;
    ExpectNear(path.LastPoint(), 100 + 20 * std::cos(a), 50 + 10 * std::sin(a));
  }
  TPathData joined;
  joined.MoveTo({0, 0});
  joined.AddArc({0, 0}, {10, 10}, 0, 90);
  EXPECT_EQ(joined.Entries()[1], (TPathEntry{pcLine, {10, 0}}));
  // The usual control distance 4/3 tan(pi/8) of the radius on the end tangents.
  ExpectNear(joined.Entries()[2].Point, 10, 5.5228475);
  ExpectNear(joined.Entries()[3].Point, 5.5228475, 10);

  TPathData nothing;
  nothing.AddArc({0, 0}, {10, 10}, 0, 0);
  nothing.AddArc({0, 0}, {10, 10}, 0, std::numeric_limits<float>::quiet_NaN());
  nothing.AddArc({0, 0}, {10, 10}, 0, std::numeric_limits<float>::infinity());
  EXPECT_TRUE(nothing.Empty());
}

TEST(PathData, EllipseStartsAtLeftMiddleAndReturns) {
  TPathData path;
  path.AddEllipse(0, 0, 20, 10);
  const auto &e = path.Entries();
  ASSERT_EQ(e.size(), 13u);
  EXPECT_EQ(e[0], (TPathEntry{pcMove, {0, 5}}));
  EXPECT_EQ(e[3].Point, (TPointF{10, 0}));
  EXPECT_EQ(e[6].Point, (TPointF{20, 5}));
  EXPECT_EQ(e[9].Point, (TPointF{10, 10}));
  EXPECT_EQ(e[12].Point, (TPointF{0, 5}));
  ExpectNear(e[1].Point, 0, 5 - 5 * 0.5522847498);
  ExpectNear(e[2].Point, 10 - 10 * 0.5522847498, 0);
}

TEST(PathData, FlattenSeparatesFiguresOnce) {
  TPathData path;
  path.MoveTo({0, 0});
  path.LineTo({10, 0});
  path.LineTo({10, 0.0005f}); // within 0.001 of the point before: skipped
  path.ClosePath();
  path.MoveTo({0, 0}); // the close already ended on (0, 0) and a separator
  path.MoveTo({5, 5});
  path.LineTo({6, 6});
  const TPolygonF polygon = path.FlattenToPolygon(4);
  const TPolygonF expected = {{0, 0}, {10, 0},          {0, 0}, PolygonSeparator,
                              {0, 0}, PolygonSeparator, {5, 5}, {6, 6}};
  EXPECT_EQ(polygon, expected);
}

TEST(PathData, CurveStepsFollowLengthOverFlatness) {
  // A straight cubic of length 100: round(100 / f) points when above one.
  struct TCase {
    float Flatness;
    std::size_t Points;
  };
  const TCase cases[] = {{4, 25}, {10, 10}, {30, 3}, {60, 2}, {80, 2}, {0, 2000}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Flatness);
    TPathData path;
    path.MoveTo({0, 0});
    path.CurveTo({100.0f / 3, 0}, {200.0f / 3, 0}, {100, 0});
    const TPolygonF polygon = path.FlattenToPolygon(c.Flatness);
    ASSERT_EQ(polygon.size(), c.Points); // t = 0 repeats the move and is skipped
    EXPECT_EQ(polygon.back(), (TPointF{100, 0}));
  }
}

TEST(PathData, HugeCurvesAreCappedAndBudgeted) {
  TPathData path;
  path.AddEllipse(-1e30f, -1e30f, 1e30f, 1e30f);
  std::size_t budget = 100000;
  const TPolygonF polygon = path.FlattenToPolygon(4, budget);
  EXPECT_LE(polygon.size(), 4 * MaxCurveSteps + 1);
  EXPECT_EQ(budget, 100000 - 4 * MaxCurveSteps);

  std::size_t small = 10;
  EXPECT_THROW(path.FlattenToPolygon(4, small), TReadError);

  TPathData broken;
  broken.MoveTo({0, 0});
  broken.CurveTo({std::numeric_limits<float>::infinity(), 0}, {0, 0}, {1, 1});
  EXPECT_LE(broken.FlattenToPolygon(4).size(), MaxCurveSteps + 1);
}

TEST(PolygonToPaths, RoundsAndCutsAtSeparators) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const TPolygonF polygon = {{0.5f, 1.5f},
                             {2.5f, -0.5f},
                             PolygonSeparator,
                             {7, 7},
                             PolygonSeparator,
                             {1, 1},
                             {16777215.2f, 16777215},
                             {3, 3},
                             {4, 4},
                             {nan, 0},
                             {5, 5},
                             {inf, -inf}};
  const TPaths paths = PolygonToPaths(polygon);
  const TPaths expected = {
      {{0, 2}, {2, 0}}, {{3, 3}, {4, 4}}, {{5, 5}, {1000000000000000, -1000000000000000}}};
  EXPECT_EQ(paths, expected);
  EXPECT_TRUE(PolygonToPaths({}).empty());
}
