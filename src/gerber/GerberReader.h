#pragma once
// Gerber RS-274X copper layers: the command interpreter that turns a file
// into one polygon set, and the reader that makes it the "Copper" level.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Geometry.h"
#include "core/ReadResult.h"
#include "GerberShapes.h"

// Limits of one parse. Coordinates, steps and arc offsets beyond
// GerberCoordinateLimit internal units (a kilometre at the finest unit) are
// errors, which keeps every product far inside Clipper's range; one SR may
// ask for at most GerberMaxRepeats copies (a panel of 100 x 100); and all the
// geometry a file generates together may not exceed MaxPoints points.
constexpr double GerberCoordinateLimit = 1e9;
constexpr std::int64_t GerberMaxRepeats = 10000;
constexpr std::int64_t GerberMaxPoints = 20'000'000;
// Larger files are refused before they are read.
constexpr std::int64_t GerberMaxFileBytes = 256LL << 20;

struct TGerberOptions {
  double UnitsPerMM = 100;
  // Every draw becomes a 2 x 2 unit strip whatever the aperture (board outlines).
  bool Hairline = false;
  std::int64_t MaxPoints = GerberMaxPoints;
  // When set, receives what the file holds that changes nothing in the
  // image drawn here, counted by command ("2 %KO% commands ignored").
  std::vector<std::string> *Report = nullptr;
};

// Interprets the text of a Gerber file and returns its image: everything dark
// united, minus what clear objects removed after it. Throws TReadError
// ("Gerber line N: what is wrong: the command"), or one saying the text is
// an Excellon drill file.
TPaths ParseGerber(std::string_view text, const TGerberOptions &options);

// The file as text: a UTF-16 byte-order mark selects that encoding, anything
// else is read byte by byte (the parser keeps only printable ASCII anyway).
std::string ReadGerberText(const std::string &fileName);

// Moves every point by the given amount, exactly.
void ShiftPaths(TPaths &paths, TIntPoint by);

// One "Copper" area level holding the image; Size from its bounds. A board
// partly left of or below the origin is moved into the drawing, and
// GerberShift says by how much.
TReadResult LoadGerberFile(const std::string &fileName, const TReadOptions &options);

// Kept for tests and benchmarks: the same image, every shape merged into it
// by its own boolean operation instead of in batches.
TPaths ParseGerberReference(std::string_view text, const TGerberOptions &options);
