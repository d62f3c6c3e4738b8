#include "PathData.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/PathUtils.h"
#include "core/ReadResult.h"

namespace {

constexpr double DegToRad = std::numbers::pi / 180.0;

TPointF MakePoint(double x, double y) { return {static_cast<float>(x), static_cast<float>(y)}; }

TPointF Add(TPointF a, TPointF b) { return {a.X + b.X, a.Y + b.Y}; }

// Point of the cubic from p0 over the control points p1, p2 to p3 at t.
void BezierPoint(const TPointF (&p)[4], double t, double &x, double &y) {
  const double u = 1 - t;
  const double b0 = u * u * u, b1 = 3 * u * u * t, b2 = 3 * u * t * t, b3 = t * t * t;
  x = b0 * p[0].X + b1 * p[1].X + b2 * p[2].X + b3 * p[3].X;
  y = b0 * p[0].Y + b1 * p[1].Y + b2 * p[2].Y + b3 * p[3].Y;
}

class TFlattener {
public:
  explicit TFlattener(TPolygonF &out) : FOut(out) {}

  // Points lying on the previous one would only make zero-length segments
  // (and a close followed by a move would make two separators).
  void Emit(TPointF p) {
    if (FAny && std::fabs(p.X - FLast.X) <= 0.001f && std::fabs(p.Y - FLast.Y) <= 0.001f)
      return;
    FOut.push_back(p);
    FLast = p;
    FAny = true;
  }
  bool Any() const { return FAny; }

private:
  TPolygonF &FOut;
  TPointF FLast;
  bool FAny = false;
};

std::int64_t RoundClamped(float value) {
  const double v =
      std::clamp(static_cast<double>(value), -PathCoordinateLimit, PathCoordinateLimit);
  return RoundUnit(v);
}

} // namespace

void TPathData::MoveTo(TPointF p) {
  FEntries.push_back({pcMove, p});
  FStart = p;
}

void TPathData::MoveToRel(TPointF d) { MoveTo(Add(LastPoint(), d)); }

void TPathData::LineTo(TPointF p) { FEntries.push_back({pcLine, p}); }

void TPathData::LineToRel(TPointF d) { LineTo(Add(LastPoint(), d)); }

void TPathData::CurveTo(TPointF c1, TPointF c2, TPointF e) {
  FEntries.push_back({pcCurve, c1});
  FEntries.push_back({pcCurve, c2});
  FEntries.push_back({pcCurve, e});
}

void TPathData::CurveToRel(TPointF c1, TPointF c2, TPointF e) {
  const TPointF last = LastPoint();
  CurveTo(Add(last, c1), Add(last, c2), Add(last, e));
}

void TPathData::ClosePath() { FEntries.push_back({pcClose, FStart}); }

void TPathData::Clear() {
  FEntries.clear();
  FStart = {};
}

TPointF TPathData::LastPoint() const {
  return FEntries.empty() ? TPointF{} : FEntries.back().Point;
}

void TPathData::AddArc(TPointF centre, TPointF radii, float startAngle, float sweepAngle) {
  // A sweep that is not a number would never finish the piece loop below.
  if (!std::isfinite(sweepAngle))
    return;
  const double sweep = std::clamp(static_cast<double>(sweepAngle), -360.0, 360.0) * DegToRad;
  if (std::fabs(sweep) < 1e-10)
    return;
  const double start = std::fmod(static_cast<double>(startAngle), 360.0) * DegToRad;
  const double cx = centre.X, cy = centre.Y, rx = radii.X, ry = radii.Y;
  auto pointAt = [&](double t) { return MakePoint(cx + rx * std::cos(t), cy + ry * std::sin(t)); };

  if (FEntries.empty())
    MoveTo(pointAt(start));
  else
    LineTo(pointAt(start));

  constexpr double quarter = std::numbers::pi / 2;
  double angle = start;
  double remaining = sweep;
  // At most five pieces for one turn; the bound guards against rounding.
  for (int piece = 0; piece < 8; ++piece) {
    const bool last = std::fabs(remaining) <= quarter + 0.01;
    const double step = last ? remaining : std::copysign(quarter, remaining);
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    const double a0 = angle, a1 = angle + step;
    const TPointF c1 = MakePoint(cx + rx * (std::cos(a0) - k * std::sin(a0)),
                                 cy + ry * (std::sin(a0) + k * std::cos(a0)));
    const TPointF c2 = MakePoint(cx + rx * (std::cos(a1) + k * std::sin(a1)),
                                 cy + ry * (std::sin(a1) - k * std::cos(a1)));
    CurveTo(c1, c2, pointAt(a1));
    angle = a1;
    remaining -= step;
    if (last)
      break;
  }
}

void TPathData::AddEllipse(float left, float top, float right, float bottom) {
  constexpr double kappa = 0.5522847498;
  const double l = left, t = top, r = right, b = bottom;
  const double mx = (l + r) / 2, my = (t + b) / 2;
  const double kx = (r - l) / 2 * kappa, ky = (b - t) / 2 * kappa;
  MoveTo(MakePoint(l, my));
  CurveTo(MakePoint(l, my - ky), MakePoint(mx - kx, t), MakePoint(mx, t));
  CurveTo(MakePoint(mx + kx, t), MakePoint(r, my - ky), MakePoint(r, my));
  CurveTo(MakePoint(r, my + ky), MakePoint(mx + kx, b), MakePoint(mx, b));
  CurveTo(MakePoint(mx - kx, b), MakePoint(l, my + ky), MakePoint(l, my));
}

TPolygonF TPathData::FlattenToPolygon(float flatness) const {
  std::size_t budget = DefaultCurvePointBudget;
  return FlattenToPolygon(flatness, budget);
}

TPolygonF TPathData::FlattenToPolygon(float flatness, std::size_t &curvePointBudget) const {
  const double f = flatness > 0.05f ? static_cast<double>(flatness) : 0.05;
  TPolygonF result;
  TFlattener out(result);
  TPointF current;
  const std::size_t count = FEntries.size();
  for (std::size_t i = 0; i < count; ++i) {
    const TPathEntry &entry = FEntries[i];
    switch (entry.Kind) {
    case pcMove:
      if (out.Any())
        out.Emit(PolygonSeparator);
      out.Emit(entry.Point);
      break;
    case pcClose:
      out.Emit(entry.Point);
      out.Emit(PolygonSeparator);
      break;
    case pcCurve:
      if (i + 2 < count && FEntries[i + 1].Kind == pcCurve && FEntries[i + 2].Kind == pcCurve) {
        const TPointF p[4] = {current, entry.Point, FEntries[i + 1].Point, FEntries[i + 2].Point};
        double length = 0, px = p[0].X, py = p[0].Y;
        for (int s = 1; s <= 5; ++s) {
          double x, y;
          BezierPoint(p, s / 5.0, x, y);
          length += std::hypot(x - px, y - py);
          px = x;
          py = y;
        }
        const double steps = length / f;
        // Not a number or beyond the cap (a huge or broken curve): the cap.
        const std::size_t n = steps < static_cast<double>(MaxCurveSteps)
                                  ? static_cast<std::size_t>(std::nearbyint(steps))
                                  : MaxCurveSteps;
        if (n > 1) {
          if (n > curvePointBudget)
            throw TReadError("The drawing is too complex");
          curvePointBudget -= n;
          for (std::size_t j = 0; j < n; ++j) {
            double x, y;
            BezierPoint(p, static_cast<double>(j) / static_cast<double>(n - 1), x, y);
            out.Emit(MakePoint(x, y));
          }
        } else {
          out.Emit(p[0]);
          out.Emit(p[3]);
        }
        i += 2;
        current = p[3];
        continue;
      }
      // A curve cut short (only possible by editing the entries) reads as a line.
      out.Emit(entry.Point);
      break;
    case pcLine:
      out.Emit(entry.Point);
      break;
    }
    current = entry.Point;
  }
  return result;
}

TPaths PolygonToPaths(const TPolygonF &polygon) {
  TPaths paths;
  TPath run;
  auto endRun = [&] {
    if (run.size() >= 2)
      paths.push_back(std::move(run));
    run.clear();
  };
  for (const TPointF &p : polygon) {
    if (std::isnan(p.X) || std::isnan(p.Y)) {
      endRun();
      continue;
    }
    const TIntPoint q(RoundClamped(p.X), RoundClamped(p.Y));
    if (q.X == 16777215 && q.Y == 16777215)
      endRun();
    else
      run.push_back(q);
  }
  endRun();
  return paths;
}
