#pragma once
// A window without a display: keeps what the job writes into the controls so
// brennix-cli can print it and tests can check it.

#include <functional>
#include <string>
#include <vector>

#include "JobHost.h"

class THeadlessHost : public TJobHost {
public:
  int ProgressValue = 0, ProgressMax = 0;
  bool ProgressVisible = false, ResultVisible = false;
  std::string Result, Caption;
  bool RightPanelEnabled = true;
  double ScaleXValue = 100, ScaleYValue = 100;
  double OriginalX = 0, OriginalY = 0, PrintX = 0, PrintY = 0;
  TTemplates TemplateTexts;
  double IdleSpeedValue = 100, OffsetXValue = 0, OffsetYValue = 0;
  bool OffsetCenterValue = false;
  TMachineProfile ProfileValue;
  std::string ProgressCaption;
  int LoadingValue = 0, LoadingMax = 30;
  bool LoadingVisible = false;
  std::vector<std::string> Messages;
  std::vector<std::function<void()>> IdleQueue;
  int PresentCount = 0, GridUpdates = 0;
  // Called at every loading step; brennix-cli draws its terminal bar here.
  std::function<void(int value, int maximum)> OnProgress;

  void SetCalcProgress(int value, int maximum) override;
  int CalcProgressValue() const override { return ProgressValue; }
  int CalcProgressMax() const override { return ProgressMax; }
  void ShowCalcProgress(bool visible) override { ProgressVisible = visible; }
  void SetCalcResult(const std::string &text) override { Result = text; }
  void ShowCalcResult(bool visible) override { ResultVisible = visible; }
  void PresentPreview(const QImage &) override { ++PresentCount; }
  double ScaleX() const override { return ScaleXValue; }
  double ScaleY() const override { return ScaleYValue; }
  void SetScale(double x, double y) override;
  void SetOriginalSize(double x, double y) override;
  void SetPrintSize(double x, double y) override;
  void SetCaption(const std::string &caption) override { Caption = caption; }
  void EnableRightPanel(bool enabled) override { RightPanelEnabled = enabled; }
  void UpdateGrid() override { ++GridUpdates; }
  TTemplates Templates() const override { return TemplateTexts; }
  double IdleSpeed() const override { return IdleSpeedValue; }
  double OffsetX() const override { return OffsetXValue; }
  double OffsetY() const override { return OffsetYValue; }
  bool OffsetCenter() const override { return OffsetCenterValue; }
  TMachineProfile Profile() const override { return ProfileValue; }
  void BeginProgress(const std::string &caption) override;
  void SetProgressMax(int maximum) override { LoadingMax = maximum; }
  void Progress(bool cycle) override;
  void EndProgress() override { LoadingVisible = false; }
  void ShowMessage(const std::string &text) override { Messages.push_back(text); }
  void ExecuteInIdle(std::function<void()> proc) override { IdleQueue.push_back(std::move(proc)); }
  // Runs the queued idle procedures in order, as the window's timer would.
  void RunIdle();
};
