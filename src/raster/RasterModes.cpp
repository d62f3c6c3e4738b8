#include "RasterModes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <stdexcept>

#include <QImage>

#include "RasterReader.h"
#include "core/ColorUnit.h"
#include "core/JobHost.h"
#include "core/LevelDefaults.h"
#include "core/Levels.h"

namespace {

struct TNamed {
  std::string_view Name;
  int Value;
};

constexpr TNamed ModeNames[] = {{"colour", static_cast<int>(TRasterMode::ColourLevels)},
                                {"dithered", static_cast<int>(TRasterMode::Dithered)},
                                {"gray", static_cast<int>(TRasterMode::GrayLevels)}};
constexpr TNamed KernelNames[] = {
    {"floyd-steinberg", static_cast<int>(TDitherKernel::FloydSteinberg)},
    {"jarvis", static_cast<int>(TDitherKernel::JarvisJudiceNinke)},
    {"stucki", static_cast<int>(TDitherKernel::Stucki)},
    {"atkinson", static_cast<int>(TDitherKernel::Atkinson)},
    {"sierra", static_cast<int>(TDitherKernel::Sierra)},
    {"bayer", static_cast<int>(TDitherKernel::Bayer)},
    {"threshold", static_cast<int>(TDitherKernel::Threshold)}};

template <std::size_t N> std::string_view NameOf(const TNamed (&table)[N], int value) {
  for (const TNamed &entry : table)
    if (entry.Value == value)
      return entry.Name;
  return {};
}

template <std::size_t N>
std::optional<int> ValueOf(const TNamed (&table)[N], std::string_view name) {
  for (const TNamed &entry : table)
    if (entry.Name == name)
      return entry.Value;
  return std::nullopt;
}

template <std::size_t N> std::string AllNames(const TNamed (&table)[N]) {
  std::string text;
  for (const TNamed &entry : table) {
    if (!text.empty())
      text += ", ";
    text += entry.Name;
  }
  return text;
}

// One neighbour's share of the error: dx along the scan, dy rows below.
struct TShare {
  int Dx, Dy, Weight;
};
struct TKernel {
  std::vector<TShare> Shares;
  int Divisor;
};

// Atkinson passes on only three quarters of the error, by design: it keeps
// highlights and shadows clean at the cost of some tone.
const TKernel &KernelOf(TDitherKernel kernel) {
  static const TKernel floyd{{{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}, 16};
  static const TKernel jarvis{{{1, 0, 7},
                               {2, 0, 5},
                               {-2, 1, 3},
                               {-1, 1, 5},
                               {0, 1, 7},
                               {1, 1, 5},
                               {2, 1, 3},
                               {-2, 2, 1},
                               {-1, 2, 3},
                               {0, 2, 5},
                               {1, 2, 3},
                               {2, 2, 1}},
                              48};
  static const TKernel stucki{{{1, 0, 8},
                               {2, 0, 4},
                               {-2, 1, 2},
                               {-1, 1, 4},
                               {0, 1, 8},
                               {1, 1, 4},
                               {2, 1, 2},
                               {-2, 2, 1},
                               {-1, 2, 2},
                               {0, 2, 4},
                               {1, 2, 2},
                               {2, 2, 1}},
                              42};
  static const TKernel atkinson{{{1, 0, 1}, {2, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}, {0, 2, 1}},
                                8};
  static const TKernel sierra{{{1, 0, 5},
                               {2, 0, 3},
                               {-2, 1, 2},
                               {-1, 1, 4},
                               {0, 1, 5},
                               {1, 1, 4},
                               {2, 1, 2},
                               {-1, 2, 2},
                               {0, 2, 3},
                               {1, 2, 2}},
                              32};
  switch (kernel) {
  case TDitherKernel::JarvisJudiceNinke:
    return jarvis;
  case TDitherKernel::Stucki:
    return stucki;
  case TDitherKernel::Atkinson:
    return atkinson;
  case TDitherKernel::Sierra:
    return sierra;
  default:
    return floyd;
  }
}

// The 8 x 8 ordered-dither index: bits of x xor y and of y interleaved, the
// lowest coordinate bits giving the highest index bits, so that any share of
// the indices is spread as evenly as the grid allows.
int BayerIndex(int x, int y) {
  const int u = (x ^ y) & 7, v = y & 7;
  int index = 0;
  for (int bit = 0; bit < 3; ++bit)
    index |= ((u >> bit & 1) << (5 - 2 * bit)) | ((v >> bit & 1) << (4 - 2 * bit));
  return index;
}

std::vector<std::uint8_t> Diffuse(const std::vector<float> &lightness, int width, int height,
                                  const TKernel &kernel) {
  std::vector<std::uint8_t> dark(lightness.size(), 0);
  // Three rows of error with two samples of margin at each side.
  const int pitch = width + 4;
  std::array<std::vector<float>, 3> error;
  for (auto &row : error)
    row.assign(static_cast<std::size_t>(pitch), 0.0f);
  std::vector<TShare> shares = kernel.Shares;
  const float divisor = static_cast<float>(kernel.Divisor);
  for (int y = 0; y < height; ++y) {
    const bool leftward = y % 2 == 1;
    std::vector<float> &current = error[static_cast<std::size_t>(y % 3)];
    for (int x0 = 0; x0 < width; ++x0) {
      const int x = leftward ? width - 1 - x0 : x0;
      const std::size_t at = static_cast<std::size_t>(y) * width + x;
      float &carried = current[static_cast<std::size_t>(x + 2)];
      const float v = lightness[at];
      if (v >= 1.0f) {
        carried = 0;
        continue;
      }
      const float wanted = v + carried;
      carried = 0;
      const float shown = wanted < 0.5f ? 0.0f : 1.0f;
      dark[at] = shown == 0.0f ? 1 : 0;
      const float rest = wanted - shown;
      for (const TShare &share : shares) {
        const int nx = x + (leftward ? -share.Dx : share.Dx);
        if (nx < 0 || nx >= width || y + share.Dy >= height)
          continue;
        error[static_cast<std::size_t>((y + share.Dy) % 3)][static_cast<std::size_t>(nx + 2)] +=
            rest * static_cast<float>(share.Weight) / divisor;
      }
    }
  }
  return dark;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// Passes and speed for a level of this depth, as a picture's colour levels get them.
std::unique_ptr<TLevel> MakeLevel(const std::string &name, int lightnessPercent) {
  auto level = std::make_unique<TLevel>(lkLines);
  level->SetHeight(31 - (3 * lightnessPercent) / 10);
  level->SetPrint(true);
  const TLabColor lab{lightnessPercent, 0, 0};
  level->SetLabColor(lab);
  level->SetColor(
      LabToColor({static_cast<std::int32_t>(std::nearbyint(lightnessPercent * 0.9)), 0, 0}));
  level->SetName(name);
  return level;
}

} // namespace

std::string_view RasterModeName(TRasterMode mode) {
  return NameOf(ModeNames, static_cast<int>(mode));
}
std::optional<TRasterMode> RasterModeByName(std::string_view name) {
  const auto value = ValueOf(ModeNames, name);
  return value ? std::optional(static_cast<TRasterMode>(*value)) : std::nullopt;
}
std::string_view DitherKernelName(TDitherKernel kernel) {
  return NameOf(KernelNames, static_cast<int>(kernel));
}
std::optional<TDitherKernel> DitherKernelByName(std::string_view name) {
  const auto value = ValueOf(KernelNames, name);
  return value ? std::optional(static_cast<TDitherKernel>(*value)) : std::nullopt;
}
std::string RasterModeNames() { return AllNames(ModeNames); }
std::string DitherKernelNames() { return AllNames(KernelNames); }

std::string RasterSettingsProblem(const TRasterSettings &s) {
  if (s.GrayLevels < MinGrayLevels || s.GrayLevels > MaxGrayLevels)
    return "gray levels must be " + std::to_string(MinGrayLevels) + " to " +
           std::to_string(MaxGrayLevels) + ", not " + std::to_string(s.GrayLevels);
  if (!(s.Contrast >= -100 && s.Contrast <= 100))
    return "contrast must be -100 to 100 %";
  if (!(s.Brightness >= -100 && s.Brightness <= 100))
    return "brightness must be -100 to 100 %";
  if (!(s.Gamma >= 0.1 && s.Gamma <= 10))
    return "gamma must be 0.1 to 10";
  if (!(s.PowerGamma >= 0.1 && s.PowerGamma <= 10))
    return "the power curve's gamma must be 0.1 to 10";
  if (s.MinPower < 0 || s.MaxPower > 255 || s.MinPower > s.MaxPower)
    return "powers must be 0 to 255 with the minimum not above the maximum";
  if (!(s.OverscanMM >= 0 && s.OverscanMM <= 100))
    return "overscan must be 0 to 100 mm";
  return {};
}

float Lightness(std::uint32_t argb) {
  const std::uint32_t rgb = argb & 0xFFFFFF;
  if (rgb == 0xFFFFFF)
    return 1.0f;
  static const std::array<float, 256> linear = [] {
    std::array<float, 256> table{};
    for (unsigned c = 0; c < 256; ++c)
      table[c] = ColorDetail::ChannelToLinear(c);
    return table;
  }();
  // Relative luminance of the red, green and blue primaries, white 1.
  const float y = 0.2126f * linear[rgb >> 16] + 0.7152f * linear[rgb >> 8 & 0xFF] +
                  0.0722f * linear[rgb & 0xFF];
  const float f = y > 216.0f / 24389.0f ? std::cbrt(y) : (24389.0f / 27.0f * y + 16.0f) / 116.0f;
  return std::clamp((116.0f * f - 16.0f) / 100.0f, 0.0f, 0.9999f);
}

float AdjustTone(float lightness, const TRasterSettings &s) {
  if (lightness >= 1.0f)
    return 1.0f;
  // Contrast 100 % is a hard threshold at the middle, -100 % flat gray.
  const double c =
      s.Contrast >= 0 ? 1.0 / std::max(1e-3, 1.0 - s.Contrast / 100.0) : 1.0 + s.Contrast / 100.0;
  double v = (lightness - 0.5) * c + 0.5 + s.Brightness / 100.0;
  v = std::clamp(v, 0.0, 1.0);
  v = std::pow(v, s.Gamma);
  // Only the bare material is white: a light gray stays just below it.
  return static_cast<float>(std::min(v, 0.9999));
}

std::vector<std::uint8_t> Dither(const std::vector<float> &lightness, int width, int height,
                                 TDitherKernel kernel) {
  if (width <= 0 || height <= 0 ||
      lightness.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
    throw std::invalid_argument("Dither: the samples do not fill the grid");
  if (kernel == TDitherKernel::Bayer || kernel == TDitherKernel::Threshold) {
    std::vector<std::uint8_t> dark(lightness.size(), 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const std::size_t at = static_cast<std::size_t>(y) * width + x;
        const float limit =
            kernel == TDitherKernel::Bayer ? (BayerIndex(x, y) + 0.5f) / 64.0f : 0.5f;
        dark[at] = lightness[at] < 1.0f && lightness[at] < limit ? 1 : 0;
      }
    return dark;
  }
  return Diffuse(lightness, width, height, KernelOf(kernel));
}

int GrayBand(float lightness, int bands) {
  if (lightness >= 1.0f)
    return -1;
  const double darkness = 1.0 - std::max(0.0f, lightness);
  return std::min(bands - 1, static_cast<int>(darkness * bands));
}

std::int32_t BandPower(int band, const TRasterSettings &s) {
  const double middle = (band + 0.5) / s.GrayLevels;
  const double power = s.MinPower + (s.MaxPower - s.MinPower) * std::pow(middle, s.PowerGamma);
  return static_cast<std::int32_t>(std::clamp(std::nearbyint(power), 0.0, 255.0));
}

std::vector<TPaths> ScanRuns(const std::vector<std::int16_t> &labels, int width, int height,
                             std::int32_t focus, int labelCount) {
  std::vector<TPaths> runs(static_cast<std::size_t>(std::max(labelCount, 0)));
  // Row 0 is the bottom of the drawing, the last row of the picture.
  auto eachRun = [&](auto &&take) {
    for (int r = 0; r < height; ++r) {
      const std::int16_t *row = labels.data() + static_cast<std::size_t>(height - 1 - r) * width;
      for (int x = 0; x < width;) {
        const int v = row[x];
        int e = x + 1;
        while (e < width && row[e] == v)
          ++e;
        if (v >= 0 && v < labelCount)
          take(v, x, e, r);
        x = e;
      }
    }
  };
  // A full-size picture makes tens of millions of runs: count them first so
  // that each list is allocated once, at its size, with no room to spare.
  std::vector<std::size_t> counts(runs.size(), 0);
  eachRun([&](int v, int, int, int) { ++counts[static_cast<std::size_t>(v)]; });
  for (std::size_t v = 0; v < runs.size(); ++v)
    runs[v].reserve(counts[v]);
  eachRun([&](int v, int x, int e, int r) {
    runs[static_cast<std::size_t>(v)].push_back(ScanSegment(x, e, r, focus));
  });
  return runs;
}

double OverscanLength(std::int32_t speed, double acceleration, double fixedMM) {
  if (acceleration > 0) {
    const double v = std::max(speed, 0) / 100.0;
    return v * v / (2.0 * acceleration);
  }
  return std::max(fixedMM, 0.0);
}

void VectorizeRasterMode(TLevels &levels, const TRasterSettings &settings) {
  if (!levels.HasRaster() || settings.Mode == TRasterMode::ColourLevels)
    return;
  const std::int32_t focus = levels.Focus();
  if (focus <= 0)
    return;
  const TIntSize grid = CheckedRasterCells(levels);
  const int columns = grid.cx, rows = grid.cy;
  QImage cells = ScaleToCells(levels.Raster(), grid);
  if (cells.isNull())
    throw std::runtime_error("Not enough memory to scale the picture to " +
                             std::to_string(columns) + " x " + std::to_string(rows) +
                             " focus spots.");
  if (levels.Clearing())
    return;

  const bool mirror = levels.Mirror();
  const std::size_t count = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
  std::vector<float> lightness(count);
  // Neighbouring samples mostly share their colour: remember the last one.
  std::uint32_t lastColour = 0xFFFFFFFFu;
  float lastTone = 1.0f;
  for (int y = 0; y < rows; ++y) {
    const auto *row = reinterpret_cast<const std::uint32_t *>(cells.constScanLine(y));
    for (int x = 0; x < columns; ++x) {
      const std::uint32_t colour = row[mirror ? columns - 1 - x : x] & 0xFFFFFF;
      if (colour != lastColour) {
        lastColour = colour;
        lastTone = AdjustTone(Lightness(colour), settings);
      }
      lightness[static_cast<std::size_t>(y) * columns + x] = lastTone;
    }
  }
  // Each step's buffers go as soon as the next has what it needs: at full
  // size they are tens of megabytes each.
  cells = QImage();
  if (levels.Clearing())
    return;

  std::vector<std::int16_t> labels(count);
  int labelCount = 1;
  if (settings.Mode == TRasterMode::Dithered) {
    const std::vector<std::uint8_t> dark = Dither(lightness, columns, rows, settings.Kernel);
    lightness = {};
    for (std::size_t i = 0; i < count; ++i)
      labels[i] = dark[i] ? 0 : -1;
  } else {
    labelCount = settings.GrayLevels;
    for (std::size_t i = 0; i < count; ++i)
      labels[i] = static_cast<std::int16_t>(GrayBand(lightness[i], labelCount));
  }
  lightness = {};
  if (levels.Clearing())
    return;
  std::vector<TPaths> runs = ScanRuns(labels, columns, rows, focus, labelCount);
  labels = {};
  if (levels.Clearing())
    return;
  // The mode's levels come first in the list, in label order; any other
  // level (the outline) keeps its input.
  int label = 0;
  for (int i = 0; i < levels.Count() && label < labelCount; ++i) {
    TLevel &level = *levels.Item(i);
    if (level.Kind() != lkLines)
      continue;
    if (auto *input = level.Input())
      input->assign(1, std::move(runs[static_cast<std::size_t>(label)]));
    ++label;
  }
}

bool ApplyRasterMode(TLevels &levels, const TRasterSettings &settings) {
  if (settings.Mode == TRasterMode::ColourLevels || !levels.HasRaster())
    return false;
  const std::string problem = RasterSettingsProblem(settings);
  if (!problem.empty())
    throw std::invalid_argument("The raster mode cannot be used: " + problem);
  levels.SetReading(true);
  levels.Clear();
  if (settings.Mode == TRasterMode::Dithered) {
    levels.Add(MakeLevel("Dithered", 0));
  } else {
    for (int band = 0; band < settings.GrayLevels; ++band) {
      const double middle = (band + 0.5) / settings.GrayLevels;
      const int percent = static_cast<int>(std::lround(100 * (1 - middle)));
      levels.Add(MakeLevel("Gray " + std::to_string(band + 1) + " of " +
                               std::to_string(settings.GrayLevels),
                           percent));
    }
  }
  levels.SetRasterHook([settings](TLevels &list) { VectorizeRasterMode(list, settings); });
  // The usual passes, speeds and outline, and a rebuild at the current size.
  ApplyLevelDefaults(levels, false);
  if (settings.Mode == TRasterMode::GrayLevels) {
    int band = 0;
    for (int i = 0; i < levels.Count() && band < settings.GrayLevels; ++i)
      if (levels.Item(i)->Kind() == lkLines)
        levels.Item(i)->SetPower(BandPower(band++, settings));
    // The defaults refreshed the grid with their own powers: show the bands'.
    levels.Host().UpdateGrid();
  }
  return true;
}

void ApplyRasterOverscan(TLevels &levels, const TRasterSettings &settings) {
  levels.Job().ScanOverscanMM = settings.Overscan ? std::max(settings.OverscanMM, 0.0) : -1.0;
}

std::string RasterSettingsText(const TRasterSettings &s) {
  std::string text = "mode=" + std::string(RasterModeName(s.Mode));
  if (s.Overscan)
    text += " overscan=" + Number(s.OverscanMM);
  if (s.Mode == TRasterMode::ColourLevels)
    return text;
  if (s.Mode == TRasterMode::Dithered)
    text += " kernel=" + std::string(DitherKernelName(s.Kernel));
  else
    text += " gray-levels=" + std::to_string(s.GrayLevels) +
            " min-power=" + std::to_string(s.MinPower) +
            " max-power=" + std::to_string(s.MaxPower) + " power-gamma=" + Number(s.PowerGamma);
  text += " contrast=" + Number(s.Contrast) + " brightness=" + Number(s.Brightness) +
          " gamma=" + Number(s.Gamma);
  return text;
}
