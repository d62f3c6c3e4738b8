#pragma once
// The job: the ordered level list and its job-wide settings. It owns the
// worker (Worker.h) that runs the processing cycle (Cycle.h), which computes
// burn paths (BurnPaths.h) and draws them into the preview (Preview.h).

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QImage>

#include "Geometry.h"
#include "JobState.h"
#include "Level.h"
#include "Preview.h"
#include "Worker.h"

class TJobHost;

class TLevels {
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

  // Job settings: written on the main thread, read by the worker too.
  TIntSize Size() const { return FSize; }
  void SetSize(TIntSize size) { FSize = size; }
  TIntSize View() const { return FView; }
  void SetView(TIntSize view);
  TIntSize Output() const { return FOutput; }
  // At least one millimetre each way; rebuilds rasters and recomputes all.
  void SetOutput(TIntSize output);
  // Spot diameter in internal units.
  std::int32_t Focus() const { return FFocus; }
  // Takes micrometres and sets the internal unit; the caller reads the drawing again.
  void SetFocus(std::int32_t micrometres);
  bool Reading() const { return FWorker.Reading(); }
  // Clearing it requests a full recomputation.
  void SetReading(bool value);
  bool Mirror() const { return FMirror; }
  void SetMirror(bool value);
  bool Outline() const { return FOutline; }
  void SetOutline(bool value);
  bool Travel() const { return FTravel; }
  void SetTravel(bool value);
  // Output per drawing unit, fixed by UpdateScale at the start of each cycle.
  TSizeF Scale() const { return FScale; }
  void UpdateScale();

  // The picture of a raster drawing; its presence means raster mode.
  bool HasRaster() const;
  QImage Raster() const;
  void SetRaster(const QImage *picture);
  // Rebuilds raster levels at the start of a cycle when the output changed.
  void SetRasterHook(std::function<void(TLevels &)> hook) { FRasterHook = std::move(hook); }
  // The cycle's step: runs the hook if a rebuild is due; one cut short stays due.
  void RebuildRaster();

  void RecalcAll();
  void Restart();
  void UpdateEstimate();
  double EstimateSeconds() const;
  static std::string EstimateText(double seconds);

  // The worker's operations (see Worker.h).
  bool Clearing() const { return FWorker.Clearing(); }
  void RequestCycle() { FWorker.RequestCycle(); }
  void HandOver(const std::function<void()> &step) { FWorker.HandOver(step); }
  void RunHandOvers() { FWorker.RunHandOvers(); }
  // Without a worker: runs processing cycles until none is requested.
  void RunCycles() { FWorker.RunInline(); }
  bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::minutes(10)) {
    return FWorker.WaitUntilIdle(timeout);
  }
  // Keeps the worker outside a processing cycle while it lives.
  class TPause {
  public:
    explicit TPause(TLevels &levels) : FWorker(levels.FWorker) { FWorker.Hold(); }
    ~TPause() { FWorker.Release(); }
    TPause(const TPause &) = delete;
    TPause &operator=(const TPause &) = delete;

  private:
    TWorker &FWorker;
  };

  // Main thread only, or inside a hand-over.
  const QImage &Preview() const { return FPreview.Image(); }

private:
  TJobHost &FHost;
  TJobState FJob;
  // Changed only while the worker is held.
  std::vector<std::unique_ptr<TLevel>> FItems;
  std::atomic<TIntSize> FSize{}, FView{}, FOutput{};
  std::atomic<std::int32_t> FFocus{0};
  std::atomic<TSizeF> FScale{};
  std::atomic<bool> FTravel{false}, FMirror{false}, FOutline{false};
  // Set by the setters that change the raster grid, taken by RebuildRaster.
  std::atomic<bool> FUpdateRaster{false};
  // FRasterLock holds the picture while the worker scales it.
  mutable std::mutex FRasterLock;
  std::optional<QImage> FRaster;
  std::function<void(TLevels &)> FRasterHook;
  // Drawn by the worker; read and resized by the main thread only in hand-overs.
  TPreview FPreview;
  // Last, so that it is stopped before anything its cycle uses goes away.
  TWorker FWorker;
};
