#include "PhaseTimes.h"

#include <atomic>
#include <ctime>

namespace {

std::atomic<TPhaseTimes *> Installed{nullptr};
thread_local TPhaseMark *Innermost = nullptr;

double Seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

} // namespace

void TPhaseTimes::Add(const char *name, double wallSeconds, double cpuSeconds) {
  const std::lock_guard lock(FMutex);
  for (TPhaseTime &item : FItems)
    if (item.Name == name) {
      item.WallSeconds += wallSeconds;
      item.CpuSeconds += cpuSeconds;
      ++item.Runs;
      return;
    }
  FItems.push_back({name, wallSeconds, cpuSeconds, 1});
}

std::vector<TPhaseTime> TPhaseTimes::Items() const {
  const std::lock_guard lock(FMutex);
  return FItems;
}

void InstallPhaseTimes(TPhaseTimes *times) { Installed = times; }

TPhaseMark::TPhaseMark(const char *name) : FName(name), FTimes(Installed) {
  if (!FTimes)
    return;
  const double wall = Seconds(CLOCK_MONOTONIC), cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
  FOuter = Innermost;
  if (FOuter)
    FOuter->Pause(wall, cpu);
  Innermost = this;
  Resume(wall, cpu);
}

TPhaseMark::~TPhaseMark() {
  if (!FTimes)
    return;
  const double wall = Seconds(CLOCK_MONOTONIC), cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
  Pause(wall, cpu);
  FTimes->Add(FName, FWallSum, FCpuSum);
  Innermost = FOuter;
  if (FOuter)
    FOuter->Resume(wall, cpu);
}

void TPhaseMark::Pause(double wall, double cpu) {
  FWallSum += wall - FWallStart;
  FCpuSum += cpu - FCpuStart;
}

void TPhaseMark::Resume(double wall, double cpu) {
  FWallStart = wall;
  FCpuStart = cpu;
}
