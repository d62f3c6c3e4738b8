#include "Matrix.h"

#include <cmath>
#include <numbers>

TMatrix TMatrix::Translation(float dx, float dy) {
  TMatrix m;
  m.M[2][0] = dx;
  m.M[2][1] = dy;
  return m;
}

TMatrix TMatrix::Scaling(float sx, float sy) {
  TMatrix m;
  m.M[0][0] = sx;
  m.M[1][1] = sy;
  return m;
}

namespace {

TMatrix RotationFrom(float c, float s) {
  TMatrix m;
  m.M[0][0] = c;
  m.M[0][1] = s;
  m.M[1][0] = -s;
  m.M[1][1] = c;
  return m;
}

} // namespace

TMatrix TMatrix::Rotation(float degrees) {
  const double radians = static_cast<double>(degrees) * std::numbers::pi / 180.0;
  return RotationFrom(static_cast<float>(std::cos(radians)), static_cast<float>(std::sin(radians)));
}

TMatrix TMatrix::SingleRotation(double degrees) {
  const auto a = static_cast<float>(degrees * std::numbers::pi / 180);
  return RotationFrom(std::cos(a), std::sin(a));
}

TMatrix TMatrix::operator*(const TMatrix &other) const {
  TMatrix r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r.M[i][j] = M[i][0] * other.M[0][j] + M[i][1] * other.M[1][j] + M[i][2] * other.M[2][j];
  return r;
}
