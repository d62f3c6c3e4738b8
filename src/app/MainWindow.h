#pragma once
// The program's one window: job-wide controls, the power grid, the preview
// and the G-code settings; it is the job's host for loading, processing and saving.

#include <functional>
#include <memory>
#include <string>

#include <QMainWindow>

#include "DialogFilters.h"
#include "MainControls.h"
#include "core/JobHost.h"
#include "settings/BrennixSettings.h"
#include "settings/MachineSettings.h"

class QPlainTextEdit;
class QScrollArea;
class TBackgroundJob;
class TEditActions;
class TGridHandlers;
class TLevels;
class TMainMenus;
class TLoadingWindow;
class TProfileSection;
class TZelConfigurationString;

class TMainWindow : public QMainWindow, public TJobHost, public TMainControls {
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
  std::unique_ptr<TProfileSection> FProfile;
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
