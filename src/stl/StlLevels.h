#pragma once
// Height levels of an STL relief: one area level per height with visible
// faces and lines levels for the outlines, grouped by the wall below them.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "StlReader.h"
#include "core/Level.h"

// How the outline searches find the outlines near each other. Both give the
// same levels; the plain one clips against every outline and stays as the
// reference that tests and benchmarks compare with.
enum TStlSearch : std::uint8_t { ssIndexed, ssPlain };

struct TStlLevelOptions {
  double UnitsPerMM = 100;
  // Spot diameter in internal units.
  std::int32_t Focus = 20;
  TStlSearch Search = ssIndexed;
  std::function<void(int)> SetProgressMax;
  std::function<void()> Progress;
};

std::vector<std::unique_ptr<TLevel>> BuildStlLevels(const std::vector<THorizontalFacet> &facets,
                                                    const TStlLevelOptions &options);
