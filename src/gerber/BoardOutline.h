#pragma once
// The board-outline options after a Gerber copper layer was loaded: the
// outline from a mechanical-layer file or by offsetting the copper, turned
// into a "Clear" area (board minus copper) and a "Mechanical" lines level.

#include <cstdint>
#include <string>

#include "core/Geometry.h"
#include "core/JobState.h"

class TLevels;

// Runs the chosen option (TOutlineChoice: core/JobState.h) on the freshly
// loaded Gerber job and remembers it in the job.
void ApplyOutlineChoice(TLevels &levels, const TOutlineChoice &choice);
// After a re-read (focus change): the option chosen last, without asking.
void ReapplyOutline(TLevels &levels);

// The option the job remembers for re-reads (okNone until one has run).
TOutlineChoice RememberedOutline(const TLevels &levels);
// A newly opened file starts without a choice (the options window calls this
// when it is created).
void ResetOutlineChoice(TLevels &levels);

// The options themselves. Both expect the list as loading left it: the copper
// area level first, its perimeter second. They change nothing when they fail.
void AddOffsetOutline(TLevels &levels, double sizeMM);
void AddMechanicalOutline(TLevels &levels, const std::string &fileName);

// Every closed contour of the tree that is not a hole, at any depth, with its
// first point repeated at the end; a node comes before its children.
TPaths OuterContours(const ClipperLib::PolyTree &tree);
