#include "Apertures.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>

#include "Calculator.h"
#include "core/Numbers.h"
#include "core/PathUtils.h"
#include "core/ReadResult.h"

using namespace ClipperLib;

namespace {

// Limits of what one definition may ask for. Real macros use a handful of
// vertices and rings; these only stop a hostile file from asking for billions.
constexpr int MaxPolygonVertices = 1000;
constexpr int MaxMoireRings = 1000;
constexpr std::size_t MaxApertureParameters = 10000;

[[noreturn]] void Fail(const std::string &what) { throw std::runtime_error(what); }

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t next = text.find(separator, start);
    if (next == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, next - start));
    start = next + 1;
  }
}

// A value rounded half to even that must fit a 32-bit integer.
std::int32_t RoundInt32(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max()))
    Fail("a size or position out of range");
  return static_cast<std::int32_t>(rounded);
}

// One evaluated primitive: its field values and the unit factor.
struct TPrimitive {
  std::vector<double> Fields;
  double UnitFactor;

  double Field(std::size_t k) const {
    if (k >= Fields.size())
      Fail("a macro primitive lacks fields");
    return Fields[k];
  }
  // Positions, sizes and distances in internal units.
  std::int32_t P(std::size_t k) const { return RoundInt32(Field(k) * UnitFactor); }
  TIntPoint Point(std::size_t kx) const { return TIntPoint(P(kx), P(kx + 1)); }
  double Rotation(std::size_t k) const {
    // Single precision holds the angle: anything it cannot hold is no rotation.
    const double degrees = Field(k);
    if (!(std::fabs(degrees) <= 1e30))
      Fail("a macro rotation out of range");
    return degrees;
  }
};

TPaths MoireShape(const TPrimitive &p, TWorkBudget &budget) {
  const TIntPoint centre = p.Point(1);
  const std::int64_t outer = p.P(3), thickness = p.P(4), gap = p.P(5);
  const std::int32_t rings = RoundInt32(p.Field(6));
  const std::int64_t crossThickness = p.P(7), crossLength = p.P(8);
  if (rings > MaxMoireRings)
    Fail("a moire with more than " + std::to_string(MaxMoireRings) + " rings");
  TPaths shape;
  for (std::int64_t i = 0; i < rings; ++i) {
    const std::int64_t diameter = outer - 2 * i * (thickness + gap);
    // Diameters that no longer shrink would repeat the same ring; once they
    // reach zero every later ring is empty as well.
    if (diameter <= 0 && thickness + gap >= 0)
      break;
    const std::int64_t inner = diameter - 2 * thickness;
    if (diameter > std::numeric_limits<std::int32_t>::max() ||
        inner > std::numeric_limits<std::int32_t>::max())
      Fail("a moire ring out of range");
    const TPaths ring = CircleShape(diameter, centre);
    const TPaths hole = CircleShape(inner, centre);
    budget.Charge(1 + static_cast<std::int64_t>((ring.empty() ? 0 : ring[0].size()) +
                                                (hole.empty() ? 0 : hole[0].size())));
    AddShape(shape, ring, true, 0);
    AddShape(shape, hole, false, 0);
  }
  AddShape(shape, RectangleShape(crossLength, crossThickness, centre), true, 0);
  AddShape(shape, RectangleShape(crossThickness, crossLength, centre), true, 0);
  return shape;
}

TPaths ThermalShape(const TPrimitive &p) {
  const TIntPoint centre = p.Point(1);
  const std::int64_t outer = p.P(3), inner = p.P(4), gap = p.P(5);
  TPaths shape = CircleShape(outer, centre);
  AddShape(shape, CircleShape(inner, centre), false, 0);
  AddShape(shape, RectangleShape(outer, gap, centre), false, 0);
  AddShape(shape, RectangleShape(gap, outer, centre), false, 0);
  return shape;
}

TPaths OutlineShape(const TPrimitive &p, double &rotation) {
  const std::size_t count = p.Fields.size();
  const double n = p.Field(2);
  if (!(2 * n == static_cast<double>(count) - 6) || count < 6 || (count - 6) % 2 != 0)
    Fail("the outline primitive's point count does not match its fields");
  const std::size_t points = (count - 6) / 2 + 1;
  TPath path;
  path.reserve(points);
  for (std::size_t k = 0; k < points; ++k)
    path.push_back(p.Point(3 + 2 * k));
  rotation = p.Rotation(count - 1);
  return {path};
}

// Builds one primitive; rotation receives its rotation field.
TPaths PrimitiveShape(const TPrimitive &p, int code, double &rotation, TWorkBudget &budget) {
  switch (code) {
  case 1:
    rotation = p.Fields.size() == 5 ? 0 : p.Rotation(5);
    return CircleShape(p.P(2), p.Point(3));
  case 2:
  case 20:
    rotation = p.Rotation(7);
    return LineShape(p.P(2), p.Point(3), p.Point(5));
  case 21:
    rotation = p.Rotation(6);
    return RectangleShape(p.P(2), p.P(3), p.Point(4));
  case 22: {
    rotation = p.Rotation(6);
    const std::int64_t w = p.P(2), h = p.P(3);
    const TIntPoint corner = p.Point(4);
    return RectangleShape(w, h, TIntPoint(corner.X + w / 2, corner.Y + h / 2));
  }
  case 4:
    return OutlineShape(p, rotation);
  case 5: {
    rotation = p.Rotation(6);
    const std::int32_t vertices = RoundInt32(p.Field(2));
    if (vertices > MaxPolygonVertices)
      Fail("a polygon with more than " + std::to_string(MaxPolygonVertices) + " vertices");
    return PolygonShape(vertices, p.P(5), p.Point(3));
  }
  case 6:
    rotation = p.Rotation(9);
    return MoireShape(p, budget);
  case 7:
    rotation = p.Rotation(6);
    return ThermalShape(p);
  default:
    Fail("unknown macro primitive");
  }
}

} // namespace

TPaths CircleShape(std::int64_t diameter, TIntPoint centre) {
  if (diameter <= 0)
    return {};
  TOffsetter offsetter;
  offsetter.Add(TPath{centre}, jtRound, etOpenRound);
  return offsetter.Execute(static_cast<double>((diameter + 1) / 2));
}

TPaths LineShape(std::int64_t width, TIntPoint from, TIntPoint to) {
  if (width <= 0)
    return {};
  TOffsetter offsetter;
  offsetter.Add(TPath{from, to}, jtSquare, etOpenButt);
  return offsetter.Execute(static_cast<double>((width + 1) / 2));
}

TPaths RectangleShape(std::int64_t width, std::int64_t height, TIntPoint centre) {
  if (width <= 0 || height <= 0)
    return {};
  const std::int64_t hw = (width + 1) / 2, hh = (height + 1) / 2;
  return {{TIntPoint(centre.X - hw, centre.Y - hh), TIntPoint(centre.X + hw, centre.Y - hh),
           TIntPoint(centre.X + hw, centre.Y + hh), TIntPoint(centre.X - hw, centre.Y + hh)}};
}

TPaths PolygonShape(int vertices, std::int64_t diameter, TIntPoint centre) {
  if (diameter <= 0 || vertices < 3)
    return {};
  const double r = static_cast<double>((diameter + 1) / 2);
  TPath path;
  path.reserve(static_cast<std::size_t>(vertices));
  for (int k = 0; k < vertices; ++k) {
    const double a = 2 * k * std::numbers::pi / vertices;
    path.emplace_back(RoundUnit(static_cast<double>(centre.X) + r * std::cos(a)),
                      RoundUnit(static_cast<double>(centre.Y) + r * std::sin(a)));
  }
  return {path};
}

TMacroTable StandardMacros() {
  TMacroTable macros;
  DefineMacro(macros, "C*1,1,$1,0,0,0*1,0,$2,0,0,0");
  DefineMacro(macros, "P*5,1,$2,0,0,$1,$3*1,0,$4,0,0");
  DefineMacro(macros, "R*21,1,$1,$2,0,0,0*1,0,$3,0,0");
  DefineMacro(macros, "O*$4=$1v$2*21,1,$1,$2-$4,0,0,0*21,1,$1-$4,$2,0,0,0*"
                      "1,1,$4,($1-$4)/2,($2-$4)/2,0*1,1,$4,($4-$1)/2,($4-$2)/2,0*1,0,$3,0,0");
  return macros;
}

void DefineMacro(TMacroTable &macros, std::string_view text) {
  const std::size_t star = text.find('*');
  if (star == std::string_view::npos)
    Fail("the macro has no * after its name");
  std::string name(text.substr(0, star));
  std::string body(text.substr(star + 1));
  std::transform(body.begin(), body.end(), body.begin(), [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  });
  std::vector<std::string> primitives;
  for (const auto part : Split(body, '*'))
    primitives.emplace_back(part);
  if (!macros.emplace(std::move(name), std::move(primitives)).second)
    Fail("the macro name is already in use");
}

void DefineAperture(TApertureContext &context, std::string_view text) {
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
    ++digits;
  const auto parsed = ParseInteger<std::int32_t>(text.substr(0, digits));
  if (!parsed)
    Fail("the aperture definition has no D code, or one too large");
  const std::int32_t code = *parsed;
  if (code < 10)
    Fail("aperture D codes start at D10");

  std::string_view rest = text.substr(digits);
  std::string_view name = rest;
  TVariables variables;
  const std::size_t comma = rest.find(',');
  if (comma != std::string_view::npos) {
    name = rest.substr(0, comma);
    const auto pieces = Split(rest.substr(comma + 1), 'X');
    if (pieces.size() > MaxApertureParameters)
      Fail("more than " + std::to_string(MaxApertureParameters) + " aperture parameters");
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      double value = 0;
      if (!ParseDecimal(pieces[i], value))
        value = 0;
      variables[static_cast<std::int32_t>(i + 1)] = value;
    }
  }
  const auto macro = context.Macros.find(name);
  if (macro == context.Macros.end())
    Fail("unknown aperture template \"" + std::string(name) + "\"");

  TShapeMerger aperture(context.Merge);
  for (const std::string &primitive : macro->second) {
    try {
      // A body closed by "*" twice ("...*" then "*%") leaves an empty
      // primitive: it holds nothing to draw.
      if (primitive.empty())
        continue;
      // Evaluating long expressions for many apertures is work as well.
      context.Budget.Charge(1 + static_cast<std::int64_t>(primitive.size() / 8));
      if (primitive[0] == '$') {
        const std::size_t equals = primitive.find('=');
        const auto number =
            equals == std::string::npos
                ? std::nullopt
                : ParseInteger<std::int32_t>(std::string_view(primitive).substr(1, equals - 1));
        if (!number)
          Fail("a macro variable definition without = or number");
        variables[*number] = Calculate(std::string_view(primitive).substr(equals + 1), variables);
        continue;
      }
      if (primitive[0] == '0')
        continue;
      TPrimitive p{{}, context.UnitFactor};
      for (const auto field : Split(primitive, ','))
        p.Fields.push_back(Calculate(field, variables));
      const double codeValue = p.Fields[0];
      if (!(std::fabs(codeValue) < 1e6))
        Fail("unknown macro primitive");
      const int primitiveCode = static_cast<int>(std::nearbyint(codeValue));
      // Moire and thermal have no exposure field and are always on.
      const bool exposure = primitiveCode == 6 || primitiveCode == 7 || p.Field(1) == 1.0;
      double rotation = 0;
      TPaths shape = PrimitiveShape(p, primitiveCode, rotation, context.Budget);
      std::int64_t points = 0;
      for (const auto &path : shape)
        points += static_cast<std::int64_t>(path.size());
      context.Budget.Charge(points);
      if (rotation != 0)
        shape = TransformPaths(shape, TMatrix::SingleRotation(rotation));
      aperture.Add(std::move(shape), exposure);
    } catch (const TReadError &) {
      throw;
    } catch (const std::runtime_error &error) {
      // Name the file's own macro and the primitive: the AD line alone does
      // not show them. The standard shapes speak for themselves.
      if (name == "C" || name == "R" || name == "O" || name == "P")
        throw;
      Fail("macro \"" + std::string(name) + "\", primitive \"" + primitive + "\": " + error.what());
    }
  }
  // Files that repeat a definition mean the later one (gerbv reads them so).
  context.Apertures.insert_or_assign(code, std::move(aperture.Image()));
}
