// DXF files from anywhere: the first pass, dxflib and the reader must end in
// a result or a TReadError, within bounded time and memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzEntry.h"
#include "OffscreenApplication.h"
#include "dxf/DxfReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > 64 * 1024)
    return 0;
  OffscreenApplication();
  TReadOptions options;
  options.UnitsPerMM = 100;
  options.Focus = 20;
  // Set, so the report of what was left out is composed as well.
  options.ShowMessage = [](const std::string &) {};
  try {
    LoadDxf(std::string_view(reinterpret_cast<const char *>(data), size), options);
  } catch (const TReadError &) {
  }
  return 0;
}
