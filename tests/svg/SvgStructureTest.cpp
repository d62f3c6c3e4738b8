// Drawings as the drawing programs write them: references, clip paths,
// style sheets, paint servers, nested viewports.
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

namespace {

// One user unit of the 0 0 100 100 viewBox is 25 internal units, so a
// square user unit is 625 square units.
constexpr double Unit2 = 625;
constexpr double Pi = 3.14159265358979;

TReadResult Load(const std::string &svg) {
  TReadOptions options;
  options.UnitsPerMM = 100;
  options.Focus = 20;
  return LoadSvg(svg, options);
}

std::string Doc(const std::string &body) {
  return R"~(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" )~"
         R"~(viewBox="0 0 100 100">)~" +
         body + "</svg>";
}

std::string ErrorOf(const std::string &svg) {
  try {
    Load(svg);
  } catch (const TReadError &error) {
    return error.what();
  }
  return "no error";
}

double Area(const TReadResult &result, TLevelKind kind = lkArea) {
  double area = 0;
  for (const auto &level : result.Levels)
    if (level->Kind() == kind)
      for (const auto &set : *level->Input())
        area += PathsArea(set);
  return std::fabs(area);
}

std::string PaletteName(std::uint32_t argb) {
  return NearestColorName(ColorToLab(PaletteColor(argb)));
}

bool Reports(const TReadResult &result, const std::string &start) {
  return std::any_of(result.Report.begin(), result.Report.end(),
                     [&](const std::string &line) { return line.rfind(start, 0) == 0; });
}

TEST(SvgStructure, WhatIsOnlyReferencedIsNotDrawnInPlace) {
  // These elements were once drawn where they stand, so a shape used
  // elsewhere appeared twice.
  const char *wrappers[] = {"defs",    "symbol",         "clipPath",       "mask",   "marker",
                            "pattern", "linearGradient", "radialGradient", "filter", "defs><g"};
  for (const char *wrapper : wrappers) {
    SCOPED_TRACE(wrapper);
    std::string close = wrapper;
    if (close == "defs><g")
      close = "g></defs";
    const TReadResult result =
        Load(Doc(std::string("<") + wrapper + " id=\"w\"><rect width=\"50\" height=\"50\" " +
                 "fill=\"red\"/></" + close + ">"));
    EXPECT_TRUE(result.Levels.empty());
  }
}

TEST(SvgStructure, UseDrawsItsTargetMovedByXAndY) {
  struct TCase {
    const char *Body;
    double Area;  // square user units
    double Width; // of the drawing, user units
  };
  const TCase cases[] = {
      // href and xlink:href; the target in <defs> is drawn only through the use.
      {R"~(<defs><rect id="r" width="10" height="10" fill="red"/></defs>
           <use href="#r" x="50"/><use xlink:href="#r" x="80" y="10"/>)~",
       200, 40},
      // A use of a shape that is drawn itself as well.
      {R"~(<rect id="r" width="10" height="10" fill="red"/><use href="#r" x="30"/>)~", 200, 40},
      // A use of a use, and a transform on the use before its x.
      {R"~(<defs><rect id="r" width="10" height="10" fill="red"/>
           <use id="u" href="#r" x="10"/></defs>
           <use href="#u" transform="translate(20 0)" x="5"/><rect width="5" height="10" fill="red"/>)~",
       150, 45},
      // A symbol's viewBox maps onto the use's width and height.
      {R"~(<symbol id="s" viewBox="0 0 10 10"><rect width="10" height="10" fill="red"/></symbol>
           <use href="#s" width="40" height="40"/>)~",
       1600, 40},
      // Without width and height a symbol fills the viewport (meet: 100 by 100).
      {R"~(<symbol id="s" viewBox="0 0 10 20"><rect width="10" height="20" fill="red"/></symbol>
           <use href="#s"/>)~",
       5000, 50},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Body);
    const TReadResult result = Load(Doc(c.Body));
    EXPECT_NEAR(Area(result), c.Area * Unit2, c.Area * Unit2 * 0.05);
    EXPECT_NEAR(result.Size.cx, c.Width * 25, 60);
    EXPECT_TRUE(result.Report.empty()) << result.Report.front();
  }
}

TEST(SvgStructure, BrokenUsesAreReportedNotDrawn) {
  struct TCase {
    const char *Body;
    const char *Report;
  };
  const TCase cases[] = {
      {R"~(<use href="#nothing"/>)~", "1 <use> of a missing element left out"},
      {R"~(<use/>)~", "1 <use> of a missing element left out"},
      // A use inside the group it draws would never end.
      {R"~(<g id="g"><rect width="5" height="5" fill="red"/><use href="#g" x="10"/></g>)~",
       "1 <use> that contains itself left out"},
      // Each of the two draws the other, which would draw the first again.
      {R"~(<use id="a" href="#b"/><use id="b" href="#a"/>)~",
       "2 <use> that contains itself left out"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Body);
    const TReadResult result = Load(Doc(c.Body));
    EXPECT_TRUE(Reports(result, c.Report)) << (result.Report.empty() ? "" : result.Report[0]);
  }
}

TEST(SvgStructure, UsesThatMultiplyAreRefusedQuickly) {
  // Ten uses of ten uses of ... ten levels deep: ten billion rectangles.
  std::string body = R"~(<defs><rect id="l0" width="1" height="1" fill="red"/>)~";
  for (int level = 1; level <= 10; ++level) {
    body += "<g id=\"l" + std::to_string(level) + "\">";
    for (int i = 0; i < 10; ++i)
      body += "<use href=\"#l" + std::to_string(level - 1) + "\"/>";
    body += "</g>";
  }
  body += "</defs><use href=\"#l10\"/>";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorOf(Doc(body)), "The drawing's <use> elements make more than 1048576 copies");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

  // A chain of uses deeper than the limit.
  std::string chain = R"~(<defs><rect id="u0" width="1" height="1" fill="red"/>)~";
  for (int i = 1; i <= 70; ++i)
    chain += "<use id=\"u" + std::to_string(i) + "\" href=\"#u" + std::to_string(i - 1) + "\"/>";
  chain += "</defs><use href=\"#u70\"/>";
  EXPECT_EQ(ErrorOf(Doc(chain)), "The drawing's <use> elements are nested too deeply");
}

TEST(SvgStructure, ClipPathsCutShapesAndStrokes) {
  struct TCase {
    const char *Body;
    double Area; // square user units of fill
  };
  const double circle = Pi * 20 * 20;
  const TCase cases[] = {
      {R"~(<clipPath id="c"><circle cx="50" cy="50" r="20"/></clipPath>
           <rect width="100" height="100" fill="red" clip-path="url(#c)"/>)~",
       circle},
      // The clip is drawn in the user space of the element, transform included.
      {R"~(<clipPath id="c"><rect width="10" height="10"/></clipPath>
           <rect width="20" height="20" fill="red" clip-path="url(#c)" transform="scale(2)"/>)~",
       400},
      // On a group; in the unit square of the bounding box.
      {R"~(<clipPath id="c" clipPathUnits="objectBoundingBox"><rect width="0.5" height="1"/></clipPath>
           <g clip-path="url(#c)"><rect x="20" y="20" width="40" height="40" fill="red"/></g>)~",
       800},
      // clip-rule of the clip's shape; its own clip path intersects.
      {R"~(<clipPath id="c"><path clip-rule="evenodd" d="M0 0h60v60h-60z M10 10h40v40h-40z"/></clipPath>
           <rect width="100" height="100" fill="red" clip-path="url(#c)"/>)~",
       3600 - 1600},
      {R"~(<clipPath id="a"><rect width="30" height="100"/></clipPath>
           <clipPath id="c" clip-path="url(#a)"><rect width="100" height="40"/></clipPath>
           <rect width="100" height="100" fill="red" clip-path="url(#c)"/>)~",
       1200},
      // Nested elements with clips of their own: both apply.
      {R"~(<clipPath id="a"><rect width="30" height="100"/></clipPath>
           <clipPath id="b"><rect width="100" height="40"/></clipPath>
           <g clip-path="url(#a)"><rect width="100" height="100" fill="red" clip-path="url(#b)"/></g>)~",
       1200},
      // A mask of an opaque white shape is a clip; black in it takes away.
      {R"~(<mask id="m"><rect width="50" height="100" fill="white"/>
           <rect width="20" height="20" fill="black"/></mask>
           <rect width="100" height="100" fill="red" mask="url(#m)"/>)~",
       5000 - 400},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Body);
    const TReadResult result = Load(Doc(c.Body));
    EXPECT_NEAR(Area(result), c.Area * Unit2, c.Area * Unit2 * 0.05);
  }
  // A stroke is cut to the clip as well: a line across 100 units keeps 30.
  const TReadResult line = Load(Doc(
      R"~(<clipPath id="c"><rect x="10" width="30" height="100"/></clipPath>
          <line x1="0" y1="50" x2="100" y2="50" stroke="black" clip-path="url(#c)"/>)~"));
  ASSERT_EQ(line.Levels.size(), 1u);
  EXPECT_EQ(line.Levels[0]->Kind(), lkLines);
  EXPECT_NEAR(PathsLength(line.Levels[0]->Input()->front(), false, 0), 30 * 25, 2);
  // A shape clipped away completely leaves no level.
  EXPECT_TRUE(Load(Doc(R"~(<clipPath id="c"><rect width="5" height="5"/></clipPath>
      <rect x="50" y="50" width="10" height="10" fill="red" clip-path="url(#c)"/>)~"))
                  .Levels.empty());
}

TEST(SvgStructure, BrokenClipsAreIgnoredAndReported) {
  struct TCase {
    const char *Body;
    const char *Report;
  };
  const TCase cases[] = {
      {R"~(<rect width="10" height="10" fill="red" clip-path="url(#none)"/>)~",
       "1 clip-path of a missing element ignored"},
      {R"~(<clipPath id="c" clip-path="url(#c)"><rect width="5" height="5"/></clipPath>
           <rect width="10" height="10" fill="red" clip-path="url(#c)"/>)~",
       "1 <clipPath> that refers to itself ignored"},
      {R"~(<mask id="m"><rect width="5" height="10" fill="white"/></mask>
           <rect width="10" height="10" fill="red" mask="url(#m)"/>)~",
       "1 <mask> drawn as a clip of its shapes"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Body);
    const TReadResult result = Load(Doc(c.Body));
    EXPECT_TRUE(Reports(result, c.Report)) << (result.Report.empty() ? "" : result.Report[0]);
    EXPECT_FALSE(result.Levels.empty());
  }
}

TEST(SvgStructure, StyleSheetsCascade) {
  const std::string red = PaletteName(0xFFFF0000u), blue = PaletteName(0xFF0000FFu),
                    green = PaletteName(0xFF00FF00u), black = PaletteName(0xFF000000u);
  struct TCase {
    const char *Sheet;
    const char *Rect; // attributes of the rectangle inside <g class="g" id="outer">
    std::string Name;
  };
  const TCase cases[] = {
      {"rect { fill: red }", "", red},
      {".a { fill: red }", R"~(class="b a")~", red},
      {".a { fill: red }", R"~(class="b")~", black},
      {"#r { fill: red }", R"~(id="r")~", red},
      {"* { fill: red }", "", red},
      {".g rect { fill: red }", "", red},
      {"svg > rect { fill: red }", "", black}, // the rectangle's parent is the group
      {"g > rect { fill: red }", "", red},
      {".x, rect { fill: red }", "", red},
      // Specificity, then order.
      {"#r { fill: red } .a { fill: blue } rect { fill: lime }", R"~(id="r" class="a")~", red},
      {".a { fill: blue } .a { fill: red }", R"~(class="a")~", red},
      {"rect.a { fill: red } .a { fill: blue }", R"~(class="a")~", red},
      // The style attribute beats the sheet, unless the sheet says !important.
      {".a { fill: red }", R"~(class="a" style="fill: blue")~", blue},
      {".a { fill: red !important }", R"~(class="a" style="fill: blue")~", red},
      // The sheet beats a presentation attribute.
      {".a { fill: red }", R"~(class="a" fill="blue")~", red},
      // Inherited through the group.
      {"#outer { fill: red }", "", red},
      // Rules that cannot be read are left out, the rest still apply.
      {"rect:hover { fill: blue } @media print { rect { fill: blue } } rect { fill: red }", "",
       red},
      {"/* rect { fill: blue } */ rect { fill: red }", "", red},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Sheet + std::string(" / ") + c.Rect);
    const TReadResult result =
        Load(Doc(std::string("<style>") + c.Sheet + "</style><g class=\"g\" id=\"outer\"><rect " +
                 c.Rect + " width=\"50\" height=\"50\"/></g>"));
    ASSERT_EQ(result.Levels.size(), 1u);
    EXPECT_EQ(result.Levels[0]->Name(), c.Name);
  }
  // The style attribute keeps winning over a presentation attribute.
  const TReadResult old =
      Load(Doc(R"~(<rect style="fill:red" fill="blue" width="5" height="5"/>)~"));
  EXPECT_EQ(old.Levels[0]->Name(), blue);
  // Unreadable rules are counted in the report.
  const TReadResult skipped = Load(
      Doc("<style>a:hover{fill:red} @import url(x.css);</style><rect width=\"5\" height=\"5\"/>"));
  EXPECT_TRUE(Reports(skipped, "2 style sheet rules"));
}

TEST(SvgStructure, HugeStyleSheetsStayBounded) {
  std::string sheet;
  for (int i = 0; i < 150000; ++i)
    sheet += ".c" + std::to_string(i) + "{fill:red}";
  std::string shapes;
  for (int i = 0; i < 200; ++i)
    shapes += "<rect class=\"c" + std::to_string(i * 7) + "\" x=\"" + std::to_string(i % 10 * 10) +
              "\" y=\"" + std::to_string(i / 10 * 5) + "\" width=\"8\" height=\"4.5\"/>";
  const auto start = std::chrono::steady_clock::now();
  const TReadResult result = Load(Doc("<style>" + sheet + "</style>" + shapes));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  ASSERT_EQ(result.Levels.size(), 1u);
  EXPECT_EQ(result.Levels[0]->Name(), PaletteName(0xFFFF0000u));
  EXPECT_TRUE(Reports(result, "50000 style sheet rules"));
}

TEST(SvgStructure, GradientsAndPatternsBurnInOneColour) {
  struct TCase {
    const char *Defs;
    std::string Name;
  };
  const TCase cases[] = {
      // Mostly red: red over the first 80 per cent, a ramp to blue after.
      {R"~(<linearGradient id="p"><stop offset="0.8" stop-color="red"/>
           <stop offset="1" stop-color="blue"/></linearGradient>)~",
       PaletteName(0xFFE6001Au)},
      // Stops through href, opacity from stop-opacity.
      {R"~(<linearGradient id="base"><stop offset="0" stop-color="#00f" stop-opacity="0.5"/></linearGradient>
           <radialGradient id="p" xlink:href="#base"/>)~",
       PaletteName(0xFF0000FFu) + " 50%"},
      {R"~(<linearGradient id="p"><stop offset="0%" style="stop-color:lime"/>
           <stop offset="100%" style="stop-color:lime"/></linearGradient>)~",
       PaletteName(0xFF00FF00u)},
      {R"~(<pattern id="p"><rect width="2" height="2" fill="none"/><circle r="1" fill="blue"/></pattern>)~",
       PaletteName(0xFF0000FFu)},
      // A reference to nothing burns white, as an unknown colour word does.
      {"", PaletteName(0xFFFFFFFFu)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Defs);
    const TReadResult result =
        Load(Doc(std::string("<defs>") + c.Defs +
                 "</defs><rect width=\"50\" height=\"50\" fill=\"url(#p)\"/>"));
    ASSERT_EQ(result.Levels.size(), 1u);
    EXPECT_EQ(result.Levels[0]->Name(), c.Name);
    EXPECT_FALSE(result.Report.empty());
  }
  // A fallback colour after the reference is used when it leads nowhere.
  const TReadResult fallback =
      Load(Doc(R"~(<rect width="50" height="50" fill="url(#none) red"/>)~"));
  EXPECT_EQ(fallback.Levels[0]->Name(), PaletteName(0xFFFF0000u));
  // A pattern whose shape is painted with the pattern itself ends.
  const TReadResult loop = Load(Doc(R"~(<pattern id="p"><rect width="2" height="2" fill="url(#p)"/>
      </pattern><rect width="50" height="50" fill="url(#p)"/>)~"));
  EXPECT_LE(loop.Levels.size(), 1u);
}

TEST(SvgStructure, NestedViewportsSwitchesAndHiddenElements) {
  struct TCase {
    const char *Body;
    double Area; // square user units
  };
  const TCase cases[] = {
      // A nested svg maps its viewBox onto its viewport and clips to it.
      {R"~(<svg x="10" y="10" width="20" height="20" viewBox="0 0 10 10">
           <rect width="10" height="10" fill="red"/><rect x="-50" width="50" height="10" fill="red"/></svg>)~",
       400},
      // meet keeps the aspect: 10 by 5 into 40 by 40 becomes 40 by 20.
      {R"~(<svg width="40" height="40" viewBox="0 0 10 5"><rect width="10" height="5" fill="red"/></svg>)~",
       800},
      {R"~(<svg width="40" height="40" viewBox="0 0 10 5" preserveAspectRatio="none">
           <rect width="10" height="5" fill="red"/></svg>)~",
       1600},
      {R"~(<svg width="40" height="40" viewBox="0 0 10 5" overflow="visible">
           <rect width="10" height="50" fill="red"/></svg>)~",
       8000},
      // A switch draws its first child that applies.
      {R"~(<switch><foreignObject requiredExtensions="http://example.org/x"/>
           <rect width="10" height="10" fill="red"/><rect width="50" height="50" fill="red"/></switch>)~",
       100},
      {R"~(<switch><rect systemLanguage="de" width="50" height="50" fill="red"/>
           <rect systemLanguage="en-GB, de" width="10" height="10" fill="red"/></switch>)~",
       100},
      // Hidden elements are not drawn.
      {R"~(<g style="display:none"><rect width="50" height="50" fill="red"/></g>
           <rect display="none" width="50" height="50" fill="red"/><a><rect width="10" height="10" fill="red"/></a>)~",
       100},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Body);
    const TReadResult result = Load(Doc(c.Body));
    EXPECT_NEAR(Area(result), c.Area * Unit2, c.Area * Unit2 * 0.05);
  }
}

TEST(SvgStructure, CurrentColorIsTheColorProperty) {
  const TReadResult result =
      Load(Doc(R"~(<g color="red"><rect width="50" height="50" fill="currentColor"/></g>)~"));
  ASSERT_EQ(result.Levels.size(), 1u);
  EXPECT_EQ(result.Levels[0]->Name(), PaletteName(0xFFFF0000u));
}

} // namespace

namespace {

struct TBox {
  double Left = 1e18, Bottom = 1e18, Right = -1e18, Top = -1e18;
};

// The box of the levels whose name starts with the colour, in internal units.
TBox LevelBox(const TReadResult &result, const std::string &colour, TLevelKind kind) {
  TBox box;
  for (const auto &level : result.Levels)
    if (level->Kind() == kind && level->Name().rfind(colour, 0) == 0)
      for (const auto &set : *level->Input())
        for (const auto &path : set)
          for (const auto &p : path) {
            box.Left = std::min(box.Left, double(p.X));
            box.Right = std::max(box.Right, double(p.X));
            box.Bottom = std::min(box.Bottom, double(p.Y));
            box.Top = std::max(box.Top, double(p.Y));
          }
  return box;
}

} // namespace

TEST(SvgStructure, MarkersArePlacedTurnedAndScaledOnTheirVertices) {
  // The marker is a red 16 by 8 bar from its origin along x; the path runs
  // right from (10, 10), then down to (50, 50). A blue line at y = 90 from
  // x = 0 pins the user space, since the drawing is moved to the origin.
  struct TCase {
    const char *Marker;              // attributes of <marker>
    const char *Use;                 // marker properties and stroke width of the path
    double Left, Top, Right, Bottom; // the red box in user units (y down)
    double Area;                     // square user units
  };
  const TCase cases[] = {
      // At the end, turned to the direction there (down).
      {R"~(orient="auto" markerUnits="userSpaceOnUse")~", R"~(marker-end="url(#m)")~", 46, 50, 54,
       66, 128},
      // At the start, turned round: it points back out of the path.
      {R"~(orient="auto-start-reverse" markerUnits="userSpaceOnUse")~",
       R"~(marker-start="url(#m)")~", -6, 6, 10, 14, 128},
      // A fixed angle, and the reference point moved onto the vertex.
      {R"~(orient="90" refX="0" refY="4" markerUnits="userSpaceOnUse")~",
       R"~(marker-start="url(#m)")~", 10, 10, 18, 26, 128},
      {R"~(orient="0.25turn" markerUnits="userSpaceOnUse")~", R"~(marker-start="url(#m)")~", 6, 10,
       14, 26, 128},
      // Scaled by the stroke width unless in user units.
      {"", R"~(marker-start="url(#m)" stroke-width="2")~", 10, 2, 42, 18, 512},
      // The viewBox maps onto markerWidth by markerHeight.
      {R"~(viewBox="0 0 10 10" markerWidth="20" markerHeight="20" markerUnits="userSpaceOnUse")~",
       R"~(marker-start="url(#m)")~", 10, 2, 42, 18, 512},
      // The corner: the bisector of right and down, 45 degrees.
      {R"~(orient="auto" markerUnits="userSpaceOnUse")~", R"~(marker-mid="url(#m)")~", 50 - 2.8284,
       10 - 2.8284, 50 + 14.1421, 10 + 14.1421, 128},
      // The shorthand in a style sets all three.
      {R"~(markerUnits="userSpaceOnUse")~", R"~(style="marker: url(#m)")~", 10, 6, 66, 54, 384},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.Marker) + " / " + c.Use);
    const std::string body =
        std::string(R"~(<defs><marker id="m" overflow="visible" )~") + c.Marker +
        R"~(><rect y="-4" width="16" height="8" fill="red"/></marker></defs>)~"
        R"~(<polyline points="10 10 50 10 50 50" fill="none" stroke="black" )~" +
        c.Use + R"~(/><line x1="0" y1="90" x2="100" y2="90" stroke="blue"/>)~";
    const TReadResult result = Load(Doc(body));
    const TBox pin = LevelBox(result, PaletteName(0xFF0000FF), lkLines);
    const TBox red = LevelBox(result, PaletteName(0xFFFF0000), lkArea);
    // Burnt areas lose their sharpest corners (the turned bar's most).
    EXPECT_NEAR((red.Left - pin.Left) / 25, c.Left, 1);
    EXPECT_NEAR((red.Right - pin.Left) / 25, c.Right, 1);
    EXPECT_NEAR(90 - (red.Top - pin.Top) / 25, c.Top, 1);
    EXPECT_NEAR(90 - (red.Bottom - pin.Top) / 25, c.Bottom, 1);
    EXPECT_NEAR(Area(result), c.Area * Unit2, c.Area * Unit2 * 0.05);
    EXPECT_TRUE(result.Report.empty()) << result.Report.front();
  }
}

TEST(SvgStructure, MarkerContentInheritsFromTheMarkerAndCutsAtItsBox) {
  // Without overflow="visible" the marker's box (here 0..10 both ways) cuts
  // off what lies outside it: the bar's upper half and its far end.
  {
    const TReadResult result = Load(
        Doc(R"~(<marker id="m" markerUnits="userSpaceOnUse" markerWidth="10" markerHeight="10">)~"
            R"~(<rect y="-8" width="16" height="16" fill="red"/></marker>)~"
            R"~(<line x1="10" y1="10" x2="50" y2="10" stroke="black" marker-start="url(#m)"/>)~"));
    EXPECT_NEAR(Area(result), 80 * Unit2, 4 * Unit2);
  }
  // The content takes its colours from the marker's ancestors (green here,
  // not the path's blue), or from the path through context-stroke.
  for (const char *fill : {"", R"~(fill="context-stroke")~"}) {
    SCOPED_TRACE(fill);
    const TReadResult result = Load(Doc(
        std::string(
            R"~(<g fill="lime"><marker id="m" overflow="visible" markerUnits="userSpaceOnUse">)~"
            R"~(<rect y="-4" width="16" height="8" )~") +
        fill +
        R"~(/></marker></g><line x1="10" y1="10" x2="50" y2="10" fill="blue" )~"
        R"~(stroke="blue" marker-end="url(#m)"/>)~"));
    const std::uint32_t expected = *fill ? 0xFF0000FFu : 0xFF00FF00u;
    bool found = false;
    for (const auto &level : result.Levels)
      found = found || (level->Kind() == lkArea && level->Name() == PaletteName(expected));
    EXPECT_TRUE(found);
  }
}

TEST(SvgStructure, BrokenMarkersAreReportedAndBounded) {
  // A marker that is missing, and one whose content marks itself.
  const TReadResult missing = Load(Doc(
      R"~(<line x1="10" y1="10" x2="50" y2="10" stroke="black" marker-end="url(#nothing)"/>)~"));
  EXPECT_TRUE(Reports(missing, "1 marker of a missing element left out"));
  const TReadResult cycle = Load(
      Doc(R"~(<marker id="m" overflow="visible"><path d="M 0 0 L 5 0" stroke="red" fill="none" )~"
          R"~(marker-end="url(#m)"/></marker>)~"
          R"~(<line x1="10" y1="10" x2="50" y2="10" stroke="black" marker-end="url(#m)"/>)~"));
  EXPECT_TRUE(Reports(cycle, "1 <marker> that contains itself left out"));
  EXPECT_EQ(cycle.Levels.size(), 2u);
  // Markers of markers multiply like uses and are refused the same way.
  std::string defs =
      R"~(<marker id="m0" overflow="visible"><rect width="1" height="1"/></marker>)~";
  std::string points = "0 0";
  for (int i = 1; i <= 200; ++i)
    points += " " + std::to_string(i) + " " + std::to_string(i % 2);
  for (int level = 1; level <= 4; ++level)
    defs += "<marker id=\"m" + std::to_string(level) +
            "\" overflow=\"visible\"><polyline points=\"" + points +
            "\" fill=\"none\" stroke=\"black\" marker-mid=\"url(#m" + std::to_string(level - 1) +
            ")\"/></marker>";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NE(ErrorOf(Doc(defs + R"~(<polyline points=")~" + points +
                        R"~(" stroke="black" fill="none" marker-mid="url(#m4)"/>)~"))
                .find("copies"),
            std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20 * SanitizerSlowdown));
}
