#include "RasterModeSettings.h"

#include <algorithm>

TRasterModeSettings::TRasterModeSettings()
    : Mode(new TZelConfigurationIntegerRange("RasterMode", 0, 0, 2, &Configuration)),
      Kernel(new TZelConfigurationIntegerRange("RasterDitherKernel", 0, 0, 6, &Configuration)),
      GrayLevels(new TZelConfigurationIntegerRange("RasterGrayLevels", 16, MinGrayLevels,
                                                   MaxGrayLevels, &Configuration)),
      Contrast(
          new TZelConfigurationFloatRange("RasterContrast", 0.0, -100.0, 100.0, &Configuration)),
      Brightness(
          new TZelConfigurationFloatRange("RasterBrightness", 0.0, -100.0, 100.0, &Configuration)),
      Gamma(new TZelConfigurationFloatRange("RasterGamma", 1.0, 0.1, 10.0, &Configuration)),
      MinPower(new TZelConfigurationIntegerRange("RasterMinPower", 0, 0, 255, &Configuration)),
      MaxPower(new TZelConfigurationIntegerRange("RasterMaxPower", 255, 0, 255, &Configuration)),
      PowerGamma(
          new TZelConfigurationFloatRange("RasterPowerGamma", 1.0, 0.1, 10.0, &Configuration)),
      Overscan(new TZelConfigurationBoolean("RasterOverscan", false, &Configuration)),
      OverscanMM(
          new TZelConfigurationFloatRange("RasterOverscanMM", 2.0, 0.0, 100.0, &Configuration)) {}

TRasterSettings TRasterModeSettings::Read() const {
  TRasterSettings s;
  s.Mode = static_cast<TRasterMode>(Mode->Value());
  s.Kernel = static_cast<TDitherKernel>(Kernel->Value());
  s.GrayLevels = GrayLevels->Value();
  s.Contrast = Contrast->Value();
  s.Brightness = Brightness->Value();
  s.Gamma = Gamma->Value();
  s.MaxPower = MaxPower->Value();
  s.MinPower = std::min(MinPower->Value(), s.MaxPower);
  s.PowerGamma = PowerGamma->Value();
  s.Overscan = Overscan->Value();
  s.OverscanMM = OverscanMM->Value();
  return s;
}

void TRasterModeSettings::Write(const TRasterSettings &s) const {
  Mode->SetValue(static_cast<int>(s.Mode));
  Kernel->SetValue(static_cast<int>(s.Kernel));
  GrayLevels->SetValue(s.GrayLevels);
  Contrast->SetValue(s.Contrast);
  Brightness->SetValue(s.Brightness);
  Gamma->SetValue(s.Gamma);
  MinPower->SetValue(s.MinPower);
  MaxPower->SetValue(s.MaxPower);
  PowerGamma->SetValue(s.PowerGamma);
  Overscan->SetValue(s.Overscan);
  OverscanMM->SetValue(s.OverscanMM);
}
