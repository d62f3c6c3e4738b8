#include <gtest/gtest.h>

#include <random>

#include "core/Crossings.h"

namespace {

using ClipperLib::cInt;

TPath RandomPolyline(std::size_t points, unsigned seed, cInt side) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<cInt> coordinate(0, side);
  TPath path;
  for (std::size_t i = 0; i < points; ++i)
    path.push_back({coordinate(random), coordinate(random)});
  return path;
}

// Every pair of segments tested: what the grid must find.
std::uint64_t CountEveryPair(const TPaths &paths) {
  struct TSeg {
    TIntPoint A, B;
  };
  std::vector<TSeg> segments;
  for (const TPath &path : paths)
    for (std::size_t i = 1; i < path.size(); ++i)
      segments.push_back({path[i - 1], path[i]});
  auto side = [](TIntPoint a, TIntPoint b, TIntPoint c) {
    const double o = static_cast<double>(b.X - a.X) * static_cast<double>(c.Y - a.Y) -
                     static_cast<double>(b.Y - a.Y) * static_cast<double>(c.X - a.X);
    return (o > 0) - (o < 0);
  };
  std::uint64_t count = 0;
  for (std::size_t i = 0; i < segments.size(); ++i)
    for (std::size_t j = i + 1; j < segments.size(); ++j) {
      const TSeg &p = segments[i], &q = segments[j];
      if (side(p.A, p.B, q.A) * side(p.A, p.B, q.B) < 0 &&
          side(q.A, q.B, p.A) * side(q.A, q.B, p.B) < 0)
        ++count;
    }
  return count;
}

} // namespace

TEST(Crossings, CountsProperCrossingsOnly) {
  TPaths grid;
  for (cInt i = 0; i < 10; ++i) {
    grid.push_back({{0, 100 * i + 50}, {1000, 100 * i + 50}});
    grid.push_back({{100 * i + 50, 0}, {100 * i + 50, 1000}});
  }
  const struct {
    const char *Name;
    TPaths Paths;
    std::uint64_t Crossings;
  } cases[] = {
      {"nothing", {}, 0},
      {"one segment", {{{0, 0}, {10, 10}}}, 0},
      {"an X", {{{0, 0}, {10, 10}}, {{0, 10}, {10, 0}}}, 1},
      {"a T touches", {{{0, 0}, {10, 0}}, {{5, 0}, {5, 10}}}, 0},
      {"overlapping on one line", {{{0, 0}, {10, 0}}, {{5, 0}, {20, 0}}}, 0},
      {"a closed square", {{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}}, 0},
      {"a bow tie crosses itself", {{{0, 0}, {10, 10}, {10, 0}, {0, 10}, {0, 0}}}, 1},
      {"a pentagram", {{{0, 100}, {59, -81}, {-95, 31}, {95, 31}, {-59, -81}, {0, 100}}}, 5},
      {"ten by ten lines", grid, 100},
      {"repeated points", {{{0, 0}, {0, 0}, {10, 10}, {10, 10}}, {{0, 10}, {10, 0}}}, 1},
  };
  for (const auto &c : cases)
    EXPECT_EQ(EstimateCrossings(c.Paths, 1000), c.Crossings) << c.Name;
}

TEST(Crossings, GridFindsWhatEveryPairFindsAndStopsAboveTheCap) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    const TPaths paths{RandomPolyline(300, seed, 100000), RandomPolyline(50, seed + 10, 3000)};
    const std::uint64_t exact = CountEveryPair(paths);
    ASSERT_GT(exact, 1000u);
    EXPECT_EQ(EstimateCrossings(paths, exact), exact);
    // Stopped early, the count is scaled up from the pairs it tested: above
    // the cap, and of the right size.
    const std::uint64_t early = EstimateCrossings(paths, exact / 10);
    EXPECT_GT(early, exact / 10);
    EXPECT_GT(early, exact / 2);
    EXPECT_LT(early, exact * 2);
  }
}

TEST(Crossings, MessageRoundsTheCount) {
  EXPECT_EQ(TooManyCrossingsText(3'141'592, "outline it"),
            "The drawing crosses itself about 3,100,000 times: too many to outline it");
  EXPECT_EQ(TooManyCrossingsText(96, "x"), "The drawing crosses itself about 96 times: too many to x");
  EXPECT_EQ(TooManyCrossingsText(999'999, "x"),
            "The drawing crosses itself about 1,000,000 times: too many to x");
}
