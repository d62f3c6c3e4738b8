#pragma once
// What the job needs from its window: progress, estimate, preview, the size
// boxes, the templates and the loading window. The desktop window implements
// it with widgets; brennix-cli and the tests use THeadlessHost.

#include <functional>
#include <string>

#include "MachineProfile.h"
#include "Templates.h"

class QImage;

// What a background job reports through: safe to call on the job's own thread.
struct TBackgroundSteps {
  // The number of steps, then one step further. Either throws when the user
  // cancelled, which ends the job there.
  std::function<void(int)> SetMax;
  std::function<void()> Step;
  // A message box shown on the main thread, in order.
  std::function<void(const std::string &)> Message;
};

class TJobHost {
public:
  virtual ~TJobHost() = default;

  // The worker has queued a hand-over: the main thread should call
  // TLevels::RunHandOvers soon. May be called from any thread.
  virtual void WakeMainThread() {}

  // The CalcProgress bar and the CalcResult label.
  virtual void SetCalcProgress(int value, int maximum) = 0;
  virtual int CalcProgressValue() const = 0;
  virtual int CalcProgressMax() const = 0;
  virtual void ShowCalcProgress(bool visible) = 0;
  virtual void SetCalcResult(const std::string &text) = 0;
  virtual void ShowCalcResult(bool visible) = 0;

  // Copies the finished part of the preview into the window and lets pending
  // window messages through.
  virtual void PresentPreview(const QImage &preview) = 0;

  // The size boxes (millimetres and per cent) that loading fills.
  virtual double ScaleX() const = 0;
  virtual double ScaleY() const = 0;
  virtual void SetScale(double x, double y) = 0;
  virtual void SetOriginalSize(double x, double y) = 0;
  virtual void SetPrintSize(double x, double y) = 0;

  virtual void SetCaption(const std::string &caption) = 0;
  virtual void EnableRightPanel(bool enabled) = 0;
  virtual void UpdateGrid() {}

  // Job-wide settings the G-code writer reads.
  virtual TTemplates Templates() const = 0;
  virtual double IdleSpeed() const = 0;
  virtual double OffsetX() const = 0;
  virtual double OffsetY() const = 0;
  virtual bool OffsetCenter() const = 0;
  // The machine: power range, travel template, bed, acceleration. A host
  // without one writes for the program's own defaults.
  virtual TMachineProfile Profile() const { return {}; }

  // The loading window: shown during a load or save, its bar mirrored into
  // CalcProgress, pending window messages processed at every step.
  virtual void BeginProgress(const std::string &caption) = 0;
  virtual void SetProgressMax(int maximum) = 0;
  virtual void Progress(bool cycle) = 0;
  virtual void EndProgress() = 0;

  // Runs work, which touches neither the job nor the window, to its end while
  // the window keeps answering; work's exceptions propagate. Returns false
  // when the user cancelled before work ended. Without a window it runs
  // right here, reporting to the loading window's functions.
  virtual bool RunInBackground(const std::function<void(const TBackgroundSteps &)> &work) {
    work({[this](int maximum) { SetProgressMax(maximum); }, [this] { Progress(false); },
          [this](const std::string &text) { ShowMessage(text); }});
    return true;
  }

  // A message box the reader shows by itself (not an error).
  virtual void ShowMessage(const std::string &text) = 0;
  // Runs proc on the main thread after the current event.
  virtual void ExecuteInIdle(std::function<void()> proc) = 0;
  // After a newly opened Gerber file: the board-outline options window
  // (modal, RightPanel disabled meanwhile). Without a window: nothing.
  virtual void ShowGerberOutlineOptions() {}
};
