// Text drawn as glyph outlines: needs Qt's font machinery, so this file
// runs with an application object of its own (offscreen, no display).
#include <chrono>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "../common/GuiEnvironment.h"
#include "core/ColorUnit.h"
#include "core/Level.h"
#include "core/PathUtils.h"
#include "svg/SvgReader.h"

namespace {

const auto *const GuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new TGuiEnvironment("svg_text_tests"));

TReadResult Load(const std::string &body) {
  TReadOptions options;
  options.UnitsPerMM = 100;
  options.Focus = 20;
  return LoadSvg(R"~(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 400 100" )~"
                 R"~(width="400mm" height="100mm">)~" +
                     body + "</svg>",
                 options);
}

double Area(const TReadResult &result) {
  double area = 0;
  for (const auto &level : result.Levels)
    if (level->Kind() == lkArea)
      for (const auto &set : *level->Input())
        area += PathsArea(set);
  return std::fabs(area);
}

// One user unit is a millimetre, 100 internal units.
// A square at the origin pins the drawing's left and top edges, so the
// drawing's size tells where the text ended.
const std::string Pin = R"~(<rect width="4" height="4" fill="blue"/>)~";

TEST(SvgText, GlyphsBecomeFilledOutlines) {
  // DejaVu Sans capitals stand 0.73 em above the baseline.
  const TReadResult result =
      Load(R"~(<text x="10" y="50" font-size="40" font-family="DejaVu Sans">H</text>)~");
  ASSERT_EQ(result.Levels.size(), 1u);
  EXPECT_EQ(result.Levels[0]->Kind(), lkArea);
  EXPECT_NEAR(result.Size.cy, 0.729 * 40 * 100, 40);
  EXPECT_TRUE(result.Report.empty()) << result.Report.front();
  // Twice the size is four times the area, through font-size or transform.
  const double small = Area(result);
  EXPECT_NEAR(Area(Load(R"~(<text x="10" y="80" font-size="80">H</text>)~")), 4 * small,
              small * 0.1);
  EXPECT_NEAR(Area(Load(R"~(<text x="5" y="40" font-size="40" transform="scale(2)">H</text>)~")),
              4 * small, small * 0.1);
  EXPECT_NEAR(Area(Load(R"~(<g font-size="20"><text x="5" y="80" font-size="400%">H</text></g>)~")),
              4 * small, small * 0.1);
  // Bold glyphs carry more ink.
  EXPECT_GT(Area(Load(R"~(<text x="10" y="50" font-size="40" font-weight="bold">H</text>)~")),
            small * 1.2);
}

TEST(SvgText, AnchorsAndOffsetsPlaceTheLine) {
  const auto right = [](const char *attributes) {
    return Load(Pin + "<text x=\"200\" y=\"50\" font-size=\"30\" " + attributes +
                ">Wide text</text>")
        .Size.cx;
  };
  const double start = right(""), middle = right("text-anchor=\"middle\""),
               end = right("text-anchor=\"end\"");
  EXPECT_NEAR(end, 200 * 100, 100); // the line ends at x
  EXPECT_GT(start - end, 100 * 100);
  EXPECT_NEAR(start - middle, (start - end) / 2, 100);
  // dx moves on from where the text stands; dy as well.
  EXPECT_NEAR(right("dx=\"20\""), start + 20 * 100, 100);
  const TReadResult down =
      Load(Pin + R"~(<text x="10" y="30" font-size="20">A<tspan dy="40">B</tspan></text>)~");
  const TReadResult level =
      Load(Pin + R"~(<text x="10" y="30" font-size="20">A<tspan>B</tspan></text>)~");
  EXPECT_NEAR(down.Size.cy - level.Size.cy, 40 * 100, 100);
}

TEST(SvgText, SpansKeepTheirOwnStyle) {
  const TReadResult result = Load(
      R"~(<text x="10" y="50" font-size="30" fill="red">Red <tspan fill="blue">blue</tspan></text>)~");
  std::vector<std::string> names;
  for (const auto &level : result.Levels)
    names.push_back(level->Name());
  const std::vector<std::string> expected = {
      NearestColorName(ColorToLab(PaletteColor(0xFFFF0000u))),
      NearestColorName(ColorToLab(PaletteColor(0xFF0000FFu)))};
  EXPECT_EQ(names, expected);
}

TEST(SvgText, MissingFontsFallBackAndAreReported) {
  const TReadResult result = Load(
      R"~(<text x="10" y="50" font-family="'No Such Font', Nor This">A</text><text y="90">B</text>)~"
      R"~(<text y="70" font-family="No Such Font, serif">C</text>)~");
  ASSERT_EQ(result.Report.size(), 1u);
  EXPECT_EQ(result.Report[0],
            "1 text in font 'No Such Font', which is not installed, drawn in DejaVu Sans (line 1)");
  EXPECT_FALSE(result.Levels.empty());
}

TEST(SvgText, HugeFontsAndTextsAreBounded) {
  const TReadResult huge =
      Load(R"~(<text y="50" font-size="1e30">A</text><rect width="9" height="9"/>)~");
  ASSERT_EQ(huge.Report.size(), 1u);
  EXPECT_EQ(huge.Report[0], "1 text in a font size beyond 100000 left out (line 1)");
  EXPECT_EQ(huge.Levels.size(), 1u);

  const std::string megabyte(1 << 20, 'x');
  const auto begin = std::chrono::steady_clock::now();
  const TReadResult big = Load("<text y=\"50\" font-size=\"0.5\">" + megabyte + "</text>");
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(60));
  ASSERT_FALSE(big.Report.empty());
  EXPECT_EQ(big.Report[0], "1 text beyond 200000 characters left out (line 1)");
}

} // namespace
