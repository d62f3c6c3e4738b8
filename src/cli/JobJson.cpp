#include "JobJson.h"

#include <charconv>
#include <cstdio>

#include "core/Estimate.h"
#include "core/HeadlessHost.h"
#include "core/Levels.h"

namespace {

void AppendString(std::string &out, const std::string &text) {
  out += '"';
  for (unsigned char c : text) {
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default:
      if (c < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        out += escaped;
      } else {
        out += static_cast<char>(c);
      }
    }
  }
  out += '"';
}

void AppendInteger(std::string &out, long long value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

void AppendNumber(std::string &out, double value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  std::string text(buffer, end);
  // Keep floating-point fields recognisable as such ("100.0", not "100").
  if (text.find_first_of(".eEn") == std::string::npos)
    text += ".0";
  out += text;
}

void AppendPaths(std::string &out, const TPaths &paths) {
  out += '[';
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i)
      out += ',';
    out += '[';
    for (std::size_t j = 0; j < paths[i].size(); ++j) {
      if (j)
        out += ',';
      out += '[';
      AppendInteger(out, paths[i][j].X);
      out += ',';
      AppendInteger(out, paths[i][j].Y);
      out += ']';
    }
    out += ']';
  }
  out += ']';
}

const char *KindName(TLevelKind kind) {
  switch (kind) {
  case lkLines:
    return "lkLines";
  case lkArea:
    return "lkArea";
  case lkPerimeter:
    return "lkPerimeter";
  case lkOutline:
    return "lkOutline";
  }
  return "";
}

const char *StyleName(TLevelStyle style) {
  switch (style) {
  case lsHorizontal:
    return "lsHorizontal";
  case lsDiagonalDown:
    return "lsDiagonalDown";
  case lsVertical:
    return "lsVertical";
  case lsDiagonalUp:
    return "lsDiagonalUp";
  }
  return "";
}

} // namespace

std::string JobJson(const TLevels &levels, const THeadlessHost &host, const std::string &fileName,
                    std::optional<double> accelerationSeconds, const std::string &rasterMode) {
  std::string out = "{\"file\":";
  AppendString(out, fileName);
  out += ",\"caption\":";
  AppendString(out, host.Caption);
  out += ",\"unitsPerMM\":";
  AppendNumber(out, UnitsPerMM());
  out += ",\"focus\":";
  AppendInteger(out, levels.Focus());
  const TIntSize size = levels.Size(), output = levels.Output();
  out += ",\"size\":[";
  AppendInteger(out, size.cx);
  out += ',';
  AppendInteger(out, size.cy);
  out += "],\"output\":[";
  AppendInteger(out, output.cx);
  out += ',';
  AppendInteger(out, output.cy);
  out += "],\"scale\":[";
  AppendNumber(out, levels.Scale().cx);
  out += ',';
  AppendNumber(out, levels.Scale().cy);
  out += "],\"mirror\":";
  out += levels.Mirror() ? "true" : "false";
  out += ",\"outline\":";
  out += levels.Outline() ? "true" : "false";
  out += ",\"estimate\":";
  AppendString(out, host.Result);
  if (!rasterMode.empty()) {
    out += ",\"rasterMode\":";
    AppendString(out, rasterMode);
  }
  // The running time with acceleration, travel and passes, when the profile
  // has an acceleration; null otherwise.
  out += ",\"profile\":";
  AppendString(out, host.ProfileValue.Name);
  out += ",\"accelerationEstimate\":";
  if (accelerationSeconds) {
    AppendNumber(out, *accelerationSeconds);
    out += ",\"accelerationEstimateText\":";
    AppendString(out, AccelerationEstimateText(*accelerationSeconds));
  } else {
    out += "null,\"accelerationEstimateText\":null";
  }
  out += ",\"report\":[";
  const auto &report = levels.Job().File.Report;
  for (std::size_t i = 0; i < report.size(); ++i) {
    if (i)
      out += ',';
    AppendString(out, report[i]);
  }
  out += ']';
  out += ",\"levels\":[";
  for (int i = 0; i < levels.Count(); ++i) {
    const TLevel &level = *levels.Item(i);
    if (i)
      out += ',';
    out += "\n{\"kind\":\"";
    out += KindName(level.Kind());
    out += "\",\"name\":";
    AppendString(out, level.Name());
    char color[16];
    std::snprintf(color, sizeof color, "#%08X", level.Color());
    out += ",\"color\":\"";
    out += color;
    out += "\",\"height\":";
    AppendInteger(out, level.Height());
    out += ",\"speed\":";
    AppendInteger(out, level.Speed());
    out += ",\"power\":";
    AppendInteger(out, level.Power());
    out += ",\"passes\":";
    AppendInteger(out, level.Passes());
    out += ",\"print\":";
    out += level.Print() ? "true" : "false";
    out += ",\"style\":\"";
    out += StyleName(level.Style());
    out += "\",\"lab\":[";
    AppendInteger(out, level.LabColor().L);
    out += ',';
    AppendInteger(out, level.LabColor().a);
    out += ',';
    AppendInteger(out, level.LabColor().b);
    out += "],\"input\":";
    if (const auto *input = level.Input()) {
      out += '[';
      for (std::size_t s = 0; s < input->size(); ++s) {
        if (s)
          out += ',';
        AppendPaths(out, (*input)[s]);
      }
      out += ']';
    } else {
      out += "null";
    }
    out += ",\"output\":";
    AppendPaths(out, level.Output());
    out += '}';
  }
  out += "]}\n";
  return out;
}
