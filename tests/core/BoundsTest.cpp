#include <gtest/gtest.h>

#include "core/Bounds.h"

using ClipperLib::IntRect;

namespace {

bool Same(const IntRect &a, const IntRect &b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

// The two box functions differ only where there are no points: the readers
// that size a drawing by its bounds rely on the zero box, those that index
// shapes by their boxes on one that meets nothing.
TEST(Bounds, NoPointsGiveZeroBoundsButAnEmptyBox) {
  const TPaths none{{}, {}};
  EXPECT_TRUE(Same(PathsBounds(none), IntRect{0, 0, 0, 0}));
  EXPECT_TRUE(IsEmptyBox(PointsBox(none)));
  EXPECT_TRUE(IsEmptyBox(PointsBox(TPath{})));
  EXPECT_FALSE(BoxesMeet(PointsBox(none), IntRect{-5, -5, 5, 5}));

  const TPaths some{{}, {{3, -2}, {-1, 7}}, {{10, 0}}};
  EXPECT_TRUE(Same(PathsBounds(some), IntRect{-1, -2, 10, 7}));
  EXPECT_TRUE(Same(PointsBox(some), PathsBounds(some)));
  EXPECT_TRUE(Same(UniteBoxes(EmptyBox, PointsBox(some)), PointsBox(some)));
}

TEST(Bounds, BoxesMeetWhenTheyShareAPoint) {
  const IntRect box{0, 0, 10, 10};
  struct TCase {
    IntRect Other;
    bool Meets;
  } cases[] = {{{10, 10, 20, 20}, true}, // a shared corner
               {{11, 0, 20, 10}, false}, {{0, -5, 10, -1}, false}, {{2, 2, 3, 3}, true},
               {{-5, 4, 15, 6}, true},   {{4, 4, 3, 6}, false}}; // the last is empty
  for (const auto &c : cases) {
    EXPECT_EQ(BoxesMeet(box, c.Other), c.Meets) << c.Other.left << "," << c.Other.top;
    EXPECT_EQ(BoxesMeet(c.Other, box), c.Meets) << c.Other.left << "," << c.Other.top;
  }
}
