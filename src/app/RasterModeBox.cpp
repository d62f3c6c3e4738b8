#include "RasterModeBox.h"

#include <algorithm>
#include <exception>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QSpinBox>

#include "ZelUtils.h"
#include "core/JobHost.h"
#include "core/Levels.h"
#include "raster/RasterModes.h"
#include "settings/RasterModeSettings.h"

namespace {

// In TRasterMode's and TDitherKernel's order.
const char *const ModeCaptions[] = {"Colour levels", "Dithered", "Gray levels"};
const char *const KernelCaptions[] = {
    "Floyd-Steinberg", "Jarvis-Judice-Ninke",   "Stucki",   "Atkinson",
    "Sierra",          "Ordered (Bayer 8 x 8)", "Threshold"};

QDoubleSpinBox *NumberBox(QWidget *parent, TJobRange range, int decimals, const QString &suffix) {
  auto *box = new QDoubleSpinBox(parent);
  box->setRange(range.Minimum, range.Maximum);
  box->setDecimals(decimals);
  box->setSuffix(suffix);
  // Typing "150" must not apply 1 and 15 on the way.
  box->setKeyboardTracking(false);
  return box;
}

QSpinBox *WholeBox(QWidget *parent, int minimum, int maximum) {
  auto *box = new QSpinBox(parent);
  box->setRange(minimum, maximum);
  box->setKeyboardTracking(false);
  return box;
}

} // namespace

TRasterModeBox::TRasterModeBox(QWidget *parent, std::function<TLevels &()> levels,
                               std::function<void()> reread)
    : QGroupBox(" Picture: ", parent), FLevels(std::move(levels)), FReread(std::move(reread)) {
  setObjectName("RasterModeBox");
  auto *form = new QFormLayout(this);
  form->setContentsMargins(6, 4, 6, 4);
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  ModeBox = new QComboBox(this);
  for (const char *caption : ModeCaptions)
    ModeBox->addItem(caption);
  KernelBox = new QComboBox(this);
  for (const char *caption : KernelCaptions)
    KernelBox->addItem(caption);
  GrayLevelsBox = WholeBox(this, MinGrayLevels, MaxGrayLevels);
  ContrastBox = NumberBox(this, ToneRange, 0, " %");
  BrightnessBox = NumberBox(this, ToneRange, 0, " %");
  GammaBox = NumberBox(this, GammaRange, 2, "");
  GammaBox->setSingleStep(0.1);
  MinPowerBox = WholeBox(this, static_cast<int>(RasterPowerRange.Minimum),
                         static_cast<int>(RasterPowerRange.Maximum));
  MaxPowerBox = WholeBox(this, static_cast<int>(RasterPowerRange.Minimum),
                         static_cast<int>(RasterPowerRange.Maximum));
  PowerGammaBox = NumberBox(this, GammaRange, 2, "");
  PowerGammaBox->setSingleStep(0.1);
  OverscanCheck = new QCheckBox("Run on", this);
  OverscanBox = NumberBox(this, OverscanRange, 1, " mm");

  auto *powers = new QWidget(this);
  auto *powerRow = new QHBoxLayout(powers);
  powerRow->setContentsMargins(0, 0, 0, 0);
  powerRow->addWidget(MinPowerBox);
  powerRow->addWidget(MaxPowerBox);
  powerRow->addWidget(PowerGammaBox);
  auto *overscan = new QWidget(this);
  auto *overscanRow = new QHBoxLayout(overscan);
  overscanRow->setContentsMargins(0, 0, 0, 0);
  overscanRow->addWidget(OverscanCheck);
  overscanRow->addWidget(OverscanBox, 1);

  form->addRow("&Engrave as:", ModeBox);
  form->addRow("&Dither:", KernelBox);
  form->addRow("Gray &bands:", GrayLevelsBox);
  form->addRow("Power from, to, gamma:", powers);
  form->addRow("&Contrast:", ContrastBox);
  form->addRow("B&rightness:", BrightnessBox);
  form->addRow("Dot &gain gamma:", GammaBox);
  form->addRow("&Overscan:", overscan);

  ModeBox->setToolTip("Colour levels for logos and posters; dithered or gray levels for photos");
  GammaBox->setToolTip("Above 1 darkens the middle tones, below 1 lightens them for dots "
                       "that spread in wood or leather");
  MinPowerBox->setToolTip("Power (0 to 255) of the lightest gray band");
  MaxPowerBox->setToolTip("Power (0 to 255) of the darkest gray band");
  PowerGammaBox->setToolTip("How the power follows the gray between the two");
  OverscanCheck->setToolTip("Scan lines run on with the laser off at both ends, so they "
                            "burn at full speed; by the machine's acceleration when known");
  OverscanBox->setToolTip("Run-on length when the machine's acceleration is not known");

  Fill(TRasterModeSettings().Read());
  // Reading the file again may fail: shown, never passed on to Qt.
  const auto changed = [this] { Guarded([this] { Changed(); }); };
  connect(ModeBox, &QComboBox::currentIndexChanged, this, changed);
  connect(KernelBox, &QComboBox::currentIndexChanged, this, changed);
  for (QSpinBox *box : {GrayLevelsBox, MinPowerBox, MaxPowerBox})
    connect(box, &QSpinBox::valueChanged, this, changed);
  for (QDoubleSpinBox *box : {ContrastBox, BrightnessBox, GammaBox, PowerGammaBox, OverscanBox})
    connect(box, &QDoubleSpinBox::valueChanged, this, changed);
  connect(OverscanCheck, &QCheckBox::toggled, this, changed);
  setVisible(false);
}

void TRasterModeBox::Fill(const TRasterSettings &s) {
  FFilling = true;
  ModeBox->setCurrentIndex(static_cast<int>(s.Mode));
  KernelBox->setCurrentIndex(static_cast<int>(s.Kernel));
  GrayLevelsBox->setValue(s.GrayLevels);
  ContrastBox->setValue(s.Contrast);
  BrightnessBox->setValue(s.Brightness);
  GammaBox->setValue(s.Gamma);
  MinPowerBox->setValue(s.MinPower);
  MaxPowerBox->setValue(s.MaxPower);
  PowerGammaBox->setValue(s.PowerGamma);
  OverscanCheck->setChecked(s.Overscan);
  OverscanBox->setValue(s.OverscanMM);
  FFilling = false;
  ShowModeRows();
}

void TRasterModeBox::ShowModeRows() {
  auto *form = static_cast<QFormLayout *>(layout());
  const auto mode = static_cast<TRasterMode>(ModeBox->currentIndex());
  const bool tone = mode != TRasterMode::ColourLevels;
  form->setRowVisible(KernelBox, mode == TRasterMode::Dithered);
  form->setRowVisible(GrayLevelsBox, mode == TRasterMode::GrayLevels);
  form->setRowVisible(MinPowerBox->parentWidget(), mode == TRasterMode::GrayLevels);
  form->setRowVisible(ContrastBox, tone);
  form->setRowVisible(BrightnessBox, tone);
  form->setRowVisible(GammaBox, tone);
  OverscanBox->setEnabled(OverscanCheck->isChecked());
}

TRasterSettings TRasterModeBox::Settings() const {
  TRasterSettings s;
  s.Mode = static_cast<TRasterMode>(std::clamp(ModeBox->currentIndex(), 0, 2));
  s.Kernel = static_cast<TDitherKernel>(std::clamp(KernelBox->currentIndex(), 0, 6));
  s.GrayLevels = GrayLevelsBox->value();
  s.Contrast = ContrastBox->value();
  s.Brightness = BrightnessBox->value();
  s.Gamma = GammaBox->value();
  s.MaxPower = MaxPowerBox->value();
  // As the store reads it: a minimum above the maximum is the maximum.
  s.MinPower = std::min(MinPowerBox->value(), s.MaxPower);
  s.PowerGamma = PowerGammaBox->value();
  s.Overscan = OverscanCheck->isChecked();
  s.OverscanMM = OverscanBox->value();
  return s;
}

void TRasterModeBox::Changed() {
  if (FFilling)
    return;
  ShowModeRows();
  const TRasterSettings settings = Settings();
  TRasterModeSettings().Write(settings);
  if (!FLevels().HasRaster())
    return;
  if (settings.Mode == TRasterMode::ColourLevels && FModeApplied) {
    // The reader's colour levels are gone: read the file again, which
    // applies the stored settings through DrawingLoaded. Should that fail,
    // the levels stay the mode's, and so do the boxes and the store.
    try {
      FReread();
    } catch (...) {
      TRasterModeSettings().Write(FApplied);
      Fill(FApplied);
      throw;
    }
    return;
  }
  // Colour levels keep their levels; the overscan changes the G-code and
  // the estimate, which the cycle brings.
  if (Apply(settings) && settings.Mode == TRasterMode::ColourLevels)
    FLevels().RequestCycle();
}

void TRasterModeBox::BeforeRead() {
  FLevels().Job().PictureColourLevels =
      TRasterModeSettings().Read().Mode == TRasterMode::ColourLevels;
}

void TRasterModeBox::DrawingLoaded() {
  FModeApplied = false;
  const bool picture = FLevels().HasRaster();
  setVisible(picture);
  if (picture)
    Apply(TRasterModeSettings().Read());
}

bool TRasterModeBox::Apply(const TRasterSettings &settings) {
  TJobHost &host = FLevels().Host();
  try {
    ApplyRasterOverscan(FLevels(), settings);
    if (ApplyRasterMode(FLevels(), settings)) {
      FModeApplied = true;
      FApplied = settings;
      // The estimate shown is the old levels'; the cycle brings the new one.
      host.ShowCalcResult(false);
      host.ShowCalcProgress(true);
    }
    return true;
  } catch (const std::exception &error) {
    host.ShowMessage(error.what());
    return false;
  }
}
