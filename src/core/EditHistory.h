#pragma once
// Undo and redo of what the user edits: every level's settings and the
// job-wide settings the window holds, kept as whole snapshots so that going
// back restores a state exactly, whichever path changed it.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "Level.h"
#include "MachineProfile.h"
#include "RasterSettings.h"
#include "Templates.h"

class TLevels;

// One level as the grid edits it. Kind and name tell whether a snapshot still
// fits the list it is restored to.
struct TLevelSettings {
  TLevelKind Kind = lkLines;
  std::string Name;
  bool Print = true;
  std::int32_t Speed = 1, Power = 0, Passes = 0, Height = 0;
  TLevelStyle Style = lsHorizontal;
  friend bool operator==(const TLevelSettings &, const TLevelSettings &) = default;
};

// The job-wide settings as the window's controls hold them (millimetres and
// per cent, the focus in millimetres).
struct TEditedSettings {
  double ScaleX = 100, ScaleY = 100, PrintX = 1, PrintY = 1;
  bool Mirror = false, Outline = false;
  double Focus = 0.2, OffsetX = 0, OffsetY = 0, IdleSpeed = 100;
  bool OffsetCenter = false;
  TTemplates Templates;
  TMachineProfile Profile;
  TRasterSettings Raster;
};
bool operator==(const TEditedSettings &a, const TEditedSettings &b);

struct TJobSnapshot {
  std::vector<TLevelSettings> Levels;
  TEditedSettings Settings;
  friend bool operator==(const TJobSnapshot &, const TJobSnapshot &) = default;
};

// The grid's settings of every level, in list order.
std::vector<TLevelSettings> TakeLevelSettings(const TLevels &levels);
// Whether the list has the levels a snapshot was taken of (count, kinds, names).
bool FitsLevels(const TLevels &levels, const std::vector<TLevelSettings> &settings);
// Writes back the settings that differ through the level setters, so the
// burn paths and the estimate are recomputed as after the user's own edit.
// False, and nothing changed, when the snapshot does not fit the list.
bool RestoreLevelSettings(TLevels &levels, const std::vector<TLevelSettings> &settings);

// The steps behind and ahead of the state shown. A typed value arrives as a
// run of edits of one field; while its step is open they extend that step
// instead of adding one per keystroke.
class TEditHistory {
public:
  // How many steps back are kept; older ones are forgotten.
  static constexpr std::size_t DefaultDepth = 100;
  explicit TEditHistory(std::size_t depth = DefaultDepth);

  // Starts over from state (a new drawing): no step back or ahead.
  void Reset(TJobSnapshot state);
  // The user changed the job; state is how it stands now. No step when
  // nothing changed. field names what was edited: an edit of the same field
  // as the open step extends it; an empty field always starts a new step.
  // Any edit drops the steps ahead.
  void Edited(TJobSnapshot state, const std::string &field);
  // The open step is complete: the next edit starts a new one.
  void Seal();
  // Replaces the state shown without a step of its own: the program finished
  // what the user's last edit began (reading the drawing again, say).
  void Amend(TJobSnapshot state);

  bool CanUndo() const { return !FBehind.empty(); }
  bool CanRedo() const { return !FAhead.empty(); }
  std::size_t UndoCount() const { return FBehind.size(); }
  std::size_t RedoCount() const { return FAhead.size(); }
  // Moves one step back (or ahead) and returns the state to restore; none
  // when there is no such step.
  std::optional<TJobSnapshot> Undo();
  std::optional<TJobSnapshot> Redo();
  const TJobSnapshot &Current() const { return FCurrent; }

private:
  std::size_t FDepth;
  std::deque<TJobSnapshot> FBehind;
  std::vector<TJobSnapshot> FAhead;
  TJobSnapshot FCurrent;
  // The field whose edits extend the newest step; empty when it is sealed.
  std::string FOpenField;
};
