#pragma once
// Loading and saving on a thread of their own: the window keeps answering,
// shows the job's progress and can cancel it at its next step.

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "core/JobHost.h"

class QObject;

class TBackgroundJob {
public:
  // context: the main-thread object messages and the end are delivered through.
  // progress: receives (steps done, steps in all) about every 15 ms and at the end.
  // message: shows a message of the job's, on the main thread.
  TBackgroundJob(QObject *context, std::function<void(int, int)> progress,
                 std::function<void(const std::string &)> message);
  ~TBackgroundJob();

  // Runs work on its own thread from step value of maximum, serving the
  // window's events until it ends; work's exception is thrown here. False when
  // Cancel came first. One job at a time: a job begun inside another one's
  // event processing runs right here, reporting to the outer job's bar.
  bool Run(const std::function<void(const TBackgroundSteps &)> &work, int value, int maximum);
  bool Running() const { return FShared != nullptr; }
  // The running job stops at its next step; nothing when none runs.
  void Cancel();

private:
  struct TShared;
  QObject *FContext;
  std::function<void(int, int)> FProgress;
  std::function<void(const std::string &)> FMessage;
  std::shared_ptr<TShared> FShared;
};
