#pragma once
// The size boxes: for each axis a scale in per cent and a print size in
// millimetres that follow each other, with the ranges the boxes hold. The
// window's boxes and brennix-cli's --scale and --size compute alike here.

#include <cstdint>
#include <optional>

inline constexpr double ScaleMinimum = 1, ScaleMaximum = 1000;   // per cent
inline constexpr double PrintMinimum = 1, PrintMaximum = 100000; // millimetres
// The Original boxes show the drawing's size in millimetres.
inline constexpr double OriginalMaximum = 100000;

// What a box keeps of a value written into it.
double LimitedScale(double scale);
double LimitedPrint(double print);

// The print size of an axis `units` long at `scale` per cent, not yet limited.
double PrintForScale(double scale, std::int32_t units, double unitsPerMM);
// The scale that prints an axis `units` long at `print` millimetres, not yet
// limited; none while the drawing is empty on that axis.
std::optional<double> ScaleForPrint(double print, std::int32_t units, double unitsPerMM);
// The output extent, in internal units, of a print size.
std::int32_t OutputForPrint(double print, double unitsPerMM);
// The output extent of an axis `units` long at `scale` per cent.
std::int32_t OutputForScale(double scale, std::int32_t units);
