#pragma once
// The clean-up after reading an SVG drawing: what later elements cover is
// hidden, then levels that look alike are merged.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TLevel;
using TLevelList = std::vector<std::unique_ptr<TLevel>>;

// Areas lose what later areas cover; slivers narrower than about 100 units
// go, and so does an area left empty.
void HideCoveredAreas(TLevelList &levels);
// Lines lose what later areas cover (except within 50 units of their edges)
// and what later lines cover within 0.4 focus; pieces shorter than the focus
// go, and so does a lines level left empty. focus in internal units. A lines
// level that crosses itself too often to cut in a few seconds is kept whole
// and hides nothing, said in one line added to report.
void HideCoveredLines(TLevelList &levels, std::int32_t focus, std::vector<std::string> &report);
// Levels of equal kind, weight, colour and name become the first of them,
// holding all their path sets in drawing order.
void MergeEqualLevels(TLevelList &levels);

// Kept for tests and benchmarks: the same steps done the straightforward way,
// one boolean operation per level against a single cover that grows over the
// whole drawing. They give the same regions.
void HideCoveredAreasReference(TLevelList &levels);
void HideCoveredLinesReference(TLevelList &levels, std::int32_t focus,
                               std::vector<std::string> &report);
