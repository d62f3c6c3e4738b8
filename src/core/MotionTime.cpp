#include "MotionTime.h"

#include <algorithm>
#include <cmath>
#include <numbers>

double TrapezoidSeconds(double length, double speed, double entry, double exit,
                        double acceleration) {
  if (length <= 0 || speed <= 0)
    return 0;
  if (acceleration <= 0)
    return length / speed;
  entry = std::min(entry, speed);
  exit = std::min(exit, speed);
  const double accelerating = (speed * speed - entry * entry) / (2 * acceleration);
  const double braking = (speed * speed - exit * exit) / (2 * acceleration);
  if (accelerating + braking <= length)
    return (speed - entry) / acceleration + (speed - exit) / acceleration +
           (length - accelerating - braking) / speed;
  // Too short to reach the speed: a triangle peaking where both ramps meet.
  const double peak =
      std::sqrt(std::max((2 * acceleration * length + entry * entry + exit * exit) / 2, 0.0));
  return std::max(peak - entry, 0.0) / acceleration + std::max(peak - exit, 0.0) / acceleration;
}

double MotionSeconds(double startX, double startY, const std::vector<TMotion> &moves,
                     double acceleration) {
  struct TLeg {
    double Length, Speed, DX, DY;
    bool RestBefore;
  };
  std::vector<TLeg> legs;
  legs.reserve(moves.size());
  double x = startX, y = startY;
  bool rest = false;
  for (const TMotion &move : moves) {
    const double dx = move.X - x, dy = move.Y - y;
    const double length = std::hypot(dx, dy);
    rest = rest || move.RestBefore;
    x = move.X;
    y = move.Y;
    if (length <= 0 || move.Speed <= 0 || !std::isfinite(length))
      continue;
    legs.push_back({length, move.Speed, dx / length, dy / length, rest});
    rest = false;
  }
  if (acceleration <= 0) {
    double seconds = 0;
    for (const TLeg &leg : legs)
      seconds += leg.Length / leg.Speed;
    return seconds;
  }
  // Speed limits at the junctions: junction i lies before leg i; the head
  // starts and ends at rest.
  const double collinear = std::cos(CollinearDegrees * std::numbers::pi / 180);
  std::vector<double> junction(legs.size() + 1, 0.0);
  for (std::size_t i = 1; i < legs.size(); ++i) {
    const TLeg &a = legs[i - 1], &b = legs[i];
    if (!b.RestBefore && a.DX * b.DX + a.DY * b.DY >= collinear)
      junction[i] = std::min(a.Speed, b.Speed);
  }
  // What braking allows, from the end back, then what accelerating allows.
  for (std::size_t i = legs.size(); i-- > 0;)
    junction[i] = std::min(junction[i], std::sqrt(junction[i + 1] * junction[i + 1] +
                                                  2 * acceleration * legs[i].Length));
  for (std::size_t i = 0; i < legs.size(); ++i)
    junction[i + 1] = std::min(
        junction[i + 1], std::sqrt(junction[i] * junction[i] + 2 * acceleration * legs[i].Length));
  double seconds = 0;
  for (std::size_t i = 0; i < legs.size(); ++i)
    seconds +=
        TrapezoidSeconds(legs[i].Length, legs[i].Speed, junction[i], junction[i + 1], acceleration);
  return seconds;
}
