#include "settings/RasterModeSettings.h"

#include <gtest/gtest.h>

#include "StoreTest.h"

namespace {

class RasterModeSettings : public TStoreTest {};

} // namespace

TEST_F(RasterModeSettings, AnEmptyStoreReadsAsColourLevelsAndWrittenSettingsReadBack) {
  EXPECT_EQ(TRasterModeSettings().Read(), TRasterSettings{});
  TRasterSettings s;
  s.Mode = TRasterMode::GrayLevels;
  s.Kernel = TDitherKernel::Sierra;
  s.GrayLevels = 32;
  s.Contrast = -12.5;
  s.Brightness = 7;
  s.Gamma = 1.8;
  s.MinPower = 30;
  s.MaxPower = 220;
  s.PowerGamma = 0.6;
  s.Overscan = true;
  s.OverscanMM = 4.5;
  TRasterModeSettings().Write(s);
  TZelConfiguration::CloseStore();
  EXPECT_EQ(TRasterModeSettings().Read(), s);
}

TEST_F(RasterModeSettings, StoredValuesOutOfRangeReadAsUsableSettings) {
  const TRasterModeSettings store;
  store.Mode->SetValue(9);
  store.GrayLevels->SetValue(1000);
  store.MinPower->SetValue(200);
  store.MaxPower->SetValue(100);
  TZelConfiguration::CloseStore();
  const TRasterSettings s = TRasterModeSettings().Read();
  EXPECT_EQ(s.Mode, TRasterMode::GrayLevels);
  EXPECT_EQ(s.GrayLevels, MaxGrayLevels);
  EXPECT_LE(s.MinPower, s.MaxPower);
}
