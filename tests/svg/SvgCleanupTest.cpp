#include <cmath>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "core/Level.h"
#include "core/PathUtils.h"
#include "svg/SvgCleanup.h"

using namespace ClipperLib;

namespace {

std::unique_ptr<TLevel> MakeLevel(TLevelKind kind, const std::string &name, std::int32_t height,
                                  std::vector<TPaths> sets) {
  auto level = std::make_unique<TLevel>(kind);
  level->SetName(name);
  level->SetHeight(height);
  level->SetColor(0xFF000000u + static_cast<std::uint32_t>(name.size()));
  *level->Input() = std::move(sets);
  return level;
}

TLevelList Copy(const TLevelList &levels) {
  TLevelList copy;
  for (const auto &level : levels)
    copy.push_back(MakeLevel(level->Kind(), level->Name(), level->Height(), *level->Input()));
  return copy;
}

TPath Circle(double x, double y, double r, int points) {
  TPath path;
  for (int i = 0; i < points; ++i) {
    const double t = 2 * 3.14159265358979 * i / points;
    path.emplace_back(RoundUnit(x + r * std::cos(t)), RoundUnit(y + r * std::sin(t)));
  }
  return path;
}

// Overlapping circles, rectangles and strokes in a few colours, with the
// clean polygon sets the reader stores.
TLevelList Scene(unsigned seed, int count) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> place(0, 100000), size(1000, 8000);
  const char *colours[] = {"Red", "Blue", "Black"};
  TLevelList levels;
  for (int i = 0; i < count; ++i) {
    const double x = place(random), y = place(random), r = size(random);
    const std::string name = colours[random() % 3];
    if (random() % 3 == 0) {
      TPaths lines = {{{RoundUnit(x), RoundUnit(y)},
                       {RoundUnit(x + r), RoundUnit(y + r / 2)},
                       {RoundUnit(x + 2 * r), RoundUnit(y - r)}}};
      levels.push_back(MakeLevel(lkLines, name, 4, {lines}));
    } else {
      TPaths shape = random() % 2 ? TPaths{Circle(x, y, r, 40)}
                                  : TPaths{{{RoundUnit(x), RoundUnit(y)},
                                            {RoundUnit(x + r), RoundUnit(y)},
                                            {RoundUnit(x + r), RoundUnit(y + r)},
                                            {RoundUnit(x), RoundUnit(y + r)}}};
      if (random() % 4 == 0) // a ring: a hole inside
        shape.push_back(Circle(x + r / 2, y + r / 2, r / 5, 20));
      TPaths clean;
      SimplifyPolygons(shape, clean, pftEvenOdd);
      levels.push_back(MakeLevel(lkArea, name, 4, {clean}));
    }
  }
  return levels;
}

double XorArea(const TPaths &a, const TPaths &b) {
  return std::fabs(PathsArea(BooleanPaths(a, b, ctXor)));
}

void ExpectSameRegions(const TLevelList &fast, const TLevelList &reference) {
  ASSERT_EQ(fast.size(), reference.size());
  for (std::size_t i = 0; i < fast.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(fast[i]->Kind(), reference[i]->Kind());
    EXPECT_EQ(fast[i]->Name(), reference[i]->Name());
    const TPaths &a = fast[i]->Input()->front();
    const TPaths &b = reference[i]->Input()->front();
    if (fast[i]->Kind() == lkArea) {
      // Intersection points are rounded to whole units in different places,
      // so the regions may differ by slivers along a few edges.
      EXPECT_LE(XorArea(a, b), 1e-4 * std::fabs(PathsArea(b)) + 200);
    } else {
      EXPECT_NEAR(static_cast<double>(PathsLength(a, false, 0)),
                  static_cast<double>(PathsLength(b, false, 0)), 10);
    }
  }
}

TEST(SvgCleanup, FastOcclusionMatchesTheReference) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    const TLevelList scene = Scene(seed, 200);
    TLevelList fast = Copy(scene), reference = Copy(scene);
    HideCoveredAreas(fast);
    HideCoveredAreasReference(reference);
    ExpectSameRegions(fast, reference);
    std::vector<std::string> report;
    HideCoveredLines(fast, 200, report);
    HideCoveredLinesReference(reference, 200, report);
    ExpectSameRegions(fast, reference);
    EXPECT_TRUE(report.empty());
    EXPECT_LT(fast.size(), scene.size()); // the scene overlaps enough to hide something
  }
}

TEST(SvgCleanup, CoveredAreaDisappearsAndRingKeepsItsHole) {
  TPaths ring = {Circle(0, 0, 10000, 64), Circle(0, 0, 4000, 32)};
  TPaths cleanRing;
  SimplifyPolygons(ring, cleanRing, pftEvenOdd);
  TLevelList levels;
  levels.push_back(
      MakeLevel(lkArea, "Blue", 4, {{Circle(0, 0, 3000, 32)}})); // seen through the hole
  levels.push_back(MakeLevel(lkArea, "Red", 4, {{Circle(30000, 0, 3000, 32)}}));
  levels.push_back(MakeLevel(lkArea, "Green", 4, {cleanRing}));
  levels.push_back(MakeLevel(lkArea, "Black", 4, {{Circle(30000, 0, 5000, 32)}})); // hides Red
  for (bool fast : {true, false}) {
    TLevelList copy = Copy(levels);
    fast ? HideCoveredAreas(copy) : HideCoveredAreasReference(copy);
    ASSERT_EQ(copy.size(), 3u);
    EXPECT_EQ(copy[0]->Name(), "Blue");
    EXPECT_EQ(copy[1]->Name(), "Green");
    EXPECT_NEAR(PathsArea(copy[0]->Input()->front()), 3.14159 * 3000 * 3000, 3e5);
  }
}

// The pairwise loop from the end, as merging was first written.
void MergeByPairs(TLevelList &levels) {
  for (std::size_t i = levels.size() >= 2 ? levels.size() - 1 : 0; i-- > 0;)
    for (std::size_t j = levels.size() - 1; j > i; --j) {
      TLevel &a = *levels[i], &b = *levels[j];
      if (a.Kind() == b.Kind() && a.Height() == b.Height() && a.Color() == b.Color() &&
          a.Name() == b.Name()) {
        for (auto &set : *b.Input())
          a.Input()->push_back(set);
        levels.erase(levels.begin() + static_cast<std::ptrdiff_t>(j));
      }
    }
}

TEST(SvgCleanup, MergingKeepsDrawingOrder) {
  std::mt19937 random(7);
  TLevelList levels;
  const char *names[] = {"Red", "Blue", "Red 50%"};
  for (int i = 0; i < 60; ++i) {
    const auto kind = random() % 2 ? lkArea : lkLines;
    levels.push_back(MakeLevel(kind, names[random() % 3],
                               static_cast<std::int32_t>(random() % 2 + 3),
                               {{{{i, 0}, {i, 1}, {i + 1, 1}}}}));
  }
  TLevelList pairs = Copy(levels);
  MergeEqualLevels(levels);
  MergeByPairs(pairs);
  ASSERT_EQ(levels.size(), pairs.size());
  EXPECT_LE(levels.size(), 12u);
  for (std::size_t i = 0; i < levels.size(); ++i) {
    EXPECT_EQ(levels[i]->Name(), pairs[i]->Name());
    EXPECT_EQ(*levels[i]->Input(), *pairs[i]->Input());
  }
}

} // namespace

TEST(SvgCleanup, LinesCrossingThemselvesTooOftenStayWholeAndSaySo) {
  // A scribble through 3,000 random points crosses itself a million times:
  // growing it into a cover would take Clipper minutes.
  std::mt19937 random(7);
  std::uniform_int_distribution<ClipperLib::cInt> coordinate(0, 100000);
  TPath scribble;
  for (int i = 0; i < 3000; ++i)
    scribble.push_back({coordinate(random), coordinate(random)});
  const TPath under{{0, 50000}, {100000, 50000}};
  for (const bool drawnOver : {true, false}) {
    SCOPED_TRACE(drawnOver);
    TLevelList levels;
    levels.push_back(MakeLevel(lkLines, "Red", 4, {{under}}));
    levels.push_back(MakeLevel(lkLines, "Blue", 4, {{drawnOver ? scribble : TPath{{0, 50000}, {60000, 50000}}}}));
    std::vector<std::string> report;
    HideCoveredLines(levels, 200, report);
    ASSERT_EQ(levels.size(), 2u);
    const TPaths &red = levels[0]->Input()->front();
    if (drawnOver) {
      // The scribble covers nothing, so the line under it is burnt whole.
      EXPECT_EQ(red, TPaths{under});
      ASSERT_EQ(report.size(), 1u);
      EXPECT_NE(report[0].find("The drawing crosses itself about "), std::string::npos);
      EXPECT_NE(report[0].find("too many to hide what lines cover: 1 lines level left as drawn, hiding nothing"),
                std::string::npos)
          << report[0];
    } else {
      // An ordinary line still hides what it covers.
      EXPECT_LT(PathsLength(red, false, 0), 50000);
      EXPECT_TRUE(report.empty());
    }
  }
}
