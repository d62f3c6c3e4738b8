#include "SvgReader.h"

TReadResult LoadSvgFile(const std::string &, const TReadOptions &) {
  throw TReadError("SVG drawings are not supported yet");
}
