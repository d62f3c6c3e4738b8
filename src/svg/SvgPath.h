#pragma once
// SVG path data ("d" attributes) read into the shared float path builder,
// with the operations only SVG needs.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/Matrix.h"
#include "core/PathData.h"

// Longest path one "d" attribute may build. Far beyond any drawing made by
// hand or tool, and small enough that flattening and clipping it stays
// within seconds and a few hundred megabytes.
constexpr std::size_t MaxSvgPathEntries = std::size_t(1) << 22;

// A vertex where markers go: its point, and the direction of the path
// there in degrees from the x axis towards y (the bisector of the ways in
// and out at a corner).
struct TSvgVertex {
  TPointF Point;
  float Angle = 0;
};

class TSvgPath : public TPathData {
public:
  // Clears the path and reads SVG path data into it. Broken data ends the
  // reading, keeping every argument set read complete before it; the
  // return value then says what broke and where ("\"x\" at character 12,
  // where L expects a number"), and is empty when all of the data was read.
  // Only a path beyond MaxSvgPathEntries throws TReadError.
  std::string SetData(std::string_view text);

  void HLineTo(float x);
  void HLineToRel(float dx);
  void VLineTo(float y);
  void VLineToRel(float dy);
  // The first control point mirrors the entry before the last point through
  // it (with fewer than three entries it equals the second control point).
  void SmoothCurveTo(TPointF c2, TPointF e);
  void SmoothCurveToRel(TPointF c2, TPointF e);
  // The quadratic curve from the last point, as the cubic that traces it.
  void QuadTo(TPointF control, TPointF end);
  // The SVG elliptical arc from the last point to end; radii in user units,
  // rotation in degrees.
  void EllipticalArc(TPointF radii, float rotation, bool largeArc, bool sweep, TPointF end);

  // Transforms every entry, the close entries with their figures.
  void ApplyMatrix(const TMatrix &m);
  // No entries, or (far from the origin) a bounding box that single
  // precision cannot tell from a point.
  bool IsEmpty() const;

  // Entry counts at the end of each command read by SetData (an arc's
  // several curves end one command), so markers sit on the vertices the
  // author drew; empty for paths built otherwise.
  // The vertices in drawing order: each subpath's start and the end of each
  // of its commands. A closed subpath's start and end take the bisector of
  // the closing line and the first command; a zero-length command takes the
  // direction of its neighbours.
  std::vector<TSvgVertex> Vertices() const;

  const std::vector<std::size_t> &CommandEnds() const { return FCommandEnds; }
  void EndCommand() {
    if (FCommandEnds.empty() ? !FEntries.empty() : FCommandEnds.back() != FEntries.size())
      FCommandEnds.push_back(FEntries.size());
  }

private:
  std::vector<std::size_t> FCommandEnds;
};
