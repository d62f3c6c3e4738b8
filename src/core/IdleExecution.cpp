#include "IdleExecution.h"

#include <cstdio>
#include <deque>
#include <exception>
#include <thread>

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace {

bool OnMainThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

// Written once by the window at start-up, before any idle procedure runs.
std::function<void(const std::string &)> ErrorDisplay;

void ShowIdleError(const std::string &message) {
  if (ErrorDisplay)
    ErrorDisplay(message);
  else
    std::fprintf(stderr, "%s\n", message.c_str());
}

// The idle queue: touched on the main thread only. Created on first use and
// kept until the program ends.
class TIdleExecution {
public:
  TIdleExecution() {
    FTimer.setInterval(10);
    QObject::connect(&FTimer, &QTimer::timeout, [this] { IdleTimer(); });
  }
  void Add(std::function<void()> proc) {
    FProcs.push_back(std::move(proc));
    FTimer.start();
  }
  int Ticks() const { return FTicks; }

private:
  void IdleTimer() {
    // Procedures queued while this batch runs wait for the next tick.
    auto batch = std::move(FProcs);
    FProcs.clear();
    if (!batch.empty())
      ++FTicks;
    try {
      for (auto &proc : batch)
        proc();
    } catch (const std::exception &error) {
      // The rest of the batch is dropped, as when the error leaves the tick.
      ShowIdleError(error.what());
    } catch (...) {
      ShowIdleError("Unknown error");
    }
    if (FProcs.empty())
      FTimer.stop();
  }

  std::deque<std::function<void()>> FProcs;
  QTimer FTimer;
  int FTicks = 0;
};

// Main thread only; lives until the program ends.
TIdleExecution *IdleExecution = nullptr;

} // namespace

void SetIdleErrorDisplay(std::function<void(const std::string &)> display) {
  ErrorDisplay = std::move(display);
}

void ExecuteInIdle(std::function<void()> proc) {
  if (!OnMainThread()) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [proc = std::move(proc)]() mutable { ExecuteInIdle(std::move(proc)); },
        Qt::QueuedConnection);
    return;
  }
  if (!IdleExecution)
    IdleExecution = new TIdleExecution;
  IdleExecution->Add(std::move(proc));
}

int IdleTickCount() { return IdleExecution ? IdleExecution->Ticks() : 0; }

void RunInBackground(std::function<void(const TSynchronizer &)> proc) {
  std::thread([proc = std::move(proc)] {
    const TSynchronizer synchronize = [](const std::function<void()> &step) {
      if (OnMainThread()) {
        step();
        return;
      }
      std::exception_ptr error;
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [&] {
            try {
              step();
            } catch (...) {
              error = std::current_exception();
            }
          },
          Qt::BlockingQueuedConnection);
      if (error)
        std::rethrow_exception(error);
    };
    try {
      proc(synchronize);
    } catch (const std::exception &error) {
      const std::string message = error.what();
      ExecuteInIdle([message] { ShowIdleError(message); });
    }
  }).detach();
}
