#include "Geometry.h"

#include <atomic>

namespace {
// The unit before the first focus size is set at start-up.
std::atomic<double> GUnitsPerMM{1000.0};
} // namespace

double UnitsPerMM() { return GUnitsPerMM.load(std::memory_order_relaxed); }
void SetUnitsPerMM(double value) { GUnitsPerMM.store(value, std::memory_order_relaxed); }
