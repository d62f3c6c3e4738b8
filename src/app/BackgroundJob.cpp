#include "BackgroundJob.h"

#include <exception>
#include <thread>

#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

namespace {

// Thrown at the job's next step after Cancel; never leaves Run.
struct TCancelled {};

} // namespace

struct TBackgroundJob::TShared {
  std::atomic<int> Value{0}, Maximum{0};
  std::atomic<bool> Cancel{false}, Done{false};
};

TBackgroundJob::TBackgroundJob(QObject *context, std::function<void(int, int)> progress,
                               std::function<void(const std::string &)> message)
    : FContext(context), FProgress(std::move(progress)), FMessage(std::move(message)) {}

TBackgroundJob::~TBackgroundJob() { Cancel(); }

void TBackgroundJob::Cancel() {
  if (FShared)
    FShared->Cancel = true;
}

bool TBackgroundJob::Run(const std::function<void(const TBackgroundSteps &)> &work, int value,
                         int maximum) {
  if (FShared) {
    // Nested: the outer job's thread is busy with its own work; this one is
    // short (a re-read from a dialog) and counts on the outer bar.
    const std::shared_ptr<TShared> shared = FShared;
    work({[shared](int count) { shared->Maximum = count; },
          [shared] { shared->Value.fetch_add(1); }, FMessage});
    return true;
  }
  const auto shared = std::make_shared<TShared>();
  shared->Value = value;
  shared->Maximum = maximum;
  FShared = shared;
  struct TClear {
    TBackgroundJob *Job;
    ~TClear() { Job->FShared.reset(); }
  } clear{this};

  QEventLoop loop;
  QObject *context = FContext;
  const std::function<void(const std::string &)> show = FMessage;
  TBackgroundSteps steps;
  steps.SetMax = [shared](int count) {
    if (shared->Cancel)
      throw TCancelled();
    shared->Maximum = count;
  };
  steps.Step = [shared] {
    if (shared->Cancel)
      throw TCancelled();
    shared->Value.fetch_add(1);
  };
  // Posted to the context, so they arrive before the end, in order.
  steps.Message = [context, show](const std::string &text) {
    QMetaObject::invokeMethod(
        context, [show, text] { show(text); }, Qt::QueuedConnection);
  };

  const auto report = [this, shared] {
    const int count = shared->Maximum;
    FProgress(std::min<int>(shared->Value, count), count);
  };
  QTimer timer;
  timer.setInterval(15);
  QObject::connect(&timer, &QTimer::timeout, &loop, report);
  timer.start();

  std::exception_ptr error;
  bool cancelled = false;
  std::thread thread([&] {
    try {
      work(steps);
    } catch (const TCancelled &) {
      cancelled = true;
    } catch (...) {
      error = std::current_exception();
    }
    shared->Done = true;
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  // The loop also ends when the program quits (the window closed): the job
  // is cancelled then and its thread waited for, which takes one step.
  loop.exec();
  if (!shared->Done)
    shared->Cancel = true;
  thread.join();
  timer.stop();
  report();
  // A cancelled job's failure is no news: it was abandoned anyway.
  if (cancelled || shared->Cancel)
    return false;
  if (error)
    std::rethrow_exception(error);
  return true;
}
