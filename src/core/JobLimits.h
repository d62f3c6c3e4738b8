#pragma once
// How far a user may set each job-wide setting and machine-profile field, in
// the units the window's boxes show: the window's boxes and brennix-cli's
// options take their ranges from here, so a job one accepts the other does.

#include <cstdio>
#include <string>

struct TJobRange {
  double Minimum, Maximum;
  constexpr bool Holds(double value) const { return value >= Minimum && value <= Maximum; }
};

inline constexpr TJobRange FocusRange{0.004, 2.5};            // millimetres
inline constexpr TJobRange IdleSpeedRange{0.1, 1000};         // mm/s
inline constexpr TJobRange OffsetRange{0, 1000};              // millimetres
inline constexpr TJobRange OutlineOffsetRange{0.1, 50};       // millimetres
inline constexpr TJobRange PowerMaximumRange{0.001, 1000000}; // S for full power
inline constexpr int PowerDecimalsMaximum = 4;
inline constexpr TJobRange BedSideRange{0, 10000};       // millimetres, 0: no bed
inline constexpr TJobRange AccelerationRange{0, 100000}; // mm/s², 0: none

// "0.004 to 2.5": the ends as a user would type them.
inline std::string RangeText(TJobRange range) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g to %.10g", range.Minimum, range.Maximum);
  return text;
}
