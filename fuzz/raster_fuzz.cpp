// Picture bytes in: decoding, the completeness checks, flattening and the
// colour quantiser. Anything but a TReadError escaping is a fault.
#include <cstddef>
#include <cstdint>

#include <QByteArray>

#include "FuzzEntry.h"
#include "raster/RasterReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > 256 * 1024)
    return 0;
  // Small pictures keep a run short; the size check itself is still exercised.
  constexpr std::int64_t FuzzPixels = 2'000'000;
  try {
    TReadOptions options;
    ReadRasterBytes(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)),
                    options, FuzzPixels);
  } catch (const TReadError &) {
  }
  return 0;
}
