#pragma once
// Gerber RS-274X copper layers.

#include <string>

#include "core/ReadResult.h"

TReadResult LoadGerberFile(const std::string &fileName, const TReadOptions &options);
