#pragma once
// Path measures, the toolpath helpers and the one wrapper around Clipper.

#include <cmath>
#include <cstddef>
#include <vector>

#include "Bounds.h"
#include "Geometry.h"

// Fixed Clipper parameters of the program.
constexpr double ClipperMiterLimit = 2.0;
constexpr double ClipperArcTolerance = 0.25;
constexpr double OffsetPathsMiterLimit = 5.0;

// Sum of the rounded lengths of consecutive segments (plus the closing one).
std::int64_t PathLength(const TPath &path, bool closed);
// Sum of PathLength over the paths whose length is at least minimum.
std::int64_t PathsLength(const TPaths &paths, bool closed, std::int64_t minimum);
// Signed area, counter-clockwise positive with Y up.
double PathsArea(const TPaths &paths);

TPath ClosePath(const TPath &path);
TPaths ClosePaths(const TPaths &paths);
TPaths RemoveShortPaths(const TPaths &paths, std::int64_t minimum);
TPath SimplifyPath(const TPath &path, double tolerance);
TPaths SimplifyPaths(const TPaths &paths, double tolerance);
bool NearCollinear(const TIntPoint &a, const TIntPoint &b, const TIntPoint &c, double tolerance);

// Offset of closed polygons: miter joins when growing, round when shrinking.
TPaths OffsetPaths(const TPaths &paths, double delta);

// Rounds half to even, as every float-to-unit conversion of the program does.
inline std::int64_t RoundUnit(double value) {
  return static_cast<std::int64_t>(std::nearbyint(value));
}

// Clipper's offsetting object with the program's settings.
class TOffsetter {
public:
  explicit TOffsetter(double miterLimit = ClipperMiterLimit,
                      double arcTolerance = ClipperArcTolerance);
  void Add(const TPath &path, ClipperLib::JoinType join, ClipperLib::EndType end);
  void Add(const TPaths &paths, ClipperLib::JoinType join, ClipperLib::EndType end);
  TPaths Execute(double delta);
  void Execute(ClipperLib::PolyTree &tree, double delta);

private:
  ClipperLib::ClipperOffset FOffset;
};

// Clipper's boolean object; every operation fills even-odd unless told otherwise.
class TClipper {
public:
  void AddSubject(const TPaths &paths, bool closed = true);
  void AddSubject(const TPath &path, bool closed = true);
  void AddClip(const TPaths &paths);
  void AddClip(const TPath &path);
  TPaths Execute(ClipperLib::ClipType op,
                 ClipperLib::PolyFillType fill = ClipperLib::pftEvenOdd);
  void Execute(ClipperLib::ClipType op, ClipperLib::PolyTree &tree,
               ClipperLib::PolyFillType fill = ClipperLib::pftEvenOdd);

private:
  ClipperLib::Clipper FClipper;
};

// Open paths clipped by closed polygons, in tree order.
TPaths ClipOpenPaths(const TPaths &open, const TPaths &clip, ClipperLib::ClipType op);
// Closed boolean operation with even-odd filling.
TPaths BooleanPaths(const TPaths &subject, const TPaths &clip, ClipperLib::ClipType op);
// Strokes grown by delta with round joins and ends.
TPaths StrokeZone(const TPaths &strokes, double delta);
// The same region for very many strokes: groups of nearby strokes are grown
// separately and their results united, instead of one union over thousands
// of overlapping outlines. Vertices may differ by rounding only.
TPaths UnitedStrokeZone(const TPaths &strokes, double delta);
// Strokes per group there: small enough that the union inside a group stays
// cheap, large enough that the tree stays shallow.
constexpr std::size_t StrokeZoneGroup = 256;
// The indices of the non-empty strokes along a Morton curve of their first
// points, which UnitedStrokeZone cuts into its groups: nearby strokes share
// a group, so overlapping outlines merge inside it.
std::vector<std::size_t> NearbyOrder(const TPaths &strokes);

// Area minus the zone that strokes of the given focus burn (grown by 0.75 focus).
TPaths SubtractBurned(const TPaths &area, const TPaths &strokes, int focus);
// Scale factors per axis, rounded half to even, then mirrored along X if asked.
TPaths ScaleToOutput(const TPaths &paths, TSizeF scale, bool mirror, std::int32_t outputWidth);
