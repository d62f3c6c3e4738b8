#include "RasterReader.h"

TReadResult LoadRasterFile(const std::string &, const TReadOptions &) {
  throw TReadError("Raster pictures are not supported yet");
}

void VectorizeRaster(TLevels &) {}
