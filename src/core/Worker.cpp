#include "Worker.h"

using namespace std::chrono_literals;

TWorker::TWorker(bool threaded, std::function<void()> wakeMainThread)
    : FThreaded(threaded), FWakeMainThread(std::move(wakeMainThread)),
      FMainThread(std::this_thread::get_id()) {}

TWorker::~TWorker() { Stop(); }

void TWorker::Start(std::function<void()> cycle,
                    std::function<void(const std::string &)> showError) {
  FCycle = std::move(cycle);
  FShowError = std::move(showError);
  if (FThreaded)
    FThread = std::thread([this] { Process(); });
}

void TWorker::Stop() {
  if (!FThread.joinable())
    return;
  std::unique_lock lock(FLock);
  FTerminated = true;
  FClear = true;
  FWake.notify_all();
  // The worker may be waiting in a hand-over: keep releasing them until it ends.
  ServeHandOversUntil(lock, [this] { return !FInCycle; });
  lock.unlock();
  FThread.join();
}

void TWorker::RequestCycle() {
  {
    std::lock_guard lock(FLock);
    FClear = true;
  }
  FWake.notify_all();
}

bool TWorker::TakeRequest() {
  std::lock_guard lock(FLock);
  return FClear.exchange(false);
}

void TWorker::SetReading(bool value) {
  {
    std::lock_guard lock(FLock);
    FReading = value;
  }
  FWake.notify_all();
}

void TWorker::HandOver(const std::function<void()> &step) {
  if (!FThreaded || std::this_thread::get_id() == FMainThread) {
    step();
    return;
  }
  THandOver request{&step, false, nullptr};
  {
    std::lock_guard lock(FLock);
    FHandOvers.push_back(&request);
  }
  FWake.notify_all();
  FWakeMainThread();
  std::unique_lock lock(FLock);
  FWake.wait(lock, [&] { return request.Done; });
  if (request.Error)
    std::rethrow_exception(request.Error);
}

void TWorker::RunHandOvers() {
  for (;;) {
    THandOver *request = nullptr;
    bool run = false;
    {
      std::lock_guard lock(FLock);
      if (FHandOvers.empty())
        return;
      request = FHandOvers.front();
      FHandOvers.pop_front();
      // Once stopping, the window may be half torn down: the worker is only
      // released, its step is not run.
      run = !FTerminated;
    }
    if (run) {
      try {
        (*request->Step)();
      } catch (...) {
        request->Error = std::current_exception();
      }
    }
    {
      std::lock_guard lock(FLock);
      request->Done = true;
    }
    FWake.notify_all();
  }
}

bool TWorker::ServeHandOversUntil(std::unique_lock<std::mutex> &lock,
                                  const std::function<bool()> &done,
                                  std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    if (!FHandOvers.empty()) {
      lock.unlock();
      RunHandOvers();
      lock.lock();
      continue;
    }
    if (done())
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    FWake.wait_for(lock, 5ms, [&] { return !FHandOvers.empty() || done(); });
  }
}

void TWorker::RunInline() {
  while (FClear && !FReading)
    FCycle();
}

bool TWorker::WaitUntilIdle(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(FLock);
  return ServeHandOversUntil(
      lock, [this] { return !FInCycle && !Due(); }, deadline);
}

void TWorker::Hold() {
  std::unique_lock lock(FLock);
  ++FHold;
  // The worker holding itself would wait for its own cycle to end.
  if (!FThread.joinable() || std::this_thread::get_id() == FThread.get_id())
    return;
  FClear = true;
  ServeHandOversUntil(lock, [this] { return !FInCycle; });
}

void TWorker::Release() {
  {
    std::lock_guard lock(FLock);
    --FHold;
  }
  FWake.notify_all();
}

void TWorker::Process() {
  for (;;) {
    {
      std::unique_lock lock(FLock);
      FWake.wait_for(lock, 100ms, [this] { return FTerminated || Due(); });
      if (FTerminated)
        return;
      if (!Due())
        continue;
      FInCycle = true;
    }
    try {
      FCycle();
    } catch (const std::exception &error) {
      // A computation that failed leaves its level marked; show why once.
      const std::string message = error.what();
      try {
        HandOver([&] { FShowError(message); });
      } catch (...) {
      }
    }
    {
      std::lock_guard lock(FLock);
      FInCycle = false;
    }
    FWake.notify_all();
  }
}
