#pragma once
// The burn paths of one level, computed from plain inputs: the level's input
// geometry and settings, the job's focus and output, and a stop flag. When
// stop is seen set the result is incomplete and the caller discards it.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "Geometry.h"
#include "Level.h"

// What every computation takes from the job, fixed at its start.
struct TBurnJob {
  std::int32_t Focus = 0; // spot diameter in internal units
  TSizeF Scale;           // output units per drawing unit
  TIntSize Output;
  bool Mirror = false;
  bool Raster = false; // lines of a raster picture are output already
};

// A lines level: each input set scaled and simplified; lone points dropped.
TPaths LinePaths(const std::vector<TPaths> &input, const TBurnJob &job,
                 const std::atomic<bool> &stop);

// An area level fills its polygons, keeping clear of printedLines; the
// perimeter level after it receives the shells and island strokes.
enum TAreaPart : std::uint8_t { apShells, apHatch };
struct TAreaPaths {
  TPaths Shells; // the perimeter level's: shells, then island strokes
  TPaths Hatch;  // the area level's own: hatch passes in burning order
};
// Called after every shell, the island strokes and every hatch pass with the
// paths just added, so the preview can grow while the rest is computed.
using TAreaProgress = std::function<void(TAreaPart part, const TPaths &added)>;
// shells is the perimeter level's height, 0 without a perimeter level.
TAreaPaths AreaPaths(const std::vector<TPaths> &input, const TPaths &printedLines,
                     std::int32_t shells, TLevelStyle style, const TBurnJob &job,
                     const std::atomic<bool> &stop, const TAreaProgress &progress = {});

// The outline level: the outer boundary, at least 4 mm² per contour, of the
// strokes of every other printed level. Empty when stop is seen set: the
// computation is abandoned. Empty too when the strokes cross themselves more
// often than the polygon library unites in a few seconds; refusal, if
// given, then receives the reason to show ("The drawing crosses itself
// about 3,100,000 times: too many to outline it").
TPaths OutlinePaths(const TPaths &strokes, std::int32_t focus, double unitsPerMM,
                    const std::atomic<bool> &stop, std::string *refusal = nullptr);
// Crossings of the strokes above which the outline is not computed.
inline constexpr std::uint64_t MaxOutlineCrossings = 200'000;
