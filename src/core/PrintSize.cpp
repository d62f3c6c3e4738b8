#include "PrintSize.h"

#include <algorithm>
#include <cmath>

#include "PathUtils.h"

double LimitedScale(double scale) { return std::clamp(scale, ScaleMinimum, ScaleMaximum); }

double LimitedPrint(double print) { return std::clamp(print, PrintMinimum, PrintMaximum); }

// The operations keep the order the boxes have always used: a different order
// can round differently in the last bit, and the output follows the box.
double PrintForScale(double scale, std::int32_t units, double unitsPerMM) {
  return scale * units / 100 / unitsPerMM;
}

std::optional<double> ScaleForPrint(double print, std::int32_t units, double unitsPerMM) {
  if (units <= 0)
    return std::nullopt;
  return print * 100 * unitsPerMM / units;
}

// Through 64 bits, as the level list has always been given its output size.
std::int32_t OutputForPrint(double print, double unitsPerMM) {
  return static_cast<std::int32_t>(RoundUnit(print * unitsPerMM));
}

std::int32_t OutputForScale(double scale, std::int32_t units) {
  return static_cast<std::int32_t>(RoundUnit(units * scale / 100));
}
