#pragma once
// The job: the ordered level list with its job-wide settings (JobSettings.h)
// and raster picture (RasterPicture.h). It owns the worker (Worker.h) that
// runs the processing cycle (Cycle.h), which computes burn paths
// (BurnPaths.h) and draws them into the preview (Preview.h).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QImage>

#include "Geometry.h"
#include "JobSettings.h"
#include "JobState.h"
#include "Level.h"
#include "Preview.h"
#include "RasterPicture.h"
#include "Worker.h"

class TJobHost;

class TLevels : public TJobSettings, public TRasterPicture {
public:
  // runWorker false: no thread; RunCycles computes on the caller's (tests, brennix-cli).
  explicit TLevels(TJobHost &host, bool runWorker = true);
  ~TLevels();
  TLevels(const TLevels &) = delete;
  TLevels &operator=(const TLevels &) = delete;

  TJobHost &Host() const { return FHost; }
  // The file last opened and what was chosen for it; main thread only.
  TJobState &Job() { return FJob; }
  const TJobState &Job() const { return FJob; }

  // The list. Structural changes first hold the worker outside its cycle.
  int Count() const { return static_cast<int>(FItems.size()); }
  TLevel *Item(int index) const { return FItems[static_cast<std::size_t>(index)].get(); }
  int IndexOf(const TLevel *level) const;
  TLevel *Add(std::unique_ptr<TLevel> level);
  TLevel *Insert(int index, std::unique_ptr<TLevel> level);
  void Move(int from, int to);
  void Clear();
  // The level in row index of the level grid, or null.
  TLevel *ByIndex(int index) const;

  // Job settings (read through TJobSettings): setting one starts what it needs.
  void SetView(TIntSize view);
  // At least one millimetre each way; rebuilds rasters and recomputes all.
  void SetOutput(TIntSize output);
  // Takes micrometres and sets the internal unit; the caller reads the drawing again.
  void SetFocus(std::int32_t micrometres);
  bool Reading() const { return FWorker.Reading(); }
  // Clearing it requests a full recomputation.
  void SetReading(bool value);
  void SetMirror(bool value);
  void SetOutline(bool value);
  void SetTravel(bool value);

  // Rebuilds raster levels from the picture at the start of a cycle when the
  // output changed.
  void SetRasterHook(std::function<void(TLevels &)> hook) { FRasterHook = std::move(hook); }
  // The cycle's step: runs the hook if a rebuild is due; one cut short stays due.
  void RebuildRaster();

  // Figures made from the finished burn paths that take too long for the
  // main thread: the running time with acceleration walks the whole job as
  // the writer would. At the end of a cycle the hook runs on the main thread,
  // where it reads what it needs of the window, and returns the work, or
  // nothing. The work runs on the worker, checking stop; what it returns runs
  // on the main thread, unless a change came meanwhile and starts a new cycle.
  using TLateWork = std::function<std::function<void()>(const std::atomic<bool> &stop)>;
  void SetLateEstimateHook(std::function<TLateWork()> hook) { FLateHook = std::move(hook); }
  // Main thread only, or inside a hand-over.
  TLateWork LateEstimateWork() const { return FLateHook ? FLateHook() : TLateWork(); }

  // Asks for the late figures again without recomputing or redrawing
  // anything: a cycle that keeps the preview as it is (main thread).
  void RequestLateEstimate();

  void RecalcAll();
  void Restart();
  // The plain figure at once; the late ones follow from the worker.
  void UpdateEstimate();
  double EstimateSeconds() const;
  static std::string EstimateText(double seconds);

  // The worker's operations (see Worker.h).
  bool Clearing() const { return FWorker.Clearing(); }
  void RequestCycle() {
    FLateOnly = false;
    FWorker.RequestCycle();
  }
  // Main thread, at the start of a cycle: whether only the late figures are due.
  bool TakeLateOnly() { return FLateOnly.exchange(false); }
  void HandOver(const std::function<void()> &step) { FWorker.HandOver(step); }
  void RunHandOvers() { FWorker.RunHandOvers(); }
  // Without a worker: runs processing cycles until none is requested.
  void RunCycles() { FWorker.RunInline(); }
  bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::minutes(10)) {
    return FWorker.WaitUntilIdle(timeout);
  }
  // Keeps the worker outside a processing cycle while it lives.
  struct TPause : TWorkerHold {
    explicit TPause(TLevels &levels) : TWorkerHold(levels.FWorker) {}
  };

  // Main thread only, or inside a hand-over.
  const QImage &Preview() const { return FPreview.Image(); }

private:
  TJobHost &FHost;
  TJobState FJob;
  // Changed only while the worker is held.
  std::vector<std::unique_ptr<TLevel>> FItems;
  // Set by the setters that change the raster grid, taken by RebuildRaster.
  std::atomic<bool> FUpdateRaster{false};
  std::function<void(TLevels &)> FRasterHook;
  std::function<TLateWork()> FLateHook;
  // Set by RequestLateEstimate, cleared by every other request.
  std::atomic<bool> FLateOnly{false};
  // Drawn by the worker; read and resized by the main thread only in hand-overs.
  TPreview FPreview;
  // Last, so that it is stopped before anything its cycle uses goes away.
  TWorker FWorker;
};
