#pragma once
// The main window's controls by name, as its handlers, its panels and the
// tests reach them.

#include <array>

#include "core/Templates.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGraphicsOpacityEffect;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPropertyAnimation;
class QPushButton;
class QSpinBox;
class QSplitter;
class QWidget;
class TPowerGrid;
class TPreviewImage;
class TRasterModeBox;

struct TMainControls {
  // The preview on the left, RightPanel on the right.
  QSplitter *Splitter = nullptr;
  QWidget *RightPanel = nullptr, *SettingsLayout = nullptr, *SettingsPanel = nullptr;
  QGroupBox *InputGroup = nullptr, *PowerGroup = nullptr, *GcodeGroup = nullptr;
  QPushButton *OpenButton = nullptr, *SaveButton = nullptr, *ResetButton = nullptr;
  QDoubleSpinBox *OriginalX = nullptr, *OriginalY = nullptr, *ScaleXBox = nullptr,
                 *ScaleYBox = nullptr, *PrintX = nullptr, *PrintY = nullptr;
  QCheckBox *CheckTravel = nullptr, *CheckMirror = nullptr, *CheckOutline = nullptr,
            *ShowConfiguration = nullptr, *OffsetCenterBox = nullptr;
  QProgressBar *CalcProgress = nullptr;
  QLabel *CalcResult = nullptr;
  TPowerGrid *PowerGrid = nullptr;
  // How a picture is engraved; shown while one is loaded.
  TRasterModeBox *RasterBox = nullptr;
  // The template memos in the table's order, and each by its name.
  std::array<QPlainTextEdit *, TemplateCount> TemplateMemos{};
  QPlainTextEdit *LaserOnMemo = nullptr, *LaserOffMemo = nullptr, *GcodePrefixMemo = nullptr,
                 *GcodeSuffixMemo = nullptr, *HeadSpeedMemo = nullptr, *HeadMoveMemo = nullptr;
  QDoubleSpinBox *OffsetXBox = nullptr, *OffsetYBox = nullptr, *FocusSize = nullptr,
                 *IdleSpeedBox = nullptr;
  // The machine profile section: the firmware preset (item data: its name,
  // or "custom"), the power range, the travel template, bed and acceleration.
  QGroupBox *ProfileGroup = nullptr;
  QComboBox *ProfileBox = nullptr;
  QDoubleSpinBox *PowerMaximumBox = nullptr, *BedWidthBox = nullptr, *BedHeightBox = nullptr,
                 *AccelerationBox = nullptr;
  QSpinBox *PowerDecimalsBox = nullptr;
  QPlainTextEdit *TravelMoveMemo = nullptr;
  // The running time with acceleration, below CalcResult; hidden without one.
  QLabel *AccelResult = nullptr;
  TPreviewImage *Preview = nullptr;
  // The status bar: the cursor's place on the drawing, and the drawing's size.
  QLabel *CursorLabel = nullptr, *DrawingSizeLabel = nullptr;
  // Under the preview: the first line of the reader's report and a button
  // for all of it; hidden when the drawing was read in full.
  QWidget *ReportBar = nullptr;
  QLabel *ReportLine = nullptr;
  QPushButton *ReportDetails = nullptr;
  QGraphicsOpacityEffect *SettingsOpacity = nullptr;
  QPropertyAnimation *SettingsAni = nullptr;

  // The job group is taller by the acceleration estimate's line when it shows.
  static constexpr int InputGroupHeight = 213, AccelResultHeight = 18;
  void FitInputGroup(bool accelerationLine);
};
