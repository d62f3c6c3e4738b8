#include "StrokeFont.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string_view>

// Generated at build time from the Hershey font file (see CMakeLists.txt):
// the text of the .jhf file, one glyph a line, characters 32 to 126 in order.
extern const char StrokeFontData[];
extern const std::size_t StrokeFontDataSize;

namespace {

// Hershey coordinates are letters offset from "R"; Y points down, a capital
// spans -12 (top) to 9 (baseline).
constexpr int HersheyOrigin = 'R';
constexpr double HersheyBaseline = 9;
constexpr double HersheyCapHeight = 21;

constexpr std::size_t GlyphCount = 126 - 32 + 1;
using TGlyphRecords = std::array<std::string_view, GlyphCount>;

// Each glyph's text, its header included, in one pass over the data. A
// glyph may wrap onto further lines: a record ends where a line starts with
// a glyph number (five digits or blanks).
TGlyphRecords GlyphRecords() {
  const std::string_view data(StrokeFontData, StrokeFontDataSize);
  TGlyphRecords records;
  std::size_t index = 0, start = 0;
  auto startsRecord = [&](std::size_t at) {
    return at + 8 <= data.size() &&
           data.substr(at, 5).find_first_not_of(" 0123456789") == std::string_view::npos;
  };
  while (start < data.size() && index < GlyphCount) {
    std::size_t end = data.find('\n', start);
    while (end != std::string_view::npos && !startsRecord(end + 1) && end + 1 < data.size())
      end = data.find('\n', end + 1);
    if (end == std::string_view::npos)
      end = data.size();
    records[index++] = data.substr(start, end - start);
    start = end + 1;
  }
  return records;
}

TStrokeGlyph ParseGlyph(std::string_view record) {
  TStrokeGlyph glyph;
  if (record.size() < 8)
    return glyph;
  int count = 0;
  for (char c : record.substr(5, 3))
    if (c >= '0' && c <= '9')
      count = count * 10 + (c - '0');
  // The vertex letters, line breaks of wrapped records left out.
  std::string_view rest = record.substr(8);
  std::vector<char> letters;
  letters.reserve(rest.size());
  for (char c : rest)
    if (c != '\n' && c != '\r')
      letters.push_back(c);
  if (letters.size() < 2 || count < 1)
    return glyph;
  const auto coordinate = [](char c) { return static_cast<double>(c - HersheyOrigin); };
  glyph.Left = coordinate(letters[0]) / HersheyCapHeight;
  glyph.Right = coordinate(letters[1]) / HersheyCapHeight;
  TStroke stroke;
  for (std::size_t i = 2; i + 1 < letters.size() && static_cast<int>(i / 2) < count; i += 2) {
    if (letters[i] == ' ' && letters[i + 1] == 'R') { // pen up
      if (stroke.size() >= 2)
        glyph.Strokes.push_back(std::move(stroke));
      stroke.clear();
      continue;
    }
    stroke.push_back({coordinate(letters[i]) / HersheyCapHeight,
                      (HersheyBaseline - coordinate(letters[i + 1])) / HersheyCapHeight});
  }
  if (stroke.size() >= 2)
    glyph.Strokes.push_back(std::move(stroke));
  return glyph;
}

std::size_t GlyphIndex(unsigned char c) { return (c < 32 || c > 126 ? '?' : c) - 32u; }

} // namespace

TStrokeGlyph StrokeGlyph(unsigned char c) { return ParseGlyph(GlyphRecords()[GlyphIndex(c)]); }

TStrokeText LayoutStrokeText(std::string_view text, TStrokePoint origin,
                             const TStrokeTextStyle &style) {
  TStrokeText result;
  const double cosD = std::cos(style.Direction), sinD = std::sin(style.Direction);
  const bool fixed = style.Width > 0;
  const double scaleX = fixed ? style.Width / StrokeCapitalWidth : style.Height;
  const double scaleY = style.Height;
  TStrokePoint pen = origin;
  // A glyph point (x along the run from the pen, y up from the baseline) in
  // the plane: the run direction, and up leaned by the slant.
  const auto place = [&](double x, double y) {
    const double along = x + style.Slant * y;
    return TStrokePoint{pen.X + along * cosD - y * sinD, pen.Y + along * sinD + y * cosD};
  };
  // Each glyph is parsed once per layout: a long label repeats its letters.
  const TGlyphRecords records = GlyphRecords();
  std::array<std::optional<TStrokeGlyph>, GlyphCount> glyphs;
  for (const char raw : text) {
    const std::size_t index = GlyphIndex(static_cast<unsigned char>(raw));
    if (!glyphs[index])
      glyphs[index] = ParseGlyph(records[index]);
    const TStrokeGlyph &glyph = *glyphs[index];
    double advance;
    double shift; // from the pen to the glyph's centre line, along the run
    if (fixed) {
      advance = style.Advance;
      shift = style.Width / 2;
    } else {
      advance = (glyph.Right - glyph.Left) * scaleX;
      shift = -glyph.Left * scaleX;
    }
    for (const TStroke &stroke : glyph.Strokes) {
      TStroke &placed = result.Strokes.emplace_back();
      placed.reserve(stroke.size());
      for (const TStrokePoint &p : stroke)
        placed.push_back(place(shift + p.X * scaleX, p.Y * scaleY));
    }
    if (fixed && (style.Step.X != 0 || style.Step.Y != 0))
      pen = {pen.X + style.Step.X, pen.Y + style.Step.Y};
    else
      pen = {pen.X + advance * cosD, pen.Y + advance * sinD};
  }
  result.End = pen;
  return result;
}
