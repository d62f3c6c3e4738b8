// Macro expressions in, Calculate run with a few variables set, errors caught.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzEntry.h"
#include "gerber/Calculator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > 100000)
    return 0;
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  const TVariables variables{{1, 0.5}, {2, -3}, {3, 0}, {7, 1e300}};
  try {
    Calculate(text, variables);
  } catch (const TCalcError &) {
  }
  return 0;
}
