#include "SvgPath.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <string>

#include "SvgText.h"
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

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool StartsNumber(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+'; }

// Numbers each argument set of a command holds.
int ArgumentCount(char letter) {
  switch (letter | 0x20) {
  case 'm':
  case 'l':
  case 't':
    return 2;
  case 'h':
  case 'v':
    return 1;
  case 'c':
    return 6;
  case 's':
  case 'q':
    return 4;
  case 'a':
    return 7;
  default:
    return 0;
  }
}

// Reads path data as SVG's path grammar does: every command but Z takes any
// number of argument sets, numbers may follow each other without separators
// where that is unambiguous, and arc flags are single digits. Commas and
// blanks are allowed anywhere between numbers. At the first error the
// reading stops; everything before the argument set that failed stays
// drawn, as SVG renderers draw it.
class TPathDataReader {
public:
  TPathDataReader(TSvgPath &path, std::string_view text) : FPath(path), FText(text) {}

  std::string Run() {
    SkipSeparators();
    while (FPos < FText.size()) {
      const char letter = FText[FPos];
      if (CommandLetters.find(letter) == std::string_view::npos)
        return Quote(FPos) + " is not a path command";
      ++FPos;
      if (!Execute(letter))
        return FProblem;
      SkipSeparators();
    }
    return {};
  }

private:
  void SkipSeparators() {
    while (FPos < FText.size() && (IsSpace(FText[FPos]) || FText[FPos] == ','))
      ++FPos;
  }

  // The text at pos as the message shows it: up to the next blank, at most
  // a dozen bytes, never half a UTF-8 character.
  std::string Quote(std::size_t pos) const {
    std::size_t end = pos;
    while (end < FText.size() && end - pos < 12 && !IsSpace(FText[end]))
      ++end;
    if (end < FText.size())
      while (end > pos + 1 && (static_cast<unsigned char>(FText[end]) & 0xC0) == 0x80)
        --end;
    std::string text(FText.substr(pos, end - pos));
    for (char &c : text)
      if (static_cast<unsigned char>(c) < ' ' || c == 0x7F)
        c = '?';
    return "\"" + text + "\" at character " + std::to_string(pos + 1);
  }

  bool Fail(std::string problem) {
    FProblem = std::move(problem);
    return false;
  }

  bool Expected(char letter, const char *what) {
    if (FPos >= FText.size())
      return Fail(std::string("the data ends where ") + letter + " expects " + what);
    return Fail(Quote(FPos) + ", where " + letter + " expects " + what);
  }

  bool Number(char letter, float &value) {
    SkipSeparators();
    const std::size_t start = FPos;
    double number = 0;
    switch (ScanSvgNumber(FText, FPos, number)) {
    case nsNone:
      return Expected(letter, "a number");
    case nsOutOfRange:
      return Fail("the number " + Quote(start) + " is out of range");
    case nsNumber:
      break;
    }
    value = static_cast<float>(number);
    return true;
  }

  bool Flag(char letter, float &value) {
    SkipSeparators();
    if (FPos >= FText.size() || (FText[FPos] != '0' && FText[FPos] != '1'))
      return Expected(letter, "an arc flag (0 or 1)");
    value = FText[FPos++] == '1' ? 1.0f : 0.0f;
    return true;
  }

  bool MoreArguments() {
    SkipSeparators();
    return FPos < FText.size() && StartsNumber(FText[FPos]);
  }

  void CheckSize() const {
    if (FPath.Entries().size() > MaxSvgPathEntries)
      throw TReadError("The path data is too long");
  }

  bool Execute(char letter) {
    if (letter == 'Z' || letter == 'z') {
      FPath.ClosePath();
      FPath.EndCommand();
      FQuadControlSet = false;
      CheckSize();
      if (MoreArguments())
        return Fail(Quote(FPos) + ": " + letter + " takes no numbers");
      return true;
    }
    const int count = ArgumentCount(letter);
    bool first = true;
    do {
      float a[7] = {};
      for (int i = 0; i < count; ++i) {
        const bool flag = (letter == 'A' || letter == 'a') && (i == 3 || i == 4);
        if (!(flag ? Flag(letter, a[i]) : Number(letter, a[i])))
          return false;
      }
      Draw(letter, a, first);
      FPath.EndCommand();
      // T reflects the control point of a quadratic curve just before it.
      FQuadControlSet = (letter | 0x20) == 'q' || (letter | 0x20) == 't';
      CheckSize();
      first = false;
    } while (MoreArguments());
    return true;
  }

  // One complete argument set of a command.
  void Draw(char letter, const float (&a)[7], bool first) {
    const TPointF p{a[0], a[1]};
    switch (letter) {
    case 'M':
      first ? FPath.MoveTo(p) : FPath.LineTo(p);
      break;
    case 'm':
      first ? FPath.MoveToRel(p) : FPath.LineToRel(p);
      break;
    case 'L':
      FPath.LineTo(p);
      break;
    case 'l':
      FPath.LineToRel(p);
      break;
    case 'H':
      FPath.HLineTo(a[0]);
      break;
    case 'h':
      FPath.HLineToRel(a[0]);
      break;
    case 'V':
      FPath.VLineTo(a[0]);
      break;
    case 'v':
      FPath.VLineToRel(a[0]);
      break;
    case 'C':
      FPath.CurveTo(p, {a[2], a[3]}, {a[4], a[5]});
      break;
    case 'c':
      FPath.CurveToRel(p, {a[2], a[3]}, {a[4], a[5]});
      break;
    case 'S':
      FPath.SmoothCurveTo(p, {a[2], a[3]});
      break;
    case 's':
      FPath.SmoothCurveToRel(p, {a[2], a[3]});
      break;
    case 'A':
    case 'a': {
      TPointF end{a[5], a[6]};
      if (letter == 'a')
        end = Add(FPath.LastPoint(), end);
      FPath.EllipticalArc(p, a[2], a[3] == 1.0f, a[4] == 1.0f, end);
      break;
    }
    case 'Q':
    case 'q':
    case 'T':
    case 't': {
      const TPointF start = FPath.LastPoint();
      const bool relative = letter == 'q' || letter == 't';
      const bool smooth = letter == 'T' || letter == 't';
      TPointF control = relative ? Add(start, p) : p;
      TPointF end = relative ? Add(start, TPointF{a[2], a[3]}) : TPointF{a[2], a[3]};
      if (smooth) {
        end = control;
        control = FQuadControlSet ? Add(start, Sub(start, FQuadControl)) : start;
      }
      FQuadControl = control;
      FPath.QuadTo(control, end);
      break;
    }
    default:
      break;
    }
  }

  TSvgPath &FPath;
  std::string_view FText;
  std::size_t FPos = 0;
  std::string FProblem;
  // The control point of the last quadratic curve, while the command just
  // read was one.
  TPointF FQuadControl;
  bool FQuadControlSet = false;
};

} // namespace

std::string TSvgPath::SetData(std::string_view text) {
  Clear();
  FCommandEnds.clear();
  return TPathDataReader(*this, text).Run();
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

void TSvgPath::QuadTo(TPointF control, TPointF end) {
  // A quadratic curve is exactly the cubic whose control points lie two
  // thirds of the way from each end towards its one control point.
  const TPointF start = LastPoint();
  const auto twoThirds = [](TPointF from, TPointF to) {
    return TPointF{from.X + (to.X - from.X) * 2 / 3, from.Y + (to.Y - from.Y) * 2 / 3};
  };
  CurveTo(twoThirds(start, control), twoThirds(end, control), end);
}

void TSvgPath::SmoothCurveToRel(TPointF c2, TPointF e) {
  if (FEntries.size() >= 3)
    CurveToRel(Sub(FEntries.back().Point, FEntries[FEntries.size() - 2].Point), c2, e);
  else
    CurveToRel(c2, c2, e);
}

void TSvgPath::EllipticalArc(TPointF radii, float rotation, bool largeArc, bool sweep,
                             TPointF end) {
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

void TSvgPath::ApplyMatrix(const TMatrix &m) {
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

namespace {

struct TSegment {
  // Directions at the start and at the end; zero when the segment has no
  // length.
  TPointF Out, In;
  TPointF End;
  bool Close = false;
};

bool IsZero(TPointF d) { return d.X == 0 && d.Y == 0; }

// The first of the candidates that has a length.
TPointF FirstDirection(std::initializer_list<TPointF> candidates) {
  for (const TPointF d : candidates)
    if (!IsZero(d))
      return d;
  return {0, 0};
}

double DirectionAngle(TPointF d) {
  return std::atan2(static_cast<double>(d.Y), static_cast<double>(d.X)) * 180 / std::numbers::pi;
}

// The bisector of the ways in and out, either of which may be missing.
float Bisector(std::optional<TPointF> in, std::optional<TPointF> out) {
  if (in && IsZero(*in))
    in.reset();
  if (out && IsZero(*out))
    out.reset();
  if (!in && !out)
    return 0;
  if (!in || !out)
    return static_cast<float>(DirectionAngle(in ? *in : *out));
  const double a = DirectionAngle(*in);
  double b = DirectionAngle(*out);
  if (b - a > 180)
    b -= 360;
  else if (a - b > 180)
    b += 360;
  return static_cast<float>((a + b) / 2);
}

} // namespace

std::vector<TSvgVertex> TSvgPath::Vertices() const {
  // Commands as the reader saw them, or one per entry (curves in threes)
  // for shapes built point by point.
  std::vector<std::size_t> ends = FCommandEnds;
  if (ends.empty())
    for (std::size_t i = 0; i < FEntries.size(); i += FEntries[i].Kind == pcCurve ? 3 : 1)
      ends.push_back(std::min(FEntries.size(), i + (FEntries[i].Kind == pcCurve ? 3 : 1)));

  std::vector<TSvgVertex> vertices;
  std::vector<TSegment> subpath;
  TPointF start, current;
  bool open = false;
  // A subpath's vertices once all its segments are known. Zero-length
  // segments borrow the direction of the segment before them, then after.
  const auto finish = [&] {
    if (!open)
      return;
    open = false;
    TPointF last{0, 0};
    for (auto &segment : subpath) {
      if (IsZero(segment.Out))
        segment.Out = segment.In = last;
      last = segment.In;
    }
    TPointF next{0, 0};
    for (auto it = subpath.rbegin(); it != subpath.rend(); ++it) {
      if (IsZero(it->Out))
        it->Out = it->In = next;
      next = it->Out;
    }
    const bool closed = !subpath.empty() && subpath.back().Close;
    std::optional<TPointF> firstOut;
    if (!subpath.empty())
      firstOut = subpath.front().Out;
    vertices.push_back(
        {start, Bisector(closed ? std::optional(subpath.back().In) : std::nullopt, firstOut)});
    for (std::size_t i = 0; i < subpath.size(); ++i) {
      std::optional<TPointF> out;
      if (i + 1 < subpath.size())
        out = subpath[i + 1].Out;
      else if (closed)
        out = firstOut;
      vertices.push_back({subpath[i].End, Bisector(subpath[i].In, out)});
    }
    subpath.clear();
  };

  std::size_t begin = 0;
  for (const std::size_t end : ends) {
    if (end <= begin || end > FEntries.size())
      continue;
    // An arc joins its first curve with a line from where the path is,
    // which has no length to speak of and must not set the direction.
    if (end - begin > 1 && FEntries[begin].Kind == pcLine && FEntries[begin + 1].Kind == pcCurve)
      ++begin;
    const TPathEntry &first = FEntries[begin];
    if (first.Kind == pcMove) {
      finish();
      start = current = FEntries[end - 1].Point;
      open = true;
    } else {
      if (!open) {
        // Drawing on after a close starts a new subpath where it closed.
        start = current;
        open = true;
      }
      TSegment segment;
      segment.End = FEntries[end - 1].Point;
      if (first.Kind == pcCurve && end - begin >= 3) {
        const TPointF c1 = FEntries[begin].Point, c2 = FEntries[begin + 1].Point;
        const TPointF e1 = FEntries[begin + 2].Point;
        segment.Out = FirstDirection({Sub(c1, current), Sub(c2, current), Sub(e1, current)});
        const TPointF d1 = FEntries[end - 3].Point, d2 = FEntries[end - 2].Point;
        const TPointF from = end - begin > 3 ? FEntries[end - 4].Point : current;
        segment.In =
            FirstDirection({Sub(segment.End, d2), Sub(segment.End, d1), Sub(segment.End, from)});
      } else {
        segment.Out = segment.In = Sub(segment.End, current);
      }
      segment.Close = first.Kind == pcClose;
      current = segment.End;
      subpath.push_back(segment);
      if (segment.Close)
        finish();
    }
    begin = end;
  }
  finish();
  return vertices;
}
