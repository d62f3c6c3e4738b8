#include "PlotterLines.h"

#include <cmath>
#include <numeric>
#include <utility>

#include "core/PathUtils.h"

namespace {

// A user pattern holds at most this many dashes and gaps, as plotters take.
constexpr std::size_t MaxPatternElements = 20;

TDashPattern Shares(const std::vector<double> &lengths) {
  const double total = std::accumulate(lengths.begin(), lengths.end(), 0.0);
  TDashPattern shares;
  for (double length : lengths)
    shares.push_back(length / total);
  return shares;
}

// The adaptive form of a pattern: the first dash is split between the start
// and the end, so whole repetitions begin and end with half of it.
TDashPattern AdaptiveOf(const TDashPattern &fixed) {
  // A lone dash is a solid line either way.
  if (fixed.size() == 1)
    return fixed;
  TDashPattern adaptive;
  if (fixed.size() % 2 == 0) { // ends on a gap
    adaptive.push_back(fixed.front() / 2);
    adaptive.insert(adaptive.end(), fixed.begin() + 1, fixed.end());
    adaptive.push_back(fixed.front() / 2);
  } else { // ends on a dash: the first and the last share the ends
    const double ends = (fixed.front() + fixed.back()) / 2;
    adaptive.push_back(ends);
    adaptive.insert(adaptive.end(), fixed.begin() + 1, fixed.end() - 1);
    adaptive.push_back(ends);
  }
  return adaptive;
}

TIntPoint Along(const TIntPoint &a, double dx, double dy, double t) {
  return {RoundUnit(static_cast<double>(a.X) + dx * t),
          RoundUnit(static_cast<double>(a.Y) + dy * t)};
}

// Walks one pattern over a run of segments; restart says whether it starts
// again at each segment (adaptive) or runs on.
class TDasher {
public:
  TDasher(const TDashPattern &pattern, std::size_t &steps, TPaths &out)
      : FPattern(pattern), FSteps(steps), FOut(out) {}

  void Start(double length) {
    EndDash();
    FLength = length;
    FElement = 0;
    FLeft = FPattern[0] * length;
  }

  bool Segment(const TIntPoint &a, const TIntPoint &b) {
    const double dx = static_cast<double>(b.X - a.X), dy = static_cast<double>(b.Y - a.Y);
    const double length = std::hypot(dx, dy);
    if (length == 0)
      return true;
    const double ux = dx / length, uy = dy / length;
    double t = 0;
    while (t < length) {
      if (FSteps == 0)
        return false;
      --FSteps;
      const bool drawing = FElement % 2 == 0;
      const double step = std::min(FLeft, length - t);
      if (drawing && FLeft == 0) {
        // A dot: one unit along the line.
        EndDash();
        const TIntPoint p = Along(a, ux, uy, t), q = Along(a, ux, uy, t + 1);
        FOut.push_back({p, q == p ? TIntPoint(p.X + 1, p.Y) : q});
      } else if (drawing) {
        if (FDash.empty())
          FDash.push_back(Along(a, ux, uy, t));
        // The end is kept back until the dash ends or turns a corner, so a
        // dash running on into the next repetition stays one straight piece.
        FEnd = Along(a, ux, uy, t + step);
        FPending = true;
      }
      t += step;
      FLeft -= step;
      if (FLeft <= 0) {
        FElement = (FElement + 1) % FPattern.size();
        FLeft = FPattern[FElement] * FLength;
        // The last dash of one repetition runs on into the first of the next.
        if (drawing && (FElement % 2 == 1 || FLeft == 0))
          EndDash();
      }
    }
    Corner();
    return true;
  }

  void EndDash() {
    Corner();
    if (FDash.size() >= 2)
      FOut.push_back(std::move(FDash));
    FDash.clear();
  }

private:
  void Corner() {
    if (FPending && !FDash.empty() && FEnd != FDash.back())
      FDash.push_back(FEnd);
    FPending = false;
  }

  const TDashPattern &FPattern;
  std::size_t &FSteps;
  TPaths &FOut;
  TPath FDash;
  TIntPoint FEnd;
  bool FPending = false;
  double FLength = 0;
  std::size_t FElement = 0;
  double FLeft = 0;
};

} // namespace

TLineTypes::TLineTypes() { ResetAll(); }

const TDashPattern *TLineTypes::Pattern(int type) const {
  if (type >= 1 && type <= 8)
    return &FFixed[static_cast<std::size_t>(type - 1)];
  if (type <= -1 && type >= -8)
    return &FAdaptive[static_cast<std::size_t>(-type - 1)];
  return nullptr;
}

void TLineTypes::Set(int type, TDashPattern fixed) {
  const auto index = static_cast<std::size_t>(std::abs(type) - 1);
  FAdaptive[index] = AdaptiveOf(fixed);
  FFixed[index] = std::move(fixed);
}

bool TLineTypes::Define(int type, const std::vector<double> &lengths) {
  if (type == 0 || std::abs(type) > 8 || lengths.empty() || lengths.size() > MaxPatternElements)
    return false;
  double total = 0;
  for (double length : lengths) {
    if (!(length >= 0) || std::isinf(length))
      return false;
    total += length;
  }
  if (!(total > 0))
    return false;
  Set(type, Shares(lengths));
  return true;
}

void TLineTypes::Reset(int type) {
  // The plotters' own patterns, dashes and gaps in per cent of the pattern.
  static constexpr double table[8][8] = {{0, 100},
                                         {50, 50},
                                         {70, 30},
                                         {80, 10, 0, 10},
                                         {70, 10, 10, 10},
                                         {50, 10, 10, 10, 10, 10},
                                         {70, 10, 0, 10, 0, 10},
                                         {50, 10, 0, 10, 10, 10, 0, 10}};
  static constexpr std::size_t sizes[8] = {2, 2, 2, 4, 4, 6, 6, 8};
  if (type == 0 || std::abs(type) > 8)
    return;
  const auto index = static_cast<std::size_t>(std::abs(type) - 1);
  Set(type, Shares(std::vector<double>(table[index], table[index] + sizes[index])));
}

void TLineTypes::ResetAll() {
  for (int type = 1; type <= 8; ++type)
    Reset(type);
}

bool DashPaths(const TPaths &paths, const TDashPattern &pattern, bool adaptive,
               double patternLength, std::size_t &steps, TPaths &dashes) {
  TDasher dasher(pattern, steps, dashes);
  for (const TPath &path : paths) {
    dasher.Start(patternLength);
    for (std::size_t i = 1; i < path.size(); ++i) {
      if (adaptive) {
        const double length = std::hypot(static_cast<double>(path[i].X - path[i - 1].X),
                                         static_cast<double>(path[i].Y - path[i - 1].Y));
        const double repeats = std::max(1.0, std::nearbyint(length / patternLength));
        dasher.Start(length / repeats);
      }
      if (!dasher.Segment(path[i - 1], path[i]))
        return false;
    }
    dasher.EndDash();
  }
  return true;
}

bool DotPaths(const TPaths &paths, std::size_t &steps, TPaths &dots) {
  for (const TPath &path : paths)
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (i > 0 && path[i] == path[i - 1])
        continue;
      if (steps == 0)
        return false;
      --steps;
      dots.push_back({path[i], {path[i].X + 1, path[i].Y}});
    }
  return true;
}
