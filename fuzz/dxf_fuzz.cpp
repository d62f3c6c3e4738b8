// DXF files from anywhere: the first pass, dxflib and the reader must end in
// a result or a TReadError, within bounded time and memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <QGuiApplication>

#include "FuzzEntry.h"
#include "dxf/DxfReader.h"

namespace {
// Text is drawn only with an application object; offscreen, it needs no display.
QGuiApplication &Application() {
  static int argc = 1;
  static char name[] = "dxf_fuzz";
  static char *argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication application(argc, argv);
  return application;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > 64 * 1024)
    return 0;
  Application();
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
