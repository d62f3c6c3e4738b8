#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/PhaseTimes.h"

namespace {

void Busy(std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }

// Installs the collector for the test's lifetime only.
struct TInstalled {
  TPhaseTimes Times;
  TInstalled() { InstallPhaseTimes(&Times); }
  ~TInstalled() { InstallPhaseTimes(nullptr); }
};

} // namespace

TEST(PhaseTimes, NestedPhasesAreNotCountedTwice) {
  TInstalled installed;
  const auto start = std::chrono::steady_clock::now();
  {
    const TPhaseMark outer("outer");
    Busy(std::chrono::milliseconds(20));
    for (int i = 0; i < 2; ++i) {
      const TPhaseMark inner("inner");
      Busy(std::chrono::milliseconds(20));
    }
    Busy(std::chrono::milliseconds(20));
  }
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto items = installed.Times.Items();
  ASSERT_EQ(items.size(), 2u);
  // In the order they ended first: the inner phase before the outer one.
  EXPECT_EQ(items[0].Name, "inner");
  EXPECT_EQ(items[0].Runs, 2);
  EXPECT_EQ(items[1].Name, "outer");
  EXPECT_EQ(items[1].Runs, 1);
  EXPECT_GE(items[0].WallSeconds, 0.040);
  EXPECT_GE(items[1].WallSeconds, 0.040);
  // Counted in both, the inner 40 ms would push the sum past the elapsed time.
  EXPECT_LE(items[0].WallSeconds + items[1].WallSeconds, elapsed + 1e-4);
  // Sleeping takes no processor time worth the wall time.
  EXPECT_LT(items[1].CpuSeconds, items[1].WallSeconds);
}

TEST(PhaseTimes, MarksWithoutACollectorRecordNothing) {
  TPhaseTimes times;
  {
    const TPhaseMark before("before");
    InstallPhaseTimes(&times);
  }
  { const TPhaseMark after("after"); }
  InstallPhaseTimes(nullptr);
  { const TPhaseMark removed("removed"); }
  const auto items = times.Items();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].Name, "after");
}
