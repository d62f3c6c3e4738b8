#include "GerberShapes.h"

#include <cmath>

#include "core/PathUtils.h"

using namespace ClipperLib;

TPaths TransformPaths(const TPaths &paths, const TMatrix &matrix) {
  TPaths result;
  result.reserve(paths.size());
  for (const auto &path : paths) {
    TPath out;
    out.reserve(path.size());
    for (const auto &p : path) {
      const TPointF t = matrix.Apply({static_cast<float>(p.X), static_cast<float>(p.Y)});
      out.emplace_back(static_cast<cInt>(std::nearbyint(t.X)),
                       static_cast<cInt>(std::nearbyint(t.Y)));
    }
    result.push_back(std::move(out));
  }
  return result;
}

void AddShape(TPaths &target, const TPaths &shape, bool dark, double rotation) {
  if (shape.empty())
    return;
  const TPaths rotated =
      rotation != 0 ? TransformPaths(shape, TMatrix::SingleRotation(rotation)) : shape;
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
