#include "Toolpaths.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "PathUtils.h"

using namespace ClipperLib;

TPaths HatchFamily(const TPaths &area, THatchDirection direction, int focus, std::int64_t phase) {
  TPaths lines;
  // Before the first focus size is set there is no spot to space lines by.
  if (area.empty() || focus <= 0)
    return lines;
  const IntRect bounds = PathsBounds(area);
  const cInt left = bounds.left, right = bounds.right, top = bounds.top, bottom = bounds.bottom;
  const cInt f = focus;
  if (direction == hdVertical) {
    for (cInt x = (left / f) * f - phase; x <= right; x += f)
      lines.push_back({{x, top}, {x, bottom}});
    return lines;
  }
  const cInt spacing = direction == hdHorizontal ? f : (7 * f + 2) / 5;
  const cInt width = right - left;
  cInt yLeft = (top / f) * f - phase, yRight = yLeft;
  if (direction == hdRising)
    yLeft -= width;
  else if (direction == hdFalling)
    yRight -= width;
  while (yLeft <= bottom || yRight <= bottom) {
    lines.push_back({{left, yLeft}, {right, yRight}});
    yLeft += spacing;
    yRight += spacing;
  }
  return lines;
}

namespace {

std::int64_t PhaseStep(THatchDirection direction) {
  return direction == hdHorizontal || direction == hdVertical ? 5 : 7;
}

// The hatch lines of one phase clipped to the area, and their length.
struct TCandidate {
  TPaths Lines;
  std::int64_t Length = -1;
};

TCandidate Candidate(const TPaths &area, THatchDirection direction, int focus, std::int64_t phase,
                     std::int64_t minimum) {
  TCandidate candidate;
  candidate.Lines = ClipOpenPaths(HatchFamily(area, direction, focus, phase), area, ctIntersection);
  candidate.Length = PathsLength(candidate.Lines, false, minimum);
  return candidate;
}

// The phase whose lines burn the most, first on ties, with its clipped lines
// (empty when there was no choice to make, so the caller clips phase 0).
std::pair<std::int64_t, TPaths> ChooseHatchLines(const TPaths &area, THatchDirection direction,
                                                 int focus, std::int64_t minimum,
                                                 const std::atomic<bool> *stop, bool parallel) {
  const int candidates = focus / 5;
  if (candidates <= 1)
    return {0, {}};
  std::vector<TCandidate> found(static_cast<std::size_t>(candidates));
  auto measure = [&](int first, int step) {
    for (int k = first; k < candidates; k += step) {
      if (stop && *stop)
        return;
      found[static_cast<std::size_t>(k)] =
          Candidate(area, direction, focus, PhaseStep(direction) * k, minimum);
    }
  };
  const int workers =
      parallel ? std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 8) : 1;
  if (workers > 1) {
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w)
      threads.emplace_back(measure, w, workers);
    measure(0, workers);
    for (auto &thread : threads)
      thread.join();
  } else {
    measure(0, 1);
  }
  int best = 0;
  for (int k = 1; k < candidates; ++k)
    if (found[static_cast<std::size_t>(k)].Length > found[static_cast<std::size_t>(best)].Length)
      best = k;
  return {PhaseStep(direction) * best, std::move(found[static_cast<std::size_t>(best)].Lines)};
}

} // namespace

std::int64_t ChooseHatchPhase(const TPaths &area, THatchDirection direction, int focus,
                              std::int64_t minimum, const std::atomic<bool> *stop, bool parallel) {
  return ChooseHatchLines(area, direction, focus, minimum, stop, parallel).first;
}

TPaths HatchPass(const TPaths &area, THatchDirection direction, int focus, std::int64_t minimum,
                 const std::atomic<bool> *stop, bool parallel) {
  // The chosen phase's lines were clipped while choosing: they are used as
  // they are rather than clipped again.
  auto [phase, lines] = ChooseHatchLines(area, direction, focus, minimum, stop, parallel);
  if (focus / 5 <= 1)
    lines = ClipOpenPaths(HatchFamily(area, direction, focus, phase), area, ctIntersection);
  return SimplifyPaths(RemoveShortPaths(lines, minimum), focus / 8.0);
}

TPath IslandStroke(const TPath &contour, int focus, std::int32_t outputWidth) {
  const auto n = static_cast<std::int64_t>(contour.size());
  if (n == 0)
    return {};
  std::int64_t sumX = 0, sumY = 0;
  for (const auto &p : contour) {
    sumX += p.X;
    sumY += p.Y;
  }
  const std::int64_t cx = (sumX + n / 2) / n, cy = (sumY + n / 2) / n;
  std::int64_t sxx = 0, sxy = 0;
  for (const auto &p : contour) {
    sxx += (p.X - cx) * (p.X - cx);
    sxy += (p.X - cx) * (p.Y - cy);
  }
  // All points on one vertical line enclose nothing to burn.
  if (sxx == 0)
    return {};
  const std::int64_t y0 = cy - (cx * sxy + sxx / 2) / sxx;
  const std::int64_t y1 = y0 + (static_cast<std::int64_t>(outputWidth) * sxy + sxx / 2) / sxx;

  TClipper clipper;
  clipper.AddSubject(TPath{{0, y0}, {outputWidth, y1}}, false);
  clipper.AddClip(contour);
  PolyTree tree;
  clipper.Execute(ctIntersection, tree);
  if (tree.ChildCount() != 1)
    return {};
  const TPath stroke = tree.Childs[0]->Contour;
  if (stroke.size() < 2)
    return {};
  const TPaths rest = BooleanPaths({contour}, StrokeZone({stroke}, 0.5 * focus), ctDifference);
  const double half = 0.5 * focus, quarter = 0.25 * focus;
  const double dx = static_cast<double>(stroke[1].X - stroke[0].X);
  const double dy = static_cast<double>(stroke[1].Y - stroke[0].Y);
  if (PathsArea(rest) < half * half && dx * dx + dy * dy > quarter * quarter)
    return stroke;
  return {};
}

double HatchFillWork(const TPaths &area, int focus, int passes) {
  if (area.empty() || focus <= 0)
    return 0;
  // The sweep stops once per distinct height of a corner, not once per
  // corner: boards drawn on a grid have many corners at each height.
  std::vector<cInt> heights;
  for (const TPath &path : area)
    for (const IntPoint &p : path)
      heights.push_back(p.Y);
  std::sort(heights.begin(), heights.end());
  const double stops =
      static_cast<double>(std::unique(heights.begin(), heights.end()) - heights.begin());
  const IntRect bounds = PathsBounds(area);
  const double width = static_cast<double>(bounds.right - bounds.left);
  const double height = static_cast<double>(bounds.bottom - bounds.top);
  // The diagonal families have the most lines: width plus height, over a
  // spacing of 1.4 focus.
  const double lines = std::max({width, height, (width + height) / 1.4}) / focus + 1;
  const double clipsPerPass = std::max(focus / 5, 1) + 1;
  // Each pass leaves slivers along the lines it burnt, so the later passes
  // clip against about one corner more per line.
  return lines * (stops + lines) * clipsPerPass * passes;
}
