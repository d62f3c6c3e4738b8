#include <gtest/gtest.h>

#include "JobFixture.h"
#include "core/PathUtils.h"

TEST(LevelsFocus, SetsInternalUnit) {
  struct TFocusCase {
    int Micrometres, Focus;
    double UnitsPerMM;
  };
  constexpr TFocusCase cases[] = {{200, 20, 100}, {41, 4, 100}, {40, 4, 100},
                                  {30, 4, 133},   {4, 4, 1000}, {0, 4, 4000}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Micrometres);
    THeadlessHost host;
    TLevels levels(host, false);
    levels.SetFocus(c.Micrometres);
    EXPECT_EQ(levels.Focus(), c.Focus);
    EXPECT_EQ(UnitsPerMM(), c.UnitsPerMM);
  }
}

TEST(LevelsSizes, ViewAndOutputHaveMinimums) {
  THeadlessHost host;
  TLevels levels(host, false);
  levels.SetFocus(200);
  levels.SetView({10, 500});
  EXPECT_EQ(levels.View(), (TIntSize{30, 500}));
  levels.SetOutput({5, 20000});
  EXPECT_EQ(levels.Output(), (TIntSize{100, 20000}));
}

TEST(LevelsEstimate, LabelTexts) {
  struct TCase {
    double Seconds;
    const char *Text;
  };
  const TCase cases[] = {{3725, "Estimated burning time:   1h 2m 5s"},
                         {3600, "Estimated burning time:   1h"},
                         {59, "Estimated burning time:   59s"},
                         {60.4, "Estimated burning time:   1m"},
                         {0.5, "Nothing to print"},
                         {1.5, "Estimated burning time:   2s"},
                         {0, "Nothing to print"}};
  for (const auto &c : cases)
    EXPECT_EQ(TLevels::EstimateText(c.Seconds), c.Text) << c.Seconds;
}

TEST(LevelsEstimate, SumsPrintedLevelsLengthPassesAndSpeed) {
  TJob job;
  // 100 mm traced twice at 10 mm/s: 20 s.
  job.AddLines({{{0, 0}, {10000, 0}}});
  job.Lines->SetPasses(2);
  job.Finish({10000, 100});
  job.Outline->SetPrint(false);
  job.Levels.RunCycles();
  EXPECT_DOUBLE_EQ(job.Levels.EstimateSeconds(), 20);
  EXPECT_EQ(job.Host.Result, "Estimated burning time:   20s");
  EXPECT_TRUE(job.Host.ResultVisible);
  EXPECT_FALSE(job.Host.ProgressVisible);
}

TEST(LevelsEstimate, CountsOnlyWhatASaveWrites) {
  TJob job;
  // 100 mm traced twice at 10 mm/s: 20 s; the printed outline adds nothing.
  job.AddLines({{{0, 0}, {10000, 0}}});
  job.Lines->SetPasses(2);
  job.Finish({10000, 100});
  ASSERT_TRUE(job.Outline->Print());
  job.Levels.RunCycles();
  EXPECT_DOUBLE_EQ(job.Levels.EstimateSeconds(), 20);

  // Outline only: the outline alone, whatever the other levels hold.
  job.Levels.SetOutline(true);
  job.Levels.RunCycles();
  const double outline = job.Levels.EstimateSeconds();
  EXPECT_GT(outline, 0);
  job.Lines->SetPasses(5);
  job.Levels.RunCycles();
  EXPECT_DOUBLE_EQ(job.Levels.EstimateSeconds(), outline);
  job.Outline->SetPasses(4);
  job.Levels.RunCycles();
  EXPECT_DOUBLE_EQ(job.Levels.EstimateSeconds(), 2 * outline);

  // A level at no power is not written, so it takes no time.
  job.Levels.SetOutline(false);
  job.Lines->SetPower(0);
  job.Levels.RunCycles();
  EXPECT_DOUBLE_EQ(job.Levels.EstimateSeconds(), 0);
  EXPECT_EQ(job.Host.Result, "Nothing to print");
}

TEST(LevelsByIndex, FollowsTheGridRows) {
  TJob job;
  job.AddArea({Square(0, 0, 100)});
  job.AddLines({{{0, 0}, {100, 0}}});
  job.Finish({100, 100});
  job.Perimeter->SetPrint(false);
  EXPECT_EQ(job.Levels.ByIndex(0), job.Area);
  EXPECT_EQ(job.Levels.ByIndex(1), job.Lines);
  EXPECT_EQ(job.Levels.ByIndex(2), nullptr);
  job.Perimeter->SetPrint(true);
  EXPECT_EQ(job.Levels.ByIndex(1), job.Perimeter);
  job.Levels.SetOutline(true);
  EXPECT_EQ(job.Levels.ByIndex(0), job.Outline);
  EXPECT_EQ(job.Levels.ByIndex(1), nullptr);
}

TEST(LevelSetters, SideEffects) {
  TJob job;
  job.AddArea({Square(0, 0, 200)});
  job.AddLines({{{0, 0}, {200, 0}}});
  job.Finish({200, 200});
  job.Levels.RunCycles();
  ASSERT_FALSE(job.Levels.Clearing());

  job.Lines->SetSpeed(0);
  EXPECT_EQ(job.Lines->Speed(), 1);
  job.Lines->SetSpeed(-5);
  EXPECT_EQ(job.Lines->Speed(), 1);
  EXPECT_FALSE(job.Levels.Clearing());
  job.Lines->SetSpeed(1000);

  job.Lines->SetPasses(3);
  job.Lines->SetPasses(5); // only the estimate changes
  EXPECT_FALSE(job.Levels.Clearing());
  const std::string estimate = job.Host.Result;
  job.Lines->SetPasses(10);
  EXPECT_NE(job.Host.Result, estimate);
  job.Lines->SetPasses(0); // drawing restarts
  EXPECT_TRUE(job.Levels.Clearing());
  job.Levels.RunCycles();
  job.Lines->SetPasses(3);
  EXPECT_TRUE(job.Levels.Clearing());
  job.Levels.RunCycles();

  job.Area->SetPower(100);
  EXPECT_FALSE(job.Levels.Clearing());
  job.Area->SetPower(0);
  EXPECT_TRUE(job.Levels.Clearing());
  job.Area->SetPower(255);
  job.Levels.RunCycles();

  // Print of an area level recomputes that level only; of a lines level, all.
  job.Area->SetPrint(false);
  EXPECT_TRUE(job.Area->Recalc());
  EXPECT_FALSE(job.Lines->Recalc());
  job.Area->SetPrint(true);
  job.Levels.RunCycles();
  job.Lines->SetPrint(false);
  EXPECT_TRUE(job.Area->Recalc());
  EXPECT_TRUE(job.Lines->Recalc());
  EXPECT_TRUE(job.Outline->Recalc());
  job.Lines->SetPrint(true);
  job.Levels.RunCycles();

  // A perimeter's shell count is computed by its area level.
  job.Perimeter->SetHeight(3);
  EXPECT_TRUE(job.Area->Recalc());
  EXPECT_TRUE(job.Perimeter->Recalc());
  job.Levels.RunCycles();
  EXPECT_GE(job.Perimeter->Output().size(), 2u);

  TLevel loose(lkArea);
  loose.SetHeight(4); // not in any list: nothing happens
  EXPECT_FALSE(loose.Recalc());
  EXPECT_FALSE(job.Levels.Clearing());
}

TEST(LevelsCycle, UndrawableLevelsDoNotStallTheCycle) {
  // A computed area level without power used to be found undrawn for ever.
  TJob job;
  job.AddArea({Square(0, 0, 400)});
  job.Area->SetPower(0);
  job.Finish({400, 400});
  job.Levels.RunCycles();
  EXPECT_FALSE(job.Levels.Clearing());
  EXPECT_FALSE(job.Area->Output().empty());
  EXPECT_EQ(job.Area->LastDrawn(), 0);
  EXPECT_GT(job.Perimeter->LastDrawn(), 0);
}

TEST(LevelsCycle, OutlineOnlyDrawsOnlyTheOutline) {
  TJob job;
  job.AddLines({{{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}, {0, 0}}});
  job.Finish({1000, 1000});
  job.Levels.RunCycles();
  EXPECT_GT(job.Lines->LastDrawn(), 0);
  EXPECT_EQ(job.Outline->LastDrawn(), 0);
  job.Levels.SetOutline(true);
  job.Levels.RunCycles();
  EXPECT_EQ(job.Lines->LastDrawn(), 0);
  EXPECT_GT(job.Outline->LastDrawn(), 0);
}

// The late figures alone keep the preview and compute nothing; asked for
// after a change that redraws, they leave that cycle a full one.
TEST(LevelsCycle, LateFiguresAloneNeitherRecomputeNorRedraw) {
  TJob job;
  job.Levels.SetView({200, 200});
  job.AddLines({{{0, 0}, {1000, 0}, {1000, 1000}}});
  job.AddArea({Square(200, 200, 500)});
  job.Finish({1000, 1000});
  int works = 0, shown = 0;
  job.Levels.SetLateEstimateHook([&]() -> TLevels::TLateWork {
    return [&](const std::atomic<bool> &) -> std::function<void()> {
      ++works;
      return [&] { ++shown; };
    };
  });
  job.Levels.RunCycles();
  EXPECT_EQ(works, 1);
  EXPECT_EQ(shown, 1);
  const QImage drawn = job.Levels.Preview();
  const TPaths hatch = job.Area->Output();
  ASSERT_FALSE(hatch.empty());

  // A full cycle presents the cleared preview and then every drawn batch.
  const int presented = job.Host.PresentCount;
  job.Levels.RequestLateEstimate();
  job.Levels.RunCycles();
  EXPECT_EQ(works, 2);
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(job.Host.PresentCount, presented);
  EXPECT_EQ(job.Levels.Preview(), drawn);
  EXPECT_EQ(job.Area->Output(), hatch);

  // The lines level is switched off, then the figures are asked for before
  // the cycle began: the preview is drawn anew without the lines.
  job.Lines->SetPower(0);
  job.Levels.RequestLateEstimate();
  job.Levels.RunCycles();
  EXPECT_EQ(works, 3);
  const QImage withoutLines = job.Levels.Preview();
  EXPECT_NE(withoutLines, drawn);
  job.Levels.Restart();
  job.Levels.RunCycles();
  EXPECT_EQ(job.Levels.Preview(), withoutLines);
}

// The estimates wait for the outline only where they count it.
TEST(LevelsCycle, EstimatesComeBeforeTheOutlineUnlessOutlineOnly) {
  for (const bool outlineOnly : {false, true}) {
    TJob job;
    job.AddLines({{{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}, {0, 0}}});
    job.Finish({1000, 1000});
    job.Levels.SetOutline(outlineOnly);
    bool outlineDue = false;
    job.Levels.SetLateEstimateHook([&]() -> TLevels::TLateWork {
      outlineDue = job.Outline->Recalc();
      EXPECT_TRUE(job.Host.ResultVisible);
      return {};
    });
    job.Levels.RunCycles();
    EXPECT_EQ(outlineDue, !outlineOnly) << outlineOnly;
    // Either way the cycle ends with the outline computed.
    EXPECT_FALSE(job.Outline->Recalc());
    EXPECT_FALSE(job.Outline->Output().empty());
  }
}

TEST(LevelsPreview, DrawsStrokesYUpWithMargin) {
  TJob job;
  job.Levels.SetView({220, 220});
  // A horizontal line near the bottom of the output: factor (220-20)/2000.
  job.AddLines({{{0, 100}, {2000, 100}}});
  job.Finish({2000, 2000});
  job.Levels.RunCycles();
  const QImage &preview = job.Levels.Preview();
  ASSERT_EQ(preview.size(), QSize(220, 220));
  auto red = [&](int x, int y) {
    return QColor(preview.pixel(x, y)).red() > 200 && QColor(preview.pixel(x, y)).green() < 120;
  };
  // y = 100 units maps to 220 - 10 - 10 = pixel row 200.
  EXPECT_TRUE(red(110, 200));
  EXPECT_FALSE(red(110, 20));
  EXPECT_EQ(QColor(preview.pixel(110, 100)), QColor(Qt::white));
}

TEST(LevelsWorker, ComputesWhatTheInlineCycleComputes) {
  auto build = [](TJob &job) {
    job.AddArea({Square(0, 0, 3000), Square(1000, 1000, 500)}, 2, lsDiagonalUp);
    job.AddLines({{{0, 1500}, {3000, 1700}}});
    job.Finish({3000, 3000});
  };
  TJob inlineJob(false);
  build(inlineJob);
  inlineJob.Levels.RunCycles();
  TJob workerJob(true);
  build(workerJob);
  ASSERT_TRUE(workerJob.Levels.WaitUntilIdle());
  EXPECT_EQ(workerJob.Area->Output(), inlineJob.Area->Output());
  EXPECT_EQ(workerJob.Perimeter->Output(), inlineJob.Perimeter->Output());
  EXPECT_EQ(workerJob.Outline->Output(), inlineJob.Outline->Output());
  EXPECT_EQ(workerJob.Host.Result, inlineJob.Host.Result);
  EXPECT_TRUE(workerJob.Host.ResultVisible);
}
