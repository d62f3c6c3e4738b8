#include "PlotterAreas.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <utility>

#include "core/PathUtils.h"

using namespace ClipperLib;

namespace {

// Patches meeting one new area beyond this count are merged into one.
constexpr std::size_t MergeThreshold = 16;

} // namespace

// Clipping whole paths lets the clipper intersect every segment with every
// other one, which a scribble of many thousand crossing strokes turns into
// minutes. Only the segments that reach the window's edge need clipping, one
// at a time; the rest keep their points and their drawn direction.
TPaths ClipLinesToWindow(const TPaths &paths, const TPath &window) {
  const IntRect bounds = PathsBounds({window});
  auto inside = [&](const IntPoint &p) {
    return bounds.left < p.X && p.X < bounds.right && bounds.top < p.Y && p.Y < bounds.bottom;
  };
  auto distance2 = [](const IntPoint &a, const IntPoint &b) {
    const double dx = static_cast<double>(a.X - b.X), dy = static_cast<double>(a.Y - b.Y);
    return dx * dx + dy * dy;
  };
  TPaths result;
  TPath run;
  auto endRun = [&] {
    if (run.size() >= 2)
      result.push_back(std::move(run));
    run.clear();
  };
  for (const TPath &path : paths) {
    for (std::size_t i = 1; i < path.size(); ++i) {
      const IntPoint &a = path[i - 1], &b = path[i];
      if (a == b)
        continue;
      if (inside(a) && inside(b)) {
        if (run.empty())
          run.push_back(a);
        run.push_back(b);
        continue;
      }
      // Wholly beyond one edge (a huge circle around the drawing): nothing left.
      if ((a.X < bounds.left && b.X < bounds.left) || (a.X > bounds.right && b.X > bounds.right) ||
          (a.Y < bounds.top && b.Y < bounds.top) || (a.Y > bounds.bottom && b.Y > bounds.bottom)) {
        endRun();
        continue;
      }
      // The window is convex: what is left of a segment is one piece at most.
      const TPaths piece = ClipOpenPaths({{a, b}}, {window}, ctIntersection);
      if (piece.empty() || piece.front().size() < 2) {
        endRun();
        continue;
      }
      IntPoint p = piece.front().front(), q = piece.front().back();
      if (distance2(p, a) > distance2(q, a))
        std::swap(p, q);
      if (run.empty() || run.back() != p) {
        endRun();
        run.push_back(p);
      }
      run.push_back(q);
      if (q != b)
        endRun();
    }
    endRun();
  }
  return result;
}

double JoinWorkEstimate(const TPaths &a, const TPaths &b) {
  using TSegment = std::array<cInt, 4>;
  auto segments = [](const TPaths &paths) {
    std::vector<TSegment> list;
    for (const TPath &path : paths)
      for (std::size_t i = 0; i < path.size(); ++i) {
        IntPoint p = path[i], q = path[(i + 1) % path.size()];
        if (q.X < p.X || (q.X == p.X && q.Y < p.Y))
          std::swap(p, q);
        list.push_back({p.X, p.Y, q.X, q.Y});
      }
    return list;
  };
  const std::vector<TSegment> first = segments(a);
  std::vector<TSegment> second = segments(b);
  std::sort(second.begin(), second.end());
  double shared = 0;
  for (const TSegment &segment : first)
    shared += std::binary_search(second.begin(), second.end(), segment);
  return shared * static_cast<double>(first.size() + second.size());
}

TPaths TFilledAreas::Add(const TPaths &area) {
  return *TryAdd(area, std::numeric_limits<double>::infinity());
}

std::optional<TPaths> TFilledAreas::TryAdd(const TPaths &area, double maxJoinWork) {
  FLastClipPoints = 0;
  if (area.empty())
    return TPaths();
  std::uint64_t hash = 14695981039346656037u;
  auto mix = [&](std::uint64_t v) { hash = (hash ^ v) * 1099511628211u; };
  for (const TPath &path : area) {
    mix(path.size());
    for (const IntPoint &p : path) {
      mix(static_cast<std::uint64_t>(p.X));
      mix(static_cast<std::uint64_t>(p.Y));
    }
  }
  const auto [first, last] = FSeen.equal_range(hash);
  for (auto it = first; it != last; ++it)
    if (it->second == area)
      return TPaths();

  const IntRect bounds = PathsBounds(area);
  std::vector<std::size_t> met;
  TPaths clip;
  for (std::size_t i = 0; i < FPatches.size(); ++i)
    if (BoxesMeet(FPatches[i].Bounds, bounds)) {
      met.push_back(i);
      clip.insert(clip.end(), FPatches[i].Paths.begin(), FPatches[i].Paths.end());
    }
  if (JoinWorkEstimate(area, clip) > maxJoinWork)
    return std::nullopt;
  FSeen.emplace(hash, area);
  FLastClipPoints = 0;
  for (const TPath &path : clip)
    FLastClipPoints += path.size();
  TPaths result = BooleanPaths(area, clip, ctDifference);
  if (met.size() > MergeThreshold) {
    // The stored areas never overlap, so their even-odd union is their union.
    TPaths merged = BooleanPaths(clip, result, ctUnion);
    for (auto it = met.rbegin(); it != met.rend(); ++it)
      FPatches.erase(FPatches.begin() + static_cast<std::ptrdiff_t>(*it));
    if (!merged.empty())
      FPatches.push_back({PathsBounds(merged), std::move(merged)});
  } else if (!result.empty()) {
    FPatches.push_back({PathsBounds(result), result});
  }
  return result;
}

namespace {

// Orientation of c against the line a -> b; in floating point, which is
// exact enough for an estimate.
int Side(const IntPoint &a, const IntPoint &b, const IntPoint &c) {
  const double cross = static_cast<double>(b.X - a.X) * static_cast<double>(c.Y - a.Y) -
                       static_cast<double>(b.Y - a.Y) * static_cast<double>(c.X - a.X);
  return (cross > 0) - (cross < 0);
}

bool Cross(const IntPoint &a, const IntPoint &b, const IntPoint &c, const IntPoint &d) {
  return Side(a, b, c) * Side(a, b, d) < 0 && Side(c, d, a) * Side(c, d, b) < 0;
}

} // namespace

double SweepWorkEstimate(const TPaths &paths) {
  struct TEdge {
    IntPoint A, B;
  };
  std::vector<TEdge> edges;
  std::vector<cInt> lows, highs;
  for (const TPath &path : paths)
    for (std::size_t i = 0; i < path.size(); ++i) {
      const IntPoint &a = path[i], &b = path[(i + 1) % path.size()];
      edges.push_back({a, b});
      lows.push_back(std::min(a.Y, b.Y));
      highs.push_back(std::max(a.Y, b.Y));
    }
  const double n = static_cast<double>(edges.size());
  if (edges.size() < 4)
    return n;
  std::sort(lows.begin(), lows.end());
  std::sort(highs.begin(), highs.end());
  // Edges spanning each vertex's height: the length of the active edge list.
  double active = 0;
  for (const TEdge &edge : edges) {
    const cInt y = edge.A.Y;
    const auto begun = std::upper_bound(lows.begin(), lows.end(), y) - lows.begin();
    const auto ended = std::lower_bound(highs.begin(), highs.end(), y) - highs.begin();
    active += static_cast<double>(begun - ended);
  }
  // Every crossing adds a scanbeam: estimate their number from a fixed
  // sample of edge pairs (a fixed seed, so a file always reads alike).
  constexpr int samples = 4096;
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  auto next = [&] {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::size_t>(state >> 33) % edges.size();
  };
  int crossings = 0;
  for (int i = 0; i < samples; ++i) {
    const TEdge &e = edges[next()], &f = edges[next()];
    crossings += Cross(e.A, e.B, f.A, f.B);
  }
  const double intersections = crossings / double(samples) * n * (n - 1) / 2;
  // Crossings also cut the result into as many small faces, which the
  // clipper's edge joining then compares with one another (a cheaper step,
  // about a tenth of a sweep step).
  return (n + intersections) * std::max(1.0, active / n) + intersections * intersections / 10;
}

TPaths SubtractAllFilledReference(const TPaths &area, const std::vector<TPaths> &stored) {
  TPaths clip;
  for (const TPaths &set : stored)
    clip.insert(clip.end(), set.begin(), set.end());
  return BooleanPaths(area, clip, ctDifference);
}
