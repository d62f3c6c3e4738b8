// Plotter files as the reader sees them: any bytes, including label and
// quote states left open, printer escape sequences cut short, huge numbers
// and polygon mode never closed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzEntry.h"
#include "hpgl/PlotterReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > 1 << 20)
    return 0;
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  try {
    TReadOptions options;
    // A plot that draws nothing builds its message from what it skipped.
    options.ShowMessage = [](const std::string &) {};
    ReadPlotter(text, options);
  } catch (const TReadError &) {
  }
  return 0;
}
