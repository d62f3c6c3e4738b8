#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../common/Slowdown.h"

#include "core/Bounds.h"
#include "core/PathUtils.h"
#include "dxf/DxfColors.h"
#include "dxf/DxfReader.h"
#include "dxf/DxfScan.h"

namespace {

// Group pairs written one item a line: G({"0", "LINE", "8", "0"}).
std::string G(std::initializer_list<const char *> items) {
  std::string text;
  for (const char *item : items)
    text += std::string(item) + "\n";
  return text;
}

// A drawing of the given entities, in millimetres unless told otherwise.
std::string Doc(const std::string &entities, const std::string &blocks = "",
                const std::string &layers = "", const char *insunits = "4",
                const std::string &styles = "") {
  std::string text = G({"0", "SECTION", "2", "HEADER"});
  if (insunits)
    text += G({"9", "$INSUNITS", "70", insunits});
  text += G({"0", "ENDSEC"});
  if (!layers.empty() || !styles.empty()) {
    text += G({"0", "SECTION", "2", "TABLES"});
    if (!layers.empty())
      text += G({"0", "TABLE", "2", "LAYER"}) + layers + G({"0", "ENDTAB"});
    if (!styles.empty())
      text += G({"0", "TABLE", "2", "STYLE"}) + styles + G({"0", "ENDTAB"});
    text += G({"0", "ENDSEC"});
  }
  if (!blocks.empty())
    text += G({"0", "SECTION", "2", "BLOCKS"}) + blocks + G({"0", "ENDSEC"});
  text += G({"0", "SECTION", "2", "ENTITIES"}) + entities + G({"0", "ENDSEC", "0", "EOF"});
  return text;
}

struct TLoaded {
  TReadResult Result;
  // The report's lines, and what went to a message box (nothing should).
  std::vector<std::string> Messages;
  std::vector<std::string> Shown;
};

TLoaded Load(const std::string &text) {
  TLoaded loaded;
  TReadOptions options;
  options.UnitsPerMM = 100;
  options.ShowMessage = [&loaded](const std::string &m) { loaded.Shown.push_back(m); };
  loaded.Result = LoadDxf(text, options);
  loaded.Messages = loaded.Result.Report;
  return loaded;
}

std::string AllMessages(const TLoaded &loaded) {
  std::string text;
  for (const auto &m : loaded.Messages)
    text += m + "\n";
  return text;
}

TPaths AllInput(const TLevel &level) {
  TPaths all;
  for (const TPaths &set : *level.Input())
    all.insert(all.end(), set.begin(), set.end());
  return all;
}

const TLevel *Find(const TReadResult &result, const std::string &name) {
  for (const auto &level : result.Levels)
    if (level->Name() == name)
      return level.get();
  return nullptr;
}

std::string Names(const TReadResult &result) {
  std::string text;
  for (const auto &level : result.Levels)
    text += "[" + level->Name() + "]";
  return text;
}

std::string Line(const char *x1, const char *y1, const char *x2, const char *y2,
                 const char *layer = "0") {
  return G({"0", "LINE", "8", layer, "10", x1, "20", y1, "30", "0", "11", x2, "21", y2, "31", "0"});
}

// Largest distance of a path's points from a centre, and the smallest.
std::pair<double, double> RadiusRange(const TPath &path, double cx, double cy) {
  double lo = 1e300, hi = 0;
  for (const auto &p : path) {
    const double r = std::hypot(static_cast<double>(p.X) - cx, static_cast<double>(p.Y) - cy);
    lo = std::min(lo, r);
    hi = std::max(hi, r);
  }
  return {lo, hi};
}

TEST(DxfReader, LineIsCutOnItsLayerAndMovedToTheOrigin) {
  const auto loaded = Load(Doc(Line("5", "5", "15", "10")));
  ASSERT_EQ(loaded.Result.Levels.size(), 1u);
  const TLevel &level = *loaded.Result.Levels[0];
  EXPECT_EQ(level.Kind(), lkLines);
  EXPECT_EQ(level.Name(), "Layer 0");
  EXPECT_EQ(level.Height(), DxfLinesHeight);
  EXPECT_EQ(level.Color(), 0xFF000000u);
  EXPECT_EQ(AllInput(level), (TPaths{{{0, 0}, {1000, 500}}}));
  EXPECT_EQ(loaded.Result.Size, (TIntSize{1000, 500}));
  EXPECT_TRUE(loaded.Messages.empty()) << AllMessages(loaded);
}

TEST(DxfReader, LinesWhoseEndsMeetAreJoinedPerLevel) {
  // A square of four lines in scrambled order and directions, a path of two
  // lines, a junction of three lines, and a line of another colour that ends
  // on the square.
  const std::string entities =
      Line("10", "0", "0", "0") + Line("10", "10", "10", "0") + Line("0", "0", "0", "10") +
      Line("20", "0", "30", "0") + Line("0", "10", "10", "10") + Line("30", "0", "30", "5") +
      Line("40", "0", "45", "5") + Line("45", "5", "50", "0") + Line("45", "5", "45", "10") +
      G({"0", "LINE", "8", "0", "62", "1", "10", "10", "20", "10", "11", "20", "21", "20"});
  const auto loaded = Load(Doc(entities));
  const TLevel *lines = Find(loaded.Result, "Layer 0 black");
  ASSERT_NE(lines, nullptr) << Names(loaded.Result);
  std::multiset<std::size_t> sizes;
  for (const auto &path : AllInput(*lines))
    sizes.insert(path.size());
  // The square closed (five points), the path of three, the junction apart.
  EXPECT_EQ(sizes, (std::multiset<std::size_t>{5, 3, 2, 2, 2}));
  for (const auto &path : AllInput(*lines))
    if (path.size() == 5) {
      EXPECT_EQ(path.front(), path.back());
      EXPECT_NEAR(std::fabs(ClipperLib::Area(path)), 1000.0 * 1000.0, 1);
    }
  const TLevel *red = Find(loaded.Result, "Layer 0 red");
  ASSERT_NE(red, nullptr) << Names(loaded.Result);
  EXPECT_EQ(AllInput(*red).size(), 1u);
  // The joined square encloses area like a closed polyline.
  const TLevel *areas = Find(loaded.Result, "Layer 0 areas");
  ASSERT_NE(areas, nullptr) << Names(loaded.Result);
  EXPECT_NEAR(std::fabs(PathsArea(AllInput(*areas))), 1000.0 * 1000.0, 1);
}

std::string Arc(const char *cx, const char *cy, const char *r, const char *from, const char *to,
                const char *layer = "0", const char *color = "256") {
  return G({"0", "ARC", "8", layer, "62", color, "10", cx, "20", cy, "30", "0", "40", r, "50", from,
            "51", to});
}

TEST(DxfReader, ArcsAndOpenPolylinesWhoseEndsMeetAreJoinedLikeLines) {
  struct TCase {
    const char *What;
    std::string Entities;
    std::size_t Paths;  // of the layer's lines levels together
    std::size_t Closed; // of those, paths that end where they start
    double Area;        // of the layer's unprinted area level, 0 when there is none
  };
  const TCase cases[] = {
      {"a half circle closed by a line",
       Arc("0", "0", "10", "270", "90") + Line("0", "10", "0", "-10"), 1, 1,
       std::numbers::pi * 50e4},
      {"two half circles", Arc("0", "0", "10", "0", "180") + Arc("0", "0", "10", "180", "360"), 1,
       1, std::numbers::pi * 100e4},
      {"three sides of an open polyline and a line",
       G({"0",  "LWPOLYLINE", "8",  "0", "90", "4",  "70", "0", "10", "0",  "20", "10",
          "10", "0",          "20", "0", "10", "10", "20", "0", "10", "10", "20", "10"}) +
           Line("10", "10", "0", "10"),
       1, 1, 100e4},
      {"an open polyline with a bulge and an arc",
       G({"0", "LWPOLYLINE", "8", "0", "90", "2", "70", "0", "10", "-10", "20", "0", "42", "1",
          "10", "10", "20", "0"}) +
           Arc("0", "0", "10", "0", "180"),
       1, 1, std::numbers::pi * 100e4},
      {"a path of an arc and two lines, open",
       Line("-20", "0", "-10", "0") + Arc("0", "0", "10", "0", "180") + Line("10", "0", "20", "5"),
       1, 0, 0},
      {"an arc on another layer",
       Arc("0", "0", "10", "270", "90", "Other") + Line("0", "10", "0", "-10"), 1, 0, 0},
      {"an arc of another colour",
       Arc("0", "0", "10", "270", "90", "0", "1") + Line("0", "10", "0", "-10"), 2, 0, 0},
      {"an arc that one end of the line misses by a hundredth of a millimetre",
       Arc("0", "0", "10", "270", "90") + Line("0", "10", "0", "-9.99"), 1, 0, 0},
      {"an arc that both ends of the line miss",
       Arc("0", "0", "10", "270", "90") + Line("0", "9.99", "0", "-9.99"), 2, 0, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.What);
    const auto loaded = Load(Doc(c.Entities));
    std::size_t paths = 0, closed = 0;
    for (const auto &level : loaded.Result.Levels)
      if (level->Kind() == lkLines && level->Name().starts_with("Layer 0"))
        for (const auto &path : AllInput(*level)) {
          ++paths;
          closed += path.size() > 3 && path.front() == path.back();
        }
    EXPECT_EQ(paths, c.Paths) << Names(loaded.Result);
    EXPECT_EQ(closed, c.Closed);
    const TLevel *area = Find(loaded.Result, "Layer 0 areas");
    if (c.Area == 0) {
      EXPECT_EQ(area, nullptr) << Names(loaded.Result);
    } else {
      ASSERT_NE(area, nullptr) << Names(loaded.Result);
      EXPECT_NEAR(std::fabs(PathsArea(AllInput(*area))), c.Area, c.Area * 0.002);
    }
  }
}

TEST(DxfReader, CirclesBecomeAsManyChordsAsTheirSizeNeeds) {
  // Corners on the circle (up to rounding to units), chords whose middles
  // stay as close to it as the burn paths' simplification keeps points (the
  // root of a spot diameter / 8, at least a quarter unit), and not many more
  // chords than that takes; tiny circles still get a chord per eighth of a
  // turn, and the size is the circle's.
  const double tolerance = std::max(0.25, std::sqrt(TReadOptions{}.Focus / 8.0));
  struct TCase {
    const char *Radius; // millimetres, at 100 units per millimetre
    double Units;
  };
  const TCase cases[] = {{"0.05", 5}, {"1", 100}, {"25", 2500}, {"400", 40000}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Radius);
    // A mark at (-500, -500) mm lands on the origin, so the centre lies at
    // (50000, 50000) units whatever the chords' corners.
    const auto loaded = Load(Doc(Line("-500", "-500", "-499", "-500", "Mark") +
                                 G({"0", "CIRCLE", "10", "0", "20", "0", "40", c.Radius})));
    constexpr double centre = 50000;
    const TLevel *lines = Find(loaded.Result, "Layer 0");
    ASSERT_NE(lines, nullptr);
    const TPaths paths = AllInput(*lines);
    ASSERT_EQ(paths.size(), 1u);
    const TPath &path = paths[0];
    const auto [lo, hi] = RadiusRange(path, centre, centre);
    EXPECT_GE(lo, c.Units - 0.75);
    EXPECT_LE(hi, c.Units + 0.75);
    double nearest = 1e300;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
      const double mx = (static_cast<double>(path[i].X) + static_cast<double>(path[i + 1].X)) / 2;
      const double my = (static_cast<double>(path[i].Y) + static_cast<double>(path[i + 1].Y)) / 2;
      nearest = std::min(nearest, std::hypot(mx - centre, my - centre));
    }
    EXPECT_GE(nearest, c.Units - tolerance - 0.75);
    const double fewest = std::numbers::pi / std::acos(1 - std::min(tolerance / c.Units, 1.0));
    EXPECT_GE(path.size(), 9u);
    EXPECT_LE(static_cast<double>(path.size()), std::max(2 * fewest, 12.0));
    EXPECT_EQ(loaded.Result.Size.cx, static_cast<std::int32_t>(centre + c.Units));
    EXPECT_EQ(loaded.Result.Size.cy, static_cast<std::int32_t>(centre + c.Units));
  }
}

TEST(DxfReader, UnitsComeFromTheHeader) {
  struct TCase {
    const char *InsUnits;
    std::int32_t Width; // of a line 2 units long, at 100 units per millimetre
    bool Told;
  };
  const TCase cases[] = {{"1", 5080, false},   {"2", 60960, false},  {"4", 200, false},
                         {"5", 2000, false},   {"6", 200000, false}, {"0", 200, true},
                         {nullptr, 200, true}, {"99", 200, true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.InsUnits ? c.InsUnits : "none");
    const auto loaded = Load(Doc(Line("0", "0", "2", "0"), "", "", c.InsUnits));
    EXPECT_EQ(loaded.Result.Size.cx, c.Width);
    EXPECT_EQ(AllMessages(loaded).find("read in millimetres") != std::string::npos, c.Told);
  }
}

TEST(DxfReader, ClosedPolylineWithBulgeGivesCutAndUnprintedArea) {
  // A 10 mm square whose right side bulges out as a half circle.
  const auto loaded = Load(Doc(
      G({"0",  "LWPOLYLINE", "8", "Parts", "90", "4",  "70", "1",  "10", "0",  "20", "0",  "10",
         "10", "20",         "0", "42",    "1",  "10", "10", "20", "10", "10", "0",  "20", "10"})));
  ASSERT_EQ(Names(loaded.Result), "[Parts areas][Parts]");
  const TLevel &area = *loaded.Result.Levels[0];
  const TLevel &lines = *loaded.Result.Levels[1];
  EXPECT_EQ(area.Kind(), lkArea);
  EXPECT_FALSE(area.Print());
  EXPECT_TRUE(lines.Print());
  EXPECT_EQ(area.Height(), DxfAreaHeight);
  const double expected = (100 + std::numbers::pi * 25 / 2) * 1e4;
  EXPECT_NEAR(PathsArea(AllInput(area)), expected, expected * 0.002);
  const TPaths cut = AllInput(lines);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].front(), cut[0].back()); // a closed contour ends where it starts
  // The half circle reaches 5 mm beyond the square.
  EXPECT_EQ(loaded.Result.Size, (TIntSize{1500, 1000}));
  const auto [lo, hi] = RadiusRange(TPath(cut[0].begin() + 2, cut[0].end() - 3), 1000, 500);
  EXPECT_NEAR(lo, 500, 2);
  EXPECT_NEAR(hi, 500, 2);
}

TEST(DxfReader, ArcsCirclesAndEllipsesKeepTheirShape) {
  struct TCase {
    std::string Entity;
    TIntSize Size;
    double Area; // of the unprinted area level, 0 when there is none
  };
  const TCase cases[] = {
      // Quarter arc of radius 10 from 0 to 90 degrees.
      {G({"0", "ARC", "10", "0", "20", "0", "40", "10", "50", "0", "51", "90"}), {1000, 1000}, 0},
      // An arc over 0 degrees: from 270 to 90 is the right half.
      {G({"0", "ARC", "10", "0", "20", "0", "40", "10", "50", "270", "51", "90"}), {1000, 2000}, 0},
      {G({"0", "CIRCLE", "10", "3", "20", "4", "40", "5"}), {1000, 1000}, std::numbers::pi * 25e4},
      // Full ellipse, major axis 20 along X, ratio 0.5.
      {G({"0", "ELLIPSE", "10", "0", "20", "0", "11", "20", "21", "0", "40", "0.5", "41", "0", "42",
          "6.283185307179586"}),
       {4000, 2000},
       std::numbers::pi * 200e4},
      // Its upper half.
      {G({"0", "ELLIPSE", "10", "0", "20", "0", "11", "20", "21", "0", "40", "0.5", "41", "0", "42",
          "3.141592653589793"}),
       {4000, 1000},
       0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Entity);
    const auto loaded = Load(Doc(c.Entity));
    EXPECT_EQ(loaded.Result.Size, c.Size);
    const TLevel *area = Find(loaded.Result, "Layer 0 areas");
    if (c.Area == 0) {
      EXPECT_EQ(area, nullptr);
    } else {
      ASSERT_NE(area, nullptr);
      // Chords inside the curve by up to 1.6 units (the burn paths'
      // simplification distance) lose at most that times the perimeter.
      EXPECT_NEAR(PathsArea(AllInput(*area)), c.Area, c.Area * 0.004);
    }
  }
}

TEST(DxfReader, ArcSeenFromBelowIsMirrored) {
  // Extrusion (0, 0, -1): the arc's own X axis points the other way.
  const auto loaded = Load(Doc(G({"0", "ARC", "10", "10", "20", "0", "40", "10", "50", "0", "51",
                                  "90", "210", "0", "220", "0", "230", "-1"}) +
                               Line("0", "0", "1", "0")));
  const TLevel *level = Find(loaded.Result, "Layer 0");
  ASSERT_NE(level, nullptr);
  const TPaths paths = AllInput(*level);
  ASSERT_EQ(paths.size(), 2u);
  // The arc, centred at x = -10 once mirrored, spans x from -20 to -10.
  EXPECT_EQ(loaded.Result.Size.cx, 2100);
  const auto [lo, hi] = RadiusRange(paths[0], 1000, 0);
  EXPECT_NEAR(lo, 1000, 1.5);
  EXPECT_NEAR(hi, 1000, 1.5);
}

TEST(DxfReader, SplinesOfControlPointsAndOfFitPoints) {
  // A clamped cubic spline starts and ends at its end control points.
  const std::string controls =
      G({"0",  "SPLINE", "70", "8",  "71", "3",  "72", "8",  "73", "4",   "40", "0",  "40", "0",
         "40", "0",      "40", "0",  "40", "1",  "40", "1",  "40", "1",   "40", "1",  "10", "0",
         "20", "0",      "10", "10", "20", "20", "10", "20", "20", "-20", "10", "30", "20", "0"});
  auto loaded = Load(Doc(controls));
  ASSERT_EQ(loaded.Result.Levels.size(), 1u);
  TPaths paths = AllInput(*loaded.Result.Levels[0]);
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_GT(paths[0].size(), 20u);
  const TIntPoint start = paths[0].front(), end = paths[0].back();
  EXPECT_EQ(end.X - start.X, 3000);
  EXPECT_EQ(end.Y, start.Y);
  // It stays inside its control polygon's hull and bends both ways.
  EXPECT_EQ(loaded.Result.Size.cx, 3000);
  EXPECT_GT(loaded.Result.Size.cy, 500);
  EXPECT_LT(loaded.Result.Size.cy, 4000);

  // Fit points only: the curve passes through every one of them.
  loaded = Load(Doc(G({"0",  "SPLINE", "70", "8",  "71", "3",  "74", "3",  "11", "0",
                       "21", "0",      "11", "10", "21", "10", "11", "20", "21", "0"})));
  ASSERT_EQ(loaded.Result.Levels.size(), 1u);
  paths = AllInput(*loaded.Result.Levels[0]);
  ASSERT_EQ(paths.size(), 1u);
  for (const TIntPoint fit : {TIntPoint{0, 0}, TIntPoint{1000, 1000}, TIntPoint{2000, 0}})
    EXPECT_NE(std::find(paths[0].begin(), paths[0].end(), fit), paths[0].end())
        << fit.X << "," << fit.Y;

  // Fit points round a 20 mm square, back to the start: CAD programs draw
  // one cubic curve through them, a rounded loop 26.13 mm across (ezdxf's
  // interpolation, which follows BricsCAD's, gives x from 77.55 to 103.68
  // and y from -2.45 to 23.68), not a square with rounded corners.
  loaded = Load(Doc(G({"0",  "SPLINE", "70", "8",  "71", "3",   "74", "5",  "11",
                       "80", "21",     "0",  "11", "100", "21", "0",  "11", "100",
                       "21", "20",     "11", "80", "21",  "20", "11", "80", "21", "0"})));
  ASSERT_FALSE(loaded.Result.Levels.empty());
  EXPECT_NEAR(loaded.Result.Size.cx, 2612.8, 3);
  EXPECT_NEAR(loaded.Result.Size.cy, 2612.8, 3);
}

TEST(DxfReader, SplineWithZeroWeightsOrBrokenKnotsIsDrawnAndTold) {
  const std::string zeroWeights =
      G({"0",  "SPLINE", "70", "12", "71", "2", "72", "6",  "73", "3", "40", "0", "40", "0",
         "40", "0",      "40", "1",  "40", "1", "40", "1",  "10", "0", "20", "0", "41", "0",
         "10", "10",     "20", "10", "41", "0", "10", "20", "20", "0", "41", "0"});
  // Knots that fall: not a knot vector at all.
  const std::string fallingKnots =
      G({"0",  "SPLINE", "70", "8",  "71", "2",  "72", "6",  "73", "3", "40", "5",
         "40", "4",      "40", "3",  "40", "2",  "40", "1",  "40", "0", "10", "0",
         "20", "0",      "10", "10", "20", "10", "10", "20", "20", "0"});
  for (const auto &[entity, told] : {std::pair{zeroWeights, "weights of zero"},
                                     std::pair{fallingKnots, "knots that do not fit"}}) {
    SCOPED_TRACE(told);
    const auto loaded = Load(Doc(entity));
    ASSERT_EQ(loaded.Result.Levels.size(), 1u);
    EXPECT_EQ(loaded.Result.Size.cx, 2000);
    EXPECT_NE(AllMessages(loaded).find(told), std::string::npos) << AllMessages(loaded);
    EXPECT_TRUE(loaded.Shown.empty());
  }
}

TEST(DxfReader, SolidsTracesAndHatchesAreFilledAreas) {
  struct TCase {
    std::string Entity;
    double Area; // mm²
  };
  // The third and fourth corners of a SOLID are given crosswise: read in
  // file order they would make a bow tie of no area.
  const TCase cases[] = {
      {G({"0", "SOLID", "10", "0", "20", "0", "11", "10", "21", "0", "12", "0", "22", "10", "13",
          "10", "23", "10"}),
       100},
      {G({"0", "TRACE", "10", "0", "20", "0", "11", "10", "21", "0", "12", "0", "22", "5", "13",
          "10", "23", "5"}),
       50},
      // A triangle: the last corner repeated.
      {G({"0", "SOLID", "10", "0", "20", "0", "11", "10", "21", "0", "12", "0", "22", "10", "13",
          "0", "23", "10"}),
       50},
      // Hatch with a polyline boundary: a 10 mm square with a 4 mm square hole.
      {G({"0",  "HATCH", "10", "0",  "20", "0", "30", "0",  "210", "0", "220", "0",  "230", "1",
          "2",  "SOLID", "70", "1",  "71", "0", "91", "2",  "92",  "2", "72",  "0",  "73",  "1",
          "93", "4",     "10", "0",  "20", "0", "10", "10", "20",  "0", "10",  "10", "20",  "10",
          "10", "0",     "20", "10", "97", "0", "92", "2",  "72",  "0", "73",  "1",  "93",  "4",
          "10", "3",     "20", "3",  "10", "7", "20", "3",  "10",  "7", "20",  "7",  "10",  "3",
          "20", "7",     "97", "0",  "75", "0", "76", "1",  "98",  "0"}),
       84},
      // Hatch with an edge boundary: a line and a counter-clockwise half circle.
      {G({"0",   "HATCH", "10", "0",     "20", "0",   "30", "0",  "210", "0",  "220", "0",
          "230", "1",     "2",  "SOLID", "70", "1",   "71", "0",  "91",  "1",  "92",  "1",
          "93",  "2",     "72", "1",     "10", "-10", "20", "0",  "11",  "10", "21",  "0",
          "72",  "2",     "10", "0",     "20", "0",   "40", "10", "50",  "0",  "51",  "180",
          "73",  "1",     "97", "0",     "75", "0",   "76", "1",  "98",  "0"}),
       std::numbers::pi * 50},
      // The same half circle as a clockwise edge, which keeps the angles of
      // the arc it mirrors: it runs from -180 back to 0, below the line.
      {G({"0",   "HATCH", "10", "0",     "20", "0",  "30", "0",  "210", "0",   "220", "0",
          "230", "1",     "2",  "SOLID", "70", "1",  "71", "0",  "91",  "1",   "92",  "1",
          "93",  "2",     "72", "1",     "10", "10", "20", "0",  "11",  "-10", "21",  "0",
          "72",  "2",     "10", "0",     "20", "0",  "40", "10", "50",  "180", "51",  "360",
          "73",  "0",     "97", "0",     "75", "0",  "76", "1",  "98",  "0"}),
       std::numbers::pi * 50},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Entity);
    const auto loaded = Load(Doc(c.Entity));
    ASSERT_EQ(Names(loaded.Result), "[Layer 0 fill]");
    const TLevel &level = *loaded.Result.Levels[0];
    EXPECT_EQ(level.Kind(), lkArea);
    EXPECT_TRUE(level.Print());
    EXPECT_NEAR(PathsArea(AllInput(level)), c.Area * 1e4, c.Area * 1e4 * 0.002);
  }
}

// A block "B" holding one line from its base point (1, 0) to (3, 0).
std::string LineBlock() {
  return G({"0", "BLOCK", "8", "0", "2", "B", "70", "0", "10", "1", "20", "0", "30", "0"}) +
         Line("1", "0", "3", "0") + G({"0", "ENDBLK"});
}

TEST(DxfReader, InsertPlacesScalesRotatesAndRepeatsItsBlock) {
  // Scale 1.5, turned 90 degrees, 3 columns 5 mm apart and 2 rows 7 mm apart:
  // the array's spacing turns with the insert but is not scaled.
  const auto loaded =
      Load(Doc(G({"0",  "INSERT", "8",  "0",  "2",  "B", "10", "10", "20", "10", "41", "1.5",
                  "42", "1.5",    "50", "90", "70", "3", "71", "2",  "44", "5",  "45", "7"}),
               LineBlock()));
  ASSERT_EQ(loaded.Result.Levels.size(), 1u);
  std::set<std::pair<std::int64_t, std::int64_t>> starts;
  for (const auto &path : AllInput(*loaded.Result.Levels[0])) {
    ASSERT_EQ(path.size(), 2u);
    EXPECT_EQ(path[1].X, path[0].X);
    EXPECT_EQ(path[1].Y - path[0].Y, 300);
    starts.insert({path[0].X, path[0].Y});
  }
  const std::set<std::pair<std::int64_t, std::int64_t>> expected = {
      {700, 0}, {700, 500}, {700, 1000}, {0, 0}, {0, 500}, {0, 1000}};
  EXPECT_EQ(starts, expected);
}

TEST(DxfReader, BlockEntitiesOnLayerZeroAndByBlockTakeTheInsertsLayerAndColour) {
  const std::string block =
      G({"0", "BLOCK", "8", "0", "2", "A", "70", "0", "10", "0", "20", "0", "30", "0"}) +
      G({"0", "LINE", "8", "0", "62", "0", "10", "0", "20", "0", "11", "1", "21", "0"}) +
      G({"0", "LINE", "8", "Marks", "10", "0", "20", "1", "11", "1", "21", "1"}) +
      G({"0", "ENDBLK"});
  const std::string layers =
      G({"0", "LAYER", "2", "Cut", "70", "0", "62", "5", "6", "CONTINUOUS"}) +
      G({"0", "LAYER", "2", "Marks", "70", "0", "62", "3", "6", "CONTINUOUS"});
  const auto loaded = Load(Doc(
      G({"0", "INSERT", "8", "Cut", "62", "1", "2", "A", "10", "0", "20", "0"}), block, layers));
  ASSERT_EQ(Names(loaded.Result), "[Cut][Marks]");
  EXPECT_EQ(loaded.Result.Levels[0]->Color(), 0xFFFF0000u); // the insert's red
  EXPECT_EQ(loaded.Result.Levels[1]->Color(), 0xFF00FF00u); // its own layer's green
}

TEST(DxfReader, LevelsPerLayerAndColour) {
  const std::string layers =
      G({"0", "LAYER", "2", "Cut", "70", "0", "62", "1", "6", "CONTINUOUS"}) +
      G({"0", "LAYER", "2", "Hidden", "70", "0", "62", "-2", "6", "CONTINUOUS"}) +
      G({"0", "LAYER", "2", "Frozen", "70", "1", "62", "2", "6", "CONTINUOUS"});
  const std::string entities =
      Line("0", "0", "1", "0", "Cut") +
      G({"0", "LINE", "8", "Cut", "62", "5", "10", "0", "20", "1", "11", "1", "21", "1"}) +
      G({"0", "LINE", "8", "Cut", "62", "1", "420", "65280", "10", "0", "20", "2", "11", "1", "21",
         "2"}) +
      // A true colour beside the colour number "by layer" still wins.
      G({"0", "LINE", "8", "Cut", "420", "8405024", "10", "0", "20", "6", "11", "1", "21", "6"}) +
      Line("0", "3", "1", "3", "Hidden") + Line("0", "4", "1", "4", "Frozen") +
      Line("0", "5", "1", "5", "Frozen");
  const auto loaded = Load(Doc(entities, "", layers));
  ASSERT_EQ(Names(loaded.Result), "[Cut red][Cut blue][Cut #00FF00][Cut #804020]");
  EXPECT_EQ(loaded.Result.Levels[0]->Color(), 0xFFFF0000u);
  EXPECT_EQ(loaded.Result.Levels[1]->Color(), 0xFF0000FFu);
  EXPECT_EQ(loaded.Result.Levels[2]->Color(), 0xFF00FF00u);
  const std::string messages = AllMessages(loaded);
  EXPECT_NE(messages.find("layer \"Hidden\" is off; its 1 entity is left out"), std::string::npos)
      << messages;
  EXPECT_NE(messages.find("layer \"Frozen\" is frozen; its 2 entities are left out"),
            std::string::npos)
      << messages;
}

TEST(DxfReader, DimensionDrawsTheGeometryOfItsBlock) {
  const std::string block =
      G({"0", "BLOCK", "8", "0", "2", "*D1", "70", "1", "10", "0", "20", "0", "30", "0"}) +
      Line("0", "0", "10", "0") + Line("0", "0", "0", "2") + G({"0", "ENDBLK"});
  const auto loaded =
      Load(Doc(G({"0",  "DIMENSION", "8",  "Dims", "2",  "*D1", "10", "0", "20", "0",
                  "13", "0",         "23", "0",    "14", "10",  "24", "0", "70", "0"}),
               block));
  ASSERT_EQ(Names(loaded.Result), "[Dims]");
  // Both lines, joined where they meet: one path through three points.
  const TPaths input = AllInput(*loaded.Result.Levels[0]);
  ASSERT_EQ(input.size(), 1u);
  EXPECT_EQ(input[0].size(), 3u);
  EXPECT_EQ(loaded.Result.Size, (TIntSize{1000, 200}));
}

std::string Style(const char *name, const char *font) {
  return G({"0",  "STYLE", "2",  name, "70", "0",   "40", "0",  "41", "1",
            "50", "0",     "71", "0",  "42", "2.5", "3",  font, "4",  ""});
}

TEST(DxfReader, WhatIsNotDrawnIsTold) {
  // These tests run without the font machinery: text in an outline font
  // cannot be drawn, text in a CAD font can.
  const std::string entities =
      G({"0", "TEXT", "10", "0", "20", "0", "40", "2", "7", "Outline", "1", "Hello"}) +
      G({"0", "TEXT", "10", "0", "20", "5", "40", "2", "1", "World"}) +
      G({"0", "MTEXT", "10", "0", "20", "9", "40", "2", "7", "Outline", "1", "Note"}) +
      G({"0", "POINT", "10", "3", "20", "3"}) +
      G({"0", "LWPOLYLINE", "8", "P", "90", "2", "70", "0", "43", "0.5", "10", "0", "20", "0", "10",
         "9", "20", "0"});
  const auto loaded = Load(Doc(entities, "", "", "4", Style("OUTLINE", "DejaVuSans.ttf")));
  const std::string messages = AllMessages(loaded);
  EXPECT_NE(messages.find("DXF: 2 texts in outline fonts left out: no fonts can be drawn here"),
            std::string::npos)
      << messages;
  EXPECT_EQ(messages.find("TEXT is not supported"), std::string::npos);
  EXPECT_NE(messages.find(": POINT is not supported and is left out\n"), std::string::npos);
  // "World", in the default style's CAD font, is drawn.
  EXPECT_NE(Find(loaded.Result, "Layer 0"), nullptr) << Names(loaded.Result);
  EXPECT_NE(messages.find("1 polyline has a width; only the centre line is drawn"),
            std::string::npos);
  // The polyline itself is drawn.
  const TLevel *polyline = Find(loaded.Result, "P");
  ASSERT_NE(polyline, nullptr) << Names(loaded.Result);
  EXPECT_EQ(AllInput(*polyline).size(), 1u);
}

TEST(DxfReader, WhatBlocksNothingInsertsHoldIsNotTold) {
  // "Library" is never inserted: its point, wide polyline and mesh would not
  // be drawn however they were read. "Used" is inserted, from inside a block
  // the drawing inserts, and its point is told about where it is.
  const std::string blocks =
      G({"0", "BLOCK", "8", "0", "2", "Library", "70", "0", "10", "0", "20", "0"}) +
      G({"0", "POINT", "10", "3", "20", "3"}) +
      G({"0", "LWPOLYLINE", "90", "2", "70", "0", "43", "0.5", "10", "0", "20", "0", "10", "9",
         "20", "0"}) +
      G({"0", "POLYLINE", "66", "1", "70", "16", "71", "2", "72", "2"}) + G({"0", "SEQEND"}) +
      G({"0", "ENDBLK"}) +
      G({"0", "BLOCK", "8", "0", "2", "Used", "70", "0", "10", "0", "20", "0"}) +
      Line("0", "0", "5", "0") + G({"0", "POINT", "10", "1", "20", "1"}) + G({"0", "ENDBLK"}) +
      G({"0", "BLOCK", "8", "0", "2", "Outer", "70", "0", "10", "0", "20", "0"}) +
      G({"0", "INSERT", "2", "Used", "10", "0", "20", "0"}) + G({"0", "ENDBLK"});
  // A point of the paper space is in what is told of the layouts, not here.
  const std::string entities = G({"0", "INSERT", "2", "Outer", "10", "0", "20", "0"}) +
                               G({"0", "POINT", "67", "1", "10", "0", "20", "0"});
  const std::string text = Doc(entities, blocks);
  const auto loaded = Load(text);
  const std::string messages = AllMessages(loaded);
  const std::size_t used = text.find("POINT\n10\n1\n");
  ASSERT_NE(used, std::string::npos);
  const auto line = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(used), '\n');
  EXPECT_NE(messages.find("DXF line " + std::to_string(line) +
                          ": POINT is not supported and is left out\n"),
            std::string::npos)
      << messages;
  EXPECT_EQ(messages.find("in all"), std::string::npos) << messages;
  EXPECT_EQ(messages.find("width"), std::string::npos) << messages;
  EXPECT_EQ(messages.find("meshes"), std::string::npos) << messages;

  // Once the library is inserted, what it leaves out is told as before.
  const auto inserted =
      Load(Doc(entities + G({"0", "INSERT", "2", "Library", "10", "0", "20", "0"}), blocks));
  const std::string all = AllMessages(inserted);
  EXPECT_NE(all.find("POINT is not supported and is left out (2 in all)"), std::string::npos)
      << all;
  EXPECT_NE(all.find("1 polyline has a width"), std::string::npos) << all;
  EXPECT_NE(all.find("1 polygon meshes are not supported"), std::string::npos) << all;
}

// The box of the points of the lines levels of a layer.
ClipperLib::IntRect LayerBox(const TReadResult &result, const std::string &layer) {
  ClipperLib::IntRect box = EmptyBox;
  for (const auto &level : result.Levels)
    if (level->Kind() == lkLines && level->Name() == layer)
      box = UniteBoxes(box, PointsBox(AllInput(*level)));
  return box;
}

TEST(DxfReader, InsertAttributesAreShownUnlessInvisibleAndDefinitionsAreNot) {
  // The block holds a square and an attribute definition to its left; the
  // insert's attributes (placed where they show, in drawing coordinates) are
  // one visible value at (0, 20) and one invisible far to the right.
  const std::string block =
      G({"0", "BLOCK", "8", "0", "2", "TAG", "70", "2", "10", "0", "20", "0"}) +
      G({"0",  "LWPOLYLINE", "8",  "0", "90", "4",  "70", "1",  "10", "0", "20", "0",
         "10", "10",         "20", "0", "10", "10", "20", "10", "10", "0", "20", "10"}) +
      G({"0", "ATTDEF", "8", "T", "10", "-40", "20", "0", "40", "5", "1", "default", "3", "Number?",
         "2", "NUMBER", "70", "0"}) +
      G({"0", "ENDBLK"});
  const std::string entities =
      G({"0", "INSERT", "8", "0", "66", "1", "2", "TAG", "10", "0", "20", "0"}) +
      G({"0", "ATTRIB", "8", "T", "10", "0", "20", "20", "40", "5", "1", "A-12", "2", "NUMBER",
         "70", "0"}) +
      G({"0", "ATTRIB", "8", "T", "10", "100", "20", "20", "40", "5", "1", "hidden", "2", "NOTE",
         "70", "1"}) +
      G({"0", "SEQEND", "8", "0"});
  const auto loaded = Load(Doc(entities, block));
  const std::string messages = AllMessages(loaded);
  EXPECT_EQ(messages.find("not supported"), std::string::npos) << messages;
  // Nothing lies left of the square (the definition) or far right (the
  // invisible value).
  EXPECT_EQ(LayerBox(loaded.Result, "Layer 0").left, 0) << Names(loaded.Result);
  EXPECT_LT(loaded.Result.Size.cx, 2500);
  const ClipperLib::IntRect box = LayerBox(loaded.Result, "T");
  ASSERT_LE(box.left, box.right) << Names(loaded.Result);
  EXPECT_GE(box.left, 0);
  // "A-12" in capitals 5 mm tall standing on y = 20 mm, about four
  // letters wide.
  EXPECT_NEAR(static_cast<double>(box.top), 2000, 5);
  EXPECT_NEAR(static_cast<double>(box.bottom), 2500, 5);
  EXPECT_GT(box.right - box.left, 1000);
  EXPECT_LT(box.right - box.left, 2500);
}

TEST(DxfReader, CadFontsAreDrawnInSingleStrokes) {
  // "HI" in a CAD font: the H's three strokes and the I's one, open lines,
  // capitals the text's height tall; no area level for them.
  struct TCase {
    const char *Font;
  };
  const TCase cases[] = {{""}, {"txt"}, {"simplex.shx"}, {"romans.shx"}, {"C:\\Fonts\\ROMANS.SHX"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Font);
    const auto loaded = Load(
        Doc(G({"0", "TEXT", "8", "T", "10", "0", "20", "0", "40", "10", "7", "Cad", "1", "HI"}), "",
            "", "4", Style("CAD", c.Font)));
    const TLevel *text = Find(loaded.Result, "T");
    ASSERT_NE(text, nullptr) << Names(loaded.Result);
    const TPaths strokes = AllInput(*text);
    EXPECT_EQ(strokes.size(), 4u);
    for (const auto &stroke : strokes)
      EXPECT_EQ(stroke.size(), 2u);
    EXPECT_EQ(loaded.Result.Size.cy, 1000);
    EXPECT_EQ(Find(loaded.Result, "T areas"), nullptr) << Names(loaded.Result);
    EXPECT_NE(AllMessages(loaded).find("drawn in the built-in single-stroke font"),
              std::string::npos)
        << AllMessages(loaded);
  }
  // A stroke that comes back to its start (the O) is a line, not an area;
  // characters the font lacks take the place of a "?".
  const auto round = Load(Doc(
      G({"0", "TEXT", "8", "T", "10", "0", "20", "0", "40", "10", "1", "O\xC3\xA9"}), "", "", "4"));
  EXPECT_EQ(Find(round.Result, "T areas"), nullptr) << Names(round.Result);
  EXPECT_NE(AllMessages(round).find("drawn as \"?\""), std::string::npos) << AllMessages(round);
}

TEST(DxfReader, RefusesWhatItCannotRead) {
  const std::string binary = std::string("AutoCAD Binary DXF\r\n\x1a\0", 22) + "garbage";
  struct TCase {
    std::string Text;
    std::string Message;
  };
  const TCase cases[] = {
      {binary, "Binary DXF files cannot be read; save the drawing as ASCII DXF"},
      {"hello\nworld\n", "DXF line 1: a group code was expected, not \"hello\""},
      {G({"999", "a comment only"}), "The file does not seem to be a DXF drawing"},
      {Doc(G({"0", "LWPOLYLINE", "90", "2000000000", "10", "0", "20", "0"})),
       "DXF line 17: LWPOLYLINE declares 2000000000 items (group code 90); at most 1000000 are "
       "read"},
      {Doc(G({"0", "SPLINE", "71", "3", "72", "5000000", "73", "4"})),
       "DXF line 19: SPLINE declares 5000000 items (group code 72); at most 1000000 are read"},
      {Doc(G({"0", "INSERT", "2", "B", "10", "0", "20", "0", "70", "1000000", "71", "1000000"}),
           LineBlock()),
       "The drawing places more than 4000000 entities through its block inserts and arrays; it "
       "is too complex to read"},
      {Doc(Line("0", "0", "1e14", "0")),
       "A point of the drawing lies too far from the origin (1e+14, 0 mm)"},
      {Doc(Line("0", "0", "2e7", "0")), "The drawing is too large: 2e+07 x 0 mm"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Message);
    try {
      Load(c.Text);
      ADD_FAILURE() << "no error";
    } catch (const TReadError &error) {
      EXPECT_EQ(std::string(error.what()), c.Message);
    }
  }
}

TEST(DxfReader, FillTooLargeForAnyDrawingIsRefusedBeforeItsUnion) {
  // A fuzzer's find, cleaned: a hatch of four equal loops, each a half
  // circle of 25 km radius. Flattened, the loops hold some 40,000 points
  // each, and uniting loops that share every edge took seconds before the
  // drawing was refused for its size.
  std::string loops;
  for (int i = 0; i < 4; ++i)
    loops += G({"92", "2", "72", "1", "73", "1", "93", "2", "10", "0", "20", "0", "42", "1", "10",
                "50000000", "20", "0", "97", "0"});
  const std::string hatch =
      G({"0", "HATCH", "8", "0", "10", "0", "20", "0", "30", "0", "210", "0", "220", "0", "230",
         "1", "2", "SOLID", "70", "1", "71", "0", "91", "4"}) +
      loops + G({"75", "0", "76", "1", "98", "0"});
  const auto start = std::chrono::steady_clock::now();
  try {
    Load(Doc(hatch));
    ADD_FAILURE() << "no error";
  } catch (const TReadError &error) {
    EXPECT_EQ(std::string(error.what()).rfind("The drawing is too large: 5e+07 x 2.5e+07 mm", 0), 0u)
        << error.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1 * SanitizerSlowdown));
}

TEST(DxfReader, ContoursCrossingThemselvesTooOftenAreCutButNotFilled) {
  // 3,000 points at random in a 1 m square, once as a closed polyline
  // and once as a hatch boundary: each crosses itself about a million times,
  // which uniting into an area would sort for a minute.
  unsigned state = 5;
  std::string vertices;
  for (int i = 0; i < 3000; ++i) {
    for (const char *code : {"10", "20"}) {
      state = state * 1103515245u + 12345u;
      vertices += std::string(code) + "\n" + std::to_string(state >> 16 & 1023) + "\n";
    }
  }
  const struct {
    std::string Entity;
    const char *Names;
    const char *Told;
  } cases[] = {
      {G({"0", "LWPOLYLINE", "8", "P", "90", "3000", "70", "1"}) + vertices, "[P]",
       "too many to find the areas of layer \"P\"; its areas level is left out"},
      {G({"0", "HATCH", "8", "H", "10", "0", "20", "0", "30", "0", "210", "0", "220", "0", "230",
          "1", "2", "SOLID", "70", "1", "71", "0", "91", "1", "92", "2", "72", "0", "73", "1",
          "93", "3000"}) +
           vertices + G({"97", "0", "75", "0", "76", "1", "98", "0"}) + Line("0", "0", "5", "0", "H"),
       "[H]", "too many to fill it; a fill is left out"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Names);
    const auto start = std::chrono::steady_clock::now();
    const auto loaded = Load(Doc(c.Entity));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2 * SanitizerSlowdown));
    EXPECT_EQ(Names(loaded.Result), c.Names);
    const std::string messages = AllMessages(loaded);
    EXPECT_NE(messages.find("The drawing crosses itself about "), std::string::npos) << messages;
    EXPECT_NE(messages.find(c.Told), std::string::npos) << messages;
  }
}

TEST(DxfReader, BlockThatInsertsItselfIsDrawnOnce) {
  const std::string block =
      G({"0", "BLOCK", "8", "0", "2", "Loop", "70", "0", "10", "0", "20", "0", "30", "0"}) +
      Line("0", "0", "1", "0") +
      G({"0", "INSERT", "2", "Loop", "10", "0", "20", "1", "70", "1000", "71", "1000"}) +
      G({"0", "ENDBLK"});
  const auto loaded = Load(Doc(G({"0", "INSERT", "2", "Loop", "10", "0", "20", "0"}), block));
  ASSERT_EQ(loaded.Result.Levels.size(), 1u);
  EXPECT_EQ(AllInput(*loaded.Result.Levels[0]).size(), 1u);
  EXPECT_NE(AllMessages(loaded).find("block \"Loop\" inserts itself; the inner insert is left out"),
            std::string::npos)
      << AllMessages(loaded);
}

TEST(DxfReader, NestedBlocksAreDrawnToABoundedDepth) {
  // Block N0 inserts N1, which inserts N2, ... ; every block has a line of
  // its own, 1 mm above the one it inserts. Each insert moves by (0, 1).
  auto chain = [](int length) {
    std::string blocks;
    for (int i = 0; i < length; ++i) {
      const std::string name = "N" + std::to_string(i), next = "N" + std::to_string(i + 1);
      blocks += G({"0", "BLOCK", "8", "0", "2", name.c_str(), "70", "0", "10", "0", "20", "0",
                   "30", "0"}) +
                Line("0", "0", "1", "0");
      if (i + 1 < length)
        blocks += G({"0", "INSERT", "8", "0", "2", next.c_str(), "10", "0", "20", "1"});
      blocks += G({"0", "ENDBLK"});
    }
    return blocks;
  };
  const struct {
    int Length;
    std::size_t Lines;
    bool Told;
  } cases[] = {{5, 5, false}, {MaxDxfInsertDepth, MaxDxfInsertDepth, false},
               {MaxDxfInsertDepth + 8, MaxDxfInsertDepth, true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Length);
    const auto loaded = Load(Doc(G({"0", "INSERT", "8", "0", "2", "N0", "10", "0", "20", "0"}),
                                 chain(c.Length)));
    ASSERT_EQ(loaded.Result.Levels.size(), 1u);
    EXPECT_EQ(AllInput(*loaded.Result.Levels[0]).size(), c.Lines);
    EXPECT_EQ(loaded.Result.Size.cy, static_cast<std::int32_t>(c.Lines - 1) * 100);
    EXPECT_EQ(AllMessages(loaded).find("blocks nested deeper than " +
                                       std::to_string(MaxDxfInsertDepth) + " are left out") !=
                  std::string::npos,
              c.Told)
        << AllMessages(loaded);
  }
}

TEST(DxfReader, FileCutShortShowsWhatItHoldsAndSaysSo) {
  const std::string whole = Doc(Line("0", "0", "10", "0") + Line("0", "0", "0", "10"));
  // Cut inside the second line's numbers.
  const std::string cut = whole.substr(0, whole.find("11\n0\n21\n10"));
  const auto loaded = Load(cut);
  ASSERT_GE(loaded.Result.Levels.size(), 1u);
  EXPECT_EQ(loaded.Result.Size.cx, 1000);
  EXPECT_NE(AllMessages(loaded).find("the file ends before its EOF marker"), std::string::npos);
}

TEST(DxfColors, ColourNumbers) {
  EXPECT_EQ(AciColor(1), 0xFFFF0000u);
  EXPECT_EQ(AciColor(5), 0xFF0000FFu);
  EXPECT_EQ(AciColor(7), 0xFF000000u); // white on screen, black on paper
  EXPECT_EQ(AciColor(8), 0xFF808080u);
  EXPECT_EQ(AciColor(0), 0xFF000000u);
  EXPECT_EQ(AciColor(300), 0xFF000000u);
  EXPECT_EQ(DxfColorName(1, -1), "red");
  EXPECT_EQ(DxfColorName(42, -1), "colour 42");
  EXPECT_EQ(DxfColorName(1, 0x12AB34), "#12AB34");
}

} // namespace
