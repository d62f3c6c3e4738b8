#include "GerberReader.h"

TReadResult LoadGerberFile(const std::string &, const TReadOptions &) {
  throw TReadError("Gerber files are not supported yet");
}
