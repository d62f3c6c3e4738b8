#pragma once
// Aperture templates (the four standard shapes and the file's own macros)
// and the aperture definitions built from them as integer polygon sets.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/Geometry.h"
#include "GerberShapes.h"

// Template name (case as written) -> primitive texts (upper case).
using TMacroTable = std::map<std::string, std::vector<std::string>, std::less<>>;
// D code -> polygon set around the aperture origin, in internal units. Ordered
// by D code, so the fallback for an undefined code is the lowest one.
using TApertureTable = std::map<std::int32_t, TPaths>;

// A fresh macro table holding the standard circle, polygon, rectangle and obround.
TMacroTable StandardMacros();

// text: the AM block without "AM". Throws on a missing "*" or a name in use.
void DefineMacro(TMacroTable &macros, std::string_view text);

struct TApertureContext {
  const TMacroTable &Macros;
  TApertureTable &Apertures;
  // Internal units per file unit at the time of the definition.
  double UnitFactor;
  TWorkBudget &Budget;
  TMergeMode Merge = mmBatched;
};

// text: the AD block without "ADD". Throws on every malformed definition.
void DefineAperture(TApertureContext &context, std::string_view text);

// The shape constructions of the macro primitives, in internal units.
TPaths CircleShape(std::int64_t diameter, TIntPoint centre);
TPaths LineShape(std::int64_t width, TIntPoint from, TIntPoint to);
TPaths RectangleShape(std::int64_t width, std::int64_t height, TIntPoint centre);
TPaths PolygonShape(int vertices, std::int64_t diameter, TIntPoint centre);
