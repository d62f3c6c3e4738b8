#pragma once
// Colour arithmetic shared by the picture and vector readers: ARGB <-> CIE L*a*b*
// with integer components, the two integer colour distances, the named-colour
// table (the CSS colour keywords) and the naming of a level after its colour.
//
// Results depend on the exact arithmetic: the linear channels, X, Y, Z and their
// ratios to the white point are 32-bit floats, and every rounding to an integer
// is to nearest with ties to even.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/LabColor.h"

class TLevel;

// Any ARGB colour to Lab: L 0..100, a and b -128..127. Alpha is ignored, so
// transparent black reads as black; callers decide what transparency means.
TLabColor ColorToLab(std::uint32_t argb);

// Lab back to an opaque ARGB colour; a channel whose linear value is zero or
// negative becomes 0.
std::uint32_t LabToColor(const TLabColor &lab);

// (dL)^2 + (da div 3)^2 + (db div 3)^2, truncating: lightness weighs three
// times as much as each colour axis, and differences below 3 on a or b vanish.
std::int32_t LabDistance(const TLabColor &a, const TLabColor &b);

// LabDistance between the means of two sums of Lab colours (n and m samples),
// each mean component truncated toward zero. With n = m = 1 it is LabDistance.
std::int32_t ClusterDistance(const TLabColor &sumA, std::int32_t n, const TLabColor &sumB,
                             std::int32_t m);

// One entry of the named-colour table: an opaque colour (or 0 for "Null") and
// its name with an upper-case first letter ("Aliceblue").
struct TNamedColor {
  std::uint32_t Value;
  const char *Name;
};
constexpr std::size_t NamedColorCount = 148;

// The CSS Color Level 3 keywords in alphabetical order, then "Null" (value 0).
// Several names share a value (Aqua/Cyan, Fuchsia/Magenta, the "grey" spellings).
const std::array<TNamedColor, NamedColorCount> &NamedColors();

// The value of a table name, compared without regard to ASCII case; every
// one of the 148 names is found, also those sharing a value with an earlier one.
std::optional<std::uint32_t> FindNamedColor(std::string_view name);

// Turns a table name into its colour and reports both to Call.
class TColorScanner {
public:
  std::function<void(std::uint32_t argb, const std::string &name)> Call;
  // Returns false, without calling, for a name that is not in the table.
  bool Scan(const std::string &identifier) const;
};

// Calls proc once per table entry, in table order, with the first name that
// has the entry's value: 148 calls carrying 139 names (Cyan reports Aqua, the
// "grey" spellings report "gray"), so a caller keeping the first strictly best
// match always ends on the earlier name.
void EnumerateColorNames(const std::function<void(std::uint32_t, const std::string &)> &proc);

// The name of the table colour nearest to lab (LabDistance, first on ties).
std::string NearestColorName(const TLabColor &lab);

// Names a level after its colour: LabColor := lab; Color := the opaque colour
// of (round(0.9 L), a, b), a tenth darker for the preview; Name := the nearest
// table name.
void GenerateName(TLevel &level, const TLabColor &lab);

// The two halves of ColorToLab, shared so that the picture reader's cache
// rounds through exactly the arithmetic of the plain conversion.
namespace ColorDetail {
float ChannelToLinear(unsigned channel);
TLabColor LinearToLab(float r, float g, float b);
} // namespace ColorDetail
