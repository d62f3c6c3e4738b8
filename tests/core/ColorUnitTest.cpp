#include "core/ColorUnit.h"

#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <QColor>
#include <QString>

#include <gtest/gtest.h>

#include "core/Level.h"

namespace {

struct TLabCase {
  std::uint32_t Argb;
  TLabColor Lab;
};
// White is not exactly neutral before rounding (the white point differs from
// the matrix's own white); transparent black reads as black because alpha is
// ignored by the conversion itself.
constexpr TLabCase LabCases[] = {
    {0xFFFFFFFF, {100, 0, 0}}, {0xFFFF0000, {53, 80, 67}}, {0xFF808080, {54, 0, 0}},
    {0xFF000000, {0, 0, 0}},   {0x00000000, {0, 0, 0}},    {0x00FFFFFF, {100, 0, 0}},
};

TEST(ColorToLab, KnownColours) {
  for (const auto &c : LabCases) {
    SCOPED_TRACE(c.Argb);
    EXPECT_EQ(ColorToLab(c.Argb), c.Lab);
  }
}

TEST(ColorToLab, StaysInRangeForEveryChannelCombination) {
  // Saturated corners push a and b furthest; every value must stay clamped.
  for (std::uint32_t r = 0; r < 256; r += 15)
    for (std::uint32_t g = 0; g < 256; g += 15)
      for (std::uint32_t b = 0; b < 256; b += 15) {
        const TLabColor lab = ColorToLab(0xFF000000u | r << 16 | g << 8 | b);
        ASSERT_GE(lab.L, 0);
        ASSERT_LE(lab.L, 100);
        ASSERT_GE(lab.a, -128);
        ASSERT_LE(lab.a, 127);
        ASSERT_GE(lab.b, -128);
        ASSERT_LE(lab.b, 127);
      }
}

int Channel(std::uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

TEST(LabToColor, InvertsColorToLab) {
  // Channels near zero move a few steps (the 0.45 power is steep there), so
  // compare in Lab: a wrong inverse matrix would be off by far more than one.
  for (const auto &entry : NamedColors()) {
    SCOPED_TRACE(entry.Name);
    const TLabColor lab = ColorToLab(entry.Value);
    const std::uint32_t back = LabToColor(lab);
    EXPECT_EQ(back >> 24, 0xFFu);
    const TLabColor again = ColorToLab(back);
    EXPECT_LE(std::abs(again.L - lab.L), 1);
    EXPECT_LE(std::abs(again.a - lab.a), 1);
    EXPECT_LE(std::abs(again.b - lab.b), 1);
  }
  EXPECT_EQ(LabToColor({100, 0, 0}), 0xFFFFFFFFu);
}

TEST(LabToColor, NonPositiveLinearChannelsGiveZero) {
  EXPECT_EQ(LabToColor({0, 0, 0}), 0xFF000000u);
  // Far out of gamut: the linear red of a saturated green is negative.
  const std::uint32_t green = LabToColor({50, -128, 0});
  EXPECT_EQ(Channel(green, 16), 0);
  EXPECT_GT(Channel(green, 8), 100);
  // And a saturated blue-violet leaves green negative.
  EXPECT_EQ(Channel(LabToColor({30, 127, -128}), 8), 0);
}

struct TDistanceCase {
  TLabColor A, B;
  std::int32_t Distance;
};
constexpr TDistanceCase DistanceCases[] = {
    {{50, 10, 0}, {50, 12, 0}, 0}, // below 3 on a vanishes
    {{50, 0, 10}, {50, 0, 12}, 0}, // and on b
    {{50, 10, 0}, {50, 13, 0}, 1}, // 3 apart counts once
    {{0, 0, 0}, {0, -5, 0}, 1},    // truncation toward zero: 5 div 3 = 1
    {{0, 0, 0}, {0, 0, -6}, 4},    // 6 div 3 = 2
    {{53, 0, 0}, {50, 0, 0}, 9},   // lightness is not divided
    {{100, 127, -128}, {0, -128, 127}, 10000 + 85 * 85 + 85 * 85},
};

TEST(LabDistance, Cases) {
  for (const auto &c : DistanceCases) {
    EXPECT_EQ(LabDistance(c.A, c.B), c.Distance);
    EXPECT_EQ(LabDistance(c.B, c.A), c.Distance);
  }
}

TEST(ClusterDistance, UsesTruncatedMeans) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> l(0, 100), ab(-128, 127);
  for (int i = 0; i < 1000; ++i) {
    const TLabColor a{l(random), ab(random), ab(random)}, b{l(random), ab(random), ab(random)};
    ASSERT_EQ(ClusterDistance(a, 1, b, 1), LabDistance(a, b));
  }
  // Means (5, -3, 0) and (3, 3, 0): dL 2, da -6 div 3 = -2.
  EXPECT_EQ(ClusterDistance({10, -7, 1}, 2, {9, 10, 2}, 3), 4 + 4);
  // The mean components are truncated before the difference is divided by 3.
  EXPECT_EQ(ClusterDistance({0, 11, 0}, 2, {0, 0, 0}, 5), 1); // 5 div 3
}

TEST(NamedColors, MatchTheCssKeywords) {
  const auto &table = NamedColors();
  ASSERT_EQ(table.size(), 148u);
  EXPECT_EQ(std::string(table.back().Name), "Null");
  EXPECT_EQ(table.back().Value, 0u);
  for (std::size_t i = 0; i + 1 < table.size(); ++i) {
    const TNamedColor &entry = table[i];
    SCOPED_TRACE(entry.Name);
    // Qt knows the same keywords (SVG 1.1 = CSS 3): an independent check of the values.
    const QColor qt(QString::fromLatin1(entry.Name).toLower());
    ASSERT_TRUE(qt.isValid());
    EXPECT_EQ(entry.Value, static_cast<std::uint32_t>(qt.rgba()));
    if (i > 0) {
      EXPECT_LT(QString::fromLatin1(table[i - 1].Name), QString::fromLatin1(entry.Name));
    }
  }
  EXPECT_EQ(FindNamedColor("Aliceblue"), 0xFFF0F8FFu);
  EXPECT_EQ(FindNamedColor("Darkgray"), 0xFFA9A9A9u);
  EXPECT_EQ(FindNamedColor("Green"), 0xFF008000u);
}

TEST(NamedColors, LookUpIgnoresCaseAndKnowsEveryName) {
  EXPECT_EQ(FindNamedColor("DarkSlateGrey"), 0xFF2F4F4Fu);
  EXPECT_EQ(FindNamedColor("CYAN"), 0xFF00FFFFu);
  EXPECT_EQ(FindNamedColor("magenta"), 0xFFFF00FFu);
  EXPECT_EQ(FindNamedColor("null"), 0u);
  EXPECT_FALSE(FindNamedColor("url(#g)").has_value());
  EXPECT_FALSE(FindNamedColor("").has_value());
  EXPECT_FALSE(FindNamedColor("Red ").has_value());

  TColorScanner scanner;
  std::vector<std::pair<std::uint32_t, std::string>> calls;
  scanner.Call = [&](std::uint32_t argb, const std::string &name) {
    calls.emplace_back(argb, name);
  };
  EXPECT_TRUE(scanner.Scan("lightGrey"));
  EXPECT_FALSE(scanner.Scan("transparent"));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].first, 0xFFD3D3D3u);
  EXPECT_EQ(calls[0].second, "lightGrey");
}

TEST(EnumerateColorNames, ReportsTheFirstNameOfEachValue) {
  std::vector<std::pair<std::uint32_t, std::string>> calls;
  EnumerateColorNames(
      [&](std::uint32_t argb, const std::string &name) { calls.emplace_back(argb, name); });
  ASSERT_EQ(calls.size(), 148u);
  std::set<std::string> names;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].first, NamedColors()[i].Value) << i;
    EXPECT_EQ(calls[i].second.find("grey"), std::string::npos) << calls[i].second;
    names.insert(calls[i].second);
  }
  EXPECT_EQ(names.size(), 139u);
  EXPECT_EQ(calls[20].second, "Aqua");    // Cyan's entry
  EXPECT_EQ(calls[85].second, "Fuchsia"); // Magenta's entry
  EXPECT_EQ(calls[26].second, "Darkgray");
  EXPECT_EQ(calls[147].second, "Null");
}

struct TNameCase {
  std::uint32_t Argb;
  const char *Name;
};
// Black and Null are equally near pure black; Aqua and Cyan are the same
// colour: the earlier name wins both ties.
constexpr TNameCase NameCases[] = {
    {0xFF000000, "Black"}, {0xFF00FFFF, "Aqua"},      {0xFFFF00FF, "Fuchsia"},
    {0xFFFF0000, "Red"},   {0xFF808080, "Gray"},      {0xFFFFFFFF, "White"},
    {0xFF010203, "Black"}, {0xFFF0F8FF, "Aliceblue"}, {0xFF2F4F4F, "Darkslategray"},
};

TEST(GenerateName, NamesAndColoursALevel) {
  for (const auto &c : NameCases) {
    SCOPED_TRACE(c.Name);
    TLevel level(lkLines);
    const TLabColor lab = ColorToLab(c.Argb);
    GenerateName(level, lab);
    EXPECT_EQ(level.Name(), c.Name);
    EXPECT_EQ(level.LabColor(), lab);
    const auto darker = static_cast<std::int32_t>(std::nearbyint(lab.L * 0.9));
    EXPECT_EQ(level.Color(), LabToColor({darker, lab.a, lab.b}));
  }
}

TEST(GenerateName, DisplayColourIsATenthDarker) {
  TLevel white(lkArea);
  GenerateName(white, {100, 0, 0});
  EXPECT_EQ(white.Color(), LabToColor({90, 0, 0}));
  EXPECT_LT(Channel(white.Color(), 8), 255);
  EXPECT_GT(Channel(white.Color(), 8), 200);
  // 5 x 0.9 = 4.5 rounds to the even 4.
  TLevel dark(lkLines);
  GenerateName(dark, {5, 0, 0});
  EXPECT_EQ(dark.Color(), LabToColor({4, 0, 0}));
  EXPECT_NE(LabToColor({4, 0, 0}), LabToColor({5, 0, 0}));
}

} // namespace
