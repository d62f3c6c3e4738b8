#include "Toolpaths.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "JobHost.h"
#include "Level.h"
#include "Levels.h"
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

std::int64_t CandidateLength(const TPaths &area, THatchDirection direction, int focus,
                             std::int64_t phase, std::int64_t minimum) {
  return PathsLength(ClipOpenPaths(HatchFamily(area, direction, focus, phase), area, ctIntersection),
                     false, minimum);
}

} // namespace

std::int64_t ChooseHatchPhase(const TPaths &area, THatchDirection direction, int focus,
                              std::int64_t minimum, const std::atomic<bool> *stop, bool parallel) {
  const int candidates = focus / 5;
  if (candidates <= 1)
    return 0;
  std::vector<std::int64_t> totals(static_cast<std::size_t>(candidates), -1);
  auto measure = [&](int first, int step) {
    for (int k = first; k < candidates; k += step) {
      if (stop && *stop)
        return;
      totals[static_cast<std::size_t>(k)] =
          CandidateLength(area, direction, focus, PhaseStep(direction) * k, minimum);
    }
  };
  const int workers = parallel ? std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 8) : 1;
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
    if (totals[static_cast<std::size_t>(k)] > totals[static_cast<std::size_t>(best)])
      best = k;
  return PhaseStep(direction) * best;
}

TPaths HatchPass(const TPaths &area, THatchDirection direction, int focus, std::int64_t minimum,
                 const std::atomic<bool> *stop, bool parallel) {
  const std::int64_t phase = ChooseHatchPhase(area, direction, focus, minimum, stop, parallel);
  TPaths lines = ClipOpenPaths(HatchFamily(area, direction, focus, phase), area, ctIntersection);
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

void TLevel::RecalcLine() {
  TLevels &list = *FOwner;
  ClearOutput();
  if (!list.Clearing() && FInput && !FInput->empty()) {
    const double tolerance = list.Focus() / 8.0;
    const bool raster = list.HasRaster();
    const TSizeF scale = list.Scale();
    const TIntSize output = list.Output();
    for (const auto &set : *FInput) {
      TPaths paths = raster ? set : SimplifyPaths(ScaleToOutput(set, scale, list.Mirror(), output.cx), tolerance);
      // A burn path has at least two points; a lone point has nothing to trace.
      std::erase_if(paths, [](const TPath &path) { return path.size() < 2; });
      AppendOutput(paths);
      if (list.Clearing())
        break;
    }
  }
  list.HandOver([&] {
    if (!list.Clearing())
      FRecalc = false;
  });
}

void TLevel::RecalcArea(TLevel *perimeter) {
  TLevels &list = *FOwner;
  const std::atomic<bool> &stop = list.FClear;
  if (stop)
    return;
  const int f = list.Focus();
  const double tolerance = f / 8.0;
  const TSizeF scale = list.Scale();
  const TIntSize output = list.Output();

  TOffsetter merge;
  for (const auto &set : *FInput)
    merge.Add(ScaleToOutput(set, scale, list.Mirror(), output.cx), jtMiter, etClosedPolygon);
  const TPaths area = OffsetPaths(merge.Execute(1.0), -1.0);

  ClearOutput();
  if (perimeter)
    perimeter->ClearOutput();

  TPaths printedLines;
  for (int i = 0; i < list.Count(); ++i) {
    const TLevel &level = *list.Item(i);
    if (level.Print() && level.Kind() == lkLines) {
      const TPaths burnt = level.Output();
      printedLines.insert(printedLines.end(), burnt.begin(), burnt.end());
    }
  }
  const TPaths lines = UnitedStrokeZone(printedLines, 0.5 * f);
  if (stop)
    return;

  TPaths inset = BooleanPaths(area, lines, ctDifference);
  inset = OffsetPaths(inset, -0.4 * f);
  TPaths rest = inset;
  inset = OffsetPaths(inset, -0.1 * f);
  if (stop)
    return;

  const std::int32_t shells = perimeter ? perimeter->Height() : 0;
  for (std::int32_t i = 0; i < shells; ++i) {
    if (inset.empty())
      break;
    inset = OffsetPaths(inset, 0.1 * f);
    const TPaths shell = SimplifyPaths(ClosePaths(inset), tolerance);
    perimeter->AppendOutput(shell);
    rest = SubtractBurned(rest, shell, f);
    perimeter->Redraw();
    inset = OffsetPaths(inset, -1.1 * f);
    if (stop)
      return;
  }

  if (shells != 0 && perimeter) {
    TClipper clipper;
    clipper.AddSubject(OffsetPaths(rest, 0.1 * f));
    PolyTree tree;
    clipper.Execute(ctUnion, tree);
    TPaths strokes;
    const double maximumArea = 100.0 * f * f;
    for (int i = 0; i < tree.ChildCount(); ++i) {
      const PolyNode &node = *tree.Childs[static_cast<std::size_t>(i)];
      const std::size_t points = node.Contour.size();
      if (node.ChildCount() == 0 && Area(node.Contour) < maximumArea && (points == 3 || points == 4)) {
        TPath stroke = IslandStroke(node.Contour, f, output.cx);
        if (!stroke.empty())
          strokes.push_back(std::move(stroke));
      }
    }
    const TPaths simplified = SimplifyPaths(strokes, tolerance);
    perimeter->AppendOutput(simplified);
    rest = SubtractBurned(rest, simplified, f);
    perimeter->Redraw();
  }
  if (stop)
    return;

  // Each step runs twice, the second time on what the first left.
  const THatchDirection own = FStyle == lsHorizontal     ? hdHorizontal
                              : FStyle == lsVertical     ? hdVertical
                              : FStyle == lsDiagonalDown ? hdFalling
                                                         : hdRising;
  std::vector<THatchDirection> others;
  for (THatchDirection d : {hdHorizontal, hdVertical, hdFalling, hdRising})
    if (d != own)
      others.push_back(d);
  struct TStep {
    std::vector<THatchDirection> Directions;
    std::int64_t Minimum;
  };
  const TStep plan[] = {{{own}, 2 * f}, {others, (5 * f) / 2}, {{own}, f / 2}, {others, f / 2}};
  for (const TStep &step : plan)
    for (int repeat = 0; repeat < 2; ++repeat)
      for (THatchDirection direction : step.Directions) {
        if (stop)
          return;
        const TPaths pass = HatchPass(rest, direction, f, step.Minimum, &stop);
        if (stop)
          return;
        AppendOutput(pass);
        rest = SubtractBurned(rest, pass, f);
        Redraw();
      }

  if (!stop)
    list.HandOver([&] {
      if (!list.Clearing())
        FRecalc = false;
    });
}

void TLevel::RecalcOutline() {
  TLevels &list = *FOwner;
  const int f = list.Focus();
  TPaths strokes;
  for (int i = 0; i < list.Count(); ++i) {
    const TLevel &level = *list.Item(i);
    if (&level != this && level.Print()) {
      const TPaths output = level.Output();
      strokes.insert(strokes.end(), output.begin(), output.end());
    }
  }
  const TPaths zone = UnitedStrokeZone(strokes, 2.1 * f);
  TOffsetter shrink;
  shrink.Add(zone, jtRound, etClosedPolygon);
  PolyTree tree;
  shrink.Execute(tree, -1.9 * f);
  const double minimumArea = 4.0 * UnitsPerMM() * UnitsPerMM();
  TPaths outline;
  for (int i = 0; i < tree.ChildCount(); ++i) {
    TPath contour = ClosePath(tree.Childs[static_cast<std::size_t>(i)]->Contour);
    for (auto &p : contour) {
      p.X = std::max<cInt>(p.X, 0);
      p.Y = std::max<cInt>(p.Y, 0);
    }
    if (Area(contour) > minimumArea)
      outline.push_back(std::move(contour));
  }
  SetOutput(std::move(outline));
  FRecalc = false;
}
