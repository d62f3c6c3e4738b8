#pragma once
// Raster pictures (GIF, PNG, JPEG, BMP, TIFF): a few colour levels, burnt as
// horizontal scan-line segments, one cell per focus spot.

#include <cstdint>
#include <string>

#include "core/Geometry.h"
#include "core/ReadResult.h"

class QByteArray;
class QImage;
class TLevels;

// Pictures above this many pixels are refused before they are decoded: the
// decoded picture, its copies and the quantiser's samples cost about 16 bytes
// a pixel.
constexpr std::int64_t MaxRasterPixels = 50'000'000;
// The scan-line grid is refused above this many cells (the scaled picture
// alone takes 4 bytes a cell, the segments far more).
constexpr std::int64_t MaxRasterCells = 40'000'000;

// Decodes the picture, finds its colours and makes one lines level per colour
// (named after it, printed unless it is light); the picture comes back in
// Raster and each pixel is one focus spot of Size. The levels get their
// segments from VectorizeRaster. Transparent parts read as white paper.
// Without options.ColourLevels no colours are sought and no level is made.
TReadResult LoadRasterFile(const std::string &fileName, const TReadOptions &options);
// The same from the file's bytes (the format is found from the content);
// maxPixels lowers the size limit (the fuzz target keeps its runs short).
TReadResult ReadRasterBytes(const QByteArray &bytes, const TReadOptions &options,
                            std::int64_t maxPixels = MaxRasterPixels);

// Rebuilds every level's input from the list's picture for the current output
// size, focus and mirroring: one segment per horizontal run of cells sharing
// their nearest level, rows bottom to top. Runs on the worker at the start of
// a cycle; returns early, leaving the inputs as they were, when a new cycle
// is requested meanwhile.
void VectorizeRaster(TLevels &levels);

// The burn segment of the run of cells x .. e - 1 in row r (0 the bottom row):
// a third of a focus shorter at both ends than its cells, along the row's middle.
TPath ScanSegment(int x, int e, int r, std::int32_t focus);

// The scan-line grid for an output size: one cell per focus spot, at least one.
TIntSize RasterCells(TIntSize output, std::int32_t focus);

// The grid for the list's output size and focus. Above MaxRasterCells it
// clears every level's input, so that nothing from an earlier size burns, and
// throws std::runtime_error naming the grid and the limit.
TIntSize CheckedRasterCells(TLevels &levels);

// The picture smoothly scaled to the grid, as 32-bit pixels; null when it
// cannot be allocated.
QImage ScaleToCells(const QImage &picture, TIntSize cells);

// The index of the lines level whose Lab colour is nearest to the colour of
// cell (x, y) of the scaled picture (mirrored when the list is), the first on
// ties; -1 when the list holds no lines level.
int NearestLevel(const TLevels &levels, const QImage &cells, int x, int y);
