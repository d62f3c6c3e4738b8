#pragma once
// Small helpers shared by the Gerber tests.

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "core/PathUtils.h"
#include "gerber/GerberReader.h"

inline TPaths Parse(const std::string &text, double unitsPerMM = 100,
                    TMergeMode merge = mmBatched) {
  TGerberOptions options;
  options.UnitsPerMM = unitsPerMM;
  return merge == mmOneByOne ? ParseGerberReference(text, options) : ParseGerber(text, options);
}

// The message a file fails with, or "" when it loads.
inline std::string ParseError(const std::string &text, double unitsPerMM = 100) {
  try {
    Parse(text, unitsPerMM);
  } catch (const TReadError &e) {
    return e.what();
  }
  return "";
}

// Area of the symmetric difference of two images.
inline double XorArea(const TPaths &a, const TPaths &b) {
  return std::fabs(PathsArea(BooleanPaths(a, b, ClipperLib::ctXor)));
}

inline bool Inside(const TPaths &paths, TIntPoint p) {
  int crossings = 0;
  for (const auto &path : paths)
    if (ClipperLib::PointInPolygon(p, path) != 0)
      ++crossings;
  return crossings % 2 == 1;
}
