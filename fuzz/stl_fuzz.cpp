// STL bytes in, read as text or binary by the filter, levels built, errors caught.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzEntry.h"
#include "stl/StlReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // About 300 binary facets: enough for every path of the level building.
  // Triangles overlapping at random cost the union quadratic time, which
  // larger inputs turn into time-outs under the sanitizers.
  if (size > 16384)
    return 0;
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  // Opened as a user would (the first bytes decide), then forced the other
  // way through the binary or the text filter.
  for (const int filter : {1, size % 2 ? 2 : 3}) {
    TReadOptions options;
    options.FilterIndex = filter;
    options.Focus = size % 4 < 2 ? 20 : 7;
    options.ShowMessage = [](const std::string &) {};
    try {
      ReadStereolithography(bytes, options);
    } catch (const TReadError &) {
    }
  }
  return 0;
}
