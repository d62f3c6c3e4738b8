#include "PathUtils.h"

#include <algorithm>
#include <cstdlib>

using namespace ClipperLib;

std::int64_t PathLength(const TPath &path, bool closed) {
  if (path.size() < 2)
    return 0;
  auto segment = [](const TIntPoint &a, const TIntPoint &b) {
    return RoundUnit(std::hypot(static_cast<double>(b.X - a.X), static_cast<double>(b.Y - a.Y)));
  };
  std::int64_t length = 0;
  for (std::size_t i = 1; i < path.size(); ++i)
    length += segment(path[i - 1], path[i]);
  if (closed)
    length += segment(path.back(), path.front());
  return length;
}

std::int64_t PathsLength(const TPaths &paths, bool closed, std::int64_t minimum) {
  std::int64_t total = 0;
  for (const auto &path : paths) {
    const std::int64_t length = PathLength(path, closed);
    if (length >= minimum)
      total += length;
  }
  return total;
}

double PathsArea(const TPaths &paths) {
  double area = 0;
  for (const auto &path : paths)
    area += Area(path);
  return area;
}

TPath ClosePath(const TPath &path) {
  TPath closed = path;
  if (!path.empty())
    closed.push_back(path.front());
  return closed;
}

TPaths ClosePaths(const TPaths &paths) {
  TPaths result;
  result.reserve(paths.size());
  for (const auto &path : paths)
    result.push_back(ClosePath(path));
  return result;
}

TPaths RemoveShortPaths(const TPaths &paths, std::int64_t minimum) {
  TPaths result;
  for (const auto &path : paths)
    if (PathLength(path, false) > minimum)
      result.push_back(path);
  return result;
}

namespace {

double SquaredDistance(const TIntPoint &a, const TIntPoint &b) {
  const double dx = static_cast<double>(a.X - b.X);
  const double dy = static_cast<double>(a.Y - b.Y);
  return dx * dx + dy * dy;
}

// Squared distance of p from the line through a and b. When a and b coincide
// the line degenerates to that point, and the distance to it is what counts.
double SquaredDistanceFromLine(const TIntPoint &p, const TIntPoint &a, const TIntPoint &b) {
  const double dx = static_cast<double>(b.X - a.X);
  const double dy = static_cast<double>(b.Y - a.Y);
  const double length2 = dx * dx + dy * dy;
  if (length2 == 0)
    return SquaredDistance(p, a);
  const double cross = dx * static_cast<double>(p.Y - a.Y) - dy * static_cast<double>(p.X - a.X);
  return cross * cross / length2;
}

bool Between(cInt value, cInt end1, cInt end2) { return (value > end1) == (value < end2); }

} // namespace

bool NearCollinear(const TIntPoint &a, const TIntPoint &b, const TIntPoint &c, double tolerance) {
  const bool alongX = std::llabs(a.X - b.X) > std::llabs(a.Y - b.Y);
  auto coord = [alongX](const TIntPoint &p) { return alongX ? p.X : p.Y; };
  if (Between(coord(a), coord(b), coord(c)))
    return SquaredDistanceFromLine(a, b, c) < tolerance;
  if (Between(coord(b), coord(a), coord(c)))
    return SquaredDistanceFromLine(b, a, c) < tolerance;
  return SquaredDistanceFromLine(c, a, b) < tolerance;
}

TPath SimplifyPath(const TPath &path, double tolerance) {
  TPath result = path;
  std::size_t i = 1;
  while (i + 1 < result.size()) {
    if (SquaredDistance(result[i], result[i - 1]) <= tolerance ||
        NearCollinear(result[i - 1], result[i], result[i + 1], tolerance))
      result.erase(result.begin() + static_cast<std::ptrdiff_t>(i));
    else
      ++i;
  }
  return result;
}

TPaths SimplifyPaths(const TPaths &paths, double tolerance) {
  TPaths result;
  result.reserve(paths.size());
  for (const auto &path : paths)
    result.push_back(SimplifyPath(path, tolerance));
  return result;
}

TPaths OffsetPaths(const TPaths &paths, double delta) {
  TOffsetter offsetter(OffsetPathsMiterLimit, ClipperArcTolerance);
  offsetter.Add(paths, delta >= 0 ? jtMiter : jtRound, etClosedPolygon);
  return offsetter.Execute(delta);
}

TPaths StrokeZone(const TPaths &strokes, double delta) {
  TOffsetter offsetter;
  offsetter.Add(strokes, jtRound, etOpenRound);
  return offsetter.Execute(delta);
}

namespace {

// Interleaves the bits of two 16-bit values: nearby points get nearby keys.
std::uint32_t MortonKey(std::uint32_t x, std::uint32_t y) {
  auto spread = [](std::uint32_t v) {
    v = (v | (v << 8)) & 0x00FF00FFu;
    v = (v | (v << 4)) & 0x0F0F0F0Fu;
    v = (v | (v << 2)) & 0x33333333u;
    v = (v | (v << 1)) & 0x55555555u;
    return v;
  };
  return spread(x) | (spread(y) << 1);
}

} // namespace

std::vector<std::size_t> NearbyOrder(const TPaths &strokes) {
  const IntRect bounds = PathsBounds(strokes);
  const double width = static_cast<double>(bounds.right - bounds.left) + 1;
  const double height = static_cast<double>(bounds.bottom - bounds.top) + 1;
  std::vector<std::pair<std::uint32_t, std::size_t>> keyed;
  keyed.reserve(strokes.size());
  for (std::size_t i = 0; i < strokes.size(); ++i) {
    if (strokes[i].empty())
      continue;
    const TIntPoint &p = strokes[i].front();
    const auto x =
        static_cast<std::uint32_t>(static_cast<double>(p.X - bounds.left) / width * 65535);
    const auto y =
        static_cast<std::uint32_t>(static_cast<double>(p.Y - bounds.top) / height * 65535);
    keyed.emplace_back(MortonKey(x, y), i);
  }
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::size_t> order;
  order.reserve(keyed.size());
  for (const auto &[key, index] : keyed)
    order.push_back(index);
  return order;
}

TPaths UnitedStrokeZone(const TPaths &strokes, double delta) {
  if (strokes.size() <= StrokeZoneGroup)
    return StrokeZone(strokes, delta);
  const std::vector<std::size_t> order = NearbyOrder(strokes);
  TClipper clipper;
  for (std::size_t first = 0; first < order.size(); first += StrokeZoneGroup) {
    TOffsetter offsetter;
    for (std::size_t i = first; i < std::min(order.size(), first + StrokeZoneGroup); ++i)
      offsetter.Add(strokes[order[i]], jtRound, etOpenRound);
    clipper.AddSubject(offsetter.Execute(delta));
  }
  return clipper.Execute(ctUnion, pftPositive);
}

TPaths SubtractBurned(const TPaths &area, const TPaths &strokes, int focus) {
  return BooleanPaths(area, StrokeZone(strokes, 0.75 * focus), ctDifference);
}

TPaths ScaleToOutput(const TPaths &paths, TSizeF scale, bool mirror, std::int32_t outputWidth) {
  TPaths result;
  result.reserve(paths.size());
  for (const auto &path : paths) {
    TPath scaled;
    scaled.reserve(path.size());
    for (const auto &p : path) {
      TIntPoint q(RoundUnit(static_cast<double>(p.X) * scale.cx),
                  RoundUnit(static_cast<double>(p.Y) * scale.cy));
      if (mirror)
        q.X = outputWidth - q.X;
      scaled.push_back(q);
    }
    result.push_back(std::move(scaled));
  }
  return result;
}

TOffsetter::TOffsetter(double miterLimit, double arcTolerance)
    : FOffset(miterLimit, arcTolerance) {}

void TOffsetter::Add(const TPath &path, JoinType join, EndType end) {
  FOffset.AddPath(path, join, end);
}
void TOffsetter::Add(const TPaths &paths, JoinType join, EndType end) {
  FOffset.AddPaths(paths, join, end);
}

TPaths TOffsetter::Execute(double delta) {
  TPaths result;
  FOffset.Execute(result, delta);
  return result;
}

void TOffsetter::Execute(PolyTree &tree, double delta) { FOffset.Execute(tree, delta); }

void TClipper::AddSubject(const TPaths &paths, bool closed) {
  FClipper.AddPaths(paths, ptSubject, closed);
}
void TClipper::AddSubject(const TPath &path, bool closed) {
  FClipper.AddPath(path, ptSubject, closed);
}
void TClipper::AddClip(const TPaths &paths) { FClipper.AddPaths(paths, ptClip, true); }
void TClipper::AddClip(const TPath &path) { FClipper.AddPath(path, ptClip, true); }

TPaths TClipper::Execute(ClipType op, PolyFillType fill) {
  TPaths result;
  FClipper.Execute(op, result, fill, fill);
  return result;
}

void TClipper::Execute(ClipType op, PolyTree &tree, PolyFillType fill) {
  FClipper.Execute(op, tree, fill, fill);
}

TPaths ClipOpenPaths(const TPaths &open, const TPaths &clip, ClipType op) {
  TClipper clipper;
  clipper.AddSubject(open, false);
  clipper.AddClip(clip);
  PolyTree tree;
  clipper.Execute(op, tree);
  TPaths result;
  OpenPathsFromPolyTree(tree, result);
  return result;
}

TPaths BooleanPaths(const TPaths &subject, const TPaths &clip, ClipType op) {
  TClipper clipper;
  clipper.AddSubject(subject);
  clipper.AddClip(clip);
  return clipper.Execute(op);
}
