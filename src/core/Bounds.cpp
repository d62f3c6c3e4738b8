#include "Bounds.h"

#include <algorithm>

using ClipperLib::IntRect;

IntRect PathsBounds(const TPaths &paths) {
  IntRect bounds{0, 0, 0, 0};
  bool first = true;
  for (const auto &path : paths)
    for (const auto &p : path) {
      if (first) {
        bounds = {p.X, p.Y, p.X, p.Y};
        first = false;
        continue;
      }
      bounds.left = std::min(bounds.left, p.X);
      bounds.right = std::max(bounds.right, p.X);
      bounds.top = std::min(bounds.top, p.Y);
      bounds.bottom = std::max(bounds.bottom, p.Y);
    }
  return bounds;
}

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
