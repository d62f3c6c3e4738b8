#pragma once
// Raster pictures (GIF, PNG, JPEG, BMP, TIFF).

#include <string>

#include "core/ReadResult.h"

TReadResult LoadRasterFile(const std::string &fileName, const TReadOptions &options);
// Rebuilds the raster levels' burn input for the current output size.
class TLevels;
void VectorizeRaster(TLevels &levels);
