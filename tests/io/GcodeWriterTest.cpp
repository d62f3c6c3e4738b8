#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <tuple>

#include <QTemporaryDir>

#include "../common/KillRounds.h"
#include "core/HeadlessHost.h"
#include "core/Levels.h"
#include "io/GcodeWriter.h"

namespace {

TGcodeJob LinesJob(TPaths paths, std::int32_t passes = 2, std::int32_t speed = 1000) {
  TGcodeJob job;
  job.UnitsPerMM = 100;
  job.Focus = 20;
  TGcodeLevel level;
  level.Paths = std::move(paths);
  level.Speed = speed;
  level.Power = 255;
  level.Passes = passes;
  job.Levels.push_back(level);
  return job;
}

const std::vector<std::string> Prefix = {"G4 P0\r\nM106 S0\r\nG4 P10", "M106 S0", "G90",
                                         "G28 X0 Y0", "G21"};
const std::vector<std::string> Suffix = {"G4 P0",    "M106 S0",  "G4 P10",
                                         "G1 F3000", "G1 X0 Y0", "M84"};

std::vector<std::string> Framed(std::vector<std::string> body) {
  std::vector<std::string> lines = Prefix;
  lines.insert(lines.end(), body.begin(), body.end());
  lines.insert(lines.end(), Suffix.begin(), Suffix.end());
  return lines;
}

} // namespace

TEST(GcodeWriter, WorkedExampleLineForLine) {
  const auto lines = GcodeLines(LinesJob({{{0, 0}, {100, 0}}}));
  EXPECT_EQ(lines, Framed({"G4 P0\r\nM106 S255\r\nG4 P0", "G1 F600", "G1 X1 Y0", "G1 X0 Y0"}));
  EXPECT_EQ(GcodeFileText(lines).substr(0, 31), "G4 P0\r\nM106 S0\r\nG4 P10\r\nM106 S0");
}

TEST(GcodeWriter, NothingPrintedGivesFrameOnly) {
  TGcodeJob job = LinesJob({{{0, 0}, {100, 0}}});
  job.Levels[0].Power = 0;
  EXPECT_EQ(GcodeLines(job), Framed({}));
  job.Levels[0].Power = 255;
  job.Levels[0].Passes = 0;
  EXPECT_EQ(GcodeLines(job), Framed({}));
}

TEST(GcodeWriter, PiecesShorterThanTwoMillimetresRunFromEndToStart) {
  // 5 mm at 100 units/mm: n = 500 div 200 + 1 = 3 pieces, cut from the end.
  const auto lines = GcodeLines(LinesJob({{{0, 0}, {500, 0}}}, 1));
  // The walk starts at the origin: the piece ending there is burnt first.
  // Pieces meet, so each is joined to the last without an approach move.
  EXPECT_EQ(lines, Framed({"G4 P0\r\nM106 S255\r\nG4 P0", "G1 F600", "G1 X1.67 Y0", "G1 X3.34 Y0",
                           "G1 X5 Y0"}))
      << GcodeFileText(lines);
}

TEST(GcodeWriter, NearMovesWriteNothingAndFarMovesTravelDark) {
  // Two paths 2 units apart (within focus div 8) and one far away.
  TGcodeJob job =
      LinesJob({{{0, 0}, {100, 0}}, {{102, 0}, {200, 0}}, {{1000, 1000}, {1100, 1000}}}, 1);
  const auto lines = GcodeLines(job);
  const std::string text = GcodeFileText(lines);
  // The second path starts 2 units from where the first ended: no move, the
  // laser stays on. The far one is approached with the laser off at idle feed.
  EXPECT_EQ(lines, Framed({"G4 P0\r\nM106 S255\r\nG4 P0", "G1 F600", "G1 X1 Y0", "G1 X2 Y0",
                           "G4 P0", "M106 S0", "G4 P10", "G1 F6000", "G1 X10 Y10",
                           "G4 P0\r\nM106 S255\r\nG4 P0", "G1 F600", "G1 X11 Y10"}))
      << text;
}

TEST(GcodeWriter, TemplatePlaceholders) {
  struct TCase {
    std::string HeadMove;
    std::string Expected;
  };
  const TCase cases[] = {{"G1 X?", "G1 X1"}, {"G0 X? Y? Z?", "G0 X1 Y0 Z?"}, {"MOVE", "MOVE"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.HeadMove);
    TGcodeJob job = LinesJob({{{0, 0}, {100, 0}}}, 1);
    job.Templates.HeadMove = c.HeadMove;
    job.Templates.LaserOn = "ON ? ?";
    const auto lines = GcodeLines(job);
    EXPECT_EQ(lines[5], "ON 255 255");
    EXPECT_EQ(lines[7], c.Expected);
  }
}

TEST(GcodeWriter, NumberFormatOfHeadMoves) {
  EXPECT_EQ(FormatMillimetres(12.34), "12.34");
  EXPECT_EQ(FormatMillimetres(1), "1");
  EXPECT_EQ(FormatMillimetres(0), "0");
  EXPECT_EQ(FormatMillimetres(-5.5), "-5.5");
  EXPECT_EQ(FormatMillimetres(1.0 / 3), "0.333333333333333");
}

TEST(GcodeWriter, HundredthsAreWrittenAsTheirQuotient) {
  std::vector<std::int64_t> units = {0,
                                     1,
                                     -1,
                                     5,
                                     -5,
                                     10,
                                     -10,
                                     99,
                                     100,
                                     101,
                                     -100,
                                     -101,
                                     150,
                                     123456,
                                     -98765,
                                     2147483647,
                                     -2147483648,
                                     999999999999,
                                     -999999999999,
                                     1000000000000,
                                     -1000000000001};
  std::mt19937_64 random(7);
  for (int digits = 1; digits <= 13; ++digits) {
    std::int64_t range = 1;
    for (int i = 0; i < digits; ++i)
      range *= 10;
    std::uniform_int_distribution<std::int64_t> pick(-range, range);
    for (int i = 0; i < 500; ++i)
      units.push_back(pick(random));
  }
  for (const std::int64_t u : units)
    ASSERT_EQ(FormatHundredths(u), FormatMillimetres(static_cast<double>(u) / 100)) << u;
}

// The file written straight into one text is byte for byte the lines made
// into a file, whatever the templates hold.
TEST(GcodeWriter, TextWrittenDirectlyIsTheFileOfTheLines) {
  struct TCase {
    const char *Name;
    std::function<void(TGcodeJob &)> Change;
  };
  const TCase cases[] = {
      {"defaults", [](TGcodeJob &) {}},
      {"power on the moves",
       [](TGcodeJob &job) {
         job.Templates.HeadMove = "G1 X? Y? S{power}";
         job.Templates.LaserOn.clear();
         job.Templates.LaserOff.clear();
         job.Profile.TravelMove = "G0 X? Y? S{power}";
         job.Profile.PowerMaximum = 1000;
         job.Profile.PowerDecimals = 2;
       }},
      {"characters beyond ASCII",
       [](TGcodeJob &job) {
         job.Templates.LaserOn = "; Stärke ?\r\nM3 S?";
         job.Templates.HeadMove = "G1 X?° Y?µ";
         job.Templates.GcodePrefix = "; Grüße\r\nG90";
       }},
      {"one value, no value",
       [](TGcodeJob &job) {
         job.Templates.HeadMove = "MOVE ?";
         job.Profile.TravelMove = "JUMP";
       }},
      {"offsets below the origin", [](TGcodeJob &job) { job.Offset = TIntPoint(-1234, -77); }},
      {"other units per millimetre", [](TGcodeJob &job) { job.UnitsPerMM = 40; }},
      {"outline only",
       [](TGcodeJob &job) {
         job.Levels[0].Outline = true;
         job.Levels[0].Passes = 3;
         job.OutlineOnly = true;
       }},
  };
  TPaths paths;
  std::mt19937 random(3);
  std::uniform_int_distribution<int> coordinate(-500, 30000), step(-900, 900);
  for (int i = 0; i < 300; ++i) {
    const int x = coordinate(random), y = coordinate(random);
    paths.push_back({{x, y}, {x + step(random), y + step(random)}, {x, y + step(random)}});
  }
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TGcodeJob job = LinesJob(paths, 2);
    TGcodeLevel second = job.Levels[0];
    second.Power = 100;
    second.Speed = 250;
    second.Paths.resize(40);
    job.Levels.push_back(second);
    c.Change(job);
    TMoveExtent fromLines, fromText;
    const std::string lines = GcodeFileText(GcodeLines(job, {}, &fromLines));
    ASSERT_EQ(GcodeText(job, {}, &fromText), lines);
    EXPECT_EQ(
        std::tie(fromText.Any, fromText.MinX, fromText.MinY, fromText.MaxX, fromText.MaxY),
        std::tie(fromLines.Any, fromLines.MinX, fromLines.MinY, fromLines.MaxX, fromLines.MaxY));
  }
}

TEST(GcodeWriter, PrintFromCenterAndOffsets) {
  THeadlessHost host;
  host.OffsetCenterValue = true;
  host.OffsetXValue = 5;
  TLevels levels(host, false);
  levels.SetFocus(200);
  levels.SetOutput({4000, 2000});
  const TGcodeJob job = GcodeJobFromLevels(levels);
  EXPECT_EQ(job.Offset, TIntPoint(500 - 2000, -1000));
  // The left edge of a 40 mm wide job is written at X = -20 plus the offset.
  // The head starts at the machine's origin, not at the offset: it travels
  // there dark first (it used to burn a line from the origin to X-15 Y-9).
  TGcodeJob lines = LinesJob({{{0, 0}, {0, 100}}}, 1);
  lines.Offset = job.Offset;
  EXPECT_EQ(GcodeLines(lines), Framed({"G1 F6000", "G1 X-15 Y-10", "G4 P0\r\nM106 S255\r\nG4 P0",
                                       "G1 F600", "G1 X-15 Y-9"}));
}

TEST(GcodeWriter, OutlineOnlyWritesOutlineLevelsOncePerSweep) {
  TGcodeJob job = LinesJob({{{0, 0}, {100, 0}}}, 2);
  TGcodeLevel outline;
  outline.Outline = true;
  outline.Paths = {{{0, 0}, {0, 100}}};
  outline.Speed = 10000;
  outline.Power = 3;
  outline.Passes = 2;
  job.Levels.push_back(outline);
  job.OutlineOnly = true;
  // Every sweep starts its walk at the origin, but the head is where the
  // last sweep left it: the way back is a dark travel move, not skipped.
  EXPECT_EQ(GcodeLines(job),
            Framed({"G4 P0\r\nM106 S3\r\nG4 P0", "G1 F6000", "G1 X0 Y1", "G4 P0", "M106 S0",
                    "G4 P10", "G1 X0 Y0", "G4 P0\r\nM106 S3\r\nG4 P0", "G1 X0 Y1"}));
  job.OutlineOnly = false;
  EXPECT_EQ(GcodeLines(job)[6], "G1 F600"); // only the lines level
}

TEST(GcodeWriter, QuadrantClipKeepsAxesDropsNegativesKeepsDirection) {
  const TPaths clipped = ClipToQuadrant({{{-100, 50}, {100, 50}},
                                         {{300, 0}, {200, 0}},
                                         {{-5, -5}, {-1, -9}},
                                         {{50, 100}, {50, -100}, {60, -100}}});
  const TPaths expected = {{{0, 50}, {100, 50}}, {{300, 0}, {200, 0}}, {{50, 100}, {50, 0}}};
  EXPECT_EQ(clipped, expected);
}

TEST(GcodeWriter, NonAsciiBecomesOneQuestionMarkPerCharacter) {
  EXPECT_EQ(GcodeFileText({"; Stärke 50 °"}), "; St?rke 50 ?\r\n");
}

TEST(GcodeWriter, SaveIsAtomicAndKeepsOldFileOnFailure) {
  THeadlessHost host;
  TLevels levels(host, false);
  levels.SetFocus(200);
  const auto folder = std::filesystem::temp_directory_path() / "brennix-save-test";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const auto target = folder / "job.gcode";
  SaveToGcode(levels, target.string());
  std::ifstream in(target, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, GcodeFileText(Framed({})));
  EXPECT_TRUE(host.RightPanelEnabled);
  EXPECT_FALSE(host.LoadingVisible);
  EXPECT_EQ(host.ProgressCaption, "Saving...");

  // A folder that does not exist: the error carries the file name, the
  // window state is restored, nothing is left behind.
  const auto missing = folder / "missing" / "job.gcode";
  try {
    SaveToGcode(levels, missing.string());
    FAIL() << "saving into a missing folder succeeded";
  } catch (const std::runtime_error &error) {
    EXPECT_NE(std::string(error.what()).find(missing.string()), std::string::npos);
  }
  EXPECT_TRUE(host.RightPanelEnabled);
  EXPECT_FALSE(std::filesystem::exists(missing));
  std::filesystem::remove_all(folder);
}

TEST(GcodeWriter, SaveKilledAtAnyMomentLeavesOneWholeFileAndNoTemporary) {
  THeadlessHost host;
  TLevels levels(host, false);
  levels.SetFocus(200);
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::filesystem::path target = folder.path().toStdString() + "/job.gcode";
  // A long prefix makes each save take long enough to be cut in the middle.
  std::vector<TTemplates> templates;
  std::vector<std::string> versions;
  for (const char *mark : {"; first", "; second"}) {
    host.TemplateTexts[tkGcodePrefix] = std::string(mark) + std::string(1 << 20, ';');
    templates.push_back(host.TemplateTexts);
    SaveToGcode(levels, target.string());
    versions.push_back(KillRoundsFileText(target));
  }
  ASSERT_NE(versions[0], versions[1]);
  // The file holds the second now.
  std::swap(versions[0], versions[1]);
  std::swap(templates[0], templates[1]);
  RunKillRounds(
      target, versions,
      [&](std::size_t i) {
        host.TemplateTexts = templates[i];
        SaveToGcode(levels, target.string());
      },
      100,
      // The next save cleans what a killed one left: the folder then holds
      // the target alone.
      [&] {
        host.TemplateTexts = templates[0];
        SaveToGcode(levels, target.string());
      });
}

// The next save removes what a killed save of the same target left, and
// nothing that merely looks like it.
TEST(GcodeWriter, SaveRemovesOnlyItsOwnLeftovers) {
  THeadlessHost host;
  TLevels levels(host, false);
  levels.SetFocus(200);
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::filesystem::path root = folder.path().toStdString();
  const struct {
    const char *Name;
    bool Removed;
  } cases[] = {
      {".job.gcode.brennix-a1B2c3", true},
      {".job.gcode.brennix-zzzzzz", true},
      {".job.gcode.brennix-a1B2c", false},   // five characters
      {".job.gcode.brennix-a1B2c3d", false}, // seven
      {".job.gcode.brennix-a1-2c3", false},  // not a letter or digit
      {"job.gcode.brennix-a1B2c3", false},   // not hidden
      {"job.gcode.a1B2c3", false},           // another program's temporary
      {".other.gcode.brennix-a1B2c3", false},
      {".job.gcode.brennix-a1B2c3.keep", false},
      {".xjob.gcode.brennix-a1B2c3", false},
  };
  for (const auto &c : cases)
    std::ofstream(root / c.Name) << "user data";
  SaveToGcode(levels, (root / "job.gcode").string());
  for (const auto &c : cases)
    EXPECT_EQ(std::filesystem::exists(root / c.Name), !c.Removed) << c.Name;
  EXPECT_TRUE(std::filesystem::exists(root / "job.gcode"));
  std::size_t left = 0;
  for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(root))
    ++left;
  EXPECT_EQ(left, 1 + std::count_if(std::begin(cases), std::end(cases),
                                    [](const auto &c) { return !c.Removed; }));
}

// A save that cannot happen keeps the previous file and leaves no temporary.
TEST(GcodeWriter, RefusedSaveKeepsThePreviousFile) {
  THeadlessHost host;
  TLevels levels(host, false);
  levels.SetFocus(200);
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::filesystem::path root = folder.path().toStdString();
  // A folder in the target's place: the rename fails after the write.
  std::filesystem::create_directory(root / "job.gcode");
  EXPECT_THROW(SaveToGcode(levels, (root / "job.gcode").string()), std::runtime_error);
  EXPECT_TRUE(std::filesystem::is_directory(root / "job.gcode"));
  try {
    SaveToGcode(levels, (root / "missing" / "job.gcode").string());
    ADD_FAILURE() << "a save into a missing folder succeeded";
  } catch (const std::runtime_error &error) {
    EXPECT_NE(std::string(error.what()).find("does not exist"), std::string::npos) << error.what();
  }
  std::size_t left = 0;
  for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(root))
    ++left;
  EXPECT_EQ(left, 1u);
}
