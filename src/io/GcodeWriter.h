#pragma once
// Writing the job as G-code through the six command templates.

#include <string>

class TLevels;

// Writes the printed levels' burn paths to fileName (atomically: a failed
// save leaves no partial file). Errors propagate with their message.
void SaveToGcode(TLevels &levels, const std::string &fileName);
