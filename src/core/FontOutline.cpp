#include "FontOutline.h"

#include <algorithm>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>

namespace {

// Glyphs are outlined at this pixel size and scaled to the size asked for:
// Qt takes whole pixel sizes, and drawings ask for fractions, tiny or huge.
constexpr int OutlinePixels = 256;

QString Generic(const QString &name) {
  const QString lower = name.toLower();
  if (lower == "serif")
    return "DejaVu Serif";
  if (lower == "monospace")
    return "DejaVu Sans Mono";
  if (lower == "sans-serif" || lower == "system-ui" || lower == "cursive" || lower == "fantasy")
    return DefaultFontFamily;
  return {};
}

} // namespace

bool TFontOutlines::Available() {
  return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

bool TFontOutlines::Installed(const QString &family) {
  if (!FListed) {
    for (const QString &name : QFontDatabase::families())
      FInstalled.insert(name.toLower());
    FListed = true;
  }
  return FInstalled.count(family.toLower()) > 0;
}

std::pair<QString, std::string> TFontOutlines::Resolve(const std::string &families) {
  if (const auto it = FResolved.find(families); it != FResolved.end())
    return it->second;
  std::string first;
  QString chosen;
  for (QString name : QString::fromStdString(families).split(',')) {
    name = name.trimmed();
    if (name.size() >= 2 && (name.front() == '\'' || name.front() == '"') &&
        name.back() == name.front())
      name = name.mid(1, name.size() - 2).trimmed();
    if (name.isEmpty())
      continue;
    if (first.empty())
      first = name.toStdString();
    const QString generic = Generic(name);
    if (!generic.isEmpty()) {
      chosen = generic;
      break;
    }
    if (Installed(name)) {
      chosen = name;
      break;
    }
  }
  std::pair<QString, std::string> result{chosen, {}};
  if (chosen.isEmpty())
    result = {DefaultFontFamily, first};
  FResolved[families] = result;
  return result;
}

TGlyphRun TFontOutlines::Outline(const TFontRequest &request, const QString &text) {
  TGlyphRun run;
  const auto [family, missing] = Resolve(request.Families);
  run.Missing = missing;
  run.Drawn = family.toStdString();
  QFont font(family);
  font.setPixelSize(OutlinePixels);
  font.setWeight(static_cast<QFont::Weight>(std::clamp(request.Weight, 1, 1000)));
  font.setItalic(request.Italic);
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setKerning(true);
  const double scale = request.Size / OutlinePixels;
  if (request.LetterSpacing != 0 && scale > 0)
    font.setLetterSpacing(QFont::AbsoluteSpacing, request.LetterSpacing / scale);
  QPainterPath path;
  path.addText(0, 0, font, text);
  QTransform transform;
  transform.scale(scale, scale);
  run.Outline = transform.map(path);
  const QFontMetricsF metrics(font);
  run.Advance = metrics.horizontalAdvance(text) * scale;
  run.CapHeight = metrics.capHeight() * scale;
  run.Descent = metrics.descent() * scale;
  return run;
}
