#pragma once
// Points, paths and sizes in internal units, and the process-wide unit scale.

#include <cstdint>
#include <vector>

#include <polyclipping/clipper.hpp>

// Burn paths and polygons are Clipper's own types, so geometry moves between
// the readers, the toolpath code and the clipping library without copies.
using TIntPoint = ClipperLib::IntPoint;
using TPath = ClipperLib::Path;
using TPaths = ClipperLib::Paths;

// Eight bytes, aligned as such, so the level list can keep them in lock-free atomics.
struct alignas(8) TIntSize {
  std::int32_t cx = 0;
  std::int32_t cy = 0;
  friend bool operator==(const TIntSize &, const TIntSize &) = default;
};

struct alignas(8) TSizeF {
  float cx = 0;
  float cy = 0;
  friend bool operator==(const TSizeF &, const TSizeF &) = default;
};

// Internal units per millimetre. Written only by TLevels::SetFocus on the main
// thread (which is always followed by reading the drawing again); read
// everywhere, including the worker, hence atomic.
double UnitsPerMM();
void SetUnitsPerMM(double value);
