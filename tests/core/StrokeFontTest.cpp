#include <cmath>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

#include "core/StrokeFont.h"

namespace {

void ExpectNear(const TStrokePoint &a, const TStrokePoint &b) {
  EXPECT_NEAR(a.X, b.X, 1e-9);
  EXPECT_NEAR(a.Y, b.Y, 1e-9);
}

void ExpectStrokes(const std::vector<TStroke> &actual, const std::vector<TStroke> &expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(actual[i].size(), expected[i].size());
    for (std::size_t j = 0; j < actual[i].size(); ++j)
      ExpectNear(actual[i][j], expected[i][j]);
  }
}

} // namespace

// The simplex Roman glyphs in cap heights (the Hershey grid has 21 units
// from baseline to cap top and Y pointing down).
TEST(StrokeFont, GlyphsFromTheFontData) {
  constexpr double u = 1.0 / 21;
  struct TCase {
    char Character;
    double Left, Right;
    std::vector<TStroke> Strokes;
  };
  const TCase cases[] = {
      {'A', -9 * u, 9 * u, {{{0, 1}, {-8 * u, 0}}, {{0, 1}, {8 * u, 0}}, {{-5 * u, 7 * u}, {5 * u, 7 * u}}}},
      {'L', -10 * u, 7 * u, {{{-6 * u, 1}, {-6 * u, 0}}, {{-6 * u, 0}, {6 * u, 0}}}},
      {'-', -13 * u, 13 * u, {{{-9 * u, 9 * u}, {9 * u, 9 * u}}}},
      {' ', -8 * u, 8 * u, {}},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Character);
    const TStrokeGlyph glyph = StrokeGlyph(static_cast<unsigned char>(c.Character));
    EXPECT_NEAR(glyph.Left, c.Left, 1e-12);
    EXPECT_NEAR(glyph.Right, c.Right, 1e-12);
    ExpectStrokes(glyph.Strokes, c.Strokes);
  }
  // Every printable character has a glyph with a positive advance, and the
  // last one ("~") is read as well as the first.
  for (int c = 33; c <= 126; ++c) {
    SCOPED_TRACE(c);
    const TStrokeGlyph glyph = StrokeGlyph(static_cast<unsigned char>(c));
    EXPECT_GT(glyph.Right - glyph.Left, 0);
    EXPECT_FALSE(glyph.Strokes.empty());
  }
  // Characters outside the font take the place of a "?", never nothing.
  const TStrokeGlyph question = StrokeGlyph('?');
  for (unsigned char c : {0, 10, 127, 200}) {
    const TStrokeGlyph glyph = StrokeGlyph(c);
    EXPECT_EQ(glyph.Strokes.size(), question.Strokes.size());
  }
}

TEST(StrokeFont, LayoutAdvancesAlongTheDirection) {
  const TStrokeGlyph a = StrokeGlyph('A'), l = StrokeGlyph('L');
  // Proportional: each glyph advances by its own width at the given height.
  TStrokeTextStyle style;
  style.Height = 10;
  TStrokeText text = LayoutStrokeText("AL", {100, 200}, style);
  ExpectNear(text.End, {100 + 10 * (a.Right - a.Left + l.Right - l.Left), 200});
  ASSERT_EQ(text.Strokes.size(), a.Strokes.size() + l.Strokes.size());
  // The apex of the A: its centre line lies -Left from the origin.
  ExpectNear(text.Strokes[0][0], {100 - 10 * a.Left, 210});

  // Fixed pitch, turned a quarter turn: the run goes up the page and "up"
  // points to the left; the L's foot runs along the direction.
  style.Width = 6;
  style.Advance = 9;
  style.Direction = std::numbers::pi / 2;
  text = LayoutStrokeText("LL", {0, 0}, style);
  ExpectNear(text.End, {0, 18});
  ASSERT_EQ(text.Strokes.size(), 4u);
  const double scaleX = 6 / StrokeCapitalWidth;
  const TStroke &foot = text.Strokes[3];
  ExpectNear(foot[0], {0, 9 + 3 + scaleX * l.Strokes[1][0].X});
  ExpectNear(foot[1], {0, 9 + 3 + scaleX * l.Strokes[1][1].X});
  // The L's stem rises 10 to the left of the baseline.
  ExpectNear(text.Strokes[0][0], {-10, 3 + scaleX * l.Strokes[0][0].X});

  // A slant leans the tops forward by slant times the height.
  style = {};
  style.Height = 21;
  style.Slant = 0.5;
  text = LayoutStrokeText("L", {0, 0}, style);
  const TStroke &stem = text.Strokes[0];
  EXPECT_NEAR(stem[0].X - stem[1].X, 0.5 * 21, 1e-9);
  EXPECT_NEAR(stem[0].Y - stem[1].Y, 21, 1e-9);

  // Blanks advance and draw nothing; an empty text stays where it starts.
  style = {};
  text = LayoutStrokeText("   ", {1, 2}, style);
  EXPECT_TRUE(text.Strokes.empty());
  ExpectNear(text.End, {1 + 3 * (16.0 / 21), 2});
  ExpectNear(LayoutStrokeText("", {1, 2}, style).End, {1, 2});
}

TEST(StrokeFont, LongTextStaysLinear) {
  // One layout parses each glyph once, whatever the length of the text.
  const std::string text(100000, 'W');
  TStrokeTextStyle style;
  const TStrokeText laid = LayoutStrokeText(text, {0, 0}, style);
  const TStrokeGlyph w = StrokeGlyph('W');
  EXPECT_EQ(laid.Strokes.size(), 100000 * w.Strokes.size());
  EXPECT_NEAR(laid.End.X, 100000 * (w.Right - w.Left), 1e-3);
}
