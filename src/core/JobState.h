#pragma once
// What a job remembers between loads: the file last opened, and for a copper
// layer how it was moved and which board outline was chosen for it. The
// level list owns one; main thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "Geometry.h"

// The file last opened, its filter index, and whether it was a Gerber file.
// Written by file intake.
struct TLoadedFile {
  std::string FileName;
  int FilterIndex = 1;
  bool GerberLoaded = false;
  // The reader's report on what it left out or approximated.
  std::vector<std::string> Report;
};

enum TOutlineKind : std::uint8_t { okNone, okOffset, okMechanical };
struct TOutlineChoice {
  TOutlineKind Kind = okNone;
  // Millimetres; negative: the offset used last.
  double OffsetMM = 0;
  // Empty: the mechanical file used last.
  std::string MechanicalFile;
};

struct TJobState {
  TLoadedFile File;
  // The board-outline option chosen last, applied again without asking
  // after a re-read. Written by the options; okNone until one has run.
  TOutlineChoice Outline{okNone, 3.0, {}};
  // How far the copper layer was moved to bring a board lying left of or
  // below the origin into the drawing; its mechanical layer moves with it.
  TIntPoint GerberShift{0, 0};
  // A picture's scan lines run on with the laser off at both ends when this
  // is not negative: by the machine's acceleration, or by this many
  // millimetres when the acceleration is not known.
  double ScanOverscanMM = -1;
  // Whether a picture read next gets its colour levels (TReadOptions::ColourLevels):
  // cleared by a caller that applies another raster mode right after reading.
  bool PictureColourLevels = true;
};
