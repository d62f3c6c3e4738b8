#pragma once
// HP-GL plotter files.

#include <string>
#include <string_view>

#include "core/ReadResult.h"

TReadResult ReadPlotter(std::string_view text, const TReadOptions &options);
TReadResult LoadPlotterFile(const std::string &fileName, const TReadOptions &options);
