#pragma once
// A single-stroke font for text that is burnt as lines (plotter labels, and
// later SVG text and DXF TEXT): the simplex Roman of the Hershey fonts, built
// into the program, and a layout of strings into polylines.

#include <string_view>
#include <vector>

// Double precision: a label's strokes are placed far from the origin at a
// size of a few plotter units, where single precision would bend them.
struct TStrokePoint {
  double X = 0;
  double Y = 0;
  friend bool operator==(const TStrokePoint &, const TStrokePoint &) = default;
};
using TStroke = std::vector<TStrokePoint>;

// One glyph in cap heights: Y up, the baseline at 0, the top of a capital at 1;
// X from the glyph's centre line. Left and Right are its side bearings (Left
// negative): the font's own advance is Right - Left.
struct TStrokeGlyph {
  double Left = 0;
  double Right = 0;
  std::vector<TStroke> Strokes;
};

// The font covers the printable ASCII characters 32 to 126; any other
// character gets the glyph of "?" so that a label never silently loses a
// letter's place. Parses the built-in data each call (a few dozen
// characters), so it keeps no state.
TStrokeGlyph StrokeGlyph(unsigned char c);

// How a string is laid out. The run direction is (cos Direction, sin
// Direction); "up" is the run direction turned a quarter turn anticlockwise,
// leaned by Slant (the tangent of the lean: x grows by Slant times the height).
struct TStrokeTextStyle {
  // Capital height.
  double Height = 1;
  // Fixed pitch: every character is centred in a cell of Advance, its glyph
  // scaled to Width across the body of a capital. Width 0 means
  // proportional: the font's own widths at this height, Advance unused.
  double Width = 0;
  double Advance = 0;
  // Fixed pitch only: when not zero, the step from one character to the next
  // in place of Advance along the run (text stacked down the page).
  TStrokePoint Step;
  double Direction = 0;
  double Slant = 0;
};

struct TStrokeText {
  std::vector<TStroke> Strokes;
  // Where the next character would start.
  TStrokePoint End;
};

// Lays text out from origin (the left end of its baseline): one polyline per
// glyph stroke, in text order. A blank only advances. Control characters are
// the caller's business: they are laid out as "?" here.
TStrokeText LayoutStrokeText(std::string_view text, TStrokePoint origin,
                             const TStrokeTextStyle &style);

// The body width of a capital in cap heights, the width that fixed pitch
// scales to Width.
constexpr double StrokeCapitalWidth = 16.0 / 21.0;
