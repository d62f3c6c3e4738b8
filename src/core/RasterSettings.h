#pragma once
// How a picture is engraved: its colour levels, dithered, or in gray bands,
// with the tone and power settings of those modes. Header only, so the
// settings store can keep them without a link to the core.

#include <cstdint>

#include "JobLimits.h"

// The ordinals are stored: keep the order.
enum class TRasterMode : std::uint8_t { ColourLevels, Dithered, GrayLevels };
enum class TDitherKernel : std::uint8_t {
  FloydSteinberg,
  JarvisJudiceNinke,
  Stucki,
  Atkinson,
  Sierra,
  Bayer,
  Threshold
};

inline constexpr int MinGrayLevels = 2, MaxGrayLevels = 64;
// What the window's boxes and brennix-cli's options accept.
inline constexpr TJobRange ToneRange{-100, 100};     // contrast, brightness: per cent
inline constexpr TJobRange GammaRange{0.1, 10};      // tone and power gamma
inline constexpr TJobRange RasterPowerRange{0, 255}; // minimum and maximum power
inline constexpr TJobRange OverscanRange{0, 100};    // millimetres

struct TRasterSettings {
  TRasterMode Mode = TRasterMode::ColourLevels;
  TDitherKernel Kernel = TDitherKernel::FloydSteinberg;
  int GrayLevels = 16;
  // Percent, -100 to 100: contrast around the middle gray, brightness added.
  double Contrast = 0, Brightness = 0;
  // Lightness is raised to this power: above 1 darkens the middle tones,
  // below 1 lightens them to make up for dots that spread in wood or leather.
  double Gamma = 1;
  // The gray bands' powers (0 to 255) run from MinPower for the lightest to
  // MaxPower for the darkest, along darkness^PowerGamma.
  int MinPower = 0, MaxPower = 255;
  double PowerGamma = 1;
  // Scan lines run on with the laser off at both ends, by the machine's
  // acceleration, or by OverscanMM (0 to 100) when it is not known.
  bool Overscan = false;
  double OverscanMM = 2;
  friend bool operator==(const TRasterSettings &, const TRasterSettings &) = default;
};
