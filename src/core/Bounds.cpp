#include "Bounds.h"

#include <algorithm>

using ClipperLib::IntRect;

IntRect PointsBox(const TPath &path) {
  IntRect box = EmptyBox;
  if (path.empty())
    return box;
  box = {path[0].X, path[0].Y, path[0].X, path[0].Y};
  for (const auto &p : path) {
    box.left = std::min(box.left, p.X);
    box.right = std::max(box.right, p.X);
    box.top = std::min(box.top, p.Y);
    box.bottom = std::max(box.bottom, p.Y);
  }
  return box;
}

IntRect PointsBox(const TPaths &paths) {
  IntRect box = EmptyBox;
  for (const auto &path : paths)
    box = UniteBoxes(box, PointsBox(path));
  return box;
}

IntRect UniteBoxes(const IntRect &a, const IntRect &b) {
  if (IsEmptyBox(a))
    return b;
  if (IsEmptyBox(b))
    return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

IntRect PathsBounds(const TPaths &paths) {
  // Callers size drawings from it: no points means an all-zero box.
  const IntRect box = PointsBox(paths);
  return IsEmptyBox(box) ? IntRect{0, 0, 0, 0} : box;
}
