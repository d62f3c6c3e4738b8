#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <random>

#include "../common/Slowdown.h"
#include "JobFixture.h"
#include "core/BurnPaths.h"
#include "core/Geometry.h"
#include "core/PathUtils.h"

namespace {

// The job the list would hand over for a drawing that is its own output.
TBurnJob PlainJob(std::int32_t focus, std::int32_t side) {
  TBurnJob job;
  job.Focus = focus;
  job.Scale = {1, 1};
  job.Output = {side, side};
  return job;
}

} // namespace

TEST(BurnPaths, AreaFromPlainInputsMatchesTheCycle) {
  TJob cycled; // focus 20 units
  cycled.AddArea({Square(0, 0, 1000), Square(300, 300, 200)}, 2, lsDiagonalDown);
  cycled.AddLines({{{0, 500}, {1000, 520}}});
  cycled.Finish({1000, 1000});
  cycled.Levels.RunCycles();

  const std::atomic<bool> stop{false};
  TAreaPaths added;
  const TAreaPaths paths =
      AreaPaths(*cycled.Area->Input(), cycled.Lines->Output(), 2, lsDiagonalDown,
                PlainJob(20, 1000), stop, [&](TAreaPart part, const TPaths &piece) {
                  TPaths &target = part == apShells ? added.Shells : added.Hatch;
                  // Shells come before any hatch line.
                  EXPECT_TRUE(part == apHatch || added.Hatch.empty());
                  target.insert(target.end(), piece.begin(), piece.end());
                });
  EXPECT_EQ(paths.Shells, cycled.Perimeter->Output());
  EXPECT_EQ(paths.Hatch, cycled.Area->Output());
  // What the progress reported adds up to the result, in order.
  EXPECT_EQ(added.Shells, paths.Shells);
  EXPECT_EQ(added.Hatch, paths.Hatch);
  ASSERT_FALSE(paths.Hatch.empty());
}

TEST(BurnPaths, StopSetGivesNothing) {
  const std::atomic<bool> stop{true};
  const TBurnJob job = PlainJob(20, 1000);
  int calls = 0;
  const TAreaPaths area = AreaPaths({{Square(0, 0, 1000)}}, {}, 1, lsHorizontal, job, stop,
                                    [&](TAreaPart, const TPaths &) { ++calls; });
  EXPECT_TRUE(area.Shells.empty());
  EXPECT_TRUE(area.Hatch.empty());
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(LinePaths({{{{0, 0}, {500, 0}}}}, job, stop).empty());
  EXPECT_TRUE(OutlinePaths({{{0, 0}, {3000, 0}, {3000, 3000}}}, 20, 100, stop).empty());
}

namespace {

// The outline as one union of every stroke's zone, grouped as the program
// groups many strokes, then shrunk: what OutlinePaths must give, whatever
// strokes it leaves out of its unions.
TPaths EveryStrokeOutline(const TPaths &strokes, std::int32_t focus, double unitsPerMM) {
  const TPaths zone = UnitedStrokeZone(strokes, 2.1 * focus);
  TOffsetter shrink;
  shrink.Add(zone, ClipperLib::jtRound, ClipperLib::etClosedPolygon);
  ClipperLib::PolyTree tree;
  shrink.Execute(tree, -1.9 * focus);
  TPaths outline;
  for (int i = 0; i < tree.ChildCount(); ++i) {
    TPath contour = ClosePath(tree.Childs[static_cast<std::size_t>(i)]->Contour);
    for (auto &p : contour) {
      p.X = std::max<ClipperLib::cInt>(p.X, 0);
      p.Y = std::max<ClipperLib::cInt>(p.Y, 0);
    }
    if (ClipperLib::Area(contour) > 4.0 * unitsPerMM * unitsPerMM)
      outline.push_back(std::move(contour));
  }
  return outline;
}

// Scan-line runs of a made-up picture of columns x rows focus spots, as a
// picture's levels hold them: runs of 1 to 8 spots, a third of a spot short
// at each end. Spots whose colour is not printed leave gaps, some a spot
// wide, some long, and a round clearing in the middle leaves a hole.
TPaths PictureRuns(int columns, int rows, std::int32_t focus, unsigned seed) {
  TPaths runs;
  const double third = focus / 3.0;
  for (int r = 0; r < rows; ++r)
    for (int x = 0; x < columns;) {
      seed = seed * 1103515245u + 12345u;
      const int length = 1 + static_cast<int>((seed >> 16) % 8);
      const int e = std::min(columns, x + length);
      const double dx = x - columns / 2.0, dy = r - rows / 2.0;
      const bool clearing = dx * dx + dy * dy < rows * rows / 16.0;
      const bool unprinted = (seed >> 8) % 7 == 0 || (x > columns - 12 && r % 9 < 4);
      if (!clearing && !unprinted) {
        const ClipperLib::cInt y = static_cast<ClipperLib::cInt>(r) * focus + focus / 2;
        runs.push_back({{std::lround(x * focus + third), y}, {std::lround(e * focus - third), y}});
      }
      x = e;
    }
  return runs;
}

} // namespace

TEST(BurnPaths, OutlineOfManyStrokesIsTheOutlineOfEveryStroke) {
  struct TCase {
    const char *Name;
    std::int32_t Focus;
    int Columns, Rows;
    bool Extra; // strokes across the runs, and runs lying on each other
  };
  const TCase cases[] = {
      {"focus 0.2 mm", 20, 120, 90, false},
      {"fine focus", 4, 150, 100, false},
      {"focus 0.2 mm with other strokes", 20, 100, 80, true},
      {"a few runs, one group", 20, 30, 8, false},
  };
  const std::atomic<bool> stop{false};
  for (const TCase &c : cases) {
    TPaths strokes = PictureRuns(c.Columns, c.Rows, c.Focus, 77);
    if (c.Extra) {
      const ClipperLib::cInt w = c.Columns * c.Focus, h = c.Rows * c.Focus;
      strokes.push_back({{0, 0}, {w, h}});
      strokes.push_back({{w / 3, h + 5 * c.Focus}, {w / 2, h + 5 * c.Focus}, {w / 2, h}});
      for (int r = 0; r < c.Rows; r += 5) {
        const ClipperLib::cInt y = static_cast<ClipperLib::cInt>(r) * c.Focus + c.Focus / 2;
        strokes.push_back({{w / 4, y}, {w / 4 + 7 * c.Focus, y}});
        strokes.push_back({{w / 5, y}, {w / 5, y}});
      }
    }
    const double unitsPerMM = 100;
    const TPaths outline = OutlinePaths(strokes, c.Focus, unitsPerMM, stop);
    EXPECT_EQ(outline, EveryStrokeOutline(strokes, c.Focus, unitsPerMM)) << c.Name;
    ASSERT_FALSE(outline.empty()) << c.Name;
  }
}

TEST(BurnPaths, OutlineKeepsContoursOfAtLeastFourSquareMillimetres) {
  // A square of 300 units traced as one closed stroke: its outline encloses
  // some 300 × 300 units: 9 mm² at 100 units per mm, under 2.5 mm² at 200.
  const TPaths strokes{{{0, 0}, {300, 0}, {300, 300}, {0, 300}, {0, 0}}};
  const std::atomic<bool> stop{false};
  const TPaths outline = OutlinePaths(strokes, 20, 100, stop);
  ASSERT_EQ(outline.size(), 1u);
  EXPECT_EQ(outline[0].front(), outline[0].back());
  EXPECT_TRUE(OutlinePaths(strokes, 20, 200, stop).empty());
}

TEST(BurnPaths, OutlineOfStrokesCrossingTooOftenIsLeftEmptyAtOnce) {
  // 5,000 points at random in a 100 mm square cross some three million
  // times, which the union of the grown strokes sorts for minutes; a grid of
  // 200 lines crosses itself 10,000 times and is outlined as ever.
  std::mt19937 random(5);
  std::uniform_int_distribution<ClipperLib::cInt> coordinate(0, 10000);
  TPath scribble;
  for (int i = 0; i < 5000; ++i)
    scribble.push_back({coordinate(random), coordinate(random)});
  TPaths grid;
  for (ClipperLib::cInt i = 0; i < 100; ++i) {
    grid.push_back({{0, 100 * i}, {10000, 100 * i}});
    grid.push_back({{100 * i, 0}, {100 * i, 10000}});
  }
  const std::atomic<bool> stop{false};
  for (const bool crowded : {true, false}) {
    SCOPED_TRACE(crowded);
    std::string refusal;
    const auto start = std::chrono::steady_clock::now();
    const TPaths outline = OutlinePaths(crowded ? TPaths{scribble} : grid, 20, 100, stop, &refusal);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3 * SanitizerSlowdown));
    if (crowded) {
      EXPECT_TRUE(outline.empty());
      EXPECT_NE(refusal.find("The drawing crosses itself about "), std::string::npos) << refusal;
      EXPECT_NE(refusal.find(" times: too many to outline it"), std::string::npos) << refusal;
    } else {
      EXPECT_EQ(outline.size(), 1u);
      EXPECT_TRUE(refusal.empty()) << refusal;
    }
  }
}

namespace {

// Sets the internal unit for one test and puts back what was there.
struct TUnitsFor {
  explicit TUnitsFor(double unitsPerMM) : Old(UnitsPerMM()) { SetUnitsPerMM(unitsPerMM); }
  ~TUnitsFor() { SetUnitsPerMM(Old); }
  TUnitsFor(const TUnitsFor &) = delete;
  TUnitsFor &operator=(const TUnitsFor &) = delete;
  const double Old;
};

} // namespace

TEST(BurnPaths, FillTooLargeForTheWorkBoundIsRefusedAtOnce) {
  // A round area of many corners; units of 0.01 mm, focus 0.2 mm. The
  // message speaks millimetres, so the units are set here whatever an
  // earlier test's focus left them at.
  const TUnitsFor units(100);
  auto circle = [](double radius) {
    TPath path;
    for (int i = 0; i < 6000; ++i) {
      const double angle = 2 * M_PI * i / 6000;
      path.push_back({static_cast<ClipperLib::cInt>(std::lround(radius * (1 + std::cos(angle)))),
                      static_cast<ClipperLib::cInt>(std::lround(radius * (1 + std::sin(angle))))});
    }
    return TPaths{path};
  };
  const std::atomic<bool> stop{false};
  // Five metres across: hours of clipping; refused before any of it.
  const auto started = std::chrono::steady_clock::now();
  try {
    AreaPaths({circle(250000)}, {}, 0, lsHorizontal, PlainJob(20, 500000), stop);
    FAIL() << "a fill of five metres at 0.2 mm was computed";
  } catch (const std::runtime_error &error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("too large to fill"), std::string::npos) << message;
    EXPECT_NE(message.find("5000 x 5000 mm"), std::string::npos) << message;
    EXPECT_NE(message.find("0.2 mm"), std::string::npos) << message;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  // The same shape 50 mm across is filled.
  const TAreaPaths small = AreaPaths({circle(2500)}, {}, 0, lsHorizontal, PlainJob(20, 5000), stop);
  EXPECT_GT(small.Hatch.size(), 100u);
}

TEST(BurnPaths, FillOfNearlyAMillionCornersIsRefusedBeforeItIsMerged) {
  // 600 mm of overlapping rings, 2025 of 480 corners each, at 0.2 mm: the
  // merging and insetting alone took longer than the bound allows before the
  // hatch estimate refused it.
  const TUnitsFor units(100);
  TPaths rings;
  for (int row = 0; row < 45; ++row)
    for (int column = 0; column < 45; ++column) {
      const double cx = 700 + 1300 * column, cy = 700 + 1300 * row + 7 * column;
      TPath ring;
      for (int i = 0; i < 480; ++i) {
        const double angle = 2 * M_PI * i / 480;
        const double radius = 900 + 60 * std::sin(9 * angle);
        ring.push_back({std::lround(cx + radius * std::cos(angle)),
                        std::lround(cy + radius * std::sin(angle))});
      }
      rings.push_back(std::move(ring));
    }
  const std::atomic<bool> stop{false};
  // Processor time: a shared machine stretches the wall clock.
  const std::clock_t started = std::clock();
  try {
    AreaPaths({rings}, {}, 1, lsHorizontal, PlainJob(20, 60000), stop);
    FAIL() << "the fill was computed";
  } catch (const std::runtime_error &error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("too large to fill"), std::string::npos) << message;
    EXPECT_NE(message.find("972000 corners"), std::string::npos) << message;
  }
  // The refusal takes a fraction of a second; the merge it spares took many.
  EXPECT_LT(static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC, 2.0 * SanitizerSlowdown);
}
