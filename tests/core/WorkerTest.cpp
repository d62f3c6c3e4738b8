#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/Worker.h"

using namespace std::chrono_literals;

namespace {

// Waits for a condition another thread makes true; false after five seconds.
template <typename TCondition> bool Eventually(TCondition condition) {
  for (int i = 0; i < 5000 && !condition(); ++i)
    std::this_thread::sleep_for(1ms);
  return condition();
}

} // namespace

TEST(Worker, HandOversRunOnTheMainThreadAndCarryTheirErrorsBack) {
  const auto mainThread = std::this_thread::get_id();
  std::thread::id stepThread;
  std::string caught, shown;
  int cycles = 0;
  TWorker worker(true, [] {});
  worker.Start(
      [&] {
        ++cycles;
        worker.HandOver([&] { stepThread = std::this_thread::get_id(); });
        try {
          worker.HandOver([] { throw std::runtime_error("step failed"); });
        } catch (const std::exception &error) {
          caught = error.what();
        }
        (void)worker.TakeRequest();
        throw std::runtime_error("cycle failed");
      },
      [&](const std::string &message) { shown = message; });
  worker.RequestCycle();
  ASSERT_TRUE(worker.WaitUntilIdle(10s));
  EXPECT_EQ(cycles, 1);
  EXPECT_EQ(stepThread, mainThread);
  EXPECT_EQ(caught, "step failed");
  EXPECT_EQ(shown, "cycle failed");
}

TEST(Worker, NoCycleStartsWhileHeldOrReading) {
  std::atomic<int> cycles{0};
  TWorker worker(true, [] {});
  worker.Start(
      [&] {
        worker.HandOver([&] { (void)worker.TakeRequest(); });
        ++cycles;
      },
      [](const std::string &) {});
  worker.Hold();
  worker.RequestCycle();
  ASSERT_TRUE(worker.WaitUntilIdle(10s)); // a held worker has nothing due
  std::this_thread::sleep_for(150ms);     // longer than the idle poll
  EXPECT_EQ(cycles, 0);
  worker.SetReading(true);
  worker.Release();
  ASSERT_TRUE(worker.WaitUntilIdle(10s));
  EXPECT_EQ(cycles, 0);
  worker.SetReading(false);
  ASSERT_TRUE(worker.WaitUntilIdle(10s));
  EXPECT_EQ(cycles, 1);
}

TEST(Worker, StoppingReleasesAWaitingHandOverWithoutRunningIt) {
  // Closing the window used to run the worker's pending step, which painted
  // into a window already half destroyed.
  std::atomic<bool> queued{false}, ran{false};
  TWorker worker(true, [&] { queued = true; });
  worker.Start([&] { worker.HandOver([&] { ran = true; }); }, [](const std::string &) {});
  worker.RequestCycle();
  ASSERT_TRUE(Eventually([&] { return queued.load(); }));
  worker.Stop();
  EXPECT_FALSE(ran);
}

TEST(Worker, InlineRunsCyclesUntilNoneIsRequested) {
  int cycles = 0;
  TWorker worker(false, [] {});
  worker.Start(
      [&] {
        worker.HandOver([&] { (void)worker.TakeRequest(); });
        // The first cycle asks for a second one, as a setter in a step would.
        if (++cycles == 1)
          worker.RequestCycle();
      },
      [](const std::string &) {});
  worker.RequestCycle();
  worker.RunInline();
  EXPECT_EQ(cycles, 2);
  EXPECT_FALSE(worker.Clearing());
}
