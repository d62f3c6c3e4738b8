#include "BurnPaths.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <stdexcept>

#include "PathUtils.h"
#include "Toolpaths.h"

using namespace ClipperLib;

TPaths LinePaths(const std::vector<TPaths> &input, const TBurnJob &job,
                 const std::atomic<bool> &stop) {
  const double tolerance = job.Focus / 8.0;
  TPaths result;
  for (const auto &set : input) {
    if (stop)
      break;
    TPaths paths =
        job.Raster
            ? set
            : SimplifyPaths(ScaleToOutput(set, job.Scale, job.Mirror, job.Output.cx), tolerance);
    // A burn path has at least two points; a lone point has nothing to trace.
    std::erase_if(paths, [](const TPath &path) { return path.size() < 2; });
    result.insert(result.end(), std::make_move_iterator(paths.begin()),
                  std::make_move_iterator(paths.end()));
  }
  return result;
}

namespace {

// Every area fill runs the same plan of hatch passes (see TAreaFill::Hatch).
constexpr int HatchPasses = 16;

// The input of a fill that would keep the clipper busy for much longer than
// the bound is refused before the merging, insetting and shells, which on an
// area of a million corners take longer than the bound themselves. The
// estimate from the input counts the input's corner heights, which the
// shells and their simplification thin out (to a third at most on real
// drawings), so it refuses only with a margin; the same check on what the
// shells leave follows before hatching.
constexpr double InputWorkMargin = 8;

// Whether the shells and the inset cannot eat much of the area: a band of
// their width along every edge covers less than half of it. A thin figure
// (a large ring, a board outline) may leave nothing to hatch however
// large its bounds, so only the later check can judge it.
bool ThickArea(const std::vector<TPaths> &scaled, int focus, std::int32_t shells) {
  double area = 0, perimeter = 0;
  for (const TPaths &set : scaled) {
    area += std::fabs(PathsArea(set));
    for (const TPath &path : set)
      perimeter += static_cast<double>(PathLength(path, true));
  }
  const double band = (std::max(shells, 0) + 1.0) * focus;
  return perimeter * band < 0.5 * area;
}

void RefuseOversizedFill(const TPaths &area, int focus, int passes, double allowed) {
  const double work = HatchFillWork(area, focus, passes);
  if (work <= allowed)
    return;
  const IntRect bounds = PathsBounds(area);
  std::size_t corners = 0;
  for (const TPath &path : area)
    corners += path.size();
  const double u = UnitsPerMM();
  char text[320];
  std::snprintf(text, sizeof text,
                "The filled area of %.0f x %.0f mm with %zu corners is too large to fill "
                "at a focus of %.3g mm (%.0f times the work allowed): print it smaller, "
                "with a larger focus or as lines.",
                static_cast<double>(bounds.right - bounds.left) / u,
                static_cast<double>(bounds.bottom - bounds.top) / u, corners, focus / u,
                std::ceil(work / MaxHatchFillWork));
  throw std::runtime_error(text);
}

THatchDirection OwnDirection(TLevelStyle style) {
  return style == lsHorizontal     ? hdHorizontal
         : style == lsVertical     ? hdVertical
         : style == lsDiagonalDown ? hdFalling
                                   : hdRising;
}

// One area fill in the order it burns: shells from the outside in, island
// strokes, then hatch passes. FRest is what is still unburnt; every step
// burns part of it and returns false once stop is seen.
class TAreaFill {
public:
  TAreaFill(const TBurnJob &job, const std::atomic<bool> &stop, const TAreaProgress &progress)
      : FJob(job), FFocus(job.Focus), FTolerance(job.Focus / 8.0), FStop(stop),
        FProgress(progress) {}

  // area: the input sets scaled to output units, in one list.
  bool Prepare(TPaths area, const TPaths &printedLines);
  bool Shells(std::int32_t count);
  void IslandStrokes();
  bool Hatch(TLevelStyle style);
  TAreaPaths &Result() { return FResult; }

private:
  void Add(TAreaPart part, TPaths paths);

  const TBurnJob &FJob;
  const int FFocus;
  const double FTolerance;
  const std::atomic<bool> &FStop;
  const TAreaProgress &FProgress;
  // FInset lies 0.1 focus inside the line the next shell follows.
  TPaths FRest, FInset;
  TAreaPaths FResult;
};

bool TAreaFill::Prepare(TPaths scaled, const TPaths &printedLines) {
  const int f = FFocus;
  TOffsetter merge;
  merge.Add(scaled, jtMiter, etClosedPolygon);
  scaled = TPaths();
  const TPaths area = OffsetPaths(merge.Execute(1.0), -1.0);
  const TPaths lines = UnitedStrokeZone(printedLines, 0.5 * f);
  if (FStop)
    return false;
  FRest = OffsetPaths(BooleanPaths(area, lines, ctDifference), -0.4 * f);
  FInset = OffsetPaths(FRest, -0.1 * f);
  return !FStop;
}

void TAreaFill::Add(TAreaPart part, TPaths paths) {
  FRest = SubtractBurned(FRest, paths, FFocus);
  if (FProgress)
    FProgress(part, paths);
  TPaths &target = part == apShells ? FResult.Shells : FResult.Hatch;
  target.insert(target.end(), std::make_move_iterator(paths.begin()),
                std::make_move_iterator(paths.end()));
}

bool TAreaFill::Shells(std::int32_t count) {
  const int f = FFocus;
  for (std::int32_t i = 0; i < count; ++i) {
    if (FInset.empty())
      break;
    FInset = OffsetPaths(FInset, 0.1 * f);
    Add(apShells, SimplifyPaths(ClosePaths(FInset), FTolerance));
    FInset = OffsetPaths(FInset, -1.1 * f);
    if (FStop)
      return false;
  }
  return true;
}

// Small islands of three or four corners that the shells left get one stroke
// along their long axis when that burns them almost whole.
void TAreaFill::IslandStrokes() {
  const int f = FFocus;
  TClipper clipper;
  clipper.AddSubject(OffsetPaths(FRest, 0.1 * f));
  PolyTree tree;
  clipper.Execute(ctUnion, tree);
  TPaths strokes;
  const double maximumArea = 100.0 * f * f;
  for (int i = 0; i < tree.ChildCount(); ++i) {
    const PolyNode &node = *tree.Childs[static_cast<std::size_t>(i)];
    const std::size_t points = node.Contour.size();
    if (node.ChildCount() == 0 && Area(node.Contour) < maximumArea &&
        (points == 3 || points == 4)) {
      TPath stroke = IslandStroke(node.Contour, f, FJob.Output.cx);
      if (!stroke.empty())
        strokes.push_back(std::move(stroke));
    }
  }
  Add(apShells, SimplifyPaths(strokes, FTolerance));
}

bool TAreaFill::Hatch(TLevelStyle style) {
  const int f = FFocus;
  const THatchDirection own = OwnDirection(style);
  std::vector<THatchDirection> others;
  for (THatchDirection d : {hdHorizontal, hdVertical, hdFalling, hdRising})
    if (d != own)
      others.push_back(d);
  // Each step runs twice, the second time on what the first left.
  struct TStep {
    std::vector<THatchDirection> Directions;
    std::int64_t Minimum;
  };
  const TStep plan[] = {{{own}, 2 * f}, {others, (5 * f) / 2}, {{own}, f / 2}, {others, f / 2}};
  int passes = 0;
  for (const TStep &step : plan)
    passes += 2 * static_cast<int>(step.Directions.size());
  RefuseOversizedFill(FRest, f, passes, MaxHatchFillWork);
  for (const TStep &step : plan)
    for (int repeat = 0; repeat < 2; ++repeat)
      for (THatchDirection direction : step.Directions) {
        if (FStop)
          return false;
        TPaths pass = HatchPass(FRest, direction, f, step.Minimum, &FStop);
        if (FStop)
          return false;
        Add(apHatch, std::move(pass));
      }
  return true;
}

} // namespace

TAreaPaths AreaPaths(const std::vector<TPaths> &input, const TPaths &printedLines,
                     std::int32_t shells, TLevelStyle style, const TBurnJob &job,
                     const std::atomic<bool> &stop, const TAreaProgress &progress) {
  std::vector<TPaths> sets;
  for (const auto &set : input)
    sets.push_back(ScaleToOutput(set, job.Scale, job.Mirror, job.Output.cx));
  TPaths scaled;
  for (TPaths &set : sets)
    scaled.insert(scaled.end(), set.begin(), set.end());
  if (ThickArea(sets, job.Focus, shells))
    RefuseOversizedFill(scaled, job.Focus, HatchPasses, InputWorkMargin * MaxHatchFillWork);
  sets.clear();
  TAreaFill fill(job, stop, progress);
  if (stop || !fill.Prepare(std::move(scaled), printedLines) || !fill.Shells(shells))
    return std::move(fill.Result());
  // A negative shell count still asks for island strokes; only 0 skips them.
  if (shells != 0)
    fill.IslandStrokes();
  if (!stop)
    fill.Hatch(style);
  return std::move(fill.Result());
}

TPaths OutlinePaths(const TPaths &strokes, std::int32_t focus, double unitsPerMM) {
  const int f = focus;
  const TPaths zone = UnitedStrokeZone(strokes, 2.1 * f);
  TOffsetter shrink;
  shrink.Add(zone, jtRound, etClosedPolygon);
  PolyTree tree;
  shrink.Execute(tree, -1.9 * f);
  const double minimumArea = 4.0 * unitsPerMM * unitsPerMM;
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
  return outline;
}
