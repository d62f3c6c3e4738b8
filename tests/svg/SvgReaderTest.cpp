#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../common/Slowdown.h"

#include "core/ColorUnit.h"
#include "core/Level.h"
#include "core/PathUtils.h"
#include "svg/SvgReader.h"
#include "svg/SvgText.h"

namespace {

// At 100 units per millimetre and without width and height, one user unit of
// a 0 0 100 100 viewBox is 25 internal units.
TReadResult Load(const std::string &svg, std::int32_t focus = 20) {
  TReadOptions options;
  options.UnitsPerMM = 100;
  options.Focus = focus;
  return LoadSvg(svg, options);
}

std::string Doc(const std::string &body, const std::string &root = R"~(viewBox="0 0 100 100")~") {
  return R"~(<svg xmlns="http://www.w3.org/2000/svg" )~" + root + ">" + body + "</svg>";
}

std::string ErrorOf(const std::string &svg) {
  try {
    Load(svg);
  } catch (const TReadError &error) {
    return error.what();
  }
  return "no error";
}

std::string PaletteName(std::uint32_t argb) {
  return NearestColorName(ColorToLab(PaletteColor(argb)));
}

double Area(const TLevel &level) {
  double area = 0;
  for (const auto &set : *level.Input())
    area += PathsArea(set);
  return area;
}

TEST(SvgReader, PaletteColourKeepsTheDominantChannels) {
  EXPECT_EQ(PaletteColor(0xFF336699u), 0xFF0000CFu);
  EXPECT_EQ(PaletteColor(0xFFFFFFFFu), 0xFF404040u);
  EXPECT_EQ(PaletteColor(0xFFFF0000u), 0xFFFF4040u);
  EXPECT_EQ(PaletteColor(0xFF808080u), 0xFF000000u);
  EXPECT_EQ(PaletteColor(0x00FF2000u), 0xFFFF4040u); // alpha does not count
  EXPECT_EQ(PaletteColor(0xFFFFA000u), 0xFFFFFF40u);
}

TEST(SvgReader, RootLengthsInEveryUnit) {
  struct TCase {
    const char *Text;
    double Number;
    std::int64_t Size;
  };
  const TCase cases[] = {
      {"100mm", 100, 10000}, {"10cm", 10, 10000}, {"1in", 1, 2540},     {"72pt", 72, 2540},
      {"6pc", 6, 2540},      {"4px", 4, 100},     {"1em", 1, 400},      {"1ex", 1, 200},
      {"50%", 50, 1250},     {"40", 40, 1000},    {" 12MM ", 12, 1200}, {"1.5", 1.5, 38},
      {"abc", 100, 2500},    {"5xy", 100, 2500},  {"mm", 100, 2500},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Text);
    const TSvgLength length = ParseSvgLength(c.Text, 100);
    EXPECT_DOUBLE_EQ(length.Number, c.Number);
    EXPECT_EQ(length.Size, c.Size);
  }
}

TEST(SvgReader, ViewBoxMapsOntoTheDrawingSize) {
  // A stroke from the bottom-left to the top-right corner of the viewBox.
  const std::string body = R"~(<polyline points="0,50 100,0" stroke="black" fill="none"/>)~";
  struct TCase {
    const char *Root;
    TIntPoint Corner;
  };
  const TCase cases[] = {
      {R"~(viewBox="0 0 100 50" width="100mm" height="50mm")~", {10000, 5000}},
      {R"~(viewBox="0 0 100 50")~", {2500, 1250}},
      {R"~(viewBox="0,0,100,50" width="100mm")~", {2500, 1250}}, // width alone does not count
      {R"~(width="100mm" height="50mm")~", {10000, 5000}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Root);
    const TReadResult result = Load(Doc(body, c.Root));
    ASSERT_EQ(result.Levels.size(), 1u);
    const TPaths expected = {{{0, 0}, c.Corner}};
    EXPECT_EQ(result.Levels[0]->Input()->front(), expected);
    EXPECT_EQ(result.Size, (TIntSize{static_cast<std::int32_t>(c.Corner.X),
                                     static_cast<std::int32_t>(c.Corner.Y)}));
  }
}

TEST(SvgReader, DocumentErrors) {
  struct TCase {
    std::string Svg;
    const char *Message;
  };
  const TCase cases[] = {
      {Doc("", R"~(viewBox="0 0 100")~"), "Invalid viewport definition"},
      {Doc("", R"~(width="10")~"), "Neither viewbox nor width and height given"},
      {R"~(<html viewBox="0 0 10 10"/>)~", "The document doesn't seem to be an SVG"},
      {"", "Invalid XML file format"},
      {R"~(<?xml version="1.0"?>)~", "Invalid XML file format"},
      {Doc(R"~(<g transform="skew(10)"/>)~"), "Unknown transformation: skew"},
      {Doc(R"~(<g transform="Translate(10)"/>)~"),
       "no error"}, // not a lower-case name: no function
      {Doc(R"~(<g transform="matrix(1 0 0 1 0)"/>)~"), "Matrix transformation expects 6 arguments"},
      {Doc(R"~(<g transform="translate()"/>)~"), "Matrix translation expects 1 or 2 arguments"},
      {Doc(R"~(<g transform="scale(1 2 3)"/>)~"), "Matrix scaling expects 1 or 2 arguments"},
      {Doc(R"~(<g transform="rotate(1 2)"/>)~"), "Matrix rotation expects 1 or 3 arguments"},
      {Doc(R"~(<g transform="skewX(1 2)"/>)~"), "Matrix skewing expects 1 argument"},
      {Doc(R"~(<polygon points="0 0 10"/>)~"), "The number of points is odd"},
      {Doc(R"~(<polyline points=""/>)~"), "The number of points is odd"},
      {Doc(R"~(<polyline/>)~"), "List of points missing"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Svg);
    EXPECT_EQ(ErrorOf(c.Svg), c.Message);
  }
}

TEST(SvgReader, PrefixedRootIsAnSvg) {
  const TReadResult result =
      Load(R"~(<svg:svg xmlns:svg="http://www.w3.org/2000/svg" viewBox="0 0 100 100">)~"
           R"~(<svg:rect width="10" height="10" fill="red"/></svg:svg>)~");
  EXPECT_EQ(result.Levels.size(), 1u);
}

TEST(SvgReader, MalformedXmlReportsTheParser) {
  const std::string message = ErrorOf(Doc(R"~(<rect width="10" height="10"><g></rect>)~"));
  EXPECT_NE(message, "no error");
  EXPECT_NE(message.find("line 1"), std::string::npos) << message;
  // The parser's complaint comes first, even after an error of the drawing.
  EXPECT_EQ(ErrorOf(Doc(R"~(<g transform="skew(1)"/><rect>)~")).find("Unknown"), std::string::npos);
}

TEST(SvgReader, TransformFunctions) {
  struct TCase {
    const char *Text;
    TPointF In, Out;
  };
  const TCase cases[] = {
      {"translate(10)", {0, 0}, {10, 0}},
      {"translate(10, 20)", {1, 1}, {11, 21}},
      {"scale(2)", {1, 3}, {2, 6}},
      {"scale(2 3)", {1, 3}, {2, 9}},
      {"rotate(90 50 50)", {50, 0}, {100, 50}},
      {"rotate(90)", {1, 0}, {0, 1}},
      {"skewX(45)", {0, 1}, {1, 1}},
      {"skewY(45)", {1, 0}, {1, 1}},
      {"matrix(1 2 3 4 5 6)", {1, 1}, {9, 12}},
      // The rightmost function acts first.
      {"translate(10,0) scale(2)", {1, 0}, {12, 0}},
      {"scale(2) translate(10,0)", {1, 0}, {22, 0}},
      {"", {3, 4}, {3, 4}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Text);
    const TPointF p = ParseSvgTransform(c.Text).Apply(c.In);
    EXPECT_NEAR(p.X, c.Out.X, 1e-4);
    EXPECT_NEAR(p.Y, c.Out.Y, 1e-4);
  }
}

TEST(SvgReader, NumberListsSplitCompactNumbers) {
  struct TCase {
    const char *Text;
    std::vector<std::string_view> Pieces;
  };
  const TCase cases[] = {
      {"0 0 1.5.5", {"0", "0", "1.5", ".5"}},
      {"10-5,-.3.5", {"10", "-5", "-.3", ".5"}},
      {"1e-3-2E+2", {"1e-3", "-2E+2"}},
      // Pieces that are not made of numbers stay whole and count as one.
      {"translate(10-5)", {"translate", "10", "-5"}},
      {"1 abc 1e 2", {"1", "abc", "1e", "2"}},
      {"1e400 5", {"1e400", "5"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(SplitNumberList(c.Text), c.Pieces);
  }
}

TEST(SvgReader, ListsReadTheCompactNumberGrammar) {
  // points, viewBox and transform written the way minifiers write them give
  // the same drawing as their spaced forms.
  struct TCase {
    std::string Compact, Spaced;
  };
  const TCase cases[] = {
      {Doc(R"~(<polygon points="0,0 40.5.5 1.5-20" fill="red"/>)~"),
       Doc(R"~(<polygon points="0,0 40.5,0.5 1.5,-20" fill="red"/>)~")},
      {Doc(R"~(<polygon points="0,0 40,0 0,40" fill="red"/>)~", R"~(viewBox="-.5-.5 100 100")~"),
       Doc(R"~(<polygon points="0,0 40,0 0,40" fill="red"/>)~",
           R"~(viewBox="-0.5 -0.5 100 100")~")},
      {Doc(R"~(<g transform="matrix(2 0 0 2 .5.5)rotate(10-5-5)"><rect width="10" height="20" fill="red"/></g>)~"),
       Doc(R"~(<g transform="matrix(2 0 0 2 0.5 0.5) rotate(10 -5 -5)"><rect width="10" height="20" fill="red"/></g>)~")},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Compact);
    const TReadResult compact = Load(c.Compact);
    const TReadResult spaced = Load(c.Spaced);
    ASSERT_EQ(compact.Levels.size(), 1u);
    ASSERT_EQ(spaced.Levels.size(), 1u);
    EXPECT_EQ(*compact.Levels[0]->Input(), *spaced.Levels[0]->Input());
    EXPECT_EQ(compact.Size, spaced.Size);
  }
}

TEST(SvgReader, BrokenPathDataIsDrawnUpToTheErrorAndTold) {
  std::vector<std::string> messages;
  TReadOptions options;
  options.UnitsPerMM = 100;
  // The report replaces the message box: nothing may stop the user's work.
  options.ShowMessage = [&](const std::string &text) { messages.push_back(text); };
  const std::string svg = Doc("\n<path d=\"M0 0 H40 V40 H0 x 80\" fill=\"red\"/>"
                              "\n<path d=\"M60 60 l 20 0 0\" stroke=\"black\" fill=\"none\"/>\n");
  const TReadResult result = LoadSvg(svg, options);
  const std::vector<std::string> expected = {
      "SVG line 2: the path data breaks off: \"x\" at character 17 is not a path "
      "command; the path is drawn up to there",
      "SVG line 3: the path data breaks off: the data ends where l expects a number; "
      "the path is drawn up to there"};
  EXPECT_EQ(result.Report, expected);
  // The square before the error and the first stroke of the second path.
  ASSERT_EQ(result.Levels.size(), 2u);
  EXPECT_NEAR(std::fabs(Area(*result.Levels[0])), 1000.0 * 1000,
              10000); // corners rounded by the sliver cut
  const TPaths stroke = {{{1500, 0}, {2000, 0}}};
  EXPECT_EQ(result.Levels[1]->Input()->front(), stroke);

  // Many broken paths name the first ten and count the rest.
  std::string many;
  for (int i = 0; i < 12; ++i)
    many += "<path d=\"M0 0 L10 10 #\" stroke=\"black\"/>\n";
  const TReadResult manyResult = LoadSvg(Doc(many), options);
  ASSERT_EQ(manyResult.Report.size(), 11u);
  EXPECT_EQ(manyResult.Report.back(), "(and 2 more like these)");
  // What the reader cannot draw is counted once per kind, before the paths.
  const TReadResult leftOut = LoadSvg(Doc("<image href=\"a.png\"/>\n<image/>\n<text>A</text>\n"
                                          "<path d=\"M0 0 L10 10 #\" stroke=\"black\"/>"),
                                      options);
  const std::vector<std::string> leftOutExpected = {
      "2 <image> left out (first on line 1)", "1 <text> left out (line 3)",
      "SVG line 4: the path data breaks off: \"#\" at character 13 is not a path "
      "command; the path is drawn up to there"};
  EXPECT_EQ(leftOut.Report, leftOutExpected);
  // Data read to its end says nothing.
  EXPECT_TRUE(LoadSvg(Doc(R"~(<path d="M0 0 L10 10z" stroke="black"/>)~"), options).Report.empty());
  EXPECT_TRUE(messages.empty());
}

TEST(SvgReader, TransformReachesDescendantsOnly) {
  // The group's translation moves its child; the sibling stays. Both strokes
  // are black and thin, so they merge into one level of two path sets.
  const TReadResult result = Load(Doc(
      R"~(<g transform="translate(20)"><line x1="0" y1="0" x2="0" y2="100" stroke="black"/></g>)~"
      R"~(<line x1="0" y1="0" x2="0" y2="100" stroke="black"/>)~"));
  ASSERT_EQ(result.Levels.size(), 1u);
  const auto &sets = *result.Levels[0]->Input();
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0][0][0].X, 500);
  EXPECT_EQ(sets[1][0][0].X, 0);
}

TEST(SvgReader, FillWeightsAndNames) {
  const std::string red = PaletteName(0xFFFF0000u);
  struct TCase {
    const char *Attributes;
    std::string Name;
    std::int32_t Height;
  };
  const TCase cases[] = {
      {R"~(fill="red")~", red, 4},
      {R"~(fill="red" fill-opacity="0.5")~", red + " 50%", 2},
      {R"~(fill="#ff0000" opacity="0.5")~", red + " 50%", 2},
      {R"~(style="fill:red;fill-opacity:0.5")~", red + " 50%", 2},
      {R"~(style="fill: red")~", red, 4},                      // values are trimmed
      {R"~(style=" fill:red")~", PaletteName(0xFF000000u), 4}, // names are not: default black
      {R"~(style="fill:red" fill="blue")~", PaletteName(0xFF0000FFu), 4},
      {R"~(style="opacity:0.5" opacity="0.8" fill="red")~", red + " 40%", 2},
      {R"~(fill="url(#gradient)")~", PaletteName(0xFFFFFFFFu), 4},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Attributes);
    const TReadResult result = Load(
        Doc(std::string(R"~(<rect x="10" y="10" width="50" height="30" )~") + c.Attributes + "/>"));
    ASSERT_EQ(result.Levels.size(), 1u);
    const TLevel &level = *result.Levels[0];
    EXPECT_EQ(level.Kind(), lkArea);
    EXPECT_EQ(level.Name(), c.Name);
    EXPECT_EQ(level.Height(), c.Height);
  }
  const TReadResult red1 =
      Load(Doc(R"~(<rect x="10" y="10" width="50" height="30" fill="red"/>)~"));
  EXPECT_EQ(red1.Levels[0]->LabColor(), ColorToLab(0xFFFF4040u));
  EXPECT_NEAR(Area(*red1.Levels[0]), 50 * 30 * 625, 4 * 600);
}

TEST(SvgReader, WeakShapesMakeNoLevels) {
  for (const char *element :
       {R"~(<rect width="50" height="30" fill="red" fill-opacity="0.2"/>)~",
        R"~(<rect width="50" height="30" fill="red" opacity="0.05"/>)~",
        R"~(<rect width="50" height="30" fill="none"/>)~",
        R"~(<line x2="100" stroke="blue" stroke-width="0.25"/>)~", R"~(<line x2="100"/>)~",
        // hidden before any geometry is looked at
        R"~(<g opacity="0.05"><rect width="1e30" height="1e30" fill="red"/></g>)~"}) {
    SCOPED_TRACE(element);
    const TReadResult result = Load(Doc(element));
    EXPECT_TRUE(result.Levels.empty());
    EXPECT_EQ(result.Size, (TIntSize{0, 0}));
  }
}

TEST(SvgReader, StrokeWeightsAndNames) {
  const std::string blue = PaletteName(0xFF0000FFu);
  struct TCase {
    const char *Attributes;
    std::string Name;
    std::int32_t Height;
  };
  const TCase cases[] = {
      {R"~(stroke="blue")~", blue, 4},
      {R"~(stroke="blue" stroke-width="3")~", blue + " \u00D7 3", 13},
      {R"~(stroke="blue" stroke-width="1.3")~", blue, 6},
      {R"~(stroke="blue" stroke-width="0.5")~", blue + " \u00D7 0", 2},
      {R"~(stroke="blue" stroke-opacity="0.5" stroke-width="2")~", blue + " 50% \u00D7 2", 4},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Attributes);
    const TReadResult result =
        Load(Doc(std::string(R"~(<line x1="0" y1="50" x2="100" y2="50" )~") + c.Attributes + "/>"));
    ASSERT_EQ(result.Levels.size(), 1u); // the line's black fill encloses nothing
    const TLevel &level = *result.Levels[0];
    EXPECT_EQ(level.Kind(), lkLines);
    EXPECT_EQ(level.Name(), c.Name);
    EXPECT_EQ(level.Height(), c.Height);
    const TPaths expected = {{{0, 0}, {2500, 0}}};
    EXPECT_EQ(level.Input()->front(), expected);
  }
}

// A width with a unit weighs what the same width in plain user units does;
// one the reader cannot measure keeps the group's.
TEST(SvgReader, StrokeWidthUnits) {
  struct TCase {
    std::string Style; // attributes of the line
    std::string Plain; // the same width without a unit
  };
  const TCase cases[] = {
      {R"~(stroke-width="2px")~", "2"},
      {R"~(stroke-width=" 1.5pt ")~", "2"},
      {R"~(stroke-width="0.5mm")~", std::to_string(0.5 * 96 / 25.4)},
      {R"~(stroke-width="0.1cm")~", std::to_string(0.1 * 96 / 2.54)},
      {R"~(stroke-width="0.03125in")~", "3"},
      {R"~(stroke-width="0.25pc")~", "4"},
      // Per cent of the diagonal of a 100 x 100 viewBox over the square root of 2.
      {R"~(stroke-width="2.5%")~", "2.5"},
      {R"~(stroke-width="0.5em")~", "2"},
      {R"~(stroke-width="1ex")~", "2"},
      {R"~(style="stroke-width:3pt")~", "4"},
      {R"~(style="stroke-width: 2mm")~", std::to_string(2 * 96 / 25.4)},
      {R"~(stroke-width="2furlongs")~", "7"},
      {R"~(stroke-width="inherit")~", "7"},
  };
  const auto load = [](const std::string &attributes) {
    return Load(Doc(R"~(<g stroke="blue" stroke-width="7" font-size="4">)~"
                    R"~(<line x1="0" y1="50" x2="100" y2="50" )~" +
                    attributes + "/></g>"));
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Style);
    const TReadResult withUnit = load(c.Style);
    const TReadResult plain = load("stroke-width=\"" + c.Plain + "\"");
    ASSERT_EQ(withUnit.Levels.size(), 1u);
    ASSERT_EQ(plain.Levels.size(), 1u);
    EXPECT_EQ(withUnit.Levels[0]->Name(), plain.Levels[0]->Name());
    EXPECT_EQ(withUnit.Levels[0]->Height(), plain.Levels[0]->Height());
  }
}

TEST(SvgReader, FillRuleOfAStar) {
  const std::string star = R"~(<polygon points="50,0 79,90 2,35 98,35 21,90" )~";
  const TReadResult evenOdd = Load(Doc(star + R"~(style="fill:red;fill-rule:evenodd"/>)~"));
  const TReadResult nonZero = Load(Doc(star + R"~(fill="red"/>)~"));
  const TReadResult inherited =
      Load(Doc(R"(<g fill-rule="evenodd">)" + star + R"(fill="red" fill-rule="inherit"/></g>)"));
  ASSERT_EQ(evenOdd.Levels.size(), 1u);
  ASSERT_EQ(nonZero.Levels.size(), 1u);
  ASSERT_EQ(inherited.Levels.size(), 1u);
  // The pentagon in the middle is a hole only under the even-odd rule.
  EXPECT_LT(Area(*evenOdd.Levels[0]), 0.8 * Area(*nonZero.Levels[0]));
  EXPECT_NEAR(Area(*inherited.Levels[0]), Area(*evenOdd.Levels[0]), 1);
}

TEST(SvgReader, ShapesBecomeTheirOutlines) {
  struct TCase {
    const char *Element;
    double Area; // internal units squared
  };
  const double pi = 3.14159265358979;
  const TCase cases[] = {
      {R"~(<circle cx="50" cy="50" r="20" fill="red"/>)~", pi * 500 * 500},
      {R"~(<ellipse cx="50" cy="50" rx="20" ry="10" fill="red"/>)~", pi * 500 * 250},
      {R"~(<rect x="10" y="10" width="80" height="40" rx="10" fill="red"/>)~",
       (80 * 40 - (4 - pi) * 100) * 625},
      {R"~(<polygon points="0,0 80,0 0,40" fill="red"/>)~", 1600 * 625},
      {R"~(<path d="M0 0 h80 v40 h-80 z" fill="red"/>)~", 3200 * 625},
      // Two parabolic arcs: each adds two thirds of its control triangle
      // (1600 square units each) to the chords, which enclose nothing. The
      // curves were once drawn as a cubic with other control points and a line.
      {R"~(<path d="M0 0 Q 80 0 80 40 T 0 0" fill="red"/>)~", 2.0 / 3 * 3200 * 625},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Element);
    const TReadResult result = Load(Doc(c.Element));
    ASSERT_EQ(result.Levels.size(), 1u);
    if (c.Area > 0) {
      EXPECT_NEAR(Area(*result.Levels[0]), c.Area, c.Area * 0.01);
    }
  }
}

TEST(SvgReader, LaterShapesHideEarlierOnes) {
  // Two blue rectangles apart: one level, two path sets.
  const TReadResult apart = Load(Doc(
      R"~(<rect width="20" height="20" fill="blue"/><rect x="50" width="20" height="20" fill="blue"/>)~"));
  ASSERT_EQ(apart.Levels.size(), 1u);
  EXPECT_EQ(apart.Levels[0]->Input()->size(), 2u);
  // Of two identical ones only the later remains.
  const TReadResult same = Load(Doc(
      R"~(<rect width="20" height="20" fill="blue"/><rect width="20" height="20" fill="blue"/>)~"));
  ASSERT_EQ(same.Levels.size(), 1u);
  EXPECT_EQ(same.Levels[0]->Input()->size(), 1u);
  // Red over the right half of blue leaves blue its left half, corners rounded.
  const TReadResult covered = Load(Doc(
      R"~(<rect width="60" height="40" fill="blue"/><rect x="30" width="60" height="40" fill="red"/>)~"));
  ASSERT_EQ(covered.Levels.size(), 2u);
  EXPECT_EQ(covered.Levels[0]->Name(), PaletteName(0xFF0000FFu));
  EXPECT_NEAR(Area(*covered.Levels[0]), 30 * 40 * 625, 4 * 600);
  EXPECT_NEAR(Area(*covered.Levels[1]), 60 * 40 * 625, 4 * 600);
  // A strip of 3 user units (75 internal units) is a sliver; 5 units is not.
  EXPECT_EQ(
      Load(
          Doc(R"~(<rect width="100" height="40" fill="blue"/><rect x="3" width="97" height="40" fill="red"/>)~"))
          .Levels.size(),
      1u);
  EXPECT_EQ(
      Load(
          Doc(R"~(<rect width="100" height="40" fill="blue"/><rect x="5" width="95" height="40" fill="red"/>)~"))
          .Levels.size(),
      2u);
}

TEST(SvgReader, AreasAndLinesHideLinesBelowThem) {
  // The line runs under the rectangle; it stays visible up to 50 units
  // (2 user units) inside the rectangle's edges.
  const TReadResult result =
      Load(Doc(R"~(<line x1="0" y1="50" x2="100" y2="50" stroke="black"/>)~"
               R"~(<rect x="40" y="20" width="20" height="60" fill="red"/>)~"));
  ASSERT_EQ(result.Levels.size(), 2u);
  ASSERT_EQ(result.Levels[0]->Kind(), lkLines);
  EXPECT_NEAR(static_cast<double>(PathsLength(result.Levels[0]->Input()->front(), false, 0)),
              2 * 42 * 25, 4);
  // A later line covers an earlier one within 0.4 focus of it.
  const std::string lines = R"~(<line x1="0" y1="50" x2="100" y2="50" stroke="black"/>)~"
                            R"~(<line x1="0" y1="50.2" x2="100" y2="50.2" stroke="blue"/>)~";
  EXPECT_EQ(Load(Doc(lines), 20).Levels.size(), 1u); // 5 units apart, covered within 8
  EXPECT_EQ(Load(Doc(lines), 10).Levels.size(), 2u); // covered only within 4
}

TEST(SvgReader, FastAndReferenceCoverGiveTheSameLevels) {
  // Overlapping filled and stroked shapes in a few colours and opacities.
  std::string body;
  const char *colours[] = {"red", "#3366cc", "green", "black"};
  for (int i = 0; i < 120; ++i) {
    const int x = (i * 37) % 90, y = (i * 53) % 90, r = 3 + i % 7;
    body += "<circle cx=\"" + std::to_string(x) + "\" cy=\"" + std::to_string(y) + "\" r=\"" +
            std::to_string(r) + "\" fill=\"" + colours[i % 4] + "\" stroke=\"" +
            colours[(i / 4) % 4] + "\" stroke-width=\"" + std::to_string(1 + i % 3) +
            "\" fill-opacity=\"" + (i % 5 ? "1" : "0.5") + "\"/>";
  }
  TReadOptions options;
  options.UnitsPerMM = 100;
  options.Focus = 20;
  const TReadResult fast = LoadSvg(Doc(body), options);
  const TReadResult reference = LoadSvgReference(Doc(body), options);
  ASSERT_EQ(fast.Levels.size(), reference.Levels.size());
  EXPECT_GT(fast.Levels.size(), 4u);
  EXPECT_EQ(fast.Size, reference.Size);
  for (std::size_t i = 0; i < fast.Levels.size(); ++i) {
    const TLevel &a = *fast.Levels[i], &b = *reference.Levels[i];
    SCOPED_TRACE(a.Name());
    EXPECT_EQ(a.Name(), b.Name());
    EXPECT_EQ(a.Kind(), b.Kind());
    EXPECT_EQ(a.Height(), b.Height());
    ASSERT_EQ(a.Input()->size(), b.Input()->size());
    for (std::size_t j = 0; j < a.Input()->size(); ++j) {
      const TPaths &pa = (*a.Input())[j], &pb = (*b.Input())[j];
      if (a.Kind() == lkArea) {
        EXPECT_LE(std::fabs(PathsArea(BooleanPaths(pa, pb, ClipperLib::ctXor))),
                  1e-4 * std::fabs(PathsArea(pb)) + 200);
      } else {
        // A piece as long as the focus, give or take the rounding of its cut
        // ends, may be kept by one and dropped by the other.
        EXPECT_NEAR(static_cast<double>(PathsLength(pa, false, 0)),
                    static_cast<double>(PathsLength(pb, false, 0)), options.Focus + 10);
      }
    }
  }
}

TEST(SvgReader, ReportsProgressThreeTimesOfFour) {
  TReadOptions options;
  int maximum = 0, steps = 0;
  options.SetProgressMax = [&](int value) { maximum = value; };
  options.Progress = [&] { ++steps; };
  LoadSvg(Doc(R"~(<rect width="10" height="10"/>)~"), options);
  EXPECT_EQ(maximum, 4);
  EXPECT_EQ(steps, 3);
}

TEST(SvgReader, ShiftsTheDrawingToTheOrigin) {
  const TReadResult result =
      Load(Doc(R"~(<rect x="10" y="20" width="40" height="20" fill="red"/>)~"));
  ASSERT_EQ(result.Levels.size(), 1u);
  const auto box = PathsBounds(result.Levels[0]->Input()->front());
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(std::min(box.top, box.bottom), 0);
  EXPECT_EQ(result.Size, (TIntSize{1000, 500}));
}

// Documents from the internet: every one ends in a clear error or a
// harmless result, quickly.
TEST(SvgReaderSafety, EntitiesCannotExplode) {
  std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY a \"lol\">";
  std::string previous = "a";
  for (int i = 1; i < 10; ++i) {
    const std::string name = "a" + std::to_string(i);
    laughs += "<!ENTITY " + name + " \"";
    for (int j = 0; j < 10; ++j)
      laughs += "&" + previous + ";";
    laughs += "\">";
    previous = name;
  }
  laughs += "]><svg viewBox=\"0 0 10 10\" fill=\"&" + previous + ";\"/>";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NE(ErrorOf(laughs), "no error");
  // Many references to one entity that the parser alone would allow.
  std::string many = "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY e \"" +
                     std::string(4000, 'a') + "\">]><svg viewBox=\"0 0 10 10\" fill=\"";
  for (int i = 0; i < 20000; ++i)
    many += "&e;";
  many += "\"/>";
  EXPECT_EQ(ErrorOf(many), "The document's entities expand too far");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2 * SanitizerSlowdown));
  // A few small entities, as some editors write them, are fine.
  const std::string small =
      R"~(<?xml version="1.0"?><!DOCTYPE svg [<!ENTITY red "#ff0000">]>)~"
      R"~(<svg viewBox="0 0 10 10"><rect width="5" height="5" fill="&red;"/></svg>)~";
  EXPECT_EQ(Load(small).Levels.size(), 1u);
}

TEST(SvgReaderSafety, ExternalEntitiesAreNeverLoaded) {
  const std::string inAttribute =
      R"~(<?xml version="1.0"?><!DOCTYPE svg [<!ENTITY x SYSTEM "file:///etc/hostname">]>)~"
      R"~(<svg viewBox="0 0 10 10"><rect width="5" height="5" fill="&x;"/></svg>)~";
  EXPECT_NE(ErrorOf(inAttribute), "no error");
  const std::string inText =
      R"~(<?xml version="1.0"?><!DOCTYPE svg [<!ENTITY x SYSTEM "file:///etc/hostname">]>)~"
      R"~(<svg viewBox="0 0 10 10"><desc>&x;</desc></svg>)~";
  EXPECT_TRUE(Load(inText).Levels.empty());
  const std::string publicDtd =
      R"~(<?xml version="1.0"?><!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN" )~"
      R"~("http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd">)~"
      R"~(<svg viewBox="0 0 10 10"><rect width="5" height="5" fill="red"/></svg>)~";
  EXPECT_EQ(Load(publicDtd).Levels.size(), 1u);
}

TEST(SvgReaderSafety, DeepNestingIsRefused) {
  std::string deep;
  for (int i = 0; i < 100000; ++i)
    deep += "<g>";
  for (int i = 0; i < 100000; ++i)
    deep += "</g>";
  EXPECT_EQ(ErrorOf(Doc(deep)), "The drawing's elements are nested too deeply");
  std::string fine;
  for (int i = 0; i < 100; ++i)
    fine += "<g>";
  fine += R"~(<rect width="5" height="5" fill="red"/>)~";
  for (int i = 0; i < 100; ++i)
    fine += "</g>";
  EXPECT_EQ(Load(Doc(fine)).Levels.size(), 1u);
}

TEST(SvgReaderSafety, HugeOrBrokenNumbers) {
  for (const char *value :
       {"NaN", "nan", "1e400", "-1e400", "inf", "-INF", "1e38", "-3e38", "1e-400"}) {
    SCOPED_TRACE(value);
    const std::string v = value;
    std::string body;
    for (const char *element : {"rect", "circle", "ellipse", "line"}) {
      body += std::string("<") + element;
      for (const char *attribute :
           {"x", "y", "width", "height", "r", "cx", "cy", "rx", "ry", "x1", "y1", "x2", "y2",
            "opacity", "fill-opacity", "stroke-opacity", "stroke-width"})
        body += std::string(" ") + attribute + "=\"" + v + "\"";
      body += " stroke=\"red\" transform=\"matrix(" + v + " 0 0 " + v + " " + v + " 0) rotate(" +
              v + ")\"/>";
    }
    body += "<polygon points=\"" + v + " 0 1 " + v + " 2 2\" fill=\"red\"/>";
    body += "<path d=\"M 0 0 A " + v + " 1 0 0 1 10 10\" stroke=\"red\"/>";
    const std::string root =
        "viewBox=\"0 0 " + v + " 100\" width=\"" + v + "\" height=\"" + v + "\"";
    for (const std::string &svg : {Doc(body), Doc(body, root)}) {
      try {
        const TReadResult result = Load(svg);
        EXPECT_GE(result.Size.cx, 0);
        EXPECT_GE(result.Size.cy, 0);
      } catch (const TReadError &) {
      }
    }
  }
}

TEST(SvgReaderSafety, DegenerateDrawings) {
  // Everything collapsed to a point: nothing to burn, no size.
  const TReadResult point = Load(Doc(
      R"~(<g transform="scale(0)"><rect width="50" height="50" fill="red" stroke="black"/></g>)~"));
  EXPECT_TRUE(point.Levels.empty());
  EXPECT_EQ(point.Size, (TIntSize{0, 0}));
  // A viewport without width or height shows nothing.
  for (const char *root : {R"(viewBox="0 0 0 100")", R"(width="0" height="10")",
                           R"(viewBox="0 0 10 10" width="10mm" height="0")"}) {
    SCOPED_TRACE(root);
    const TReadResult empty = Load(Doc(R"~(<rect width="50" height="50" fill="red"/>)~", root));
    EXPECT_TRUE(empty.Levels.empty());
    EXPECT_EQ(empty.Size, (TIntSize{0, 0}));
  }
  EXPECT_EQ(ErrorOf(Doc(R"~(<rect width="1e30" height="1e30" fill="red"/>)~")),
            "The drawing's coordinates are out of range");
  EXPECT_EQ(ErrorOf(Doc("", R"~(viewBox="0 0 10 10" width="1e30mm" height="10mm")~")),
            "The drawing is too large");
  // A huge arc radius is a straight line, not a point far away.
  const TReadResult arc =
      Load(Doc(R"~(<path d="M0 50 A 1e30 1e30 0 0 1 100 50" stroke="black" fill="none"/>)~"));
  ASSERT_EQ(arc.Levels.size(), 1u);
  EXPECT_EQ(arc.Size, (TIntSize{2500, 0}));
}

TEST(SvgReaderSafety, TenMillionCommandsAreRefused) {
  std::string d = "M0 0";
  d.reserve(10'000'000 * 4 + 16);
  for (int i = 0; i < 10'000'000; ++i)
    d += "L1 1";
  EXPECT_EQ(ErrorOf(Doc("<path stroke=\"black\" d=\"" + d + "\"/>")), "The path data is too long");
}

} // namespace

TEST(SvgReader, FillCrossingItselfTooOftenIsLeftOutAndItsStrokeKept) {
  // 3,000 points at random: the polygon crosses itself about a million
  // times, which the fill's simplification would sort for a minute.
  unsigned state = 11;
  std::string points;
  for (int i = 0; i < 3000; ++i) {
    state = state * 1103515245u + 12345u;
    points += std::to_string(state >> 16 & 1023) + ",";
    state = state * 1103515245u + 12345u;
    points += std::to_string(state >> 16 & 1023) + " ";
  }
  const auto start = std::chrono::steady_clock::now();
  const TReadResult result =
      Load("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 1024 1024\">"
           "<polygon fill=\"red\" stroke=\"blue\" points=\"" + points + "\"/></svg>");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2 * SanitizerSlowdown));
  ASSERT_EQ(result.Levels.size(), 1u);
  EXPECT_EQ(result.Levels[0]->Kind(), lkLines);
  std::string report;
  for (const auto &line : result.Report)
    report += line + "\n";
  EXPECT_NE(report.find("The drawing crosses itself about "), std::string::npos) << report;
  EXPECT_NE(report.find("too many to fill it; the fill is left out"), std::string::npos) << report;
}
