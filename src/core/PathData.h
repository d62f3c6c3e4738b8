#pragma once
// Float path builder shared by the vector readers (plotter files, SVG): moves,
// lines, cubic curves, arcs and ellipses, flattened into one float polygon
// that PolygonToPaths turns into integer paths.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Geometry.h"

struct TPointF {
  float X = 0;
  float Y = 0;
  friend bool operator==(const TPointF &, const TPointF &) = default;
};

// A cubic curve is three consecutive pcCurve entries: first control point,
// second control point, end point. A close entry holds the figure start.
enum TPathCommand : std::uint8_t { pcMove, pcLine, pcCurve, pcClose };

struct TPathEntry {
  TPathCommand Kind = pcMove;
  TPointF Point;
  friend bool operator==(const TPathEntry &, const TPathEntry &) = default;
};

using TPolygonF = std::vector<TPointF>;

// Marks the end of a figure inside a flattened polygon: 2^24 - 1, exact in a
// float and far outside any drawing in plotter or internal units.
constexpr TPointF PolygonSeparator{16777215.0f, 16777215.0f};

// A single cubic never becomes more points than this, whatever its length:
// 4096 steps on a quarter circle keep the chord error far below one unit up
// to radii of kilometres, and a curve of radius 1e30 still ends quickly.
constexpr std::size_t MaxCurveSteps = 4096;
// Curve sample points one flattening may produce unless the caller passes a
// budget of its own; beyond it the drawing is refused ("The drawing is too
// complex") rather than exhausting memory.
constexpr std::size_t DefaultCurvePointBudget = std::size_t(1) << 22;
// PolygonToPaths clamps coordinates to this magnitude: far inside Clipper's
// range (about 4.6e18), so offsets, scaling and sums downstream cannot leave it.
constexpr double PathCoordinateLimit = 1e15;

class TPathData {
public:
  // Starts a new figure at p, which becomes the figure start.
  void MoveTo(TPointF p);
  void MoveToRel(TPointF d);
  void LineTo(TPointF p);
  void LineToRel(TPointF d);
  void CurveTo(TPointF c1, TPointF c2, TPointF e);
  // All three points relative to the last point before the curve.
  void CurveToRel(TPointF c1, TPointF c2, TPointF e);
  // The closing entry carries the figure start, which becomes the last point.
  void ClosePath();
  void Clear();

  // The point of the last entry, (0, 0) for an empty path.
  TPointF LastPoint() const;
  bool Empty() const { return FEntries.empty(); }

  // Angles in degrees, the sweep limited to one turn either way; joined to
  // the path by a line to its start (a move when the path is empty).
  void AddArc(TPointF centre, TPointF radii, float startAngle, float sweepAngle);
  // A closed ellipse inscribed in the rectangle, starting at its left middle.
  void AddEllipse(float left, float top, float right, float bottom);

  // Points of all figures, separated by PolygonSeparator; curves become about
  // one point per flatness of length. Throws TReadError when the curve points
  // would exceed the budget (which is decreased by the points emitted).
  TPolygonF FlattenToPolygon(float flatness) const;
  TPolygonF FlattenToPolygon(float flatness, std::size_t &curvePointBudget) const;

  // The raw entries, for readers that transform or inspect the path.
  const std::vector<TPathEntry> &Entries() const { return FEntries; }
  std::vector<TPathEntry> &Entries() { return FEntries; }

protected:
  std::vector<TPathEntry> FEntries;
  TPointF FStart;
};

// Rounds the flattened points (ties to even) and cuts them at separators into
// paths; runs of fewer than two points are dropped. A point that is not a
// number also ends a run; infinite or huge coordinates are clamped to
// PathCoordinateLimit.
TPaths PolygonToPaths(const TPolygonF &polygon);
