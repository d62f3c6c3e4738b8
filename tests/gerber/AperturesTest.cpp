#include <cmath>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

#include "GerberTestUtils.h"

using namespace ClipperLib;

namespace {

// The aperture flashed once at the origin (millimetres, 100 units per mm).
TPaths Flash(const std::string &definitions, int code = 10) {
  return Parse("%FSLAX25Y25*%%MOMM*%" + definitions + "D" + std::to_string(code) + "*X0Y0D03*M02*");
}

double Distance(TIntPoint p) {
  return std::hypot(static_cast<double>(p.X), static_cast<double>(p.Y));
}

TEST(Apertures, StandardCircle) {
  const TPaths circle = Flash("%ADD10C,0.5*%");
  ASSERT_EQ(circle.size(), 1u);
  for (const auto &p : circle[0])
    EXPECT_NEAR(Distance(p), 25, 0.5);
  const IntRect b = PathsBounds(circle);
  EXPECT_EQ(b.left, -25);
  EXPECT_EQ(b.right, 25);

  const TPaths ring = Flash("%ADD11C,0.5X0.2*%", 11);
  ASSERT_EQ(ring.size(), 2u);
  int holes = 0;
  for (const auto &path : ring) {
    const double radius = Distance(path[0]);
    if (Area(path) < 0) {
      ++holes;
      EXPECT_NEAR(radius, 10, 0.5);
    } else
      EXPECT_NEAR(radius, 25, 0.5);
  }
  EXPECT_EQ(holes, 1);
  EXPECT_NEAR(PathsArea(ring), std::numbers::pi * (25 * 25 - 10 * 10), 15);
}

TEST(Apertures, StandardRectangle) {
  const TPaths rectangle = Flash("%ADD12R,1X0.5*%", 12);
  ASSERT_EQ(rectangle.size(), 1u);
  EXPECT_EQ(rectangle[0], (TPath{TIntPoint(-50, -25), TIntPoint(50, -25), TIntPoint(50, 25),
                                 TIntPoint(-50, 25)}));
}

TEST(Apertures, StandardObround) {
  const double area = 50 * 50 + std::numbers::pi * 25 * 25;
  const TPaths horizontal = Flash("%ADD13O,1X0.5*%", 13);
  const IntRect h = PathsBounds(horizontal);
  EXPECT_EQ(h.left, -50);
  EXPECT_EQ(h.right, 50);
  EXPECT_EQ(h.top, -25);
  EXPECT_EQ(h.bottom, 25);
  EXPECT_NEAR(PathsArea(horizontal), area, 0.01 * area);
  const IntRect v = PathsBounds(Flash("%ADD14O,0.5X1*%", 14));
  EXPECT_EQ(v.left, -25);
  EXPECT_EQ(v.right, 25);
  EXPECT_EQ(v.top, -50);
  EXPECT_EQ(v.bottom, 50);
}

TEST(Apertures, StandardPolygon) {
  const TPaths hexagon = Flash("%ADD15P,1X6X30*%", 15);
  ASSERT_EQ(hexagon.size(), 1u);
  ASSERT_EQ(hexagon[0].size(), 6u);
  bool at30 = false;
  for (const auto &p : hexagon[0]) {
    EXPECT_NEAR(Distance(p), 50, 0.8);
    at30 = at30 || (p.X == 43 && p.Y == 25);
  }
  EXPECT_TRUE(at30);
}

TEST(Apertures, DefinitionErrors) {
  const std::string header = "%FSLAX25Y25*%%MOMM*%";
  const struct {
    const char *Definition, *Message;
  } bad[] = {{"ADD9C,0.1", "aperture D codes start at D10"},
             {"ADDC,0.1", "the aperture definition has no D code, or one too large"},
             {"ADD20XYZ,1", "unknown aperture template \"XYZ\""},
             {"ADD99999999999C,1", "the aperture definition has no D code, or one too large"}};
  for (const auto &[definition, message] : bad) {
    SCOPED_TRACE(definition);
    EXPECT_EQ(ParseError(header + "\n%" + definition + "*%M02*"),
              std::string("Gerber line 2: ") + message + ": " + definition);
  }
  EXPECT_EQ(ParseError(header + "%AMC*1,1,1,0,0*%M02*"),
            "Gerber line 1: the macro name is already in use: AMC*1,1,1,0,0");
  EXPECT_EQ(ParseError(header + "%AMNOSTAR*%M02*"),
            "Gerber line 1: the macro has no * after its name: AMNOSTAR");
  const struct {
    const char *Macro, *Message;
  } macros[] = {
      {"AMM*$=1", "primitive \"$=1\": a macro variable definition without = or number"},
      {"AMM*$1", "primitive \"$1\": a macro variable definition without = or number"},
      {"AMM*3,1,1,0,0", "primitive \"3,1,1,0,0\": unknown macro primitive"},
      {"AMM*1,1,1,0", "primitive \"1,1,1,0\": a macro primitive lacks fields"},
      {"AMM*4,1,2,0,0,1,0,0,0", "primitive \"4,1,2,0,0,1,0,0,0\": the outline primitive's point "
                                "count does not match its fields"},
      {"AMM*4,1,1,0,0,1,0", "primitive \"4,1,1,0,0,1,0\": the outline primitive's point count does "
                            "not match its fields"},
      {"AMM*1,1,1/0,0,0", "primitive \"1,1,1/0,0,0\": division by zero in a macro expression"},
      {"AMM*1,1,(1,0,0", "primitive \"1,1,(1,0,0\": a macro expression lacks its )"},
      {"AMM*5,1,2000,0,0,1,0",
       "primitive \"5,1,2000,0,0,1,0\": a polygon with more than 1000 vertices"},
      {"AMM*6,0,0,1,0.1,0.1,2000,0.1,1,0",
       "primitive \"6,0,0,1,0.1,0.1,2000,0.1,1,0\": a moire with more than 1000 rings"}};
  for (const auto &[macro, message] : macros) {
    SCOPED_TRACE(macro);
    // The macro is evaluated where an aperture uses it: that line is named.
    EXPECT_EQ(ParseError(header + "%" + macro + "*%\n\n%ADD10M*%M02*"),
              std::string("Gerber line 3: macro \"M\", ") + message + ": ADD10M");
  }
}

TEST(Apertures, LaterDefinitionReplacesEarlier) {
  // Some CAD exports list an aperture twice; the later one counts, also for
  // the aperture already selected.
  const std::string header = "%FSLAX25Y25*%%MOMM*%";
  const TPaths image = Parse(header + "%ADD10C,1*%D10*%ADD10R,2X2*%X0Y0D03*M02*");
  EXPECT_EQ(PathsBounds(image).right, 100);
  EXPECT_NEAR(PathsArea(image), 200 * 200, 1);
  EXPECT_EQ(PathsBounds(Parse(header + "%ADD030C,0.5*%%ADD030C,0.5*%D30*X0Y0D03*M02*")).right, 25);
}

TEST(Apertures, MacroSyntaxOfRealFiles) {
  const std::string header = "%FSLAX25Y25*%%MOMM*%";
  // Comment primitives, a negated variable, blanks and line breaks inside
  // the body, and numbers written without their leading zero.
  const TPaths spaced = Parse(
      header + "%AMBOX*\n0 A centred box, rotated by -$3 *\n21 , 1 , $1 ,\r\n $2 , 0 , 0 , -$3 *%\n"
               "%ADD12BOX,2X.5X-90*%D012*X0Y0D03*M02*");
  // -(-90) turns the 2 x 0.5 box upright.
  const IntRect b = PathsBounds(spaced);
  EXPECT_EQ(b.right, 25);
  EXPECT_EQ(b.top, -100);
  const TPaths negated = Parse(header + "%AMSH*1,1,1,-$1,0*%%ADD10SH,2*%D10*X0Y0D03*M02*");
  EXPECT_EQ(PathsBounds(negated).right, -150);
  EXPECT_EQ(PathsBounds(Parse(header + "%ADD181C,.031*%D181*X0Y0D03*M02*")).right, 2);
}

TEST(Apertures, MacroRotationTurnsAboutTheOrigin) {
  const TPaths square = Flash("%AMSQ*21,1,1,1,0,0,45*%%ADD10SQ*%");
  ASSERT_EQ(square.size(), 1u);
  const IntRect b = PathsBounds(square);
  EXPECT_NEAR(static_cast<double>(b.right), 50 * std::numbers::sqrt2, 1);
  EXPECT_NEAR(static_cast<double>(b.top), -50 * std::numbers::sqrt2, 1);
  // Corners rounded to whole units: 71 instead of 70.7.
  EXPECT_NEAR(PathsArea(square), 100 * 100, 100);
  // Off-centre primitives swing around the aperture origin, not their own centre.
  const IntRect off = PathsBounds(Flash("%AMOFF*21,1,0.2,0.2,1,0,90*%%ADD10OFF*%"));
  EXPECT_EQ(off.left, -10);
  EXPECT_EQ(off.right, 10);
  EXPECT_EQ(off.top, 90);
  EXPECT_EQ(off.bottom, 110);
}

TEST(Apertures, Primitives) {
  struct TBoundsCase {
    const char *Macro;
    IntRect Bounds;
    double Area;
  };
  const TBoundsCase cases[] = {
      // lower-left line: x 0..2, y 0..1 mm
      {"22,1,2,1,0,0,0", {0, 0, 200, 100}, 200 * 100},
      // centre line
      {"21,1,2,1,1,1,0", {0, 50, 200, 150}, 200 * 100},
      // vector line: flat ends exactly at its points
      {"20,1,0.5,0,0,2,0,0", {0, -25, 200, 25}, 200 * 50},
      {"2,1,0.5,0,0,2,0,0", {0, -25, 200, 25}, 200 * 50},
      // outline: a right triangle
      {"4,1,3,0,0,1,0,0,1,0,0,0", {0, 0, 100, 100}, 100 * 100 / 2.0},
      // polygon: a square of diameter 2 with its corners on the axes
      {"5,1,4,0,0,2,0", {-100, -100, 100, 100}, 2 * 100 * 100},
      // circle with a rotation field
      {"1,1,1,1,0,90", {-50, 50, 50, 150}, std::numbers::pi * 50 * 50},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Macro);
    const TPaths shape = Flash(std::string("%AMM*") + c.Macro + "*%%ADD10M*%");
    const IntRect b = PathsBounds(shape);
    EXPECT_EQ(b.left, c.Bounds.left);
    EXPECT_EQ(b.top, c.Bounds.top);
    EXPECT_EQ(b.right, c.Bounds.right);
    EXPECT_EQ(b.bottom, c.Bounds.bottom);
    // Circles are inscribed polygons within 0.25 units of the true arc.
    EXPECT_NEAR(std::fabs(PathsArea(shape)), c.Area, c.Area * 0.01);
  }
}

TEST(Apertures, ExposureOffRemoves) {
  const double ring = std::numbers::pi * (50 * 50 - 25 * 25);
  for (const char *hole : {"0", "2", "0.5"}) {
    SCOPED_TRACE(hole);
    const TPaths shape =
        Flash(std::string("%AMRING*1,1,1,0,0*1,") + hole + ",0.5,0,0*%%ADD10RING*%");
    EXPECT_NEAR(PathsArea(shape), ring, 0.01 * ring);
    EXPECT_FALSE(Inside(shape, TIntPoint(0, 0)));
  }
}

TEST(Apertures, MoireAndThermal) {
  // Two rings and a cross: the gap between the rings is empty, the cross is not.
  const TPaths moire = Flash("%AMMO*6,0,0,2,0.2,0.2,2,0.05,2.4,0*%%ADD10MO*%");
  EXPECT_TRUE(Inside(moire, TIntPoint(0, 95)));
  EXPECT_FALSE(Inside(moire, TIntPoint(70, 10)));
  EXPECT_TRUE(Inside(moire, TIntPoint(55, 0)));
  EXPECT_TRUE(Inside(moire, TIntPoint(115, 0)));
  // Rings stop by themselves once their diameter reaches zero.
  EXPECT_FALSE(Flash("%AMMO*6,0,0,2,0.2,0.2,1000,0,0,0*%%ADD10MO*%").empty());

  const TPaths thermal = Flash("%AMTH*7,0,0,2,1.4,0.2,0*%%ADD10TH*%");
  EXPECT_EQ(thermal.size(), 4u);
  EXPECT_FALSE(Inside(thermal, TIntPoint(0, 85)));
  EXPECT_TRUE(Inside(thermal, TIntPoint(60, 60)));
  EXPECT_FALSE(Inside(thermal, TIntPoint(0, 0)));
}

TEST(Apertures, VariablesAndCase) {
  // Lower-case operators in a macro body are upper-cased.
  EXPECT_EQ(PathsBounds(Flash("%AMLC*$3=$1x2*1,1,$3v$2,0,0*%%ADD10LC,0.5X3*%")).right, 50);
  // A lower-case x in the AD list does not split: one variable, value 0.
  EXPECT_TRUE(Flash("%ADD10C,0.5x0.2*%").empty());
  // An empty primitive (a body closed by "*" twice) draws nothing.
  EXPECT_EQ(PathsBounds(Flash("%AMTWO*1,1,1,0,0**%%ADD10TWO*%")).right, 50);
  // Comments are skipped; variables set later replace earlier values.
  EXPECT_EQ(PathsBounds(Flash("%AMV*0 any text*$1=2*$1=$1X0.5*1,1,$1,0,0*%%ADD10V,8*%")).right, 50);
  // Apertures keep the unit they were defined in.
  EXPECT_EQ(PathsBounds(Parse("%FSLAX25Y25*%%MOIN*%%ADD10C,0.1*%%MOMM*%D10*X0Y0D03*M02*")).right,
            127);
}

} // namespace
