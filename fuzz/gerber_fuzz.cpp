// Gerber text in, the interpreter run in both merge modes, errors caught.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

#include "FuzzEntry.h"
#include "gerber/GerberReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > 20000)
    return 0;
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  TGerberOptions options;
  // A smaller budget than a real board gets, so slow inputs show up as
  // limit errors rather than fuzzer time-outs; the limit logic is the same.
  options.MaxPoints = 50000;
  options.Hairline = size % 7 == 3;
  try {
    ParseGerber(text, options);
  } catch (const TReadError &) {
  }
  return 0;
}
