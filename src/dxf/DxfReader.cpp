#include "DxfReader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <numbers>
#include <set>
#include <sstream>
#include <tuple>
#include <utility>
#include <vector>

#include <dl_creationadapter.h>
#include <dl_dxf.h>

#include "DxfColors.h"
#include "DxfScan.h"
#include "DxfText.h"
#include "core/Bounds.h"
#include "core/Crossings.h"
#include "core/FileBytes.h"
#include "core/FontOutline.h"
#include "core/PathData.h"
#include "core/PathUtils.h"
#include "core/StrokeFont.h"

namespace {

// Curves become points about this many internal units apart, as in SVG drawings.
constexpr float DxfFlatness = 10.0f;
// Arcs, circles and ellipses need fewer. The burn paths drop every point
// that lies closer than the square root of a spot diameter / 8 to the line
// through its neighbours, so chords that close to the curve lose nothing
// they keep, and so many fewer stay to be simplified; never closer than this
// (internal units), the arc tolerance of the program's offsetting.
constexpr double MinDxfArcTolerance = 0.25;
// Points one spline may become, whatever its length.
constexpr std::size_t MaxSplineSteps = std::size_t(1) << 16;
// How far the built-in stroke font's tails (g, p, y) reach below the
// baseline, in capital heights.
constexpr double StrokeDescent = 7.0 / 21.0;
// Points beyond this distance from the origin (internal units) are refused:
// far inside the 64-bit range whatever the drawing's units made of them.
constexpr double MaxDxfCoordinate = 1e15;

struct TPointD {
  double X = 0;
  double Y = 0;
};

bool Finite(double v) { return std::isfinite(v); }

// x' = A x + C y + E, y' = B x + D y + F.
struct TAffine {
  double A = 1, B = 0, C = 0, D = 1, E = 0, F = 0;

  TPointD Map(TPointD p) const { return {A * p.X + C * p.Y + E, B * p.X + D * p.Y + F}; }
  // This one first, then o.
  TAffine Then(const TAffine &o) const {
    return {o.A * A + o.C * B, o.B * A + o.D * B,       o.A * C + o.C * D,
            o.B * C + o.D * D, o.A * E + o.C * F + o.E, o.B * E + o.D * F + o.F};
  }
  // An upper bound of how much the map stretches any length.
  double Stretch() const { return std::sqrt(A * A + B * B + C * C + D * D); }
  static TAffine Translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
  static TAffine Scaling(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  static TAffine Rotation(double degrees) {
    const double r = degrees * std::numbers::pi / 180;
    return {std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0};
  }
};

// The path of one figure in drawing units; curves as TPathData keeps them
// (three pcCurve entries: two control points and the end point), so an insert's
// scaling and rotation map them exactly.
struct TEntryD {
  TPathCommand Kind = pcMove;
  TPointD P;
  // From 0: this entry is the figure's spline of that index, sampled once
  // the scale it is drawn at is known.
  int Spline = -1;
  // From 0: this entry is the figure's conic of that index, likewise.
  int Conic = -1;
};

// An elliptic arc c + cos t u + sin t v for t from Start over Sweep
// (degrees); circles and arcs are the case of u and v of equal length at a
// right angle. Kept whole so that the points it becomes are as many as the
// tolerance asks for at the scale it is drawn at, and lie on it exactly.
struct TConicDef {
  TPointD C, U, V;
  double Start = 0;
  double Sweep = 360;
  // The vertex a polyline's arc ends on, exact where the arc's own end has
  // rounding in it; only when HasEnd.
  TPointD End;
  bool HasEnd = false;

  TPointD At(double degrees) const {
    const double t = degrees * std::numbers::pi / 180;
    const double c = std::cos(t), s = std::sin(t);
    return {C.X + c * U.X + s * V.X, C.Y + c * U.Y + s * V.Y};
  }
};

struct TSplineDef {
  int Degree = 3;
  bool Closed = false;
  std::vector<double> Knots;
  std::vector<TPointD> Control;
  std::vector<double> Weights;
  std::vector<TPointD> Fit;
  // Control points interpolated from fit points, whose knots are where the
  // curve passes through them.
  bool Through = false;
};

struct TFigure {
  std::vector<TEntryD> Entries;
  std::vector<TSplineDef> Splines;
  std::vector<TConicDef> Conics;
  bool Closed = false;
};

// Seen from below (extrusion pointing down), a plane's figures are mirrored in X.
void MirrorFigure(TFigure &figure) {
  for (auto &entry : figure.Entries)
    entry.P.X = -entry.P.X;
  for (auto &conic : figure.Conics) {
    conic.C.X = -conic.C.X;
    conic.U.X = -conic.U.X;
    conic.V.X = -conic.V.X;
    conic.End.X = -conic.End.X;
  }
  for (auto &spline : figure.Splines) {
    for (auto &p : spline.Control)
      p.X = -p.X;
    for (auto &p : spline.Fit)
      p.X = -p.X;
  }
}

enum TEntityKind : std::uint8_t { ekCurves, ekInsert };

struct TEntity {
  TEntityKind Kind = ekCurves;
  // HATCH, SOLID, TRACE: filled areas.
  bool Fill = false;
  std::string Layer = "0";
  int Color = DxfColorByLayer;
  std::int32_t Color24 = -1;
  std::vector<TFigure> Figures;
  // An insert: the block, its placement and its array.
  std::string Block;
  TPointD Point;
  double ScaleX = 1, ScaleY = 1, Angle = 0;
  int Columns = 1, Rows = 1;
  double ColumnSpacing = 0, RowSpacing = 0;
  bool Mirror = false;
  // Dimension blocks hold their geometry where it is drawn.
  bool IgnoreBase = false;
  // A LINE, ARC, elliptic arc or open polyline or spline: joined with the
  // others of its level that end where it does.
  bool Segment = false;
  // Text in single strokes: a stroke that comes back to its start (an O)
  // is a line to burn, not the edge of an area.
  bool Strokes = false;
};

struct TBlock {
  TPointD Base;
  std::vector<TEntity> Entities;
};

struct TLayer {
  int Color = 7;
  std::int32_t Color24 = -1;
  bool Off = false;
  bool Frozen = false;
};

struct TVertexD {
  TPointD P;
  double Bulge = 0;
};

double Normalized360(double degrees) {
  double d = std::fmod(degrees, 360.0);
  if (d < 0)
    d += 360;
  return d;
}

// A counter-clockwise sweep from a to b in (0, 360]: equal angles make a full turn.
double SweepDegrees(double from, double to) {
  const double sweep = Normalized360(to - from);
  return sweep < 1e-9 ? 360.0 : sweep;
}

void AddPoint(TFigure &figure, TPointD p) {
  if (figure.Entries.empty()) {
    figure.Entries.push_back({pcMove, p});
    return;
  }
  const TPointD &last = figure.Entries.back().P;
  if (last.X != p.X || last.Y != p.Y)
    figure.Entries.push_back({pcLine, p});
}

// An elliptic arc c + cos t u + sin t v for t from start over sweep (degrees),
// joined to the figure by a line.
void AddConic(TFigure &figure, TPointD c, TPointD u, TPointD v, double startDegrees,
              double sweepDegrees) {
  TConicDef conic;
  conic.C = c;
  conic.U = u;
  conic.V = v;
  conic.Start = Normalized360(startDegrees);
  conic.Sweep = std::clamp(sweepDegrees, -360.0, 360.0);
  AddPoint(figure, conic.At(conic.Start));
  figure.Entries.push_back(
      {pcLine, conic.At(conic.Start + conic.Sweep), -1, static_cast<int>(figure.Conics.size())});
  figure.Conics.push_back(conic);
}

void AddCircleArc(TFigure &figure, TPointD c, double r, double startDegrees, double sweepDegrees) {
  AddConic(figure, c, {r, 0}, {0, r}, startDegrees, sweepDegrees);
}

// The segment from p to q of a polyline whose vertex p has the given bulge:
// the tangent of a quarter of the arc's angle, positive counter-clockwise.
void AddBulgeSegment(TFigure &figure, TPointD p, TPointD q, double bulge) {
  if (std::fabs(bulge) < 1e-9 || (p.X == q.X && p.Y == q.Y)) {
    AddPoint(figure, q);
    return;
  }
  // Absurd bulges are half circles the other way round in the limit.
  bulge = std::clamp(bulge, -1e6, 1e6);
  const TPointD m{(p.X + q.X) / 2, (p.Y + q.Y) / 2};
  const TPointD d{q.X - p.X, q.Y - p.Y};
  const double k = (1 - bulge * bulge) / (4 * bulge);
  const TPointD c{m.X - d.Y * k, m.Y + d.X * k};
  const double r = std::hypot(p.X - c.X, p.Y - c.Y);
  const double start = std::atan2(p.Y - c.Y, p.X - c.X) * 180 / std::numbers::pi;
  const double sweep = 4 * std::atan(bulge) * 180 / std::numbers::pi;
  AddCircleArc(figure, c, r, start, sweep);
  // The arc ends on q up to rounding; the exact vertex keeps joins closed.
  figure.Entries.back().P = q;
  figure.Conics.back().End = q;
  figure.Conics.back().HasEnd = true;
}

TFigure PolylineFigure(const std::vector<TVertexD> &vertices, bool closed) {
  TFigure figure;
  if (vertices.empty())
    return figure;
  AddPoint(figure, vertices.front().P);
  for (std::size_t i = 0; i + 1 < vertices.size(); ++i)
    AddBulgeSegment(figure, vertices[i].P, vertices[i + 1].P, vertices[i].Bulge);
  if (closed && vertices.size() > 1)
    AddBulgeSegment(figure, vertices.back().P, vertices.front().P, vertices.back().Bulge);
  figure.Closed = closed;
  return figure;
}

// A cubic B-spline through fit points as CAD programs draw one (global
// interpolation, chord length parameters, end tangents estimated from five
// points and as long as the polygon through the points): its control
// points and knots go into s. False when the points give no such curve.
bool InterpolateFitPoints(TSplineDef &s) {
  std::vector<TPointD> q;
  q.reserve(s.Fit.size());
  for (const auto &p : s.Fit)
    if (q.empty() || q.back().X != p.X || q.back().Y != p.Y)
      q.push_back(p);
  if (q.size() < 3)
    return false;
  const std::size_t n = q.size() - 1; // the last fit point's index
  std::vector<double> t(n + 1, 0.0);
  for (std::size_t k = 1; k <= n; ++k)
    t[k] = t[k - 1] + std::hypot(q[k].X - q[k - 1].X, q[k].Y - q[k - 1].Y);
  const double length = t[n];
  if (!(length > 0) || !Finite(length))
    return false;
  for (auto &value : t)
    value /= length;
  t[n] = 1;

  // The steps between the points, one extrapolated beyond each end and a
  // second beyond that; an end's tangent weighs its two nearest steps by
  // how sharply the steps further out turn (Akima's rule).
  auto step = [&q](std::size_t k) { return TPointD{q[k].X - q[k - 1].X, q[k].Y - q[k - 1].Y}; };
  auto ahead = [](TPointD a, TPointD b) { return TPointD{2 * a.X - b.X, 2 * a.Y - b.Y}; };
  auto cross = [](TPointD a, TPointD b) { return std::fabs(a.X * b.Y - a.Y * b.X); };
  auto blend = [&cross](TPointD before2, TPointD before, TPointD after, TPointD after2) {
    const double v1 = cross(before2, before), v2 = cross(after, after2);
    const double a = v1 + v2 > 0 ? v1 / (v1 + v2) : 0.5;
    return TPointD{(1 - a) * before.X + a * after.X, (1 - a) * before.Y + a * after.Y};
  };
  const TPointD q1 = step(1), q2 = step(2), q0 = ahead(q1, q2), qm = ahead(q0, q1);
  const TPointD ql = step(n), ql1 = step(n - 1), qn = ahead(ql, ql1), qn1 = ahead(qn, ql);
  TPointD d0 = blend(qm, q0, q1, q2), dn = blend(ql1, ql, qn, qn1);
  auto scaled = [length](TPointD d) {
    const double m = std::hypot(d.X, d.Y);
    return m > 0 ? TPointD{d.X / m * length, d.Y / m * length} : TPointD{};
  };
  d0 = scaled(d0);
  dn = scaled(dn);

  // n + 3 control points; the knots are the parameters of the inner points.
  const std::size_t count = n + 3;
  std::vector<double> knots(4, 0.0);
  knots.insert(knots.end(), t.begin() + 1, t.begin() + static_cast<std::ptrdiff_t>(n));
  knots.insert(knots.end(), 4, 1.0);
  // Row r has its coefficients in columns r - 1 to r + 2: a band kept as
  // four numbers a row, solved without pivoting (the rows of B-spline
  // interpolation need none) and refused if a pivot vanishes.
  std::vector<std::array<double, 4>> band(count, {0, 0, 0, 0});
  std::vector<TPointD> rhs(count);
  auto at = [&band](std::size_t row, std::size_t column) -> double & {
    return band[row][column + 1 - row];
  };
  at(0, 0) = 1;
  rhs[0] = q[0];
  at(1, 0) = -1;
  at(1, 1) = 1;
  rhs[1] = {d0.X * knots[4] / 3, d0.Y * knots[4] / 3};
  for (std::size_t k = 1; k < n; ++k) {
    // Cubic basis functions k .. k + 3 at t[k], which lies in knot span k + 3.
    const std::size_t span = k + 3;
    double basis[4] = {1, 0, 0, 0}, left[4], right[4];
    for (int j = 1; j <= 3; ++j) {
      left[j] = t[k] - knots[span + 1 - static_cast<std::size_t>(j)];
      right[j] = knots[span + static_cast<std::size_t>(j)] - t[k];
      double saved = 0;
      for (int r = 0; r < j; ++r) {
        const double denominator = right[r + 1] + left[j - r];
        const double temp = denominator != 0 ? basis[r] / denominator : 0;
        basis[r] = saved + right[r + 1] * temp;
        saved = left[j - r] * temp;
      }
      basis[j] = saved;
    }
    for (std::size_t j = 0; j < 4; ++j)
      at(k + 1, k + j) = basis[j];
    rhs[k + 1] = q[k];
  }
  at(count - 2, count - 2) = -1;
  at(count - 2, count - 1) = 1;
  const double tail = (1 - knots[knots.size() - 5]) / 3;
  rhs[count - 2] = {dn.X * tail, dn.Y * tail};
  at(count - 1, count - 1) = 1;
  rhs[count - 1] = q[n];

  for (std::size_t c = 0; c + 1 < count; ++c) {
    const double pivot = at(c, c);
    if (!(std::fabs(pivot) > 1e-12))
      return false;
    const double factor = at(c + 1, c) / pivot;
    if (factor == 0)
      continue;
    for (std::size_t column = c; column <= std::min(c + 2, count - 1); ++column)
      at(c + 1, column) -= factor * at(c, column);
    rhs[c + 1].X -= factor * rhs[c].X;
    rhs[c + 1].Y -= factor * rhs[c].Y;
  }
  std::vector<TPointD> control(count);
  for (std::size_t r = count; r-- > 0;) {
    TPointD value = rhs[r];
    for (std::size_t column = r + 1; column <= std::min(r + 2, count - 1); ++column) {
      value.X -= at(r, column) * control[column].X;
      value.Y -= at(r, column) * control[column].Y;
    }
    const double pivot = at(r, r);
    if (!(std::fabs(pivot) > 1e-12))
      return false;
    control[r] = {value.X / pivot, value.Y / pivot};
    if (!Finite(control[r].X) || !Finite(control[r].Y))
      return false;
  }
  s.Degree = 3;
  s.Control = std::move(control);
  s.Knots = std::move(knots);
  s.Weights.assign(count, 1.0);
  s.Through = true;
  return true;
}

// Appends the spline to the figure; warn gets what had to be mended.
// A spline of control points is kept whole, to be sampled by SampleSpline.
void AddSpline(TFigure &figure, TSplineDef s,
               const std::function<void(const std::string &)> &warn) {
  if (s.Control.size() < 2 && !s.Closed && InterpolateFitPoints(s))
    s.Fit.clear();
  const std::size_t n = s.Control.size();
  if (n < 2) {
    // Fit points of a closed spline, or too few for the curve CAD programs
    // draw: a smooth curve through them (Catmull-Rom pieces).
    const auto &f = s.Fit;
    if (f.size() < 2)
      return;
    const std::size_t count = f.size();
    auto at = [&](std::ptrdiff_t i) -> TPointD {
      if (s.Closed)
        return f[static_cast<std::size_t>(
            (i % static_cast<std::ptrdiff_t>(count) + static_cast<std::ptrdiff_t>(count)) %
            static_cast<std::ptrdiff_t>(count))];
      return f[static_cast<std::size_t>(
          std::clamp<std::ptrdiff_t>(i, 0, static_cast<std::ptrdiff_t>(count) - 1))];
    };
    AddPoint(figure, f.front());
    const std::size_t pieces = s.Closed ? count : count - 1;
    for (std::size_t i = 0; i < pieces; ++i) {
      const auto k = static_cast<std::ptrdiff_t>(i);
      const TPointD p0 = at(k - 1), p1 = at(k), p2 = at(k + 1), p3 = at(k + 2);
      figure.Entries.push_back({pcCurve, {p1.X + (p2.X - p0.X) / 6, p1.Y + (p2.Y - p0.Y) / 6}});
      figure.Entries.push_back({pcCurve, {p2.X - (p3.X - p1.X) / 6, p2.Y - (p3.Y - p1.Y) / 6}});
      figure.Entries.push_back({pcCurve, p2});
    }
    figure.Closed = s.Closed;
    return;
  }
  s.Degree = std::clamp(s.Degree, 1, static_cast<int>(n) - 1);
  const auto pu = static_cast<std::size_t>(s.Degree);
  std::vector<double> knots = s.Knots;
  bool knotsValid = knots.size() == n + pu + 1 && knots[pu] < knots[n];
  for (std::size_t i = 0; knotsValid && i < knots.size(); ++i)
    knotsValid = Finite(knots[i]) && (i == 0 || knots[i] >= knots[i - 1]);
  if (!knotsValid) {
    if (!s.Knots.empty())
      warn("SPLINE knots that do not fit its control points are replaced by even ones");
    knots.assign(n + pu + 1, 0);
    for (std::size_t i = 0; i < knots.size(); ++i)
      knots[i] = static_cast<double>(std::clamp(i, pu, n) - pu);
  }
  std::vector<double> weights(n, 1.0);
  if (s.Weights.size() == n) {
    const bool positive = std::all_of(s.Weights.begin(), s.Weights.end(),
                                      [](double w) { return Finite(w) && w > 0; });
    if (positive)
      weights = s.Weights;
    else
      warn("SPLINE weights of zero or below are left out: the spline is drawn without weights");
  }
  s.Knots = std::move(knots);
  s.Weights = std::move(weights);
  figure.Entries.push_back({pcLine, s.Control.front(), static_cast<int>(figure.Splines.size())});
  figure.Splines.push_back(std::move(s));
  figure.Closed = figure.Splines.back().Closed;
}

// Points of a spline AddSpline kept, about DxfFlatness apart at the given
// scale (internal units per drawing unit).
template <typename TEmit> void SampleSpline(const TSplineDef &s, double scale, TEmit &&keep) {
  const std::size_t n = s.Control.size();
  const auto pu = static_cast<std::size_t>(s.Degree);
  const auto &knots = s.Knots;
  const auto &weights = s.Weights;
  double length = 0;
  for (std::size_t i = 0; i + 1 < n; ++i)
    length += std::hypot(s.Control[i + 1].X - s.Control[i].X, s.Control[i + 1].Y - s.Control[i].Y);
  const double wanted = length * scale / DxfFlatness;
  const std::size_t steps = std::clamp<std::size_t>(
      Finite(wanted) ? static_cast<std::size_t>(std::min(wanted, 1e9)) : MaxSplineSteps,
      4 * (n - pu), MaxSplineSteps);
  const double t0 = knots[pu], t1 = knots[n];
  std::vector<double> hx(pu + 1), hy(pu + 1), hw(pu + 1);
  // A curve through fit points is sampled span by span, so that it passes
  // through every fit point (the inner knots) exactly.
  std::vector<double> through;
  if (s.Through && t1 > t0) {
    through.reserve(steps + n);
    for (std::size_t k = pu; k < n; ++k) {
      const double a = knots[k], b = knots[k + 1];
      if (!(b > a))
        continue;
      const auto parts = static_cast<std::size_t>(
          std::ceil(static_cast<double>(steps) * (b - a) / (t1 - t0)));
      for (std::size_t i = 0; i < std::max<std::size_t>(parts, 1); ++i)
        through.push_back(a + (b - a) * static_cast<double>(i) / std::max<std::size_t>(parts, 1));
    }
    through.push_back(t1);
  }
  const std::size_t last = through.empty() ? steps : through.size() - 1;
  for (std::size_t i = 0; i <= last; ++i) {
    const double t = !through.empty() ? through[i]
                     : i == steps     ? t1
                                      : t0 + (t1 - t0) * static_cast<double>(i) / steps;
    // The span holding t, the last one for t at the end.
    std::size_t k = static_cast<std::size_t>(
                        std::upper_bound(knots.begin() + static_cast<std::ptrdiff_t>(pu),
                                         knots.begin() + static_cast<std::ptrdiff_t>(n), t) -
                        knots.begin()) -
                    1;
    k = std::clamp(k, pu, n - 1);
    for (std::size_t j = 0; j <= pu; ++j) {
      const std::size_t c = k - pu + j;
      hx[j] = s.Control[c].X * weights[c];
      hy[j] = s.Control[c].Y * weights[c];
      hw[j] = weights[c];
    }
    // de Boor's recursion on homogeneous points.
    for (std::size_t r = 1; r <= pu; ++r)
      for (std::size_t j = pu; j >= r; --j) {
        const std::size_t idx = k - pu + j;
        const double denom = knots[idx + pu - r + 1] - knots[idx];
        const double a = denom > 0 ? (t - knots[idx]) / denom : 0;
        hx[j] = (1 - a) * hx[j - 1] + a * hx[j];
        hy[j] = (1 - a) * hy[j - 1] + a * hy[j];
        hw[j] = (1 - a) * hw[j - 1] + a * hw[j];
      }
    if (hw[pu] > 0)
      keep(TPointD{hx[pu] / hw[pu], hy[pu] / hw[pu]});
  }
}

// The conic as cubic pieces of the shared path builder, for figures that
// hold other curves too (text outlines, splines through fit points).
void AddConicCubics(TFigure &figure, const TConicDef &k) {
  TPathData unit;
  unit.AddArc({0, 0}, {1, 1}, static_cast<float>(k.Start), static_cast<float>(k.Sweep));
  for (const auto &e : unit.Entries()) {
    const double x = e.Point.X, y = e.Point.Y;
    const TPointD p{k.C.X + x * k.U.X + y * k.V.X, k.C.Y + x * k.U.Y + y * k.V.Y};
    if (e.Kind == pcCurve)
      figure.Entries.push_back({pcCurve, p});
    else
      AddPoint(figure, p);
  }
  if (k.HasEnd)
    figure.Entries.back().P = k.End;
}

// How many chords a conic drawn through m becomes: as many as keep every
// chord within tolerance of the curve, but never more than points
// DxfFlatness apart along it (what other curves get) nor fewer than one per
// eighth of a turn, and for a huge one no more than the shared builder
// gives a quarter turn of curve.
double ConicChords(const TConicDef &k, const TAffine &m, double tolerance) {
  // The semi-axes u and v as drawn; the largest stretch of the map from the
  // unit circle bounds how far a chord's middle lies from the curve.
  const double a = m.A * k.U.X + m.C * k.U.Y, b = m.B * k.U.X + m.D * k.U.Y;
  const double c = m.A * k.V.X + m.C * k.V.Y, d = m.B * k.V.X + m.D * k.V.Y;
  const double squares = a * a + b * b + c * c + d * d, det = a * d - b * c;
  const double radius =
      std::sqrt((squares + std::sqrt(std::max(0.0, squares * squares - 4 * det * det))) / 2);
  const double sweep = std::fabs(k.Sweep) * std::numbers::pi / 180;
  const double least = std::max(1.0, std::ceil(std::fabs(k.Sweep) / 45 - 1e-9));
  if (!(radius > tolerance))
    return least;
  const double byTolerance = std::ceil(sweep / (2 * std::acos(1 - tolerance / radius)));
  const double byLength = std::ceil(radius * sweep / DxfFlatness);
  const double quarters = std::ceil(std::fabs(k.Sweep) / 90 - 1e-9);
  const double most = quarters * static_cast<double>(MaxCurveSteps);
  // Whole chords per quarter turn: a circle's corners then include its
  // leftmost, rightmost, lowest and highest points, so its size is exact.
  const double chords = std::max(least, std::min({byTolerance, byLength, most}));
  return quarters > 0 ? std::ceil(chords / quarters) * quarters : chords;
}

// Receives dxflib's calls and keeps the entities per block, in drawing units.
class TCollector : public DL_CreationAdapter {
public:
  TCollector() { FTarget = &FModel; }

  void addLayer(const DL_LayerData &data) override {
    TLayer layer;
    layer.Color = std::abs(attributes.getColor());
    layer.Color24 = attributes.getColor24();
    layer.Off = data.off || attributes.getColor() < 0;
    layer.Frozen = (data.flags & 1) != 0;
    FLayers[data.name] = layer;
  }

  void addBlock(const DL_BlockData &data) override {
    Flush();
    const std::string name = Upper(data.name);
    FTargetBlock = data.name;
    if (name == "*MODEL_SPACE") {
      FTarget = &FModel;
      FTargetBlock.clear();
    } else if (name.starts_with("*PAPER_SPACE")) {
      FTarget = nullptr;
    } else {
      TBlock &block = FBlocks[data.name];
      block.Base = {data.bpx, data.bpy};
      block.Entities.clear();
      FTarget = &block.Entities;
    }
  }
  void endBlock() override {
    Flush();
    FTarget = &FModel;
    FTargetBlock.clear();
  }

  void addLine(const DL_LineData &d) override {
    if (!Begin({d.x1, d.y1, d.x2, d.y2}))
      return;
    TFigure f;
    AddPoint(f, {d.x1, d.y1});
    f.Entries.push_back({pcLine, {d.x2, d.y2}});
    Add(std::move(f), false, false, true);
  }

  void addArc(const DL_ArcData &d) override {
    if (!Begin({d.cx, d.cy, d.radius, d.angle1, d.angle2}))
      return;
    TFigure f;
    AddCircleArc(f, {d.cx, d.cy}, d.radius, d.angle1, SweepDegrees(d.angle1, d.angle2));
    Add(std::move(f), true, false, true);
  }

  void addCircle(const DL_CircleData &d) override {
    if (!Begin({d.cx, d.cy, d.radius}))
      return;
    TFigure f;
    AddCircleArc(f, {d.cx, d.cy}, d.radius, 0, 360);
    f.Closed = true;
    Add(std::move(f), true);
  }

  void addEllipse(const DL_EllipseData &d) override {
    if (!Begin({d.cx, d.cy, d.mx, d.my, d.ratio, d.angle1, d.angle2}))
      return;
    TFigure f;
    const double start = d.angle1 * 180 / std::numbers::pi;
    const double end = d.angle2 * 180 / std::numbers::pi;
    const bool full = std::fabs(d.angle2 - d.angle1) >= 2 * std::numbers::pi - 1e-9;
    const double sweep = full ? 360.0 : SweepDegrees(start, end);
    AddConic(f, {d.cx, d.cy}, {d.mx, d.my}, {-d.my * d.ratio, d.mx * d.ratio}, start, sweep);
    f.Closed = sweep >= 360.0;
    const bool open = !f.Closed;
    Add(std::move(f), false, false, open);
  }

  void addPolyline(const DL_PolylineData &d) override {
    FSkipVertices = true;
    if (!Begin({}))
      return;
    if ((d.flags & (16 | 64)) != 0) {
      // Polygon and polyface meshes are surfaces, which a laser cannot burn.
      ++FMeshes[FTargetBlock];
      FSkipVertices = true;
      return;
    }
    FSkipVertices = false;
    FPolyline = true;
    FPolylineMirror = FMirror;
    FPolylineEntity = Start();
    FPolylineClosed = (d.flags & 1) != 0;
    FPolylineEntity.Segment = !FPolylineClosed;
    FVertices.clear();
  }
  void addVertex(const DL_VertexData &d) override {
    if (!FPolyline || FSkipVertices)
      return;
    if (!Finite(d.x) || !Finite(d.y) || !Finite(d.bulge)) {
      FPolylineInvalid = true;
      return;
    }
    FVertices.push_back({{d.x, d.y}, d.bulge});
  }
  void endSequence() override { Flush(); }

  void addSpline(const DL_SplineData &d) override {
    if (!Begin({}))
      return;
    FSplineOpen = true;
    FSplineEntity = Start();
    FSpline = TSplineDef{};
    FSpline.Degree = static_cast<int>(std::min<unsigned>(d.degree, 1000));
    FSpline.Closed = (d.flags & 1) != 0;
  }
  void addKnot(const DL_KnotData &d) override {
    if (FSplineOpen)
      FSpline.Knots.push_back(d.k);
  }
  void addControlPoint(const DL_ControlPointData &d) override {
    if (!FSplineOpen)
      return;
    FSpline.Control.push_back({d.x, d.y});
    FSpline.Weights.push_back(d.w);
  }
  void addFitPoint(const DL_FitPointData &d) override {
    if (FSplineOpen)
      FSpline.Fit.push_back({d.x, d.y});
  }

  void addInsert(const DL_InsertData &d) override {
    if (!Begin({d.ipx, d.ipy, d.sx, d.sy, d.angle, d.colSp, d.rowSp}))
      return;
    TEntity e = Start();
    e.Kind = ekInsert;
    e.Block = d.name;
    e.Point = {d.ipx, d.ipy};
    e.ScaleX = d.sx;
    e.ScaleY = d.sy;
    e.Angle = d.angle;
    e.Columns = std::max(d.cols, 1);
    e.Rows = std::max(d.rows, 1);
    e.ColumnSpacing = d.colSp;
    e.RowSpacing = d.rowSp;
    e.Mirror = FMirror;
    Keep(std::move(e));
  }

  void addSolid(const DL_SolidData &d) override { AddQuad(d); }
  void addTrace(const DL_TraceData &d) override { AddQuad(d); }

  void addHatch(const DL_HatchData &) override {
    if (!Begin({}))
      return;
    TEntity e = Start();
    e.Fill = true;
    Keep(std::move(e));
    FHatch = FTarget ? static_cast<std::ptrdiff_t>(FTarget->size()) - 1 : -1;
  }
  void addHatchLoop(const DL_HatchLoopData &) override {
    if (TEntity *hatch = Hatch()) {
      hatch->Figures.emplace_back();
      hatch->Figures.back().Closed = true;
    }
  }
  void addHatchEdge(const DL_HatchEdgeData &d) override {
    TEntity *hatch = Hatch();
    if (!hatch || hatch->Figures.empty())
      return;
    TFigure &f = hatch->Figures.back();
    switch (d.type) {
    case 0: {
      std::vector<TVertexD> vertices;
      for (const auto &v : d.vertices)
        if (v.size() >= 2 && Finite(v[0]) && Finite(v[1]))
          vertices.push_back({{v[0], v[1]}, v.size() >= 3 && Finite(v[2]) ? v[2] : 0});
      TFigure loop = PolylineFigure(vertices, true);
      for (TEntryD e : loop.Entries)
        if (e.Kind == pcMove) {
          AddPoint(f, e.P);
        } else {
          if (e.Conic >= 0) {
            f.Conics.push_back(loop.Conics[static_cast<std::size_t>(e.Conic)]);
            e.Conic = static_cast<int>(f.Conics.size()) - 1;
          }
          f.Entries.push_back(e);
        }
      break;
    }
    case 1:
      if (Finite(d.x1) && Finite(d.y1) && Finite(d.x2) && Finite(d.y2)) {
        AddPoint(f, {d.x1, d.y1});
        AddPoint(f, {d.x2, d.y2});
      }
      break;
    case 2:
    case 3: {
      if (!Finite(d.cx) || !Finite(d.cy) || !Finite(d.angle1) || !Finite(d.angle2))
        break;
      // dxflib hands these angles over in radians. A clockwise edge keeps
      // the angles of the counter-clockwise arc it mirrors: it runs from
      // -start to -end the other way round.
      const double a1 = d.angle1 * 180 / std::numbers::pi;
      const double a2 = d.angle2 * 180 / std::numbers::pi;
      // dxflib leaves the flag unset in edges it did not fill in, and a
      // bool holding neither 0 nor 1 is undefined to read: its byte is read.
      unsigned char flag = 0;
      std::memcpy(&flag, &d.ccw, 1);
      const bool ccw = flag != 0;
      const double start = ccw ? a1 : -a1;
      const double sweep = ccw ? SweepDegrees(a1, a2) : -SweepDegrees(a1, a2);
      if (d.type == 2 && Finite(d.radius)) {
        AddCircleArc(f, {d.cx, d.cy}, d.radius, start, sweep);
      } else if (d.type == 3 && Finite(d.mx) && Finite(d.my) && Finite(d.ratio)) {
        AddConic(f, {d.cx, d.cy}, {d.mx, d.my}, {-d.my * d.ratio, d.mx * d.ratio}, start, sweep);
      }
      break;
    }
    case 4: {
      TSplineDef s;
      s.Degree = static_cast<int>(std::min<unsigned>(d.degree, 1000));
      s.Knots = d.knots;
      for (const auto &c : d.controlPoints)
        if (c.size() >= 2)
          s.Control.push_back({c[0], c[1]});
      s.Weights = d.weights;
      if (s.Weights.empty())
        s.Weights.assign(s.Control.size(), 1.0);
      for (const auto &c : d.fitPoints)
        if (c.size() >= 2)
          s.Fit.push_back({c[0], c[1]});
      if (s.Degree > MaxDxfSplineDegree)
        Warn("a SPLINE edge of degree " + std::to_string(s.Degree) + " is left out");
      else if (AllFinite(s))
        AddSpline(f, std::move(s), [this](const std::string &w) { Warn(w); });
      f.Closed = true; // a hatch boundary, whatever its pieces say
      break;
    }
    default:
      break;
    }
  }

  void addPoint(const DL_PointData &) override { Flush(); }

  void addTextStyle(const DL_StyleData &d) override {
    TTextStyle style;
    style.FontFile = d.primaryFontFile;
    style.Height = Finite(d.fixedTextHeight) ? d.fixedTextHeight : 0;
    style.WidthFactor = Finite(d.widthFactor) && d.widthFactor > 0 ? d.widthFactor : 1;
    style.Oblique = Finite(d.obliqueAngle) ? d.obliqueAngle : 0;
    FStyles[Upper(d.name)] = style;
  }

  void addText(const DL_TextData &d) override {
    if (!Begin({d.ipx, d.ipy, d.height, d.xScaleFactor, d.angle}))
      return;
    // Text placed by its insertion point alone has no second point.
    const TPointD second =
        Finite(d.apx) && Finite(d.apy) ? TPointD{d.apx, d.apy} : TPointD{d.ipx, d.ipy};
    const TTextStyle style = Style(d.style);
    const double height = d.height > 0 ? d.height : style.Height;
    const QString text = DxfTextValue(d.text);
    if (!(height > 0) || text.trimmed().isEmpty())
      return;
    const TTextFont font = Font(style, height, text);
    if (!font.Drawable || !CountCharacters(text.size()))
      return;
    const double widthFactor =
        FDxf && FDxf->hasValue(41) && d.xScaleFactor > 0 ? d.xScaleFactor : style.WidthFactor;
    const double oblique = FDxf && FDxf->hasValue(51) ? FDxf->getRealValue(51, 0) : style.Oblique;
    const TTextRun run = Run(font, text);
    const double k = font.Scale;
    double sx = k * widthFactor, sy = k;
    const double width = run.Advance * sx;
    TPointD base{d.ipx, d.ipy};
    double angle = d.angle * 180 / std::numbers::pi;
    double dx = 0, dy = 0;
    const int h = d.hJustification, v = d.vJustification;
    if (h == 3 || h == 5) {
      // Aligned and fit: the text spans the insertion point to the second
      // one; aligned keeps its proportions, fit its height.
      const double length = std::hypot(second.X - d.ipx, second.Y - d.ipy);
      if (length > 0 && width > 0) {
        const double stretch = length / width;
        sx *= stretch;
        if (h == 3)
          sy *= stretch;
        angle = std::atan2(second.Y - d.ipy, second.X - d.ipx) * 180 / std::numbers::pi;
      }
    } else {
      if (h == 1 || h == 4)
        dx = -width / 2;
      else if (h == 2)
        dx = -width;
      if (h != 0 || v != 0)
        base = second;
    }
    if (h == 4 || v == 2)
      dy = -height / 2;
    else if (v == 1)
      dy = run.Descent * sy;
    else if (v == 3)
      dy = -height * (sy / k);
    TAffine m = TAffine::Scaling(sx, font.Strokes ? sy : -sy)
                    .Then(Shear(oblique))
                    .Then(TAffine::Translation(dx, dy));
    if ((d.textGenerationFlags & 2) != 0)
      m = m.Then(TAffine::Scaling(-1, 1));
    if ((d.textGenerationFlags & 4) != 0)
      m = m.Then(TAffine::Scaling(1, -1));
    m = m.Then(TAffine::Rotation(angle)).Then(TAffine::Translation(base.X, base.Y));
    TEntity e = Start();
    AppendRun(e, run, m);
    AddText(std::move(e));
  }

  void addMTextChunk(const std::string &text) override { FMTextChunks += text; }

  void addMText(const DL_MTextData &d) override {
    const std::string bytes = std::move(FMTextChunks) + d.text;
    if (!Begin({d.ipx, d.ipy, d.height, d.width, d.lineSpacingFactor, d.angle}))
      return;
    const TTextStyle style = Style(d.style);
    const double height = d.height > 0 ? d.height : style.Height;
    TDxfTextLines text = DxfMTextLines(bytes);
    if (text.Formatted)
      Warn("MTEXT formatting (fonts, heights, colours) is left out; its text is drawn in one "
           "style");
    if (!(height > 0))
      return;
    QString all;
    for (const QString &line : text.Lines)
      all += line;
    const TTextFont font = Font(style, height, all);
    if (!font.Drawable || !CountCharacters(static_cast<qsizetype>(bytes.size())))
      return;
    const double sx = font.Scale * style.WidthFactor, sy = font.Scale;
    // Lines broken at blanks to fit the box's width, when it has one.
    std::vector<QString> lines;
    for (const QString &paragraph : text.Lines) {
      if (!(d.width > 0)) {
        lines.push_back(paragraph);
        continue;
      }
      QString line;
      for (const QString &word : paragraph.split(' ')) {
        const QString longer = line.isEmpty() ? word : line + ' ' + word;
        if (!line.isEmpty() && Run(font, longer).Advance * sx > d.width) {
          lines.push_back(line);
          line = word;
        } else {
          line = longer;
        }
      }
      lines.push_back(line);
    }
    const double pitch =
        height * 5 / 3 * (d.lineSpacingFactor > 0 ? std::clamp(d.lineSpacingFactor, 0.25, 4.0) : 1);
    const int attachment = d.attachmentPoint >= 1 && d.attachmentPoint <= 9 ? d.attachmentPoint : 1;
    const int row = (attachment - 1) / 3, column = (attachment - 1) % 3;
    const double total = height + pitch * static_cast<double>(lines.size() - 1);
    const double top = row == 0 ? 0 : row == 1 ? total / 2 : total;
    // dxflib hands group 50 over unconverted (degrees) for files it did not
    // write itself, and the direction vector as radians; both are read here.
    double angle = 0;
    if (FDxf && FDxf->hasValue(50))
      angle = FDxf->getRealValue(50, 0);
    else if (FDxf && (FDxf->hasValue(11) || FDxf->hasValue(21)))
      angle =
          std::atan2(FDxf->getRealValue(21, 0), FDxf->getRealValue(11, 1)) * 180 / std::numbers::pi;
    if (!Finite(angle))
      angle = 0;
    const TAffine place = TAffine::Rotation(angle).Then(TAffine::Translation(d.ipx, d.ipy));
    TEntity e = Start();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].trimmed().isEmpty())
        continue;
      const TTextRun run = Run(font, lines[i]);
      const double width = run.Advance * sx;
      const double dx = column == 0 ? 0 : column == 1 ? -width / 2 : -width;
      const double dy = top - height - pitch * static_cast<double>(i);
      AppendRun(e, run,
                TAffine::Scaling(sx, font.Strokes ? sy : -sy)
                    .Then(Shear(style.Oblique))
                    .Then(TAffine::Translation(dx, dy))
                    .Then(place));
    }
    AddText(std::move(e));
  }
  // The values an insert's attributes hold are shown where they were placed,
  // as text, unless they are invisible (flag 1). The definitions (ATTDEF) in
  // the block are templates and show nothing, as in CAD programs.
  void addAttribute(const DL_AttributeData &d) override {
    if (FDxf && (FDxf->getIntValue(70, 0) & 1) != 0) {
      Flush();
      return;
    }
    addText(d);
  }
  void addXLine(const DL_XLineData &) override { Flush(); }
  void addRay(const DL_RayData &) override { Flush(); }
  void add3dFace(const DL_3dFaceData &) override { Flush(); }
  void addImage(const DL_ImageData &) override { Flush(); }
  void addLeader(const DL_LeaderData &) override { Flush(); }

  void setVariableInt(const std::string &key, int value, int) override {
    if (key == "$INSUNITS")
      FInsUnits = value;
  }

  // The parser, for the groups its entity records leave out.
  void SetParser(DL_Dxf *dxf) { FDxf = dxf; }
  int Texts() const { return FTexts; }
  // TEXT, MTEXT and ATTRIB entities in outline fonts left out for want of
  // the font machinery.
  int TextsWithoutFonts() const { return FTextsWithoutFonts; }

  // Called once dxflib is done: what is still pending is kept.
  void Finish() { Flush(); }

  std::vector<TEntity> &Model() { return FModel; }
  std::map<std::string, TBlock> &Blocks() { return FBlocks; }
  std::vector<TEntity> *Container(const std::string &block) {
    const std::string name = Upper(block);
    if (name.empty() || name == "*MODEL_SPACE")
      return &FModel;
    if (name.starts_with("*PAPER_SPACE"))
      return nullptr;
    const auto it = FBlocks.find(block);
    return it == FBlocks.end() ? nullptr : &it->second.Entities;
  }
  const std::map<std::string, TLayer> &Layers() const { return FLayers; }
  int InsUnits() const { return FInsUnits; }
  // Polygon meshes left out, by the block holding them (empty: the drawing).
  const std::map<std::string, int> &Meshes() const { return FMeshes; }
  int PaperSpace() const { return FPaperSpace; }
  int Invalid() const { return FInvalid; }
  const std::vector<std::pair<std::string, int>> &Warnings() const { return FWarnings; }
  void Warn(const std::string &text) {
    for (auto &w : FWarnings)
      if (w.first == text) {
        ++w.second;
        return;
      }
    FWarnings.emplace_back(text, 1);
  }

private:
  static std::string Upper(std::string text) {
    for (auto &c : text)
      if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    return text;
  }

  struct TTextStyle {
    std::string FontFile;
    double Height = 0;
    double WidthFactor = 1;
    double Oblique = 0;
  };

  struct TTextFont {
    TFontRequest Request;
    // Drawing units per outline unit, so that capitals stand the text's
    // height tall, as CAD programs measure it.
    double Scale = 1;
    // A CAD font of single strokes (SHX): drawn in the built-in stroke font,
    // one line per stroke, which a laser burns once; outline fonts draw
    // each letter's edge.
    bool Strokes = false;
    // False for an outline font when no font machinery is running.
    bool Drawable = true;
  };

  // A line of text in its font: outlines in font units (y down), or strokes
  // in capital heights (y up); advance and descent in the same units.
  struct TTextRun {
    QPainterPath Outline;
    std::vector<TStroke> Strokes;
    double Advance = 0;
    double Descent = 0;
  };

  TTextStyle Style(const std::string &name) const {
    const auto it = FStyles.find(Upper(name.empty() ? "STANDARD" : name));
    return it == FStyles.end() ? TTextStyle{"txt", 0, 1, 0} : it->second;
  }

  // The stroke font has the printable ASCII characters.
  static bool StrokeFontHas(QChar c) {
    return (c.unicode() >= 32 && c.unicode() <= 126) || c.unicode() == 0xA0;
  }

  // The font for text in the style; text in a CAD font whose characters
  // the stroke font lacks (other scripts) is drawn in outlines if it can be.
  TTextFont Font(const TTextStyle &style, double height, const QString &text) {
    TTextFont font;
    std::string file = style.FontFile;
    const std::size_t slash = file.find_last_of("/\\");
    if (slash != std::string::npos)
      file = file.substr(slash + 1);
    std::string stem = file, extension;
    if (const std::size_t dot = file.rfind('.'); dot != std::string::npos) {
      stem = file.substr(0, dot);
      extension = Upper(file.substr(dot + 1));
    }
    if (stem.empty() || extension.empty() || extension == "SHX") {
      // CAD programs' own stroke fonts (txt, simplex, romans, ...) are not
      // installed as system fonts; the built-in one draws letters as they do.
      const std::string name = file.empty() ? std::string("txt") : file;
      if (std::all_of(text.begin(), text.end(), StrokeFontHas) || !TFontOutlines::Available()) {
        Warn("text in the CAD font \"" + name + "\" is drawn in the built-in single-stroke font");
        font.Strokes = true;
        font.Scale = height;
        return font;
      }
      Warn("text in the CAD font \"" + name +
           "\" with letters beyond the single-stroke font's is "
           "drawn in " +
           DefaultFontFamily + " outlines");
      stem = DefaultFontFamily;
    }
    if (!TFontOutlines::Available()) {
      ++FTextsWithoutFonts;
      font.Drawable = false;
      return font;
    }
    font.Request.Families = stem;
    font.Request.Size = height;
    const TGlyphRun probe = FFonts.Outline(font.Request, "H");
    if (!probe.Missing.empty())
      Warn("text in font \"" + probe.Missing + "\", which is not installed, is drawn in " +
           probe.Drawn);
    if (probe.CapHeight > 0)
      font.Scale = height / probe.CapHeight;
    return font;
  }

  TTextRun Run(const TTextFont &font, const QString &text) {
    TTextRun run;
    if (!font.Strokes) {
      TGlyphRun glyphs = FFonts.Outline(font.Request, text);
      run.Outline = std::move(glyphs.Outline);
      run.Advance = glyphs.Advance;
      run.Descent = glyphs.Descent;
      return run;
    }
    // The stroke font has the printable ASCII characters; others show as "?".
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(text.size()));
    bool missing = false;
    for (const QChar c : text) {
      if (c.isLowSurrogate())
        continue;
      const bool has = StrokeFontHas(c);
      missing = missing || !has;
      ascii += !has ? '?' : c.unicode() == 0xA0 ? ' ' : static_cast<char>(c.unicode());
    }
    if (missing)
      Warn("characters the single-stroke font does not have are drawn as \"?\"");
    TStrokeTextStyle style;
    TStrokeText laid = LayoutStrokeText(ascii, {0, 0}, style);
    run.Strokes = std::move(laid.Strokes);
    run.Advance = laid.End.X;
    run.Descent = StrokeDescent;
    return run;
  }

  void AppendRun(TEntity &e, const TTextRun &run, const TAffine &m) {
    if (run.Strokes.empty()) {
      AppendGlyphs(e, run.Outline, m);
      return;
    }
    e.Strokes = true;
    for (const TStroke &stroke : run.Strokes) {
      TFigure figure;
      figure.Entries.reserve(stroke.size());
      for (const TStrokePoint &p : stroke)
        AddPoint(figure, m.Map({p.X, p.Y}));
      if (figure.Entries.size() >= 2)
        e.Figures.push_back(std::move(figure));
    }
  }

  // Leaning by the oblique angle (degrees from upright, clockwise).
  static TAffine Shear(double degrees) {
    const double lean = std::clamp(degrees, -85.0, 85.0) * std::numbers::pi / 180;
    return {1, 0, std::tan(lean), 1, 0, 0};
  }

  bool CountCharacters(qsizetype count) {
    FTextCharacters += static_cast<std::size_t>(std::max<qsizetype>(count, 0));
    if (FTextCharacters <= MaxDxfTextCharacters)
      return true;
    Warn("text beyond " + std::to_string(MaxDxfTextCharacters) + " characters is left out");
    return false;
  }

  // The outline's figures, each closed, mapped from the font's units (y down).
  static void AppendGlyphs(TEntity &e, const QPainterPath &outline, const TAffine &m) {
    for (int i = 0; i < outline.elementCount(); ++i) {
      const QPainterPath::Element &el = outline.elementAt(i);
      const TPointD p = m.Map({el.x, el.y});
      if (el.isMoveTo() || e.Figures.empty()) {
        e.Figures.emplace_back();
        e.Figures.back().Closed = true;
        e.Figures.back().Entries.push_back({pcMove, p});
      } else if (el.isLineTo()) {
        AddPoint(e.Figures.back(), p);
      } else if (el.isCurveTo() && i + 2 < outline.elementCount()) {
        auto &entries = e.Figures.back().Entries;
        entries.push_back({pcCurve, p});
        entries.push_back(
            {pcCurve, m.Map({outline.elementAt(i + 1).x, outline.elementAt(i + 1).y})});
        entries.push_back(
            {pcCurve, m.Map({outline.elementAt(i + 2).x, outline.elementAt(i + 2).y})});
        i += 2;
      }
    }
  }

  void AddText(TEntity e) {
    if (e.Figures.empty())
      return;
    if (FMirror)
      for (auto &figure : e.Figures)
        MirrorFigure(figure);
    ++FTexts;
    Keep(std::move(e));
  }

  static bool AllFinite(const TSplineDef &s) {
    auto ok = [](const std::vector<TPointD> &points) {
      return std::all_of(points.begin(), points.end(),
                         [](const TPointD &p) { return Finite(p.X) && Finite(p.Y); });
    };
    return ok(s.Control) && ok(s.Fit);
  }

  // Ends what is still being collected and checks the new entity's numbers
  // and space; false when it is not drawn.
  bool Begin(std::initializer_list<double> numbers) {
    Flush();
    FMTextChunks.clear();
    FHatch = -1;
    FMirror = getExtrusion()->getDirection()[2] < 0;
    if (attributes.isInPaperSpace()) {
      ++FPaperSpace;
      return false;
    }
    if (!std::all_of(numbers.begin(), numbers.end(), Finite)) {
      ++FInvalid;
      return false;
    }
    return FTarget != nullptr;
  }

  TEntity Start() const {
    TEntity e;
    e.Layer = attributes.getLayer();
    e.Color = attributes.getColor();
    e.Color24 = attributes.getColor24();
    return e;
  }

  // Arcs, circles, polylines, solids and hatches lie in their own plane; one
  // seen from below (extrusion pointing down) is mirrored in X.
  void Add(TFigure figure, bool planar, bool fill = false, bool segment = false) {
    if (planar && FMirror)
      MirrorFigure(figure);
    TEntity e = Start();
    e.Fill = fill;
    e.Segment = segment;
    e.Figures.push_back(std::move(figure));
    Keep(std::move(e));
  }

  void Keep(TEntity e) {
    if (FTarget)
      FTarget->push_back(std::move(e));
  }

  TEntity *Hatch() {
    if (!FTarget || FHatch < 0 || FHatch >= static_cast<std::ptrdiff_t>(FTarget->size()))
      return nullptr;
    return &(*FTarget)[static_cast<std::size_t>(FHatch)];
  }

  void AddQuad(const DL_TraceData &d) {
    if (!Begin({d.x[0], d.y[0], d.x[1], d.y[1], d.x[2], d.y[2], d.x[3], d.y[3]}))
      return;
    // The third and fourth corners are given crosswise.
    TFigure f;
    for (const int i : {0, 1, 3, 2})
      AddPoint(f, {d.x[i], d.y[i]});
    f.Closed = true;
    Add(std::move(f), true, true);
  }

  void Flush() {
    if (FHatch >= 0) {
      if (TEntity *hatch = Hatch(); hatch && FMirror)
        for (auto &figure : hatch->Figures)
          MirrorFigure(figure);
      FHatch = -1;
    }
    if (FPolyline) {
      FPolyline = false;
      if (FPolylineInvalid)
        ++FInvalid;
      else if (FTarget && FVertices.size() >= 2) {
        FPolylineEntity.Figures.push_back(PolylineFigure(FVertices, FPolylineClosed));
        if (FPolylineMirror)
          MirrorFigure(FPolylineEntity.Figures.back());
        FTarget->push_back(std::move(FPolylineEntity));
      }
      FPolylineInvalid = false;
      FVertices.clear();
    }
    if (FSplineOpen) {
      FSplineOpen = false;
      if (!FTarget)
        return;
      if (FSpline.Degree > MaxDxfSplineDegree) {
        Warn("a SPLINE of degree " + std::to_string(FSpline.Degree) + " is left out");
        return;
      }
      if (!AllFinite(FSpline)) {
        ++FInvalid;
        return;
      }
      TFigure f;
      AddSpline(f, std::move(FSpline), [this](const std::string &w) { Warn(w); });
      if (!f.Entries.empty()) {
        FSplineEntity.Segment = !f.Closed;
        FSplineEntity.Figures.push_back(std::move(f));
        FTarget->push_back(std::move(FSplineEntity));
      }
    }
  }

  std::vector<TEntity> FModel;
  std::map<std::string, TBlock> FBlocks;
  std::vector<TEntity> *FTarget = nullptr;
  std::map<std::string, TLayer> FLayers;
  int FInsUnits = -1;
  std::map<std::string, int> FMeshes;
  // The block being read, empty in the drawing itself.
  std::string FTargetBlock;
  int FPaperSpace = 0;
  int FInvalid = 0;
  bool FMirror = false;
  std::ptrdiff_t FHatch = -1;
  bool FPolyline = false;
  bool FSkipVertices = false;
  bool FPolylineClosed = false;
  bool FPolylineInvalid = false;
  bool FPolylineMirror = false;
  TEntity FPolylineEntity;
  std::vector<TVertexD> FVertices;
  bool FSplineOpen = false;
  TEntity FSplineEntity;
  TSplineDef FSpline;
  std::vector<std::pair<std::string, int>> FWarnings;
  DL_Dxf *FDxf = nullptr;
  std::map<std::string, TTextStyle> FStyles;
  std::string FMTextChunks;
  TFontOutlines FFonts;
  std::size_t FTextCharacters = 0;
  int FTexts = 0;
  int FTextsWithoutFonts = 0;
};

} // namespace

namespace {

struct TLevelKey {
  TLevelKind Kind;
  std::string Layer;
  std::uint32_t Color;
  friend bool operator<(const TLevelKey &a, const TLevelKey &b) {
    return std::tie(a.Kind, a.Layer, a.Color) < std::tie(b.Kind, b.Layer, b.Color);
  }
};

struct TLevelBuild {
  TLevelKey Key;
  std::string ColorName;
  std::vector<TPaths> Sets;
};

// The colour an entity is drawn in: a colour number and maybe a true colour.
struct TColorRef {
  int Number = 7;
  std::int32_t True = -1;
};

// What an insert hands down to the entities of its block.
struct TContext {
  std::string Layer = "0";
  TColorRef Color;
  bool InBlock = false;
};

// Millimetres for a message, in the fixed number format.
std::string Millimetres(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  return std::string(text, result.ptr);
}

std::string LayerTitle(const std::string &layer) {
  return layer == "0" ? "Layer 0" : layer.empty() ? "Layer" : layer;
}

// The even-odd union of closed polygons, one Clipper pass per group of them
// that a gap along X or Y separates from the rest: the same area as one pass
// over all, at a small part of the cost when a sheet holds many parts.
TPaths UniteApart(const std::vector<const TPath *> &polygons) {
  struct TItem {
    ClipperLib::cInt Low[2], High[2];
    std::size_t Index;
  };
  std::vector<TItem> items;
  items.reserve(polygons.size());
  for (std::size_t i = 0; i < polygons.size(); ++i) {
    const TPath &polygon = *polygons[i];
    if (polygon.empty())
      continue;
    TItem item{{polygon[0].X, polygon[0].Y}, {polygon[0].X, polygon[0].Y}, i};
    for (const auto &p : polygon) {
      item.Low[0] = std::min(item.Low[0], p.X);
      item.High[0] = std::max(item.High[0], p.X);
      item.Low[1] = std::min(item.Low[1], p.Y);
      item.High[1] = std::max(item.High[1], p.Y);
    }
    items.push_back(item);
  }
  // Ranges of items still to split, and the axis that failed to split each
  // last (-1: none tried yet); a range neither axis splits is one group.
  struct TRange {
    std::size_t Begin, End;
    int Failed;
  };
  std::vector<TRange> work{{0, items.size(), -1}};
  std::vector<std::pair<std::size_t, std::size_t>> groups;
  // Bounds the sorting for drawings whose parts form a long staircase.
  std::size_t budget = 64 * items.size() + 1024;
  while (!work.empty()) {
    TRange range = work.back();
    work.pop_back();
    const std::size_t size = range.End - range.Begin;
    if (size <= 1 || budget < size) {
      groups.emplace_back(range.Begin, range.End);
      continue;
    }
    budget -= size;
    const int axis = range.Failed == 0 ? 1 : 0;
    const auto begin = items.begin() + static_cast<std::ptrdiff_t>(range.Begin);
    const auto end = items.begin() + static_cast<std::ptrdiff_t>(range.End);
    std::sort(begin, end,
              [axis](const TItem &a, const TItem &b) { return a.Low[axis] < b.Low[axis]; });
    std::size_t start = range.Begin;
    ClipperLib::cInt reach = items[start].High[axis];
    bool split = false;
    for (std::size_t i = range.Begin + 1; i < range.End; ++i) {
      // Polygons that touch stay together: their union joins them.
      if (items[i].Low[axis] > reach) {
        work.push_back({start, i, axis});
        start = i;
        split = true;
      }
      reach = std::max(reach, items[i].High[axis]);
    }
    if (split)
      work.push_back({start, range.End, axis});
    else if (range.Failed < 0)
      work.push_back({range.Begin, range.End, axis});
    else
      groups.emplace_back(range.Begin, range.End);
  }
  // Groups in the order of their first polygon, so the result does not hang
  // on the order of the splitting.
  for (auto &[begin, end] : groups)
    std::sort(items.begin() + static_cast<std::ptrdiff_t>(begin),
              items.begin() + static_cast<std::ptrdiff_t>(end),
              [](const TItem &a, const TItem &b) { return a.Index < b.Index; });
  std::sort(groups.begin(), groups.end(), [&items](const auto &a, const auto &b) {
    return items[a.first].Index < items[b.first].Index;
  });
  TPaths result;
  for (const auto &[begin, end] : groups) {
    TClipper clipper;
    for (std::size_t i = begin; i < end; ++i)
      clipper.AddSubject(*polygons[items[i].Index]);
    TPaths united = clipper.Execute(ClipperLib::ctUnion);
    for (auto &path : united)
      result.push_back(std::move(path));
  }
  return result;
}

class TExpander {
public:
  TExpander(TCollector &collector, const TReadOptions &options, double scale)
      : FCollector(collector), FOptions(options), FScale(scale) {}

  void Run() {
    const std::int64_t placed = Count(FCollector.Model(), 0);
    if (placed > MaxDxfPlacedEntities)
      throw TReadError("The drawing places more than " + std::to_string(MaxDxfPlacedEntities) +
                       " entities through its block inserts and arrays; it is too complex to read");
    std::vector<std::string> stack;
    Expand(FCollector.Model(), TAffine::Scaling(FScale, FScale), TContext{}, 0, stack);
  }

  // What the drawing shows of a block: the drawing itself (the empty name)
  // and blocks that an insert drew.
  bool Shown(const std::string &block) const { return block.empty() || FInserted.contains(block); }

  TReadResult Levels(std::vector<std::string> &messages) {
    TReadResult result;
    // Areas come first: engraving before cutting, while the parts still lie
    // where they were drawn.
    std::vector<TLevelBuild *> order;
    for (auto &build : FBuilds)
      if (build.Key.Kind == lkArea)
        order.push_back(&build);
    JoinSegments();
    std::vector<TLevelBuild> contours;
    for (const auto &[layer, refs] : FContours) {
      std::vector<const TPath *> polygons;
      polygons.reserve(refs.size());
      for (const auto &ref : refs)
        polygons.push_back(&FBuilds[ref.Build].Sets[ref.Set][ref.Path]);
      {
        TPaths closed;
        closed.reserve(polygons.size());
        for (const TPath *polygon : polygons)
          closed.push_back(*polygon);
        // As for fills: contours beyond any drawing's size are refused before
        // the union of their many points.
        RefuseOversized(PointsBox(closed));
        if (const std::uint64_t crossings = EstimateCrossings(closed, MaxFillCrossings);
            crossings > MaxFillCrossings) {
          FCollector.Warn(TooManyCrossingsText(crossings, "find the areas of layer \"" + layer +
                                                             "\"") +
                          "; its areas level is left out");
          continue;
        }
      }
      TPaths area = UniteApart(polygons);
      if (area.empty() || std::fabs(PathsArea(area)) < 1)
        continue;
      TLevelBuild build{{lkArea, layer, LayerColor(layer)}, "", {}};
      build.Sets.push_back(std::move(area));
      contours.push_back(std::move(build));
    }
    const std::size_t firstContour = order.size();
    for (auto &build : contours)
      order.push_back(&build);
    for (auto &build : FBuilds)
      if (build.Key.Kind == lkLines)
        order.push_back(&build);

    for (std::size_t i = 0; i < order.size(); ++i) {
      TLevelBuild &build = *order[i];
      const bool contour = i >= firstContour && i < firstContour + contours.size();
      // A level whose only fill was left out is not offered empty.
      if (!contour && build.Sets.empty() &&
          FLeftOut.count(static_cast<std::size_t>(&build - FBuilds.data())))
        continue;
      auto level = std::make_unique<TLevel>(build.Key.Kind);
      std::string name = LayerTitle(build.Key.Layer);
      if (contour)
        name += " areas";
      else if (build.Key.Kind == lkArea)
        name += " fill";
      if (!contour && FColorsPerLayer[{build.Key.Kind, build.Key.Layer}] > 1)
        name += " " + build.ColorName;
      level->SetName(name);
      level->SetColor(build.Key.Color);
      level->SetHeight(build.Key.Kind == lkLines ? DxfLinesHeight : DxfAreaHeight);
      // The enclosed area is offered, not burnt: the same parts are already cut.
      if (contour)
        level->SetPrint(false);
      for (auto &set : build.Sets)
        level->Input()->push_back(std::move(set));
      result.Levels.push_back(std::move(level));
    }
    PlaceAtOrigin(result);
    for (const auto &[layer, count] : FSkippedLayers) {
      const auto &state = FCollector.Layers().at(layer);
      messages.push_back("DXF: layer \"" + layer + "\" is " + (state.Frozen ? "frozen" : "off") +
                         "; its " + std::to_string(count) +
                         (count == 1 ? " entity is" : " entities are") + " left out");
    }
    return result;
  }

private:
  // Entities visited when these are drawn, inserts and arrays expanded, each
  // insert counting itself as well (so that arrays of empty blocks cost their
  // share too); beyond the limit the count stops growing, so a million by a
  // million costs nothing.
  std::int64_t Count(const std::vector<TEntity> &entities, int depth) {
    std::int64_t total = 0;
    for (const auto &e : entities) {
      ++total;
      if (e.Kind == ekInsert && depth < MaxDxfInsertDepth) {
        const std::int64_t inner = CountBlock(e.Block, depth + 1);
        const std::int64_t copies = std::int64_t(e.Columns) * e.Rows;
        if (inner > 0)
          total += copies > (MaxDxfPlacedEntities + 1) / inner + 1 ? MaxDxfPlacedEntities + 1
                                                                   : copies * inner;
      }
      if (total > MaxDxfPlacedEntities)
        return MaxDxfPlacedEntities + 1;
    }
    return total;
  }

  std::int64_t CountBlock(const std::string &name, int depth) {
    if (const auto it = FCounts.find(name); it != FCounts.end())
      return it->second;
    const auto block = FCollector.Blocks().find(name);
    if (block == FCollector.Blocks().end())
      return 0;
    FCounts[name] = 0; // a block that inserts itself adds nothing more
    const std::int64_t count = Count(block->second.Entities, depth);
    FCounts[name] = count;
    return count;
  }

  const TLayer *LayerState(const std::string &layer) const {
    const auto it = FCollector.Layers().find(layer);
    return it == FCollector.Layers().end() ? nullptr : &it->second;
  }

  std::uint32_t LayerColor(const std::string &layer) const {
    const TLayer *state = LayerState(layer);
    if (!state)
      return AciColor(7);
    return state->Color24 >= 0 ? 0xFF000000u | static_cast<std::uint32_t>(state->Color24)
                               : AciColor(state->Color);
  }

  void Expand(const std::vector<TEntity> &entities, const TAffine &m, const TContext &context,
              int depth, std::vector<std::string> &stack) {
    for (const auto &e : entities) {
      const std::string &layer = e.Layer == "0" && context.InBlock ? context.Layer : e.Layer;
      const TLayer *state = LayerState(layer);
      if (state && (state->Frozen || state->Off)) {
        ++FSkippedLayers[layer];
        continue;
      }
      TColorRef color;
      if (e.Color == DxfColorByBlock) {
        color = context.Color;
      } else if (e.Color == DxfColorByLayer) {
        if (state)
          color = {state->Color, state->Color24};
      } else {
        color = {e.Color, -1};
      }
      // A true colour wins over the colour number written beside it, which
      // is only what older programs show instead.
      if (e.Color24 >= 0)
        color.True = e.Color24;

      if (e.Kind == ekInsert) {
        ExpandInsert(e, m, {layer, color, true}, depth, stack);
        continue;
      }
      const std::uint32_t argb =
          color.True >= 0 ? 0xFF000000u | (static_cast<std::uint32_t>(color.True) & 0xFFFFFFu)
                          : AciColor(color.Number);
      TLevelBuild &build =
          Build({e.Fill ? lkArea : lkLines, layer, argb}, DxfColorName(color.Number, color.True));
      if (e.Segment) {
        for (const auto &figure : e.Figures)
          if (TPath path = Flatten(figure, m); path.size() >= 2)
            FSegments[static_cast<std::size_t>(&build - FBuilds.data())].push_back(std::move(path));
        continue;
      }
      TPaths set;
      std::vector<TContourRef> *contours = nullptr;
      for (const auto &figure : e.Figures) {
        TPath path = Flatten(figure, m);
        if (path.size() < 2)
          continue;
        // A figure that ends where it starts encloses area like a closed one.
        if (!e.Strokes &&
            (figure.Closed || e.Fill || (path.size() > 3 && path.front() == path.back()))) {
          const bool repeated = path.size() > 2 && path.front() == path.back();
          if (e.Fill) {
            if (repeated)
              path.pop_back();
          } else if (path.size() - (repeated ? 1 : 0) > 2) {
            // Clipper drops the repeated first point itself, so the contour
            // is kept where it is, not copied.
            if (!contours)
              contours = &FContours[layer];
            contours->push_back(
                {static_cast<std::size_t>(&build - FBuilds.data()), build.Sets.size(), set.size()});
          }
        }
        set.push_back(std::move(path));
      }
      if (set.empty())
        continue;
      if (e.Fill) {
        // A fill larger than any drawing may be is refused before its union:
        // curves that large are flattened into so many points that uniting
        // them takes seconds, and the drawing would be refused after it.
        RefuseOversized(PointsBox(set));
        // Boundaries through thousands of random points cross each other
        // millions of times, which the union sorts for minutes.
        if (const std::uint64_t crossings = EstimateCrossings(ClosePaths(set), MaxFillCrossings);
            crossings > MaxFillCrossings) {
          FCollector.Warn(TooManyCrossingsText(crossings, "fill it") + "; a fill is left out");
          FLeftOut.insert(static_cast<std::size_t>(&build - FBuilds.data()));
          continue;
        }
        set = BooleanPaths(set, {}, ClipperLib::ctUnion);
        if (set.empty())
          continue;
      }
      build.Sets.push_back(std::move(set));
    }
  }

  void ExpandInsert(const TEntity &e, const TAffine &m, const TContext &context, int depth,
                    std::vector<std::string> &stack) {
    const auto block = FCollector.Blocks().find(e.Block);
    if (block == FCollector.Blocks().end()) {
      FCollector.Warn("an insert of the missing block \"" + e.Block + "\" is left out");
      return;
    }
    if (std::find(stack.begin(), stack.end(), e.Block) != stack.end()) {
      FCollector.Warn("block \"" + e.Block + "\" inserts itself; the inner insert is left out");
      return;
    }
    if (depth >= MaxDxfInsertDepth) {
      FCollector.Warn("blocks nested deeper than " + std::to_string(MaxDxfInsertDepth) +
                      " are left out");
      return;
    }
    // Marked before the empty ones return: a block of only points still has
    // its points told about.
    FInserted.insert(e.Block);
    // Arrays of blocks that draw nothing are not walked at all.
    if (const auto count = FCounts.find(e.Block); count != FCounts.end() && count->second == 0)
      return;
    const TPointD base = e.IgnoreBase ? TPointD{} : block->second.Base;
    stack.push_back(e.Block);
    const TAffine rotation = TAffine::Rotation(e.Angle);
    for (int row = 0; row < e.Rows; ++row)
      for (int column = 0; column < e.Columns; ++column) {
        TAffine placement =
            TAffine::Translation(-base.X, -base.Y)
                .Then(TAffine::Scaling(e.ScaleX, e.ScaleY))
                .Then(TAffine::Translation(column * e.ColumnSpacing, row * e.RowSpacing))
                .Then(rotation)
                .Then(TAffine::Translation(e.Point.X, e.Point.Y));
        if (e.Mirror)
          placement = placement.Then(TAffine::Scaling(-1, 1));
        Expand(block->second.Entities, placement.Then(m), context, depth + 1, stack);
      }
    stack.pop_back();
  }

  // CAD programs often draw a part's outline as separate LINEs, ARCs and
  // open polylines: those of a level whose ends meet (on the same internal
  // unit) become one path, and a path that comes back to its start is a
  // contour like a closed polyline. Three or more pieces meeting at a point
  // are left apart there.
  void JoinSegments() {
    for (auto &[buildIndex, segments] : FSegments) {
      TLevelBuild &build = FBuilds[buildIndex];
      // Every segment end (2 i its start, 2 i + 1 its end) by where it lies,
      // sorted so that the ends at one point are neighbours.
      using TEnd = std::tuple<ClipperLib::cInt, ClipperLib::cInt, std::size_t>;
      std::vector<TEnd> ends;
      ends.reserve(2 * segments.size());
      for (std::size_t i = 0; i < segments.size(); ++i) {
        ends.emplace_back(segments[i].front().X, segments[i].front().Y, 2 * i);
        ends.emplace_back(segments[i].back().X, segments[i].back().Y, 2 * i + 1);
      }
      std::sort(ends.begin(), ends.end());
      std::vector<bool> used(segments.size(), false);
      // The segment end that continues a path at point p, when exactly one does.
      auto next = [&](const TIntPoint &p, std::size_t from) -> std::ptrdiff_t {
        const auto first = std::lower_bound(ends.begin(), ends.end(), TEnd{p.X, p.Y, 0});
        if (ends.end() - first < 2 || std::get<0>(first[1]) != p.X ||
            std::get<1>(first[1]) != p.Y ||
            (ends.end() - first > 2 && std::get<0>(first[2]) == p.X &&
             std::get<1>(first[2]) == p.Y))
          return -1;
        const std::size_t a = std::get<2>(first[0]), b = std::get<2>(first[1]);
        const std::size_t other = a / 2 == from ? b : a;
        return used[other / 2] ? -1 : static_cast<std::ptrdiff_t>(other);
      };
      for (std::size_t i = 0; i < segments.size(); ++i) {
        if (used[i])
          continue;
        used[i] = true;
        TPath path = segments[i];
        // Forwards from the end, then backwards from the start.
        for (int direction = 0; direction < 2; ++direction) {
          std::size_t last = i;
          while (true) {
            const TIntPoint &tip = direction == 0 ? path.back() : path.front();
            if (path.size() > 2 && path.front() == path.back())
              break;
            const std::ptrdiff_t end = next(tip, last);
            if (end < 0)
              break;
            const std::size_t segment = static_cast<std::size_t>(end) / 2;
            used[segment] = true;
            last = segment;
            TPath piece = segments[segment];
            // The piece starts where the path ends (forwards) or ends where
            // it starts (backwards).
            if ((end % 2 == 1) == (direction == 0))
              std::reverse(piece.begin(), piece.end());
            if (direction == 0)
              path.insert(path.end(), piece.begin() + 1, piece.end());
            else
              path.insert(path.begin(), piece.begin(), piece.end() - 1);
          }
        }
        if (path.size() > 3 && path.front() == path.back())
          FContours[build.Key.Layer].push_back({buildIndex, build.Sets.size(), 0});
        build.Sets.push_back({std::move(path)});
      }
    }
  }

  TLevelBuild &Build(const TLevelKey &key, const std::string &colorName) {
    if (FLast && !(FLast->Key < key) && !(key < FLast->Key))
      return *FLast;
    const auto it = FIndex.find(key);
    if (it != FIndex.end())
      return *(FLast = &FBuilds[it->second]);
    FIndex.emplace(key, FBuilds.size());
    ++FColorsPerLayer[{key.Kind, key.Layer}];
    FBuilds.push_back({key, colorName, {}});
    // The vector may have moved its elements.
    return *(FLast = &FBuilds.back());
  }

  TIntPoint Round(TPointD p) {
    if (!(std::fabs(p.X) <= MaxDxfCoordinate && std::fabs(p.Y) <= MaxDxfCoordinate))
      throw TReadError("A point of the drawing lies too far from the origin (" +
                       Millimetres(p.X / FOptions.UnitsPerMM) + ", " +
                       Millimetres(p.Y / FOptions.UnitsPerMM) + " mm)");
    return {RoundUnit(p.X), RoundUnit(p.Y)};
  }

  TPath Flatten(const TFigure &figure, const TAffine &m) {
    const bool curves = std::any_of(figure.Entries.begin(), figure.Entries.end(),
                                    [](const TEntryD &e) { return e.Kind == pcCurve; });
    if (curves && (!figure.Splines.empty() || !figure.Conics.empty())) {
      TFigure sampled;
      sampled.Closed = figure.Closed;
      for (const auto &e : figure.Entries)
        if (e.Spline >= 0)
          SampleSpline(figure.Splines[static_cast<std::size_t>(e.Spline)], m.Stretch(),
                       [&sampled](TPointD p) { AddPoint(sampled, p); });
        else if (e.Conic >= 0)
          AddConicCubics(sampled, figure.Conics[static_cast<std::size_t>(e.Conic)]);
        else if (e.Kind == pcCurve)
          sampled.Entries.push_back(e);
        else
          AddPoint(sampled, e.P);
      return Flatten(sampled, m);
    }
    TPath path;
    if (!curves) {
      // Straight segments, conics and splines are rounded directly, without
      // single precision.
      path.reserve(figure.Entries.size() + 1);
      auto keep = [&](TPointD w) {
        const TIntPoint p = Round(w);
        if (path.empty() || !(path.back() == p))
          path.push_back(p);
      };
      for (const auto &e : figure.Entries) {
        if (e.Spline >= 0) {
          SampleSpline(figure.Splines[static_cast<std::size_t>(e.Spline)], m.Stretch(),
                       [&](TPointD p) { keep(m.Map(p)); });
        } else if (e.Conic >= 0) {
          const TConicDef &k = figure.Conics[static_cast<std::size_t>(e.Conic)];
          const double chords = ConicChords(k, m, ArcTolerance());
          if (!(chords <= static_cast<double>(MaxDxfPoints - std::min(FPoints, MaxDxfPoints))))
            TooManyPoints();
          const auto n = static_cast<std::size_t>(chords);
          if (path.capacity() < path.size() + n)
            path.reserve(std::max(2 * path.capacity(), path.size() + n));
          for (std::size_t i = 1; i < n; ++i)
            keep(m.Map(k.At(k.Start + k.Sweep * static_cast<double>(i) / static_cast<double>(n))));
          keep(m.Map(k.HasEnd ? k.End : k.At(k.Start + k.Sweep)));
        } else {
          keep(m.Map(e.P));
        }
      }
      if (figure.Closed && path.size() > 1 && !(path.front() == path.back()))
        path.push_back(path.front());
    } else {
      // Curves are flattened by the shared builder in single precision,
      // relative to the figure's first point, so a part far from the origin
      // keeps its fine detail.
      const TIntPoint anchor = Round(m.Map(figure.Entries.front().P));
      const double ax = static_cast<double>(anchor.X), ay = static_cast<double>(anchor.Y);
      TPathData data;
      data.Entries().reserve(figure.Entries.size() + 1);
      for (const auto &e : figure.Entries) {
        const TPointD w = m.Map(e.P);
        Round(w);
        const TPointF p{static_cast<float>(w.X - ax), static_cast<float>(w.Y - ay)};
        auto &entries = data.Entries();
        if (e.Kind == pcMove) {
          data.MoveTo(p);
        } else if (e.Kind == pcLine) {
          data.LineTo(p);
        } else {
          entries.push_back({pcCurve, p});
        }
      }
      if (figure.Closed)
        data.ClosePath();
      const TPolygonF polygon = data.FlattenToPolygon(DxfFlatness, FCurveBudget);
      // The figure's parts, one after the other, as PolygonToPaths rounds
      // them, without building each part on its own first.
      path.reserve(polygon.size());
      for (const TPointF &f : polygon) {
        if (std::isnan(f.X) || std::isnan(f.Y))
          continue;
        const TIntPoint q{RoundUnit(std::clamp(static_cast<double>(f.X), -PathCoordinateLimit,
                                               PathCoordinateLimit)),
                          RoundUnit(std::clamp(static_cast<double>(f.Y), -PathCoordinateLimit,
                                               PathCoordinateLimit))};
        if (q.X == 16777215 && q.Y == 16777215)
          continue;
        const TIntPoint p{q.X + anchor.X, q.Y + anchor.Y};
        if (path.empty() || !(path.back() == p))
          path.push_back(p);
      }
    }
    FPoints += path.size();
    if (FPoints > MaxDxfPoints)
      TooManyPoints();
    return path;
  }

  double ArcTolerance() const {
    return std::max(MinDxfArcTolerance, std::sqrt(std::max(FOptions.Focus, 0) / 8.0));
  }

  [[noreturn]] static void TooManyPoints() {
    throw TReadError("The drawing is too complex: its curves and lines would become more than " +
                     std::to_string(MaxDxfPoints) + " points");
  }

  void RefuseOversized(const ClipperLib::IntRect &box) const {
    if (IsEmptyBox(box))
      return;
    const double width = static_cast<double>(box.right - box.left);
    const double height = static_cast<double>(box.bottom - box.top);
    if (width > MaxDxfExtent || height > MaxDxfExtent)
      throw TReadError("The drawing is too large: " + Millimetres(width / FOptions.UnitsPerMM) +
                       " x " + Millimetres(height / FOptions.UnitsPerMM) + " mm");
  }

  void PlaceAtOrigin(TReadResult &result) {
    const ClipperLib::IntRect box = LevelsInputBox(result);
    if (IsEmptyBox(box))
      return;
    RefuseOversized(box);
    MoveLevelsInput(result, {box.left, box.top});
    result.Size = {static_cast<std::int32_t>(box.right - box.left),
                   static_cast<std::int32_t>(box.bottom - box.top)};
  }

  TCollector &FCollector;
  const TReadOptions &FOptions;
  double FScale;
  std::map<std::string, std::int64_t> FCounts;
  std::set<std::string> FInserted;
  std::vector<TLevelBuild> FBuilds;
  std::map<TLevelKey, std::size_t> FIndex;
  TLevelBuild *FLast = nullptr;
  std::map<std::pair<TLevelKind, std::string>, int> FColorsPerLayer;
  // LINE segments of each level build, joined when all are drawn.
  std::map<std::size_t, TPaths> FSegments;
  // Closed contours of each layer, where they lie in FBuilds.
  struct TContourRef {
    std::size_t Build, Set, Path;
  };
  std::map<std::string, std::vector<TContourRef>> FContours;
  // Builds that lost a fill to its crossings.
  std::set<std::size_t> FLeftOut;
  std::map<std::string, int> FSkippedLayers;
  // Curves may take all the points a drawing is allowed.
  std::size_t FCurveBudget = MaxDxfPoints;
  std::size_t FPoints = 0;
};

std::string UnitName(int insunits) {
  switch (insunits) {
  case 1:
    return "inches";
  case 2:
    return "feet";
  case 4:
    return "millimetres";
  case 5:
    return "centimetres";
  case 6:
    return "metres";
  default:
    return "units " + std::to_string(insunits);
  }
}

} // namespace

double DxfUnitMillimetres(int insunits) {
  switch (insunits) {
  case 1:
    return 25.4;
  case 2:
    return 304.8;
  case 3:
    return 1609344.0;
  case 4:
    return 1.0;
  case 5:
    return 10.0;
  case 6:
    return 1000.0;
  case 7:
    return 1e6;
  case 8:
    return 25.4e-6;
  case 9:
    return 0.0254;
  case 10:
    return 914.4;
  case 11:
    return 1e-7;
  case 12:
    return 1e-6;
  case 13:
    return 1e-3;
  case 14:
    return 100.0;
  case 15:
    return 1e4;
  case 16:
    return 1e5;
  case 17:
    return 1e12;
  case 18:
    return 1.495978707e14;
  case 19:
    return 9.4607304725808e18;
  case 20:
    return 3.0856775814913673e19;
  case 21:
    return 1200.0 / 3937.0 * 1000.0;
  default:
    return 0;
  }
}

TReadResult LoadDxf(std::string_view bytes, const TReadOptions &options) {
  if (options.SetProgressMax)
    options.SetProgressMax(3);
  const TDxfScan scan = ScanDxf(bytes);
  if (options.Progress)
    options.Progress();

  std::istringstream stream{std::string(bytes)};
  DL_Dxf dxf;
  TCollector collector;
  collector.Model().reserve(scan.DrawingEntities);
  collector.SetParser(&dxf);
  dxf.in(stream, &collector);
  collector.Finish();
  if (options.Progress)
    options.Progress();

  std::vector<std::string> messages;
  double unit = DxfUnitMillimetres(collector.InsUnits());
  if (unit == 0) {
    messages.push_back(collector.InsUnits() <= 0
                           ? "DXF: the drawing names no units; it is read in millimetres"
                           : "DXF: the drawing's units (" + UnitName(collector.InsUnits()) +
                                 ") are not lengths; it is read in millimetres");
    unit = 1;
  }

  for (const auto &dimension : scan.Dimensions)
    if (auto *container = collector.Container(dimension.OwnerBlock)) {
      TEntity e;
      e.Kind = ekInsert;
      e.Block = dimension.Block;
      e.Layer = dimension.Layer;
      e.Color = dimension.Color;
      e.Color24 = dimension.Color24;
      e.IgnoreBase = true;
      container->push_back(std::move(e));
    }

  TExpander expander(collector, options, unit * options.UnitsPerMM);
  expander.Run();
  // What is left out is told about where the drawing shows it: entities of
  // blocks that nothing inserts (symbol libraries, a CAD program's arrow
  // heads) would not be drawn either way.
  std::vector<TDxfLeftOut> leftOut;
  for (const auto &kind : scan.LeftOut) {
    // Text is drawn, or told about below when its font cannot be.
    if (kind.Kind == "TEXT" || kind.Kind == "MTEXT" || kind.Kind == "ATTRIB" ||
        !expander.Shown(kind.Block))
      continue;
    auto same = std::find_if(leftOut.begin(), leftOut.end(),
                             [&kind](const TDxfLeftOut &seen) { return seen.Kind == kind.Kind; });
    if (same == leftOut.end()) {
      leftOut.push_back(kind);
    } else {
      same->Line = std::min(same->Line, kind.Line);
      same->Count += kind.Count;
    }
  }
  std::sort(leftOut.begin(), leftOut.end(),
            [](const TDxfLeftOut &a, const TDxfLeftOut &b) { return a.Line < b.Line; });
  std::vector<std::string> told;
  for (const auto &kind : leftOut)
    told.push_back("DXF line " + std::to_string(kind.Line) + ": " + kind.Kind +
                   " is not supported and is left out" +
                   (kind.Count > 1 ? " (" + std::to_string(kind.Count) + " in all)" : ""));
  messages.insert(messages.begin(), told.begin(), told.end());
  auto shownCount = [&expander](const std::map<std::string, int> &byBlock) {
    int count = 0;
    for (const auto &[block, n] : byBlock)
      if (expander.Shown(block))
        count += n;
    return count;
  };
  TReadResult result = expander.Levels(messages);
  if (options.Progress)
    options.Progress();

  if (collector.TextsWithoutFonts() > 0)
    messages.push_back("DXF: " + std::to_string(collector.TextsWithoutFonts()) +
                       (collector.TextsWithoutFonts() == 1 ? " text" : " texts") +
                       " in outline fonts left out: no fonts can be drawn here");
  if (const int meshes = shownCount(collector.Meshes()); meshes > 0)
    messages.push_back("DXF: " + std::to_string(meshes) +
                       " polygon meshes are not supported and are left out");
  if (const int wide = shownCount(scan.WidePolylines); wide > 0)
    messages.push_back("DXF: " + std::to_string(wide) +
                       (wide == 1 ? " polyline has" : " polylines have") +
                       " a width; only the centre line is drawn");
  if (collector.PaperSpace() > 0)
    messages.push_back("DXF: " + std::to_string(collector.PaperSpace()) +
                       " entities of the paper space (layouts) are left out");
  if (collector.Invalid() > 0)
    messages.push_back("DXF: " + std::to_string(collector.Invalid()) +
                       " entities with numbers that are not finite are left out");
  for (const auto &[text, count] : collector.Warnings())
    messages.push_back("DXF: " + text +
                       (count > 1 ? " (" + std::to_string(count) + " times)" : ""));
  if (!scan.Complete)
    messages.push_back("DXF: the file ends before its EOF marker; it may have been cut short");
  // Shown after loading without stopping work, like every reader's report.
  result.Report.insert(result.Report.end(), messages.begin(), messages.end());
  return result;
}

TReadResult LoadDxfFile(const std::string &fileName, const TReadOptions &options) {
  return LoadDxf(ReadFileBytes(fileName, MaxDxfFileSize), options);
}
