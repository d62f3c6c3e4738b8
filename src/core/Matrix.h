#pragma once
// The 2-D affine matrix of the vector readers (SVG transforms, Gerber step
// and repeat and aperture rotation): 3 x 3 single-precision entries, points
// as row vectors (x, y, 1) multiplied from the left.

#include "PathData.h"

struct TMatrix {
  float M[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

  static TMatrix Translation(float dx, float dy);
  static TMatrix Scaling(float sx, float sy);
  // Counter-clockwise in a Y-up frame, clockwise on an SVG canvas. The sine
  // and cosine are worked out in double and then rounded to single precision.
  static TMatrix Rotation(float degrees);
  // The same turn as the Gerber reader has always worked it out: the angle
  // rounded to single precision first, sine and cosine in single precision.
  // The entries can differ from Rotation's in the last bit, and boards must
  // keep their exact points, so the two stay apart.
  static TMatrix SingleRotation(double degrees);

  // this x other: the transform that applies this first, then other.
  TMatrix operator*(const TMatrix &other) const;
  // Inline: the Gerber reader sends every point of a board through it.
  TPointF Apply(TPointF p) const {
    return {p.X * M[0][0] + p.Y * M[1][0] + M[2][0], p.X * M[0][1] + p.Y * M[1][1] + M[2][1]};
  }
  friend bool operator==(const TMatrix &, const TMatrix &) = default;
};
