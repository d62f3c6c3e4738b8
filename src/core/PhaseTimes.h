#pragma once
// Wall and processor time of the named phases of a run (reading, burn paths
// of each level kind, the estimate, the G-code), summed while a collector is
// installed. Without one a phase costs a single pointer check, so the marks
// stay in place for every run.

#include <mutex>
#include <string>
#include <vector>

struct TPhaseTime {
  std::string Name;
  double WallSeconds = 0, CpuSeconds = 0;
  int Runs = 0;
};

// Phases in the order they first ended. Processor time is the whole process's,
// so the threads a phase starts count towards it.
class TPhaseTimes {
public:
  void Add(const char *name, double wallSeconds, double cpuSeconds);
  std::vector<TPhaseTime> Items() const;

private:
  mutable std::mutex FMutex;
  std::vector<TPhaseTime> FItems;
};

// The collector the marks report to; nullptr (the default) turns them off.
void InstallPhaseTimes(TPhaseTimes *times);

// Times its own lifetime as the phase name. A phase started inside another on
// the same thread is not counted in the outer one, so the figures add up.
class TPhaseMark {
public:
  explicit TPhaseMark(const char *name);
  ~TPhaseMark();
  TPhaseMark(const TPhaseMark &) = delete;
  TPhaseMark &operator=(const TPhaseMark &) = delete;

private:
  void Pause(double wall, double cpu);
  void Resume(double wall, double cpu);

  const char *FName;
  TPhaseTimes *FTimes;
  TPhaseMark *FOuter = nullptr;
  double FWallStart = 0, FCpuStart = 0, FWallSum = 0, FCpuSum = 0;
};
