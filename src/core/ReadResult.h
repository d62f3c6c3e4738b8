#pragma once
// What a drawing reader is given and what it hands back to file intake.

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <QImage>

#include "Geometry.h"
#include "Level.h"

// A bad drawing: what() is the exact message the user sees.
class TReadError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct TReadOptions {
  double UnitsPerMM = 100;
  // Spot diameter in internal units.
  std::int32_t Focus = 20;
  // The open dialog's filter index (the STL reader tells binary from text by it).
  int FilterIndex = 1;
  // The loading window: set the number of steps, advance by one.
  std::function<void(int)> SetProgressMax;
  std::function<void()> Progress;
  // A message box the reader shows by itself (not an error).
  std::function<void(const std::string &)> ShowMessage;
  // A picture's colour levels are wanted. False when another raster mode
  // replaces them as soon as the picture is in: the picture then comes
  // without levels, and the colour quantiser, the costliest step of reading
  // a photo, does not run for nothing.
  bool ColourLevels = true;
};

struct TReadResult;
// The box of every input point of the levels; EmptyBox when there is none.
ClipperLib::IntRect LevelsInputBox(const TReadResult &result);
// Moves every input point of the levels by -by, so that by lands on the origin.
void MoveLevelsInput(TReadResult &result, TIntPoint by);

struct TReadResult {
  std::vector<std::unique_ptr<TLevel>> Levels;
  TIntSize Size;
  // The picture of a raster drawing (raster mode).
  std::optional<QImage> Raster;
  // Set by the Gerber reader, with how far it moved a board lying left of or
  // below the origin into the drawing.
  bool Gerber = false;
  TIntPoint GerberShift{0, 0};
  // What the reader left out or drew only approximately, one line per kind,
  // counted ("3 <filter> ignored"). Shown after loading without stopping work.
  std::vector<std::string> Report;
};
