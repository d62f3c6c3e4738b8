#include "Estimate.h"

#include <cmath>
#include <cstdio>

#include "Levels.h"
#include "PathUtils.h"

double EstimateSeconds(const TLevels &levels) {
  const double unitsPerMM = UnitsPerMM();
  double seconds = 0;
  for (int i = 0; i < levels.Count(); ++i) {
    const TLevel &level = *levels.Item(i);
    // The levels the save writes: in outline-only mode the outline alone,
    // otherwise everything but the outline.
    if (!level.Print() || level.Passes() < 1 || level.Power() < 1 ||
        (level.Kind() == lkOutline) != levels.Outline())
      continue;
    const double length = static_cast<double>(level.OutputLength());
    seconds += length * 100 / unitsPerMM * level.Passes() / level.Speed();
  }
  return seconds;
}

namespace {

// " 1h 2m 5s": rounded once, half to even; every part starts with a space.
std::string DurationParts(double seconds) {
  auto s = static_cast<long long>(std::nearbyint(seconds));
  std::string text;
  char part[48];
  if (s >= 3600) {
    std::snprintf(part, sizeof part, " %lldh", s / 3600);
    text += part;
    s %= 3600;
  }
  if (s > 59) {
    std::snprintf(part, sizeof part, " %lldm", s / 60);
    text += part;
    s %= 60;
  }
  if (s != 0) {
    std::snprintf(part, sizeof part, " %llds", s);
    text += part;
  }
  return text;
}

} // namespace

std::string EstimateText(double seconds) {
  const std::string text = DurationParts(seconds);
  if (text.empty())
    return "Nothing to print";
  return "Estimated burning time:  " + text;
}

std::string AccelerationEstimateText(double seconds) {
  const std::string text = DurationParts(seconds);
  if (text.empty())
    return {};
  return "With acceleration, travel and passes:" + text;
}
