#include <gtest/gtest.h>

#include <random>

#include "JobFixture.h"

// Edits, clears, refills and reads while the worker computes and draws; run
// under ThreadSanitizer by the test script.
TEST(Stress, EditsWhileTheWorkerRuns) {
  THeadlessHost host;
  std::mt19937 random(5);
  {
    TLevels levels(host, true);
    levels.SetFocus(200);
    levels.SetView({200, 150});
    auto refill = [&] {
      levels.SetReading(true);
      levels.Clear();
      for (int i = 0; i < 3; ++i) {
        auto area = std::make_unique<TLevel>(lkArea);
        area->SetPower(255);
        area->SetPasses(1);
        area->Input()->push_back({Square(i * 300, 0, 1000 + i * 200)});
        levels.Add(std::move(area));
        auto perimeter = std::make_unique<TLevel>(lkPerimeter);
        perimeter->SetHeight(2);
        perimeter->SetPower(255);
        perimeter->SetPasses(1);
        levels.Add(std::move(perimeter));
      }
      auto lines = std::make_unique<TLevel>(lkLines);
      lines->SetPower(255);
      lines->SetPasses(1);
      lines->Input()->push_back({{{0, 500}, {2000, 600}}});
      levels.Add(std::move(lines));
      auto outline = std::make_unique<TLevel>(lkOutline);
      outline->SetPower(3);
      outline->SetPasses(2);
      levels.Add(std::move(outline));
      levels.SetSize({2000, 1500});
      levels.SetOutput({2000, 1500});
      levels.SetReading(false);
    };
    // A late figure as the window's: the levels taken on the main thread,
    // their paths read on the worker, the result shown on the main thread.
    int shown = 0;
    levels.SetLateEstimateHook([&]() -> TLevels::TLateWork {
      std::vector<const TLevel *> sources;
      for (int i = 0; i < levels.Count(); ++i)
        sources.push_back(levels.Item(i));
      return [sources, &shown](const std::atomic<bool> &stop) -> std::function<void()> {
        std::size_t paths = 0;
        for (const TLevel *source : sources) {
          if (stop)
            return {};
          paths += source->Output().size();
        }
        return [&shown, paths] { shown += paths > 0 ? 1 : 0; };
      };
    });
    refill();
    for (int step = 0; step < 300; ++step) {
      levels.RunHandOvers();
      const int count = levels.Count();
      TLevel &level = *levels.Item(static_cast<int>(random() % static_cast<unsigned>(count)));
      switch (random() % 10) {
      case 0: level.SetPasses(static_cast<std::int32_t>(random() % 3)); break;
      case 1: level.SetPower(static_cast<std::int32_t>(random() % 2) * 255); break;
      case 2: level.SetPrint(!level.Print()); break;
      case 3: level.SetStyle(static_cast<TLevelStyle>(random() % 4)); break;
      case 4: levels.SetOutput({1000 + static_cast<std::int32_t>(random() % 2000), 1500}); break;
      case 5: levels.SetMirror(!levels.Mirror()); break;
      case 6: (void)levels.EstimateSeconds(); (void)level.Output(); break;
      case 7: if (step % 30 == 7) refill(); break;
      case 8: levels.RequestLateEstimate(); break;
      default: levels.SetOutline(!levels.Outline()); break;
      }
      if (step % 50 == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(levels.WaitUntilIdle());
    EXPECT_FALSE(levels.Clearing());
    EXPECT_TRUE(host.ResultVisible);
    EXPECT_GT(shown, 0);
    // Shutting down in the middle of a fresh cycle must not hang.
    levels.RecalcAll();
  }
}
