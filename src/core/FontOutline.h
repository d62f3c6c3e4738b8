#pragma once
// Glyph outlines for text of drawings (SVG text, DXF labels) through Qt's
// font machinery, fonts found by fontconfig. Needs a QGuiApplication (the window, brennix-cli);
// without one no text can be drawn and Available() says so.

#include <map>
#include <set>
#include <string>
#include <tuple>

#include <QFont>
#include <QPainterPath>
#include <QString>

// The family drawn when none of those asked for is installed, from the
// fonts-dejavu-core package the program depends on.
inline constexpr const char *DefaultFontFamily = "DejaVu Sans";

struct TFontRequest {
  // The font-family list as written ("'Gill Sans', Arial, sans-serif").
  std::string Families;
  int Weight = 400;
  bool Italic = false;
  // In the drawing's units, as the font size.
  double Size = 16;
  double LetterSpacing = 0;
};

struct TGlyphRun {
  // The outline in the drawing's units, y down, baseline at y = 0,
  // starting at x = 0.
  QPainterPath Outline;
  double Advance = 0;
  // Of the font drawn, in the same units.
  double CapHeight = 0;
  double Descent = 0;
  // The first family asked for, when none was installed; else empty.
  std::string Missing;
  std::string Drawn;
};

class TFontOutlines {
public:
  static bool Available();
  TGlyphRun Outline(const TFontRequest &request, const QString &text);

private:
  // The installed family for a font-family list and the first one asked for
  // when it fell back.
  std::pair<QString, std::string> Resolve(const std::string &families);
  bool Installed(const QString &family);

  std::set<QString> FInstalled;
  bool FListed = false;
  std::map<std::string, std::pair<QString, std::string>> FResolved;
};
