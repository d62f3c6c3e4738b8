#pragma once
// The processed job as JSON, the converter's stable machine-readable dump.

#include <optional>
#include <string>

class TLevels;
class THeadlessHost;

std::string JobJson(const TLevels &levels, const THeadlessHost &host, const std::string &fileName,
                    std::optional<double> accelerationSeconds = std::nullopt);
