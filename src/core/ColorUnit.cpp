#include "ColorUnit.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Level.h"

namespace {

// Linear RGB to XYZ, as single-precision values: the conversions round through them.
constexpr float M[3][3] = {{0.4124564f, 0.3575761f, 0.1804375f},
                           {0.2126729f, 0.7151522f, 0.0721750f},
                           {0.0193339f, 0.1191920f, 0.9503041f}};

// The inverse of the single-precision matrix, worked out in double once.
struct TMatrix3 {
  float V[3][3];
};
constexpr TMatrix3 InverseM() {
  double a[3][3] = {};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      a[r][c] = M[r][c];
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  TMatrix3 inverse{};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      // Cofactor of a[c][r] (transposed), cyclic indices keep the sign.
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      inverse.V[r][c] = static_cast<float>((a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det);
    }
  return inverse;
}
constexpr TMatrix3 MInverse = InverseM();

// The white point is not the matrix's own white, so white reads a = b = 0.08.
constexpr float Xn = 0.95f, Yn = 1.00f, Zn = 1.09f;

constexpr double ForwardThreshold = 216.0 / 24389.0;
constexpr double InverseThreshold = 6.0 / 29.0;

double LabF(float t) {
  if (t >= ForwardThreshold)
    return std::cbrt(static_cast<double>(t));
  return t * 841.0 / 108.0 + 4.0 / 29.0;
}

double LabInverseF(double t) {
  if (t >= InverseThreshold)
    return t * t * t;
  return (t - 4.0 / 29.0) * 108.0 / 841.0;
}

std::int32_t RoundClamp(double value, std::int32_t low, std::int32_t high) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= low)) // also catches NaN
    return low;
  if (rounded > high)
    return high;
  return static_cast<std::int32_t>(rounded);
}

constexpr std::array<TNamedColor, NamedColorCount> Table = {{
    {0xFFF0F8FF, "Aliceblue"},
    {0xFFFAEBD7, "Antiquewhite"},
    {0xFF00FFFF, "Aqua"},
    {0xFF7FFFD4, "Aquamarine"},
    {0xFFF0FFFF, "Azure"},
    {0xFFF5F5DC, "Beige"},
    {0xFFFFE4C4, "Bisque"},
    {0xFF000000, "Black"},
    {0xFFFFEBCD, "Blanchedalmond"},
    {0xFF0000FF, "Blue"},
    {0xFF8A2BE2, "Blueviolet"},
    {0xFFA52A2A, "Brown"},
    {0xFFDEB887, "Burlywood"},
    {0xFF5F9EA0, "Cadetblue"},
    {0xFF7FFF00, "Chartreuse"},
    {0xFFD2691E, "Chocolate"},
    {0xFFFF7F50, "Coral"},
    {0xFF6495ED, "Cornflowerblue"},
    {0xFFFFF8DC, "Cornsilk"},
    {0xFFDC143C, "Crimson"},
    {0xFF00FFFF, "Cyan"},
    {0xFF00008B, "Darkblue"},
    {0xFF008B8B, "Darkcyan"},
    {0xFFB8860B, "Darkgoldenrod"},
    {0xFFA9A9A9, "Darkgray"},
    {0xFF006400, "Darkgreen"},
    {0xFFA9A9A9, "Darkgrey"},
    {0xFFBDB76B, "Darkkhaki"},
    {0xFF8B008B, "Darkmagenta"},
    {0xFF556B2F, "Darkolivegreen"},
    {0xFFFF8C00, "Darkorange"},
    {0xFF9932CC, "Darkorchid"},
    {0xFF8B0000, "Darkred"},
    {0xFFE9967A, "Darksalmon"},
    {0xFF8FBC8F, "Darkseagreen"},
    {0xFF483D8B, "Darkslateblue"},
    {0xFF2F4F4F, "Darkslategray"},
    {0xFF2F4F4F, "Darkslategrey"},
    {0xFF00CED1, "Darkturquoise"},
    {0xFF9400D3, "Darkviolet"},
    {0xFFFF1493, "Deeppink"},
    {0xFF00BFFF, "Deepskyblue"},
    {0xFF696969, "Dimgray"},
    {0xFF696969, "Dimgrey"},
    {0xFF1E90FF, "Dodgerblue"},
    {0xFFB22222, "Firebrick"},
    {0xFFFFFAF0, "Floralwhite"},
    {0xFF228B22, "Forestgreen"},
    {0xFFFF00FF, "Fuchsia"},
    {0xFFDCDCDC, "Gainsboro"},
    {0xFFF8F8FF, "Ghostwhite"},
    {0xFFFFD700, "Gold"},
    {0xFFDAA520, "Goldenrod"},
    {0xFF808080, "Gray"},
    {0xFF008000, "Green"},
    {0xFFADFF2F, "Greenyellow"},
    {0xFF808080, "Grey"},
    {0xFFF0FFF0, "Honeydew"},
    {0xFFFF69B4, "Hotpink"},
    {0xFFCD5C5C, "Indianred"},
    {0xFF4B0082, "Indigo"},
    {0xFFFFFFF0, "Ivory"},
    {0xFFF0E68C, "Khaki"},
    {0xFFE6E6FA, "Lavender"},
    {0xFFFFF0F5, "Lavenderblush"},
    {0xFF7CFC00, "Lawngreen"},
    {0xFFFFFACD, "Lemonchiffon"},
    {0xFFADD8E6, "Lightblue"},
    {0xFFF08080, "Lightcoral"},
    {0xFFE0FFFF, "Lightcyan"},
    {0xFFFAFAD2, "Lightgoldenrodyellow"},
    {0xFFD3D3D3, "Lightgray"},
    {0xFF90EE90, "Lightgreen"},
    {0xFFD3D3D3, "Lightgrey"},
    {0xFFFFB6C1, "Lightpink"},
    {0xFFFFA07A, "Lightsalmon"},
    {0xFF20B2AA, "Lightseagreen"},
    {0xFF87CEFA, "Lightskyblue"},
    {0xFF778899, "Lightslategray"},
    {0xFF778899, "Lightslategrey"},
    {0xFFB0C4DE, "Lightsteelblue"},
    {0xFFFFFFE0, "Lightyellow"},
    {0xFF00FF00, "Lime"},
    {0xFF32CD32, "Limegreen"},
    {0xFFFAF0E6, "Linen"},
    {0xFFFF00FF, "Magenta"},
    {0xFF800000, "Maroon"},
    {0xFF66CDAA, "Mediumaquamarine"},
    {0xFF0000CD, "Mediumblue"},
    {0xFFBA55D3, "Mediumorchid"},
    {0xFF9370DB, "Mediumpurple"},
    {0xFF3CB371, "Mediumseagreen"},
    {0xFF7B68EE, "Mediumslateblue"},
    {0xFF00FA9A, "Mediumspringgreen"},
    {0xFF48D1CC, "Mediumturquoise"},
    {0xFFC71585, "Mediumvioletred"},
    {0xFF191970, "Midnightblue"},
    {0xFFF5FFFA, "Mintcream"},
    {0xFFFFE4E1, "Mistyrose"},
    {0xFFFFE4B5, "Moccasin"},
    {0xFFFFDEAD, "Navajowhite"},
    {0xFF000080, "Navy"},
    {0xFFFDF5E6, "Oldlace"},
    {0xFF808000, "Olive"},
    {0xFF6B8E23, "Olivedrab"},
    {0xFFFFA500, "Orange"},
    {0xFFFF4500, "Orangered"},
    {0xFFDA70D6, "Orchid"},
    {0xFFEEE8AA, "Palegoldenrod"},
    {0xFF98FB98, "Palegreen"},
    {0xFFAFEEEE, "Paleturquoise"},
    {0xFFDB7093, "Palevioletred"},
    {0xFFFFEFD5, "Papayawhip"},
    {0xFFFFDAB9, "Peachpuff"},
    {0xFFCD853F, "Peru"},
    {0xFFFFC0CB, "Pink"},
    {0xFFDDA0DD, "Plum"},
    {0xFFB0E0E6, "Powderblue"},
    {0xFF800080, "Purple"},
    {0xFFFF0000, "Red"},
    {0xFFBC8F8F, "Rosybrown"},
    {0xFF4169E1, "Royalblue"},
    {0xFF8B4513, "Saddlebrown"},
    {0xFFFA8072, "Salmon"},
    {0xFFF4A460, "Sandybrown"},
    {0xFF2E8B57, "Seagreen"},
    {0xFFFFF5EE, "Seashell"},
    {0xFFA0522D, "Sienna"},
    {0xFFC0C0C0, "Silver"},
    {0xFF87CEEB, "Skyblue"},
    {0xFF6A5ACD, "Slateblue"},
    {0xFF708090, "Slategray"},
    {0xFF708090, "Slategrey"},
    {0xFFFFFAFA, "Snow"},
    {0xFF00FF7F, "Springgreen"},
    {0xFF4682B4, "Steelblue"},
    {0xFFD2B48C, "Tan"},
    {0xFF008080, "Teal"},
    {0xFFD8BFD8, "Thistle"},
    {0xFFFF6347, "Tomato"},
    {0xFF40E0D0, "Turquoise"},
    {0xFFEE82EE, "Violet"},
    {0xFFF5DEB3, "Wheat"},
    {0xFFFFFFFF, "White"},
    {0xFFF5F5F5, "Whitesmoke"},
    {0xFFFFFF00, "Yellow"},
    {0xFF9ACD32, "Yellowgreen"},
    {0x00000000, "Null"},
}};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) {
             return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
           };
           return lower(x) == lower(y);
         });
}

// The names the enumeration reports, with their Lab colours, worked out once:
// naming a level then costs 148 distance computations, not 148 conversions.
struct TNamedLab {
  TLabColor Lab;
  std::string Name;
};
const std::vector<TNamedLab> &EnumeratedLab() {
  static const std::vector<TNamedLab> list = [] {
    std::vector<TNamedLab> result;
    result.reserve(NamedColorCount);
    EnumerateColorNames([&](std::uint32_t argb, const std::string &name) {
      result.push_back({ColorToLab(argb), name});
    });
    return result;
  }();
  return list;
}

} // namespace

float ColorDetail::ChannelToLinear(unsigned channel) {
  return static_cast<float>(std::pow(channel / 255.0, 1.0 / 0.45));
}

TLabColor ColorDetail::LinearToLab(float r, float g, float b) {
  const float x = M[0][0] * r + M[0][1] * g + M[0][2] * b;
  const float y = M[1][0] * r + M[1][1] * g + M[1][2] * b;
  const float z = M[2][0] * r + M[2][1] * g + M[2][2] * b;
  const double fx = LabF(x / Xn), fy = LabF(y / Yn), fz = LabF(z / Zn);
  return {RoundClamp(116.0 * fy - 16.0, 0, 100), RoundClamp(500.0 * (fx - fy), -128, 127),
          RoundClamp(200.0 * (fy - fz), -128, 127)};
}

TLabColor ColorToLab(std::uint32_t argb) {
  return ColorDetail::LinearToLab(ColorDetail::ChannelToLinear((argb >> 16) & 0xFF),
                                  ColorDetail::ChannelToLinear((argb >> 8) & 0xFF),
                                  ColorDetail::ChannelToLinear(argb & 0xFF));
}

std::uint32_t LabToColor(const TLabColor &lab) {
  const double fy = (lab.L + 16) / 116.0;
  const double fx = lab.a / 500.0 + fy;
  const double fz = fy - lab.b / 200.0;
  const float xyz[3] = {static_cast<float>(LabInverseF(fx)) * Xn,
                        static_cast<float>(LabInverseF(fy)) * Yn,
                        static_cast<float>(LabInverseF(fz)) * Zn};
  std::uint32_t result = 0xFF000000u;
  for (int i = 0; i < 3; ++i) {
    const float linear =
        MInverse.V[i][0] * xyz[0] + MInverse.V[i][1] * xyz[1] + MInverse.V[i][2] * xyz[2];
    if (linear > 0) {
      const auto channel = static_cast<std::uint32_t>(
          RoundClamp(std::pow(static_cast<double>(linear), 0.45) * 255.0, 0, 255));
      result |= channel << (16 - 8 * i);
    }
  }
  return result;
}

std::int32_t LabDistance(const TLabColor &a, const TLabColor &b) {
  const std::int32_t dl = a.L - b.L, da = (a.a - b.a) / 3, db = (a.b - b.b) / 3;
  return dl * dl + da * da + db * db;
}

std::int32_t ClusterDistance(const TLabColor &sumA, std::int32_t n, const TLabColor &sumB,
                             std::int32_t m) {
  const std::int32_t dl = sumA.L / n - sumB.L / m;
  const std::int32_t da = (sumA.a / n - sumB.a / m) / 3;
  const std::int32_t db = (sumA.b / n - sumB.b / m) / 3;
  return dl * dl + da * da + db * db;
}

const std::array<TNamedColor, NamedColorCount> &NamedColors() { return Table; }

std::optional<std::uint32_t> FindNamedColor(std::string_view name) {
  for (const auto &entry : Table)
    if (SameIgnoringCase(entry.Name, name))
      return entry.Value;
  return std::nullopt;
}

bool TColorScanner::Scan(const std::string &identifier) const {
  const auto value = FindNamedColor(identifier);
  if (!value)
    return false;
  if (Call)
    Call(*value, identifier);
  return true;
}

void EnumerateColorNames(const std::function<void(std::uint32_t, const std::string &)> &proc) {
  TColorScanner scanner;
  scanner.Call = proc;
  for (const auto &entry : Table) {
    const auto first = std::find_if(Table.begin(), Table.end(),
                                    [&](const TNamedColor &e) { return e.Value == entry.Value; });
    scanner.Scan(first->Name);
  }
}

std::string NearestColorName(const TLabColor &lab) {
  const auto &names = EnumeratedLab();
  const TNamedLab *best = &names.front();
  std::int32_t bestDistance = LabDistance(best->Lab, lab);
  for (const auto &entry : names) {
    const std::int32_t distance = LabDistance(entry.Lab, lab);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = &entry;
    }
  }
  return best->Name;
}

void GenerateName(TLevel &level, const TLabColor &lab) {
  level.SetLabColor(lab);
  const auto darker = static_cast<std::int32_t>(std::nearbyint(lab.L * 0.9));
  level.SetColor(LabToColor({darker, lab.a, lab.b}));
  level.SetName(NearestColorName(lab));
}
