#pragma once
// The program's one window: job-wide controls, the power grid, the preview
// and the G-code settings; it is the job's host for loading, processing and saving.

#include <array>
#include <functional>
#include <memory>
#include <string>

#include <QMainWindow>

#include "core/Geometry.h"
#include "core/JobHost.h"
#include "settings/BrennixSettings.h"
#include "settings/MachineSettings.h"

class QAction;
class QCheckBox;
class QMenu;
class QComboBox;
class QSpinBox;
class QDoubleSpinBox;
class QGraphicsOpacityEffect;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPropertyAnimation;
class QPushButton;
class QScrollArea;
class QSplitter;
class QTableWidget;
class QWidget;
class TBackgroundJob;
class TEditActions;
class TGridHandlers;
class TLevels;
class TMainMenus;
class TLoadingWindow;
class TPowerGrid;
class TPreviewImage;
class TRasterModeBox;

// The open dialog's filter, as pairs of description and masks separated by "|".
extern const char *const OpenDialogFilter;
extern const char *const SaveDialogFilter;
// The same filters as Qt name filters, one per pair, in order.
QStringList NameFilters(const char *filter);
// The web page the bottom strip opens.
extern const char *const MakerPage;

class TMainWindow : public QMainWindow, public TJobHost {
public:
  // fileArgument: the first command-line argument, opened at start-up when not empty.
  explicit TMainWindow(const QString &fileArgument = {});
  ~TMainWindow() override;

  TLevels &Levels() const { return *FLevels; }
  // Set while program code fills the size and focus boxes so that their change handlers
  // keep still; the window's own writers set the field, these serve panels outside it.
  bool CodeEdit() const { return FCodeEdit; }
  void SetCodeEdit(bool value) { FCodeEdit = value; }
  void ApplySettings();
  void UpdateGrid() override;

  // The dialogs, replaceable so tests can answer them. The open hook returns
  // false when cancelled; the save hook gets the proposed folder and name.
  std::function<bool(QString &fileName, int &filterIndex)> OpenDialogHook;
  std::function<QString(const QString &folder, const QString &name)> SaveDialogHook;

  // Event handlers, public so tests can run them as the user would.
  void OpenButtonClick();
  void SaveButtonClick();
  void ResetButtonClick();
  void FocusSizeExit();
  void DropFileDropped(const QString &fileName);
  void SiteImageClick();
  // The menu bar; File's entries follow the buttons.
  TMainMenus &Menus() const { return *FMenus; }
  // The power grid's cell handlers.
  TGridHandlers &Grid() const { return *FGrid; }
  // The Edit menu's undo and redo.
  TEditActions &Edits() const { return *FEdits; }
  // The user picked an entry of ProfileBox: a preset fills the templates,
  // the power range and the travel template.
  void ProfileChange();

  // The controls.
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
  TLoadingWindow *LoadingWindow() const { return FLoading.get(); }
  // Messages a reader showed by itself, newest last.
  QStringList ShownMessages;

  // TJobHost
  void WakeMainThread() override;
  void SetCalcProgress(int value, int maximum) override;
  int CalcProgressValue() const override { return FProgressValue; }
  int CalcProgressMax() const override { return FProgressMax; }
  void ShowCalcProgress(bool visible) override;
  void SetCalcResult(const std::string &text) override;
  void ShowCalcResult(bool visible) override;
  void PresentPreview(const QImage &preview) override;
  double ScaleX() const override;
  double ScaleY() const override;
  void SetScale(double x, double y) override;
  void SetOriginalSize(double x, double y) override;
  void SetPrintSize(double x, double y) override;
  void SetCaption(const std::string &caption) override;
  void EnableRightPanel(bool enabled) override;
  TTemplates Templates() const override;
  double IdleSpeed() const override;
  double OffsetX() const override;
  double OffsetY() const override;
  bool OffsetCenter() const override;
  TMachineProfile Profile() const override;
  void BeginProgress(const std::string &caption) override;
  void SetProgressMax(int maximum) override;
  void Progress(bool cycle) override;
  void EndProgress() override;
  bool RunInBackground(const std::function<void(const TBackgroundSteps &)> &work) override;
  void ShowMessage(const std::string &text) override;
  void ExecuteInIdle(std::function<void()> proc) override;
  void ShowGerberOutlineOptions() override;

protected:
  void closeEvent(QCloseEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  // Writes a pair of number boxes without their change handlers reacting.
  void WriteBoxes(QDoubleSpinBox *boxX, QDoubleSpinBox *boxY, double x, double y);
  void BuildInputGroup(QWidget *parent);
  void BuildPowerGroup(QWidget *parent);
  void BuildGcodeGroup(QWidget *parent);
  void BuildBottomPanel(QWidget *parent);
  void BuildProfileGroup(QWidget *parent);
  void ConnectProfile();
  void ApplyProfileSettings();
  // A template edited by hand: the profile is no longer the preset's.
  void MarkCustom();
  void UpdateAccelerationEstimate();
  void Connect();

  void ScaleChange(bool x);
  void PrintChange(bool x);
  void OutputUpdate();
  void FocusSizeChange();
  void TemplateChange(QPlainTextEdit *memo, TZelConfigurationString *setting);
  void ShowConfigurationChange();
  void SettingsAniProcess();
  void SettingsAniFinish();
  void PlaceGcodeBlock();
  void PreviewResize();
  // Widens the settings panel to its controls and its scroll bar.
  void FitRightPanel();
  void LoadFile(const QString &fileName, int filterIndex);
  // Reads the drawing again (focus change, reset) and shows its report.
  void Reload();
  void ShowReport();
  void ShowReportDetails();

  TBrennixSettings FSettings;
  TMachineSettings FMachine;
  std::unique_ptr<TLevels> FLevels;
  std::unique_ptr<TMainMenus> FMenus;
  std::unique_ptr<TGridHandlers> FGrid;
  std::unique_ptr<TLoadingWindow> FLoading;
  std::unique_ptr<TBackgroundJob> FBackground;
  QScrollArea *FRightScroller = nullptr;
  int FLoadingDepth = 0;
  int FPanelHolds = 0;
  bool FCodeEdit = false;
  bool FFocusReload = false;
  QString FOpenDialogFile; // the last file chosen in the open dialog
  int FProgressValue = 0, FProgressMax = 0;
  // Last: it watches the controls and the grid handlers above.
  std::unique_ptr<TEditActions> FEdits;
};
