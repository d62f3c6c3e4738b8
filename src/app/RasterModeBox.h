#pragma once
// How a loaded picture is engraved: its colour levels, dithered or in gray
// bands, with the tone, power and overscan settings. Every change is stored
// at once and applied to the picture; the worker redraws the preview.

#include <functional>

#include <QGroupBox>

#include "core/RasterSettings.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;
class TLevels;

class TRasterModeBox : public QGroupBox {
public:
  // reread reads the drawing again: the colour levels come from the reader,
  // so going back to them needs the file, not just the picture.
  // levels gives the window's job, which may be made after the box.
  TRasterModeBox(QWidget *parent, std::function<TLevels &()> levels, std::function<void()> reread);

  // After every successful read: shows the box for a picture only and applies
  // the stored mode, as brennix-cli does after loading.
  void DrawingLoaded();
  // Before the file is read: a picture gets the colour quantiser's levels
  // only when the stored mode engraves them, since the other modes replace
  // them at once.
  void BeforeRead();
  // What the boxes say, checked against their ranges.
  TRasterSettings Settings() const;

  QComboBox *ModeBox = nullptr, *KernelBox = nullptr;
  QSpinBox *GrayLevelsBox = nullptr, *MinPowerBox = nullptr, *MaxPowerBox = nullptr;
  QDoubleSpinBox *ContrastBox = nullptr, *BrightnessBox = nullptr, *GammaBox = nullptr,
                 *PowerGammaBox = nullptr, *OverscanBox = nullptr;
  QCheckBox *OverscanCheck = nullptr;

private:
  void Fill(const TRasterSettings &settings);
  void ShowModeRows();
  void Changed();
  // Applies settings to the loaded picture; false when that failed (shown).
  bool Apply(const TRasterSettings &settings);

  std::function<TLevels &()> FLevels;
  std::function<void()> FReread;
  // The levels in the window are a mode's, not the reader's colour levels.
  bool FModeApplied = false;
  TRasterSettings FApplied; // what made them, while FModeApplied
  bool FFilling = false;
};
