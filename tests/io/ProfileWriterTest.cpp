#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../core/JobFixture.h"
#include "core/GcodeCheck.h"
#include "io/GcodeWriter.h"

namespace {

// The worked job of one lines level and one path, (0, 0) to (100, 0) at 100
// units per mm, 2 passes at 10 mm/s, at half power (128).
TGcodeJob WorkedJob(const char *preset) {
  TGcodeJob job;
  job.UnitsPerMM = 100;
  job.Focus = 20;
  TGcodeLevel level;
  level.Paths = {{{0, 0}, {100, 0}}};
  level.Speed = 1000;
  level.Power = 128;
  level.Passes = 2;
  job.Levels.push_back(level);
  ApplyPreset(*PresetByName(preset), job.Profile, job.Templates);
  return job;
}

// The file as its lines, split at CR LF.
std::vector<std::string> FileLines(const std::vector<std::string> &items) {
  const std::string text = GcodeFileText(items);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (auto end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string ReadFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(ProfileWriter, EachPresetWritesTheWorkedJobLineForLine) {
  const std::vector<std::string> grbl = {
      "M5", "G90", "G21", "M4 S502", "F600", "G1 X1 Y0 S502", "G1 X0 Y0 S502", "M5", "G0 X0 Y0"};
  struct TCase {
    const char *Preset;
    std::vector<std::string> Lines;
  };
  const TCase cases[] = {
      {"default",
       {"G4 P0", "M106 S0", "G4 P10", "M106 S0", "G90", "G28 X0 Y0", "G21", "G4 P0", "M106 S128",
        "G4 P0", "G1 F600", "G1 X1 Y0", "G1 X0 Y0", "G4 P0", "M106 S0", "G4 P10", "G1 F3000",
        "G1 X0 Y0", "M84"}},
      {"grbl", grbl},
      {"grblhal", grbl},
      {"fluidnc", grbl},
      {"marlin",
       {"M5", "G90", "G21", "M3 S128 I", "G1 F600", "G1 X1 Y0", "G1 X0 Y0", "M5", "G0 X0 Y0",
        "M84"}},
      // The power is on the moves: no laser lines at all.
      {"smoothie", {"G90", "G21", "G1 F600", "G1 X1 Y0 S0.502", "G1 X0 Y0 S0.502", "G0 X0 Y0"}},
      {"reprap", {"G90", "G21", "G1 F600", "G1 X1 Y0 S128", "G1 X0 Y0 S128", "G0 X0 Y0"}},
      {"linuxcnc",
       {"M5", "G90", "G21", "M3 S502", "F600", "G1 X1 Y0", "G1 X0 Y0", "M5", "G0 X0 Y0", "M2"}},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Preset);
    const TGcodeJob job = WorkedJob(c.Preset);
    const auto items = GcodeLines(job);
    EXPECT_EQ(FileLines(items), c.Lines);
    // What a preset writes is what its firmware accepts.
    for (const auto &problem : CheckGcode(GcodeFileText(items), job.Profile, 0.2))
      ADD_FAILURE() << ProblemText(problem);
  }
}

TEST(ProfileWriter, TravelTemplateTakesTheMovesWithTheLaserOff) {
  // Two paths far apart: the move between them is written with power 0.
  TGcodeJob job;
  job.UnitsPerMM = 100;
  job.Focus = 20;
  TGcodeLevel level;
  level.Paths = {{{0, 0}, {100, 0}}, {{1000, 1000}, {1100, 1000}}};
  level.Speed = 1000;
  level.Power = 255;
  level.Passes = 1;
  job.Levels.push_back(level);
  const std::vector<std::string> plain = GcodeLines(job);
  job.Profile.TravelMove = "G0 X? Y?";
  std::vector<std::string> expected = plain;
  const auto travel = std::find(expected.begin(), expected.end(), "G1 X10 Y10");
  ASSERT_NE(travel, expected.end());
  *travel = "G0 X10 Y10";
  // Only that move changes; the laser is still switched off before it.
  EXPECT_EQ(GcodeLines(job), expected);
  EXPECT_EQ(*(travel - 2), "G4 P10");

  // The power placeholder writes 0 on the travel and the power on burns.
  job.Profile.TravelMove = "G0 X? Y? S{power}";
  job.Templates.HeadMove = "G1 X? Y? S{power}";
  const auto lines = GcodeLines(job);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "G0 X10 Y10 S0"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "G1 X11 Y10 S255"), lines.end());
}

TEST(ProfileWriter, BedRefusalSaysByHowMuchPerSide) {
  TMachineProfile profile;
  profile.BedWidth = 300;
  profile.BedHeight = 200;
  struct TCase {
    TMoveExtent Extent;
    const char *Message;
  };
  const TCase cases[] = {
      {{true, 0, 0, 300, 200}, ""},
      {{true, -12.5, 0, 100, 200.0004}, "by 12.5 mm on the left"},
      {{true, 10, -0.25, 310.001, 250}, "by 10.001 mm on the right, by 0.25 mm at the bottom, "
                                        "by 50 mm at the top"},
  };
  for (const TCase &c : cases) {
    const std::string refusal = BedRefusal(profile, c.Extent);
    if (*c.Message == 0) {
      EXPECT_EQ(refusal, "");
    } else {
      EXPECT_EQ(refusal, "The job does not fit on the bed of 300 x 200 mm: it leaves it " +
                             std::string(c.Message) + ". Nothing was written.");
    }
  }
  // No bed, or no moves: nothing to refuse.
  EXPECT_EQ(BedRefusal(TMachineProfile{}, {true, -5, -5, 5000, 5000}), "");
  EXPECT_EQ(BedRefusal(profile, TMoveExtent{}), "");
}

TEST(ProfileWriter, SaveRefusesAJobOffTheBedAndWritesNothing) {
  TJob job;
  job.AddLines({{{0, 0}, {1000, 500}}});
  job.Finish({1000, 500}); // 10 x 5 mm at 100 units per mm
  job.Levels.RunCycles();
  job.Host.OffsetCenterValue = true; // the job's centre at the origin
  job.Host.ProfileValue.BedWidth = 100;
  job.Host.ProfileValue.BedHeight = 100;

  const auto folder = std::filesystem::temp_directory_path() / "brennix-bed-test";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const auto kept = folder / "kept.gcode", fresh = folder / "fresh.gcode";
  std::ofstream(kept, std::ios::binary) << "an earlier job";
  for (const auto &target : {kept, fresh}) {
    try {
      SaveToGcode(job.Levels, target.string());
      ADD_FAILURE() << "a job off the bed was saved";
    } catch (const TBedError &error) {
      EXPECT_STREQ(error.what(), "The job does not fit on the bed of 100 x 100 mm: it leaves it "
                                 "by 5 mm on the left, by 2.5 mm at the bottom. Nothing was "
                                 "written.");
    }
    EXPECT_TRUE(job.Host.RightPanelEnabled);
  }
  EXPECT_EQ(ReadFile(kept), "an earlier job");
  EXPECT_FALSE(std::filesystem::exists(fresh));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            1);

  // Placed on the bed with an offset, the same job is written and passes.
  job.Host.OffsetCenterValue = false;
  job.Host.OffsetXValue = 90.5;
  EXPECT_THROW(SaveToGcode(job.Levels, fresh.string()), TBedError);
  EXPECT_FALSE(std::filesystem::exists(fresh));
  job.Host.OffsetXValue = 90; // the far end exactly on the bed's edge
  EXPECT_TRUE(SaveToGcode(job.Levels, fresh.string()).empty());
  EXPECT_NE(ReadFile(fresh).find("G1 X100 Y5"), std::string::npos);
  std::filesystem::remove_all(folder);
}

TEST(ProfileWriter, SaveWithProblemsKeepsTheFileAndListsThem) {
  TJob job;
  job.AddLines({{{0, 0}, {1000, 0}}});
  job.Finish({1000, 100});
  job.Levels.RunCycles();
  // A laser-off template that leaves the laser on.
  job.Host.TemplateTexts.LaserOff = "G4 P0";
  const auto target = std::filesystem::temp_directory_path() / "brennix-problem-test.gcode";
  const auto problems = SaveToGcode(job.Levels, target.string());
  const std::string text = ReadFile(target);
  std::filesystem::remove(target);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(ProblemText(problems[0]), "line " +
                                          std::to_string(std::count(text.begin(), text.end(), '\n')) +
                                          ": the laser is still on at the end of the file");
  EXPECT_NE(text.find("M106 S255"), std::string::npos);
}

TEST(ProfileWriter, RasterEstimateMatchesTheHandComputation) {
  // Ten rows of 20 mm, 0.2 mm apart, at 20 mm/s and 1000 mm/s²: the walk
  // burns them alternately left and right, stepping up within the focus
  // with the laser on at the idle speed.
  TGcodeJob job;
  job.UnitsPerMM = 100;
  job.Focus = 20;
  TGcodeLevel level;
  for (int row = 0; row < 10; ++row)
    level.Paths.push_back({{0, row * 20}, {2000, row * 20}});
  level.Speed = 2000;
  level.Power = 255;
  level.Passes = 1;
  job.Levels.push_back(level);
  ApplyPreset(*PresetByName("grbl"), job.Profile, job.Templates);
  job.Profile.Acceleration = 1000;
  const double seconds = GcodeSeconds(GcodeFileText(GcodeLines(job)), job.Profile, 100);
  // Each row at rest at both ends: 20 / 20 + 20 / 1000 s; each step a
  // triangle peaking at √(1000 × 0.2) mm/s; the suffix's rapid home from
  // the tenth row's end at (0, 1.8) a triangle peaking at √(1000 × 1.8).
  const double hand =
      10 * (1 + 0.02) + 9 * 2 * std::sqrt(200.0) / 1000 + 2 * std::sqrt(1800.0) / 1000;
  EXPECT_NEAR(seconds, hand, hand * 1e-9);
}
