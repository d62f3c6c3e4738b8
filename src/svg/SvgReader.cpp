#include "SvgReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "CssColor.h"
#include "SvgCleanup.h"
#include "SvgDocument.h"
#include "SvgPath.h"
#include "SvgStyleSheet.h"
#include "SvgText.h"
#include "core/Bounds.h"
#include "core/ColorUnit.h"
#include "core/Crossings.h"
#include "core/FileBytes.h"
#include "core/FontOutline.h"
#include "core/Matrix.h"
#include "core/PathUtils.h"

namespace {

// Curves become points about this many internal units apart.
constexpr float SvgFlatness = 10.0f;
// Control distance of a quarter ellipse drawn as one cubic curve.
constexpr float Kappa = 0.5522847498f;
// Gradients and patterns refer to others for their stops and content; a
// longer chain than this is taken as broken.
constexpr int MaxPaintChain = 16;
// Characters of text drawn in one drawing; a megabyte of text is cut here.
constexpr std::size_t MaxSvgTextCharacters = 200000;
// Font sizes beyond this many user units are not drawn: their outlines
// would leave any drawing's range.
constexpr float MaxSvgFontSize = 100000;
// Path data problems named one by one in the report; the rest are counted.
constexpr std::size_t ShownWarnings = 10;

struct TSvgState {
  TMatrix Matrix;
  float Opacity = 1;
  float FillOpacity = 1;
  float StrokeOpacity = 1;
  float StrokeWidth = 1;
  std::uint32_t Fill = 0xFF000000u;
  std::uint32_t Stroke = 0;
  // The colour that "currentColor" stands for.
  std::uint32_t Color = 0xFF000000u;
  bool EvenOdd = false;
  bool ClipEvenOdd = false;
  // The viewport in user units, for lengths given in per cent.
  float ViewWidth = 100;
  float ViewHeight = 100;
  // Text.
  std::string FontFamily = DefaultFontFamily;
  float FontSize = 16;
  int FontWeight = 400;
  bool Italic = false;
  std::uint8_t Anchor = 0; // start, middle, end
  float LetterSpacing = 0;
  // Markers are inherited, so a group can set them for all its paths.
  std::string MarkerStart, MarkerMid, MarkerEnd;
  // What context-fill and context-stroke stand for: inside a marker the
  // fill and stroke of the shape it marks, elsewhere nothing.
  std::uint32_t ContextFill = 0;
  std::uint32_t ContextStroke = 0;
};

// What is not inherited: it belongs to the one element that sets it.
struct TElementProps {
  std::string ClipPath;
  std::string Mask;
  bool Hidden = false; // display: none
  bool Filtered = false;
  bool Dashed = false;
};

// Rounds half to even into the 32-bit range: weights of absurd opacities or
// widths must not overflow.
std::int32_t RoundWeight(double value) {
  if (!(value == value))
    return 0;
  return static_cast<std::int32_t>(std::nearbyint(std::clamp(value, -2147483647.0, 2147483647.0)));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) ==
                  (y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y);
         });
}

bool IsShape(const std::string &name) {
  return name == "rect" || name == "circle" || name == "ellipse" || name == "line" ||
         name == "polyline" || name == "polygon" || name == "path";
}

// Elements that only define what others refer to: never drawn where they
// stand (a <symbol> is drawn through <use>, the rest through properties).
bool IsDefinition(const std::string &name) {
  return name == "defs" || name == "symbol" || name == "clipPath" || name == "mask" ||
         name == "marker" || name == "pattern" || name == "linearGradient" ||
         name == "radialGradient" || name == "filter" || name == "style" || name == "script" ||
         name == "title" || name == "desc" || name == "metadata" || name == "font" ||
         name == "font-face" || name == "cursor";
}

// A length of a <use>, <svg> or <symbol> in user units: plain, px, per cent
// of reference, or an absolute unit at 96 user units per inch.
std::optional<float> UserLength(const std::string *text, float reference) {
  if (!text)
    return std::nullopt;
  std::string_view t = TrimText(*text);
  double factor = 1;
  if (!t.empty() && t.back() == '%') {
    factor = reference / 100.0;
    t.remove_suffix(1);
  } else if (t.size() > 2) {
    static const std::pair<std::string_view, double> units[] = {
        {"px", 1}, {"mm", 96 / 25.4}, {"cm", 96 / 2.54}, {"in", 96}, {"pt", 96 / 72.0}, {"pc", 16}};
    for (const auto &[unit, f] : units)
      if (t.substr(t.size() - 2) == unit) {
        factor = f;
        t.remove_suffix(2);
        break;
      }
  }
  const auto number = ParseNumber(t);
  if (!number)
    return std::nullopt;
  return static_cast<float>(*number * factor);
}

// A stroke width as CSS writes it: a plain number or px in user units, an
// absolute unit at 96 px per inch, per cent of the viewport's normalised
// diagonal, em and ex of the font size. A value that is none of these (such
// as "inherit") keeps the inherited width.
float StrokeWidthOf(std::string_view value, const TSvgState &state) {
  const double w = state.ViewWidth, h = state.ViewHeight;
  const auto diagonal = static_cast<float>(std::sqrt((w * w + h * h) / 2));
  const std::string text(value);
  if (const auto length = UserLength(&text, diagonal))
    return *length;
  std::string_view t = TrimText(value);
  if (t.size() > 2 && (t.ends_with("em") || t.ends_with("ex"))) {
    const float share = t.ends_with("em") ? 1.0f : 0.5f;
    t.remove_suffix(2);
    if (const auto number = ParseNumber(t))
      return static_cast<float>(*number) * share * state.FontSize;
  }
  return state.StrokeWidth;
}

// The mapping of a viewBox onto the viewport (x, y, width, height) that
// preserveAspectRatio asks for; without a viewBox only the move to (x, y).
TMatrix ViewBoxMatrix(const std::string *viewBox, const std::string *aspect, float x, float y,
                      float width, float height, float &viewWidth, float &viewHeight) {
  viewWidth = width;
  viewHeight = height;
  if (!viewBox)
    return TMatrix::Translation(x, y);
  const auto pieces = SplitNumberList(*viewBox);
  if (pieces.size() != 4)
    return TMatrix::Translation(x, y);
  const float vx = NumberOr(pieces[0], 0), vy = NumberOr(pieces[1], 0);
  const float vw = NumberOr(pieces[2], 0), vh = NumberOr(pieces[3], 0);
  if (!(vw > 0) || !(vh > 0))
    return TMatrix::Translation(x, y);
  viewWidth = vw;
  viewHeight = vh;
  float sx = width / vw, sy = height / vh;
  std::string align = "xMidYMid";
  bool slice = false;
  if (aspect)
    for (const auto piece : SplitSeparators(*aspect)) {
      if (piece == "slice")
        slice = true;
      else if (piece != "meet" && piece != "defer")
        align = std::string(piece);
    }
  float ax = 0, ay = 0;
  if (align != "none") {
    sx = sy = slice ? std::max(sx, sy) : std::min(sx, sy);
    const float freeX = width - vw * sx, freeY = height - vh * sy;
    if (align.find("xMid") != std::string::npos)
      ax = freeX / 2;
    else if (align.find("xMax") != std::string::npos)
      ax = freeX;
    if (align.find("YMid") != std::string::npos)
      ay = freeY / 2;
    else if (align.find("YMax") != std::string::npos)
      ay = freeY;
  }
  return TMatrix::Scaling(sx, sy) * TMatrix::Translation(x - vx * sx + ax, y - vy * sy + ay);
}

// The style attribute read as it always was: entries split at ";", the name
// before the first ":" untrimmed (a blank before it makes it unknown).
std::vector<std::pair<std::string_view, std::string_view>> StyleEntries(std::string_view text) {
  std::vector<std::pair<std::string_view, std::string_view>> entries;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string_view::npos)
      end = text.size();
    const std::string_view piece = text.substr(start, end - start);
    start = end + 1;
    const auto colon = piece.find(':');
    if (colon != std::string_view::npos)
      entries.emplace_back(piece.substr(0, colon), piece.substr(colon + 1));
  }
  return entries;
}

// Presentation attributes, in the order they are applied.
constexpr std::string_view PresentationAttributes[] = {
    "color",      "opacity",     "fill-opacity",  "stroke-opacity",   "stroke-width",
    "fill",       "stroke",      "fill-rule",     "clip-rule",        "clip-path",
    "mask",       "filter",      "display",       "stroke-dasharray", "marker-start",
    "marker-mid", "marker-end",  "font-family",   "font-size",        "font-weight",
    "font-style", "text-anchor", "letter-spacing"};

// A font size from its parent's: a length, per cent, em or a keyword.
float FontSize(std::string_view text, float parent) {
  const std::string_view t = TrimText(text);
  static const std::pair<std::string_view, float> keywords[] = {
      {"xx-small", 9}, {"x-small", 10}, {"small", 13},   {"medium", 16},
      {"large", 18},   {"x-large", 24}, {"xx-large", 32}};
  for (const auto &[word, size] : keywords)
    if (t == word)
      return size;
  if (t == "larger")
    return parent * 1.2f;
  if (t == "smaller")
    return parent / 1.2f;
  if (t.size() > 2 && t.substr(t.size() - 2) == "em")
    if (const auto n = ParseNumber(t.substr(0, t.size() - 2)))
      return static_cast<float>(*n * parent);
  const std::string copy(t);
  return UserLength(&copy, parent).value_or(parent);
}

class TSvgDocumentReader {
public:
  // The clean-up steps are passed in, so that the slow reference clean-up
  // runs the same reading around it.
  using THideAreas = void (*)(TLevelList &);
  using THideLines = void (*)(TLevelList &, std::int32_t, std::vector<std::string> &);
  TSvgDocumentReader(std::string_view bytes, const TReadOptions &options, THideAreas hideAreas,
                     THideLines hideLines)
      : FBytes(bytes), FOptions(options), FHideAreas(hideAreas), FHideLines(hideLines),
        FUnits(options.UnitsPerMM) {}

  TReadResult Run() {
    if (FOptions.SetProgressMax)
      FOptions.SetProgressMax(4);
    FDocument = std::make_unique<TSvgDocument>(FBytes);
    ReadStyleSheets();
    Walk();
    Progress();
    FHideAreas(FResult.Levels);
    Progress();
    FHideLines(FResult.Levels, FOptions.Focus, FCleanupReport);
    Progress();
    MergeEqualLevels(FResult.Levels);
    PlaceAtOrigin();
    WriteReport();
    return std::move(FResult);
  }

private:
  struct TFrame {
    std::uint32_t Node = 0;
    TSvgState State;
    // The element's user space, where its clip path and mask are drawn.
    TMatrix ClipMatrix;
    std::vector<std::uint32_t> Children;
    std::size_t Next = 0;
    // The first level the element made; its clip applies from there on.
    std::size_t LevelStart = 0;
    int UseDepth = 0;
    std::string ClipPath;
    std::string Mask;
    // A nested viewport's clip in internal units.
    std::optional<TPaths> Viewport;
    // What a <use> tells the <symbol> or <svg> it draws.
    bool Use = false;
    const std::string *UseWidth = nullptr;
    const std::string *UseHeight = nullptr;
    // A marked shape's children are its markers, each placed on its vertex
    // with a state of its own.
    std::vector<TSvgState> MarkerStates;
  };

  struct TNote {
    std::string Text;
    std::int64_t Line = 0;
    std::size_t Count = 0;
  };

  void Progress() {
    if (FOptions.Progress)
      FOptions.Progress();
  }

  const TSvgDocument &Document() const { return *FDocument; }

  // What the reader left out or approximated, counted by kind in the order
  // first met, then the path data problems, so a file with many broken
  // paths makes a dozen lines and not a hundred.
  void WriteReport() {
    if (const std::size_t skipped = FSheet.Skipped())
      FResult.Report.push_back(std::to_string(skipped) + " style sheet rule" +
                               (skipped > 1 ? "s" : "") +
                               " with selectors or at-rules that are not supported ignored");
    for (const auto &note : FNotes)
      FResult.Report.push_back(std::to_string(note.Count) + " " + note.Text + " (" +
                               (note.Count > 1 ? "first on line " : "line ") +
                               std::to_string(note.Line) + ")");
    for (std::size_t i = 0; i < FWarnings.size() && i < ShownWarnings; ++i)
      FResult.Report.push_back(FWarnings[i]);
    if (FWarnings.size() > ShownWarnings)
      FResult.Report.push_back("(and " + std::to_string(FWarnings.size() - ShownWarnings) +
                               " more like these)");
    for (const auto &line : FCleanupReport)
      FResult.Report.push_back(line);
  }

  void Note(const std::string &text) {
    for (auto &note : FNotes)
      if (note.Text == text) {
        ++note.Count;
        return;
      }
    FNotes.push_back({text, FLine, 1});
  }

  void Warn(const std::string &text) {
    FWarnings.push_back("SVG line " + std::to_string(FLine) + ": " + text);
  }

  void ReadStyleSheets() {
    for (std::uint32_t i = 0; i < Document().Size(); ++i) {
      const TSvgNode &node = Document().Node(i);
      if (node.Name != "style")
        continue;
      if (const std::string *type = node.Find("type");
          type && !type->empty() && TrimText(*type) != "text/css")
        continue;
      for (const auto child : node.Children)
        if (Document().Node(child).IsText())
          FSheet.Add(Document().Node(child).Text);
    }
  }

  // One property from any source into the state or the element's own props.
  void Apply(std::string_view name, std::string_view value, TSvgState &state,
             TElementProps &props) {
    if (name == "opacity")
      state.Opacity *= NumberOr(value, 1);
    else if (name == "fill-opacity")
      state.FillOpacity = NumberOr(value, state.FillOpacity);
    else if (name == "stroke-opacity")
      state.StrokeOpacity = NumberOr(value, state.StrokeOpacity);
    else if (name == "stroke-width")
      state.StrokeWidth = StrokeWidthOf(value, state);
    else if (name == "fill")
      Paint(value, state, state.Fill);
    else if (name == "stroke")
      Paint(value, state, state.Stroke);
    else if (name == "color")
      Paint(value, state, state.Color);
    else if (name == "fill-rule" && value != "inherit")
      state.EvenOdd = value == "evenodd";
    else if (name == "clip-rule" && TrimText(value) != "inherit")
      state.ClipEvenOdd = TrimText(value) == "evenodd";
    else if (name == "clip-path")
      props.ClipPath = TrimText(value) == "none" ? "" : std::string(TrimText(value));
    else if (name == "mask")
      props.Mask = TrimText(value) == "none" ? "" : std::string(TrimText(value));
    else if (name == "display")
      props.Hidden = TrimText(value) == "none";
    else if (name == "filter")
      props.Filtered = !TrimText(value).empty() && TrimText(value) != "none";
    else if (name == "stroke-dasharray")
      props.Dashed = !TrimText(value).empty() && TrimText(value) != "none";
    else if (name == "font-family")
      state.FontFamily = std::string(TrimText(value));
    else if (name == "font-size")
      state.FontSize = FontSize(value, state.FontSize);
    else if (name == "font-weight") {
      const std::string_view v = TrimText(value);
      if (v == "bold" || v == "bolder")
        state.FontWeight = 700;
      else if (v == "normal" || v == "lighter")
        state.FontWeight = 400;
      else if (const auto n = ParseNumber(v))
        state.FontWeight = static_cast<int>(std::clamp(*n, 1.0, 1000.0));
    } else if (name == "font-style")
      state.Italic = TrimText(value) == "italic" || TrimText(value) == "oblique";
    else if (name == "text-anchor") {
      const std::string_view v = TrimText(value);
      state.Anchor = v == "middle" ? 1 : v == "end" ? 2 : v == "start" ? 0 : state.Anchor;
    } else if (name == "letter-spacing") {
      const std::string copy(TrimText(value));
      state.LetterSpacing = copy == "normal" ? 0 : UserLength(&copy, state.FontSize).value_or(0);
    } else if (name == "marker-start" || name == "marker-mid" || name == "marker-end" ||
               name == "marker") {
      const std::string_view v = TrimText(value);
      if (v == "inherit")
        return;
      const std::string reference = v == "none" ? std::string() : std::string(v);
      if (name == "marker-start" || name == "marker")
        state.MarkerStart = reference;
      if (name == "marker-mid" || name == "marker")
        state.MarkerMid = reference;
      if (name == "marker-end" || name == "marker")
        state.MarkerEnd = reference;
    }
  }

  // A fill or stroke: a colour, currentColor, or a gradient or pattern drawn
  // in one colour; a reference that leads nowhere uses its fallback colour.
  void Paint(std::string_view value, const TSvgState &state, std::uint32_t &colour) {
    const std::string_view text = TrimText(value);
    if (text.substr(0, 4) == "url(") {
      const auto close = text.find(')');
      const std::string_view reference =
          close == std::string_view::npos ? text : text.substr(0, close + 1);
      if (const auto resolved = PaintServerColour(reference)) {
        colour = *resolved;
        return;
      }
      const std::string_view fallback =
          close == std::string_view::npos ? std::string_view() : TrimText(text.substr(close + 1));
      if (fallback.empty()) {
        // As a colour word it is unknown, and unknown words burn white.
        Note("fill or stroke of a missing gradient or pattern drawn white");
        CSSColor(value, colour);
      } else {
        Paint(fallback, state, colour);
      }
      return;
    }
    if (EqualsNoCase(text, "currentColor")) {
      colour = state.Color;
      return;
    }
    if (text == "context-fill" || text == "context-stroke") {
      colour = text == "context-fill" ? state.ContextFill : state.ContextStroke;
      return;
    }
    CSSColor(value, colour);
  }

  std::optional<std::uint32_t> PaintServerColour(std::string_view reference) {
    std::uint32_t index = 0;
    const TSvgNode *node = Document().ByReference(reference, &index);
    if (!node)
      return std::nullopt;
    if (node->Name == "linearGradient" || node->Name == "radialGradient") {
      Note("gradient drawn in the mean colour of its stops");
      if (const auto it = FPaintCache.find(index); it != FPaintCache.end())
        return it->second;
      const std::uint32_t colour = GradientColour(index);
      FPaintCache[index] = colour;
      return colour;
    }
    if (node->Name == "pattern") {
      Note("pattern drawn in the colour of its first shape");
      if (const auto it = FPaintCache.find(index); it != FPaintCache.end())
        return it->second;
      if (std::find(FPaintActive.begin(), FPaintActive.end(), index) != FPaintActive.end())
        return std::nullopt; // a pattern whose shape is painted with itself
      FPaintActive.push_back(index);
      const std::uint32_t colour = PatternColour(index);
      FPaintActive.pop_back();
      FPaintCache[index] = colour;
      return colour;
    }
    return std::nullopt;
  }

  // The element whose children a gradient or pattern uses: itself, or the
  // one its href names when it has none of its own.
  template <typename THas> std::uint32_t ContentSource(std::uint32_t index, THas has) const {
    for (int i = 0; i < MaxPaintChain && !has(Document().Node(index)); ++i) {
      const TSvgNode &node = Document().Node(index);
      const std::string *href = node.Find("href");
      if (!href)
        href = node.Find("xlink:href");
      std::uint32_t next = 0;
      if (!href || !Document().ByReference(*href, &next) || next == index)
        break;
      index = next;
    }
    return index;
  }

  // The colour a gradient averages to along its axis: the stops joined by
  // straight ramps, each channel and the opacity integrated over 0 to 1.
  std::uint32_t GradientColour(std::uint32_t index) {
    const std::uint32_t source = ContentSource(index, [this](const TSvgNode &node) {
      return std::any_of(node.Children.begin(), node.Children.end(), [this](std::uint32_t child) {
        return Document().Node(child).Name == "stop";
      });
    });
    struct TStop {
      double Offset, A, R, G, B;
    };
    std::vector<TStop> stops;
    for (const auto child : Document().Node(source).Children) {
      const TSvgNode &stop = Document().Node(child);
      if (stop.Name != "stop")
        continue;
      std::string colourText = "black", opacityText = "1";
      if (const std::string *v = stop.Find("stop-color"))
        colourText = *v;
      if (const std::string *v = stop.Find("stop-opacity"))
        opacityText = *v;
      const auto take = [&](const std::string &name, const std::string &value) {
        if (name == "stop-color")
          colourText = value;
        else if (name == "stop-opacity")
          opacityText = value;
      };
      if (!FSheet.Empty())
        for (const auto &d : FSheet.Match(Document(), child))
          take(d.Name, d.Value);
      if (const std::string *style = stop.Find("style"))
        for (const auto &[name, value] : StyleEntries(*style))
          take(std::string(TrimText(name)), std::string(value));
      std::uint32_t colour = 0xFF000000u;
      CSSColor(colourText, colour);
      double offset = 0;
      if (const std::string *v = stop.Find("offset")) {
        std::string_view t = TrimText(*v);
        const bool percent = !t.empty() && t.back() == '%';
        if (percent)
          t.remove_suffix(1);
        offset = NumberOr(t, 0) / (percent ? 100.0 : 1.0);
      }
      offset = std::clamp(offset, stops.empty() ? 0.0 : stops.back().Offset, 1.0);
      const double alpha =
          std::clamp(static_cast<double>(NumberOr(opacityText, 1)), 0.0, 1.0) * (colour >> 24);
      stops.push_back({offset, alpha, static_cast<double>(colour >> 16 & 0xFF),
                       static_cast<double>(colour >> 8 & 0xFF),
                       static_cast<double>(colour & 0xFF)});
    }
    if (stops.empty())
      return 0;
    TStop sum{0, 0, 0, 0, 0};
    const auto add = [&sum](const TStop &a, const TStop &b, double length) {
      sum.A += (a.A + b.A) / 2 * length;
      sum.R += (a.R + b.R) / 2 * length;
      sum.G += (a.G + b.G) / 2 * length;
      sum.B += (a.B + b.B) / 2 * length;
    };
    add(stops.front(), stops.front(), stops.front().Offset);
    for (std::size_t i = 1; i < stops.size(); ++i)
      add(stops[i - 1], stops[i], stops[i].Offset - stops[i - 1].Offset);
    add(stops.back(), stops.back(), 1 - stops.back().Offset);
    const auto channel = [](double v) {
      return static_cast<std::uint32_t>(std::clamp(std::nearbyint(v), 0.0, 255.0));
    };
    return channel(sum.A) << 24 | channel(sum.R) << 16 | channel(sum.G) << 8 | channel(sum.B);
  }

  // A pattern burns in the colour of the first shape it draws.
  std::uint32_t PatternColour(std::uint32_t index) {
    const std::uint32_t source =
        ContentSource(index, [](const TSvgNode &node) { return !node.Children.empty(); });
    struct TItem {
      std::uint32_t Node;
      TSvgState State;
    };
    TSvgState initial;
    TElementProps props;
    Cascade(source, initial, initial, props);
    std::vector<TItem> pending;
    const auto &children = Document().Node(source).Children;
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      pending.push_back({*it, initial});
    while (!pending.empty()) {
      const TItem item = pending.back();
      pending.pop_back();
      const TSvgNode &node = Document().Node(item.Node);
      if (node.IsText() || IsDefinition(node.Name))
        continue;
      TSvgState state;
      Cascade(item.Node, item.State, state, props);
      if (IsShape(node.Name)) {
        if (state.Fill >> 24)
          return state.Fill;
        if (state.Stroke >> 24)
          return state.Stroke;
        continue;
      }
      for (auto it = node.Children.rbegin(); it != node.Children.rend(); ++it)
        pending.push_back({*it, state});
    }
    return 0;
  }

  // The element's state from its parent's: the transform, then the style
  // sheet, the style attribute and the presentation attributes. Between the
  // last two the attributes win; the sheet loses to the style attribute and
  // beats the attributes, and its !important entries beat both.
  void Cascade(std::uint32_t index, const TSvgState &parent, TSvgState &state,
               TElementProps &props) {
    const TSvgNode &node = Document().Node(index);
    state = parent;
    props = {};
    if (const std::string *transform = node.Find("transform"))
      state.Matrix = ParseSvgTransform(*transform) * state.Matrix;
    std::vector<TCssDeclaration> sheet;
    if (!FSheet.Empty())
      sheet = FSheet.Match(Document(), index);
    std::vector<std::pair<std::string_view, std::string_view>> style;
    if (const std::string *text = node.Find("style"))
      style = StyleEntries(*text);
    const auto inStyle = [&style](std::string_view name) {
      return std::any_of(style.begin(), style.end(),
                         [name](const auto &entry) { return entry.first == name; });
    };
    const auto sheetWins = [&](std::string_view name, bool overStyle) {
      return std::any_of(sheet.begin(), sheet.end(), [&](const TCssDeclaration &d) {
        return d.Name == name && (d.Important || (!overStyle && !inStyle(name)));
      });
    };
    for (const auto &d : sheet)
      if (d.Important || !inStyle(d.Name))
        Apply(d.Name, d.Value, state, props);
    for (const auto &[name, value] : style)
      if (!sheetWins(name, true))
        Apply(name, value, state, props);
    for (const std::string_view name : PresentationAttributes)
      if (const std::string *value = node.Find(name); value && !sheetWins(name, false))
        Apply(name, *value, state, props);
  }

  // The root matrix maps the viewBox onto the drawing size in internal units,
  // Y up. Returns false for a drawing of zero width or height, which shows
  // nothing (the mapping would divide by zero).
  bool Viewport(const TSvgNode &root, TSvgState &state) const {
    const std::string *width = root.Find("width");
    const std::string *height = root.Find("height");
    double minX = 0, minY = 0, w = 0, h = 0;
    std::int64_t wi = 0, hi = 0;
    if (const std::string *viewBox = root.Find("viewBox")) {
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
        // Checked before rounding: a huge viewBox has no integer size.
        const double sw = w * FUnits / 4, sh = h * FUnits / 4;
        if (!(std::fabs(sw) <= MaxSvgCoordinate && std::fabs(sh) <= MaxSvgCoordinate))
          throw TReadError("The drawing is too large");
        wi = RoundUnit(sw);
        hi = RoundUnit(sh);
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
    state.Matrix = TMatrix::Translation(-fminX, -(fminY + fh)) *
                   TMatrix::Scaling(static_cast<float>(wi) / fw, -static_cast<float>(hi) / fh);
    state.ViewWidth = std::fabs(fw);
    state.ViewHeight = std::fabs(fh);
    return true;
  }

  // The elements are walked with a stack of their own, so neither nesting
  // nor <use> chains cost the program's stack.
  void Walk() {
    TSvgState initial;
    if (!Viewport(Document().Node(0), initial))
      return;
    FActive.assign(Document().Size(), 0);
    Enter(0, initial, {}, 0);
    while (!FStack.empty()) {
      TFrame &top = FStack.back();
      if (top.Next < top.Children.size()) {
        const std::uint32_t child = top.Children[top.Next++];
        const bool marker = !top.MarkerStates.empty();
        const TSvgState state = marker ? std::move(top.MarkerStates[top.Next - 1]) : top.State;
        const TUseContext use{top.Use, top.UseWidth, top.UseHeight, marker};
        Enter(child, state, use, top.Use || marker ? top.UseDepth + 1 : top.UseDepth);
      } else {
        TFrame frame = std::move(top);
        FStack.pop_back();
        Leave(frame);
      }
    }
  }

  // What a <use> tells the element it draws.
  struct TUseContext {
    bool Use = false;
    const std::string *Width = nullptr;
    const std::string *Height = nullptr;
    bool Marker = false;
  };

  void Enter(std::uint32_t index, const TSvgState &parent, const TUseContext &from, int useDepth) {
    const TSvgNode &node = Document().Node(index);
    if (node.IsText())
      return;
    FLine = node.Line;
    if (useDepth > 0 && ++FCopies > MaxSvgUseCopies)
      throw TReadError("The drawing's <use> elements make more than " +
                       std::to_string(MaxSvgUseCopies) + " copies");
    const bool viaUse = from.Use;
    if (IsDefinition(node.Name) && !(viaUse && node.Name == "symbol") &&
        !(from.Marker && node.Name == "marker"))
      return;
    if (from.Marker) {
      if (FActive[index] > 0) {
        Note("<marker> that contains itself left out");
        return;
      }
      if (useDepth > MaxSvgUseDepth)
        throw TReadError("The drawing's markers are nested too deeply");
    }
    TFrame frame;
    frame.Node = index;
    frame.UseDepth = useDepth;
    frame.LevelStart = FResult.Levels.size();
    TElementProps props;
    Cascade(index, parent, frame.State, props);
    if (props.Hidden)
      return;
    frame.ClipMatrix = frame.State.Matrix;
    frame.ClipPath = props.ClipPath;
    frame.Mask = props.Mask;
    if (props.Filtered)
      Note("filter ignored");
    const std::string &name = node.Name;
    if (name == "use") {
      const std::string *href = node.Find("href");
      if (!href)
        href = node.Find("xlink:href");
      std::uint32_t target = 0;
      if (!href || !Document().ByReference(*href, &target)) {
        Note("<use> of a missing element left out");
        return;
      }
      if (FActive[target] > 0) {
        Note("<use> that contains itself left out");
        return;
      }
      if (useDepth + 1 > MaxSvgUseDepth)
        throw TReadError("The drawing's <use> elements are nested too deeply");
      const float x = UserLength(node.Find("x"), parent.ViewWidth).value_or(0);
      const float y = UserLength(node.Find("y"), parent.ViewHeight).value_or(0);
      frame.State.Matrix = TMatrix::Translation(x, y) * frame.State.Matrix;
      frame.Children = {target};
      frame.Use = true;
      frame.UseWidth = node.Find("width");
      frame.UseHeight = node.Find("height");
    } else if ((name == "svg" && index != 0) || name == "symbol") {
      const bool symbol = name == "symbol";
      const float x = symbol ? 0 : UserLength(node.Find("x"), parent.ViewWidth).value_or(0);
      const float y = symbol ? 0 : UserLength(node.Find("y"), parent.ViewHeight).value_or(0);
      const std::string *widthText = viaUse && from.Width ? from.Width : node.Find("width");
      const std::string *heightText = viaUse && from.Height ? from.Height : node.Find("height");
      const float width = UserLength(widthText, parent.ViewWidth).value_or(parent.ViewWidth);
      const float height = UserLength(heightText, parent.ViewHeight).value_or(parent.ViewHeight);
      if (!(width > 0) || !(height > 0))
        return; // a viewport of no size shows nothing
      const TMatrix outer = frame.State.Matrix;
      frame.State.Matrix =
          ViewBoxMatrix(node.Find("viewBox"), node.Find("preserveAspectRatio"), x, y, width, height,
                        frame.State.ViewWidth, frame.State.ViewHeight) *
          outer;
      const std::string *overflow = node.Find("overflow");
      if (!overflow || (TrimText(*overflow) != "visible" && TrimText(*overflow) != "auto")) {
        TSvgPath rect;
        rect.MoveTo({x, y});
        rect.LineTo({x + width, y});
        rect.LineTo({x + width, y + height});
        rect.LineTo({x, y + height});
        rect.ClosePath();
        rect.ApplyMatrix(outer);
        frame.Viewport = PolygonToPaths(rect.FlattenToPolygon(SvgFlatness, FCurveBudget));
      }
      frame.Children = node.Children;
    } else if (name == "marker") {
      EnterMarker(node, frame);
    } else if (name == "switch") {
      for (const auto child : node.Children)
        if (Applies(Document().Node(child))) {
          frame.Children = {child};
          break;
        }
    } else if (name == "text" && TFontOutlines::Available()) {
      DrawText(index, frame.State);
    } else if (name == "image" || name == "foreignObject" || name == "text") {
      Note("<" + name + "> left out");
      return;
    } else if (IsShape(name)) {
      TSvgPath path;
      Shape(name, node, path);
      if (!path.IsEmpty() && frame.State.Opacity > 0.1) {
        const bool marked = !frame.State.MarkerStart.empty() || !frame.State.MarkerMid.empty() ||
                            !frame.State.MarkerEnd.empty();
        // Only these shapes take markers; rectangles and ellipses do not.
        const bool markable =
            name == "path" || name == "line" || name == "polyline" || name == "polygon";
        std::vector<TSvgVertex> vertices;
        if (marked && markable)
          vertices = path.Vertices();
        MakeLevels(path, frame.State, props);
        if (!vertices.empty())
          PlaceMarkers(vertices, frame);
      }
    } else {
      frame.Children = node.Children;
    }
    ++FActive[index];
    FStack.push_back(std::move(frame));
  }

  // The state a marker's content inherits: that of the marker's own
  // ancestors, not of the shape it marks.
  const TSvgState &MarkerParentState(std::uint32_t marker) {
    if (const auto it = FMarkerStates.find(marker); it != FMarkerStates.end())
      return it->second;
    std::vector<std::uint32_t> chain;
    for (std::uint32_t i = Document().Node(marker).Parent; chain.size() < Document().Size();
         i = Document().Node(i).Parent) {
      chain.push_back(i);
      if (i == 0)
        break;
    }
    TSvgState state;
    TElementProps props;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      TSvgState next;
      Cascade(*it, state, next, props);
      state = std::move(next);
    }
    return FMarkerStates.emplace(marker, std::move(state)).first->second;
  }

  // The shape's frame gets one child per marker drawn: start on the first
  // vertex, end on the last, mid on the rest. Each is placed as the
  // marker's orient and markerUnits ask: turned to the path's direction,
  // scaled by the stroke width, moved onto its vertex.
  void PlaceMarkers(const std::vector<TSvgVertex> &vertices, TFrame &frame) {
    const TSvgState &shape = frame.State;
    const auto resolve = [this](const std::string &reference) -> std::optional<std::uint32_t> {
      if (reference.empty())
        return std::nullopt;
      std::uint32_t index = 0;
      const TSvgNode *node = Document().ByReference(reference, &index);
      if (!node || node->Name != "marker") {
        Note("marker of a missing element left out");
        return std::nullopt;
      }
      return index;
    };
    const std::optional<std::uint32_t> markers[3] = {
        resolve(shape.MarkerStart), resolve(shape.MarkerMid), resolve(shape.MarkerEnd)};
    if (vertices.size() > MaxSvgUseCopies)
      throw TReadError("The drawing's markers make more than " + std::to_string(MaxSvgUseCopies) +
                       " copies");
    for (std::size_t i = 0; i < vertices.size(); ++i) {
      const bool first = i == 0, last = i + 1 == vertices.size();
      for (int kind = 0; kind < 3; ++kind) {
        if (!markers[kind] || (kind == 0 && !first) || (kind == 1 && (first || last)) ||
            (kind == 2 && !last))
          continue;
        const TSvgNode &marker = Document().Node(*markers[kind]);
        float angle = 0;
        const std::string *orient = marker.Find("orient");
        const std::string_view orientText = orient ? TrimText(*orient) : std::string_view();
        if (orientText == "auto" || orientText == "auto-start-reverse")
          angle = vertices[i].Angle + (kind == 0 && orientText == "auto-start-reverse" ? 180 : 0);
        else if (!orientText.empty())
          angle = OrientAngle(orientText);
        const std::string *units = marker.Find("markerUnits");
        const float scale =
            units && TrimText(*units) == "userSpaceOnUse" ? 1.0f : shape.StrokeWidth;
        TSvgState state = MarkerParentState(*markers[kind]);
        state.Matrix = TMatrix::Scaling(scale, scale) * TMatrix::Rotation(angle) *
                       TMatrix::Translation(vertices[i].Point.X, vertices[i].Point.Y) *
                       shape.Matrix;
        state.Opacity *= shape.Opacity;
        state.ContextFill = shape.Fill;
        state.ContextStroke = shape.Stroke;
        state.ViewWidth = shape.ViewWidth;
        state.ViewHeight = shape.ViewHeight;
        frame.Children.push_back(*markers[kind]);
        frame.MarkerStates.push_back(std::move(state));
      }
    }
  }

  // A fixed orient: an angle in degrees, or with deg, rad, grad or turn.
  static float OrientAngle(std::string_view text) {
    static const std::pair<std::string_view, double> units[] = {
        {"grad", 0.9}, {"turn", 360}, {"deg", 1}, {"rad", 180 / std::numbers::pi}};
    for (const auto &[unit, factor] : units)
      if (text.size() > unit.size() && text.substr(text.size() - unit.size()) == unit)
        return static_cast<float>(NumberOr(text.substr(0, text.size() - unit.size()), 0) * factor);
    return NumberOr(text, 0);
  }

  // A marker drawn on a vertex: its viewBox maps onto markerWidth by
  // markerHeight, the reference point onto the vertex; unless its overflow
  // is visible, what lies outside that box is cut off.
  void EnterMarker(const TSvgNode &node, TFrame &frame) {
    const float width = UserLength(node.Find("markerWidth"), frame.State.ViewWidth).value_or(3);
    const float height = UserLength(node.Find("markerHeight"), frame.State.ViewHeight).value_or(3);
    if (!(width > 0) || !(height > 0))
      return; // a marker of no size shows nothing
    const TMatrix placement = frame.State.Matrix;
    const TMatrix view =
        ViewBoxMatrix(node.Find("viewBox"), node.Find("preserveAspectRatio"), 0, 0, width, height,
                      frame.State.ViewWidth, frame.State.ViewHeight);
    const TPointF reference =
        view.Apply({UserLength(node.Find("refX"), frame.State.ViewWidth).value_or(0),
                    UserLength(node.Find("refY"), frame.State.ViewHeight).value_or(0)});
    const TMatrix outer = TMatrix::Translation(-reference.X, -reference.Y) * placement;
    frame.State.Matrix = view * outer;
    // Drawing programs set overflow in the style attribute as often as in
    // its own.
    std::string_view overflow;
    if (const std::string *attribute = node.Find("overflow"))
      overflow = TrimText(*attribute);
    if (const std::string *style = node.Find("style"))
      for (const auto &[key, value] : StyleEntries(*style))
        if (TrimText(key) == "overflow")
          overflow = TrimText(value);
    if (overflow != "visible" && overflow != "auto") {
      TSvgPath rect;
      rect.MoveTo({0, 0});
      rect.LineTo({width, 0});
      rect.LineTo({width, height});
      rect.LineTo({0, height});
      rect.ClosePath();
      rect.ApplyMatrix(outer);
      frame.Viewport = PolygonToPaths(rect.FlattenToPolygon(SvgFlatness, FCurveBudget));
    }
    frame.Children = node.Children;
  }

  // A child of <switch> that this reader can stand for: no extensions
  // asked for, and English among the languages if any are named.
  static bool Applies(const TSvgNode &node) {
    if (node.IsText())
      return false;
    if (const std::string *extensions = node.Find("requiredExtensions");
        extensions && !TrimText(*extensions).empty())
      return false;
    if (const std::string *languages = node.Find("systemLanguage")) {
      for (const auto language : SplitSeparators(*languages))
        if (language.substr(0, 2) == "en")
          return true;
      return false;
    }
    return true;
  }

  void Leave(TFrame &frame) {
    --FActive[frame.Node];
    FLine = Document().Node(frame.Node).Line;
    if (frame.Viewport)
      ClipLevels(frame.LevelStart, *frame.Viewport);
    if (!frame.ClipPath.empty())
      if (const auto region = ClipRegion(frame.ClipPath, frame, false))
        ClipLevels(frame.LevelStart, *region);
    if (!frame.Mask.empty())
      if (const auto region = ClipRegion(frame.Mask, frame, true))
        ClipLevels(frame.LevelStart, *region);
  }

  // The levels an element made keep only what lies inside region; a level
  // left with nothing goes.
  void ClipLevels(std::size_t start, const TPaths &region) {
    auto &levels = FResult.Levels;
    std::size_t kept = start;
    for (std::size_t i = start; i < levels.size(); ++i) {
      TPaths &paths = levels[i]->Input()->front();
      paths = levels[i]->Kind() == lkArea
                  ? BooleanPaths(paths, region, ClipperLib::ctIntersection)
                  : ClipOpenPaths(paths, region, ClipperLib::ctIntersection);
      if (!paths.empty())
        levels[kept++] = std::move(levels[i]);
    }
    levels.resize(kept);
  }

  // The bounding box, in the element's user space, of what it drew.
  std::optional<std::array<double, 4>> UserBounds(const TFrame &frame) const {
    const auto &m = frame.ClipMatrix.M;
    const double det = double(m[0][0]) * m[1][1] - double(m[0][1]) * m[1][0];
    if (!(std::fabs(det) > 0))
      return std::nullopt;
    bool any = false;
    std::array<double, 4> box{0, 0, 0, 0};
    for (std::size_t i = frame.LevelStart; i < FResult.Levels.size(); ++i)
      for (const auto &path : FResult.Levels[i]->Input()->front())
        for (const auto &p : path) {
          const double dx = double(p.X) - m[2][0], dy = double(p.Y) - m[2][1];
          const double x = (dx * m[1][1] - dy * m[1][0]) / det;
          const double y = (dy * m[0][0] - dx * m[0][1]) / det;
          if (!any)
            box = {x, y, x, y};
          any = true;
          box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x),
                 std::max(box[3], y)};
        }
    if (!any)
      return std::nullopt;
    return box;
  }

  // The region a clip path or mask lets through, in internal units; none
  // when the reference leads nowhere or back to itself (then nothing is
  // clipped and the report says so).
  std::optional<TPaths> ClipRegion(const std::string &reference, const TFrame &frame, bool mask) {
    std::uint32_t index = 0;
    const TSvgNode *node = Document().ByReference(reference, &index);
    const char *kind = mask ? "mask" : "clipPath";
    if (!node || node->Name != kind) {
      Note(std::string(mask ? "mask" : "clip-path") + " of a missing element ignored");
      return std::nullopt;
    }
    if (std::find(FClipActive.begin(), FClipActive.end(), index) != FClipActive.end()) {
      Note(std::string("<") + kind + "> that refers to itself ignored");
      return std::nullopt;
    }
    if (mask)
      Note("<mask> drawn as a clip of its shapes");
    const std::string *units = node->Find(mask ? "maskContentUnits" : "clipPathUnits");
    TMatrix matrix = frame.ClipMatrix;
    if (units && TrimText(*units) == "objectBoundingBox") {
      const auto box = UserBounds(frame);
      if (!box)
        return TPaths();
      matrix = TMatrix::Scaling(static_cast<float>((*box)[2] - (*box)[0]),
                                static_cast<float>((*box)[3] - (*box)[1])) *
               TMatrix::Translation(static_cast<float>((*box)[0]), static_cast<float>((*box)[1])) *
               matrix;
    }
    FClipActive.push_back(index);
    TSvgState state;
    state.Matrix = matrix;
    state.ViewWidth = frame.State.ViewWidth;
    state.ViewHeight = frame.State.ViewHeight;
    TElementProps props;
    TSvgState own;
    Cascade(index, state, own, props);
    TPaths region = ClipContent(index, own, mask);
    if (!props.ClipPath.empty())
      if (const auto inner = ClipRegion(props.ClipPath, frame, false))
        region = BooleanPaths(region, *inner, ClipperLib::ctIntersection);
    FClipActive.pop_back();
    return region;
  }

  // The shapes of a clip path united; in a mask, light shapes add to the
  // region and dark ones take away from it, in drawing order.
  TPaths ClipContent(std::uint32_t index, const TSvgState &state, bool mask) {
    struct TItem {
      std::uint32_t Node;
      TSvgState State;
      int UseDepth;
    };
    std::vector<TItem> pending;
    const auto push = [&](const TSvgNode &node, const TSvgState &s, int depth) {
      for (auto it = node.Children.rbegin(); it != node.Children.rend(); ++it)
        pending.push_back({*it, s, depth});
    };
    push(Document().Node(index), state, 0);
    TPaths region;
    while (!pending.empty()) {
      const TItem item = pending.back();
      pending.pop_back();
      const TSvgNode &node = Document().Node(item.Node);
      if (node.IsText() || IsDefinition(node.Name))
        continue;
      if (item.UseDepth > 0 && ++FCopies > MaxSvgUseCopies)
        throw TReadError("The drawing's <use> elements make more than " +
                         std::to_string(MaxSvgUseCopies) + " copies");
      TSvgState own;
      TElementProps props;
      Cascade(item.Node, item.State, own, props);
      if (props.Hidden)
        continue;
      if (node.Name == "use") {
        const std::string *href = node.Find("href");
        if (!href)
          href = node.Find("xlink:href");
        std::uint32_t target = 0;
        if (!href || !Document().ByReference(*href, &target))
          continue;
        if (item.UseDepth + 1 > MaxSvgUseDepth)
          throw TReadError("The drawing's <use> elements are nested too deeply");
        own.Matrix = TMatrix::Translation(UserLength(node.Find("x"), own.ViewWidth).value_or(0),
                                          UserLength(node.Find("y"), own.ViewHeight).value_or(0)) *
                     own.Matrix;
        pending.push_back({target, own, item.UseDepth + 1});
        continue;
      }
      if ((node.Name == "g" || node.Name == "a" || node.Name == "switch") &&
          (mask || item.UseDepth > 0)) {
        push(node, own, item.UseDepth);
        continue;
      }
      if (node.Name == "text") {
        Note("<text> in a clip path or mask left out");
        continue;
      }
      if (!IsShape(node.Name))
        continue;
      TSvgPath path;
      Shape(node.Name, node, path);
      if (path.IsEmpty())
        continue;
      path.ApplyMatrix(own.Matrix);
      CheckRange(path);
      const TPolygonF polygon = path.FlattenToPolygon(SvgFlatness, FCurveBudget);
      CountPoints(polygon.size());
      TPaths shape;
      const bool evenOdd = mask ? own.EvenOdd : own.ClipEvenOdd;
      ClipperLib::SimplifyPolygons(PolygonToPaths(polygon), shape,
                                   evenOdd ? ClipperLib::pftEvenOdd : ClipperLib::pftNonZero);
      bool adds = true;
      if (mask) {
        const std::uint32_t fill = own.Fill;
        const double light =
            (0.2126 * (fill >> 16 & 0xFF) + 0.7152 * (fill >> 8 & 0xFF) + 0.0722 * (fill & 0xFF)) /
            255 * (fill >> 24) / 255 * own.Opacity * own.FillOpacity;
        if ((fill >> 24) == 0)
          continue;
        adds = light >= 0.5;
      }
      region = adds ? BooleanPaths(region, shape, ClipperLib::ctUnion)
                    : BooleanPaths(region, shape, ClipperLib::ctDifference);
    }
    return region;
  }

  // One piece of text in one style, placed on its line.
  struct TTextRun {
    TSvgPath Path;
    TSvgState State;
    TElementProps Props;
  };

  // Text and its <tspan>s become glyph outlines, filled and stroked like
  // paths. Each x or y starts a new line whose text-anchor shifts it as a
  // whole; dx and dy move on from where the text before ended. Of position
  // lists only the first number counts.
  void DrawText(std::uint32_t index, const TSvgState &state) {
    struct TItem {
      std::uint32_t Node;
      TSvgState State;
      TElementProps Props;
    };
    float x = 0, y = 0;
    std::vector<TTextRun> line;
    std::uint8_t lineAnchor = state.Anchor;
    float lineStart = 0;
    bool space = true; // a blank just before: the next one is dropped
    const auto flush = [&] {
      const float width = x - lineStart;
      const float shift = lineAnchor == 1 ? -width / 2 : lineAnchor == 2 ? -width : 0;
      for (auto &run : line) {
        if (shift != 0)
          run.Path.ApplyMatrix(TMatrix::Translation(shift, 0));
        if (!run.Path.IsEmpty() && run.State.Opacity > 0.1)
          MakeLevels(run.Path, run.State, run.Props);
      }
      line.clear();
    };
    const auto place = [&](const TSvgNode &node, const TSvgState &s) {
      const auto first = [&](const char *name, float reference) -> std::optional<float> {
        const std::string *text = node.Find(name);
        if (!text)
          return std::nullopt;
        const auto pieces = SplitSeparators(*text);
        if (pieces.empty())
          return std::nullopt;
        const std::string piece(pieces.front());
        return UserLength(&piece, reference);
      };
      const auto ax = first("x", s.ViewWidth), ay = first("y", s.ViewHeight);
      if (ax || ay) {
        flush();
        x = ax.value_or(x);
        y = ay.value_or(y);
        lineStart = x;
        lineAnchor = s.Anchor;
      }
      x += first("dx", s.ViewWidth).value_or(0);
      y += first("dy", s.ViewHeight).value_or(0);
    };

    std::vector<TItem> pending;
    place(Document().Node(index), state);
    const auto pushChildren = [&](const TSvgNode &node, const TSvgState &s,
                                  const TElementProps &props) {
      for (auto it = node.Children.rbegin(); it != node.Children.rend(); ++it)
        pending.push_back({*it, s, props});
    };
    pushChildren(Document().Node(index), state, {});
    while (!pending.empty()) {
      TItem item = std::move(pending.back());
      pending.pop_back();
      const TSvgNode &node = Document().Node(item.Node);
      if (!node.IsText()) {
        if (node.Name != "tspan" && node.Name != "a") {
          if (node.Name == "textPath")
            Note("<textPath> left out");
          continue;
        }
        TSvgState own;
        TElementProps props;
        Cascade(item.Node, item.State, own, props);
        if (props.Hidden)
          continue;
        place(node, own);
        pushChildren(node, own, props);
        continue;
      }
      // Blanks collapse to one, as SVG lays out text by default.
      QString text;
      for (const QChar c : QString::fromStdString(node.Text)) {
        const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (blank && space)
          continue;
        text += blank ? QChar(' ') : c;
        space = blank;
      }
      if (text.isEmpty())
        continue;
      if (FTextCharacters + static_cast<std::size_t>(text.size()) > MaxSvgTextCharacters) {
        Note("text beyond " + std::to_string(MaxSvgTextCharacters) + " characters left out");
        break;
      }
      FTextCharacters += static_cast<std::size_t>(text.size());
      const TSvgState &s = item.State;
      if (!(s.FontSize > 0) || s.FontSize > MaxSvgFontSize) {
        if (s.FontSize > MaxSvgFontSize)
          Note("text in a font size beyond " + std::to_string(int(MaxSvgFontSize)) + " left out");
        continue;
      }
      TFontRequest request;
      request.Families = s.FontFamily;
      request.Weight = s.FontWeight;
      request.Italic = s.Italic;
      request.Size = s.FontSize;
      request.LetterSpacing = s.LetterSpacing;
      const TGlyphRun glyphs = FFonts.Outline(request, text);
      if (!glyphs.Missing.empty())
        Note("text in font '" + glyphs.Missing + "', which is not installed, drawn in " +
             glyphs.Drawn);
      TTextRun run;
      run.State = s;
      run.Props = item.Props;
      AppendOutline(glyphs.Outline, x, y, run.Path);
      x += static_cast<float>(glyphs.Advance);
      line.push_back(std::move(run));
    }
    // A blank at the very end does not count towards the line's width.
    flush();
  }

  static void AppendOutline(const QPainterPath &outline, float dx, float dy, TSvgPath &path) {
    for (int i = 0; i < outline.elementCount(); ++i) {
      const QPainterPath::Element &e = outline.elementAt(i);
      const TPointF p{static_cast<float>(e.x) + dx, static_cast<float>(e.y) + dy};
      if (e.isMoveTo()) {
        path.MoveTo(p);
      } else if (e.isLineTo()) {
        path.LineTo(p);
      } else if (e.isCurveTo() && i + 2 < outline.elementCount()) {
        const QPainterPath::Element &c2 = outline.elementAt(i + 1);
        const QPainterPath::Element &end = outline.elementAt(i + 2);
        path.CurveTo(p, {static_cast<float>(c2.x) + dx, static_cast<float>(c2.y) + dy},
                     {static_cast<float>(end.x) + dx, static_cast<float>(end.y) + dy});
        i += 2;
      }
    }
  }

  void CheckRange(const TSvgPath &path) const {
    for (const auto &entry : path.Entries())
      if (!(std::fabs(entry.Point.X) <= MaxSvgCoordinate &&
            std::fabs(entry.Point.Y) <= MaxSvgCoordinate))
        throw TReadError("The drawing's coordinates are out of range");
  }

  void CountPoints(std::size_t points) {
    FPoints += points;
    if (FPoints > MaxSvgPoints)
      throw TReadError("The drawing has too many points");
  }

  void Shape(const std::string &name, const TSvgNode &node, TSvgPath &path) {
    // Units on shape attributes are not read: "10px" counts as not a number.
    const auto number = [&](const char *attribute, float fallback = 0) {
      const std::string *value = node.Find(attribute);
      return value ? NumberOr(*value, fallback) : fallback;
    };
    if (name == "rect") {
      const float x = number("x"), y = number("y"), w = number("width"), h = number("height");
      float rx = 0, ry = 0;
      if (node.Find("rx")) {
        rx = number("rx");
        ry = number("ry", rx);
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
      const std::string *points = node.Find("points");
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
      if (const std::string *d = node.Find("d")) {
        const std::string problem = path.SetData(*d);
        if (!problem.empty())
          Warn("the path data breaks off: " + problem + "; the path is drawn up to there");
      }
    }
  }

  void MakeLevels(TSvgPath &path, const TSvgState &state, const TElementProps &props) {
    const double opacity = state.Opacity;
    const double strokeAlpha = state.Stroke >> 24;
    const double fillAlpha = state.Fill >> 24;
    const double strokeWeight = opacity * state.StrokeOpacity * state.StrokeWidth * strokeAlpha;
    const double fillWeight = opacity * state.FillOpacity * fillAlpha;
    const bool stroke = strokeWeight >= 64;
    const bool fill = fillWeight >= 64;
    if (!stroke && !fill)
      return;
    if (stroke && props.Dashed)
      Note("dashed stroke drawn solid");

    path.ApplyMatrix(state.Matrix);
    CheckRange(path);
    const TPolygonF polygon = path.FlattenToPolygon(SvgFlatness, FCurveBudget);
    CountPoints(polygon.size());
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
      // A polygon through thousands of random points crosses itself
      // millions of times, which the simplification sorts for minutes.
      if (const std::uint64_t crossings = EstimateCrossings(ClosePaths(paths), MaxFillCrossings);
          crossings > MaxFillCrossings) {
        Warn(TooManyCrossingsText(crossings, "fill it") + "; the fill is left out");
        return;
      }
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
    const ClipperLib::IntRect box = LevelsInputBox(FResult);
    if (IsEmptyBox(box)) {
      FResult.Size = {0, 0};
      return;
    }
    MoveLevelsInput(FResult, {box.left, box.top});
    FResult.Size = {static_cast<std::int32_t>(box.right - box.left),
                    static_cast<std::int32_t>(box.bottom - box.top)};
  }

  std::string_view FBytes;
  const TReadOptions &FOptions;
  // The slow clean-up that tests and benchmarks compare with.
  THideAreas FHideAreas;
  THideLines FHideLines;
  double FUnits;
  std::unique_ptr<TSvgDocument> FDocument;
  TSvgStyleSheet FSheet;
  TReadResult FResult;
  std::vector<TFrame> FStack;
  // Per element: how many frames on the stack draw it; a <use> of an
  // element that is being drawn would never end.
  std::vector<std::uint32_t> FActive;
  // Clip paths and masks being worked out, and patterns being coloured.
  std::vector<std::uint32_t> FClipActive;
  std::vector<std::uint32_t> FPaintActive;
  std::map<std::uint32_t, std::uint32_t> FPaintCache;
  std::map<std::uint32_t, TSvgState> FMarkerStates;
  std::size_t FCopies = 0;
  TFontOutlines FFonts;
  std::size_t FTextCharacters = 0;
  std::size_t FCurveBudget = MaxSvgPoints;
  std::size_t FPoints = 0;
  // The line of the element being read, for messages.
  std::int64_t FLine = 0;
  std::vector<std::string> FWarnings;
  // What the clean-up steps could not do.
  std::vector<std::string> FCleanupReport;
  std::vector<TNote> FNotes;
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
  return TSvgDocumentReader(bytes, options, HideCoveredAreas, HideCoveredLines).Run();
}

TReadResult LoadSvgReference(std::string_view bytes, const TReadOptions &options) {
  return TSvgDocumentReader(bytes, options, HideCoveredAreasReference, HideCoveredLinesReference)
      .Run();
}

TReadResult LoadSvgFile(const std::string &fileName, const TReadOptions &options) {
  return LoadSvg(ReadFileBytes(fileName, MaxSvgFileSize), options);
}
