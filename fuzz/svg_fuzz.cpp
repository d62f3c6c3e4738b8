// SVG documents from anywhere: the reader must end in a result or a
// TReadError, within bounded time and memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <QGuiApplication>

#include "FuzzEntry.h"
#include "svg/SvgReader.h"

namespace {
// Text is drawn only with an application object; offscreen, it needs no display.
QGuiApplication &Application() {
  static int argc = 1;
  static char name[] = "svg_fuzz";
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
  try {
    LoadSvg(std::string_view(reinterpret_cast<const char *>(data), size), options);
  } catch (const TReadError &) {
  }
  return 0;
}
