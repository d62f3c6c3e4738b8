#include "StlReader.h"

TReadResult LoadStereolithographyFile(const std::string &, const TReadOptions &) {
  throw TReadError("STL models are not supported yet");
}
