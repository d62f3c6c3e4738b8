#pragma once
// Bounding boxes of integer paths and whether two boxes meet: the coarse
// test the readers run before any exact geometry.

#include "Geometry.h"

// Smallest and largest X (left, right) and Y (top, bottom) of all points;
// all zero when there are none.
ClipperLib::IntRect PathsBounds(const TPaths &paths);

// A box that holds no point (left beyond right); it meets no box.
constexpr ClipperLib::IntRect EmptyBox{0, 0, -1, -1};
inline bool IsEmptyBox(const ClipperLib::IntRect &box) { return box.left > box.right; }

// PathsBounds, but EmptyBox when there are no points.
ClipperLib::IntRect PointsBox(const TPath &path);
ClipperLib::IntRect PointsBox(const TPaths &paths);

// The smallest box holding both; an empty box adds nothing.
ClipperLib::IntRect UniteBoxes(const ClipperLib::IntRect &a, const ClipperLib::IntRect &b);

// Whether two closed boxes share a point. Touching counts: shapes that share
// an edge interact. An empty box meets nothing.
// Inline: the readers call it in their innermost loops.
inline bool BoxesMeet(const ClipperLib::IntRect &a, const ClipperLib::IntRect &b) {
  return !IsEmptyBox(a) && !IsEmptyBox(b) && a.left <= b.right && b.left <= a.right &&
         a.top <= b.bottom && b.top <= a.bottom;
}
