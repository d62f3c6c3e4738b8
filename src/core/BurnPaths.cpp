#include "BurnPaths.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <stdexcept>

#include "Crossings.h"
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

namespace {

// The outline's zone is grown in the groups of nearby strokes that
// UnitedStrokeZone grows, and the groups' results are united once: the same
// grouping, so the same vertices.
constexpr std::size_t OutlineGroup = StrokeZoneGroup;

// A horizontal stroke of a group: the scan-line runs of a picture, which are
// nearly all of the strokes of a large one.
struct TRun {
  cInt Y, Left, Right;
  std::size_t Index; // in the group
  bool Covered = false;
};

// Runs of one scan line close enough to merge, with the half height of the
// band that their grown outlines cover together along the whole span.
struct TBand {
  cInt Left, Right;
  double HalfHeight;
};

// Finds the strokes of one group whose grown outline lies inside the grown
// outlines of the group's other strokes, away from their boundary. Such an
// outline adds no edge and no crossing to the union's boundary, so leaving
// it out changes nothing of the group's result but the time it takes: inside
// a picture almost every run is covered by the runs above and below it.
//
// Clipper's round offset by delta puts its corners on the circle, rounded to
// units (at most 0.71 off), and cuts the arcs by chords about
// ClipperArcTolerance deep (0.27 at most with the steps rounded), so the
// outline of a stroke lies within delta + 0.71 of it and holds everything
// within delta - 0.98 of it. A run is covered when a square-cornered box
// reaching delta + 0.75 around it lies inside the bands of a scan line above
// and one below, bands made of what lies within delta - 1 of their runs. Runs
// found covered stay out of the bands of later checks, so no run is left
// out for the sake of another one left out.
std::vector<bool> CoveredStrokes(const TPaths &strokes, const std::vector<std::size_t> &group,
                                 double delta) {
  std::vector<bool> covered(group.size(), false);
  std::vector<TRun> runs;
  for (std::size_t i = 0; i < group.size(); ++i) {
    const TPath &path = strokes[group[i]];
    if (path.size() == 2 && path[0].Y == path[1].Y && path[0].X != path[1].X)
      runs.push_back(
          {path[0].Y, std::min(path[0].X, path[1].X), std::max(path[0].X, path[1].X), i});
  }
  if (runs.size() < 3)
    return covered;
  std::sort(runs.begin(), runs.end(),
            [](const TRun &a, const TRun &b) { return a.Y != b.Y ? a.Y < b.Y : a.Left < b.Left; });
  const double reach = std::fabs(delta) + 0.75; // around a run to be covered
  const double inner = std::fabs(delta) - 1;    // surely inside a grown run
  if (inner <= 0)
    return covered;
  // Scan lines: [first, last) of runs each.
  std::vector<std::pair<std::size_t, std::size_t>> lines;
  for (std::size_t i = 0; i < runs.size();) {
    std::size_t e = i + 1;
    while (e < runs.size() && runs[e].Y == runs[i].Y)
      ++e;
    lines.emplace_back(i, e);
    i = e;
  }
  // Two runs of a line closer than the inner radius merge; over the gap g
  // between them their grown outlines cover a half height of
  // sqrt(inner² - (g/2)²).
  auto bandsOf = [&](std::size_t line) {
    std::vector<TBand> bands;
    for (std::size_t i = lines[line].first; i < lines[line].second; ++i) {
      const TRun &run = runs[i];
      if (run.Covered)
        continue;
      if (!bands.empty()) {
        TBand &last = bands.back();
        const double gap = static_cast<double>(run.Left - last.Right);
        if (gap < inner) {
          if (gap > 0)
            last.HalfHeight =
                std::min(last.HalfHeight, std::sqrt(inner * inner - 0.25 * gap * gap));
          last.Right = std::max(last.Right, run.Right);
          continue;
        }
      }
      bands.push_back({run.Left, run.Right, inner});
    }
    return bands;
  };
  std::vector<std::vector<TBand>> bands(lines.size());
  for (std::size_t l = 0; l < lines.size(); ++l)
    bands[l] = bandsOf(l);
  // The band of a line that holds [left, right] along its whole length, or null.
  auto holding = [&](std::size_t line, double left, double right) -> const TBand * {
    const std::vector<TBand> &list = bands[line];
    auto it = std::upper_bound(list.begin(), list.end(), left, [](double x, const TBand &band) {
      return x < static_cast<double>(band.Left);
    });
    if (it == list.begin())
      return nullptr;
    --it;
    return static_cast<double>(it->Right) >= right ? &*it : nullptr;
  };
  for (std::size_t l = 0; l < lines.size(); ++l) {
    bool any = false;
    for (std::size_t i = lines[l].first; i < lines[l].second; ++i) {
      TRun &run = runs[i];
      const double left = static_cast<double>(run.Left) - reach;
      const double right = static_cast<double>(run.Right) + reach;
      // A band at distance d with half height h covers from d - h to d + h
      // on its side; the lowest d - h of each side is the one to take.
      auto nearest = [&](bool above) {
        double best = std::numeric_limits<double>::infinity();
        for (std::size_t k = l;;) {
          if (above ? ++k >= lines.size() : k-- == 0)
            break;
          const double d = std::fabs(static_cast<double>(runs[lines[k].first].Y - run.Y));
          if (d >= reach + inner)
            break;
          if (const TBand *band = holding(k, left, right))
            if (d + band->HalfHeight > reach)
              best = std::min(best, d - band->HalfHeight);
        }
        return best;
      };
      if (nearest(false) + nearest(true) < 0) {
        run.Covered = true;
        covered[run.Index] = true;
        any = true;
      }
    }
    if (any)
      bands[l] = bandsOf(l);
  }
  return covered;
}

// The strokes grown by delta with round joins and ends and united, without
// the strokes that add nothing to the result; empty when stop is seen.
TPaths OutlineZone(const TPaths &strokes, double delta, const std::atomic<bool> &stop) {
  auto grown = [&](const std::vector<std::size_t> &group) {
    const std::vector<bool> covered = CoveredStrokes(strokes, group, delta);
    TOffsetter offsetter;
    for (std::size_t i = 0; i < group.size(); ++i)
      if (!covered[i])
        offsetter.Add(strokes[group[i]], jtRound, etOpenRound);
    return offsetter.Execute(delta);
  };
  std::vector<std::size_t> group;
  if (strokes.size() <= OutlineGroup) {
    for (std::size_t i = 0; i < strokes.size(); ++i)
      group.push_back(i);
    return grown(group);
  }
  const std::vector<std::size_t> order = NearbyOrder(strokes);
  TClipper clipper;
  for (std::size_t first = 0; first < order.size(); first += OutlineGroup) {
    if (stop)
      return {};
    group.assign(order.begin() + static_cast<std::ptrdiff_t>(first),
                 order.begin() +
                     static_cast<std::ptrdiff_t>(std::min(order.size(), first + OutlineGroup)));
    clipper.AddSubject(grown(group));
  }
  if (stop)
    return {};
  return clipper.Execute(ctUnion, pftPositive);
}

} // namespace

TPaths OutlinePaths(const TPaths &strokes, std::int32_t focus, double unitsPerMM,
                    const std::atomic<bool> &stop, std::string *refusal) {
  const int f = focus;
  // Growing the strokes unites every crossing of their grown edges, and
  // Clipper sorts them all: a curve through thousands of random points keeps
  // it busy for minutes. Counted first, such a drawing gets no outline
  // instead; the rest of the job stays usable.
  const std::uint64_t crossings = EstimateCrossings(strokes, MaxOutlineCrossings);
  if (crossings > MaxOutlineCrossings) {
    if (refusal)
      *refusal = TooManyCrossingsText(crossings, "outline it");
    return {};
  }
  const TPaths zone = OutlineZone(strokes, 2.1 * f, stop);
  if (stop)
    return {};
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
