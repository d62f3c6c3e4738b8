#include "PlotterReader.h"

TReadResult ReadPlotter(std::string_view, const TReadOptions &) {
  throw TReadError("HP-GL files are not supported yet");
}

TReadResult LoadPlotterFile(const std::string &, const TReadOptions &) {
  throw TReadError("HP-GL files are not supported yet");
}
