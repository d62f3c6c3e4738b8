// Undoing a level edit gives back the job byte for byte, whatever the edit
// made the cycle recompute.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "../core/JobFixture.h"
#include "core/EditHistory.h"
#include "io/GcodeWriter.h"

namespace {

struct TUndoJob : TJob {
  TUndoJob() {
    AddArea({Square(0, 0, 3000), Square(4000, 0, 1500)}, 2);
    AddLines({{{0, 4000}, {5500, 4000}, {5500, 5000}}});
    Finish({5500, 5000});
    Levels.RunCycles();
  }
  std::string Gcode() {
    Levels.RunCycles();
    return GcodeText(GcodeJobFromLevels(Levels));
  }
};

struct TEditCase {
  const char *Name;
  std::function<void(TUndoJob &)> Edit;
};

const TEditCase EditCases[] = {
    {"area switched off with its shells",
     [](TUndoJob &j) {
       j.Area->SetPrint(false);
       j.Perimeter->SetPrint(false);
     }},
    {"lines switched off, which every area keeps clear of",
     [](TUndoJob &j) { j.Lines->SetPrint(false); }},
    {"hatch direction",
     [](TUndoJob &j) {
       j.Perimeter->SetStyle(lsDiagonalUp);
       j.Area->SetStyle(lsDiagonalUp);
     }},
    {"shell count", [](TUndoJob &j) { j.Perimeter->SetHeight(4); }},
    {"speed", [](TUndoJob &j) { j.Lines->SetSpeed(2550); }},
    {"power", [](TUndoJob &j) { j.Area->SetPower(100); }},
    {"power to zero", [](TUndoJob &j) { j.Area->SetPower(0); }},
    {"passes", [](TUndoJob &j) { j.Lines->SetPasses(3); }},
    {"passes to zero", [](TUndoJob &j) { j.Perimeter->SetPasses(0); }},
};

} // namespace

TEST(EditUndoGcode, UndoWritesTheJobAsBeforeAndRedoAsAfter) {
  for (const TEditCase &c : EditCases) {
    SCOPED_TRACE(c.Name);
    TUndoJob job;
    TEditHistory history;
    TJobSnapshot state;
    state.Levels = TakeLevelSettings(job.Levels);
    history.Reset(state);
    const std::string before = job.Gcode();
    ASSERT_NE(before.find("M106 S255"), std::string::npos);

    c.Edit(job);
    state.Levels = TakeLevelSettings(job.Levels);
    history.Edited(state, "");
    const std::string edited = job.Gcode();
    ASSERT_NE(edited, before);

    const auto back = history.Undo();
    ASSERT_TRUE(back);
    ASSERT_TRUE(RestoreLevelSettings(job.Levels, back->Levels));
    EXPECT_EQ(job.Gcode(), before);

    const auto ahead = history.Redo();
    ASSERT_TRUE(ahead);
    ASSERT_TRUE(RestoreLevelSettings(job.Levels, ahead->Levels));
    EXPECT_EQ(job.Gcode(), edited);
  }
}
