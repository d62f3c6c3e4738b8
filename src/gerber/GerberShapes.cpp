#include "GerberShapes.h"

#include <cmath>
#include <numbers>

#include "core/PathUtils.h"

using namespace ClipperLib;

TMatrix TMatrix::Translation(double dx, double dy) {
  TMatrix m;
  m.M[2][0] = static_cast<float>(dx);
  m.M[2][1] = static_cast<float>(dy);
  return m;
}

TMatrix TMatrix::Rotation(double degrees) {
  const float a = static_cast<float>(degrees * std::numbers::pi / 180);
  const float c = std::cos(a);
  const float s = std::sin(a);
  TMatrix m;
  m.M[0][0] = c;
  m.M[0][1] = s;
  m.M[1][0] = -s;
  m.M[1][1] = c;
  return m;
}

TPaths TransformPaths(const TPaths &paths, const TMatrix &matrix) {
  const auto &m = matrix.M;
  TPaths result;
  result.reserve(paths.size());
  for (const auto &path : paths) {
    TPath out;
    out.reserve(path.size());
    for (const auto &p : path) {
      const float x = static_cast<float>(p.X);
      const float y = static_cast<float>(p.Y);
      const float tx = x * m[0][0] + y * m[1][0] + m[2][0];
      const float ty = x * m[0][1] + y * m[1][1] + m[2][1];
      out.emplace_back(static_cast<cInt>(std::nearbyint(tx)), static_cast<cInt>(std::nearbyint(ty)));
    }
    result.push_back(std::move(out));
  }
  return result;
}

void AddShape(TPaths &target, const TPaths &shape, bool dark, double rotation) {
  if (shape.empty())
    return;
  const TPaths rotated = rotation != 0 ? TransformPaths(shape, TMatrix::Rotation(rotation)) : shape;
  if (target.empty()) {
    if (dark)
      target = rotated;
    return;
  }
  target = BooleanPaths(target, rotated, dark ? ctUnion : ctDifference);
}

void TWorkBudget::Charge(std::int64_t units) {
  FLeft -= units;
  if (FLeft < 0)
    throw TGerberLimitError("The Gerber image is too complex: it needs more than " +
                            std::to_string(FLimit) + " points");
}

void TShapeMerger::Add(TPaths shape, bool dark) {
  if (shape.empty())
    return;
  if (FMode == mmOneByOne) {
    AddShape(FImage, shape, dark, 0);
    return;
  }
  if (!FStack.empty() && dark != FRunDark)
    Flush();
  FRunDark = dark;
  FStack.emplace_back(std::move(shape), 0);
  while (FStack.size() >= 2 && FStack[FStack.size() - 2].second == FStack.back().second) {
    auto top = std::move(FStack.back());
    FStack.pop_back();
    auto &below = FStack.back();
    below.first = BooleanPaths(below.first, top.first, ctUnion);
    ++below.second;
  }
}

void TShapeMerger::Flush() {
  if (FStack.empty())
    return;
  TPaths run = std::move(FStack.back().first);
  FStack.pop_back();
  while (!FStack.empty()) {
    run = BooleanPaths(FStack.back().first, run, ctUnion);
    FStack.pop_back();
  }
  // A clear run removes only what came before it, and a clear run on an
  // empty image removes nothing: exactly what AddShape does one at a time.
  AddShape(FImage, run, FRunDark, 0);
}

TPaths &TShapeMerger::Image() {
  Flush();
  return FImage;
}
