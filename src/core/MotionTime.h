#pragma once
// How long the head takes over a sequence of straight moves when it cannot
// change speed at once: each move a trapezoid of accelerating, cruising and
// braking at one acceleration.

#include <vector>

struct TMotion {
  double X = 0, Y = 0;     // end point, mm
  double Speed = 1;        // mm/s the move is programmed at
  bool RestBefore = false; // the head stops before it (a dwell, a wait for the laser)
};

// Directions within this angle of each other count as one straight line, so
// the head runs through their junction; at any sharper corner it comes to rest.
// Real planners carry some speed through small corners too: the estimate errs
// on the long side there.
inline constexpr double CollinearDegrees = 1.0;

// Seconds to run the moves from (startX, startY), at rest at both ends.
// acceleration in mm/s²; 0 or less gives length / speed for every move.
double MotionSeconds(double startX, double startY, const std::vector<TMotion> &moves,
                     double acceleration);

// One move of length mm from entry speed to exit speed, cruising at most at
// speed (entry and exit reachable within the length).
double TrapezoidSeconds(double length, double speed, double entry, double exit,
                        double acceleration);
