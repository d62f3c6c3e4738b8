#include "EditHistory.h"

#include <utility>

#include "Levels.h"

namespace {

bool SameTemplates(const TTemplates &a, const TTemplates &b) {
  for (const TTemplateInfo &info : TemplateTable)
    if (a[info.Kind] != b[info.Kind])
      return false;
  return true;
}

bool SameProfile(const TMachineProfile &a, const TMachineProfile &b) {
  return a.Name == b.Name && a.PowerMaximum == b.PowerMaximum &&
         a.PowerDecimals == b.PowerDecimals && a.TravelMove == b.TravelMove &&
         a.BedWidth == b.BedWidth && a.BedHeight == b.BedHeight && a.Acceleration == b.Acceleration;
}

} // namespace

bool operator==(const TEditedSettings &a, const TEditedSettings &b) {
  return a.ScaleX == b.ScaleX && a.ScaleY == b.ScaleY && a.PrintX == b.PrintX &&
         a.PrintY == b.PrintY && a.Mirror == b.Mirror && a.Outline == b.Outline &&
         a.Focus == b.Focus && a.OffsetX == b.OffsetX && a.OffsetY == b.OffsetY &&
         a.IdleSpeed == b.IdleSpeed && a.OffsetCenter == b.OffsetCenter &&
         SameTemplates(a.Templates, b.Templates) && SameProfile(a.Profile, b.Profile) &&
         a.Raster == b.Raster;
}

std::vector<TLevelSettings> TakeLevelSettings(const TLevels &levels) {
  std::vector<TLevelSettings> result;
  result.reserve(static_cast<std::size_t>(levels.Count()));
  for (int i = 0; i < levels.Count(); ++i) {
    const TLevel &level = *levels.Item(i);
    result.push_back({level.Kind(), level.Name(), level.Print(), level.Speed(), level.Power(),
                      level.Passes(), level.Height(), level.Style()});
  }
  return result;
}

bool FitsLevels(const TLevels &levels, const std::vector<TLevelSettings> &settings) {
  if (static_cast<std::size_t>(levels.Count()) != settings.size())
    return false;
  for (int i = 0; i < levels.Count(); ++i) {
    const TLevel &level = *levels.Item(i);
    const TLevelSettings &s = settings[static_cast<std::size_t>(i)];
    if (level.Kind() != s.Kind || level.Name() != s.Name)
      return false;
  }
  return true;
}

bool RestoreLevelSettings(TLevels &levels, const std::vector<TLevelSettings> &settings) {
  if (!FitsLevels(levels, settings))
    return false;
  // Only what differs: each setter restarts exactly the work its own edit
  // would, and an unchanged level keeps its burn paths.
  for (int i = 0; i < levels.Count(); ++i) {
    TLevel &level = *levels.Item(i);
    const TLevelSettings &s = settings[static_cast<std::size_t>(i)];
    if (level.Print() != s.Print)
      level.SetPrint(s.Print);
    if (level.Speed() != s.Speed)
      level.SetSpeed(s.Speed);
    if (level.Power() != s.Power)
      level.SetPower(s.Power);
    if (level.Passes() != s.Passes)
      level.SetPasses(s.Passes);
    if (level.Height() != s.Height)
      level.SetHeight(s.Height);
    if (level.Style() != s.Style)
      level.SetStyle(s.Style);
  }
  return true;
}

TEditHistory::TEditHistory(std::size_t depth) : FDepth(depth < 1 ? 1 : depth) {}

void TEditHistory::Reset(TJobSnapshot state) {
  FBehind.clear();
  FAhead.clear();
  FCurrent = std::move(state);
  FOpenField.clear();
}

void TEditHistory::Edited(TJobSnapshot state, const std::string &field) {
  if (state == FCurrent)
    return;
  FAhead.clear();
  if (!field.empty() && field == FOpenField && !FBehind.empty()) {
    // Typed back to where the step began: the step undoes nothing.
    if (state == FBehind.back()) {
      FBehind.pop_back();
      FOpenField.clear();
    }
    FCurrent = std::move(state);
    return;
  }
  FBehind.push_back(std::move(FCurrent));
  while (FBehind.size() > FDepth)
    FBehind.pop_front();
  FCurrent = std::move(state);
  FOpenField = field;
}

void TEditHistory::Seal() { FOpenField.clear(); }

void TEditHistory::Amend(TJobSnapshot state) { FCurrent = std::move(state); }

std::optional<TJobSnapshot> TEditHistory::Undo() {
  FOpenField.clear();
  if (FBehind.empty())
    return std::nullopt;
  FAhead.push_back(std::move(FCurrent));
  FCurrent = std::move(FBehind.back());
  FBehind.pop_back();
  return FCurrent;
}

std::optional<TJobSnapshot> TEditHistory::Redo() {
  FOpenField.clear();
  if (FAhead.empty())
    return std::nullopt;
  FBehind.push_back(std::move(FCurrent));
  FCurrent = std::move(FAhead.back());
  FAhead.pop_back();
  return FCurrent;
}
