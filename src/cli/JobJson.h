#pragma once
// The processed job as JSON, the converter's stable machine-readable dump.

#include <optional>
#include <string>

class TLevels;
class THeadlessHost;

// rasterMode, when not empty, says how a picture's levels were made (a
// picture in colour levels leaves it out, as dumps before the modes did).
std::string JobJson(const TLevels &levels, const THeadlessHost &host, const std::string &fileName,
                    std::optional<double> accelerationSeconds = std::nullopt,
                    const std::string &rasterMode = {});
