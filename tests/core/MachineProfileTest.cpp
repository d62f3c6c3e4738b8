#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "core/MachineProfile.h"
#include "core/MotionTime.h"

TEST(MachineProfile, WrittenPowerScalesToTheRangeAndRoundsOnce) {
  struct TCase {
    double Maximum;
    int Decimals;
    const char *At0, *At1, *At128, *At255;
  };
  // 1 × 1000 / 255 = 3.92 → 4; 128 × 1000 / 255 = 501.96 → 502;
  // 128 / 255 = 0.50196 → 0.502 at three decimals, 0.5 at one.
  const TCase cases[] = {
      {255, 0, "0", "1", "128", "255"},   {1000, 0, "0", "4", "502", "1000"},
      {1, 3, "0", "0.004", "0.502", "1"}, {1, 1, "0", "0", "0.5", "1"},
      {100, 0, "0", "0", "50", "100"},    {100, 2, "0", "0.39", "50.2", "100"},
      {12000, 0, "0", "47", "6024", "12000"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(testing::Message() << c.Maximum << " / " << c.Decimals);
    EXPECT_EQ(FormatPower(0, c.Maximum, c.Decimals), c.At0);
    EXPECT_EQ(FormatPower(1, c.Maximum, c.Decimals), c.At1);
    EXPECT_EQ(FormatPower(128, c.Maximum, c.Decimals), c.At128);
    EXPECT_EQ(FormatPower(255, c.Maximum, c.Decimals), c.At255);
  }
  // Ties go to even, as every rounding in the program does: 51 × 2.5 / 255 =
  // 0.5 → 0, 153 × 2.5 / 255 = 1.5 → 2.
  EXPECT_EQ(FormatPower(51, 2.5, 0), "0");
  EXPECT_EQ(FormatPower(153, 2.5, 0), "2");
}

TEST(MachineProfile, PresetsAreDistinctAndTheDefaultsComeFirst) {
  const auto &presets = Presets();
  ASSERT_FALSE(presets.empty());
  const TPreset &first = presets.front();
  EXPECT_STREQ(first.Name, "default");
  for (const TTemplateInfo &info : TemplateTable)
    EXPECT_STREQ(first.Templates[info.Kind], info.Default) << info.Name;
  EXPECT_STREQ(first.TravelMove, "");
  EXPECT_EQ(first.PowerMaximum, 255);
  EXPECT_EQ(first.PowerDecimals, 0);

  std::set<std::string> names;
  for (const TPreset &preset : presets) {
    EXPECT_TRUE(names.insert(preset.Name).second) << preset.Name;
    EXPECT_EQ(PresetByName(preset.Name), &preset);
  }
  EXPECT_EQ(PresetByName("GRBL"), PresetByName("grbl"));
  EXPECT_EQ(PresetByName("custom"), nullptr);
  EXPECT_EQ(PresetByName("grbl2"), nullptr);
  EXPECT_EQ(ProfileNames(),
            "default, grbl, grblhal, fluidnc, marlin, smoothie, reprap, linuxcnc, custom");

  TMachineProfile profile;
  profile.BedWidth = 400;
  profile.Acceleration = 800;
  TTemplates templates;
  ApplyPreset(*PresetByName("smoothie"), profile, templates);
  EXPECT_EQ(profile.Name, "smoothie");
  EXPECT_EQ(profile.PowerMaximum, 1);
  EXPECT_EQ(profile.PowerDecimals, 3);
  EXPECT_EQ(profile.TravelMove, "G0 X? Y?");
  EXPECT_EQ(templates.HeadMove, "G1 X? Y? S{power}");
  // The machine's own measures are not the firmware's.
  EXPECT_EQ(profile.BedWidth, 400);
  EXPECT_EQ(profile.Acceleration, 800);
  EXPECT_EQ(profile.Firmware(), fwSmoothie);
  profile.Name = "custom";
  EXPECT_EQ(profile.Firmware(), fwAny);
}

namespace {

// Moves along X from the origin: each to x at speed.
std::vector<TMotion> AlongX(std::initializer_list<std::pair<double, double>> points) {
  std::vector<TMotion> moves;
  for (const auto &[x, speed] : points)
    moves.push_back({x, 0, speed, false});
  return moves;
}

} // namespace

TEST(MotionTime, TrapezoidsAgainstHandComputedTimes) {
  struct TCase {
    const char *What;
    std::vector<TMotion> Moves;
    double Acceleration, Seconds;
  };
  const TCase cases[] = {
      // 100 mm at 10 mm/s, 100 mm/s²: 0.1 s up over 0.5 mm, 0.1 s down over
      // 0.5 mm, 99 mm cruising in 9.9 s.
      {"one long move", AlongX({{100, 10}}), 100, 10.1},
      // 1 mm at 50 mm/s never gets there: a triangle peaking at √(100 × 1) =
      // 10 mm/s, 0.1 s up and 0.1 s down.
      {"a short move", AlongX({{1, 50}}), 100, 0.2},
      // Ten collinear pieces run as one 20 mm line: 0.2 s of ramps + 19 mm / 10.
      {"collinear pieces", AlongX({{2, 10}, {4, 10}, {6, 10}, {8, 10}, {10, 10}, {12, 10},
                                   {14, 10}, {16, 10}, {18, 10}, {20, 10}}),
       100, 2.1},
      // Turning back stops the head: two separate 10.1 s moves.
      {"a reversal", AlongX({{100, 10}, {0, 10}}), 100, 20.2},
      // Without acceleration every move is length / speed.
      {"no acceleration", AlongX({{1, 50}, {0, 50}}), 0, 0.04},
      // A faster move after a slower one in line: the junction runs at the
      // slower speed: 0.05 s up over 0.025 mm, 9.975 mm at 1 mm/s, then from
      // 1 to 10 mm/s in 0.45 s over 2.475 mm, 0.5 s down over 2.5 mm and
      // 5.025 mm cruising.
      {"speeds in line", AlongX({{10, 1}, {20, 10}}), 20,
       0.05 + (10 - 0.025) / 1 + (10 - 1) / 20.0 + 10 / 20.0 + (10 - 99 / 40.0 - 2.5) / 10},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_NEAR(MotionSeconds(0, 0, c.Moves, c.Acceleration), c.Seconds, 1e-9);
  }
}

TEST(MotionTime, RasterOfManyShortMovesStopsAtEveryTurn) {
  // Ten rows of 20 mm at 10 mm/s, each cut into 2 mm pieces, 0.1 mm apart
  // and run alternately left and right, at 100 mm/s².
  std::vector<TMotion> moves;
  for (int row = 0; row < 10; ++row) {
    const double y = row * 0.1;
    if (row > 0)
      moves.push_back({moves.back().X, y, 10, false});
    for (int piece = 1; piece <= 10; ++piece)
      moves.push_back({row % 2 == 0 ? piece * 2.0 : 20 - piece * 2.0, y, 10, false});
  }
  // Each row: 20 / 10 + 10 / 100 = 2.1 s. Each 0.1 mm step between rows is a
  // triangle peaking at √(100 × 0.1) mm/s: 2√10 / 100 s.
  const double hand = 10 * 2.1 + 9 * 2 * std::sqrt(10.0) / 100;
  EXPECT_NEAR(MotionSeconds(0, 0, moves, 100), hand, 1e-9);
  // The plain sum of length / speed is shorter: 200 mm + 0.9 mm at 10 mm/s.
  EXPECT_NEAR(MotionSeconds(0, 0, moves, 0), 20.09, 1e-9);
}
