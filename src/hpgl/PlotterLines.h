#pragma once
// Line types of plotter pens (LT, UL): the dash patterns and the cutting of
// drawn lines into dashes.

#include <array>
#include <cstddef>
#include <vector>

#include "core/Geometry.h"

// A pattern lists its elements as shares of the pattern length that add up to
// 1: a dash, a gap, a dash, ... A dash of length 0 is a dot.
using TDashPattern = std::vector<double>;

// The eight fixed line types (1 to 8) and their adaptive twins (-1 to -8),
// which start and end on half a dash so that a line begins and ends drawn.
class TLineTypes {
public:
  TLineTypes();
  // The pattern of a type from -8 to 8 except 0; nullptr for any other.
  const TDashPattern *Pattern(int type) const;
  // UL: the type (1 to 8, or its negative) gets the given dash and gap
  // lengths (any positive total, scaled to shares); its twin the adaptive or
  // fixed form. False, and nothing changes, for a type out of range, more
  // than 20 elements, a negative element or a zero total.
  bool Define(int type, const std::vector<double> &lengths);
  // UL with only a type, or none: back to the built-in pattern(s).
  void Reset(int type);
  void ResetAll();

private:
  void Set(int type, TDashPattern fixed);
  std::array<TDashPattern, 8> FFixed;
  std::array<TDashPattern, 8> FAdaptive;
};

// Cuts lines into the dashes of a pattern of the given length. Fixed
// patterns run on along each path from its start; adaptive ones are
// stretched so that every segment holds whole patterns. A dot becomes a dash
// of one unit. steps is the work left: each piece of pattern walked costs
// one, and the function returns false (with the result incomplete) when it
// runs out, so a long line under a tiny pattern is refused, not ground through.
bool DashPaths(const TPaths &paths, const TDashPattern &pattern, bool adaptive,
               double patternLength, std::size_t &steps, TPaths &dashes);

// Line type 0: a dot at every point of the lines.
bool DotPaths(const TPaths &paths, std::size_t &steps, TPaths &dots);
