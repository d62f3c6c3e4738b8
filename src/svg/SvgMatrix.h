#pragma once
// The 2-D affine matrix of SVG transforms: 3 x 3 single-precision entries,
// points as row vectors (x, y, 1) multiplied from the left.

#include "core/PathData.h"

struct TSvgMatrix {
  float M[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

  static TSvgMatrix Translation(float dx, float dy);
  static TSvgMatrix Scaling(float sx, float sy);
  // Counter-clockwise in a Y-up frame, clockwise on an SVG canvas.
  static TSvgMatrix Rotation(float degrees);

  // this x other: the transform that applies this first, then other.
  TSvgMatrix operator*(const TSvgMatrix &other) const;
  TPointF Apply(TPointF p) const;
  friend bool operator==(const TSvgMatrix &, const TSvgMatrix &) = default;
};
