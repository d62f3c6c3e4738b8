#pragma once
// Glyph outlines for SVG text through Qt's font machinery, fonts found by
// fontconfig. Needs a QGuiApplication (the window, brennix-cli); without
// one no text can be drawn and Available() says so.

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

struct TSvgFontRequest {
  // The font-family list as written ("'Gill Sans', Arial, sans-serif").
  std::string Families;
  int Weight = 400;
  bool Italic = false;
  // In user units, as the font size.
  double Size = 16;
  double LetterSpacing = 0;
};

struct TGlyphRun {
  // The outline in user units, baseline at y = 0, starting at x = 0.
  QPainterPath Outline;
  double Advance = 0;
  // The first family asked for, when none was installed; else empty.
  std::string Missing;
  std::string Drawn;
};

class TSvgFonts {
public:
  static bool Available();
  TGlyphRun Outline(const TSvgFontRequest &request, const QString &text);

private:
  // The installed family for a font-family list and the first one asked for
  // when it fell back.
  std::pair<QString, std::string> Resolve(const std::string &families);
  bool Installed(const QString &family);

  std::set<QString> FInstalled;
  bool FListed = false;
  std::map<std::string, std::pair<QString, std::string>> FResolved;
};
