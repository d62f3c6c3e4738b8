// TEXT and MTEXT drawn as glyph outlines: needs Qt's font machinery, so this
// file runs with an application object of its own (offscreen, no display).
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../common/GuiEnvironment.h"
#include "core/Level.h"
#include "core/PathUtils.h"
#include "dxf/DxfReader.h"
#include "dxf/DxfText.h"

namespace {

const auto *const GuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new TGuiEnvironment("dxf_text_tests"));

std::string G(std::initializer_list<std::string> items) {
  std::string text;
  for (const auto &item : items)
    text += item + "\n";
  return text;
}

// A drawing in millimetres whose entities are placed after a mark at
// (-50, -50) on its own layer: the drawing is moved so the mark lands on the
// origin, so drawing point (x, y) is at internal (x + 50, y + 50) * 100.
// The default text style's font is an outline font unless told otherwise.
std::string Doc(const std::string &entities, const std::string &blocks = "",
                const std::string &font = "DejaVuSans.ttf") {
  std::string text = G({"0", "SECTION", "2", "HEADER", "9", "$INSUNITS", "70", "4", "0", "ENDSEC"});
  text += G({"0",        "SECTION", "2", "TABLES", "0", "TABLE", "2", "STYLE",  "0", "STYLE", "2",
             "STANDARD", "70",      "0", "40",     "0", "41",    "1", "50",     "0", "71",    "0",
             "42",       "2.5",     "3", font,     "4", "",      "0", "ENDTAB", "0", "ENDSEC"});
  if (!blocks.empty())
    text += G({"0", "SECTION", "2", "BLOCKS"}) + blocks + G({"0", "ENDSEC"});
  text += G({"0", "SECTION", "2", "ENTITIES", "0", "LINE", "8", "Mark", "10", "-50", "20", "-50",
             "11", "-49", "21", "-50"}) +
          entities + G({"0", "ENDSEC", "0", "EOF"});
  return text;
}

constexpr double Origin = 5000; // drawing point 0 in internal units

struct TLoaded {
  TReadResult Result;
  // The import report, one line each; nothing goes to a message box.
  std::string Messages;
};

TLoaded Load(const std::string &text) {
  TLoaded loaded;
  TReadOptions options;
  options.UnitsPerMM = 100;
  options.ShowMessage = [](const std::string &m) { ADD_FAILURE() << "message box: " << m; };
  loaded.Result = LoadDxf(text, options);
  for (const auto &line : loaded.Result.Report)
    loaded.Messages += line + "\n";
  return loaded;
}

struct TBox {
  double Left = 1e300, Bottom = 1e300, Right = -1e300, Top = -1e300;
  double Width() const { return Right - Left; }
  double Height() const { return Top - Bottom; }
};

// The box of the lines level of layer "T" (the text).
TBox TextBox(const TReadResult &result) {
  TBox box;
  for (const auto &level : result.Levels)
    if (level->Name() == "T" && level->Kind() == lkLines)
      for (const TPaths &set : *level->Input())
        for (const TPath &path : set)
          for (const auto &p : path) {
            box.Left = std::min(box.Left, static_cast<double>(p.X));
            box.Right = std::max(box.Right, static_cast<double>(p.X));
            box.Bottom = std::min(box.Bottom, static_cast<double>(p.Y));
            box.Top = std::max(box.Top, static_cast<double>(p.Y));
          }
  return box;
}

std::string Text(const std::string &value, std::initializer_list<std::string> extra = {},
                 const std::string &height = "10") {
  std::string text = G({"0", "TEXT", "8", "T", "10", "0", "20", "0", "40", height, "1", value});
  for (const auto &item : extra)
    text += item + "\n";
  return text;
}

TEST(DxfText, TextStandsItsHeightTallAtItsInsertionPoint) {
  const TLoaded loaded = Load(Doc(Text("H")));
  const TBox box = TextBox(loaded.Result);
  // Capitals are as tall as the height; the glyph keeps a small side bearing.
  EXPECT_NEAR(box.Height(), 1000, 20);
  EXPECT_NEAR(box.Bottom, Origin, 5);
  EXPECT_GE(box.Left, Origin);
  EXPECT_LT(box.Left, Origin + 250);
  EXPECT_EQ(loaded.Messages.find("TEXT is not supported"), std::string::npos) << loaded.Messages;
  // An outline font that is not installed is substituted, and said so.
  const TLoaded missing = Load(Doc(Text("H"), "", "nosuchfont.ttf"));
  EXPECT_NE(missing.Messages.find("\"nosuchfont\", which is not installed, is drawn in"),
            std::string::npos)
      << missing.Messages;
  EXPECT_NEAR(TextBox(missing.Result).Height(), 1000, 20);
}

TEST(DxfText, OutlineFontsDrawEdgesAndCadFontsSingleStrokes) {
  // "HI" (or its Cyrillic look-alikes): outlines are closed figures (the H's
  // edge and the I's), strokes open lines (three for the H, one for the I);
  // both have capitals the height tall.
  struct TCase {
    const char *Font;
    const char *Value;
    bool Strokes;
  };
  const TCase cases[] = {{"DejaVuSans.ttf", "HI", false},
                         {"txt", "HI", true},
                         {"romans.shx", "HI", true},
                         // Letters the stroke font does not have (Cyrillic):
                         // outlines of the default font keep them legible.
                         {"txt", "\\U+041D\\U+0406", false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.Font) + " " + c.Value);
    const TLoaded loaded = Load(Doc(Text(c.Value), "", c.Font));
    EXPECT_NEAR(TextBox(loaded.Result).Height(), 1000, 20);
    std::size_t paths = 0, closed = 0;
    for (const auto &level : loaded.Result.Levels)
      if (level->Name() == "T")
        for (const TPaths &set : *level->Input())
          for (const TPath &path : set) {
            ++paths;
            closed += path.size() > 3 && path.front() == path.back();
          }
    EXPECT_EQ(paths, c.Strokes ? 4u : 2u);
    EXPECT_EQ(closed, c.Strokes ? 0u : 2u);
  }
}

TEST(DxfText, RotationWidthFactorAndObliqueShapeTheText) {
  const TBox plain = TextBox(Load(Doc(Text("HH"))).Result);
  const TBox turned = TextBox(Load(Doc(Text("HH", {"50", "90"}))).Result);
  EXPECT_NEAR(turned.Width(), plain.Height(), 10);
  EXPECT_NEAR(turned.Height(), plain.Width(), 10);
  EXPECT_LE(turned.Right, Origin + 5); // turned left about the insertion point
  const TBox wide = TextBox(Load(Doc(Text("HH", {"41", "2"}))).Result);
  EXPECT_NEAR(wide.Width(), 2 * plain.Width(), 30);
  EXPECT_NEAR(wide.Height(), plain.Height(), 10);
  const TBox leaning = TextBox(Load(Doc(Text("HH", {"51", "30"}))).Result);
  EXPECT_NEAR(leaning.Width() - plain.Width(), std::tan(30 * M_PI / 180) * plain.Height(), 30);
}

TEST(DxfText, JustificationPlacesTheTextOnItsSecondPoint) {
  // Second point at (0, 0), insertion point elsewhere: the justification
  // decides which side of the text lies on (0, 0).
  const auto at = [](const char *h, const char *v) {
    return TextBox(Load(Doc(G({"0",  "TEXT", "8",  "T",  "10", "30", "20", "30", "11", "0",
                               "21", "0",    "40", "10", "1",  "Hg", "72", h,    "73", v})))
                       .Result);
  };
  const TBox centre = at("1", "0");
  EXPECT_NEAR((centre.Left + centre.Right) / 2, Origin, 30);
  const TBox right = at("2", "0");
  EXPECT_NEAR(right.Right, Origin, 150);
  EXPECT_LT(right.Left, Origin - 1000);
  const TBox top = at("0", "3");
  EXPECT_NEAR(top.Top, Origin, 60);
  const TBox middle = at("4", "0");
  // Middle: halfway up the capitals, so the descender reaches further down.
  EXPECT_NEAR((middle.Left + middle.Right) / 2, Origin, 30);
  EXPECT_LT(middle.Bottom, Origin - 500);
  EXPECT_GT(middle.Top, Origin + 450);
  const TBox bottom = at("0", "1");
  // Bottom: the font's descent line, a little below the g's tail.
  EXPECT_NEAR(bottom.Bottom, Origin, 60);
  EXPECT_GT(bottom.Bottom, Origin - 5);
  // Fit: from the insertion point to the second point, height kept.
  const TBox fit = TextBox(Load(Doc(G({"0", "TEXT", "8", "T", "10", "0", "20", "0", "11", "80",
                                       "21", "0", "40", "10", "1", "HH", "72", "5"})))
                               .Result);
  // The advance spans the points; the letters' side bearings stretch too.
  EXPECT_GT(fit.Left, Origin);
  EXPECT_LT(fit.Right, Origin + 8000);
  EXPECT_GT(fit.Width(), 0.8 * 8000);
  EXPECT_NEAR(fit.Height(), 1000, 20);
}

std::string MText(const std::string &value, const char *attachment, const char *width = "0") {
  return G({"0", "MTEXT", "8", "T", "10", "0", "20", "0", "40", "10", "41", width, "71", attachment,
            "1", value});
}

TEST(DxfText, MTextLinesAttachmentAndWrapping) {
  // Two lines: capitals of the first from 0 down, the second a line pitch
  // (5/3 of the height) further down.
  const TBox topLeft = TextBox(Load(Doc(MText("H\\PH", "1"))).Result);
  EXPECT_NEAR(topLeft.Top, Origin, 20);
  EXPECT_NEAR(topLeft.Bottom, Origin - 1000 - 1667, 30);
  EXPECT_GE(topLeft.Left, Origin);
  const TBox bottomRight = TextBox(Load(Doc(MText("H\\PH", "9"))).Result);
  EXPECT_NEAR(bottomRight.Bottom, Origin, 20);
  EXPECT_LE(bottomRight.Right, Origin + 5);
  EXPECT_NEAR(bottomRight.Height(), topLeft.Height(), 10);
  const TBox middleCentre = TextBox(Load(Doc(MText("H\\PH", "5"))).Result);
  EXPECT_NEAR((middleCentre.Top + middleCentre.Bottom) / 2, Origin, 30);
  EXPECT_NEAR((middleCentre.Left + middleCentre.Right) / 2, Origin, 30);

  // Turned by its angle (degrees) or its direction vector alike.
  for (const auto &turn : {G({"50", "90"}), G({"11", "0", "21", "1"})}) {
    const TBox turned =
        TextBox(Load(Doc(G({"0", "MTEXT", "8", "T", "10", "0", "20", "0", "40", "10", "71", "7"}) +
                         turn + G({"1", "HHH"})))
                    .Result);
    EXPECT_GT(turned.Height(), 2 * turned.Width()) << turn;
    EXPECT_NEAR(turned.Bottom, Origin, 250) << turn;
    EXPECT_LE(turned.Right, Origin + 5) << turn;
  }

  // Words wrap to the box's width.
  const TBox oneLine = TextBox(Load(Doc(MText("HHH HHH HHH", "1"))).Result);
  const TBox wrapped = TextBox(Load(Doc(MText("HHH HHH HHH", "1", "30"))).Result);
  EXPECT_GT(oneLine.Width(), 6000);
  EXPECT_LE(wrapped.Width(), 3000);
  EXPECT_NEAR(wrapped.Height(), 1000 + 2 * 1667, 40);

  // Formatting codes are dropped, and said so.
  const TLoaded formatted = Load(Doc(MText("{\\fArial|b1;\\H2x;H}\\PH", "1")));
  EXPECT_NEAR(TextBox(formatted.Result).Height(), topLeft.Height(), 10);
  EXPECT_NE(formatted.Messages.find("MTEXT formatting"), std::string::npos) << formatted.Messages;
}

TEST(DxfText, MTextCodesAreTakenApart) {
  struct TCase {
    const char *Value;
    std::vector<QString> Lines;
    bool Formatted;
  };
  const TCase cases[] = {
      {"one\\Ptwo", {"one", "two"}, false},
      {"{\\fArial|b1|i0;bold} text", {"bold text"}, true},
      {"\\A1;1\\S1/2;\" pipe", {"11/2\" pipe"}, true},
      {"a\\\\b \\{c\\} d\\~e", {"a\\b {c} d\u00A0e"}, false},
      {"\\U+00B0C and %%d", {"\u00B0C and \u00B0"}, false},
      {"\\LUnder\\l line", {"Under line"}, true},
  };
  for (const auto &c : cases) {
    const TDxfTextLines lines = DxfMTextLines(c.Value);
    EXPECT_EQ(lines.Lines, c.Lines) << c.Value;
    EXPECT_EQ(lines.Formatted, c.Formatted) << c.Value;
  }
  EXPECT_EQ(DxfTextValue("%%c10 %%p0.1 100%%%"), QString("\u230010 \u00B10.1 100%"));
  // Older drawings write their code page, not UTF-8.
  EXPECT_EQ(DxfTextValue("Ma\xdf"), QString("Ma\u00DF"));
}

TEST(DxfText, TextInsideBlocksAndItsEnclosedArea) {
  const std::string block =
      G({"0", "BLOCK", "8", "0", "2", "LABEL", "70", "0", "10", "0", "20", "0"}) +
      G({"0", "TEXT", "8", "T", "10", "0", "20", "0", "40", "10", "1", "O"}) + G({"0", "ENDBLK"});
  const TLoaded loaded = Load(
      Doc(G({"0", "INSERT", "8", "0", "2", "LABEL", "10", "0", "20", "0", "41", "2", "42", "2"}),
          block));
  const TBox box = TextBox(loaded.Result);
  // The insert's scale doubles the text (the round O overshoots its capitals).
  EXPECT_NEAR(box.Height(), 2000, 80);
  // The O's outlines enclose a ring: the layer's area level holds it.
  const TLevel *areas = nullptr;
  for (const auto &level : loaded.Result.Levels)
    if (level->Name() == "T areas")
      areas = level.get();
  ASSERT_NE(areas, nullptr);
  TPaths all;
  for (const TPaths &set : *areas->Input())
    all.insert(all.end(), set.begin(), set.end());
  const double ring = std::fabs(PathsArea(all));
  EXPECT_GT(ring, 0.1 * box.Width() * box.Height());
  EXPECT_LT(ring, 0.6 * box.Width() * box.Height());
}

} // namespace
