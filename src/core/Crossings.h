#pragma once
// How often a set of strokes crosses itself, counted cheaply before a
// polygon operation whose cost grows with the crossings: Clipper sorts every
// crossing of the edges it is given, and a curve through thousands of random
// points crosses itself millions of times, which takes it minutes.

#include <cstdint>
#include <string>

#include "Geometry.h"

// The number of proper crossings between the segments of paths (open
// polylines; a closed contour repeats its first point), every pair of paths
// and every path with itself. Touching and overlapping segments do not
// count. Counting stops a little above cap, so the result is exact up to cap
// and only says "more" beyond it; on input whose segments crowd the same
// places without crossing, a share of the pairs is tested and the count
// scaled up, so that the estimate costs no more than a fraction of a second.
std::uint64_t EstimateCrossings(const TPaths &paths, std::uint64_t cap);

// Crossings of one polygon set above which a reader does not unite it into
// a filled area: beyond it the union takes Clipper more than a few seconds.
inline constexpr std::uint64_t MaxFillCrossings = 200'000;

// The message for strokes that cross too often for what: "The drawing
// crosses itself about 3,100,000 times: too many to outline it".
std::string TooManyCrossingsText(std::uint64_t crossings, const std::string &what);
