#include "core/EditHistory.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "JobFixture.h"

namespace {

// A state told apart by its X offset alone.
TJobSnapshot State(double offset) {
  TJobSnapshot state;
  state.Settings.OffsetX = offset;
  return state;
}

enum TStep : std::uint8_t { stEdit, stSeal, stUndo, stRedo };
struct TOperation {
  TStep Step;
  double Offset = 0;
  const char *Field = "";
};

struct THistoryCase {
  const char *Name;
  std::size_t Depth;
  std::vector<TOperation> Script;
  double Shown;
  std::size_t Behind, Ahead;
};

const THistoryCase HistoryCases[] = {
    {"edits of different fields are steps of their own",
     100,
     {{stEdit, 1, "a"}, {stEdit, 2, "b"}, {stEdit, 3, "c"}},
     3,
     3,
     0},
    {"undo goes back and redo ahead",
     100,
     {{stEdit, 1, "a"}, {stEdit, 2, "b"}, {stEdit, 3, "c"}, {stUndo}, {stUndo}, {stRedo}},
     2,
     2,
     1},
    {"keystrokes in one field make one step",
     100,
     {{stEdit, 1, "x"}, {stEdit, 15, "x"}, {stEdit, 150, "x"}, {stUndo}},
     0,
     0,
     1},
    {"a sealed field starts a new step",
     100,
     {{stEdit, 1, "x"}, {stSeal}, {stEdit, 2, "x"}, {stUndo}},
     1,
     1,
     1},
    {"an edit after undo drops the steps ahead",
     100,
     {{stEdit, 1, "a"}, {stEdit, 2, "b"}, {stUndo}, {stEdit, 5, "c"}},
     5,
     2,
     0},
    {"an edit that changes nothing is no step", 100, {{stEdit, 1, "a"}, {stEdit, 1, "b"}}, 1, 1, 0},
    {"typing back to the start leaves no step",
     100,
     {{stEdit, 4, "a"}, {stEdit, 1, "x"}, {stEdit, 4, "x"}},
     4,
     1,
     0},
    {"unnamed edits never merge", 100, {{stEdit, 1, ""}, {stEdit, 2, ""}, {stUndo}}, 1, 1, 1},
    {"undo then the same field again is a new step",
     100,
     {{stEdit, 1, "x"}, {stEdit, 2, "y"}, {stUndo}, {stEdit, 7, "x"}, {stUndo}},
     1,
     1,
     1},
    {"undo and redo with no step change nothing", 100, {{stUndo}, {stRedo}}, 0, 0, 0},
    {"only the newest steps are kept",
     3,
     {{stEdit, 1, "a"},
      {stEdit, 2, "b"},
      {stEdit, 3, "c"},
      {stEdit, 4, "d"},
      {stEdit, 5, "e"},
      {stUndo},
      {stUndo},
      {stUndo},
      {stUndo}},
     2,
     0,
     3},
};

} // namespace

TEST(EditHistory, StepsBackAndAhead) {
  for (const THistoryCase &c : HistoryCases) {
    SCOPED_TRACE(c.Name);
    TEditHistory history(c.Depth);
    history.Reset(State(0));
    for (const TOperation &op : c.Script) {
      switch (op.Step) {
      case stEdit:
        history.Edited(State(op.Offset), op.Field);
        break;
      case stSeal:
        history.Seal();
        break;
      case stUndo: {
        const bool could = history.CanUndo();
        const auto state = history.Undo();
        ASSERT_EQ(state.has_value(), could);
        if (state) {
          EXPECT_EQ(*state, history.Current());
        }
        break;
      }
      case stRedo: {
        const bool could = history.CanRedo();
        const auto state = history.Redo();
        ASSERT_EQ(state.has_value(), could);
        if (state) {
          EXPECT_EQ(*state, history.Current());
        }
        break;
      }
      }
    }
    EXPECT_EQ(history.Current().Settings.OffsetX, c.Shown);
    EXPECT_EQ(history.UndoCount(), c.Behind);
    EXPECT_EQ(history.RedoCount(), c.Ahead);
  }
}

TEST(EditHistory, ResetForgetsEveryStepAndAmendAddsNone) {
  TEditHistory history;
  history.Reset(State(0));
  history.Edited(State(1), "a");
  history.Edited(State(2), "b");
  history.Undo();
  history.Reset(State(9));
  EXPECT_FALSE(history.CanUndo());
  EXPECT_FALSE(history.CanRedo());
  EXPECT_EQ(history.Current(), State(9));

  history.Edited(State(1), "a");
  history.Amend(State(3));
  EXPECT_EQ(history.UndoCount(), 1u);
  EXPECT_EQ(history.Undo(), State(9));
  EXPECT_EQ(history.Redo(), State(3));
}

TEST(EditHistory, EverySettingTellsStatesApart) {
  // A field the comparison missed would make its edit no step at all.
  using TChange = void (*)(TEditedSettings &);
  const TChange changes[] = {
      [](TEditedSettings &s) { s.ScaleX = 50; },
      [](TEditedSettings &s) { s.ScaleY = 50; },
      [](TEditedSettings &s) { s.PrintX = 20; },
      [](TEditedSettings &s) { s.PrintY = 20; },
      [](TEditedSettings &s) { s.Mirror = true; },
      [](TEditedSettings &s) { s.Outline = true; },
      [](TEditedSettings &s) { s.Focus = 0.1; },
      [](TEditedSettings &s) { s.OffsetX = 1; },
      [](TEditedSettings &s) { s.OffsetY = 1; },
      [](TEditedSettings &s) { s.IdleSpeed = 50; },
      [](TEditedSettings &s) { s.OffsetCenter = true; },
      [](TEditedSettings &s) { s.Templates.LaserOn = "M3 S?"; },
      [](TEditedSettings &s) { s.Templates.HeadMove = "G0 X? Y?"; },
      [](TEditedSettings &s) { s.Profile.Name = "grbl"; },
      [](TEditedSettings &s) { s.Profile.PowerMaximum = 1000; },
      [](TEditedSettings &s) { s.Profile.PowerDecimals = 2; },
      [](TEditedSettings &s) { s.Profile.TravelMove = "G0 X? Y?"; },
      [](TEditedSettings &s) { s.Profile.BedWidth = 300; },
      [](TEditedSettings &s) { s.Profile.BedHeight = 200; },
      [](TEditedSettings &s) { s.Profile.Acceleration = 500; },
      [](TEditedSettings &s) { s.Raster.Mode = TRasterMode::Dithered; },
      [](TEditedSettings &s) { s.Raster.Gamma = 2; },
  };
  int index = 0;
  for (const TChange change : changes) {
    SCOPED_TRACE(index++);
    TJobSnapshot changed;
    change(changed.Settings);
    EXPECT_FALSE(changed == TJobSnapshot());
  }
}

TEST(EditHistory, RestoringLevelSettingsRecomputesTheBurnPaths) {
  TJob job;
  job.AddArea({Square(0, 0, 2000)}, 1);
  job.AddLines({{{0, 3000}, {2000, 3000}}});
  job.Finish({2000, 3100});
  job.Levels.RunCycles();
  const auto before = TakeLevelSettings(job.Levels);
  std::vector<TPaths> paths;
  for (int i = 0; i < job.Levels.Count(); ++i)
    paths.push_back(job.Levels.Item(i)->Output());
  const std::string estimate = job.Host.Result;

  // Edits that each recompute something different.
  job.Area->SetStyle(lsVertical);
  job.Perimeter->SetHeight(3);
  job.Lines->SetPrint(false);
  job.Area->SetPasses(0);
  job.Area->SetPasses(2);
  job.Perimeter->SetSpeed(50);
  job.Levels.RunCycles();
  ASSERT_NE(job.Area->Output(), paths[0]);
  ASSERT_NE(job.Perimeter->Output(), paths[1]);
  ASSERT_NE(job.Host.Result, estimate);

  ASSERT_TRUE(RestoreLevelSettings(job.Levels, before));
  job.Levels.RunCycles();
  EXPECT_EQ(TakeLevelSettings(job.Levels), before);
  for (int i = 0; i < job.Levels.Count(); ++i)
    EXPECT_EQ(job.Levels.Item(i)->Output(), paths[static_cast<std::size_t>(i)]) << i;
  EXPECT_EQ(job.Host.Result, estimate);
}

TEST(EditHistory, SettingsOfOtherLevelsAreNotRestored) {
  TJob job;
  job.AddArea({Square(0, 0, 2000)});
  job.Finish({2000, 2000});
  const auto settings = TakeLevelSettings(job.Levels);
  struct TMismatch {
    const char *Name;
    void (*Change)(std::vector<TLevelSettings> &);
  };
  const TMismatch mismatches[] = {
      {"one level fewer", [](std::vector<TLevelSettings> &s) { s.pop_back(); }},
      {"one level more", [](std::vector<TLevelSettings> &s) { s.push_back(s.back()); }},
      {"another kind", [](std::vector<TLevelSettings> &s) { s[0].Kind = lkLines; }},
      {"another name", [](std::vector<TLevelSettings> &s) { s[0].Name = "Gray 3"; }},
  };
  for (const TMismatch &m : mismatches) {
    SCOPED_TRACE(m.Name);
    auto other = settings;
    m.Change(other);
    for (TLevelSettings &level : other)
      level.Speed = 7;
    EXPECT_FALSE(FitsLevels(job.Levels, other));
    EXPECT_FALSE(RestoreLevelSettings(job.Levels, other));
    EXPECT_EQ(TakeLevelSettings(job.Levels), settings);
  }
}
