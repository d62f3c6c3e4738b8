#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

#include "GerberTestUtils.h"

using namespace ClipperLib;

namespace {

const std::string Header = "%FSLAX25Y25*%%MOMM*%";

TEST(GerberReader, DrawWithRoundApertureIsAStadium) {
  const TPaths image =
      Parse("%FSLAX25Y25*%\n%MOMM*%\n%ADD10C,0.5*%\nD10*\nX0Y0D02*\nX1000000Y0D01*\nM02*\n");
  ASSERT_EQ(image.size(), 1u);
  const IntRect b = PathsBounds(image);
  EXPECT_EQ(b.left, -25);
  EXPECT_EQ(b.right, 1025);
  EXPECT_EQ(b.top, -25);
  EXPECT_EQ(b.bottom, 25);
  EXPECT_NEAR(PathsArea(image), 1000 * 50 + std::numbers::pi * 25 * 25, 60);
}

TEST(GerberReader, DrawThatGoesNowhereLeavesTheBrush) {
  // Round and square tools drawn from a point to itself mark that point as a
  // flash of the same aperture would.
  for (const char *aperture : {"C,0.5", "R,0.5X0.3"}) {
    const std::string tool = Header + "%ADD10" + aperture + "*%D10*";
    const TPaths drawn = Parse(tool + "X100000Y200000D02*X100000Y200000D01*M02*");
    const TPaths flashed = Parse(tool + "X100000Y200000D03*M02*");
    ASSERT_FALSE(flashed.empty()) << aperture;
    EXPECT_EQ(drawn, flashed) << aperture;
  }
}

TEST(GerberReader, InchFlashIsScaled) {
  const TPaths image = Parse("%FSLAX25Y25*%%MOIN*%%ADD10C,0.01*%D10*X500000Y0D03*M02*");
  const IntRect b = PathsBounds(image);
  EXPECT_EQ((b.left + b.right) / 2, 12700);
  EXPECT_EQ((b.top + b.bottom) / 2, 0);
}

TEST(GerberReader, CoordinateBlockWithoutDCode) {
  const std::string prefix = Header + "%ADD10C,0.5*%D10*X0Y0D02*";
  EXPECT_TRUE(Parse(prefix + "X0Y0*M02*").empty());
  EXPECT_TRUE(Parse(prefix + "X-100000Y0*M02*").empty());
  const TPaths drawn = Parse(prefix + "X100000Y0*M02*");
  EXPECT_EQ(PathsBounds(drawn).right, 125);
}

TEST(GerberReader, FormatStatement) {
  for (const char *bad : {"FSLAX25Y25X", "FSLAXabYab", "FSLAX25", "FSQX25Y25"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ParseError(std::string("%") + bad + "*%M02*"),
              std::string("Gerber line 1: ") +
                  (std::string(bad) == "FSLAX25"
                       ? "the format statement lacks the X or Y digit counts"
                       : "unreadable format statement (expected e.g. FSLAX25Y25)") +
                  ": " + bad);
  }
  // Six decimals: X1000000 is one millimetre.
  const TPaths image = Parse("%FSLAX36Y36*%%MOMM*%%ADD10R,0.2X0.2*%D10*X1000000Y0D03*M02*");
  const IntRect b = PathsBounds(image);
  EXPECT_EQ(b.left, 90);
  EXPECT_EQ(b.right, 110);
}

TEST(GerberReader, StepAndRepeat) {
  EXPECT_EQ(ParseError(Header + "%SR*%M02*"),
            "Gerber line 1: the step and repeat X count is not a whole number: SR");
  EXPECT_EQ(ParseError(Header + "%SRX2Y*%M02*"),
            "Gerber line 1: the step and repeat Y count is not a whole number: SRX2Y");
  const std::string flash = "%ADD10R,1X1*%D10*X0Y0D03*";
  // Six copies 5 mm and 3 mm apart, then repetition off again.
  const TPaths six =
      Parse(Header + "%SRX2Y3I5J3*%" + flash + "%SRX1Y1I0J0*%X1000000Y1000000D03*M02*");
  EXPECT_EQ(six.size(), 7u);
  EXPECT_NEAR(PathsArea(six), 7 * 100 * 100, 1);
  const IntRect b = PathsBounds(six);
  EXPECT_EQ(b.right, 1050);
  EXPECT_EQ(b.bottom, 1050);
  // Counts of zero add nothing.
  EXPECT_TRUE(Parse(Header + "%SRX0Y3I5J3*%" + flash + "M02*").empty());
}

TEST(GerberReader, StepAndRepeatIsBounded) {
  EXPECT_EQ(
      ParseError(Header + "%SRX1000000Y1000000I0.1J0.1*%M02*"),
      "Gerber line 1: step and repeat with more than 10000 copies: SRX1000000Y1000000I0.1J0.1");
  EXPECT_EQ(ParseError(Header + "%SRX101Y100I0.1J0.1*%M02*"),
            "Gerber line 1: step and repeat with more than 10000 copies: SRX101Y100I0.1J0.1");
  EXPECT_EQ(ParseError(Header + "%SRX10000Y1I100000J0*%M02*"),
            "Gerber line 1: step and repeat reaches out of range: SRX10000Y1I100000J0");
  EXPECT_EQ(ParseError(Header + "%SRX100Y100I0.1J0.1*%M02*"), "");
}

// A quarter of a circle of radius 100 mm around the origin, as a region.
std::string QuarterRegion(const std::string &arc) {
  return Header + "G36*X10000000Y0D02*" + arc + "X0Y0D01*X10000000Y0D01*G37*M02*";
}

TEST(GerberReader, SingleQuadrantFindsTheCentre) {
  // Unsigned offsets: the centre is found among the four sign combinations.
  const TPaths image = Parse(QuarterRegion("G74*G03X0Y10000000I10000000J0D01*"));
  ASSERT_EQ(image.size(), 1u);
  int onArc = 0;
  for (const auto &p : image[0]) {
    const double r = std::hypot(static_cast<double>(p.X), static_cast<double>(p.Y));
    if (p.X > 0 && p.Y > 0) {
      EXPECT_NEAR(r, 10000, 1);
      ++onArc;
    }
  }
  // 0.1 radian steps over a quarter turn.
  EXPECT_EQ(onArc, 14);
  EXPECT_NEAR(PathsArea(image), std::numbers::pi * 1e8 / 4, 0.003 * 1e8);
}

TEST(GerberReader, SingleQuadrantNeverSweepsMoreThan117Degrees) {
  // A half circle has no candidate within 117 degrees: the arc is straight.
  const TPaths image = Parse(Header + "G36*X10000000Y0D02*G74*G03X-10000000Y0I10000000J0D01*"
                                      "X10000000Y0D01*G37*M02*");
  for (const auto &path : image)
    for (const auto &p : path)
      EXPECT_EQ(p.Y, 0);
  EXPECT_EQ(PathsArea(image), 0);
}

TEST(GerberReader, MultiQuadrantArcs) {
  // Same start and end: a whole circle, stroked as a ring, or as a region a
  // round pad; either way round the centre (0, 0) with radius 1000.
  const TPaths ring =
      Parse(Header + "%ADD10C,0.5*%D10*G75*X1000000Y0D02*G03X1000000Y0I-1000000J0D01*M02*");
  EXPECT_NEAR(static_cast<double>(PathsBounds(ring).left), -1025, 2);
  EXPECT_EQ(PathsBounds(ring).right, 1025);
  const double ringArea = std::numbers::pi * (1025.0 * 1025 - 975 * 975);
  EXPECT_NEAR(std::fabs(PathsArea(ring)), ringArea, ringArea * 0.005);
  for (const char *direction : {"G02", "G03"}) {
    const TPaths pad = Parse(Header + "G36*G75*X1000000Y0D02*" + direction +
                             "I-1000000J0D01*G37*M02*");
    ASSERT_EQ(pad.size(), 1u) << direction;
    const double padArea = std::numbers::pi * 1000 * 1000;
    EXPECT_NEAR(std::fabs(PathsArea(pad)), padArea, padArea * 0.005) << direction;
  }
  // A half circle counter-clockwise passes through (0, 100).
  const TPaths half =
      Parse(Header + "%ADD10C,0.1*%D10*G75*X1000000Y0D02*G03X-1000000Y0I-1000000J0D01*M02*");
  const IntRect b = PathsBounds(half);
  EXPECT_NEAR(static_cast<double>(b.bottom), 1005, 1);
  EXPECT_NEAR(static_cast<double>(b.top), -5, 1);
  // Clockwise the same half goes below.
  const TPaths below =
      Parse(Header + "%ADD10C,0.1*%D10*G75*X1000000Y0D02*G02X-1000000Y0I-1000000J0D01*M02*");
  EXPECT_NEAR(static_cast<double>(PathsBounds(below).top), -1005, 1);
}

TEST(GerberReader, ModeCodeAndCommandInOneBlock) {
  // Older writers join a mode code and its command: the command counts as if
  // it had a block of its own, while a comment still draws nothing.
  const std::string prefix = Header + "%ADD10C,0.1*%D10*X1000000Y0D02*";
  const struct {
    std::string Joined, Separate;
  } cases[] = {
      {"G75G03X-1000000Y0I-1000000J0D01*", "G75*G03X-1000000Y0I-1000000J0D01*"},
      {"G75G02X-1000000Y0I-1000000J0D01*", "G75*G02X-1000000Y0I-1000000J0D01*"},
      {"G90G71X2000000Y0D01*", "G90*G71*X2000000Y0D01*"},
      {"G70X0Y0D03*", "G70*X0Y0D03*"},
      {"G75G04X3000000Y0D01*", "G75*"},
  };
  for (const auto &c : cases) {
    const TPaths separate = Parse(prefix + c.Separate + "M02*");
    EXPECT_EQ(Parse(prefix + c.Joined + "M02*"), separate) << c.Joined;
    EXPECT_EQ(separate.empty(), c.Separate == "G75*") << c.Joined;
  }
}

TEST(GerberReader, ShortSweepGivesTwoPoints) {
  // 0.05 radian around the origin: the start-angle point and the end point.
  const TPaths image =
      Parse(Header + "G36*X10000000Y0D02*G75*G03X9987502Y499792I-10000000J0D01*G37*M02*");
  ASSERT_EQ(image.size(), 1u);
  EXPECT_EQ(image[0], (TPath{TIntPoint(10000, 0), TIntPoint(9988, 500)}));
}

TEST(GerberReader, IgnoredAndRejectedCodes) {
  const std::string apertures = Header + "%ADD10C,0.5*%%ADD11R,1X1*%";
  // G04 and G90 are ignored; G55D10 as a whole, so D11 stays selected.
  const TPaths image =
      Parse(apertures + "G04 comment X100000Y100000D03*G90*D11*G55D10*X0Y0D03*M02*");
  EXPECT_EQ(PathsBounds(image).right, 50);
  // G54D10 does select.
  EXPECT_EQ(PathsBounds(Parse(apertures + "D11*G54D10*X0Y0D03*M02*")).right, 25);
  const struct {
    const char *Block, *Message;
  } bad[] = {{"LMXY", "mirroring of the objects (LM) is not supported"},
             {"LR45", "rotation of the objects (LR) is not supported"},
             {"LSX2", "scaling of the objects (LS) is not supported"},
             {"LPX", "polarity must be LPD or LPC"},
             {"MOCM", "unit must be MOIN or MOMM"},
             {"ABD10", "aperture blocks (AB) are not supported"},
             {"M03", "unknown M code"},
             {"IR45", "image rotation must be 0, 90, 180 or 270 degrees"},
             {"IPX", "image polarity must be IPPOS or IPNEG"},
             {"ASAXBX", "axis select must be ASAXBY or ASAYBX"}};
  for (const auto &[block, message] : bad) {
    SCOPED_TRACE(block);
    EXPECT_EQ(ParseError(Header + "\n\n%" + block + "*%M02*"),
              std::string("Gerber line 3: ") + message + ": " + block);
  }
  EXPECT_EQ(ParseError(Header + "%LNtop*%%ASAXBY*%%IPPOS*%%OFA0B0*%M01*M02*"), "");
}

TEST(GerberReader, DrawNeedsABrush) {
  EXPECT_EQ(ParseError(Header + "X0Y0D02*\nX100000Y0D01*M02*"),
            "Gerber line 2: a line is drawn before any aperture is selected: X100000Y0D01");
  EXPECT_EQ(
      ParseError(Header + "D10*M02*"),
      "Gerber line 1: aperture D10 is selected but the file defines no apertures (an RS-274-D file "
      "whose aperture list is kept in a separate file, which Brennix cannot read): D10");
}

TEST(GerberReader, ZeroSizeAperturesAddNothing) {
  // Board edges and region boundaries drawn with C,0 and C,0.0000 beside a
  // real pad: only the pad remains, whether drawn, flashed or both.
  const std::string pad = "%ADD11R,1X1*%D11*X0Y0D03*";
  const TPaths expected = Parse(Header + pad + "M02*");
  for (const char *zero : {"C,0", "C,0.0000"}) {
    SCOPED_TRACE(zero);
    const TPaths image = Parse(Header + "%ADD10" + zero + "*%" + pad +
                               "D10*X0Y0D02*X100000Y0D01*X100000Y100000D01*X500000Y0D03*M02*");
    EXPECT_EQ(XorArea(image, expected), 0);
  }
}

TEST(GerberReader, UndefinedApertureFallsBack) {
  const std::string defs = Header + "%ADD10C,0.5*%%ADD12C,1*%%ADD13C,2*%";
  EXPECT_EQ(PathsBounds(Parse(defs + "D11*X0Y0D03*M02*")).right, 25);
  // Without D10 the lowest D code stands in.
  EXPECT_EQ(PathsBounds(Parse(Header + "%ADD13C,2*%%ADD12C,1*%D11*X0Y0D03*M02*")).right, 50);
}

TEST(GerberReader, Polarity) {
  const std::string defs = Header + "%ADD10R,2X2*%%ADD11R,1X1*%";
  EXPECT_TRUE(Parse(defs + "%LPC*%D11*X0Y0D03*M02*").empty());
  const TPaths holed = Parse(defs + "D10*X0Y0D03*%LPC*%D11*X0Y0D03*%LPD*%X1000000Y0D03*M02*");
  EXPECT_NEAR(PathsArea(holed), 200 * 200 - 100 * 100 + 100 * 100, 1);
  EXPECT_FALSE(Inside(holed, TIntPoint(0, 0)));
  EXPECT_TRUE(Inside(holed, TIntPoint(75, 75)));
  EXPECT_TRUE(Inside(holed, TIntPoint(90, 0)));
}

TEST(GerberReader, Regions) {
  // D02 inside a region closes the first contour; G37 the second.
  const TPaths two = Parse(Header + "G36*X0Y0D02*X100000Y0D01*X100000Y100000D01*X0Y100000D01*"
                                    "X200000Y0D02*X300000Y0D01*X300000Y100000D01*G37*M02*");
  EXPECT_EQ(two.size(), 2u);
  EXPECT_NEAR(std::fabs(PathsArea(two)), 100 * 100 + 100 * 100 / 2.0, 1);
  // No D01: nothing to emit; an open region at the end is lost.
  EXPECT_TRUE(Parse(Header + "G36*X0Y0D02*G37*M02*").empty());
  EXPECT_TRUE(Parse(Header + "G36*X0Y0D02*X100000Y0D01*X100000Y100000D01*M02*").empty());
  // Regions need no aperture, and flashes inside them still flash.
  EXPECT_EQ(Parse(Header + "%ADD10C,1*%D10*G36*X500000Y500000D03*G37*M02*").size(), 1u);
}

TEST(GerberReader, BlockSplitting) {
  // Blanks, line breaks and non-ASCII bytes never separate anything.
  EXPECT_EQ(
      PathsBounds(Parse("%FS LA X25\tY25*%\r\n%MO\xC3\xA9MM*%%ADD1 0R,1X1*%D1\n0*X0Y0D0 3*M02*"))
          .right,
      50);
  // Text after M02 is never read, even without "*".
  EXPECT_EQ(ParseError(Header + "M02*G91*X1"), "");
  EXPECT_EQ(
      ParseError(Header + "G04 ok*\nX100"),
      "Gerber line 2: the file ends inside a command (no closing *); it may be cut off: X100");
  EXPECT_EQ(ParseError(Header + "\r\n%ADD10C,1"),
            "Gerber line 2: the parameter block has no closing %: ADD10C,1");
  EXPECT_EQ(ParseError(Header + "\r\r%%M02*"), "Gerber line 3: empty parameter block %%");
  EXPECT_EQ(ParseError(Header + "\n\nG04 a\nb*\nXabcD01*M02*"),
            "Gerber line 5: the X coordinate is not a number: XabcD01");
  // A last command without "*" before the closing "%" is read, as gerbv does;
  // so is a final M02 without its "*".
  EXPECT_EQ(Parse(Header + "%ADD10C,1%D10*X0Y0D03*M02").size(), 1u);
  // Without M02 the text simply ends.
  EXPECT_EQ(Parse(Header + "%ADD10C,1*%D10*X0Y0D03*").size(), 1u);
}

TEST(GerberReader, AttributesDrawNothing) {
  // Component names such as Y1 or D3 must not read as coordinates or D codes.
  const std::string defs = Header + "%ADD10C,1*%%ADD12C,3*%D10*X0Y0D03*";
  const TPaths expected = Parse(defs + "M02*");
  const TPaths image =
      Parse(defs + "%TO.C,Y1*%%TO.C,D3*%%TO.C,D12*%%TF.FileFunction,Copper,L1,Top*%"
                   "%TA.AperFunction,SMDPad,CuDef*%%TD*%X0Y0D03*M02*");
  EXPECT_EQ(XorArea(image, expected), 0);
}

TEST(GerberReader, HugeValuesAreErrors) {
  EXPECT_EQ(
      ParseError(Header + "%ADD10C,1*%D10*X99999999999999999999Y0D03*M02*"),
      "Gerber line 1: coordinate out of range (more than a kilometre): X99999999999999999999Y0D03");
  EXPECT_EQ(ParseError(Header + "%ADD10C,1e12*%M02*"),
            "Gerber line 1: a size or position out of range: ADD10C,1e12");
  EXPECT_EQ(ParseError(Header + "%ADD10C,1*%D10*G75*G03X100Y0I99999999999999999J0D01*M02*"),
            "Gerber line 1: coordinate out of range (more than a kilometre): "
            "G03X100Y0I99999999999999999J0D01");
}

TEST(GerberReader, WorkIsBounded) {
  TGerberOptions options;
  options.MaxPoints = 100000;
  // Ten thousand copies of a circle pass the SR check but not the budget.
  const std::string text = Header + "%SRX100Y100I1J1*%%ADD10C,0.5*%D10*X0Y0D03*M02*";
  try {
    ParseGerber(text, options);
    FAIL() << "no limit";
  } catch (const TGerberLimitError &e) {
    EXPECT_STREQ(e.what(), "The Gerber image is too complex: it needs more than 100000 points");
  }
  // Macros with thousands of primitives are bounded in the same way.
  std::string macro = "%AMMANY*";
  for (int i = 0; i < 5000; ++i)
    macro += "1,1,0.5," + std::to_string(i) + ",0*";
  macro += "%";
  EXPECT_THROW(ParseGerber(Header + macro + "%ADD10MANY*%M02*", options), TGerberLimitError);
}

// A small board of pads, tracks, a clear region and more copper above it.
std::string MixedBoard() {
  std::string text = Header + "%ADD10C,0.6*%%ADD11R,1.2X0.8*%%AMTH*7,0,0,1.6,1,0.3,45*%%ADD12TH*%";
  for (int i = 0; i < 12; ++i) {
    const std::string x = std::to_string(i * 150000), y = std::to_string((i % 3) * 170000);
    text += "D11*X" + x + "Y" + y + "D03*D10*X" + x + "Y" + y + "D02*X" +
            std::to_string(i * 150000 + 300000) + "Y" + std::to_string(((i + 1) % 3) * 170000) +
            "D01*";
  }
  text +=
      "%LPC*%G36*X200000Y-100000D02*X900000Y-100000D01*X900000Y400000D01*X200000Y-100000D01*G37*";
  text += "%LPD*%D12*X500000Y100000D03*G75*G03X700000Y300000I200000J0D01*%LPC*%D10*X0Y0D03*M02*";
  return text;
}

TEST(GerberReader, BatchedMergeMatchesOneByOne) {
  for (const std::string &text :
       {MixedBoard(),
        Header + "%ADD10C,1*%%LPC*%D10*X0Y0D03*%LPD*%X500000Y0D03*%LPC*%X700000Y0D03*M02*"}) {
    const TPaths reference = Parse(text, 100, mmOneByOne);
    const TPaths batched = Parse(text, 100, mmBatched);
    EXPECT_GT(PathsArea(reference), 0);
    // Intersections are rounded to whole units, so edges may shift by up
    // to one unit depending on the order of the operations.
    const double rounding = static_cast<double>(PathsLength(reference, true, 0));
    EXPECT_LT(XorArea(reference, batched), rounding);
    EXPECT_LT(XorArea(reference, batched), 0.002 * PathsArea(reference));
  }
}

TEST(GerberReader, HairlineDrawsIgnoreTheAperture) {
  TGerberOptions options;
  options.Hairline = true;
  const TPaths thin = ParseGerber(Header + "%ADD10C,2*%D10*X0Y0D02*X1000000Y0D01*M02*", options);
  EXPECT_EQ(PathsBounds(thin).top, -1);
  EXPECT_EQ(PathsBounds(thin).bottom, 1);
  // Draws need no aperture at all then.
  EXPECT_FALSE(ParseGerber(Header + "X0Y0D02*X1000000Y0D01*M02*", options).empty());
}

TEST(GerberReader, LoadMakesTheCopperLevel) {
  const auto folder = std::filesystem::temp_directory_path() / "brennix-gerber-load";
  std::filesystem::create_directories(folder);
  const std::string text = Header + "%ADD10R,2X1*%D10*X3000000Y2000000D03*M02*";
  // The same board as UTF-16 with a byte-order mark.
  std::string wide = "\xFF\xFE";
  for (const char c : text)
    wide += std::string(1, c) + '\0';
  for (const std::string &bytes : {text, wide}) {
    const auto path = (folder / "board.gtl").string();
    std::ofstream(path, std::ios::binary) << bytes;
    TReadOptions options;
    options.UnitsPerMM = 100;
    const TReadResult result = LoadGerberFile(path, options);
    EXPECT_TRUE(result.Gerber);
    ASSERT_EQ(result.Levels.size(), 1u);
    const TLevel &level = *result.Levels[0];
    EXPECT_EQ(level.Name(), "Copper");
    EXPECT_EQ(level.Kind(), lkArea);
    EXPECT_EQ(level.Color(), 0xFFC00000u);
    EXPECT_EQ(level.Height(), 5);
    ASSERT_EQ(level.Input()->size(), 1u);
    EXPECT_NEAR(PathsArea(level.Input()->front()), 200 * 100, 1);
    // The size counts from the file's origin: the right and top edges.
    EXPECT_EQ(result.Size, (TIntSize{3100, 2050}));
  }
  std::filesystem::remove_all(folder);
  EXPECT_THROW(LoadGerberFile((folder / "missing.gbr").string(), {}), TReadError);
}

} // namespace

namespace {

// Each historic or legacy file beside a modern file that means the same.
struct TSameImage {
  const char *Name;
  std::string Legacy, Modern;
};

TEST(GerberReader, HistoricFormsReadAsTheirModernEquivalents) {
  const std::string inch = "%MOIN*%%ADD10R,0.1X0.05*%D10*";
  const std::string mm = "%MOMM*%%ADD10R,1X0.5*%D10*";
  const std::string mmPad = "%MOMM*%%ADD10R,1X0.5*%%ADD11R,0.5X1*%%ADD12R,2X0.5*%";
  const TSameImage cases[] = {
      {"trailing zeros omitted", "%FSTAX24Y24*%" + inch + "X15Y-025D03*X0Y0D02*X2D01*M02*",
       "%FSLAX24Y24*%" + inch + "X150000Y-025000D03*X0Y0D02*X200000D01*M02*"},
      {"no omission letter", "%FSAX24Y24*%" + inch + "X15000Y2500D03*M02*",
       "%FSLAX24Y24*%" + inch + "X15000Y2500D03*M02*"},
      {"sequence digit counts", "%FSLAN2G2X34Y34D2M2*%" + inch + "N12X15000Y2500D03*M02*",
       "%FSLAX34Y34*%" + inch + "X15000Y2500D03*M02*"},
      {"X and Y formats differ", "%FSLAX24Y35*%" + inch + "X123456Y1234567D03*M02*",
       "%FSLAX35Y35*%" + inch + "X1234560Y1234567D03*M02*"},
      {"incremental in FS", "%FSLIX25Y25*%" + mm + "X100000Y50000D02*X100000Y0D01*Y100000D03*M02*",
       "%FSLAX25Y25*%" + mm + "X100000Y50000D02*X200000Y50000D01*Y150000D03*M02*"},
      {"G91 then G90", "%FSLAX25Y25*%" + mm + "G91*X100000Y0D03*X100000Y0D03*G90*X0Y0D03*M02*",
       "%FSLAX25Y25*%" + mm + "X100000Y0D03*X200000Y0D03*X0Y0D03*M02*"},
      {"several commands in one block", "%FSLAX25Y25*MOMM*ADD10R,1X0.5*%D10*X0Y0D03*M02*",
       "%FSLAX25Y25*%" + mm + "X0Y0D03*M02*"},
      {"a block over several lines",
       "%FSLAX25Y25*\n  MOMM*\r\n  ADD10R,\n1X0.5*\n%\nD10*X0Y0D03*M02*",
       "%FSLAX25Y25*%" + mm + "X0Y0D03*M02*"},
      {"G70 and G71",
       "%FSLAX25Y25*%G70*%ADD10R,0.1X0.05*%G71*%ADD11R,1X1*%D10*X0Y0D03*D11*X1000000Y0D03*M02*",
       "%FSLAX25Y25*%%MOIN*%%ADD10R,0.1X0.05*%%MOMM*%%ADD11R,1X1*%D10*X0Y0D03*D11*X1000000Y0D03*"
       "M02*"},
      {"names, labels and G55 change nothing",
       "%FSLAX25Y25*%%INBOARD*%%LNTOP*%%ASAXBY*%%IPPOS*%%MIA0B0*%%OFA0B0*%%SFA1B1*%%IR0*%" + mm +
           "G55*X0Y0D03*M02*",
       "%FSLAX25Y25*%" + mm + "X0Y0D03*M02*"},
      {"mirror", "%FSLAX25Y25*%%MIA1B0*%" + mm + "X300000Y100000D03*M02*",
       "%FSLAX25Y25*%" + mm + "X-300000Y100000D03*M02*"},
      {"offset", "%FSLAX25Y25*%%OFA1B2*%" + mm + "X300000Y100000D03*M02*",
       "%FSLAX25Y25*%" + mm + "X400000Y300000D03*M02*"},
      {"scale", "%FSLAX25Y25*%%SFA2B1*%" + mmPad + "D10*X300000Y100000D03*M02*",
       "%FSLAX25Y25*%" + mmPad + "D12*X600000Y100000D03*M02*"},
      {"rotation", "%FSLAX25Y25*%%IR90*%" + mmPad + "D10*X300000Y100000D03*M02*",
       "%FSLAX25Y25*%" + mmPad + "D11*X-100000Y300000D03*M02*"},
      {"axes swapped", "%FSLAX25Y25*%%ASAYBX*%" + mmPad + "D10*X300000Y100000D03*M02*",
       "%FSLAX25Y25*%" + mmPad + "D11*X100000Y300000D03*M02*"},
      {"negative image", "%FSLAX25Y25*%%IPNEG*%" + mmPad + "D11*X0Y0D03*X300000Y0D03*M02*",
       "%FSLAX25Y25*%" + mmPad +
           "%ADD13R,3.5X1*%D13*X150000Y0D03*%LPC*%D11*X0Y0D03*X300000Y0D03*M02*"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    const TPaths legacy = Parse(c.Legacy);
    const TPaths modern = Parse(c.Modern);
    ASSERT_FALSE(modern.empty());
    EXPECT_EQ(XorArea(legacy, modern), 0);
    EXPECT_EQ(PathsBounds(legacy).right, PathsBounds(modern).right);
  }
}

TEST(GerberReader, FilesWithoutAUnitAreInInches) {
  // Old exports never say their unit; gerbv and the RS-274-D tradition read inch.
  const TPaths silent = Parse("%FSLAX24Y24*%%ADD10C,0.01*%D10*X10000Y0D03*M02*");
  const TPaths inch = Parse("%FSLAX24Y24*%%MOIN*%%ADD10C,0.01*%D10*X10000Y0D03*M02*");
  EXPECT_EQ(XorArea(silent, inch), 0);
  EXPECT_EQ(PathsBounds(silent).right, 2540 + 13);
  // A unit given anywhere, even by G71 after the apertures, counts as given.
  EXPECT_EQ(PathsBounds(Parse("%FSLAX24Y24*%%ADD10C,1*%G71*D10*X10000Y0D03*M02*")).right, 150);
}

TEST(GerberReader, DrillFilesAreNamed) {
  for (const char *drill :
       {"M48\r\nINCH,TZ\r\nT01C0.020\r\n%\r\nT01\r\nX1000Y1000\r\nM30\r\n",
        ";DRILL file\n; FORMAT={2:4/ absolute / inch}\nM48\nMETRIC,TZ\nT1C0.8\n%\nM30\n",
        "G90\r\nM72\r\nM48\r\nT0C0.006\r\n", "%\nM48\nM72\nINCH,TZ\n"}) {
    SCOPED_TRACE(drill);
    EXPECT_EQ(ParseError(drill), "This is an Excellon drill file, not a Gerber layer");
  }
  // "M48" further down a Gerber file is no drill header.
  EXPECT_EQ(ParseError("G04 M48*\n" + Header + "M02*"), "");
}

TEST(GerberReader, PicturesAreNamedNotQuoted) {
  // Files with an extension no other reader takes end here, pictures too.
  using namespace std::string_literals;
  const std::string other = "pictures are read as GIF, PNG, JPEG, BMP or TIFF; save it as one "
                            "of those and open that";
  struct TCase {
    std::string Bytes, Message;
  } cases[] = {
      {"RIFF\x24\x10\0\0WEBPVP8 \x18\x10\0\0\x10\xff"s,
       "This file holds a picture in WebP format, not a Gerber layer: " + other},
      {"\0\0\0\x1c" "ftypavif\0\0\0\0"s,
       "This file holds a picture in AVIF format, not a Gerber layer: " + other},
      {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s,
       "This file holds a picture in PNG format, not a Gerber layer: give it the extension .png "
       "to open it as a picture"},
      {"\xFF\xD8\xFF\xE0\0\x10JFIF"s,
       "This file holds a picture in JPEG format, not a Gerber layer: give it the extension "
       ".jpeg to open it as a picture"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Message);
    EXPECT_EQ(ParseError(c.Bytes), c.Message);
  }
  // A Gerber layer that merely mentions a format is read as one.
  EXPECT_EQ(ParseError("G04 RIFF WEBP GIF89a*\n" + Header + "M02*"), "");
}

} // namespace

namespace {

TEST(GerberReader, BoardsLeftOfOrBelowTheOriginMoveIntoTheDrawing) {
  // Nothing left of or below the origin is burnt: an axis with negative
  // coordinates is moved to start at 0; the other axis keeps its place.
  const auto path =
      (std::filesystem::temp_directory_path() / "brennix-gerber-negative.gbr").string();
  const struct {
    const char *Flashes;
    TIntSize Size;
    IntRect Bounds;
  } cases[] = {{"X-1000000Y500000D03*X1000000Y500000D03*", {2200, 550}, {0, 450, 2200, 550}},
               {"X1000000Y-3000000D03*", {1100, 100}, {900, 0, 1100, 100}},
               {"X1000000Y3000000D03*", {1100, 3050}, {900, 2950, 1100, 3050}}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Flashes);
    std::ofstream(path, std::ios::binary) << Header + "%ADD10R,2X1*%D10*" + c.Flashes + "M02*";
    TReadOptions options;
    options.UnitsPerMM = 100;
    const TReadResult result = LoadGerberFile(path, options);
    EXPECT_EQ(result.Size, c.Size);
    const IntRect b = PathsBounds(result.Levels[0]->Input()->front());
    EXPECT_EQ(b.left, c.Bounds.left);
    EXPECT_EQ(b.top, c.Bounds.top);
    EXPECT_EQ(b.right, c.Bounds.right);
    EXPECT_EQ(b.bottom, c.Bounds.bottom);
  }
  std::filesystem::remove(path);
}

} // namespace

namespace {

TEST(GerberReader, ReportCountsCommandsThatChangeNothingHere) {
  const std::string text = Header +
                           "%TF.FileFunction,Copper,L1,Top*%%INBOARD*%%KOC*%%KOB*%%IJA0B0*%"
                           "%ADD10C,0.5*%D10*X0Y0D03*M02*";
  std::vector<std::string> report;
  TGerberOptions options;
  options.Report = &report;
  const TPaths image = ParseGerber(text, options);
  EXPECT_EQ(image.size(), 1u);
  // Attributes and names describe the board and are not mentioned.
  const std::vector<std::string> expected = {"1 %IJ% command ignored", "2 %KO% commands ignored"};
  EXPECT_EQ(report, expected);
  // Without a place for it nothing is told, and the image is the same.
  EXPECT_EQ(ParseGerber(text, TGerberOptions()), image);
}

} // namespace
