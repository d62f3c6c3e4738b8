#pragma once
// The background worker: one thread that runs the processing cycle whenever a
// cycle is requested, hands steps to the main thread while it waits, and can
// be held outside a cycle while the level list changes shape.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class TWorker {
public:
  // threaded false: no thread; hand-overs run at once and RunInline computes.
  // wakeMainThread is called from the worker whenever it queues a hand-over.
  TWorker(bool threaded, std::function<void()> wakeMainThread);
  ~TWorker();
  TWorker(const TWorker &) = delete;
  TWorker &operator=(const TWorker &) = delete;

  // Starts the thread; an error escaping a cycle goes to showError on the main thread.
  void Start(std::function<void()> cycle, std::function<void(const std::string &)> showError);
  // Ends the running cycle at its next check and joins the thread. Hand-overs
  // are released from then on without running their steps, so nothing calls
  // into a window that is closing. Call it before anything the cycle uses goes.
  void Stop();

  bool Threaded() const { return FThreaded; }
  // Set while a cycle is requested; every step of a cycle polls it.
  const std::atomic<bool> &Clearing() const { return FClear; }
  void RequestCycle();
  // Main thread, at the start of a cycle: takes the request, false if there was none.
  bool TakeRequest();
  bool Reading() const { return FReading; }
  // While a file is read no cycle starts.
  void SetReading(bool value);

  // Runs step on the main thread while the calling worker waits; rethrows its error.
  void HandOver(const std::function<void()> &step);
  // Main thread: runs the hand-overs the worker queued (once stopping, releases them).
  void RunHandOvers();
  // Without a thread: runs cycles until none is requested.
  void RunInline();
  // Serving hand-overs, waits until no cycle runs or is due; false on timeout.
  bool WaitUntilIdle(std::chrono::milliseconds timeout);
  // Keeps the worker outside a cycle from Hold to the matching Release.
  void Hold();
  void Release();

private:
  struct THandOver {
    const std::function<void()> *Step;
    bool Done = false;
    std::exception_ptr Error;
  };

  void Process();
  bool Due() const { return FClear && !FReading && FHold == 0; }
  // Called and returning with lock held: runs queued hand-overs until done()
  // holds (checked under the lock) or the deadline passes.
  bool ServeHandOversUntil(std::unique_lock<std::mutex> &lock, const std::function<bool()> &done,
                           std::chrono::steady_clock::time_point deadline =
                               std::chrono::steady_clock::time_point::max());

  // Who writes what, and what guards it:
  // - FClear: set by any thread (RequestCycle, Hold, Stop) and cleared by
  //   TakeRequest on the main thread, always under FLock, so a worker about to
  //   sleep cannot miss a request; read without the lock by every step's check.
  // - FReading: written by the main thread under FLock; read anywhere.
  // - FHold, FTerminated: main thread, under FLock. FInCycle: worker, under FLock.
  // - FHandOvers and each request's Done and Error: under FLock; the worker
  //   queues, the main thread runs and completes.
  // - FThread: Start and Stop, main thread. The rest is fixed at construction.
  // Every change that can make a cycle due notifies FWake after the unlock;
  // the 100 ms poll of the idle worker is a pace, not a correctness measure.
  const bool FThreaded;
  const std::function<void()> FWakeMainThread;
  const std::thread::id FMainThread;
  std::function<void()> FCycle;
  std::function<void(const std::string &)> FShowError;
  std::atomic<bool> FClear{false};
  std::atomic<bool> FReading{false};
  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<THandOver *> FHandOvers;
  int FHold = 0;
  bool FInCycle = false;
  bool FTerminated = false;
  std::thread FThread;
};

// Holds a worker outside its cycle for as long as it lives.
class TWorkerHold {
public:
  explicit TWorkerHold(TWorker &worker) : FWorker(worker) { FWorker.Hold(); }
  ~TWorkerHold() { FWorker.Release(); }
  TWorkerHold(const TWorkerHold &) = delete;
  TWorkerHold &operator=(const TWorkerHold &) = delete;

private:
  TWorker &FWorker;
};
