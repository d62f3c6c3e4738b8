// Path data ("d" attributes) read into the path builder, then flattened as
// the reader does; the same bytes as a number list and a transform list.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzEntry.h"
#include "core/ReadResult.h"
#include "svg/SvgPath.h"
#include "svg/SvgReader.h"
#include "svg/SvgText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > 64 * 1024)
    return 0;
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  TSvgPath path;
  try {
    path.SetData(text);
    if (!path.IsEmpty()) {
      std::size_t budget = 1 << 20;
      PolygonToPaths(path.FlattenToPolygon(1.0f, budget));
    }
  } catch (const TReadError &) {
  }
  for (const std::string_view piece : SplitNumberList(text))
    NumberOr(piece, 0);
  try {
    ParseSvgTransform(text);
  } catch (const TReadError &) {
  }
  return 0;
}
