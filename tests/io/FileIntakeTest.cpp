#include <cmath>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include "core/HeadlessHost.h"
#include "core/LevelDefaults.h"
#include "core/Levels.h"
#include "io/FileIntake.h"

TEST(FileIntake, ExtensionChoosesTheReader) {
  struct TCase {
    const char *Name;
    const char *Extension;
  };
  const TCase cases[] = {
      {"/tmp/photo.PNG", "png"}, {"board.GTL", "gtl"}, {"/tmp/folder.d/board", "gbr"},
      {"plot.hpgl", "hpgl"},     {"a.b.svg", "svg"},   {"part.DXF", "dxf"},
      {"trailing.", ""}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ReaderExtension(c.Name), c.Extension);
  }
}

namespace {

TLevel *AddLevel(TLevels &levels, TLevelKind kind, std::int32_t height) {
  auto level = std::make_unique<TLevel>(kind);
  level->SetHeight(height);
  level->SetName("level " + std::to_string(height));
  level->SetColor(0xFF112233u);
  return levels.Add(std::move(level));
}

} // namespace

TEST(FileIntake, DefaultsFromHeight) {
  struct TCase {
    std::int32_t Height, Passes, Speed;
  };
  const TCase cases[] = {{-20, 1, 1000}, {0, 1, 1000}, {1, 1, 1000}, {3, 1, 660},
                         {5, 1, 400},    {7, 1, 280},  {30, 3, 110}, {99, 7, 50}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Height);
    THeadlessHost host;
    TLevels levels(host, false);
    levels.SetFocus(200);
    levels.SetReading(true);
    AddLevel(levels, lkLines, c.Height);
    ApplyLevelDefaults(levels, false);
    const TLevel &level = *levels.Item(0);
    EXPECT_EQ(level.Passes(), c.Passes);
    EXPECT_EQ(level.Speed(), c.Speed);
    EXPECT_EQ(level.Power(), 255);
  }
}

TEST(FileIntake, PerimeterAfterAreaAndOutlineLast) {
  THeadlessHost host;
  host.IdleSpeedValue = 80.5;
  TLevels levels(host, false);
  levels.SetFocus(200);
  levels.SetReading(true);
  AddLevel(levels, lkArea, 5);
  AddLevel(levels, lkOutline, 0)->SetName("Reader outline");
  AddLevel(levels, lkLines, 0);
  AddLevel(levels, lkArea, 0);
  AddLevel(levels, lkPerimeter, 4);
  levels.SetSize({2000, 1000});
  ApplyLevelDefaults(levels, false);

  const TLevelKind kinds[] = {lkArea, lkPerimeter, lkLines, lkArea, lkPerimeter, lkOutline};
  ASSERT_EQ(levels.Count(), 6);
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(levels.Item(i)->Kind(), kinds[i]) << i;
  const TLevel &perimeter = *levels.Item(1);
  EXPECT_EQ(perimeter.Height(), 1);
  EXPECT_EQ(perimeter.Name(), "level 5");
  EXPECT_EQ(perimeter.Color(), 0xFF112233u);
  EXPECT_EQ(perimeter.Speed(), 400);
  EXPECT_EQ(perimeter.Passes(), 1);
  EXPECT_EQ(perimeter.Power(), 255);
  EXPECT_EQ(levels.Item(4)->Height(), 4); // the reader's own perimeter is kept
  EXPECT_EQ(levels.Item(5)->Name(), "Reader outline");

  EXPECT_DOUBLE_EQ(host.OriginalX, 20);
  EXPECT_DOUBLE_EQ(host.PrintY, 10);
  EXPECT_EQ(levels.Output(), (TIntSize{2000, 1000}));
  EXPECT_FALSE(levels.Reading());
  EXPECT_EQ(host.GridUpdates, 1);
}

TEST(FileIntake, OutlineLevelAppendedWithTravelSpeed) {
  THeadlessHost host;
  host.IdleSpeedValue = 80.5;
  TLevels levels(host, false);
  levels.SetFocus(200);
  levels.SetReading(true);
  AddLevel(levels, lkLines, 1);
  ApplyLevelDefaults(levels, false);
  ASSERT_EQ(levels.Count(), 2);
  const TLevel &outline = *levels.Item(1);
  EXPECT_EQ(outline.Kind(), lkOutline);
  EXPECT_EQ(outline.Name(), "Outline");
  EXPECT_EQ(outline.Color(), 0xFF000000u);
  EXPECT_EQ(outline.Speed(), 8050);
  EXPECT_EQ(outline.Power(), 3);
  EXPECT_EQ(outline.Passes(), 2);
  EXPECT_EQ(outline.Height(), 3);
}

TEST(FileIntake, ReadingAgainKeepsTheUsersScale) {
  // After a focus change the drawing is read again with the scale boxes as
  // they were: the output must follow them, not fall back to 100 %.
  THeadlessHost host;
  host.ScaleXValue = 50;
  host.ScaleYValue = 200;
  TLevels levels(host, false);
  levels.SetFocus(200);
  levels.SetReading(true);
  AddLevel(levels, lkLines, 1);
  levels.SetSize({20000, 1000});
  ApplyLevelDefaults(levels, false);
  EXPECT_DOUBLE_EQ(host.PrintX, 100);
  EXPECT_DOUBLE_EQ(host.PrintY, 20);
  EXPECT_EQ(levels.Output(), (TIntSize{10000, 2000}));
}

TEST(FileIntake, FailedLoadRestoresTheWindowAndKeepsTheJob) {
  THeadlessHost host;
  host.Caption = "before";
  host.ScaleXValue = 50;
  TLevels levels(host, false);
  levels.SetFocus(200);
  const bool reading = levels.Reading();
  EXPECT_THROW(LoadFromFile(levels, "/nonexistent/folder/drawing.plt", 1), std::exception);
  EXPECT_TRUE(host.RightPanelEnabled);
  EXPECT_FALSE(host.LoadingVisible);
  EXPECT_EQ(host.Caption, "before");
  // Nothing of the failed file reaches the job: a later re-read or save
  // still works on the drawing that was there.
  EXPECT_EQ(levels.Reading(), reading);
  EXPECT_EQ(levels.Job().File.FileName, "");
  EXPECT_EQ(host.ScaleXValue, 50);
}

TEST(FileIntake, EachJobReadsItsOwnFileAgain) {
  // Two jobs side by side: a re-read opens the file its own job opened last,
  // with that job's scale, whatever the other job opened since.
  const std::string plot = std::string(BRENNIX_SOURCE_DIR) + "/examples/hpgl-demo.plt";
  const std::string badge = std::string(BRENNIX_SOURCE_DIR) + "/examples/svg-badge.svg";
  THeadlessHost plotHost, badgeHost;
  TLevels plotJob(plotHost, false), badgeJob(badgeHost, false);
  plotJob.SetFocus(200);
  badgeJob.SetFocus(200);
  LoadFromFile(plotJob, plot, 1);
  const TIntSize plotSize = plotJob.Size();
  LoadFromFile(badgeJob, badge, 1);
  plotHost.ScaleXValue = 50;
  plotHost.Caption.clear();
  ReloadDrawing(plotJob);
  EXPECT_EQ(plotJob.Job().File.FileName, plot);
  EXPECT_EQ(plotHost.Caption, "Kelvanor \u2013 Brennix \u2013 hpgl-demo");
  EXPECT_EQ(plotJob.Size(), plotSize);
  EXPECT_EQ(plotHost.ScaleXValue, 50);
  EXPECT_EQ(plotJob.Output().cx, std::nearbyint(plotSize.cx / 2.0));
  EXPECT_EQ(badgeJob.Job().File.FileName, badge);
}

TEST(FileIntake, DxfDrawingGivesCutLinesAndAnUnprintedEngraving) {
  // A 60 x 40 mm plate on layer "Cut", written as a CAD program would.
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("intake-" + std::to_string(::getpid()) + ".dxf");
  {
    std::ofstream out(file);
    out << "0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n4\n0\nENDSEC\n"
           "0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n8\nCut\n90\n4\n70\n1\n"
           "10\n0\n20\n0\n10\n60\n20\n0\n10\n60\n20\n40\n10\n0\n20\n40\n"
           "0\nENDSEC\n0\nEOF\n";
  }
  THeadlessHost host;
  TLevels levels(host, false);
  levels.SetFocus(200);
  LoadFromFile(levels, file.string(), 1);
  std::filesystem::remove(file);
  EXPECT_EQ(host.Caption, "Kelvanor \u2013 Brennix \u2013 " + file.stem().string());
  const TLevel *cut = nullptr, *areas = nullptr;
  for (int i = 0; i < levels.Count(); ++i) {
    if (levels.Item(i)->Name() == "Cut" && levels.Item(i)->Kind() == lkLines)
      cut = levels.Item(i);
    if (levels.Item(i)->Name() == "Cut areas" && levels.Item(i)->Kind() == lkArea)
      areas = levels.Item(i);
  }
  ASSERT_NE(cut, nullptr);
  ASSERT_NE(areas, nullptr);
  // Lines are cut: more passes, slower than the engraving offered beside them.
  EXPECT_GT(cut->Passes(), areas->Passes());
  EXPECT_LT(cut->Speed(), areas->Speed());
  EXPECT_TRUE(cut->Print());
  EXPECT_FALSE(areas->Print());
  EXPECT_NEAR(static_cast<double>(levels.Size().cx) / levels.Size().cy, 60.0 / 40.0, 1e-3);
}
