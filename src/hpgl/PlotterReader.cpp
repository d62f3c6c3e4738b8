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
#include "PlotterLines.h"
#include "core/FileBytes.h"
#include "core/Numbers.h"
#include "core/PathData.h"
#include "core/PathUtils.h"
#include "core/StrokeFont.h"
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

// Stands in the filtered text where a label's text was taken out.
constexpr char LabelMark = '\x01';

struct TFilteredText {
  // Letters, digits, "," "-" "." "+" and ";", with every run of blanks as one
  // " ", and a LabelMark where each label's text stood.
  std::string Text;
  // The text of each label in order, as written (not upper-cased), without
  // its terminator.
  std::vector<std::string> Labels;
  // Where each line after the first starts in Text.
  std::vector<std::size_t> LineStarts;

  int LineAt(std::size_t offset) const {
    return 1 + static_cast<int>(std::upper_bound(LineStarts.begin(), LineStarts.end(), offset) -
                                LineStarts.begin());
  }
};

// Only letters, digits, "," "-" "." "+" ";" and blanks survive; printer
// escape sequences and other control characters are dropped. Label text is
// taken out here, before any parsing, so that a label can hold anything,
// commands included; quoted text is dropped.
TFilteredText FilterPlotterText(std::string_view text) {
  enum TState {
    stNormal,
    stAfterD,
    stAfterL,
    stAfterB,
    stAfterS,
    stSymbol,
    stDefineTerminator,
    stLabel,
    stQuoted
  };
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
    // SM takes the character after it as its symbol, whatever it is (";"
    // or a blank: none); it is the command's text, like a label's.
    if (state == stSymbol) {
      out.push_back(LabelMark);
      const bool none = static_cast<unsigned char>(raw) <= ' ' || raw == ';';
      filtered.Labels.emplace_back(none ? "" : std::string(1, raw));
      state = stNormal;
      if (!none)
        continue;
    }
    if (state == stAfterS) {
      if (c == 'M') {
        keep(c);
        state = stSymbol;
        continue;
      }
      state = stNormal;
    }
    switch (state) {
    case stNormal:
      if (c == '"') {
        state = stQuoted;
        break;
      }
      keep(c);
      state = c == 'B'   ? stAfterB
              : c == 'D' ? stAfterD
              : c == 'L' ? stAfterL
              : c == 'S' ? stAfterS
                         : stNormal;
      break;
    case stAfterD:
      keep(c);
      state = c == 'T' ? stDefineTerminator : stNormal;
      break;
    case stAfterS:
    case stSymbol:
      break; // handled above
    case stAfterL:
    case stAfterB:
      keep(c);
      if (c == (state == stAfterL ? 'B' : 'L')) {
        out.push_back(LabelMark);
        filtered.Labels.emplace_back();
        state = stLabel;
      } else {
        state = stNormal;
      }
      break;
    case stDefineTerminator:
      terminator = c == ';' ? Etx : c;
      state = stNormal;
      break;
    case stLabel:
      if (c == terminator)
        state = stNormal;
      else
        filtered.Labels.back().push_back(raw);
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
// A point of the filled areas a new fill is subtracted from: one clipper
// operation, but one that runs for every overlapping fill.
constexpr std::size_t ClipPointCost = 4;
// A filled polygon whose sweep would visit more edges than this is refused:
// the clipper takes a few seconds for 1e8 (a comb of 10000 teeth, a scribble
// of 1500 random strokes), and the time grows with the square beyond.
constexpr double MaxSweepWork = 1e8;
// A fill sharing this much edge work with what the pen filled before is
// refused likewise: two fills of nearly one disc of 15000 points came to
// 4e8 and took the clipper 2.5 s, half a minute under the sanitizers.
constexpr double MaxJoinWork = 1e8;
// The default P2 (and the unit of IR): 12200 plotter units, 305 mm. Fixed in
// plotter units like everything else in the file, so user-scaled drawings
// also keep their size when the internal unit changes.
constexpr std::int64_t DefaultP2 = 12200;
// Character sizes of labels: SI gives centimetres, 400 plotter units each;
// the default is the plotters' own for A4 paper, SR's default per cent of P1..P2.
constexpr double UnitsPerCentimetre = 400;
constexpr double DefaultCharWidth = 0.187 * UnitsPerCentimetre;
constexpr double DefaultCharHeight = 0.269 * UnitsPerCentimetre;
constexpr double DefaultRelativeWidth = 0.75, DefaultRelativeHeight = 1.5;
// A character cell is one and a half character widths wide and two
// character heights high, before extra space (ES).
constexpr double CellWidthFactor = 1.5, CellHeightFactor = 2;
// The default pattern length of a line type: 4 % of the P1..P2 diagonal.
constexpr double DefaultPatternShare = 0.04;
// A pattern shorter than a plotter unit cannot be drawn as dashes: the line
// is drawn solid.
constexpr double MinPatternLength = 1;
// LT's pattern length in millimetres (mode 1): 40 plotter units each.
constexpr double UnitsPerMillimetre = 40;
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
  void LineType(const TParams &p);
  void UserLineType(const TParams &p);
  void CharacterSize(const TParams &p, bool relative);
  void LabelDirection(const TParams &p, bool relative);
  void LabelOrigin(const TParams &p);
  void CharacterPlot(const TParams &p);
  void Label(const std::string &text);
  void Symbol(const TPointF &at);
  // Label strokes in whole plotter units, charged to the work budget.
  TPaths Strokes(const TStrokeText &laid);

  // Label geometry is laid out in plotter units, whatever the user scaling.
  TStrokePoint ToPlotter(const TPointF &user) const;
  TPointF ToUser(const TStrokePoint &plotter) const;
  struct TCellGeometry {
    double Width, Height, Angle;
    TStrokePoint Advance;  // from one character to the next
    TStrokePoint LineFeed; // from one line to the next
  };
  TCellGeometry Cells() const;

  void Flush(TPathData &path, TFlushMode mode);
  // Lines in plotter units, clipped to the window and stored for the pen.
  void StoreLines(const TPaths &paths);
  TPaths ApplyLineType(const TPaths &paths);
  void Include(const TPaths &stored);
  // The construct a refusal names: "HP-GL line 12: FP".
  std::string Where() const;
  std::string NothingDrawnMessage() const;
  // The names of the unsupported commands met, after the text given.
  std::string UnsupportedList(std::string message) const;
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
  // Line type: solid, or a pattern (LT0 draws dots at the points); the
  // pattern length in plotter units.
  bool FSolid = true;
  int FLineType = 0;
  double FPatternLength = 0;
  TLineTypes FLineTypes;
  // How labels are drawn. Sizes are plotter units (SI) or per cent of
  // P1..P2 (SR), which follow P1 and P2 as they change; the direction is a
  // run and rise in plotter units (DI) or per cent of P1..P2 (DR).
  struct TLabelStyle {
    bool RelativeSize = false;
    double Width = DefaultCharWidth, Height = DefaultCharHeight;
    bool RelativeDirection = false;
    double Run = 1, Rise = 0;
    double Slant = 0;
    double ExtraSpace = 0, ExtraLine = 0;
    int Origin = 1;
    bool Vertical = false;
  } FLabelStyle;
  // BL's text, for PB.
  std::string FLabelBuffer;
  // Symbol mode (SM): the character drawn at every point plotted, or none.
  std::string FSymbol;
  // Where a carriage return goes back to (the start of the last label's
  // line, in plotter units) and where that label left the pen (user units):
  // CP without parameters starts a new line under it.
  TStrokePoint FCarriageReturn;
  TPointF FLabelEnd;
  bool FAfterLabel = false;
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
  FSymbol.clear();
  FLabelStyle = {};
  FSolid = true;
  FLineTypes.ResetAll();
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
  FPatternLength = DefaultPatternShare * std::hypot(static_cast<double>(FP2.X - FP1.X),
                                                    static_cast<double>(FP2.Y - FP1.Y));
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
  // Line patterns are measured on the P1..P2 diagonal.
  FPatternLength = DefaultPatternShare * std::hypot(static_cast<double>(FP2.X - FP1.X),
                                                    static_cast<double>(FP2.Y - FP1.Y));
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
    if (!FSymbol.empty())
      Symbol(path.LastPoint());
  }
}

// A symbol is a character of the label size centred on the point.
void TPlotterInterpreter::Symbol(const TPointF &at) {
  const TCellGeometry cells = Cells();
  if (!(std::fabs(cells.Width) <= PlotterLimit && std::fabs(cells.Height) <= PlotterLimit))
    throw TReadError(Where() + " characters are too large for the plotter");
  TStrokeTextStyle font;
  font.Height = cells.Height;
  font.Width = cells.Width;
  font.Advance = cells.Width;
  font.Direction = cells.Angle;
  const double c = std::cos(cells.Angle), s = std::sin(cells.Angle);
  const TStrokePoint centre = ToPlotter(at);
  const double along = -cells.Width / 2, up = -cells.Height / 2;
  const TStrokePoint origin{centre.X + along * c - up * s, centre.Y + along * s + up * c};
  StoreLines(Strokes(LayoutStrokeText(FSymbol, origin, font)));
}

TPaths TPlotterInterpreter::Strokes(const TStrokeText &laid) {
  TPaths strokes;
  std::size_t points = 0;
  for (const TStroke &stroke : laid.Strokes)
    points += stroke.size();
  if (points > FWorkBudget)
    throw TReadError(Where() + " makes the drawing too complex");
  FWorkBudget -= points;
  for (const TStroke &stroke : laid.Strokes) {
    TPath &out = strokes.emplace_back();
    for (const TStrokePoint &q : stroke)
      out.push_back({RoundClamp(q.X), RoundClamp(q.Y)});
  }
  return strokes;
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

// LT type, pattern length, mode: the length is per cent of the P1..P2
// diagonal, or millimetres in mode 1. LT alone draws solid lines again.
void TPlotterInterpreter::LineType(const TParams &p) {
  // What the pen drew so far keeps its line type. A polygon under
  // construction is no line yet: it takes the type in force when edged.
  if (!FPolygonMode)
    Flush(FPenPath, fmLines);
  if (p.empty()) {
    FSolid = true;
    return;
  }
  const double type = std::trunc(static_cast<double>(P(p, 0)));
  if (type != 0 && FLineTypes.Pattern(static_cast<int>(std::clamp(type, -9.0, 9.0))) == nullptr) {
    // Types the plotters do not know (LT99 among them) leave the line as it is.
    return;
  }
  FSolid = false;
  FLineType = static_cast<int>(type);
  if (p.size() >= 2 && P(p, 1) > 0) {
    const double length = P(p, 1);
    const bool millimetres = p.size() >= 3 && RoundClamp(P(p, 2)) == 1;
    FPatternLength = millimetres ? length * UnitsPerMillimetre
                                 : length / 100 *
                                       std::hypot(static_cast<double>(FP2.X - FP1.X),
                                                  static_cast<double>(FP2.Y - FP1.Y));
  }
}

// UL type, dash, gap, dash, ...: a pattern of the user's own.
void TPlotterInterpreter::UserLineType(const TParams &p) {
  if (p.empty()) {
    FLineTypes.ResetAll();
    return;
  }
  const int type =
      static_cast<int>(std::clamp(std::trunc(static_cast<double>(P(p, 0))), -9.0, 9.0));
  if (p.size() == 1) {
    FLineTypes.Reset(type);
    return;
  }
  std::vector<double> lengths;
  for (std::size_t i = 1; i < p.size(); ++i)
    lengths.push_back(P(p, i));
  FLineTypes.Define(type, lengths);
}

void TPlotterInterpreter::CharacterSize(const TParams &p, bool relative) {
  TLabelStyle &style = FLabelStyle;
  if (p.size() < 2) {
    style.RelativeSize = relative;
    style.Width = relative ? DefaultRelativeWidth : DefaultCharWidth;
    style.Height = relative ? DefaultRelativeHeight : DefaultCharHeight;
    return;
  }
  // A zero size would draw every character onto one spot: ignored.
  if (P(p, 0) == 0 || P(p, 1) == 0)
    return;
  style.RelativeSize = relative;
  const double factor = relative ? 1 : UnitsPerCentimetre;
  style.Width = factor * P(p, 0);
  style.Height = factor * P(p, 1);
}

void TPlotterInterpreter::LabelDirection(const TParams &p, bool relative) {
  TLabelStyle &style = FLabelStyle;
  if (p.size() < 2) {
    style.RelativeDirection = false;
    style.Run = 1;
    style.Rise = 0;
    return;
  }
  if (P(p, 0) == 0 && P(p, 1) == 0) // no direction at all
    return;
  style.RelativeDirection = relative;
  style.Run = P(p, 0);
  style.Rise = P(p, 1);
}

void TPlotterInterpreter::LabelOrigin(const TParams &p) {
  const std::int64_t n = p.empty() ? 1 : RoundClamp(P(p, 0));
  FLabelStyle.Origin = (n >= 1 && n <= 9) || (n >= 11 && n <= 19) ? static_cast<int>(n) : 1;
}

TPlotterInterpreter::TCellGeometry TPlotterInterpreter::Cells() const {
  const TLabelStyle &style = FLabelStyle;
  const double spanX = static_cast<double>(FP2.X - FP1.X);
  const double spanY = static_cast<double>(FP2.Y - FP1.Y);
  TCellGeometry cells{};
  cells.Width = style.RelativeSize ? style.Width / 100 * spanX : style.Width;
  cells.Height = style.RelativeSize ? style.Height / 100 * spanY : style.Height;
  const double run = style.RelativeDirection ? style.Run * spanX : style.Run;
  const double rise = style.RelativeDirection ? style.Rise * spanY : style.Rise;
  cells.Angle = run == 0 && rise == 0 ? 0 : std::atan2(rise, run);
  const double c = std::cos(cells.Angle), s = std::sin(cells.Angle);
  const double space = CellWidthFactor * cells.Width * (1 + style.ExtraSpace);
  const double line = CellHeightFactor * cells.Height * (1 + style.ExtraLine);
  // Stacked text runs down the page, and its lines go leftwards.
  if (style.Vertical) {
    cells.Advance = {line * s, -line * c};
    cells.LineFeed = {-space * c, -space * s};
  } else {
    cells.Advance = {space * c, space * s};
    cells.LineFeed = {line * s, -line * c};
  }
  return cells;
}

TStrokePoint TPlotterInterpreter::ToPlotter(const TPointF &user) const {
  if (!FUserScaling)
    return {user.X, user.Y};
  auto axis = [](double v, double umin, double umax, double p1, double p2) {
    return p1 + (v - umin) * (p2 - p1) / (umax - umin);
  };
  return {axis(user.X, static_cast<double>(FUserMin.X), static_cast<double>(FUserMax.X),
               static_cast<double>(FP1.X), static_cast<double>(FP2.X)),
          axis(user.Y, static_cast<double>(FUserMin.Y), static_cast<double>(FUserMax.Y),
               static_cast<double>(FP1.Y), static_cast<double>(FP2.Y))};
}

TPointF TPlotterInterpreter::ToUser(const TStrokePoint &plotter) const {
  const auto clampF = [](double v) {
    return static_cast<float>(std::clamp(v, -double(ParameterLimit), double(ParameterLimit)));
  };
  if (!FUserScaling)
    return {clampF(plotter.X), clampF(plotter.Y)};
  // P1 and P2 on one line map a whole axis to one value: nothing to invert.
  auto axis = [](double v, double umin, double umax, double p1, double p2) {
    return p1 == p2 ? umin : umin + (v - p1) * (umax - umin) / (p2 - p1);
  };
  return {clampF(axis(plotter.X, static_cast<double>(FUserMin.X), static_cast<double>(FUserMax.X),
                      static_cast<double>(FP1.X), static_cast<double>(FP2.X))),
          clampF(axis(plotter.Y, static_cast<double>(FUserMin.Y), static_cast<double>(FUserMax.Y),
                      static_cast<double>(FP1.Y), static_cast<double>(FP2.Y)))};
}

// CP spaces, lines moves the pen by character cells (lines count upwards);
// CP alone starts a new line under the last label.
void TPlotterInterpreter::CharacterPlot(const TParams &p) {
  const TCellGeometry cells = Cells();
  TPathData &path = Current();
  const TPointF pen = path.LastPoint();
  TStrokePoint at = ToPlotter(pen);
  if (p.size() < 2) {
    if (FAfterLabel && pen == FLabelEnd)
      at = FCarriageReturn;
    at = {at.X + cells.LineFeed.X, at.Y + cells.LineFeed.Y};
    FCarriageReturn = at;
  } else {
    const double spaces = P(p, 0), lines = P(p, 1);
    at = {at.X + spaces * cells.Advance.X - lines * cells.LineFeed.X,
          at.Y + spaces * cells.Advance.Y - lines * cells.LineFeed.Y};
  }
  path.MoveTo(ToUser(at));
  FLabelEnd = path.LastPoint();
  FAfterLabel = p.size() < 2;
}

// A label is drawn in character cells from the pen position with the
// single-stroke font; the label origin (LO) places each line of it around
// that position. Carriage return, line feed and backspace move as on a
// plotter; other control characters draw nothing. The pen ends after the
// last character, or, for a label placed by another origin than the
// plain one, back at its origin (so a plot can mark it or draw on from it).
void TPlotterInterpreter::Label(const std::string &text) {
  if (!FPolygonMode)
    Flush(FPenPath, fmLines);
  const TCellGeometry cells = Cells();
  // A character beyond the plotter's whole range cannot be drawn, only
  // clamped out of shape.
  if (!(std::fabs(cells.Width) <= PlotterLimit && std::fabs(cells.Height) <= PlotterLimit))
    throw TReadError(Where() + " characters are too large for the plotter");
  const TLabelStyle &style = FLabelStyle;
  TPathData &path = Current();
  const TPointF startUser = path.LastPoint();
  const TStrokePoint start = ToPlotter(startUser);
  TStrokeTextStyle font;
  font.Height = cells.Height;
  font.Width = cells.Width;
  font.Advance = std::hypot(cells.Advance.X, cells.Advance.Y);
  font.Step = cells.Advance;
  font.Direction = cells.Angle;
  font.Slant = style.Slant;
  const double c = std::cos(cells.Angle), s = std::sin(cells.Angle);
  // Where a line of n characters starts so that its box sits at the label
  // origin: left, centre or right, bottom, middle or top; origins from 11 on
  // keep half a character clear of the point.
  const auto originShift = [&](std::size_t n) {
    const int origin = style.Origin > 10 ? style.Origin - 10 : style.Origin;
    const int column = (origin - 1) / 3, row = (origin - 1) % 3;
    if (style.Vertical)
      return TStrokePoint{};
    const double extent = static_cast<double>(n - 1) * font.Advance + cells.Width;
    double along = column == 0 ? 0 : column == 1 ? -extent / 2 : -extent;
    double up = row == 0 ? 0 : row == 1 ? -cells.Height / 2 : -cells.Height;
    if (style.Origin > 10) {
      along += column == 0 ? cells.Width / 2 : column == 2 ? -cells.Width / 2 : 0;
      up += row == 0 ? cells.Height / 2 : row == 2 ? -cells.Height / 2 : 0;
    }
    return TStrokePoint{along * c - up * s, along * s + up * c};
  };
  TStrokePoint carriage = start, cursor = start;
  bool lineStart = true;
  TPaths strokes;
  for (std::size_t i = 0; i < text.size();) {
    const auto ch = static_cast<unsigned char>(text[i]);
    if (ch < 32) {
      if (ch == '\r') {
        cursor = carriage;
        lineStart = true;
      } else if (ch == '\n') {
        carriage = {carriage.X + cells.LineFeed.X, carriage.Y + cells.LineFeed.Y};
        cursor = {cursor.X + cells.LineFeed.X, cursor.Y + cells.LineFeed.Y};
      } else if (ch == '\b') {
        cursor = {cursor.X - cells.Advance.X, cursor.Y - cells.Advance.Y};
      }
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && static_cast<unsigned char>(text[end]) >= 32)
      ++end;
    if (lineStart) {
      const TStrokePoint shift = originShift(end - i);
      cursor = {cursor.X + shift.X, cursor.Y + shift.Y};
      lineStart = false;
    }
    const TStrokeText laid =
        LayoutStrokeText(std::string_view(text).substr(i, end - i), cursor, font);
    for (TPath &stroke : Strokes(laid))
      strokes.push_back(std::move(stroke));
    cursor = laid.End;
    i = end;
  }
  StoreLines(strokes);
  FCarriageReturn = carriage;
  if (style.Origin == 1)
    path.MoveTo(ToUser(cursor));
  else
    path.MoveTo(startUser);
  FLabelEnd = path.LastPoint();
  FAfterLabel = true;
}

TPaths TPlotterInterpreter::ApplyLineType(const TPaths &paths) {
  if (FSolid)
    return paths;
  TPaths out;
  bool done;
  if (FLineType == 0) {
    done = DotPaths(paths, FWorkBudget, out);
  } else {
    if (!(FPatternLength >= MinPatternLength))
      return paths;
    const double length = std::min(FPatternLength, PlotterLimit);
    done =
        DashPaths(paths, *FLineTypes.Pattern(FLineType), FLineType < 0, length, FWorkBudget, out);
  }
  if (!done)
    throw TReadError(Where() + " makes the drawing too complex");
  return out;
}

void TPlotterInterpreter::StoreLines(const TPaths &paths) {
  TPlotterOutput &output = FindOrCreate(FPen, false);
  if (paths.empty())
    return;
  const TPath window = {{FWindowMin.X, FWindowMin.Y},
                        {FWindowMin.X, FWindowMax.Y},
                        {FWindowMax.X, FWindowMax.Y},
                        {FWindowMax.X, FWindowMin.Y}};
  output.Data.push_back(ClipLinesToWindow(paths, window));
  Include(output.Data.back());
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
  if (mode == fmLines) {
    StoreLines(ApplyLineType(paths));
    return;
  }
  const TPath window = {{FWindowMin.X, FWindowMin.Y},
                        {FWindowMin.X, FWindowMax.Y},
                        {FWindowMax.X, FWindowMax.Y},
                        {FWindowMax.X, FWindowMin.Y}};
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
  std::optional<TPaths> added = output.Filled.TryAdd(inside, MaxJoinWork);
  if (!added)
    throw TReadError(Where() + tooComplex);
  output.Data.push_back(std::move(*added));
  // Fills that overlap where many filled before clip against all of those:
  // thousands of overlapping rectangles would take minutes.
  const std::size_t clipWork = output.Filled.LastClipPoints() * ClipPointCost;
  if (clipWork > FWorkBudget)
    throw TReadError(Where() + tooComplex);
  FWorkBudget -= clipWork;
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
  } else if (is("LT")) {
    LineType(p);
  } else if (is("UL")) {
    UserLineType(p);
  } else if (is("LB")) {
    Label(command.Text);
  } else if (is("BL")) {
    FLabelBuffer = command.Text;
  } else if (is("PB")) {
    Label(FLabelBuffer);
  } else if (is("SI") || is("SR")) {
    CharacterSize(p, is("SR"));
  } else if (is("DI") || is("DR")) {
    LabelDirection(p, is("DR"));
  } else if (is("DV")) {
    FLabelStyle.Vertical = k > 0 && RoundClamp(P(p, 0)) == 1;
  } else if (is("SL")) {
    FLabelStyle.Slant = k == 0 ? 0 : std::clamp(static_cast<double>(P(p, 0)), -1e3, 1e3);
  } else if (is("ES")) {
    FLabelStyle.ExtraSpace = k == 0 ? 0 : std::clamp(static_cast<double>(P(p, 0)), -1e6, 1e6);
    FLabelStyle.ExtraLine = k < 2 ? 0 : std::clamp(static_cast<double>(P(p, 1)), -1e6, 1e6);
  } else if (is("LO")) {
    LabelOrigin(p);
  } else if (is("CP")) {
    CharacterPlot(p);
  } else if (is("SM")) {
    FSymbol = command.Text;
  } else if (is("DT") || is("CS") || is("CA") || is("SS") || is("SA")) {
    // The terminator is the tokenizer's; every character set is drawn with
    // the one stroke font.
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
  if (!FUnsupported.empty())
    message +=
        UnsupportedList(FAnyPoint ? "; unsupported commands " : ": only unsupported commands ");
  return message;
}

std::string TPlotterInterpreter::UnsupportedList(std::string message) const {
  for (std::size_t i = 0; i < FUnsupported.size(); ++i)
    message += (i > 0 ? ", " : "") + FUnsupported[i];
  if (FMoreUnsupported)
    message += ", ...";
  return message;
}

TReadResult TPlotterInterpreter::Finish() {
  // A polygon that was never edged or filled is dropped. What the pen path
  // still holds is what the last drawing command left there.
  FLine = FDrawLine;
  FMnemonic = FDrawMnemonic;
  Flush(Current(), fmLines);

  TReadResult result = Levels();
  if (result.Levels.empty())
    result.Report.push_back(NothingDrawnMessage());
  else if (!FUnsupported.empty())
    result.Report.push_back(UnsupportedList("unsupported commands ") + " ignored");
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
  std::size_t nextLabel = 0;
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
    command.Text.clear();
    if (pos < n && t[pos] == LabelMark) {
      command.Text = filtered.Labels[nextLabel++];
      ++pos;
    }
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
