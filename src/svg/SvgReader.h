#pragma once
// SVG drawings.

#include <string>

#include "core/ReadResult.h"

TReadResult LoadSvgFile(const std::string &fileName, const TReadOptions &options);
