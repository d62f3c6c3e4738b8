#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <numbers>
#include <random>
#include <string>

#include <limits>

#include <gtest/gtest.h>

#include "../common/Slowdown.h"

#include "core/PathUtils.h"
#include "core/StrokeFont.h"
#include "hpgl/PlotterAreas.h"
#include "hpgl/PlotterReader.h"

namespace {

TReadResult Read(std::string_view text, double unitsPerMM = 100) {
  TReadOptions options;
  options.UnitsPerMM = unitsPerMM;
  return ReadPlotter(text, options);
}

TPaths AllInput(const TLevel &level) {
  TPaths all;
  for (const TPaths &set : *level.Input())
    all.insert(all.end(), set.begin(), set.end());
  return all;
}

bool Less(const TIntPoint &a, const TIntPoint &b) { return a.X != b.X ? a.X < b.X : a.Y < b.Y; }

bool Less(const TPath &a, const TPath &b) {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](const TIntPoint &p, const TIntPoint &q) { return Less(p, q); });
}

// Lines in a canonical form: the clipper may hand paths back reversed or in
// another order, and neither matters to a burn.
TPaths Canonical(TPaths paths) {
  for (TPath &path : paths) {
    TPath reversed(path.rbegin(), path.rend());
    if (Less(reversed, path))
      path = reversed;
  }
  std::sort(paths.begin(), paths.end(), [](const TPath &a, const TPath &b) { return Less(a, b); });
  return paths;
}

// Every segment as an ordered pair, sorted: the geometry of a set of lines
// whatever their grouping into paths.
std::vector<std::pair<TIntPoint, TIntPoint>> Segments(const TPaths &paths) {
  std::vector<std::pair<TIntPoint, TIntPoint>> segments;
  for (const TPath &path : paths)
    for (std::size_t i = 1; i < path.size(); ++i) {
      if (path[i - 1] == path[i])
        continue;
      auto segment = std::make_pair(path[i - 1], path[i]);
      if (Less(segment.second, segment.first))
        std::swap(segment.first, segment.second);
      segments.push_back(segment);
    }
  std::sort(segments.begin(), segments.end(), [](const auto &a, const auto &b) {
    return a.first != b.first ? Less(a.first, b.first) : Less(a.second, b.second);
  });
  return segments;
}

bool HasPoint(const TPaths &paths, TIntPoint p) {
  for (const TPath &path : paths)
    for (const TIntPoint &q : path)
      if (q == p)
        return true;
  return false;
}

std::vector<std::string> Names(const TReadResult &r) {
  std::vector<std::string> names;
  for (const auto &level : r.Levels)
    names.push_back(level->Name());
  return names;
}

double DistanceToLine(const TIntPoint &p, const std::pair<TIntPoint, TIntPoint> &s) {
  const double ax = static_cast<double>(s.first.X), ay = static_cast<double>(s.first.Y);
  const double dx = static_cast<double>(s.second.X) - ax, dy = static_cast<double>(s.second.Y) - ay;
  const double px = static_cast<double>(p.X) - ax, py = static_cast<double>(p.Y) - ay;
  const double t = (px * dx + py * dy) / (dx * dx + dy * dy);
  return std::hypot(px - t * dx, py - t * dy);
}

} // namespace

// ---------------------------------------------------------------------------
// Tokenizing

TEST(PlotterParse, CommandsAndParameters) {
  struct TCase {
    const char *Text;
    std::vector<TPlotterCommand> Expected;
  };
  const TCase cases[] = {
      {"PUPD10,20", {{"PU", {}}, {"PD", {10, 20}}}},
      // Commas, blanks (line breaks too) or both separate parameters; a
      // blank never makes an empty one.
      {"PA 10 20", {{"PA", {10, 20}}}},
      {"PA10 20;PD 1 , 2 ,3\t4\r\n5\n6 ;", {{"PA", {10, 20}}, {"PD", {1, 2, 3, 4, 5, 6}}}},
      {"PD 10, ,20 ,", {{"PD", {10, 0, 20, 0}}}},
      {"P U 1 PD", {{"PU", {1}}, {"PD", {}}}},
      // A sign that starts a number ends the one before it.
      {"PA10-20+30", {{"PA", {10, -20, 30}}}},
      {"PR-.5-.5,1.-2", {{"PR", {-0.5f, -0.5f, 1, -2}}}},
      // ";" ends a command: numbers after it belong to none.
      {"PD1,2;3,4PU", {{"PD", {1, 2}}, {"", {3, 4}}, {"PU", {}}}},
      {"SP1;;PU ; PD", {{"SP", {1}}, {"PU", {}}, {"PD", {}}}},
      // Printer escape sequences around and inside the plot are no commands.
      {"\x1B%-12345X\x1B%0BBPINPS5;\x1B%0A\x1B"
       "E\x1B&l1O\x1B*c100X",
       {{"BP", {}}, {"IN", {}}, {"PS", {5}}}},
      {"\x1B.(\x1B.I81;;17:\x1B.N;19:SP1\x1B.)", {{"SP", {1}}}},
      {"ABC", {{"AB", {}}, {"C", {}}}},
      {"PD10,20,", {{"PD", {10, 20, 0}}}},
      {"PD1E5", {{"PD", {1}}, {"E", {5}}}},
      {"pd.5,-.25;sp+3", {{"PD", {0.5f, -0.25f}}, {"SP", {3}}}},
      // Malformed or oversized pieces read as 0.
      {"PD1.2.3,--4,5-,7", {{"PD", {0, 0, 0, 7}}}},
      {"PD1000000000000000000000000000000000000000000,1", {{"PD", {0, 1}}}},
      {"PD,,", {{"PD", {0, 0, 0}}}},
      {"12PU", {{"", {12}}, {"PU", {}}}},
      // Label text ends at ETX and is the label's own, never commands;
      // quoted text is skipped.
      {"LBHELLO\x03PD1,2", {{"LB", {}, "HELLO"}, {"PD", {1, 2}}}},
      {"LBPD9,9", {{"LB", {}, "PD9,9"}}},
      {"BLSECRET\x03PU", {{"BL", {}, "SECRET"}, {"PU", {}}}},
      {"lbMixed Case, 1;2\x03", {{"LB", {}, "Mixed Case, 1;2"}}},
      // SM takes the next character as its symbol, a letter or ";" included.
      {"SM*;PA1,2;SMY;SM;PU",
       {{"SM", {}, "*"}, {"PA", {1, 2}}, {"SM", {}, "Y"}, {"SM", {}}, {"PU", {}}}},
      {"PD1,2;\"PU5,6\"PA", {{"PD", {1, 2}}, {"PA", {}}}},
      // Only in the plain state: a quote right after D, L or B is just
      // dropped, and the second quote then opens a quoted text.
      {"PD\"5,6\"1,2", {{"PD", {5, 6}}}},
      // DT sets the label terminator for the rest of the file; DT; restores ETX.
      {"DT#;LBA;B\x03#PD1,1;LBX#PD2,2",
       {{"DT", {}}, {"LB", {}, "A;B\x03"}, {"PD", {1, 1}}, {"LB", {}, "X"}, {"PD", {2, 2}}}},
      {"DT#;DT;LBX#PD1,1\x03PU", {{"DT", {}}, {"DT", {}}, {"LB", {}, "X#PD1,1"}, {"PU", {}}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(ParsePlotterCommands(c.Text), c.Expected);
  }
}

TEST(PlotterParse, DecodesByteOrderMarks) {
  EXPECT_EQ(DecodePlotterText("\xEF\xBB\xBFPD1"), "PD1");
  EXPECT_EQ(DecodePlotterText(std::string("\xFF\xFEP\0D\0"
                                          "1\0",
                                          8)),
            "PD1");
  EXPECT_EQ(DecodePlotterText(std::string("\xFE\xFF\0P\0D\x04\x10", 8)), "PD\x1A");
  EXPECT_EQ(DecodePlotterText("PD1"), "PD1");
  // The reader takes the file's bytes as they are.
  const TReadResult r = ReadPlotter(std::string("\xFF\xFEP\0D\0"
                                                "8\0"
                                                "0\0,\0"
                                                "0\0",
                                                14),
                                    {});
  EXPECT_EQ(r.Size, (TIntSize{200, 0}));
}

// ---------------------------------------------------------------------------
// Drawing

TEST(PlotterReader, OneLineOfPenOne) {
  const TReadResult r = Read("IN;SP1;PD100,0,100,100;");
  ASSERT_EQ(r.Levels.size(), 1u);
  const TLevel &level = *r.Levels[0];
  EXPECT_EQ(level.Name(), "Pen 1");
  EXPECT_EQ(level.Kind(), lkLines);
  EXPECT_EQ(level.Color(), 0xFF000000u);
  EXPECT_EQ(level.Height(), 9);
  const std::vector<TPaths> expected = {{{{0, 0}, {250, 0}, {250, 250}}}};
  EXPECT_EQ(*level.Input(), expected);
  EXPECT_EQ(r.Size, (TIntSize{250, 250}));
}

TEST(PlotterReader, UnitsFollowTheFocus) {
  // One plotter unit is 0.025 mm whatever the internal unit.
  const TReadResult r = Read("PD400,0,400,400;", 1000);
  EXPECT_EQ(r.Size, (TIntSize{10000, 10000}));
  ASSERT_EQ(r.Levels.size(), 1u);
  EXPECT_TRUE(HasPoint(AllInput(*r.Levels[0]), {10000, 10000}));
}

TEST(PlotterReader, PenMotion) {
  // Relative pen-up moves add up: the line starts at (1020, 20).
  TReadResult r = Read("PD1000,0;PR;PU10,10,10,10;PD100,0;");
  ASSERT_EQ(r.Levels.size(), 1u);
  EXPECT_EQ(Canonical(AllInput(*r.Levels[0])),
            (TPaths{{{0, 0}, {2500, 0}}, {{2550, 50}, {2800, 50}}}));

  // PA and PR draw while the pen is down and only move while it is up.
  r = Read("PD;PA100,0;PR0,100;PU;PR100,0;PD0,-100;");
  ASSERT_EQ(r.Levels.size(), 1u);
  EXPECT_EQ(Canonical(AllInput(*r.Levels[0])),
            (TPaths{{{0, 0}, {250, 0}, {250, 250}}, {{500, 0}, {500, 250}}}));

  // Blank-separated parameters: PA moves the lifted pen to (10, 20) first.
  r = Read("PR;PA 10 20;PD100,0;");
  EXPECT_EQ(Canonical(AllInput(*r.Levels[0])), (TPaths{{{0, 50}, {225, 0}}}));
  r = Read("PU 0 0;PD 0 100 100 100;");
  EXPECT_EQ(Canonical(AllInput(*r.Levels[0])), (TPaths{{{0, 0}, {0, 250}, {250, 250}}}));
}

TEST(PlotterReader, ShortPensMakeNoLevelButCountForTheSize) {
  // 40 plotter units are exactly one millimetre: not more than one.
  TReadResult r = Read("SP1;PD40,0;SP2;PU0,100;PD41,100;");
  EXPECT_EQ(Names(r), (std::vector<std::string>{"Pen 2"}));
  EXPECT_EQ(r.Size, (TIntSize{102, 250})); // 102.5 rounds to even

  // Nothing drawn at all: no levels and an empty drawing.
  r = Read("IN;SP1;PU100,100;LB\x03;");
  EXPECT_TRUE(r.Levels.empty());
  EXPECT_EQ(r.Size, (TIntSize{0, 0}));
  EXPECT_TRUE(Read("").Levels.empty());
}

TEST(PlotterReader, PolygonFilledAndEdged) {
  const TReadResult r = Read("SP2;PU0,0;PM0;PD1000,0,1000,1000,0,1000;PM2;FP;EP;");
  ASSERT_EQ(Names(r), (std::vector<std::string>{"Fill 2", "Pen 2"}));
  const TLevel &fill = *r.Levels[0];
  const TLevel &edge = *r.Levels[1];
  EXPECT_EQ(fill.Kind(), lkArea);
  EXPECT_EQ(fill.Color(), 0xFFFF0000u);
  EXPECT_EQ(fill.Height(), 8);
  EXPECT_DOUBLE_EQ(std::fabs(PathsArea(AllInput(fill))), 2500.0 * 2500.0);
  EXPECT_EQ(edge.Kind(), lkLines);
  EXPECT_EQ(edge.Color(), 0xFF8B0000u);
  // The outline includes the closing edge.
  EXPECT_EQ(PathsLength(AllInput(edge), false, 0), 4 * 2500);
}

TEST(PlotterReader, FillRule) {
  // Two nested squares drawn the same way round: even-odd leaves a ring,
  // non-zero fills the whole square.
  const std::string polygon = "PU0,0;PM0;PD1000,0,1000,1000,0,1000,0,0;PM1;PU250,250;PD750,250,750,"
                              "750,250,750,250,250;PM2;";
  const double outer = 2500.0 * 2500.0, inner = 1250.0 * 1250.0;
  TReadResult r = Read(polygon + "FP;");
  ASSERT_EQ(r.Levels.size(), 1u);
  EXPECT_DOUBLE_EQ(PathsArea(AllInput(*r.Levels[0])), outer - inner);
  r = Read(polygon + "FP1;");
  ASSERT_EQ(r.Levels.size(), 1u);
  EXPECT_DOUBLE_EQ(PathsArea(AllInput(*r.Levels[0])), outer);
}

TEST(PlotterReader, OverlappingFillsBurnOnce) {
  const TReadResult r = Read("PU0,0;RA100,100;PU50,50;RA150,150;PU0,0;RR-100,-100;");
  ASSERT_EQ(r.Levels.size(), 1u);
  const TLevel &fill = *r.Levels[0];
  EXPECT_EQ(fill.Name(), "Fill 0");
  EXPECT_EQ(fill.Height(), 10);
  const std::vector<TPaths> &sets = *fill.Input();
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_DOUBLE_EQ(PathsArea(sets[0]), 250.0 * 250);
  EXPECT_DOUBLE_EQ(PathsArea(sets[1]), 250.0 * 250 - 125.0 * 125);
  EXPECT_DOUBLE_EQ(PathsArea(sets[2]), 250.0 * 250);
  // The drawing starts at (-100, -100): everything is shifted by it.
  EXPECT_EQ(r.Size, (TIntSize{625, 625}));
}

TEST(PlotterReader, PenColourIsClamped) {
  const TReadResult r = Read("PC3,300,-5,128;SP3;PD1000,0;RA0,1000;PC;PC4,1,2;");
  ASSERT_EQ(Names(r), (std::vector<std::string>{"Pen 3", "Fill 3"}));
  for (const auto &level : r.Levels)
    EXPECT_EQ(level->Color(), 0xFFFF0080u);
}

TEST(PlotterReader, DefaultColoursAndHeights) {
  std::string text;
  for (int pen = 0; pen <= 10; ++pen)
    text += "SP" + std::to_string(pen) + ";PU0," + std::to_string(pen * 100) + ";PD1000," +
            std::to_string(pen * 100) + ";";
  const TReadResult r = Read(text);
  const std::uint32_t colors[11] = {0xFF2F4F4F, 0xFF000000, 0xFF8B0000, 0xFF008000,
                                    0xFFA52A2A, 0xFF00008B, 0xFF8B008B, 0xFF008B8B,
                                    0xFF000000, 0xFF000000, 0xFF000000};
  ASSERT_EQ(r.Levels.size(), 11u);
  for (int pen = 0; pen <= 10; ++pen) {
    SCOPED_TRACE(pen);
    EXPECT_EQ(r.Levels[pen]->Name(), "Pen " + std::to_string(pen));
    EXPECT_EQ(r.Levels[pen]->Color(), colors[pen]);
    EXPECT_EQ(r.Levels[pen]->Height(), std::abs(9 - pen) + 1);
  }
}

TEST(PlotterReader, LabelTextAndQuotesAreNoCommands) {
  // The label's text is drawn, never run: nothing reaches (4000, 4000), nor
  // the quoted (0, 4000). The labels are a few characters of 0.27 cm.
  const TReadResult r = Read("DT#;LBPD4000,4000#PD1000,0;\"PD0,4000\"LBX#;");
  ASSERT_EQ(r.Levels.size(), 1u);
  EXPECT_EQ(r.Levels[0]->Name(), "Pen 0");
  EXPECT_GT(r.Size.cx, 2500);
  EXPECT_LT(r.Size.cx, 4000);
  EXPECT_GT(r.Size.cy, 0);
  EXPECT_LT(r.Size.cy, 300);
}

TEST(PlotterReader, RectangleInPolygonModeDiscardsThePolygon) {
  // The triangle under construction is dropped; the rectangle is built from
  // the pen position at PM0 (0, 0) and the buffer's last point (1000, 1000).
  const TReadResult r = Read("PM0;PD1000,0,1000,1000;EA500,500;PD2000,2000;");
  ASSERT_EQ(r.Levels.size(), 1u);
  const TPaths paths = AllInput(*r.Levels[0]);
  EXPECT_FALSE(HasPoint(paths, {2500, 0}));
  EXPECT_EQ(Canonical(paths), Canonical({{{0, 0}, {1250, 2500}, {1250, 1250}, {2500, 1250}, {0, 0}},
                                         {{0, 0}, {5000, 5000}}}));
}

TEST(PlotterReader, CirclesArcsAndWedges) {
  // A circle returns the pen to its centre.
  TReadResult r = Read("PU1000,1000;CI100;PD1100,1000;");
  ASSERT_EQ(r.Levels.size(), 1u);
  TPaths paths = AllInput(*r.Levels[0]);
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_NEAR(static_cast<double>(PathLength(paths[0], false)), 2 * std::numbers::pi * 250, 5);
  EXPECT_EQ(Canonical({paths[1]}), (TPaths{{{250, 250}, {500, 250}}}));

  // A pen-up arc only moves to its end.
  r = Read("PU100,0;AA0,0,90;PD0,0;");
  ASSERT_EQ(r.Levels.size(), 1u);
  EXPECT_EQ(Canonical(AllInput(*r.Levels[0])), (TPaths{{{0, 0}, {0, 250}}}));

  // A pen-down quarter arc, relative centre.
  r = Read("PU100,0;PD;AR-100,0,90;");
  paths = Canonical(AllInput(*r.Levels[0]));
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(paths[0].front(), (TIntPoint{0, 250}));
  EXPECT_EQ(paths[0].back(), (TIntPoint{250, 0}));

  // A full filled wedge is a disc; an outlined quarter wedge starts at its centre.
  r = Read("PU500,500;WG100,0,360;EW100,0,90;");
  ASSERT_EQ(Names(r), (std::vector<std::string>{"Fill 0", "Pen 0"}));
  // Within the rounding of the outline to whole plotter units.
  EXPECT_NEAR(PathsArea(AllInput(*r.Levels[0])), std::numbers::pi * 250 * 250, 1000);
  paths = AllInput(*r.Levels[1]);
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(paths[0].front(), (TIntPoint{250, 250}));
  EXPECT_EQ(paths[0].back(), (TIntPoint{250, 250}));
  EXPECT_TRUE(paths[0][1] == (TIntPoint{500, 250}) ||
              paths[0][paths[0].size() - 2] == (TIntPoint{500, 250}));
}

TEST(PlotterReader, BeziersAndThreePointArcs) {
  // The curve ends at its end point; a pen-up group only moves.
  TReadResult r = Read("PD;BZ0,100,100,100,100,0;PU;BR0,0,0,0,100,0;PD;BR0,100,100,100,100,0,1,2;");
  TPaths paths = Canonical(AllInput(*r.Levels[0]));
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[0].front(), (TIntPoint{0, 0}));
  EXPECT_EQ(paths[0].back(), (TIntPoint{250, 0}));
  EXPECT_EQ(paths[1].front(), (TIntPoint{500, 0}));
  EXPECT_EQ(paths[1].back(), (TIntPoint{750, 0}));
  EXPECT_GT(paths[0].size(), 10u);

  // Up to (100, 0) over the control point (50, 50), then on to (200, 0) over
  // (150, -50); the lowest point sets the drawing's origin.
  r = Read("PD;AT50,50,100,0;RT50,-50,100,0;");
  paths = Canonical(AllInput(*r.Levels[0]));
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(paths[0].front().X, 0);
  EXPECT_EQ(paths[0].back().X, 500);
  EXPECT_EQ(paths[0].front().Y, paths[0].back().Y);
  EXPECT_EQ(r.Size.cx, 500);
}

TEST(PlotterReader, ScalingAndWindow) {
  struct TCase {
    const char *Text;
    TIntSize Size;
  };
  const TCase cases[] = {
      // 100 user units span P1..P2, 12200 plotter units.
      {"SC0,100,0,100;PD100,100;", {30500, 30500}},
      // Point factor 2: one user unit is two plotter units.
      {"SC0,2,0,2,2;PD100,50;", {500, 250}},
      {"IP0,0,1000,1000;SC0,10,0,10;PD10,10;", {2500, 2500}},
      {"IR0,0,50,50;SC0,1,0,1;PD1,1;", {15250, 15250}},
      // IP with two parameters moves P1 and keeps the P1..P2 span.
      {"IP1000,1000;SC0,1,0,1;PD1,1;", {30500, 30500}},
      // A zero range cannot map: that SC is ignored and the scaling in force stays.
      {"SC0,0,0,100;PD100,100;", {250, 250}},
      {"SC0,100,0,100;SC5,5,0,10;PD100,100;", {30500, 30500}},
      {"SC0,0,0,0,2;PD100,100;", {250, 250}},
      {"SC0,100,0,100;SC;PD100,100;", {250, 250}},
      // The window clips; with user scaling on, its corners are user units.
      {"IW0,0,500,500;PD1000,1000;", {1250, 1250}},
      {"SC0,122,0,122;IW0,0,5,5;PD100,100;", {1250, 1250}},
      {"IW0,0,500,500;IW;PD1000,1000;", {2500, 2500}},
      // IN and DF take scaling off without flushing: the pending line is
      // converted with the settings in force at its later flush.
      {"SC0,100,0,100;PD1,1;DF;SP1;", {2, 2}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(Read(c.Text).Size, c.Size);
  }
}

// ---------------------------------------------------------------------------
// Bad input: never a crash, hang or memory exhaustion

TEST(PlotterReaderBadInput, HugeAndDegenerateValues) {
  const std::string big(60, '9');
  const std::string cases[] = {
      "PD" + big + "," + big + ";",
      "PU0,0;CI1" + std::string(30, '0') + ";",
      "PU1" + std::string(30, '0') + ",0;CI1" + std::string(30, '0') + ";PD0,0;",
      "PU100,0;PD;AA0,0,1000000000;AR0,0,-1000000000;",
      "PR;PD" + std::string(20, '9') + ",1;" + "PD" + std::string(20, '9') + ",1;",
      "SC0,1,0,1;PD1000000000,1000000000;",
      "SC0,0.000001,0,0.000001,2;PD1000000,-1000000;",
      "IP0,0,0,0;SC0,10,0,10;PD10,10;",
      "IW500,500,0,0;PD1000,1000;IW0,0,0,0;PD0,0;",
      "PU0,0;WG100000000000,0,720;EW-5,1000000000,1000000000;",
      "PM0;PM0;PM1;PM1;PM2;PM2;PM5;EP;FP;FP1;",
      "BZ1,2,3;BR;AT1,2,3;RT;CI;AA1,2;EA1;WG1,2;PC1,2,3;",
      "SP" + big + ";PD100,100;SP-" + big + ";PD0,0;",
  };
  for (const auto &text : cases) {
    SCOPED_TRACE(text);
    try {
      const TReadResult r = Read(text);
      EXPECT_GE(r.Size.cx, 0);
      EXPECT_GE(r.Size.cy, 0);
    } catch (const TReadError &) {
      // A clear refusal is fine; anything else escapes and fails the test.
    }
  }
}

TEST(PlotterReaderBadInput, ClearErrors) {
  // Points across the whole plotter range do not fit the drawing size.
  try {
    Read("PU-500000000,0;PD500000000,0;");
    ADD_FAILURE() << "no error";
  } catch (const TReadError &e) {
    EXPECT_STREQ(e.what(), "HP-GL line 1: PD makes the drawing too large");
  }
  // Thousands of large circles in one polygon: refused, not flattened to
  // tens of millions of points.
  std::string circles = "PM0;";
  for (int i = 0; i < 2000; ++i)
    circles += "CI100000;";
  try {
    Read(circles);
    ADD_FAILURE() << "no error";
  } catch (const TReadError &e) {
    EXPECT_STREQ(e.what(), "HP-GL line 1: CI makes the drawing too complex");
  }
  // The same large polygon edged and filled over and over: refused, not
  // worked through for hours (or copied until memory runs out).
  std::string polygon = "PM0;PD";
  for (int i = 0; i < 5000; ++i) {
    const double a = i * 2 * std::numbers::pi / 5000;
    polygon += std::to_string(std::lround(10000 * std::cos(a))) + "," +
               std::to_string(std::lround(10000 * std::sin(a))) + ",";
  }
  polygon += ";PM2;";
  struct TRepeat {
    const char *Text;
    const char *Message;
  };
  for (const TRepeat &repeat :
       {TRepeat{"EP;", "HP-GL line 1: EP makes the drawing too complex"},
        TRepeat{"FP1;", "HP-GL line 1: FP makes the drawing too complex"},
        TRepeat{"IW0,0,1,1;EP;", "HP-GL line 1: EP makes the drawing too complex"}}) {
    SCOPED_TRACE(repeat.Text);
    std::string text = polygon;
    for (int i = 0; i < 5000; ++i)
      text += repeat.Text;
    try {
      Read(text);
      ADD_FAILURE() << "no error";
    } catch (const TReadError &e) {
      EXPECT_STREQ(e.what(), repeat.Message);
    }
  }
  EXPECT_THROW(LoadPlotterFile("/nonexistent/plot.plt", {}), TReadError);
}

TEST(PlotterReaderBadInput, RefusalsNameTheCommandAndItsLine) {
  struct TCase {
    std::string Text;
    const char *Message;
  };
  std::string circles = "IN;\r\nPM0;\r\n";
  for (int i = 0; i < 2000; ++i)
    circles += "CI100000;\r\n";
  const TCase cases[] = {
      // Line breaks of any kind count; label text spans lines too.
      {"IN;\nLBTWO\rLINES\x03\rSP1;\r\nPU-500000000,0;\nPD500000000,0;\nSP2;",
       "HP-GL line 7: SP makes the drawing too large"},
      {"IN;\nPU-500000000,0;\nPD500000000,0;\n", "HP-GL line 3: PD makes the drawing too large"},
      // The polygon is flattened at the end: the last command that drew is named.
      {circles + "LT;\r\n", "HP-GL line 2002: CI makes the drawing too complex"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Text.substr(0, 60));
    try {
      Read(c.Text);
      ADD_FAILURE() << "no error";
    } catch (const TReadError &e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
  }
}

TEST(PlotterReader, APlotThatDrawsNothingSaysWhy) {
  struct TCase {
    std::string Text;
    const char *Message;
  };
  std::string junk;
  for (char c = 'A'; c <= 'Z'; ++c)
    junk += std::string("Q") + c + "1;";
  const TCase cases[] = {
      {"", "The plot draws nothing"},
      {"IN;SP1;PU100,100;", "The plot draws nothing"},
      // Distinct mnemonics in order of first appearance; labels of blanks
      // and line breaks and the commands shaping labels draw nothing, but
      // are no unsupported commands.
      {"IN;SP1;LB \r\n\x03;RP1;SI.3,.5;VS5;LB\x03"
       "DT#;PU;RP;LO4;QX;",
       "The plot draws nothing: only unsupported commands RP, VS, QX"},
      {junk, "The plot draws nothing: only unsupported commands QA, QB, QC, QD, QE, QF, QG, QH, "
             "QI, QJ, QK, QL, ..."},
      {"SP1;PD40,0;TD1;", "The plot draws nothing: no pen draws more than 1 mm; unsupported "
                          "commands TD"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Text.substr(0, 60));
    // The report says why, shown after loading; no message box stops work.
    std::vector<std::string> messages;
    TReadOptions options;
    options.ShowMessage = [&](const std::string &text) { messages.push_back(text); };
    const TReadResult r = ReadPlotter(c.Text, options);
    EXPECT_TRUE(r.Levels.empty());
    EXPECT_EQ(r.Report, std::vector<std::string>{c.Message});
    EXPECT_TRUE(messages.empty());
  }
  // A plot that draws reports only the commands it skipped.
  TReadOptions options;
  const TReadResult clean = ReadPlotter("LBX\x03PD1000,0;LT;", options);
  EXPECT_EQ(clean.Levels.size(), 1u);
  EXPECT_TRUE(clean.Report.empty());
  const TReadResult skipped = ReadPlotter("SP1;QX;PD1000,0;RP;QX;", options);
  EXPECT_EQ(skipped.Levels.size(), 1u);
  EXPECT_EQ(skipped.Report, std::vector<std::string>{"unsupported commands QX, RP ignored"});
}

TEST(PlotterReaderBadInput, FillsTheClipperWouldTakeHoursOver) {
  // A comb of many teeth and a scribble of random strokes: the clipper's
  // sweep grows with the square of the edges it keeps active.
  auto comb = [](int teeth) {
    std::string text = "PM0;PD";
    for (int i = 0; i < teeth; ++i)
      text += std::to_string(i) + "," + std::to_string(i % 2 * 1000) + ",";
    return text + "0,0;PM2;FP;";
  };
  std::mt19937 random(3);
  std::string scribble = "PM0;PD";
  for (int i = 0; i < 3000; ++i)
    scribble += std::to_string(random() % 10000) + "," + std::to_string(random() % 10000) + ",";
  scribble += "0,0;PM2;FP;";
  for (const std::string &text : {comb(20000), scribble}) {
    try {
      Read(text);
      ADD_FAILURE() << "no error";
    } catch (const TReadError &e) {
      EXPECT_STREQ(e.what(), "HP-GL line 1: FP makes the drawing too complex");
    }
  }
  // A smaller comb is filled as drawn.
  const TReadResult r = Read(comb(2000));
  ASSERT_EQ(r.Levels.size(), 1u);
  EXPECT_EQ(r.Levels[0]->Kind(), lkArea);
  // Far more vertices on a plain outline are no trouble.
  std::string circle = "PM0;PD";
  for (int i = 0; i < 100000; ++i) {
    const double a = i * 2 * std::numbers::pi / 100000;
    circle += std::to_string(std::lround(50000 * std::cos(a))) + "," +
              std::to_string(std::lround(50000 * std::sin(a))) + ",";
  }
  circle += ";PM2;FP;";
  EXPECT_EQ(Read(circle).Levels.size(), 1u);
}

TEST(PlotterReaderBadInput, SameLargeFillTwice) {
  // Two identical discs of 16000 points: the clipper spent seconds joining
  // their shared edges only to find nothing left of the second.
  const TReadResult r = Read("WG10000000,36,360;WG10000000,36,360;");
  ASSERT_EQ(r.Levels.size(), 1u);
  const std::vector<TPaths> &sets = *r.Levels[0]->Input();
  ASSERT_EQ(sets.size(), 2u);
  // Four cubic pieces lie a little outside the true circle.
  EXPECT_NEAR(PathsArea(sets[0]) / (std::numbers::pi * 25e6 * 25e6), 1, 1e-3);
  EXPECT_TRUE(sets[1].empty());
}

TEST(PlotterReaderBadInput, NearlyTheSameLargeFillTwice) {
  // Found by fuzzing: a disc of 250 m radius (15000 points) filled even-odd,
  // then non-zero, which differ along a few edges only. Subtracting one from
  // the other split the result along some 15000 shared edges, 2.5 s in the
  // clipper and half a minute under the sanitizers.
  using namespace std::literals;
  const std::string_view fuzzed = "SP2;PU0,0\x3f"
                                  "PM0;PD100],0,OF\x00"
                                  "\x00"
                                  "6;IR1AA5,0&10000000,0999,000\xb8"
                                  "PM1;"
                                  "PUPD75\x00\x00\x00\x00\x00\x00\x00\x00\x00"
                                  "0,\xc4\xca"
                                  "0,750,,750,740;PM2;"
                                  "FP;E\xd0;E\xd0;FP1;"sv;
  const std::clock_t started = std::clock();
  try {
    Read(fuzzed);
    ADD_FAILURE() << "no error";
  } catch (const TReadError &e) {
    EXPECT_STREQ(e.what(), "HP-GL line 1: FP makes the drawing too complex");
  }
  EXPECT_LT(static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC, 1.0);
  // Fills that share a few edges, side by side or one over the other, are
  // still stored minus each other.
  const TReadResult r = Read("PU0,0;RA100,100;RA200,100;PU0,0;RA100,50;");
  ASSERT_EQ(r.Levels.size(), 1u);
  const std::vector<TPaths> &sets = *r.Levels[0]->Input();
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_DOUBLE_EQ(PathsArea(sets[1]), 100 * 100 * 6.25);
  EXPECT_TRUE(sets[2].empty());
}

TEST(PlotterReaderBadInput, ManyCommandsStayFast) {
  // A million tiny segments, ten thousand pens and ten thousand fills of one
  // pen side by side: each must finish in about linear time.
  std::string segments = "PD";
  for (int i = 0; i < 1000000; ++i)
    segments += std::to_string(i % 2) + "," + std::to_string(i / 2 % 1000) + ",";
  segments += "0;";
  std::string pens, fills = "PR;";
  for (int i = 0; i < 10000; ++i) {
    pens += "SP" + std::to_string(i) + ";PD1,0;";
    fills += "RR4,4;PU2,0;";
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Read(segments).Levels.size(), 1u);
  EXPECT_EQ(Read(pens).Levels.size(), 0u);
  const TReadResult r = Read(fills);
  ASSERT_EQ(r.Levels.size(), 1u);
  // Squares of 4 shifted by 2: each later one adds a 2 × 4 strip.
  EXPECT_DOUBLE_EQ(PathsArea(AllInput(*r.Levels[0])), (16 + 9999 * 8) * 6.25);
  // Generous: a quadratic method takes minutes here.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

TEST(PlotterReaderBadInput, BinaryJunk) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string text(2000, '\0');
    for (char &c : text) {
      // Mostly command characters, so the junk reaches the interpreter.
      const char alphabet[] = "PDUAMRCIWGSEBZ0123456789,.-;\"\x03";
      c = random() % 3 == 0 ? static_cast<char>(random())
                            : alphabet[random() % (sizeof(alphabet) - 1)];
    }
    try {
      Read(text);
    } catch (const TReadError &) {
    }
  }
}

// ---------------------------------------------------------------------------
// Clipping lines segment by segment against clipping whole paths

TEST(LinesWindow, MatchesClippingWholePaths) {
  std::mt19937 random(5);
  const TPath window = {{-300, -200}, {-300, 400}, {500, 400}, {500, -200}};
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    TPaths paths(1 + random() % 3);
    for (TPath &path : paths) {
      const int n = 2 + static_cast<int>(random() % 12);
      for (int i = 0; i < n; ++i) // now and then a repeated point
        path.push_back(i > 0 && random() % 8 == 0
                           ? path.back()
                           : TIntPoint(static_cast<int>(random() % 1400) - 700,
                                       static_cast<int>(random() % 1400) - 700));
    }
    const auto fast = Segments(ClipLinesToWindow(paths, window));
    const auto plain = Segments(ClipOpenPaths(paths, {window}, ClipperLib::ctIntersection));
    // The same pieces on the same lines; where a segment crosses the window's
    // edge the clipper may round the crossing differently (along a steep
    // segment by several units).
    ASSERT_EQ(fast.size(), plain.size());
    for (std::size_t i = 0; i < fast.size(); ++i) {
      EXPECT_LE(DistanceToLine(fast[i].first, plain[i]), 1.5);
      EXPECT_LE(DistanceToLine(fast[i].second, plain[i]), 1.5);
    }
  }
  // Inside the window nothing changes, not even the direction.
  const TPaths inside = {{{0, 0}, {100, 0}, {100, 0}, {50, 50}}};
  EXPECT_EQ(ClipLinesToWindow(inside, window), (TPaths{{{0, 0}, {100, 0}, {50, 50}}}));
}

// ---------------------------------------------------------------------------
// The indexed subtraction of filled areas against the plain one

TEST(FilledAreas, MatchesSubtractingEverything) {
  std::mt19937 random(11);
  TFilledAreas filled;
  std::vector<TPaths> stored;
  for (int i = 0; i < 300; ++i) {
    SCOPED_TRACE(i);
    const ClipperLib::cInt x = random() % 2000, y = random() % 2000;
    const ClipperLib::cInt w = 1 + random() % 300, h = 1 + random() % 300;
    TPaths area = {{{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}};
    if (i % 3 == 0) // a hole now and then
      area.push_back({{x + w / 4, y + h / 4},
                      {x + w / 4, y + h / 2},
                      {x + w / 2, y + h / 2},
                      {x + w / 2, y + h / 4}});
    const TPaths fast = filled.Add(area);
    const TPaths plain = SubtractAllFilledReference(area, stored);
    EXPECT_DOUBLE_EQ(PathsArea(fast), PathsArea(plain));
    EXPECT_DOUBLE_EQ(PathsArea(BooleanPaths(fast, plain, ClipperLib::ctXor)), 0);
    stored.push_back(plain);
    if (i % 7 == 0) { // now and then the same fill again: nothing left of it
      EXPECT_TRUE(filled.Add(area).empty());
      EXPECT_TRUE(SubtractAllFilledReference(area, stored).empty());
    }
  }
}

// ---------------------------------------------------------------------------
// Labels

namespace {

// The lines of one pen, in plotter units: a reference stroke of pen 9 at
// (-1000, -1000) fixes the drawing's origin there.
std::vector<std::pair<TIntPoint, TIntPoint>> PenSegments(const std::string &plot, int pen) {
  const TReadResult r = Read("SP9;PU-1000,-1000;PD-950,-1000;" + plot, 40);
  std::vector<std::pair<TIntPoint, TIntPoint>> segments;
  for (const auto &level : r.Levels)
    if (level->Name() == "Pen " + std::to_string(pen)) {
      for (auto segment : Segments(AllInput(*level))) {
        segment.first = {segment.first.X - 1000, segment.first.Y - 1000};
        segment.second = {segment.second.X - 1000, segment.second.Y - 1000};
        segments.push_back(segment);
      }
    }
  return segments;
}

struct TBox {
  ClipperLib::cInt Left, Bottom, Right, Top;
  friend bool operator==(const TBox &, const TBox &) = default;
};

TBox BoxOf(const std::vector<std::pair<TIntPoint, TIntPoint>> &segments) {
  TBox box{
      std::numeric_limits<ClipperLib::cInt>::max(), std::numeric_limits<ClipperLib::cInt>::max(),
      std::numeric_limits<ClipperLib::cInt>::min(), std::numeric_limits<ClipperLib::cInt>::min()};
  for (const auto &[a, b] : segments)
    for (const TIntPoint &p : {a, b}) {
      box.Left = std::min(box.Left, p.X);
      box.Bottom = std::min(box.Bottom, p.Y);
      box.Right = std::max(box.Right, p.X);
      box.Top = std::max(box.Top, p.Y);
    }
  return box;
}

using TSegment = std::pair<TIntPoint, TIntPoint>;

// Segments in the order and direction Segments() gives them.
std::vector<TSegment> Sorted(const std::vector<TSegment> &segments) {
  TPaths paths;
  for (const auto &[a, b] : segments)
    paths.push_back({a, b});
  return Segments(paths);
}

} // namespace

TEST(PlotterLabels, CharacterCellsSizeAndDirection) {
  // SI 0.5 cm by 1 cm: characters 200 plotter units wide and 400 high, in
  // cells of 300. The L's stem stands 25 units into its cell (the font's
  // capital body is 16 of its 21 units of height), its foot is 150 long.
  EXPECT_EQ(PenSegments("SP2;PU1000,1000;SI0.5,1;LBL\x03", 2),
            (std::vector<TSegment>{{{1025, 1000}, {1025, 1400}}, {{1025, 1000}, {1175, 1000}}}));
  // Turned to run upwards: the second L is one cell further up, the stems
  // lean out to the left.
  EXPECT_EQ(PenSegments("SP2;PU1000,1000;SI0.5,1;DI0,1;LBLL\x03", 2),
            (std::vector<TSegment>{{{600, 1025}, {1000, 1025}},
                                   {{600, 1325}, {1000, 1325}},
                                   {{1000, 1025}, {1000, 1175}},
                                   {{1000, 1325}, {1000, 1475}}}));
  // Relative size and direction follow P1..P2: 2 % of 10000 by 2 % of 20000
  // is the same cell as above, and a relative run of 1 by 0.5 is 45 degrees.
  EXPECT_EQ(PenSegments("IP0,0,10000,20000;SP2;PU1000,1000;SR2,2;LBL\x03", 2),
            PenSegments("SP2;PU1000,1000;SI0.5,1;LBL\x03", 2));
  EXPECT_EQ(PenSegments("IP0,0,10000,20000;SP2;PU1000,1000;SR2,2;DR1,.5;LBLL\x03", 2),
            PenSegments("IP0,0,10000,20000;SP2;PU1000,1000;SI0.5,1;DI1,1;LBLL\x03", 2));
  // Labels are laid out in plotter units whatever the user scaling.
  const auto scaled = PenSegments("SC0,122,0,122;SP2;PU10,10;SI0.5,1;LBL\x03", 2);
  EXPECT_EQ(BoxOf(scaled), (TBox{1025, 1000, 1175, 1400}));
}

TEST(PlotterLabels, SlantSpacingStackingAndBuffers) {
  struct TCase {
    const char *Plot;
    TBox Box;
  };
  const TCase cases[] = {
      {"SI0.5,1;LBL\x03", {1025, 1000, 1175, 1400}},
      // The stem's top leans forward by the slant times the height.
      {"SI0.5,1;SL1;LBL\x03", {1025, 1000, 1425, 1400}},
      // Extra space widens the cell by that share: the second L starts 600 on.
      {"SI0.5,1;ES1;LBLL\x03", {1025, 1000, 1775, 1400}},
      {"SI0.5,1;LBLL\x03", {1025, 1000, 1475, 1400}},
      // Carriage return and line feed: the second L stands a line (800) below.
      {"SI0.5,1;LBL\r\nL\x03", {1025, 200, 1175, 1400}},
      // A line feed alone keeps the column; a backspace steps back a cell.
      {"SI0.5,1;LBL\nL\x03", {1025, 200, 1475, 1400}},
      {"SI0.5,1;LBL\bL\x03", {1025, 1000, 1175, 1400}},
      // Stacked text runs down the page a line at a time.
      {"SI0.5,1;DV1;LBLL\x03", {1025, 200, 1175, 1400}},
      // CP moves by cells and lines (upwards), then the label goes on there.
      {"SI0.5,1;CP2,1;LBL\x03", {1625, 1800, 1775, 2200}},
      // A buffered label is drawn where the pen stands when PB comes.
      {"SI0.5,1;PU0,0;BLL\x03PU1000,1000;PB;", {1025, 1000, 1175, 1400}},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Plot);
    EXPECT_EQ(BoxOf(PenSegments(std::string("SP2;PU1000,1000;") + c.Plot, 2)), c.Box);
  }
}

TEST(PlotterLabels, OriginPlacesTheLabelAndThePen) {
  // One L of 200 by 400 at (1000, 1000); pen 3 then draws from where the
  // label left the pen to (0, 0).
  struct TCase {
    int Origin;
    TBox Box;
    TIntPoint Pen;
  };
  const TCase cases[] = {
      {1, {1025, 1000, 1175, 1400}, {1300, 1000}},
      {3, {1025, 600, 1175, 1000}, {1000, 1000}},
      {5, {925, 800, 1075, 1200}, {1000, 1000}},
      {9, {825, 600, 975, 1000}, {1000, 1000}},
      // From 11 on half a character more clear of the point.
      {11, {1125, 1200, 1275, 1600}, {1000, 1000}},
      {19, {725, 400, 875, 800}, {1000, 1000}},
      // No such origin: the plain one.
      {10, {1025, 1000, 1175, 1400}, {1300, 1000}},
      {25, {1025, 1000, 1175, 1400}, {1300, 1000}},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Origin);
    const std::string plot =
        "SP2;PU1000,1000;SI0.5,1;LO" + std::to_string(c.Origin) + ";LBL\x03SP3;PD0,0;";
    EXPECT_EQ(BoxOf(PenSegments(plot, 2)), c.Box);
    EXPECT_EQ(PenSegments(plot, 3), (std::vector<TSegment>{{{0, 0}, c.Pen}}));
  }
}

TEST(PlotterLabels, SymbolAtEveryPoint) {
  // The symbol is centred on each point plotted, pen up or down, until SM
  // alone ends symbol mode.
  const auto marked = PenSegments("SP2;SI0.5,1;SMX;PU1000,1000;PD3000,1000;SM;PD3000,3000;", 2);
  const auto x = PenSegments("SP2;SI0.5,1;LBX\x03", 2);
  const TBox box = BoxOf(marked), glyph = BoxOf(x);
  EXPECT_EQ(box.Left + box.Right, 2 * 2000);
  EXPECT_EQ(box.Bottom, 1000 - (glyph.Top - glyph.Bottom) / 2);
  EXPECT_EQ(marked.size(), 2 * x.size() + 2); // two symbols and the two lines
}

TEST(PlotterLabels, TextOfAnyKind) {
  // Characters beyond the font are drawn as "?", in their own cell.
  EXPECT_EQ(PenSegments("SP2;PU1000,1000;LB\xE9\x03", 2),
            PenSegments("SP2;PU1000,1000;LB?\x03", 2));
  // Lower case stays lower case.
  EXPECT_NE(PenSegments("SP2;LBa\x03", 2), PenSegments("SP2;LBA\x03", 2));
  // Blanks and control characters alone draw nothing.
  EXPECT_TRUE(PenSegments("SP2;LB \t\r\n\x01\x03", 2).empty());
}

TEST(PlotterLabelsBadInput, BoundedWorkAndClearMessages) {
  // 100000 characters in one label load in about linear time.
  const std::string text(100000, 'E');
  const auto start = std::chrono::steady_clock::now();
  const TReadResult r = Read("SP1;SI0.01,0.01;LB" + text + "\x03");
  ASSERT_EQ(r.Levels.size(), 1u);
  EXPECT_EQ(r.Levels[0]->Input()->front().size(), 100000u * StrokeGlyph('E').Strokes.size());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  // Huge sizes are refused by name; a label of zero size is skipped, and
  // absurd slants or spaces load or are refused, never hang or crash.
  try {
    Read("SI10000000,1;LBX\x03");
    ADD_FAILURE() << "no error";
  } catch (const TReadError &e) {
    EXPECT_STREQ(e.what(), "HP-GL line 1: LB characters are too large for the plotter");
  }
  EXPECT_EQ(Read("SI0,0;LBX\x03").Size, Read("LBX\x03").Size);
  const std::string huge(20, '9');
  for (const std::string &plot : std::vector<std::string>{
           "SL" + huge + ";LBX\x03", "ES-1,-1;LBXX\x03", "ES" + huge + ";LBXX\x03",
           "DI" + huge + ",-" + huge + ";LBX\x03", "SR" + huge + ",.0000000001;LBX\x03",
           "IP0,0,0,0;SR;LBX\x03", "SC0,1,0,1;IP0,0,0,0;CP" + huge + "," + huge + ";LBX\x03PD0,0;",
           "DV1;SI" + huge + ",1;LBXX\x03"}) {
    SCOPED_TRACE(plot);
    try {
      Read(plot);
    } catch (const TReadError &) {
    }
  }
}

// ---------------------------------------------------------------------------
// Line types

TEST(PlotterLineTypes, DashesOfThePattern) {
  struct TCase {
    const char *Plot;
    std::vector<TSegment> Dashes;
  };
  const TCase cases[] = {
      // Pattern 2 is half dash, half gap; 10 mm is 400 plotter units.
      {"LT2,10,1;PD1000,0;", {{{0, 0}, {200, 0}}, {{400, 0}, {600, 0}}, {{800, 0}, {1000, 0}}}},
      // Per cent of the P1..P2 diagonal (here 5000), and the pattern runs
      // on round a corner.
      {"IP0,0,3000,4000;LT2,8;PD300,0,300,300;", {{{0, 0}, {200, 0}}, {{300, 100}, {300, 300}}}},
      // Adaptive: the 2000 long line holds five patterns of 400, each
      // starting and ending on a half dash; the halves join into whole dashes.
      {"LT-2,10,1;PD2000,0;",
       {{{0, 0}, {100, 0}},
        {{300, 0}, {500, 0}},
        {{700, 0}, {900, 0}},
        {{1100, 0}, {1300, 0}},
        {{1500, 0}, {1700, 0}},
        {{1900, 0}, {2000, 0}}}},
      // A user pattern replaces the built-in one: one to three.
      {"UL2,1,3;LT2,10,1;PD800,0;", {{{0, 0}, {100, 0}}, {{400, 0}, {500, 0}}}},
      // A pattern of one dash and no gap is solid, fixed and adaptive alike.
      {"UL5,128;LT5,10,1;PD800,0;", {{{0, 0}, {800, 0}}}},
      {"UL-5,128;LT-5,10,1;PD800,0;", {{{0, 0}, {800, 0}}}},
      // LT alone is solid again; unknown types leave the type as it is.
      {"LT2,10,1;LT;PD1000,0;", {{{0, 0}, {1000, 0}}}},
      {"LT2,10,1;LT99;PD1000,0;",
       {{{0, 0}, {200, 0}}, {{400, 0}, {600, 0}}, {{800, 0}, {1000, 0}}}},
      // Type 0 is a dot at every point, a dot one unit long (with a solid
      // line after it, so that the pen draws enough to make a level).
      {"LT0;PD500,0,500,500;LT;PU0,1000;PD1000,1000;",
       {{{0, 0}, {1, 0}},
        {{0, 1000}, {1000, 1000}},
        {{500, 0}, {501, 0}},
        {{500, 500}, {501, 500}}}},
      // A pattern below a plotter unit cannot be dashed: solid.
      {"LT2,0.001,1;PD1000,0;", {{{0, 0}, {1000, 0}}}},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Plot);
    EXPECT_EQ(PenSegments(std::string("SP1;PU0,0;") + c.Plot, 1), c.Dashes);
  }
}

TEST(PlotterLineTypes, LinesBeforeKeepTheirType) {
  // The line drawn before LT stays solid, the one after is dashed, and a
  // polygon takes the type in force when it is edged.
  EXPECT_EQ(PenSegments("SP1;PU0,0;PD1000,0;LT2,10,1;PU0,100;PD1000,100;", 1),
            (std::vector<TSegment>{{{0, 0}, {1000, 0}},
                                   {{0, 100}, {200, 100}},
                                   {{400, 100}, {600, 100}},
                                   {{800, 100}, {1000, 100}}}));
  EXPECT_EQ(PenSegments("SP1;PU0,0;PM0;PD800,0,800,800,0,800;LT2,10,1;PM2;EP;", 1),
            Sorted({{{0, 0}, {200, 0}},
                    {{400, 0}, {600, 0}},
                    {{800, 0}, {800, 200}},
                    {{800, 400}, {800, 600}},
                    {{800, 800}, {600, 800}},
                    {{400, 800}, {200, 800}},
                    {{0, 800}, {0, 600}},
                    {{0, 400}, {0, 200}}}));
}

TEST(PlotterLineTypesBadInput, AbsurdPatterns) {
  // Millions of dashes along the whole plotter range: refused by name.
  try {
    Read("LT2,0.1,1;PU-300000000,0;PD300000000,0;");
    ADD_FAILURE() << "no error";
  } catch (const TReadError &e) {
    EXPECT_STREQ(e.what(), "HP-GL line 1: PD makes the drawing too complex");
  }
  // A pattern far longer than the line is one dash; odd user patterns are
  // refused by UL and change nothing.
  EXPECT_EQ(PenSegments("SP1;PU0,0;LT2,1000000000000000000000,1;PD1000,0;", 1),
            (std::vector<TSegment>{{{0, 0}, {1000, 0}}}));
  for (const char *ul :
       {"UL2,0,0;", "UL2,-1,1;", "UL9,1,1;", "UL2,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1;"}) {
    SCOPED_TRACE(ul);
    EXPECT_EQ(
        PenSegments(std::string("SP1;PU0,0;") + ul + "LT2,10,1;PD1000,0;", 1),
        (std::vector<TSegment>{{{0, 0}, {200, 0}}, {{400, 0}, {600, 0}}, {{800, 0}, {1000, 0}}}));
  }
}

TEST(PlotterReaderBadInput, ThousandsOfOverlappingFillsAreRefusedWithinTheBound) {
  // Each filled rectangle is subtracted from the fills it overlaps; 30000 of
  // them piled on one spot of 250 mm would take minutes.
  std::string plot = "IN;SP1;";
  std::uint32_t state = 1;
  auto next = [&](std::uint32_t range) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % range;
  };
  for (int i = 0; i < 30000; ++i)
    plot += "PA" + std::to_string(next(10000)) + "," + std::to_string(next(10000)) + ";RR" +
            std::to_string(10 + next(390)) + "," + std::to_string(10 + next(390)) + ";";
  const auto started = std::chrono::steady_clock::now();
  try {
    Read(plot);
    ADD_FAILURE() << "no error";
  } catch (const TReadError &e) {
    EXPECT_NE(std::string(e.what()).find("RR makes the drawing too complex"), std::string::npos)
        << e.what();
  }
  // The bound holds for the plain build; sanitizers run the same work slower.
  EXPECT_LT(std::chrono::steady_clock::now() - started,
            std::chrono::seconds(10) * SanitizerSlowdown);
  // A few hundred of them still read.
  EXPECT_FALSE(Read(plot.substr(0, plot.find("RR", 300 * 20))).Levels.empty());
}
