#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "JobFixture.h"
#include "core/PathUtils.h"
#include "core/Toolpaths.h"

namespace {

// Shortest distance between segment ab and the horizontal line y = level.
double DistanceToHorizontal(const TIntPoint &a, const TIntPoint &b, double level) {
  if ((a.Y - level) * (b.Y - level) <= 0)
    return 0;
  return std::min(std::abs(a.Y - level), std::abs(b.Y - level));
}

} // namespace

TEST(Toolpaths, SquareWithOneShellThenHatchInStyleDirection) {
  for (TLevelStyle style : {lsHorizontal, lsVertical}) {
    SCOPED_TRACE(style);
    TJob job; // focus 20 units
    job.AddArea({Square(0, 0, 200)}, 1, style);
    job.Finish({200, 200});
    job.Levels.RunCycles();

    const TPaths shells = job.Perimeter->Output();
    ASSERT_GE(shells.size(), 1u);
    const TPath &shell = shells[0];
    ASSERT_EQ(shell.size(), 5u);
    EXPECT_EQ(shell.front(), shell.back());
    for (const auto &p : shell) {
      EXPECT_TRUE(p.X == 8 || p.X == 192) << p.X;
      EXPECT_TRUE(p.Y == 8 || p.Y == 192) << p.Y;
    }
    EXPECT_DOUBLE_EQ(std::abs(ClipperLib::Area(shell)), 184.0 * 184.0);

    const TPaths hatch = job.Area->Output();
    ASSERT_FALSE(hatch.empty());
    const TPath &first = hatch[0];
    ASSERT_EQ(first.size(), 2u);
    if (style == lsHorizontal)
      EXPECT_EQ(first[0].Y, first[1].Y);
    else
      EXPECT_EQ(first[0].X, first[1].X);
    for (const auto &path : hatch)
      for (const auto &p : path) {
        EXPECT_GE(p.X, 8);
        EXPECT_LE(p.X, 192);
      }
    EXPECT_FALSE(job.Area->Recalc());
  }
}

TEST(Toolpaths, ZeroShellsGiveOnlyHatching) {
  TJob job;
  job.AddArea({Square(0, 0, 400)}, 0);
  job.Finish({400, 400});
  job.Levels.RunCycles();
  EXPECT_TRUE(job.Perimeter->Output().empty());
  const TPaths hatch = job.Area->Output();
  ASSERT_FALSE(hatch.empty());
  // Only the 0.4 focus inset bounds the hatching.
  const auto bounds = PathsBounds(hatch);
  EXPECT_GE(bounds.left, 8);
  EXPECT_LE(bounds.right, 392);
}

TEST(Toolpaths, ShellsAndHatchKeepClearOfPrintedLines) {
  TJob job;
  job.AddArea({Square(0, 0, 1000)}, 2);
  job.AddLines({{{-100, 500}, {1100, 500}}});
  job.Finish({1000, 1000});
  job.Levels.RunCycles();
  const double clearance = 0.9 * 20 - 1;
  int segments = 0;
  for (const TLevel *level : {job.Area, job.Perimeter})
    for (const auto &path : level->Output())
      for (std::size_t i = 1; i < path.size(); ++i, ++segments)
        ASSERT_GE(DistanceToHorizontal(path[i - 1], path[i], 500), clearance)
            << path[i - 1].X << "," << path[i - 1].Y << " " << path[i].X << "," << path[i].Y;
  EXPECT_GT(segments, 50);

  // Switching the lines off recomputes the area: now it is burnt across.
  job.Lines->SetPrint(false);
  job.Levels.RunCycles();
  bool crosses = false;
  for (const auto &path : job.Area->Output())
    for (std::size_t i = 1; i < path.size(); ++i)
      crosses = crosses || DistanceToHorizontal(path[i - 1], path[i], 500) < clearance;
  EXPECT_TRUE(crosses);
}

TEST(Toolpaths, HatchPassesDropLinesUpToTheMinimum) {
  // A disc has chords of every length.
  TPath disc;
  for (int i = 0; i < 72; ++i)
    disc.push_back({static_cast<ClipperLib::cInt>(std::lround(300 * std::cos(i * M_PI / 36))),
                    static_cast<ClipperLib::cInt>(std::lround(300 * std::sin(i * M_PI / 36)))});
  const int f = 20;
  for (std::int64_t minimum : {2 * f, 5 * f / 2, f / 2})
    for (THatchDirection direction : {hdHorizontal, hdVertical, hdFalling, hdRising}) {
      SCOPED_TRACE(::testing::Message() << minimum << " " << int(direction));
      const TPaths pass = HatchPass({disc}, direction, f, minimum);
      ASSERT_FALSE(pass.empty());
      for (const auto &path : pass)
        EXPECT_GT(PathLength(path, false), minimum);
    }
}

TEST(Toolpaths, PhaseChoice) {
  // A strip 18 units high: phase 0 puts the lines at 0 and 20, outside it;
  // phases 5, 10 and 15 each give one full line, and the earliest wins.
  const TPaths strip{{{0, 1}, {1000, 1}, {1000, 19}, {0, 19}}};
  EXPECT_EQ(ChooseHatchPhase(strip, hdHorizontal, 20, 40), 5);
  // Fine focus has no candidates: phase 0.
  EXPECT_EQ(ChooseHatchPhase(strip, hdHorizontal, 4, 2), 0);
  EXPECT_EQ(ChooseHatchPhase(strip, hdHorizontal, 9, 2), 0);
}

TEST(Toolpaths, ParallelPhaseSearchChoosesAsSerial) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> coordinate(0, 3000);
  for (int round = 0; round < 10; ++round) {
    TPaths area;
    for (int i = 0; i < 6; ++i)
      area.push_back({{coordinate(random), coordinate(random)},
                      {coordinate(random), coordinate(random)},
                      {coordinate(random), coordinate(random)}});
    for (THatchDirection direction : {hdHorizontal, hdFalling})
      EXPECT_EQ(HatchPass(area, direction, 100, 50, nullptr, true),
                HatchPass(area, direction, 100, 50, nullptr, false));
  }
}

TEST(Toolpaths, IslandStrokeFollowsTheLongAxis) {
  // A thin sliver 60 long and 6 high: one stroke along it.
  const TPath sliver{{0, 0}, {60, 0}, {60, 6}, {0, 6}};
  const TPath stroke = IslandStroke(sliver, 20, 1000);
  ASSERT_EQ(stroke.size(), 2u);
  EXPECT_NEAR(stroke[0].Y, 3, 1);
  EXPECT_NEAR(std::abs(stroke[1].X - stroke[0].X), 60, 1);
  // A vertical degenerate contour has no principal direction: no stroke.
  EXPECT_TRUE(IslandStroke({{5, 0}, {5, 10}, {5, 20}}, 20, 1000).empty());
}

TEST(Toolpaths, OutlineDropsSmallContoursAndClampsNegatives) {
  TJob job;
  job.AddLines(
      {{{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}, {0, 0}}, {{3000, 3000}, {3010, 3000}}});
  job.Finish({4000, 4000});
  job.Levels.SetOutline(true);
  job.Levels.RunCycles();
  const TPaths outline = job.Outline->Output();
  ASSERT_EQ(outline.size(), 1u); // the dot at (3000, 3000) is below 4 mm²
  EXPECT_EQ(outline[0].front(), outline[0].back());
  for (const auto &p : outline[0]) {
    EXPECT_GE(p.X, 0);
    EXPECT_GE(p.Y, 0);
  }
  EXPECT_EQ(PathsBounds(outline).left, 0);
}

TEST(Toolpaths, DegenerateInputGivesEmptyResults) {
  TJob job(false, 1); // focus of 1 micrometre
  job.AddArea({{{0, 0}, {100, 0}, {200, 0}}, {{5, 5}}, {}}, 3);
  job.AddLines({{{7, 7}}, {}});
  job.Finish({0, 0});
  job.Levels.RunCycles();
  EXPECT_TRUE(job.Area->Output().empty());
  EXPECT_TRUE(job.Perimeter->Output().empty());
  EXPECT_FALSE(job.Levels.Clearing());
  EXPECT_EQ(job.Host.Result, "Nothing to print");

  // A list whose focus was never set: hatching divided by zero here.
  THeadlessHost unset;
  TLevels noFocus(unset, false);
  auto area = std::make_unique<TLevel>(lkArea);
  area->Input()->push_back({Square(0, 0, 1000)});
  noFocus.Add(std::move(area));
  noFocus.SetSize({1000, 1000});
  noFocus.SetOutput({1000, 1000});
  noFocus.RunCycles();
  EXPECT_FALSE(noFocus.Clearing());

  // An empty list with no output size at all.
  THeadlessHost host;
  TLevels empty(host, false);
  empty.SetFocus(200);
  empty.RequestCycle();
  empty.RunCycles();
  EXPECT_EQ(host.Result, "Nothing to print");
}

TEST(Toolpaths, RasterModeTakesLinesUnchanged) {
  TJob job;
  job.AddLines({{{0, 0}, {3, 1}, {6, 0}}});
  QImage picture(4, 4, QImage::Format_ARGB32);
  picture.fill(Qt::black);
  job.Levels.SetRaster(&picture);
  job.Finish({100, 100});
  job.Levels.RunCycles();
  EXPECT_EQ(job.Lines->Output(), (TPaths{{{0, 0}, {3, 1}, {6, 0}}}));
}

TEST(Toolpaths, FillWorkBoundAdmitsBoardLayersAndRefusesOutlinesOfEveryHeight) {
  // Units of 0.01 mm unless said, focus 0.2 mm and the sixteen passes of an
  // area fill.
  const int focus = 20, passes = 16;
  // A copper layer of 195 x 135 mm: 19,000 pads on a 0.5 mm grid, 76,000
  // corners at a few hundred heights, as real boards are drawn.
  TPaths board;
  for (int row = 0; row < 270 && board.size() < 19000; ++row)
    for (int column = 0; column < 390 && board.size() < 19000; column += 5) {
      const ClipperLib::cInt x = column * 50, y = row * 50;
      board.push_back({{x, y}, {x + 30, y}, {x + 30, y + 30}, {x, y + 30}});
    }
  board.push_back({{0, 0}, {19500, 0}, {19500, 13500}, {0, 13500}});
  // The same size and number of corners in units of 0.001 mm along an
  // outline whose corners all lie at different heights: every sweep stop
  // meets every line.
  TPath wave;
  for (int i = 0; i < 76000; ++i) {
    const double angle = 2 * M_PI * i / 76000;
    wave.push_back({std::lround(97500 * (1 + std::cos(angle))),
                    std::lround(67500 * (1 + std::sin(angle)))});
  }
  // Five metres across at the same focus.
  TPath disc;
  for (int i = 0; i < 6000; ++i) {
    const double angle = 2 * M_PI * i / 6000;
    disc.push_back({std::lround(250000 * (1 + std::cos(angle))),
                    std::lround(250000 * (1 + std::sin(angle)))});
  }
  const struct {
    const char *Name;
    TPaths Area;
    int Focus;
    bool Admitted;
  } cases[] = {{"board", board, focus, true},
               {"wave", {wave}, 10 * focus, false},
               {"disc", {disc}, focus, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    const double work = HatchFillWork(c.Area, c.Focus, passes);
    EXPECT_EQ(work <= MaxHatchFillWork, c.Admitted) << work;
  }
}
