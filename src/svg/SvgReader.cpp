#include "SvgReader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>
#include <QXmlStreamReader>

#include "CssColor.h"
#include "SvgCleanup.h"
#include "SvgPath.h"
#include "SvgText.h"
#include "core/ColorUnit.h"
#include "core/FileBytes.h"
#include "core/Matrix.h"
#include "core/PathUtils.h"

namespace {

// Curves become points about this many internal units apart.
constexpr float SvgFlatness = 10.0f;
// Control distance of a quarter ellipse drawn as one cubic curve.
constexpr float Kappa = 0.5522847498f;

struct TSvgState {
  TMatrix Matrix;
  float Opacity = 1;
  float FillOpacity = 1;
  float StrokeOpacity = 1;
  float StrokeWidth = 1;
  std::uint32_t Fill = 0xFF000000u;
  std::uint32_t Stroke = 0;
  bool EvenOdd = false;
};

// Rounds half to even into the 32-bit range: weights of absurd opacities or
// widths must not overflow.
std::int32_t RoundWeight(double value) {
  if (!(value == value))
    return 0;
  return static_cast<std::int32_t>(std::nearbyint(std::clamp(value, -2147483647.0, 2147483647.0)));
}

std::string LocalName(QStringView qualified) {
  const auto colon = qualified.lastIndexOf(u':');
  return (colon >= 0 ? qualified.mid(colon + 1) : qualified).toString().toStdString();
}

class TAttributes {
public:
  explicit TAttributes(const QXmlStreamAttributes &attributes) {
    for (const auto &attribute : attributes)
      FValues.emplace(attribute.qualifiedName().toString().toStdString(),
                      attribute.value().toString().toStdString());
  }
  const std::string *Find(const std::string &name) const {
    const auto it = FValues.find(name);
    return it == FValues.end() ? nullptr : &it->second;
  }
  // Units on shape attributes are not read: "10px" counts as not a number.
  float Number(const std::string &name, float fallback) const {
    const auto *value = Find(name);
    return value ? NumberOr(*value, fallback) : fallback;
  }

private:
  std::map<std::string, std::string> FValues;
};

// Entity declarations are the one way a small document can grow without
// bound while it is parsed. Nested expansion of one entity is limited by the
// parser itself; what is checked here is the total: every "&" could be a
// reference to the largest entity. Where the entity names can be matched
// exactly (ASCII names in an ASCII-compatible encoding) only real
// references count.
class TEntityCheck {
public:
  TEntityCheck(const QXmlStreamEntityDeclarations &declarations, std::string_view bytes) {
    for (const auto &declaration : declarations)
      if (declaration.systemId().isEmpty() && declaration.publicId().isEmpty())
        FValues[declaration.name().toString().toStdString()] =
            declaration.value().toString().toStdString();
    FBytes = bytes;
  }

  void Run() {
    if (FValues.empty())
      return;
    std::size_t largest = 1;
    bool asciiNames = true;
    for (const auto &[name, value] : FValues) {
      largest = std::max(largest, Expansion(name, 0));
      asciiNames = asciiNames && std::all_of(name.begin(), name.end(), [](char c) {
                     return static_cast<unsigned char>(c) < 128;
                   });
    }
    const bool wide = FBytes.size() >= 2 && (FBytes[0] == '\0' || FBytes[1] == '\0');
    std::size_t total = 0;
    if (asciiNames && !wide) {
      for (std::size_t i = FBytes.find('&'); i != std::string_view::npos;
           i = FBytes.find('&', i + 1)) {
        const std::size_t end = FBytes.find(';', i + 1);
        if (end == std::string_view::npos)
          break;
        const auto it = FValues.find(std::string(FBytes.substr(i + 1, end - i - 1)));
        total = Add(total, it == FValues.end() ? 1 : Expansion(it->first, 0));
      }
    } else {
      const auto ampersands =
          static_cast<std::size_t>(std::count(FBytes.begin(), FBytes.end(), '&'));
      total = ampersands > MaxEntityExpansion / largest ? Unbounded : ampersands * largest;
    }
    if (total > MaxEntityExpansion)
      throw TReadError("The document's entities expand too far");
  }

private:
  static constexpr std::size_t Unbounded = std::numeric_limits<std::size_t>::max();

  static std::size_t Add(std::size_t a, std::size_t b) {
    return a > Unbounded - b ? Unbounded : a + b;
  }

  // Characters the entity expands to; references to unknown names count
  // their own text, a cycle or an absurd depth counts as unbounded.
  std::size_t Expansion(const std::string &name, int depth) {
    if (const auto known = FExpansion.find(name); known != FExpansion.end())
      return known->second;
    if (depth > 64)
      return Unbounded;
    FExpansion[name] = Unbounded; // a cycle finds this
    const std::string &value = FValues[name];
    std::size_t length = 0;
    for (std::size_t i = 0; i < value.size();) {
      const std::size_t end = value[i] == '&' ? value.find(';', i + 1) : std::string::npos;
      if (end != std::string::npos) {
        const std::string inner = value.substr(i + 1, end - i - 1);
        length = Add(length, FValues.count(inner) ? Expansion(inner, depth + 1) : end - i + 1);
        i = end + 1;
      } else {
        length = Add(length, 1);
        ++i;
      }
    }
    FExpansion[name] = length;
    return length;
  }

  std::map<std::string, std::string> FValues;
  std::map<std::string, std::size_t> FExpansion;
  std::string_view FBytes;
};

class TSvgDocumentReader {
public:
  TSvgDocumentReader(std::string_view bytes, const TReadOptions &options, bool reference)
      : FBytes(bytes), FOptions(options), FReference(reference), FUnits(options.UnitsPerMM) {}

  TReadResult Run() {
    if (FOptions.SetProgressMax)
      FOptions.SetProgressMax(4);
    Walk();
    Progress();
    if (!FReference)
      HideCoveredAreas(FResult.Levels);
    else
      HideCoveredAreasReference(FResult.Levels);
    Progress();
    if (!FReference)
      HideCoveredLines(FResult.Levels, FOptions.Focus);
    else
      HideCoveredLinesReference(FResult.Levels, FOptions.Focus);
    Progress();
    MergeEqualLevels(FResult.Levels);
    PlaceAtOrigin();
    ShowWarnings();
    return std::move(FResult);
  }

private:
  void Progress() {
    if (FOptions.Progress)
      FOptions.Progress();
  }

  // What was drawn only in part is told once, after the drawing is read, so
  // a file with many broken paths brings up one message and not a hundred.
  void ShowWarnings() const {
    if ((FWarnings.empty() && FLeftOut.empty()) || !FOptions.ShowMessage)
      return;
    std::vector<std::string> lines;
    for (const auto &kind : FLeftOut)
      lines.push_back("SVG line " + std::to_string(kind.Line) + ": <" + kind.Name +
                      "> is not supported and is left out" +
                      (kind.Count > 1 ? " (" + std::to_string(kind.Count) + " in all)" : ""));
    constexpr std::size_t shown = 10;
    for (std::size_t i = 0; i < FWarnings.size() && i < shown; ++i)
      lines.push_back(FWarnings[i]);
    if (FWarnings.size() > shown)
      lines.push_back("(and " + std::to_string(FWarnings.size() - shown) + " more like these)");
    std::string text;
    for (const auto &line : lines)
      text += (text.empty() ? "" : "\n") + line;
    FOptions.ShowMessage(text);
  }

  // Elements that would show something the reader cannot draw: counted by
  // kind, so the user learns what is missing from the drawing.
  void NoteLeftOut(const std::string &name) {
    if (name != "use" && name != "image" && name != "text" && name != "foreignObject")
      return;
    for (auto &kind : FLeftOut)
      if (kind.Name == name) {
        ++kind.Count;
        return;
      }
    FLeftOut.push_back({name, FLine, 1});
  }

  void Warn(const std::string &text) {
    FWarnings.push_back("SVG line " + std::to_string(FLine) + ": " + text);
  }

  // The whole document is parsed once before anything is drawn: a document
  // that is not well-formed fails at once with the parser's message, before
  // any costly geometry, as a whole-document parser would.
  void CheckDocument() {
    QXmlStreamReader xml(
        QByteArray::fromRawData(FBytes.data(), static_cast<qsizetype>(FBytes.size())));
    xml.setNamespaceProcessing(false);
    bool root = false;
    while (!xml.atEnd()) {
      const auto token = xml.readNext();
      if (token == QXmlStreamReader::DTD)
        TEntityCheck(xml.entityDeclarations(), FBytes).Run();
      else if (token == QXmlStreamReader::StartElement)
        root = true;
    }
    if (xml.hasError()) {
      if (!root && xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
        throw TReadError("Invalid XML file format");
      throw TReadError(xml.errorString().toStdString() + " (line " +
                       std::to_string(xml.lineNumber()) + ", column " +
                       std::to_string(xml.columnNumber()) + ")");
    }
    if (!root)
      throw TReadError("Invalid XML file format");
  }

  // The elements are read as a stream, so depth costs no stack.
  void Walk() {
    CheckDocument();
    QXmlStreamReader xml(
        QByteArray::fromRawData(FBytes.data(), static_cast<qsizetype>(FBytes.size())));
    // Prefixed names are matched by their local part, declared or not.
    xml.setNamespaceProcessing(false);
    bool root = false;
    std::vector<TSvgState> states;
    int skippedDepth = 0; // elements of a drawing that shows nothing
    while (!xml.atEnd()) {
      const auto token = xml.readNext();
      if (token == QXmlStreamReader::StartElement) {
        if (skippedDepth > 0) {
          ++skippedDepth;
          continue;
        }
        const std::string name = LocalName(xml.qualifiedName());
        const TAttributes attributes(xml.attributes());
        FLine = xml.lineNumber();
        if (!root) {
          root = true;
          if (name != "svg")
            throw TReadError("The document doesn't seem to be an SVG");
          TSvgState initial;
          if (!Viewport(attributes, initial.Matrix)) {
            ++skippedDepth;
            continue;
          }
          states.push_back(initial);
        }
        if (static_cast<int>(states.size()) > MaxSvgDepth)
          throw TReadError("The drawing's elements are nested too deeply");
        NoteLeftOut(name);
        states.push_back(Element(name, attributes, states.back()));
      } else if (token == QXmlStreamReader::EndElement) {
        if (skippedDepth > 0)
          --skippedDepth;
        else if (!states.empty())
          states.pop_back();
      }
    }
  }

  // The root matrix maps the viewBox onto the drawing size in internal units,
  // Y up. Returns false for a drawing of zero width or height, which shows
  // nothing (the mapping would divide by zero).
  bool Viewport(const TAttributes &attributes, TMatrix &matrix) const {
    const std::string *width = attributes.Find("width");
    const std::string *height = attributes.Find("height");
    double minX = 0, minY = 0, w = 0, h = 0;
    std::int64_t wi = 0, hi = 0;
    if (const std::string *viewBox = attributes.Find("viewBox")) {
      const auto pieces = SplitNumberList(*viewBox);
      if (pieces.size() != 4)
        throw TReadError("Invalid viewport definition");
      minX = NumberOr(pieces[0], 0);
      minY = NumberOr(pieces[1], 0);
      w = NumberOr(pieces[2], 0);
      h = NumberOr(pieces[3], 0);
      if (width && height) {
        wi = ParseSvgLength(*width, FUnits).Size;
        hi = ParseSvgLength(*height, FUnits).Size;
      } else {
        wi = RoundUnit(w * FUnits / 4);
        hi = RoundUnit(h * FUnits / 4);
      }
    } else {
      if (!width || !height)
        throw TReadError("Neither viewbox nor width and height given");
      const TSvgLength lw = ParseSvgLength(*width, FUnits);
      const TSvgLength lh = ParseSvgLength(*height, FUnits);
      w = lw.Number;
      h = lh.Number;
      wi = lw.Size;
      hi = lh.Size;
    }
    if (std::fabs(static_cast<double>(wi)) > MaxSvgCoordinate ||
        std::fabs(static_cast<double>(hi)) > MaxSvgCoordinate)
      throw TReadError("The drawing is too large");
    if (w == 0 || h == 0 || wi == 0 || hi == 0)
      return false;
    const auto fminX = static_cast<float>(minX), fminY = static_cast<float>(minY);
    const auto fw = static_cast<float>(w), fh = static_cast<float>(h);
    matrix = TMatrix::Translation(-fminX, -(fminY + fh)) *
             TMatrix::Scaling(static_cast<float>(wi) / fw, -static_cast<float>(hi) / fh);
    return true;
  }

  static void Style(const std::string &text, TSvgState &state) {
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find(';', start);
      if (end == std::string::npos)
        end = text.size();
      const std::string_view piece = std::string_view(text).substr(start, end - start);
      start = end + 1;
      const auto colon = piece.find(':');
      if (colon == std::string_view::npos)
        continue;
      const std::string_view name = piece.substr(0, colon);
      const std::string_view value = piece.substr(colon + 1);
      if (name == "opacity")
        state.Opacity *= NumberOr(value, 1);
      else if (name == "fill-opacity")
        state.FillOpacity = NumberOr(value, state.FillOpacity);
      else if (name == "stroke-opacity")
        state.StrokeOpacity = NumberOr(value, state.StrokeOpacity);
      else if (name == "stroke-width")
        state.StrokeWidth = NumberOr(value, state.StrokeWidth);
      else if (name == "fill")
        CSSColor(value, state.Fill);
      else if (name == "stroke")
        CSSColor(value, state.Stroke);
      else if (name == "fill-rule" && value != "inherit")
        state.EvenOdd = value == "evenodd";
    }
  }

  void Shape(const std::string &name, const TAttributes &attributes, TSvgPath &path) {
    const auto number = [&](const char *attribute) { return attributes.Number(attribute, 0); };
    if (name == "rect") {
      const float x = number("x"), y = number("y"), w = number("width"), h = number("height");
      float rx = 0, ry = 0;
      if (attributes.Find("rx")) {
        rx = number("rx");
        ry = attributes.Number("ry", rx);
      } else {
        ry = rx = number("ry");
      }
      const float k = Kappa;
      path.MoveTo({x + rx, y});
      path.LineTo({x + w - rx, y});
      path.CurveTo({x + w - rx + k * rx, y}, {x + w, y + ry - k * ry}, {x + w, y + ry});
      path.LineTo({x + w, y + h - ry});
      path.CurveTo({x + w, y + h - ry + k * ry}, {x + w - rx + k * rx, y + h}, {x + w - rx, y + h});
      path.LineTo({x + rx, y + h});
      path.CurveTo({x + rx - k * rx, y + h}, {x, y + h - ry + k * ry}, {x, y + h - ry});
      path.LineTo({x, y + ry});
      path.CurveTo({x, y + ry - k * ry}, {x + rx - k * rx, y}, {x + rx, y});
    } else if (name == "circle" || name == "ellipse") {
      const float rx = name == "circle" ? number("r") : number("rx");
      const float ry = name == "circle" ? rx : number("ry");
      const float cx = number("cx"), cy = number("cy");
      path.AddEllipse(cx - rx, cy - ry, cx + rx, cy + ry);
    } else if (name == "line") {
      path.MoveTo({number("x1"), number("y1")});
      path.LineTo({number("x2"), number("y2")});
    } else if (name == "polyline" || name == "polygon") {
      const std::string *points = attributes.Find("points");
      if (!points)
        throw TReadError("List of points missing");
      const auto pieces = SplitNumberList(*points);
      if (pieces.empty() || pieces.size() % 2 != 0)
        throw TReadError("The number of points is odd");
      if (pieces.size() / 2 > MaxSvgPathEntries)
        throw TReadError("The path data is too long");
      path.MoveTo({NumberOr(pieces[0], 0), NumberOr(pieces[1], 0)});
      for (std::size_t i = 2; i < pieces.size(); i += 2)
        path.LineTo({NumberOr(pieces[i], 0), NumberOr(pieces[i + 1], 0)});
      if (name == "polygon")
        path.ClosePath();
    } else if (name == "path") {
      if (const std::string *d = attributes.Find("d")) {
        // Quadratic curves are read as smooth cubic ones with the same
        // numbers, smooth quadratic ones as straight lines.
        std::string data = *d;
        for (char &c : data)
          c = c == 'q' ? 's' : c == 'Q' ? 'S' : c == 't' ? 'l' : c == 'T' ? 'L' : c;
        const std::string problem = path.SetData(data);
        if (!problem.empty())
          Warn("the path data breaks off: " + problem + "; the path is drawn up to there");
      }
    }
  }

  TSvgState Element(const std::string &name, const TAttributes &attributes,
                    const TSvgState &parent) {
    TSvgState state = parent;
    if (const std::string *transform = attributes.Find("transform"))
      state.Matrix = ParseSvgTransform(*transform) * state.Matrix;
    if (const std::string *style = attributes.Find("style"))
      Style(*style, state);
    state.Opacity = attributes.Number("opacity", 1) * state.Opacity;
    state.FillOpacity = attributes.Number("fill-opacity", state.FillOpacity);
    state.StrokeOpacity = attributes.Number("stroke-opacity", state.StrokeOpacity);
    state.StrokeWidth = attributes.Number("stroke-width", state.StrokeWidth);
    if (const std::string *fill = attributes.Find("fill"))
      CSSColor(*fill, state.Fill);
    if (const std::string *stroke = attributes.Find("stroke"))
      CSSColor(*stroke, state.Stroke);
    if (const std::string *rule = attributes.Find("fill-rule"); rule && *rule != "inherit")
      state.EvenOdd = *rule == "evenodd";

    TSvgPath path;
    Shape(name, attributes, path);
    if (!path.IsEmpty() && state.Opacity > 0.1)
      MakeLevels(path, state);
    return state;
  }

  void MakeLevels(TSvgPath &path, const TSvgState &state) {
    const double opacity = state.Opacity;
    const double strokeAlpha = state.Stroke >> 24;
    const double fillAlpha = state.Fill >> 24;
    const double strokeWeight = opacity * state.StrokeOpacity * state.StrokeWidth * strokeAlpha;
    const double fillWeight = opacity * state.FillOpacity * fillAlpha;
    const bool stroke = strokeWeight >= 64;
    const bool fill = fillWeight >= 64;
    if (!stroke && !fill)
      return;

    path.ApplyMatrix(state.Matrix);
    for (const auto &entry : path.Entries())
      if (!(std::fabs(entry.Point.X) <= MaxSvgCoordinate &&
            std::fabs(entry.Point.Y) <= MaxSvgCoordinate))
        throw TReadError("The drawing's coordinates are out of range");
    const TPolygonF polygon = path.FlattenToPolygon(SvgFlatness, FCurveBudget);
    FPoints += polygon.size();
    if (FPoints > MaxSvgPoints)
      throw TReadError("The drawing has too many points");
    const TPaths paths = PolygonToPaths(polygon);

    if (stroke) {
      auto level = std::make_unique<TLevel>(lkLines);
      GenerateName(*level, ColorToLab(PaletteColor(state.Stroke)));
      std::string levelName = level->Name();
      const std::int32_t percent = RoundWeight(opacity * state.StrokeOpacity * strokeAlpha / 2.55);
      if (percent < 90)
        levelName += " " + std::to_string(percent) + "%";
      if (state.StrokeWidth < 0.8f || state.StrokeWidth > 1.3f)
        levelName += " \u00D7 " + std::to_string(RoundWeight(state.StrokeWidth));
      level->SetName(levelName);
      level->SetHeight(RoundWeight(strokeWeight / 60));
      level->Input()->push_back(paths);
      FResult.Levels.push_back(std::move(level));
    }
    if (fill) {
      auto level = std::make_unique<TLevel>(lkArea);
      GenerateName(*level, ColorToLab(PaletteColor(state.Fill)));
      const std::int32_t percent = RoundWeight(opacity * state.FillOpacity * fillAlpha / 2.55);
      if (percent < 90)
        level->SetName(level->Name() + " " + std::to_string(percent) + "%");
      level->SetHeight(RoundWeight(fillWeight / 60));
      TPaths simple;
      ClipperLib::SimplifyPolygons(paths, simple,
                                   state.EvenOdd ? ClipperLib::pftEvenOdd : ClipperLib::pftNonZero);
      level->Input()->push_back(std::move(simple));
      FResult.Levels.push_back(std::move(level));
    }
  }

  // Moves the drawing's lower-left corner to the origin and sets its size.
  // The bounds start from the first point (not from fixed extremes), so a
  // drawing lying wholly beyond them is still measured correctly.
  void PlaceAtOrigin() {
    bool any = false;
    TIntPoint lo, hi;
    for (const auto &level : FResult.Levels)
      for (const auto &set : *level->Input())
        for (const auto &path : set)
          for (const auto &p : path) {
            if (!any) {
              lo = hi = p;
              any = true;
            }
            lo.X = std::min(lo.X, p.X);
            lo.Y = std::min(lo.Y, p.Y);
            hi.X = std::max(hi.X, p.X);
            hi.Y = std::max(hi.Y, p.Y);
          }
    if (!any) {
      FResult.Size = {0, 0};
      return;
    }
    if (lo.X != 0 || lo.Y != 0)
      for (const auto &level : FResult.Levels)
        for (auto &set : *level->Input())
          for (auto &path : set)
            for (auto &p : path) {
              p.X -= lo.X;
              p.Y -= lo.Y;
            }
    FResult.Size = {static_cast<std::int32_t>(hi.X - lo.X), static_cast<std::int32_t>(hi.Y - lo.Y)};
  }

  std::string_view FBytes;
  const TReadOptions &FOptions;
  // The slow clean-up that tests and benchmarks compare with.
  bool FReference;
  double FUnits;
  TReadResult FResult;
  std::size_t FCurveBudget = MaxSvgPoints;
  std::size_t FPoints = 0;
  // The line of the element being read, for messages.
  std::int64_t FLine = 0;
  std::vector<std::string> FWarnings;
  struct TLeftOut {
    std::string Name;
    std::int64_t Line = 0;
    std::size_t Count = 0;
  };
  std::vector<TLeftOut> FLeftOut;
};

} // namespace

std::uint32_t PaletteColor(std::uint32_t argb) {
  const int channels[3] = {static_cast<int>(argb >> 16 & 0xFF), static_cast<int>(argb >> 8 & 0xFF),
                           static_cast<int>(argb & 0xFF)};
  const int average = (channels[0] + channels[1] + channels[2]) / 3;
  const int largest = std::max({channels[0], channels[1], channels[2]});
  const int high = largest < 192 ? 207 : 255;
  const int low = largest < 192 ? 0 : 64;
  std::uint32_t result = 0xFF000000u;
  for (int i = 0; i < 3; ++i)
    result |= std::uint32_t(channels[i] > average ? high : low) << (16 - 8 * i);
  return result;
}

TSvgLength ParseSvgLength(std::string_view text, double unitsPerMM) {
  text = TrimText(text);
  std::optional<double> number;
  double factor = unitsPerMM / 4;
  if (!text.empty() && text.back() == '%') {
    number = ParseNumber(text.substr(0, text.size() - 1));
  } else if (text.size() > 2) {
    std::string unit(text.substr(text.size() - 2));
    for (char &c : unit)
      c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    static const std::map<std::string, double, std::less<>> factors = {
        {"em", 4},        {"ex", 2},  {"px", 0.25}, {"pt", 6.35 / 18},
        {"pc", 12.7 / 3}, {"cm", 10}, {"mm", 1},    {"in", 25.4}};
    if (const auto it = factors.find(unit); it != factors.end()) {
      number = ParseNumber(text.substr(0, text.size() - 2));
      factor = unitsPerMM * it->second;
    } else {
      number = ParseNumber(text);
    }
  } else {
    number = ParseNumber(text);
  }
  const double n = number.value_or(unitsPerMM);
  const double size = n * factor;
  const double clamped = std::clamp(size, -4e18, 4e18);
  return {n, static_cast<std::int64_t>(std::nearbyint(clamped))};
}

TMatrix ParseSvgTransform(std::string_view text) {
  const auto pieces = SplitNumberList(text);
  TMatrix result;
  const auto isName = [](std::string_view piece) {
    return piece.front() >= 'a' && piece.front() <= 'z';
  };
  for (std::size_t i = 0; i < pieces.size();) {
    if (!isName(pieces[i])) {
      ++i;
      continue;
    }
    const std::string_view name = pieces[i++];
    std::vector<float> a;
    while (i < pieces.size() && !isName(pieces[i]))
      a.push_back(NumberOr(pieces[i++], 0));
    TMatrix t;
    if (name == "matrix") {
      if (a.size() != 6)
        throw TReadError("Matrix transformation expects 6 arguments");
      t.M[0][0] = a[0];
      t.M[0][1] = a[1];
      t.M[1][0] = a[2];
      t.M[1][1] = a[3];
      t.M[2][0] = a[4];
      t.M[2][1] = a[5];
    } else if (name == "translate") {
      if (a.size() != 1 && a.size() != 2)
        throw TReadError("Matrix translation expects 1 or 2 arguments");
      t = TMatrix::Translation(a[0], a.size() == 2 ? a[1] : 0);
    } else if (name == "scale") {
      if (a.size() != 1 && a.size() != 2)
        throw TReadError("Matrix scaling expects 1 or 2 arguments");
      t = TMatrix::Scaling(a[0], a.size() == 2 ? a[1] : a[0]);
    } else if (name == "rotate") {
      if (a.size() == 1)
        t = TMatrix::Rotation(a[0]);
      else if (a.size() == 3)
        t = TMatrix::Translation(-a[1], -a[2]) * TMatrix::Rotation(a[0]) *
            TMatrix::Translation(a[1], a[2]);
      else
        throw TReadError("Matrix rotation expects 1 or 3 arguments");
    } else if (name == "skewX" || name == "skewY") {
      if (a.size() != 1)
        throw TReadError("Matrix skewing expects 1 argument");
      const auto tangent =
          static_cast<float>(std::tan(static_cast<double>(a[0]) * std::numbers::pi / 180));
      (name == "skewX" ? t.M[1][0] : t.M[0][1]) = tangent;
    } else {
      throw TReadError("Unknown transformation: " + std::string(name));
    }
    result = t * result;
  }
  return result;
}

TReadResult LoadSvg(std::string_view bytes, const TReadOptions &options) {
  return TSvgDocumentReader(bytes, options, false).Run();
}

TReadResult LoadSvgReference(std::string_view bytes, const TReadOptions &options) {
  return TSvgDocumentReader(bytes, options, true).Run();
}

TReadResult LoadSvgFile(const std::string &fileName, const TReadOptions &options) {
  return LoadSvg(ReadFileBytes(fileName, MaxSvgFileSize), options);
}
