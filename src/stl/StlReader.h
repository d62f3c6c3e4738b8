#pragma once
// STL models, binary and ASCII, as height levels.

#include <string>

#include "core/ReadResult.h"

TReadResult LoadStereolithographyFile(const std::string &fileName, const TReadOptions &options);
