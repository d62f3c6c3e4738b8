#pragma once
// The burning-time estimate the window shows once a cycle has finished.

#include <string>

class TLevels;

// Seconds to trace the burn paths of the levels a save writes, all passes at
// their speed; travel moves are not counted.
double EstimateSeconds(const TLevels &levels);
// "Estimated burning time:   1h 2m 5s", or "Nothing to print" when it rounds to 0 s.
std::string EstimateText(double seconds);
// "With acceleration, travel and passes: 1h 2m 5s" for the running time of the
// written file (GcodeCheck.h), or empty when it rounds to 0 s.
std::string AccelerationEstimateText(double seconds);
