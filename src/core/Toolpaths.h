#pragma once
// Hatch families and island strokes: the pieces of area filling that tests
// and benchmarks also call directly.

#include <atomic>

#include "Geometry.h"

enum THatchDirection : std::uint8_t { hdHorizontal, hdVertical, hdFalling, hdRising };

// The unclipped lines of one hatch family at phase p.
TPaths HatchFamily(const TPaths &area, THatchDirection direction, int focus, std::int64_t phase);
// The phase whose clipped lines of length at least minimum are longest in
// total (the earliest on ties); 0 without candidates. Candidates are measured
// in parallel; the choice does not depend on it.
std::int64_t ChooseHatchPhase(const TPaths &area, THatchDirection direction, int focus,
                              std::int64_t minimum, const std::atomic<bool> *stop = nullptr,
                              bool parallel = true);
// The finished lines of one pass: chosen phase, short lines dropped, simplified.
TPaths HatchPass(const TPaths &area, THatchDirection direction, int focus, std::int64_t minimum,
                 const std::atomic<bool> *stop = nullptr, bool parallel = true);
// One stroke along an island's principal direction, or an empty path.
TPath IslandStroke(const TPath &contour, int focus, std::int32_t outputWidth);

// Work bound of area filling. The clipper's sweep keeps every line of a
// family in its list while it stops at each distinct height of the area's
// corners, so one clip costs about lines × heights, and a pass clips once per
// phase candidate and once more for the chosen phase. A fill of a large area
// with many corners at a fine focus could run for hours; it is refused up
// front instead.
double HatchFillWork(const TPaths &area, int focus, int passes);
// About 10 s of filling on a slow two-core machine (measured: a 195 x 135 mm
// board layer of 76,000 corners at 1.0e9 took 12 s of CPU on two threads).
inline constexpr double MaxHatchFillWork = 1.5e9;
