#include <gtest/gtest.h>

#include "core/PathUtils.h"

TEST(PathMeasures, LengthRoundsEachSegment) {
  // 1.5 rounds to 2 (ties to even) and 2.5 to 2.
  const TPath path{{0, 0}, {3, 4}, {3, 4}, {3, 6}};
  EXPECT_EQ(PathLength(path, false), 7);
  EXPECT_EQ(PathLength(path, true), 7 + 6 + 1);
  EXPECT_EQ(PathLength(TPath{{5, 5}}, true), 0);
}
