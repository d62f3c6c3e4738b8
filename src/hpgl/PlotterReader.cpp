#include "PlotterReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>
#include <numbers>
#include <utility>

#include "PlotterAreas.h"
#include "core/FileBytes.h"
#include "core/Numbers.h"
#include "core/PathData.h"
#include "core/PathUtils.h"
#include "core/TextDecoding.h"

namespace {

// ---------------------------------------------------------------------------
// Reading the text

constexpr char Etx = '\x03';

bool IsLetter(char c) { return c >= 'A' && c <= 'Z'; }

bool IsKept(char c) {
  return IsLetter(c) || (c >= '0' && c <= '9') || c == ',' || c == '-' || c == '.';
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char ToUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The length of the printer escape sequence at the start of text (which
// begins with ESC). Plot files sent to printers wrap the plot in PCL
// sequences (ESC %0B enters the plot, ESC %0A leaves it, ESC E resets), and
// old plotters take device-control sequences (ESC .( or ESC .I81;;17:).
// Their letters are no commands: read as such they would pair off with the
// letters of the commands that follow.
std::size_t EscapeLength(std::string_view text) {
  std::size_t i = 1;
  if (i == text.size())
    return i;
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  if (text[i] == '.') {
    // Device control: one character, then numbers and ";" up to an optional ":".
    i += 2;
    while (i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == ';'))
      ++i;
    if (i < text.size() && text[i] == ':')
      ++i;
    return std::min(i, text.size());
  }
  if (byte(i) < 0x21 || byte(i) > 0x2F)
    // Two characters (ESC E), or a stray ESC: only the ESC goes.
    return byte(i) >= 0x30 && byte(i) <= 0x7E ? 2 : 1;
  ++i;
  if (i < text.size() && byte(i) >= 0x60 && byte(i) <= 0x7E)
    ++i; // the group character
  // Values, each closed by a letter: lower case goes on, upper case ends.
  while (i < text.size()) {
    while (i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '-' ||
                               text[i] == '+' || text[i] == '.'))
      ++i;
    if (i == text.size())
      break;
    const unsigned char c = byte(i);
    if (c >= 0x40 && c <= 0x5E)
      return i + 1;
    if (c >= 0x60 && c <= 0x7E) {
      ++i;
      continue;
    }
    break;
  }
  return i;
}

struct TFilteredText {
  // Letters, digits, "," "-" "." "+" and ";", with every run of blanks as one " ".
  std::string Text;
  // Where each line after the first starts in Text.
  std::vector<std::size_t> LineStarts;

  int LineAt(std::size_t offset) const {
    return 1 + static_cast<int>(std::upper_bound(LineStarts.begin(), LineStarts.end(), offset) -
                                LineStarts.begin());
  }
};

// Only letters, digits, "," "-" "." "+" ";" and blanks survive; printer
// escape sequences and other control characters are dropped. Label text and quoted text are dropped
// here, before any parsing, so that a label can hold anything, commands included.
TFilteredText FilterPlotterText(std::string_view text) {
  enum TState { stNormal, stAfterD, stAfterL, stAfterB, stDefineTerminator, stLabel, stQuoted };
  TFilteredText filtered;
  std::string &out = filtered.Text;
  out.reserve(text.size());
  auto keep = [&out](char c) {
    if (IsKept(c) || c == '+' || c == ';')
      out.push_back(c);
    else if (IsBlank(c) && (out.empty() || out.back() != ' '))
      out.push_back(' ');
  };
  TState state = stNormal;
  char terminator = Etx;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char raw = text[i];
    if (raw == '\n' || (raw == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
      filtered.LineStarts.push_back(out.size());
    if (raw == '\x1B' && state != stLabel && state != stQuoted && state != stDefineTerminator) {
      i += EscapeLength(text.substr(i)) - 1;
      state = stNormal;
      continue;
    }
    const char c = ToUpper(raw);
    switch (state) {
    case stNormal:
      if (c == '"') {
        state = stQuoted;
        break;
      }
      keep(c);
      state = c == 'B' ? stAfterB : c == 'D' ? stAfterD : c == 'L' ? stAfterL : stNormal;
      break;
    case stAfterD:
      keep(c);
      state = c == 'T' ? stDefineTerminator : stNormal;
      break;
    case stAfterL:
      keep(c);
      state = c == 'B' ? stLabel : stNormal;
      break;
    case stAfterB:
      keep(c);
      state = c == 'L' ? stLabel : stNormal;
      break;
    case stDefineTerminator:
      terminator = c == ';' ? Etx : c;
      state = stNormal;
      break;
    case stLabel:
      if (c == terminator)
        state = stNormal;
      break;
    case stQuoted:
      if (c == '"')
        state = stNormal;
      break;
    }
  }
  return filtered;
}

// Splits a run of parameter text. A comma always ends a parameter, so
// empty pieces between commas, before the first and after the last read as
// 0 ("PD10,20," has three parameters); blanks and a sign after a number end
// one too, but a blank never makes an empty piece ("PA 10 , 20" has two).
void ReadParameters(std::string_view run, std::vector<float> &parameters) {
  std::string piece;
  // The last parameter ended at a blank or a sign: a comma right after it
  // only separates.
  bool ended = false;
  bool afterComma = false;
  auto endPiece = [&] {
    parameters.push_back(ParseFloatOrZero(piece));
    piece.clear();
  };
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  for (std::size_t i = 0; i < run.size(); ++i) {
    const char c = run[i];
    if (c == ',') {
      if (!piece.empty() || !ended)
        endPiece();
      ended = false;
      afterComma = true;
      continue;
    }
    // Only a sign that starts a number ends the one before it: "5-," stays
    // one malformed piece.
    const bool signAfterNumber = (c == '-' || c == '+') && !piece.empty() &&
                                 (piece.back() == '.' || isDigit(piece.back())) &&
                                 i + 1 < run.size() && (run[i + 1] == '.' || isDigit(run[i + 1]));
    if (c == ' ' || signAfterNumber) {
      if (!piece.empty()) {
        endPiece();
        ended = true;
        afterComma = false;
      }
      if (c == ' ')
        continue;
    }
    // A plus sign says nothing about the number.
    if (c == '+')
      continue;
    piece.push_back(c);
    afterComma = false;
    ended = false;
  }
  if (!piece.empty() || afterComma)
    endPiece();
}

// ---------------------------------------------------------------------------
// Executing the commands

// Plotters address ±2^30 units. Every integer the reader derives from a
// parameter is clamped to that range, so the user-scaling product of two
// differences stays below 2^62 and nothing can approach Clipper's limit.
constexpr double PlotterLimit = 1073741824.0;
// Parameters are clamped to this magnitude as they are used: no plot reaches
// that far, and it keeps sums and squares of coordinates far from overflow.
constexpr float ParameterLimit = 1e15f;
// Curves flatten to segments of about four plotter units (0.1 mm).
constexpr float PlotterFlatness = 4.0f;
// Unlimited input window.
constexpr std::int64_t WindowUnlimited = 0x1FFFFFFF;
// Work the flushes of one file may do, counted in flattened points; an area
// point costs 16, as it goes through three clipper operations (so about a
// million area points or 16 million line points a file). A plot flushes each
// point about once; only a file that edges or fills the same large polygon
// over and over comes near, and it is refused rather than left to run for
// hours or to fill memory with copies.
constexpr std::size_t FlushWorkBudget = std::size_t(1) << 24;
constexpr std::size_t AreaPointCost = 16;
// A filled polygon whose sweep would visit more edges than this is refused:
// the clipper takes a few seconds for 1e8 (a comb of 10000 teeth, a scribble
// of 1500 random strokes), and the time grows with the square beyond.
constexpr double MaxSweepWork = 1e8;
// The default P2 (and the unit of IR): 12200 plotter units, 305 mm. Fixed in
// plotter units like everything else in the file, so user-scaled drawings
// also keep their size when the internal unit changes.
constexpr std::int64_t DefaultP2 = 12200;
// A junk file reads as hundreds of different commands: a message names the first few.
constexpr std::size_t MaxUnsupportedNamed = 12;

std::int64_t RoundClamp(double value) {
  if (std::isnan(value))
    return 0;
  return RoundUnit(std::clamp(value, -PlotterLimit, PlotterLimit));
}

std::uint32_t DefaultColor(std::int32_t pen, bool fill) {
  static constexpr std::uint32_t lines[8] = {0xFF2F4F4F, 0xFF000000, 0xFF8B0000, 0xFF008000,
                                             0xFFA52A2A, 0xFF00008B, 0xFF8B008B, 0xFF008B8B};
  static constexpr std::uint32_t areas[8] = {0xFF808080, 0xFFA9A9A9, 0xFFFF0000, 0xFF00FF00,
                                             0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF};
  if (pen < 0 || pen > 7)
    return 0xFF000000;
  return fill ? areas[pen] : lines[pen];
}

enum TFlushMode : std::uint8_t { fmLines, fmEvenOdd, fmNonZero };

struct TPlotterOutput {
  std::int32_t Number = 0;
  std::uint32_t Color = 0xFF000000;
  bool Fill = false;
  std::vector<TPaths> Data;
  // What the pen has filled so far, for keeping its areas apart.
  TFilledAreas Filled;
};

class TPlotterInterpreter {
public:
  explicit TPlotterInterpreter(const TReadOptions &options) : FOptions(options) {
    FPen = 0;
    FPolygonMode = false;
    Initialize();
  }

  void Execute(const TPlotterCommand &command);
  // Shows a message when nothing came of the plot.
  TReadResult Finish();

private:
  using TParams = std::vector<float>;

  TPathData &Current() { return FPolygonMode ? FPolygonBuffer : FPenPath; }
  TPathData &Other() { return FPolygonMode ? FPenPath : FPolygonBuffer; }
  static float P(const TParams &p, std::size_t i) {
    return std::clamp(p[i], -ParameterLimit, ParameterLimit);
  }

  void Defaults();
  void Initialize();
  void InputP1P2(const TParams &p, double factor);
  void InputWindow(const TParams &p);
  void Scale(const TParams &p);
  void SetPenColor(const TParams &p);
  void Plot(const TParams &p, bool down, bool absolute);
  void Circle(const TParams &p);
  void Arc(const TParams &p, bool relative);
  void ThreePointArc(const TParams &p, bool relative);
  void Beziers(const TParams &p, bool relative);
  void Rectangle(const TParams &p, bool relative, bool filled);
  void Wedge(const TParams &p, bool filled);
  void PolygonMode(int n);

  void Flush(TPathData &path, TFlushMode mode);
  void Include(const TPaths &stored);
  // The construct a refusal names: "HP-GL line 12: FP".
  std::string Where() const;
  std::string NothingDrawnMessage() const;
  TReadResult Levels();
  TIntPoint UserToPlotter(const TIntPoint &p) const;
  TPlotterOutput &FindOrCreate(std::int32_t pen, bool fill);

  const TReadOptions &FOptions;
  std::int32_t FPen = 0;
  bool FDown = false;
  bool FAbsolute = true;
  bool FPolygonMode = false;
  TPathData FPenPath;
  TPathData FPolygonBuffer;
  TIntPoint FP1, FP2;
  bool FUserScaling = false;
  TIntPoint FUserMin, FUserMax;
  TIntPoint FWindowMin{-WindowUnlimited, -WindowUnlimited};
  TIntPoint FWindowMax{WindowUnlimited, WindowUnlimited};
  std::vector<TPlotterOutput> FOutputs;
  // Index into FOutputs by (pen, fill): a plot may select very many pens.
  std::map<std::pair<std::int32_t, bool>, std::size_t> FOutputIndex;
  std::size_t FCurvePointBudget = DefaultCurvePointBudget;
  std::size_t FWorkBudget = FlushWorkBudget;
  // The command being executed, and the last one that drew: the final flush
  // draws what that one left in the path.
  int FLine = 0;
  std::string FMnemonic;
  int FDrawLine = 0;
  std::string FDrawMnemonic;
  // Commands read but not carried out, in order of first appearance, and
  // whether anything was stored at all: a plot that draws nothing says why.
  std::vector<std::string> FUnsupported;
  bool FMoreUnsupported = false;
  bool FAnyPoint = false;
  // The extent of everything stored, in plotter units.
  ClipperLib::cInt FMinX = std::numeric_limits<ClipperLib::cInt>::max(), FMinY = FMinX;
  ClipperLib::cInt FMaxX = std::numeric_limits<ClipperLib::cInt>::min(), FMaxY = FMaxX;
};

std::string TPlotterInterpreter::Where() const {
  return "HP-GL line " + std::to_string(FLine) + ": " +
         (FMnemonic.empty() ? "the plot" : FMnemonic);
}

void TPlotterInterpreter::Defaults() {
  FAbsolute = true;
  FWindowMin = {-WindowUnlimited, -WindowUnlimited};
  FWindowMax = {WindowUnlimited, WindowUnlimited};
  FUserScaling = false;
  PolygonMode(0);
  PolygonMode(2);
}

void TPlotterInterpreter::Initialize() {
  Defaults();
  FP1 = {0, 0};
  FP2 = {DefaultP2, DefaultP2};
  FDown = false;
  FPenPath.MoveTo({0, 0});
}

// IP and IR (factor 122: IR gives P1 and P2 in per cent of 12200 units).
void TPlotterInterpreter::InputP1P2(const TParams &p, double factor) {
  Flush(Current(), fmLines);
  FUserScaling = false;
  const std::size_t k = p.size();
  if (k < 2) {
    FP1 = {0, 0};
    FP2 = {DefaultP2, DefaultP2};
  } else if (k < 4) {
    const double x = factor * P(p, 0), y = factor * P(p, 1);
    FP2 = {RoundClamp(x + static_cast<double>(FP2.X - FP1.X)),
           RoundClamp(y + static_cast<double>(FP2.Y - FP1.Y))};
    FP1 = {RoundClamp(x), RoundClamp(y)};
  } else {
    FP1 = {RoundClamp(factor * P(p, 0)), RoundClamp(factor * P(p, 1))};
    FP2 = {RoundClamp(factor * P(p, 2)), RoundClamp(factor * P(p, 3))};
  }
}

void TPlotterInterpreter::InputWindow(const TParams &p) {
  Flush(Current(), fmLines);
  if (p.size() < 4) {
    FWindowMin = {-WindowUnlimited, -WindowUnlimited};
    FWindowMax = {WindowUnlimited, WindowUnlimited};
    return;
  }
  TIntPoint a(RoundClamp(P(p, 0)), RoundClamp(P(p, 1)));
  TIntPoint b(RoundClamp(P(p, 2)), RoundClamp(P(p, 3)));
  if (FUserScaling) {
    a = UserToPlotter(a);
    b = UserToPlotter(b);
  }
  FWindowMin = a;
  FWindowMax = b;
}

// A scaling that cannot map (a zero range on an axis, a zero factor) would
// divide by zero: such an SC is ignored and the scaling in force stays.
void TPlotterInterpreter::Scale(const TParams &p) {
  Flush(Current(), fmLines);
  const std::size_t k = p.size();
  if (k < 4) {
    FUserScaling = false;
    return;
  }
  TIntPoint minimum, maximum;
  if (k >= 5 && p[4] == 2) {
    const double fx = P(p, 1), fy = P(p, 3);
    if (fx == 0 || fy == 0)
      return;
    minimum = {RoundClamp(P(p, 0)), RoundClamp(P(p, 2))};
    maximum = {RoundClamp(P(p, 0) + static_cast<double>(FP2.X - FP1.X) / fx),
               RoundClamp(P(p, 2) + static_cast<double>(FP2.Y - FP1.Y) / fy)};
  } else {
    minimum = {RoundClamp(P(p, 0)), RoundClamp(P(p, 2))};
    maximum = {RoundClamp(P(p, 1)), RoundClamp(P(p, 3))};
  }
  if (minimum.X == maximum.X || minimum.Y == maximum.Y)
    return;
  FUserMin = minimum;
  FUserMax = maximum;
  FUserScaling = true;
}

TIntPoint TPlotterInterpreter::UserToPlotter(const TIntPoint &p) const {
  // Both differences are within 2^31, so the product fits 64 bits.
  auto axis = [](std::int64_t v, std::int64_t umin, std::int64_t umax, std::int64_t p1,
                 std::int64_t p2) {
    const std::int64_t product = (v - umin) * (p2 - p1);
    return RoundClamp(static_cast<double>(p1) +
                      static_cast<double>(product) / static_cast<double>(umax - umin));
  };
  return {axis(p.X, FUserMin.X, FUserMax.X, FP1.X, FP2.X),
          axis(p.Y, FUserMin.Y, FUserMax.Y, FP1.Y, FP2.Y)};
}

void TPlotterInterpreter::SetPenColor(const TParams &p) {
  auto component = [&](std::size_t i) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(RoundClamp(P(p, i)), 0, 255));
  };
  const std::uint32_t color =
      0xFF000000u + component(1) * 65536 + component(2) * 256 + component(3);
  const auto pen = static_cast<std::int32_t>(RoundClamp(P(p, 0)));
  FindOrCreate(pen, false).Color = color;
  FindOrCreate(pen, true).Color = color;
}

void TPlotterInterpreter::Plot(const TParams &p, bool down, bool absolute) {
  TPathData &path = Current();
  for (std::size_t i = 0; i + 1 < p.size(); i += 2) {
    const TPointF q{P(p, i), P(p, i + 1)};
    if (down) {
      if (absolute)
        path.LineTo(q);
      else
        path.LineToRel(q);
    } else {
      if (absolute)
        path.MoveTo(q);
      else
        path.MoveToRel(q);
    }
  }
}

void TPlotterInterpreter::Circle(const TParams &p) {
  const TPointF c = Current().LastPoint();
  const float r = P(p, 0);
  if (FPolygonMode)
    PolygonMode(1);
  else
    Flush(Current(), fmLines);
  Current().AddEllipse(c.X - r, c.Y - r, c.X + r, c.Y + r);
  if (FPolygonMode)
    PolygonMode(1);
  else
    Flush(Current(), fmLines);
  Current().MoveTo(c);
}

void TPlotterInterpreter::Arc(const TParams &p, bool relative) {
  TPathData &path = Current();
  const TPointF c = path.LastPoint();
  const double cx = relative ? static_cast<double>(c.X) + P(p, 0) : P(p, 0);
  const double cy = relative ? static_cast<double>(c.Y) + P(p, 1) : P(p, 1);
  const double sweep = P(p, 2);
  const double r = std::hypot(c.X - cx, c.Y - cy);
  const double start = std::atan2(c.Y - cy, c.X - cx) * 180 / std::numbers::pi;
  const TPointF centre{static_cast<float>(cx), static_cast<float>(cy)};
  if (FDown) {
    path.AddArc(centre, {static_cast<float>(r), static_cast<float>(r)}, static_cast<float>(start),
                static_cast<float>(sweep));
  } else {
    const double end = (start + sweep) * std::numbers::pi / 180;
    path.MoveTo(
        {static_cast<float>(cx + r * std::cos(end)), static_cast<float>(cy + r * std::sin(end))});
  }
}

void TPlotterInterpreter::ThreePointArc(const TParams &p, bool relative) {
  TPathData &path = Current();
  const TPointF via{P(p, 0), P(p, 1)}, end{P(p, 2), P(p, 3)};
  if (FDown) {
    if (relative)
      path.CurveToRel(via, via, end);
    else
      path.CurveTo(via, via, end);
  } else {
    if (relative)
      path.MoveToRel(end);
    else
      path.MoveTo(end);
  }
}

void TPlotterInterpreter::Beziers(const TParams &p, bool relative) {
  TPathData &path = Current();
  for (std::size_t i = 0; i + 5 < p.size(); i += 6) {
    const TPointF c1{P(p, i), P(p, i + 1)}, c2{P(p, i + 2), P(p, i + 3)},
        e{P(p, i + 4), P(p, i + 5)};
    if (FDown) {
      if (relative)
        path.CurveToRel(c1, c2, e);
      else
        path.CurveTo(c1, c2, e);
    } else {
      if (relative)
        path.MoveToRel(e);
      else
        path.MoveTo(e);
    }
  }
}

// Rectangles and wedges are built in the polygon buffer, which discards a
// polygon under construction and leaves polygon mode.
void TPlotterInterpreter::Rectangle(const TParams &p, bool relative, bool filled) {
  const TPointF c = Current().LastPoint();
  const TPointF corner =
      relative ? TPointF{c.X + P(p, 0), c.Y + P(p, 1)} : TPointF{P(p, 0), P(p, 1)};
  PolygonMode(0);
  TPathData &buffer = Current();
  buffer.LineTo({corner.X, c.Y});
  buffer.LineTo(corner);
  buffer.LineTo({c.X, corner.Y});
  buffer.ClosePath();
  PolygonMode(2);
  Flush(FPolygonBuffer, filled ? fmEvenOdd : fmLines);
}

void TPlotterInterpreter::Wedge(const TParams &p, bool filled) {
  const TPointF c = Current().LastPoint();
  const float radius = P(p, 0), start = P(p, 1), sweep = P(p, 2);
  PolygonMode(0);
  TPathData &buffer = Current();
  // A full circle has no radius line to the centre.
  if (std::fabs(sweep) > 359.999f)
    buffer.Clear();
  buffer.AddArc(c, {radius, radius}, start, sweep);
  buffer.ClosePath();
  PolygonMode(2);
  Flush(FPolygonBuffer, filled ? fmEvenOdd : fmLines);
}

void TPlotterInterpreter::PolygonMode(int n) {
  if ((n == 2) == FPolygonMode)
    FPolygonMode = !FPolygonMode;
  TPathData &current = Current();
  if (n == 0) {
    const TPointF pen = Other().LastPoint();
    current.Clear();
    current.MoveTo(pen);
  } else if (n == 1) {
    if (current.Entries().size() >= 2) {
      const TPointF last = current.LastPoint();
      current.ClosePath();
      current.MoveTo(last);
    }
  } else if (n == 2) {
    FPolygonBuffer.ClosePath();
  }
}

TPlotterOutput &TPlotterInterpreter::FindOrCreate(std::int32_t pen, bool fill) {
  const auto [it, added] = FOutputIndex.try_emplace({pen, fill}, FOutputs.size());
  if (added) {
    TPlotterOutput &output = FOutputs.emplace_back();
    output.Number = pen;
    output.Fill = fill;
    output.Color = DefaultColor(pen, fill);
  }
  return FOutputs[it->second];
}

void TPlotterInterpreter::Flush(TPathData &path, TFlushMode mode) {
  const std::string tooComplex = " makes the drawing too complex";
  TPolygonF polygon;
  try {
    polygon = path.FlattenToPolygon(PlotterFlatness, FCurvePointBudget);
  } catch (const TReadError &) {
    throw TReadError(Where() + tooComplex);
  }
  const std::size_t work = polygon.size() * (mode == fmLines ? 1 : AreaPointCost);
  if (work > FWorkBudget)
    throw TReadError(Where() + tooComplex);
  FWorkBudget -= work;
  if (&path == &Current()) {
    const TPointF last = path.LastPoint();
    path.Clear();
    path.MoveTo(last);
  }
  TPlotterOutput &output = FindOrCreate(FPen, mode != fmLines);
  TPaths paths = PolygonToPaths(polygon);
  if (paths.empty())
    return;
  for (TPath &q : paths)
    for (TIntPoint &point : q) {
      point = {RoundClamp(static_cast<double>(point.X)), RoundClamp(static_cast<double>(point.Y))};
      if (FUserScaling)
        point = UserToPlotter(point);
    }
  const TPath window = {{FWindowMin.X, FWindowMin.Y},
                        {FWindowMin.X, FWindowMax.Y},
                        {FWindowMax.X, FWindowMax.Y},
                        {FWindowMax.X, FWindowMin.Y}};
  if (mode == fmLines) {
    output.Data.push_back(ClipLinesToWindow(paths, window));
  } else {
    if (SweepWorkEstimate(paths) > MaxSweepWork)
      throw TReadError(Where() + tooComplex);
    // The union resolves the fill rule. Clipper's strictly-simple variant
    // (SimplifyPolygons) gives the same region but checks every vertex
    // against every other one of its polygon: minutes for a circle of 100000
    // points. The intersection below leaves the same region either way.
    TClipper simplify;
    simplify.AddSubject(paths);
    const TPaths simple = simplify.Execute(
        ClipperLib::ctUnion, mode == fmEvenOdd ? ClipperLib::pftEvenOdd : ClipperLib::pftNonZero);
    TPaths inside = BooleanPaths(simple, {window}, ClipperLib::ctIntersection);
    output.Data.push_back(output.Filled.Add(inside));
  }
  Include(output.Data.back());
}

// The drawing size is 32 bits wide in internal units: the command whose
// geometry first goes beyond is the one to name.
void TPlotterInterpreter::Include(const TPaths &stored) {
  for (const TPath &path : stored)
    for (const TIntPoint &point : path) {
      FMinX = std::min(FMinX, point.X);
      FMinY = std::min(FMinY, point.Y);
      FMaxX = std::max(FMaxX, point.X);
      FMaxY = std::max(FMaxY, point.Y);
      FAnyPoint = true;
    }
  if (!FAnyPoint)
    return;
  const double factor = PlotterUnitScale(FOptions.UnitsPerMM);
  constexpr double sizeLimit = std::numeric_limits<std::int32_t>::max();
  if (std::nearbyint(static_cast<double>(FMaxX - FMinX) * factor) > sizeLimit ||
      std::nearbyint(static_cast<double>(FMaxY - FMinY) * factor) > sizeLimit)
    throw TReadError(Where() + " makes the drawing too large");
}

void TPlotterInterpreter::Execute(const TPlotterCommand &command) {
  const std::string &m = command.Mnemonic;
  const TParams &p = command.Parameters;
  const std::size_t k = p.size();
  if (m.size() != 2)
    return;
  FLine = command.Line;
  FMnemonic = m;
  const int code = m[0] * 256 + m[1];
  auto is = [&](const char *name) { return code == name[0] * 256 + name[1]; };
  if (is("PU") || is("PD") || is("PA") || is("PR") || is("CI") || is("AA") || is("AR") ||
      is("AT") || is("RT") || is("BZ") || is("BR") || is("PM")) {
    FDrawLine = FLine;
    FDrawMnemonic = m;
  }

  if (is("DF")) {
    Defaults();
  } else if (is("IN")) {
    Initialize();
  } else if (is("IP")) {
    InputP1P2(p, 1);
  } else if (is("IR")) {
    InputP1P2(p, 122);
  } else if (is("IW")) {
    InputWindow(p);
  } else if (is("SC")) {
    Scale(p);
  } else if (is("SP")) {
    Flush(Current(), fmLines);
    FPen = k == 0 ? 0 : static_cast<std::int32_t>(RoundClamp(P(p, 0)));
  } else if (is("PC")) {
    if (k >= 4)
      SetPenColor(p);
  } else if (is("PU")) {
    FDown = false;
    Plot(p, false, FAbsolute);
  } else if (is("PD")) {
    FDown = true;
    Plot(p, true, FAbsolute);
  } else if (is("PA")) {
    FAbsolute = true;
    Plot(p, FDown, true);
  } else if (is("PR")) {
    FAbsolute = false;
    Plot(p, FDown, false);
  } else if (is("CI")) {
    if (k >= 1)
      Circle(p);
  } else if (is("AA") || is("AR")) {
    if (k >= 3)
      Arc(p, is("AR"));
  } else if (is("AT") || is("RT")) {
    if (k >= 4)
      ThreePointArc(p, is("RT"));
  } else if (is("BZ") || is("BR")) {
    Beziers(p, is("BR"));
  } else if (is("EA") || is("ER") || is("RA") || is("RR")) {
    if (k >= 2)
      Rectangle(p, is("ER") || is("RR"), is("RA") || is("RR"));
  } else if (is("EW") || is("WG")) {
    if (k >= 3)
      Wedge(p, is("WG"));
  } else if (is("PM")) {
    PolygonMode(k == 0 ? 0 : static_cast<int>(RoundClamp(P(p, 0))));
  } else if (is("EP")) {
    Flush(Other(), fmLines);
  } else if (is("FP")) {
    const bool evenOdd = k == 0 || RoundClamp(P(p, 0)) == 0;
    Flush(Other(), evenOdd ? fmEvenOdd : fmNonZero);
  } else if (std::find(FUnsupported.begin(), FUnsupported.end(), m) == FUnsupported.end()) {
    if (FUnsupported.size() < MaxUnsupportedNamed)
      FUnsupported.push_back(m);
    else
      FMoreUnsupported = true;
  }
}

std::string TPlotterInterpreter::NothingDrawnMessage() const {
  std::string message = "The plot draws nothing";
  if (FAnyPoint)
    message += ": no pen draws more than 1 mm";
  if (!FUnsupported.empty()) {
    message += FAnyPoint ? "; unsupported commands " : ": only unsupported commands ";
    for (std::size_t i = 0; i < FUnsupported.size(); ++i)
      message += (i > 0 ? ", " : "") + FUnsupported[i];
    if (FMoreUnsupported)
      message += ", ...";
  }
  return message;
}

TReadResult TPlotterInterpreter::Finish() {
  // A polygon that was never edged or filled is dropped. What the pen path
  // still holds is what the last drawing command left there.
  FLine = FDrawLine;
  FMnemonic = FDrawMnemonic;
  Flush(Current(), fmLines);

  TReadResult result = Levels();
  if (result.Levels.empty() && FOptions.ShowMessage)
    FOptions.ShowMessage(NothingDrawnMessage());
  return result;
}

TReadResult TPlotterInterpreter::Levels() {
  const ClipperLib::cInt minX = FMinX, minY = FMinY, maxX = FMaxX, maxY = FMaxY;
  TReadResult result;
  // Nothing drawn: no levels and an empty drawing (file intake raises the
  // output area to its one-millimetre minimum).
  if (!FAnyPoint)
    return result;

  const double unitsPerMM = FOptions.UnitsPerMM;
  const double factor = PlotterUnitScale(unitsPerMM);
  const double width = std::nearbyint(static_cast<double>(maxX - minX) * factor);
  const double height = std::nearbyint(static_cast<double>(maxY - minY) * factor);
  // Include() has refused anything wider than 32 bits.
  result.Size = {static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};

  for (TPlotterOutput &output : FOutputs) {
    double measure = 0;
    for (TPaths &set : output.Data) {
      for (TPath &path : set)
        for (TIntPoint &point : path)
          point = {RoundUnit(static_cast<double>(point.X - minX) * factor),
                   RoundUnit(static_cast<double>(point.Y - minY) * factor)};
      measure += output.Fill ? PathsArea(set) : static_cast<double>(PathsLength(set, false, 0));
    }
    if (!(measure > unitsPerMM))
      continue;
    auto level = std::make_unique<TLevel>(output.Fill ? lkArea : lkLines);
    level->SetName((output.Fill ? "Fill " : "Pen ") + std::to_string(output.Number));
    level->SetHeight(static_cast<std::int32_t>(std::llabs(9 - std::int64_t(output.Number)) + 1));
    level->SetColor(output.Color);
    for (TPaths &set : output.Data)
      level->Input()->push_back(std::move(set));
    result.Levels.push_back(std::move(level));
  }
  return result;
}

} // namespace

void ParsePlotterCommands(std::string_view text,
                          const std::function<void(const TPlotterCommand &)> &onCommand) {
  const TFilteredText filtered = FilterPlotterText(text);
  const std::string &t = filtered.Text;
  const std::size_t n = t.size();
  std::size_t pos = 0;
  TPlotterCommand command;
  std::string letters;
  while (pos < n) {
    // Blanks around and between letters mean nothing ("PU PD" is PU, PD),
    // nor does a ";" after a command.
    while (pos < n && (t[pos] == ' ' || t[pos] == ';'))
      ++pos;
    if (pos == n)
      break;
    command.Line = filtered.LineAt(pos);
    letters.clear();
    while (pos < n && (IsLetter(t[pos]) || t[pos] == ' ')) {
      if (t[pos] != ' ')
        letters.push_back(t[pos]);
      ++pos;
    }
    // Letters run together: every two of them make a command of their own.
    std::size_t first = 0;
    for (; letters.size() - first > 2; first += 2) {
      command.Mnemonic.assign(letters, first, 2);
      command.Parameters.clear();
      onCommand(command);
    }
    command.Mnemonic.assign(letters, first);
    command.Parameters.clear();
    // ";" ends the parameters: numbers after it belong to no command.
    std::size_t end = pos;
    while (end < n && !IsLetter(t[end]) && t[end] != ';')
      ++end;
    ReadParameters(std::string_view(t.data() + pos, end - pos), command.Parameters);
    pos = end;
    onCommand(command);
  }
}

std::vector<TPlotterCommand> ParsePlotterCommands(std::string_view text) {
  std::vector<TPlotterCommand> commands;
  ParsePlotterCommands(text, [&](const TPlotterCommand &c) { commands.push_back(c); });
  return commands;
}

TReadResult ReadPlotter(std::string_view bytes, const TReadOptions &options) {
  TPlotterInterpreter interpreter(options);
  const std::string text = DecodePlotterText(bytes);
  ParsePlotterCommands(text, [&](const TPlotterCommand &c) { interpreter.Execute(c); });
  return interpreter.Finish();
}

std::string DecodePlotterText(std::string_view bytes) {
  const TByteOrderMark mark = ByteOrderMarkOf(bytes);
  if (mark == bomUtf8)
    return std::string(bytes.substr(3));
  if (mark == bomNone)
    return std::string(bytes);
  // Beyond 8 bits a character can only be label text or a label terminator:
  // substitute one that no plotter file uses as either.
  return NarrowUtf16(bytes, mark == bomUtf16Little, 256, '\x1A');
}

TReadResult LoadPlotterFile(const std::string &fileName, const TReadOptions &options) {
  return ReadPlotter(ReadFileBytes(fileName, UnlimitedFileBytes), options);
}
