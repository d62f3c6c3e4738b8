#pragma once
// Clipping a flushed plotter path: lines against the input window, and the
// areas of one pen against what that pen filled before.

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "core/Geometry.h"

// Open paths clipped to the window rectangle (its four corners), in drawn
// order and direction; repeated points are dropped.
TPaths ClipLinesToWindow(const TPaths &paths, const TPath &window);

// About how many steps the clipper needs to resolve these polygons: for every
// vertex and crossing, the edges spanning its height, plus the crossings
// squared (each makes a face that is joined with the others). Many edges
// spanning the same heights (a comb of thousands of teeth) or many crossings
// (a scribble) make the clipper quadratic, which this foresees in n log n.
double SweepWorkEstimate(const TPaths &paths);

// About how many steps the clipper spends joining the shared edges of a and
// b when one is clipped by the other: each edge the two have in common can
// split a result polygon, and every split walks the polygons it may lie in.
// Two fills of nearly the same polygon share thousands of edges, which took
// the clipper seconds to minutes; the estimate takes n log n.
double JoinWorkEstimate(const TPaths &a, const TPaths &b);

// The areas one pen has filled, so that a new area is stored minus all of
// them and no spot is burned twice.
class TFilledAreas {
public:
  // area minus everything added before; the result is remembered.
  TPaths Add(const TPaths &area);
  // Add, unless the subtraction would cost more than maxJoinWork (see
  // JoinWorkEstimate): then nothing, and nothing is remembered.
  std::optional<TPaths> TryAdd(const TPaths &area, double maxJoinWork);
  // The points of the stored areas the last Add clipped against: the work
  // it did, for the reader's work budget.
  std::size_t LastClipPoints() const { return FLastClipPoints; }

private:
  std::size_t FLastClipPoints = 0;
  // Only stored areas whose bounds meet the new area's take part in the
  // subtraction; patches that pile up in one place are merged, so a plot of
  // many fills stays near linear instead of subtracting every fill from
  // every later one.
  struct TPatch {
    ClipperLib::IntRect Bounds;
    TPaths Paths;
  };
  std::vector<TPatch> FPatches;
  // Areas added before, by a hash of their points: the same fill again (a
  // wedge or polygon filled twice) is wholly covered already, and the
  // clipper takes seconds to find that out along thousands of shared edges.
  std::unordered_multimap<std::uint64_t, TPaths> FSeen;
};

// Kept for tests and benchmarks: the plain method the above must match,
// subtracting every stored set at once.
TPaths SubtractAllFilledReference(const TPaths &area, const std::vector<TPaths> &stored);
