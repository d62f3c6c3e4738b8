#include "Cycle.h"

#include <chrono>
#include <functional>
#include <thread>

#include "BurnPaths.h"
#include "JobHost.h"
#include "Levels.h"
#include "PhaseTimes.h"
#include "Preview.h"
#include "Worker.h"

namespace {

// Paths per drawing chunk: small enough that the preview grows visibly.
constexpr std::size_t ChunkPaths = 100;
// Chunks are drawn for this long before the picture is handed to the window:
// a photo's millions of scan lines would otherwise take a hand-over (and a
// wait for the main thread) per hundred lines, for minutes on end.
constexpr auto BatchTime = std::chrono::milliseconds(15);

class TCycle {
public:
  TCycle(TLevels &levels, TWorker &worker, TPreview &preview)
      : FLevels(levels), FWorker(worker), FPreview(preview), FHost(levels.Host()) {}

  void Run();

private:
  // The steps in order. Each returns early once a new cycle is requested.
  void Begin();
  void RebuildRaster() {
    const TPhaseMark mark("raster");
    FLevels.RebuildRaster();
  }
  void ComputeLines();
  void DrawLines();
  void ComputeAreas();
  void ComputeOutlines();
  void Finish();
  void LateEstimate();

  bool DrawNextArea();
  bool ComputeNextArea();
  void Redraw(TLevel &level);
  void RecalcLine(TLevel &level);
  void RecalcArea(TLevel &level, TLevel *perimeter);
  void RecalcOutline(TLevel &level);

  bool Clearing() const { return FWorker.Clearing(); }
  void HandOver(const std::function<void()> &step) { FWorker.HandOver(step); }
  void AdvanceProgress() {
    FHost.SetCalcProgress(FHost.CalcProgressValue() + 1, FHost.CalcProgressMax());
  }
  TLevel &Item(std::size_t index) const { return *FLevels.Item(static_cast<int>(index)); }
  std::size_t Count() const { return static_cast<std::size_t>(FLevels.Count()); }
  TLevel *After(std::size_t index) const {
    return index + 1 < Count() ? &Item(index + 1) : nullptr;
  }
  TBurnJob Job() const;
  TPaths Strokes(const std::function<bool(const TLevel &)> &wanted) const;

  TLevels &FLevels;
  TWorker &FWorker;
  TPreview &FPreview;
  TJobHost &FHost;
};

void TCycle::Run() {
  using TStep = void (TCycle::*)();
  for (TStep step : {&TCycle::Begin, &TCycle::RebuildRaster, &TCycle::ComputeLines,
                     &TCycle::DrawLines, &TCycle::ComputeAreas}) {
    (this->*step)();
    if (Clearing())
      return;
  }
  // Only Outline Only mode draws, writes and counts the outline, which on a
  // large picture takes longer than everything before it: otherwise the
  // estimates are shown first and the outline is computed after them. A
  // change of the mode restarts the cycle.
  const bool outline = FLevels.Outline();
  for (TStep step : {outline ? &TCycle::ComputeOutlines : &TCycle::Finish,
                     outline ? &TCycle::Finish : &TCycle::LateEstimate,
                     outline ? &TCycle::LateEstimate : &TCycle::ComputeOutlines}) {
    (this->*step)();
    if (Clearing())
      return;
  }
}

void TCycle::Begin() {
  HandOver([&] {
    if (!FWorker.TakeRequest())
      return;
    FLevels.UpdateScale();
    // Only the late figures: what is drawn stays, and the steps below find
    // nothing to compute or draw.
    if (FLevels.TakeLateOnly())
      return;
    FPreview.Reset(FLevels.View(), FLevels.Output());
    FHost.PresentPreview(FPreview.Image());
    FHost.SetCalcProgress(1, FHost.CalcProgressMax());
  });
}

void TCycle::ComputeLines() {
  bool lines = false;
  for (std::size_t i = 0; i < Count(); ++i) {
    TLevel &level = Item(i);
    if (level.Print() && level.Recalc() && level.Kind() == lkLines) {
      RecalcLine(level);
      Redraw(level);
      lines = true;
    }
    if (Clearing())
      return;
  }
  if (lines)
    HandOver([&] { FHost.SetCalcProgress(2, FHost.CalcProgressMax()); });
}

void TCycle::DrawLines() {
  for (std::size_t i = 0; i < Count(); ++i) {
    TLevel &level = Item(i);
    if (level.Print() && level.Kind() == lkLines && !FLevels.Outline() &&
        level.LastDrawn() < static_cast<std::int32_t>(level.OutputCount()))
      Redraw(level);
    if (Clearing())
      return;
  }
}

// Computed areas are drawn before the next one is computed, so the preview
// fills level by level.
void TCycle::ComputeAreas() {
  while (!Clearing() && (DrawNextArea() || ComputeNextArea())) {
  }
}

bool TCycle::DrawNextArea() {
  // Levels that Redraw skips (no power or passes) count as drawn, or this
  // would find them again for ever.
  auto undrawn = [this](const TLevel &level) {
    return level.Print() && level.Kind() == lkArea && !FLevels.Outline() && !level.Recalc() &&
           level.Power() != 0 && level.Passes() != 0 &&
           level.LastDrawn() < static_cast<std::int32_t>(level.OutputCount());
  };
  for (std::size_t i = 0; i < Count(); ++i) {
    if (!undrawn(Item(i)))
      continue;
    Redraw(Item(i));
    if (TLevel *perimeter = After(i))
      Redraw(*perimeter);
    if (!Clearing())
      HandOver([&] {
        FHost.PresentPreview(FPreview.Image());
        AdvanceProgress();
      });
    return true;
  }
  return false;
}

bool TCycle::ComputeNextArea() {
  for (std::size_t i = 0; i < Count(); ++i) {
    TLevel &level = Item(i);
    if (!(level.Print() && level.Recalc() && level.Kind() == lkArea))
      continue;
    TLevel *perimeter = After(i);
    RecalcArea(level, perimeter && perimeter->Kind() == lkPerimeter ? perimeter : nullptr);
    if (!Clearing())
      HandOver([&] { AdvanceProgress(); });
    return true;
  }
  return false;
}

// Outline levels are computed and drawn whether printed or not.
void TCycle::ComputeOutlines() {
  for (std::size_t i = 0; i < Count(); ++i) {
    TLevel &level = Item(i);
    if (level.Kind() != lkOutline)
      continue;
    if (level.Recalc())
      RecalcOutline(level);
    Redraw(level);
  }
}

// The sum runs over every burn path, so here on the worker; the window only
// takes the text.
void TCycle::Finish() {
  if (Clearing())
    return;
  std::string text;
  {
    const TPhaseMark mark("estimate");
    text = TLevels::EstimateText(FLevels.EstimateSeconds());
  }
  HandOver([&] {
    if (Clearing())
      return;
    FHost.SetCalcResult(text);
    FHost.ShowCalcProgress(false);
    FHost.ShowCalcResult(true);
  });
}

// After the plain estimate is shown, so that it never waits for this one.
void TCycle::LateEstimate() {
  TLevels::TLateWork work;
  HandOver([&] {
    if (!Clearing())
      work = FLevels.LateEstimateWork();
  });
  if (Clearing() || !work)
    return;
  std::function<void()> show;
  {
    const TPhaseMark mark("acceleration estimate");
    show = work(FWorker.Clearing());
  }
  if (show && !Clearing())
    HandOver([&] {
      if (!Clearing())
        show();
    });
}

// Draws the level's paths not drawn yet, chunk by chunk. In Outline Only mode
// only outline levels are drawn, otherwise all others.
void TCycle::Redraw(TLevel &level) {
  if (Clearing() || level.Power() == 0 || level.Passes() == 0)
    return;
  if ((level.Kind() == lkOutline) != FLevels.Outline())
    return;
  const TPhaseMark mark("preview");
  while (!Clearing()) {
    TPaths chunk = level.OutputPart(static_cast<std::size_t>(level.LastDrawn()), ChunkPaths);
    if (chunk.empty())
      return;
    // A short pause per batch keeps the window responsive while the preview grows.
    if (FWorker.Threaded())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const TPreviewPen pen{level.Color(), FLevels.Focus(), FLevels.Travel(),
                          level.Kind() == lkLines};
    const auto until = std::chrono::steady_clock::now() + BatchTime;
    std::int32_t drawn = 0;
    for (;;) {
      FPreview.Draw(chunk, pen);
      drawn += static_cast<std::int32_t>(chunk.size());
      if (Clearing() || std::chrono::steady_clock::now() >= until)
        break;
      chunk = level.OutputPart(static_cast<std::size_t>(level.LastDrawn() + drawn), ChunkPaths);
      if (chunk.empty())
        break;
    }
    HandOver([&] {
      FHost.PresentPreview(FPreview.Image());
      if (level.LastDrawn() == 0)
        AdvanceProgress();
      if (!Clearing())
        level.SetLastDrawn(level.LastDrawn() + drawn);
    });
  }
}

TBurnJob TCycle::Job() const {
  TBurnJob job;
  job.Focus = FLevels.Focus();
  job.Scale = FLevels.Scale();
  job.Output = FLevels.Output();
  job.Mirror = FLevels.Mirror();
  return job;
}

TPaths TCycle::Strokes(const std::function<bool(const TLevel &)> &wanted) const {
  TPaths strokes;
  for (std::size_t i = 0; i < Count(); ++i)
    if (wanted(Item(i))) {
      const TPaths output = Item(i).Output();
      strokes.insert(strokes.end(), output.begin(), output.end());
    }
  return strokes;
}

// The mark of a computed level is cleared on the main thread, and only if no
// new request came meanwhile: a level changed during its computation stays marked.
void TCycle::RecalcLine(TLevel &level) {
  const TPhaseMark mark("burn paths: lines");
  level.ClearOutput();
  if (!Clearing() && level.Input()) {
    TBurnJob job = Job();
    job.Raster = FLevels.HasRaster();
    level.SetOutput(LinePaths(*level.Input(), job, FWorker.Clearing()));
  }
  HandOver([&] {
    if (!Clearing())
      level.SetRecalc(false);
  });
}

void TCycle::RecalcArea(TLevel &level, TLevel *perimeter) {
  if (Clearing())
    return;
  const TPhaseMark mark("burn paths: areas");
  const TBurnJob job = Job();
  level.ClearOutput();
  if (perimeter)
    perimeter->ClearOutput();
  const TPaths printedLines =
      Strokes([](const TLevel &other) { return other.Print() && other.Kind() == lkLines; });
  AreaPaths(*level.Input(), printedLines, perimeter ? perimeter->Height() : 0, level.Style(), job,
            FWorker.Clearing(), [&](TAreaPart part, const TPaths &added) {
              TLevel &target = part == apShells ? *perimeter : level;
              target.AppendOutput(added);
              Redraw(target);
            });
  if (!Clearing())
    HandOver([&] {
      if (!Clearing())
        level.SetRecalc(false);
    });
}

// Unlike the others, the outline clears its own mark, on the worker. On a
// large picture it takes seconds, so a change meanwhile abandons it; the mark
// stays and the next cycle computes it again.
void TCycle::RecalcOutline(TLevel &level) {
  const TPhaseMark mark("burn paths: outline");
  const TPaths strokes =
      Strokes([&](const TLevel &other) { return &other != &level && other.Print(); });
  std::string refusal;
  TPaths outline =
      OutlinePaths(strokes, FLevels.Focus(), UnitsPerMM(), FWorker.Clearing(), &refusal);
  if (Clearing())
    return;
  // Left empty, the outline matters only to the one who asked for it.
  if (!refusal.empty() && FLevels.Outline())
    HandOver([&] { FHost.ShowMessage(refusal + "; the outline is left empty."); });
  level.SetOutput(std::move(outline));
  level.SetRecalc(false);
}

} // namespace

void RunCycle(TLevels &levels, TWorker &worker, TPreview &preview) {
  TCycle(levels, worker, preview).Run();
}
