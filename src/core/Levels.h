#pragma once
// The job: the ordered level list, its job-wide settings, the background
// worker that computes and draws burn paths, and the burning-time estimate.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QImage>

#include "Geometry.h"
#include "JobState.h"
#include "Level.h"

class TJobHost;

class TLevels {
public:
  // With runWorker false no thread is started and RunCycles computes on the
  // calling thread (tests, the command-line converter).
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
  void Delete(int index);
  void Clear();
  // The level in row index of the level grid, or null.
  TLevel *ByIndex(int index) const;

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
  bool Reading() const { return FReading; }
  // Clearing it requests a full recomputation.
  void SetReading(bool value);
  bool Mirror() const { return FMirror; }
  void SetMirror(bool value);
  bool Outline() const { return FOutline; }
  void SetOutline(bool value);
  bool Travel() const { return FTravel; }
  void SetTravel(bool value);
  TSizeF Scale() const { return FScale; }

  // The picture of a raster drawing; its presence means raster mode.
  bool HasRaster() const;
  QImage Raster() const;
  void SetRaster(const QImage *picture);
  // Holds the picture while the worker scales it.
  std::mutex &RasterLock() const { return FRasterLock; }
  // Rebuilds raster levels at the start of a cycle when the output changed.
  void SetRasterHook(std::function<void(TLevels &)> hook) { FRasterHook = std::move(hook); }

  void RecalcAll();
  void Restart();
  void UpdateEstimate();
  double EstimateSeconds() const;
  static std::string EstimateText(double seconds);

  // A new cycle has been requested; long computations stop when they see it.
  bool Clearing() const { return FClear; }
  void RequestCycle();

  // Runs a step on the main thread while the worker waits.
  void HandOver(const std::function<void()> &step);
  // Main thread: runs the hand-overs the worker queued.
  void RunHandOvers();
  // Without a worker: runs processing cycles until none is requested.
  void RunCycles();
  // With a worker: waits, serving hand-overs, until no cycle runs or is due.
  bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::minutes(10));

  // Keeps the worker outside a processing cycle while it lives.
  class TPause {
  public:
    explicit TPause(TLevels &levels);
    ~TPause();
    TPause(const TPause &) = delete;
    TPause &operator=(const TPause &) = delete;

  private:
    TLevels &FLevels;
  };

  // Main thread only, or inside a hand-over.
  const QImage &Preview() const { return FPreview; }
  void PresentPreview();
  // Pixels per internal unit in the preview.
  double Factor() const { return FFactor; }
  bool OnMainThread() const { return std::this_thread::get_id() == FMainThread; }
  bool InlineMode() const { return !FThread.joinable(); }

private:
  friend class TLevel;

  void Process();
  void Cycle();
  void AdvanceProgress(int by);
  void SetProgress(int value);
  void HoldWorker();
  void ReleaseWorker();

  TJobHost &FHost;
  TJobState FJob;
  std::vector<std::unique_ptr<TLevel>> FItems;

  std::atomic<bool> FClear{false};
  std::atomic<bool> FUpdateRaster{false};
  std::atomic<TIntSize> FSize{};
  std::atomic<bool> FReading{false};
  QImage FPreview;
  std::atomic<TIntSize> FView{};
  std::atomic<TIntSize> FOutput{};
  std::atomic<std::int32_t> FFocus{0};
  double FFactor = 0;
  std::atomic<TSizeF> FScale{};
  std::atomic<bool> FTravel{false};
  std::atomic<bool> FMirror{false};
  std::optional<QImage> FRaster;
  std::atomic<bool> FOutline{false};

  mutable std::mutex FRasterLock;
  std::function<void(TLevels &)> FRasterHook;

  // Worker coordination: one lock for the cycle state and the hand-over queue.
  struct THandOver {
    const std::function<void()> *Step;
    bool Done = false;
    std::exception_ptr Error;
  };
  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<THandOver *> FHandOvers;
  int FHold = 0;
  bool FInCycle = false;
  bool FTerminated = false;
  std::thread::id FMainThread;
  std::thread FThread;
};
