#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ReadResult.h"
#include "svg/SvgPath.h"

namespace {

std::vector<TPathEntry> Read(const std::string &data) {
  TSvgPath path;
  path.SetData(data);
  return path.Entries();
}

TPathEntry E(TPathCommand kind, float x, float y) { return {kind, {x, y}}; }

} // namespace

// Entries print as their kind and point when a comparison fails. GoogleTest
// finds the printer next to the type, so it lives outside the test namespace.
void PrintTo(const TPathEntry &entry, std::ostream *out);
void PrintTo(const TPathEntry &entry, std::ostream *out) {
  *out << "MLCZ"[entry.Kind] << "(" << entry.Point.X << ", " << entry.Point.Y << ")";
}

namespace {

struct TDataCase {
  const char *Data;
  std::vector<TPathEntry> Entries;
};

TEST(SvgPathData, ReadsCommandsAndNumbers) {
  const std::vector<TDataCase> cases = {
      {"M 10 10 20 20 30 10", {E(pcMove, 10, 10), E(pcLine, 20, 20), E(pcLine, 30, 10)}},
      {"m 10 10 20 20", {E(pcMove, 10, 10), E(pcLine, 30, 30)}},
      {"M0,0 H10 V10 Z", {E(pcMove, 0, 0), E(pcLine, 10, 0), E(pcLine, 10, 10), E(pcClose, 0, 0)}},
      // Every command takes further argument sets, H as well.
      {"M0 0 H 10 20 L 5 5",
       {E(pcMove, 0, 0), E(pcLine, 10, 0), E(pcLine, 20, 0), E(pcLine, 5, 5)}},
      {"M1 2 h 3 v 4", {E(pcMove, 1, 2), E(pcLine, 4, 2), E(pcLine, 4, 6)}},
      {"M0 0 L10-5", {E(pcMove, 0, 0), E(pcLine, 10, -5)}},
      {"M0 0 L1e1 2", {E(pcMove, 0, 0), E(pcLine, 10, 2)}},
      {"M0 0 L .5 .5", {E(pcMove, 0, 0), E(pcLine, 0.5f, 0.5f)}},
      {"M0 0 L-1-2-3-4", {E(pcMove, 0, 0), E(pcLine, -1, -2), E(pcLine, -3, -4)}},
      {"M0 0 L2E-1,3", {E(pcMove, 0, 0), E(pcLine, 0.2f, 3)}},
      // A number starting with "." after a complete point starts the next one.
      {"M0 0 L 1 1 .5 .5", {E(pcMove, 0, 0), E(pcLine, 1, 1), E(pcLine, 0.5f, 0.5f)}},
      {"M0\t0\nL\r3 4", {E(pcMove, 0, 0), E(pcLine, 3, 4)}},
      {"M0 0 L 5 5 # rest", {E(pcMove, 0, 0), E(pcLine, 5, 5)}},
      {"M 1 1 z l 2 0", {E(pcMove, 1, 1), E(pcClose, 1, 1), E(pcLine, 3, 1)}},
      // A quadratic curve is the cubic with control points two thirds of
      // the way to its own; T without a curve before it has the start as
      // its control point (these were once skipped or read as S and L).
      {"M0 0 Q 1 1 2 2 L 5 5",
       {E(pcMove, 0, 0), E(pcCurve, 2.0f / 3, 2.0f / 3), E(pcCurve, 2 - 2.0f / 3, 2 - 2.0f / 3),
        E(pcCurve, 2, 2), E(pcLine, 5, 5)}},
      {"M0 0 T 1 1 L 5 5",
       {E(pcMove, 0, 0), E(pcCurve, 0, 0), E(pcCurve, 1 - 2.0f / 3, 1 - 2.0f / 3), E(pcCurve, 1, 1),
        E(pcLine, 5, 5)}},
      // T reflects the control point of the curve before it; q and t are relative.
      {"M0 0 Q 3 0 3 3 T 3 6",
       {E(pcMove, 0, 0), E(pcCurve, 2, 0), E(pcCurve, 3, 1), E(pcCurve, 3, 3), E(pcCurve, 3, 5),
        E(pcCurve, 3, 6), E(pcCurve, 3, 6)}},
      {"M1 1 q 3 0 3 3 t 0 3",
       {E(pcMove, 1, 1), E(pcCurve, 3, 1), E(pcCurve, 4, 2), E(pcCurve, 4, 4), E(pcCurve, 4, 6),
        E(pcCurve, 4, 7), E(pcCurve, 4, 7)}},
      // After another command T has no curve to reflect.
      {"M0 0 Q 3 0 3 3 L 6 3 T 9 3",
       {E(pcMove, 0, 0), E(pcCurve, 2, 0), E(pcCurve, 3, 1), E(pcCurve, 3, 3), E(pcLine, 6, 3),
        E(pcCurve, 6, 3), E(pcCurve, 7, 3), E(pcCurve, 9, 3)}},
      {"", {}},
      {"10 10", {}},
      {"M0 0 C 0 10 10 10 10 0 S 20 -10 20 0",
       {E(pcMove, 0, 0), E(pcCurve, 0, 10), E(pcCurve, 10, 10), E(pcCurve, 10, 0),
        E(pcCurve, 10, -10), E(pcCurve, 20, -10), E(pcCurve, 20, 0)}},
      {"M0 0 C 0 10 10 10 10 0 s 10 -10 10 0",
       {E(pcMove, 0, 0), E(pcCurve, 0, 10), E(pcCurve, 10, 10), E(pcCurve, 10, 0),
        E(pcCurve, 10, -10), E(pcCurve, 20, -10), E(pcCurve, 20, 0)}},
      // With fewer than three entries the first control point is the second.
      {"M0 0 S 10 10 20 0",
       {E(pcMove, 0, 0), E(pcCurve, 10, 10), E(pcCurve, 10, 10), E(pcCurve, 20, 0)}},
      {"M1 1 c 1 2 3 4 5 6",
       {E(pcMove, 1, 1), E(pcCurve, 2, 3), E(pcCurve, 4, 5), E(pcCurve, 6, 7)}},
      // An arc ending where it starts adds nothing; a zero radius draws a line.
      {"M5 5 A 10 10 0 0 1 5 5", {E(pcMove, 5, 5)}},
      {"M0 0 A 0 10 0 0 1 20 0", {E(pcMove, 0, 0), E(pcLine, 20, 0)}},
      // A sliver of a huge circle is a straight line.
      {"M0 0 A 1e30 1e30 0 0 1 20 0", {E(pcMove, 0, 0), E(pcLine, 20, 0)}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Data);
    EXPECT_EQ(Read(c.Data), c.Entries);
  }
}

std::string Problem(const std::string &data) {
  TSvgPath path;
  return path.SetData(data);
}

TEST(SvgPathData, CompactNumbersReadAsTheirSpacedForms) {
  struct TCase {
    const char *Compact;
    const char *Spaced;
  };
  const TCase cases[] = {
      {"M1.5.5", "M 1.5 0.5"},
      {"M-.3.5", "M -0.3 0.5"},
      {"M10-5", "M 10 -5"},
      {"M1e-3 2E+2", "M 0.001 200"},
      {"M1e2-1e1", "M 100 -10"},
      {"M+1+2", "M 1 2"},
      {"M5.,.5", "M 5 0.5"},
      {"M0 0L1-2-3-4", "M 0 0 L 1 -2 L -3 -4"},
      {"M1,2,3,4", "M 1 2 L 3 4"},
      {"M0 0 L 1 1,,2 2", "M 0 0 L 1 1 L 2 2"},
      {"m1 1 2 2 3 3", "m 1 1 l 2 2 l 3 3"},
      {"M0 0 V 1 2 h1-1", "M 0 0 V 1 V 2 h 1 h -1"},
      {"M0 0 c1 1 2 2 3 3 1 1 2 2 3 3", "M 0 0 c 1 1 2 2 3 3 c 1 1 2 2 3 3"},
      {"M0 0 s1 1 2 2 1 1 2 2", "M 0 0 s 1 1 2 2 s 1 1 2 2"},
      // Arc flags are single digits that need no separator.
      {"M0 0 a1 1 0 00.5.5", "M 0 0 a 1 1 0 0 0 0.5 0.5"},
      {"M0 0 A10 10 0 1120 0", "M 0 0 A 10 10 0 1 1 20 0"},
      {"M0 0 A10,10,0,0,1,20,0 10 10 0 0 1 40 0", "M 0 0 A 10 10 0 0 1 20 0 A 10 10 0 0 1 40 0"},
      {"M0 0\fL\t3\n4\r", "M 0 0 L 3 4"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Compact);
    EXPECT_EQ(Problem(c.Compact), "");
    EXPECT_EQ(Read(c.Compact), Read(c.Spaced));
    EXPECT_GT(Read(c.Spaced).size(), 0u);
  }
}

TEST(SvgPathData, BrokenDataKeepsWhatCameBeforeAndSaysWhere) {
  struct TCase {
    const char *Data;
    std::vector<TPathEntry> Entries;
    const char *Problem;
  };
  const TCase cases[] = {
      // "e" without digits is no exponent.
      {"M0 0 L 1e 2", {E(pcMove, 0, 0)}, "\"e\" at character 9, where L expects a number"},
      {"M0 0 L 1e400 2", {E(pcMove, 0, 0)}, "the number \"1e400\" at character 8 is out of range"},
      {"M0 0 H -", {E(pcMove, 0, 0)}, "\"-\" at character 8, where H expects a number"},
      {"M0 0 L 1 2 3",
       {E(pcMove, 0, 0), E(pcLine, 1, 2)},
       "the data ends where L expects a number"},
      {"M0 0 L 5 5 # rest",
       {E(pcMove, 0, 0), E(pcLine, 5, 5)},
       "\"#\" at character 12 is not a path command"},
      {"M0 0 A 10 10 0 2 1 20 0",
       {E(pcMove, 0, 0)},
       "\"2\" at character 16, where A expects an arc flag (0 or 1)"},
      {"M 1 1 z 5 5",
       {E(pcMove, 1, 1), E(pcClose, 1, 1)},
       "\"5\" at character 9: z takes no numbers"},
      {"10 10", {}, "\"10\" at character 1 is not a path command"},
      {"M0 0 L10 0 L",
       {E(pcMove, 0, 0), E(pcLine, 10, 0)},
       "the data ends where L expects a number"},
      // The excerpt stops at a blank and never splits a character.
      {"M0 0 L x\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC 1",
       {E(pcMove, 0, 0)},
       "\"x\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\" at character 8, where L expects a number"},
      {"M0 0 L 1\x01", {E(pcMove, 0, 0)}, "\"?\" at character 9, where L expects a number"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Data);
    EXPECT_EQ(Read(c.Data), c.Entries);
    EXPECT_EQ(Problem(c.Data), c.Problem);
  }
}

// End points of the arc's pieces, which lie on the ellipse exactly.
std::vector<TPointF> ArcPoints(const std::string &data) {
  const auto entries = Read(data);
  std::vector<TPointF> points;
  for (std::size_t i = 1; i < entries.size(); ++i)
    if (entries[i].Kind != pcCurve || i % 3 == 1)
      points.push_back(entries[i].Point);
  return points;
}

TEST(SvgPathData, ArcIsHalfEllipseAroundItsCentre) {
  // Radii 1 are too small for the end points and grow to 10; negative radii
  // count as positive.
  for (const char *data :
       {"M0 0 A 10 10 0 0 1 20 0", "M0 0 A 1 1 0 0 1 20 0", "M0 0 A -10 -10 0 0 1 20 0"}) {
    SCOPED_TRACE(data);
    const auto entries = Read(data);
    ASSERT_GE(entries.size(), 8u);
    EXPECT_EQ(entries[1].Kind, pcLine); // the line to the arc's start lands on it
    EXPECT_NEAR(entries[1].Point.X, 0, 1e-4);
    EXPECT_NEAR(entries.back().Point.X, 20, 1e-4);
    EXPECT_NEAR(entries.back().Point.Y, 0, 1e-4);
    bool throughBottom = false;
    for (const TPointF p : ArcPoints(data)) {
      EXPECT_NEAR(std::hypot(p.X - 10, p.Y), 10, 1e-3);
      EXPECT_LE(p.Y, 1e-3); // sweep 1 goes through negative y
      throughBottom = throughBottom || (std::fabs(p.X - 10) < 1e-3 && std::fabs(p.Y + 10) < 1e-3);
    }
    EXPECT_TRUE(throughBottom);
  }
}

TEST(SvgPathData, RotatedArcKeepsItsRadii) {
  // Radius 20 turned onto the y axis: the chord of 40 is its full length, so
  // the centre is (0, 20) and the arc reaches 10 to one side.
  float widest = 0;
  for (const TPointF p : ArcPoints("M0 0 A 20 10 90 0 1 0 40")) {
    EXPECT_NEAR((p.Y - 20) * (p.Y - 20) / 400 + p.X * p.X / 100, 1, 1e-3);
    widest = std::max(widest, std::fabs(p.X));
  }
  EXPECT_NEAR(widest, 10, 1e-3);
  // On a shorter chord the large-arc flag picks the other centre.
  const auto farthest = [](const std::string &data) {
    TSvgPath path;
    path.SetData(data);
    float x = 0;
    for (const TPointF p : path.FlattenToPolygon(0.1f))
      if (std::fabs(p.X) > std::fabs(x))
        x = p.X;
    return x;
  };
  // The centre lies 8.66 to one side: the small arc bulges 1.34, the large 18.66.
  const float small = farthest("M0 0 A 20 10 90 0 1 0 20");
  const float large = farthest("M0 0 A 20 10 90 1 1 0 20");
  EXPECT_NEAR(std::fabs(small), 10 - std::sqrt(75.0f), 0.01);
  EXPECT_NEAR(std::fabs(large), 10 + std::sqrt(75.0f), 0.01);
  EXPECT_GT(small * large, 0); // with the same sweep both bulge to the same side
}

TEST(SvgPathData, MatrixMovesEveryEntryIncludingCloses) {
  TSvgPath path;
  path.SetData("M0 0 L10 0 C 10 5 5 10 0 10 Z");
  path.ApplyMatrix(TMatrix::Translation(100, 200) * TMatrix::Scaling(2, 2));
  const std::vector<TPathEntry> expected = {E(pcMove, 200, 400),  E(pcLine, 220, 400),
                                            E(pcCurve, 220, 410), E(pcCurve, 210, 420),
                                            E(pcCurve, 200, 420), E(pcClose, 200, 400)};
  EXPECT_EQ(path.Entries(), expected);
  // The closing point is the moved figure start, not where it was before.
  const TPolygonF polygon = path.FlattenToPolygon(1);
  for (const TPointF p : polygon)
    EXPECT_TRUE(p == PolygonSeparator || p.X >= 200) << p.X << " " << p.Y;
}

TEST(SvgPathData, EmptyMeansNoEntriesOrNoExtentInSinglePrecision) {
  TSvgPath path;
  EXPECT_TRUE(path.IsEmpty());
  path.SetData("M0 0 L10 0");
  EXPECT_FALSE(path.IsEmpty());
  path.SetData("M 5 5");
  EXPECT_FALSE(path.IsEmpty());
  path.SetData("M 1e9 1e9 L 1e9 1e9");
  EXPECT_TRUE(path.IsEmpty());
}

TEST(SvgPathData, RefusesPathsBeyondTheEntryLimit) {
  std::string data = "M0 0";
  data.reserve(MaxSvgPathEntries * 4 + 100);
  for (std::size_t i = 0; i <= MaxSvgPathEntries; ++i)
    data += "L1 1";
  TSvgPath path;
  EXPECT_THROW(path.SetData(data), TReadError);
}

} // namespace

TEST(SvgPathData, VerticesAreTheCommandEndsWithTheirDirections) {
  struct TVertexCase {
    const char *Data;
    std::vector<TSvgVertex> Vertices;
  };
  const TVertexCase cases[] = {
      // Open: the ends take the one direction they have, the corner the
      // bisector of in (0) and out (90).
      {"M 0 0 L 10 0 L 10 10", {{{0, 0}, 0}, {{10, 0}, 45}, {{10, 10}, 90}}},
      // Closed: the start and the close bisect the closing line (-135)
      // with the first one (0); the bisector takes the short way round.
      {"M 0 0 L 10 0 L 10 10 Z",
       {{{0, 0}, -67.5f}, {{10, 0}, 45}, {{10, 10}, 157.5f}, {{0, 0}, -67.5f}}},
      // An arc is one command however many curves it becomes; it leaves
      // upwards (sweep 1 on a canvas whose y points down) and comes in downwards.
      {"M 0 0 A 5 5 0 0 1 10 0", {{{0, 0}, -90}, {{10, 0}, 90}}},
      // A curve's directions come from its control points; one that
      // coincides with its end point gives way to the other.
      {"M 0 0 C 0 0 10 10 10 0", {{{0, 0}, 45}, {{10, 0}, -90}}},
      // A zero-length line takes the direction of the line before it.
      {"M 0 0 L 10 0 L 10 0", {{{0, 0}, 0}, {{10, 0}, 0}, {{10, 0}, 0}}},
      // Each subpath starts again; H and V count like L.
      {"M 0 0 H 10 M 20 0 V 10", {{{0, 0}, 0}, {{10, 0}, 0}, {{20, 0}, 90}, {{20, 10}, 90}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Data);
    TSvgPath path;
    ASSERT_EQ(path.SetData(c.Data), "");
    const std::vector<TSvgVertex> vertices = path.Vertices();
    ASSERT_EQ(vertices.size(), c.Vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_NEAR(vertices[i].Point.X, c.Vertices[i].Point.X, 1e-4);
      EXPECT_NEAR(vertices[i].Point.Y, c.Vertices[i].Point.Y, 1e-4);
      EXPECT_NEAR(vertices[i].Angle, c.Vertices[i].Angle, 0.5);
    }
  }
  // Shapes built point by point (polylines) have a vertex per point.
  TSvgPath built;
  built.MoveTo({0, 0});
  built.LineTo({0, 10});
  built.LineTo({10, 10});
  const auto vertices = built.Vertices();
  ASSERT_EQ(vertices.size(), 3u);
  EXPECT_NEAR(vertices[1].Angle, 45, 0.5);
}
