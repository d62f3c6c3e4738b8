#pragma once
// Height levels of an STL relief: one area level per height with visible
// faces and lines levels for the outlines, grouped by the wall below them.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "StlReader.h"
#include "core/Level.h"

struct TStlLevelOptions {
  double UnitsPerMM = 100;
  // Spot diameter in internal units.
  std::int32_t Focus = 20;
  std::function<void(int)> SetProgressMax;
  std::function<void()> Progress;
};

std::vector<std::unique_ptr<TLevel>> BuildStlLevels(const std::vector<THorizontalFacet> &facets,
                                                    const TStlLevelOptions &options);

// Kept for tests and benchmarks: the same levels, the outline searches
// clipping against every outline instead of the boxes that can touch.
std::vector<std::unique_ptr<TLevel>>
BuildStlLevelsReference(const std::vector<THorizontalFacet> &facets,
                        const TStlLevelOptions &options);
