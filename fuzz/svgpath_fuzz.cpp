// Path data ("d" attributes) read into the path builder, then flattened as
// the reader does.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzEntry.h"
#include "core/ReadResult.h"
#include "svg/SvgPath.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > 64 * 1024)
    return 0;
  TSvgPath path;
  try {
    path.SetData(std::string_view(reinterpret_cast<const char *>(data), size));
    if (!path.IsEmpty()) {
      std::size_t budget = 1 << 20;
      PolygonToPaths(path.FlattenToPolygon(1.0f, budget));
    }
  } catch (const TReadError &) {
  }
  return 0;
}
