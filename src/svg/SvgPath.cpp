#include "SvgPath.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "core/ReadResult.h"

namespace {

// Double to float without undefined behaviour: beyond the float range the
// value becomes an infinity, which the reader's range check then refuses.
float ToFloat(double value) {
  constexpr double largest = std::numeric_limits<float>::max();
  if (value > largest)
    return std::numeric_limits<float>::infinity();
  if (value < -largest)
    return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

TPointF Add(TPointF a, TPointF b) { return {a.X + b.X, a.Y + b.Y}; }
TPointF Sub(TPointF a, TPointF b) { return {a.X - b.X, a.Y - b.Y}; }

constexpr std::string_view CommandLetters = "zmlchvsqtaZMLCHVSQTA";

class TPathDataReader {
public:
  TPathDataReader(TSvgPath &path, std::string text) : FPath(path), FText(std::move(text)) {}

  void Run() {
    bool moved = true;
    while (FPos < FText.size() && moved) {
      const std::size_t before = FPos;
      SkipSpaces();
      const std::size_t runStart = FPos;
      while (FPos < FText.size() && CommandLetters.find(FText[FPos]) != std::string_view::npos)
        ++FPos;
      const std::string run = FText.substr(runStart, FPos - runStart);
      for (const char letter : run)
        Execute(letter);
      moved = FPos != before;
    }
  }

private:
  void SkipSpaces() {
    while (FPos < FText.size() && FText[FPos] == ' ')
      ++FPos;
  }
  void SkipSpacesAndCommas() {
    while (FPos < FText.size() && (FText[FPos] == ' ' || FText[FPos] == ','))
      ++FPos;
  }
  bool MoreArguments() const {
    return FPos < FText.size() && ((FText[FPos] >= '0' && FText[FPos] <= '9') || FText[FPos] == '-');
  }

  float Number() {
    SkipSpaces();
    std::string number;
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      if ((c >= '0' && c <= '9') || c == '.')
        number += c;
      else if (c == 'e' || c == 'E')
        number += 'E';
      else if (c == '-' && (number.empty() || number.back() == 'E'))
        number += c;
      else
        break;
      ++FPos;
    }
    SkipSpaces();
    return Convert(number);
  }

  static float Convert(const std::string &number) {
    double value = 0;
    const char *first = number.data();
    const char *last = number.data() + number.size();
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    // Only digits, ".", "E" and "-" reach here, so from_chars cannot read a
    // word such as "inf"; a value a float cannot hold is refused like a
    // malformed one.
    if (number.empty() || error != std::errc() || end != last ||
        std::fabs(value) > std::numeric_limits<float>::max())
      throw TReadError("'" + number + "' is not a valid floating point value");
    return static_cast<float>(value);
  }

  TPointF Point() {
    if (FPos >= FText.size())
      return {};
    SkipSpacesAndCommas();
    const float x = Number();
    SkipSpacesAndCommas();
    const float y = Number();
    SkipSpacesAndCommas();
    return {x, y};
  }

  void CheckSize() const {
    if (FPath.Entries().size() > MaxSvgPathEntries)
      throw TReadError("The path data is too long");
  }

  void Execute(char letter) {
    switch (letter) {
    case 'M':
      FPath.MoveTo(Point());
      while (MoreArguments()) {
        FPath.LineTo(Point());
        CheckSize();
      }
      break;
    case 'm':
      FPath.MoveToRel(Point());
      while (MoreArguments()) {
        FPath.LineToRel(Point());
        CheckSize();
      }
      break;
    case 'L':
    case 'l':
      do {
        letter == 'L' ? FPath.LineTo(Point()) : FPath.LineToRel(Point());
        CheckSize();
      } while (MoreArguments());
      break;
    case 'H':
      FPath.HLineTo(Number());
      break;
    case 'h':
      FPath.HLineToRel(Number());
      break;
    case 'V':
      FPath.VLineTo(Number());
      break;
    case 'v':
      FPath.VLineToRel(Number());
      break;
    case 'C':
    case 'c':
      do {
        const TPointF c1 = Point();
        const TPointF c2 = Point();
        const TPointF e = Point();
        letter == 'C' ? FPath.CurveTo(c1, c2, e) : FPath.CurveToRel(c1, c2, e);
        CheckSize();
      } while (MoreArguments());
      break;
    case 'S':
    case 's':
      do {
        const TPointF c2 = Point();
        const TPointF e = Point();
        letter == 'S' ? FPath.SmoothCurveTo(c2, e) : FPath.SmoothCurveToRel(c2, e);
        CheckSize();
      } while (MoreArguments());
      break;
    case 'A':
    case 'a': {
      const TPointF radii = Point();
      const float rotation = Number();
      const TPointF flags = Point();
      TPointF end = Point();
      if (letter == 'a')
        end = Add(FPath.LastPoint(), end);
      FPath.EllipticalArc(radii, rotation, flags.X == 1.0f, flags.Y == 1.0f, end);
      CheckSize();
      break;
    }
    case 'Z':
    case 'z':
      FPath.ClosePath();
      CheckSize();
      break;
    case 'Q':
    case 'q':
      // Quadratic curves are mapped to smooth cubic ones before the data
      // gets here; their numbers are only stepped over.
      Point();
      Point();
      break;
    case 'T':
    case 't':
      Point();
      break;
    default:
      break;
    }
  }

  TSvgPath &FPath;
  std::string FText;
  std::size_t FPos = 0;
};

} // namespace

void TSvgPath::SetData(std::string_view text) {
  std::string data(text);
  std::replace_if(
      data.begin(), data.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  Clear();
  TPathDataReader(*this, std::move(data)).Run();
}

void TSvgPath::HLineTo(float x) { LineTo({x, LastPoint().Y}); }
void TSvgPath::HLineToRel(float dx) { LineToRel({dx, 0}); }
void TSvgPath::VLineTo(float y) { LineTo({LastPoint().X, y}); }
void TSvgPath::VLineToRel(float dy) { LineToRel({0, dy}); }

void TSvgPath::SmoothCurveTo(TPointF c2, TPointF e) {
  TPointF c1 = c2;
  if (FEntries.size() >= 3) {
    const TPointF last = FEntries.back().Point;
    const TPointF before = FEntries[FEntries.size() - 2].Point;
    c1 = Add(last, Sub(last, before));
  }
  CurveTo(c1, c2, e);
}

void TSvgPath::SmoothCurveToRel(TPointF c2, TPointF e) {
  if (FEntries.size() >= 3)
    CurveToRel(Sub(FEntries.back().Point, FEntries[FEntries.size() - 2].Point), c2, e);
  else
    CurveToRel(c2, c2, e);
}

void TSvgPath::EllipticalArc(TPointF radii, float rotation, bool largeArc, bool sweep, TPointF end) {
  const TPointF p1 = LastPoint();
  const TPointF p2 = end;
  if (p1 == p2)
    return;
  double rx = std::fabs(static_cast<double>(radii.X));
  double ry = std::fabs(static_cast<double>(radii.Y));
  const double phi = static_cast<double>(rotation) * std::numbers::pi / 180.0;
  const double cosPhi = std::cos(phi), sinPhi = std::sin(phi);

  // A zero radius makes the arc a straight line, as SVG draws it.
  if (!(rx > 0) || !(ry > 0)) {
    LineTo(p2);
    return;
  }
  const double dx = (static_cast<double>(p1.X) - p2.X) / 2;
  const double dy = (static_cast<double>(p1.Y) - p2.Y) / 2;
  const double x1 = cosPhi * dx + sinPhi * dy;
  const double y1 = -sinPhi * dx + cosPhi * dy;
  const double lambda = x1 * x1 / (rx * rx) + y1 * y1 / (ry * ry);
  if (lambda > 1) {
    rx *= std::sqrt(lambda);
    ry *= std::sqrt(lambda);
  }
  const double sign = largeArc == sweep ? -1.0 : 1.0;
  const double rx2 = rx * rx, ry2 = ry * ry;
  double q = (rx2 * ry2 - rx2 * y1 * y1 - ry2 * x1 * x1) / (rx2 * y1 * y1 + ry2 * x1 * x1);
  if (q < 0)
    q = 0;
  const double k = sign * std::sqrt(q);
  const double cx1 = k * rx * y1 / ry;
  const double cy1 = -k * ry * x1 / rx;
  const double cx = cosPhi * cx1 - sinPhi * cy1 + (static_cast<double>(p1.X) + p2.X) / 2;
  const double cy = sinPhi * cx1 + cosPhi * cy1 + (static_cast<double>(p1.Y) + p2.Y) / 2;

  const double ux = (x1 - cx1) / rx, uy = (y1 - cy1) / ry;
  const double vx = (-x1 - cx1) / rx, vy = (-y1 - cy1) / ry;
  const double lengthU = std::hypot(ux, uy), lengthV = std::hypot(vx, vy);
  double theta = std::acos(std::clamp(ux / lengthU, -1.0, 1.0));
  if (uy < 0)
    theta = -theta;
  double delta = std::acos(std::clamp((ux * vx + uy * vy) / (lengthU * lengthV), -1.0, 1.0));
  if (ux * vy - vx * uy < 0)
    delta = -delta;
  if (!sweep && delta > 0)
    delta -= 2 * std::numbers::pi;
  else if (sweep && delta < 0)
    delta += 2 * std::numbers::pi;

  // An arc that is a sliver of a huge ellipse is straight to within a
  // hundred-thousandth of its length, but single precision cannot place its
  // points around a far-away centre; so is anything that is not a number.
  constexpr double largest = std::numeric_limits<float>::max() / 4;
  if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(theta) || !std::isfinite(delta) ||
      std::fabs(delta) < 1e-4 || rx > largest || ry > largest) {
    LineTo(p2);
    return;
  }

  const std::size_t first = FEntries.size();
  AddArc({0, 0}, {static_cast<float>(rx), static_cast<float>(ry)},
         static_cast<float>(theta * 180 / std::numbers::pi),
         static_cast<float>(delta * 180 / std::numbers::pi));
  for (std::size_t i = first; i < FEntries.size(); ++i) {
    TPointF &p = FEntries[i].Point;
    const double x = p.X, y = p.Y;
    p = {ToFloat(cosPhi * x - sinPhi * y + cx), ToFloat(sinPhi * x + cosPhi * y + cy)};
  }
  if (first == 0 && !FEntries.empty())
    FStart = FEntries.front().Point;
}

void TSvgPath::ApplyMatrix(const TSvgMatrix &m) {
  // Close entries carry the start of their figure, and flattening emits that
  // point: left untransformed it would add a stray point to every closed
  // figure of a transformed shape.
  for (auto &entry : FEntries)
    entry.Point = m.Apply(entry.Point);
  FStart = m.Apply(FStart);
}

bool TSvgPath::IsEmpty() const {
  if (FEntries.empty())
    return true;
  float minX = std::numeric_limits<float>::max(), minY = minX;
  float maxX = std::numeric_limits<float>::lowest(), maxY = maxX;
  for (const auto &entry : FEntries) {
    if (entry.Kind == pcClose)
      continue;
    minX = std::min(minX, entry.Point.X);
    minY = std::min(minY, entry.Point.Y);
    maxX = std::max(maxX, entry.Point.X);
    maxY = std::max(maxY, entry.Point.Y);
  }
  if (minX > maxX)
    return true;
  if (maxX - minX <= 0.001f)
    maxX = minX + 0.001f;
  if (maxY - minY <= 0.001f)
    maxY = minY + 0.001f;
  return (maxX - minX) * (maxY - minY) == 0;
}
