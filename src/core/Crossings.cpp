#include "Crossings.h"

#include "Bounds.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

using ClipperLib::cInt;
using ClipperLib::IntPoint;

namespace {

// Pair tests at most, a few tenths of a second: beyond it a share of the
// grid's cells is tested and the count scaled up.
constexpr std::uint64_t PairBudget = 40'000'000;
// Grid cells at most, whatever the number of segments.
constexpr double MaxCells = 1 << 22;

struct TSegment {
  double X0, Y0, X1, Y1;
};

double Orientation(double ax, double ay, double bx, double by, double cx, double cy) {
  return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

} // namespace

std::uint64_t EstimateCrossings(const TPaths &paths, std::uint64_t cap) {
  const ClipperLib::IntRect box = PathsBounds(paths);
  const cInt minX = box.left, minY = box.top, maxX = box.right, maxY = box.bottom;
  // Coordinates from the corner of the box keep the products exact enough.
  std::vector<TSegment> segments;
  double manhattan = 0;
  for (const TPath &path : paths)
    for (std::size_t i = 1; i < path.size(); ++i) {
      const IntPoint &a = path[i - 1], &b = path[i];
      if (a == b)
        continue;
      TSegment s{static_cast<double>(a.X - minX), static_cast<double>(a.Y - minY),
                 static_cast<double>(b.X - minX), static_cast<double>(b.Y - minY)};
      if (s.X0 > s.X1) {
        std::swap(s.X0, s.X1);
        std::swap(s.Y0, s.Y1);
      }
      manhattan += (s.X1 - s.X0) + std::fabs(s.Y1 - s.Y0);
      segments.push_back(s);
    }
  const std::size_t n = segments.size();
  if (n < 2)
    return 0;

  // Cells of about the area per segment, large enough that long segments
  // fill no more than a few cells each on average.
  const double width = static_cast<double>(maxX - minX) + 1;
  const double height = static_cast<double>(maxY - minY) + 1;
  double side = std::sqrt(width * height / static_cast<double>(n));
  side = std::max(side, manhattan / (3.0 * static_cast<double>(n)));
  side = std::max(side, std::sqrt(width * height / MaxCells));
  side = std::max(side, 1.0);
  const auto columns = static_cast<std::size_t>(width / side) + 1;
  const auto rows = static_cast<std::size_t>(height / side) + 1;
  const std::size_t cellCount = columns * rows;
  auto column = [&](double x) {
    return std::min(columns - 1, static_cast<std::size_t>(std::max(0.0, x / side)));
  };
  auto row = [&](double y) {
    return std::min(rows - 1, static_cast<std::size_t>(std::max(0.0, y / side)));
  };
  // Every cell the segment passes through, column by column.
  auto visit = [&](const TSegment &s, auto &&cell) {
    const std::size_t c0 = column(s.X0), c1 = column(s.X1);
    const double dx = s.X1 - s.X0, slope = dx > 0 ? (s.Y1 - s.Y0) / dx : 0;
    for (std::size_t c = c0; c <= c1; ++c) {
      double ya = s.Y0, yb = s.Y1;
      if (c0 != c1) {
        const double xa = std::max(s.X0, static_cast<double>(c) * side);
        const double xb = std::min(s.X1, static_cast<double>(c + 1) * side);
        ya = s.Y0 + (xa - s.X0) * slope;
        yb = s.Y0 + (xb - s.X0) * slope;
      }
      const std::size_t r0 = row(std::min(ya, yb)), r1 = row(std::max(ya, yb));
      for (std::size_t r = r0; r <= r1; ++r)
        cell(r * columns + c);
    }
  };
  std::vector<std::uint32_t> start(cellCount + 1, 0);
  for (const TSegment &s : segments)
    visit(s, [&](std::size_t cell) { ++start[cell + 1]; });
  std::partial_sum(start.begin(), start.end(), start.begin());
  std::vector<std::uint32_t> entries(start.back());
  {
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
      visit(segments[i],
            [&](std::size_t cell) { entries[fill[cell]++] = static_cast<std::uint32_t>(i); });
  }
  std::uint64_t pairs = 0;
  for (std::size_t cell = 0; cell < cellCount; ++cell) {
    const std::uint64_t k = start[cell + 1] - start[cell];
    pairs += k * (k - 1) / 2;
  }

  // The cells in a scattered order, so that a count stopped early has seen
  // all parts of the drawing alike and scales up fairly.
  std::size_t stride = std::max<std::size_t>(1, cellCount / 2 + 7919);
  while (std::gcd(stride, cellCount) != 1)
    ++stride;
  std::uint64_t found = 0, tested = 0;
  std::size_t cell = 0;
  bool stopped = false;
  for (std::size_t visited = 0; visited < cellCount && !stopped;
       ++visited, cell = (cell + stride) % cellCount) {
    const std::uint32_t first = start[cell], last = start[cell + 1];
    for (std::uint32_t i = first; i + 1 < last && !stopped; ++i) {
      const TSegment &a = segments[entries[i]];
      const double aTop = std::max(a.Y0, a.Y1), aBottom = std::min(a.Y0, a.Y1);
      for (std::uint32_t j = i + 1; j < last; ++j) {
        const TSegment &b = segments[entries[j]];
        if (b.X0 > a.X1 || b.X1 < a.X0 || std::min(b.Y0, b.Y1) > aTop ||
            std::max(b.Y0, b.Y1) < aBottom)
          continue;
        const double o1 = Orientation(a.X0, a.Y0, a.X1, a.Y1, b.X0, b.Y0);
        const double o2 = Orientation(a.X0, a.Y0, a.X1, a.Y1, b.X1, b.Y1);
        if (!((o1 < 0 && o2 > 0) || (o1 > 0 && o2 < 0)))
          continue;
        const double o3 = Orientation(b.X0, b.Y0, b.X1, b.Y1, a.X0, a.Y0);
        const double o4 = Orientation(b.X0, b.Y0, b.X1, b.Y1, a.X1, a.Y1);
        if (!((o3 < 0 && o4 > 0) || (o3 > 0 && o4 < 0)))
          continue;
        // Two segments that share several cells cross in only one of them.
        const double t = o3 / (o3 - o4);
        const double x = a.X0 + t * (a.X1 - a.X0), y = a.Y0 + t * (a.Y1 - a.Y0);
        if (row(y) * columns + column(x) == cell)
          ++found;
      }
      tested += last - i - 1;
      stopped = found > cap || tested >= PairBudget;
    }
  }
  if (tested >= pairs || tested == 0)
    return found;
  return static_cast<std::uint64_t>(static_cast<double>(found) * static_cast<double>(pairs) /
                                    static_cast<double>(tested));
}

std::string TooManyCrossingsText(std::uint64_t crossings, const std::string &what) {
  // Two significant figures: the count is an estimate.
  std::uint64_t rounded = crossings, scale = 1;
  while (rounded >= 100) {
    rounded = (rounded + 5) / 10;
    scale *= 10;
  }
  const std::string digits = std::to_string(rounded * scale);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0)
      grouped += ',';
    grouped += digits[i];
  }
  return "The drawing crosses itself about " + grouped + " times: too many to " + what;
}
