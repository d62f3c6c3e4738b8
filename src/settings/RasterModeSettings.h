#pragma once
// The raster mode and its parameters, stored per user beside the program's
// other settings; a store without them reads as colour levels, as before.

#include "Configuration.h"
#include "core/RasterSettings.h"

struct TRasterModeSettings {
  TRasterModeSettings();

  TZelConfiguration Configuration;
  TZelConfigurationIntegerRange *Mode;       // TRasterMode's ordinal
  TZelConfigurationIntegerRange *Kernel;     // TDitherKernel's ordinal
  TZelConfigurationIntegerRange *GrayLevels; // 2 to 64, default 16
  TZelConfigurationFloatRange *Contrast;     // percent, -100 to 100
  TZelConfigurationFloatRange *Brightness;   // percent, -100 to 100
  TZelConfigurationFloatRange *Gamma;        // 0.1 to 10
  TZelConfigurationIntegerRange *MinPower;   // 0 to 255
  TZelConfigurationIntegerRange *MaxPower;
  TZelConfigurationFloatRange *PowerGamma; // 0.1 to 10
  TZelConfigurationBoolean *Overscan;
  TZelConfigurationFloatRange *OverscanMM; // 0 to 100, default 2

  // A minimum power above the maximum reads as the maximum.
  TRasterSettings Read() const;
  void Write(const TRasterSettings &settings) const;
};
