#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>
#include <string>

#include "core/GcodeCheck.h"

namespace {

TMachineProfile Profile(const char *name) {
  TMachineProfile profile;
  TTemplates templates;
  if (const TPreset *preset = PresetByName(name))
    ApplyPreset(*preset, profile, templates);
  else
    profile.Name = name;
  return profile;
}

std::string Listed(const std::vector<TGcodeProblem> &problems) {
  std::string text;
  for (const auto &problem : problems)
    text += ProblemText(problem) + "\n";
  return text;
}

} // namespace

TEST(GcodeCheck, FindsEachPlantedFault) {
  struct TCase {
    const char *Profile;
    const char *Text;
    const char *Problems; // one "line N: ..." a line
  };
  const TCase cases[] = {
      {"grbl", "G90\nF600\nG1 X1e3 Y0\nM5\n",
       "line 3: X is written with an exponent: \"1e3\"\n"},
      {"grbl", "F600\nG1 X10 Ynan\n", "line 2: Y is not a number: \"nan\"\n"},
      {"grbl", "M4 S1200\nF600\nG1 X1 Y1\nM4 S-5\nM5\n",
       "line 1: S1200 is outside the power range 0 to 1000\n"
       "line 4: S-5 is outside the power range 0 to 1000\n"},
      {"smoothie", "G1 F600\nG1 X1 Y1 S0.5\nG1 X2 Y1 S1.2\n",
       "line 3: S1.2 is outside the power range 0 to 1\n"},
      {"grbl", "F600\nG0 G1 X1 Y1\n",
       "line 2: more than one motion command (G0, G1, G2, G3) on one line\n"},
      {"grbl", "M106 S255\nF600\nG1 X1 Y1 Q5\nM107\n",
       "line 1: M106 is not a command this firmware knows\n"
       "line 3: the word Q5 is not one the firmware knows\n"
       "line 4: M107 is not a command this firmware knows\n"},
      {"grbl", "M3 S100 I\nM5\n", "line 1: I has no value\n"},
      {"default", "G1 X? Y?\n", "line 1: the character \"?\" is not G-code\n"},
      {"default", "MOVE 1 2\nM3 S255\n",
       "line 1: the word \"MOVE\" is not G-code\n"
       "line 2: M3 is not a command this firmware knows\n"},
      {"default", "M106 S255\nG1 F600\nG1 X1 Y1\n",
       "line 3: the laser is still on at the end of the file\n"},
      {"marlin", "M3 S255 I\nG0 X10 Y0\nG0 X10.1 Y0\nM5\n",
       "line 2: a rapid move of 10 mm with the laser on\n"},
      {"grbl", "G1 X5 Y5\nF0\nM5\n",
       "line 1: a feed move before any feed rate F was set\n"
       "line 2: the feed F0 is not positive\n"},
      {"default", "G1 F600 (feed\nG1 X1 X2 Y0\n",
       "line 1: a comment \"(\" is not closed on its line\n"
       "line 2: X appears twice on the line\n"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(Listed(CheckGcode(c.Text, Profile(c.Profile), 0.2)), c.Problems);
  }
}

TEST(GcodeCheck, WhatEachFirmwareAcceptsPassesClean) {
  struct TCase {
    const char *Profile;
    const char *Text;
  };
  const TCase cases[] = {
      // GRBL's rapid moves travel dark in laser mode; its settings lines pass.
      {"grbl", "$32=1\nG90 G21\nM4 S0\nF600\nG1 X1 Y0 S1000\nG0 X50 Y50\nM5\n%\n"},
      // Marlin takes flags; a rapid move shorter than the focus may stay lit.
      {"marlin", "M3 S204 I\nG1 F600\nG1 X1 Y1\nG0 X1.1 Y1\nM5\n"},
      // Smoothieware fires only during G1: the S left on the last one burns nothing.
      {"smoothie", "G1 F600 ; feed\nG1 X1 Y1 S0.5\nG0 X20 Y20\n"},
      // A dwell's S is seconds, not power; comments of both kinds; lower case.
      {"default", "G4 S300\n(a comment) g1 f600 ; and another\nG28\nM84\n"},
      {"reprap", "M452 P1 R255\nG1 F600\nG1 X1 Y1 S255\n"},
      {"linuxcnc", "G90 G21\nM3 S1000\nF600\nG1 X1 Y1\nM5\nM2\n"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(Listed(CheckGcode(c.Text, Profile(c.Profile), 0.2)), "");
  }
}

TEST(GcodeCheck, MovesOffTheBedNameTheSidesAndFollowTheModes) {
  TMachineProfile profile = Profile("grbl");
  profile.BedWidth = 100;
  profile.BedHeight = 50;
  const char *text = "F600\n"
                     "G1 X100 Y50\n"     // the far corner itself is on the bed
                     "G1 X120 Y-3\n"     // off right and bottom
                     "G0 X0 Y0\n"
                     "G91\nG1 X-1 Y51\n" // relative: (-1, 51)
                     "G90 G20\nG1 X4 Y1\n"; // inches: (101.6, 25.4)
  EXPECT_EQ(Listed(CheckGcode(text, profile, 0.2)),
            "line 3: the move to X120 Y-3 leaves the bed (100 x 50 mm) by 20 mm on the right, "
            "by 3 mm at the bottom\n"
            "line 6: the move to X-1 Y51 leaves the bed (100 x 50 mm) by 1 mm on the left, "
            "by 1 mm at the top\n"
            "line 8: the move to X101.6 Y25.4 leaves the bed (100 x 50 mm) by 1.6 mm on the right\n");
  // Without a bed nothing is off it.
  EXPECT_EQ(Listed(CheckGcode(text, Profile("grbl"), 0.2)), "");
}

TEST(GcodeCheck, RunningTimeCountsMovesRapidsAndDwells) {
  TMachineProfile marlin = Profile("default");
  marlin.Acceleration = 100;
  // 100 mm at 10 mm/s: 10.1 s; a 500 ms dwell; 100 mm back at the 100 mm/s
  // rapid rate just reaches it halfway: 2 s.
  const char *text = "G1 F600\nG1 X100 Y0\nG4 P500\nG0 X0 Y0\n";
  EXPECT_NEAR(GcodeSeconds(text, marlin, 100), 10.1 + 0.5 + 2, 1e-9);
  // GRBL counts P in seconds.
  TMachineProfile grbl = Profile("grbl");
  grbl.Acceleration = 100;
  EXPECT_NEAR(GcodeSeconds("F600\nG1 X100 Y0\nG4 P0.5\nG0 X0 Y0\n", grbl, 100), 12.6, 1e-9);
  // No acceleration: length / speed.
  marlin.Acceleration = 0;
  EXPECT_NEAR(GcodeSeconds(text, marlin, 100), 10 + 0.5 + 1, 1e-9);
}

// The check reads most numbers without the general conversion; a value one
// step off would move every later position and running time.
TEST(GcodeCheck, NumbersReadAsTheGeneralConversionReadsThem) {
  auto expectSame = [](const std::string &text) {
    double expected = 0;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    const double read = GcodeNumber(text);
    EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0) << text;
  };
  for (const char *text :
       {"0", "-0", "0.", ".5", "-.5", "007.50", "123.45", "0.1", "0.3", "-2.675", "9007199254740993",
        "999999999999999", "9999999999999999", "0.0000000000000000000001234", "1.7976931348623157",
        "123456789012345678901234567890", "0.00000000000000000000000001", "4503599627370497.5",
        "2.2250738585072014", "000000000000000000012.5", "1.000000000000000000000001"})
    expectSame(text);
  std::mt19937 random(11);
  std::uniform_int_distribution<int> length(1, 24), digit(0, 9), coin(0, 3);
  for (int round = 0; round < 20000; ++round) {
    std::string text = coin(random) == 0 ? "-" : "";
    const int digits = length(random);
    const int point = std::uniform_int_distribution<int>(0, digits)(random);
    for (int i = 0; i < digits; ++i) {
      if (i == point)
        text += '.';
      text += static_cast<char>('0' + digit(random));
    }
    expectSame(text);
  }
}
