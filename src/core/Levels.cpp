#include "Levels.h"

#include <algorithm>
#include <thread>

#include "Cycle.h"
#include "Estimate.h"
#include "JobHost.h"
#include "PathUtils.h"

TLevels::TLevels(TJobHost &host, bool runWorker)
    : FHost(host), FWorker(runWorker, [&host] { host.WakeMainThread(); }) {
  FWorker.Start([this] { RunCycle(*this, FWorker, FPreview); },
                [this](const std::string &message) { FHost.ShowMessage(message); });
}

TLevels::~TLevels() { FWorker.Stop(); }

int TLevels::IndexOf(const TLevel *level) const {
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == level)
      return static_cast<int>(i);
  return -1;
}

TLevel *TLevels::Add(std::unique_ptr<TLevel> level) { return Insert(Count(), std::move(level)); }

TLevel *TLevels::Insert(int index, std::unique_ptr<TLevel> level) {
  TPause pause(*this);
  level->SetOwner(this);
  TLevel *result = level.get();
  FItems.insert(FItems.begin() + index, std::move(level));
  return result;
}

void TLevels::Move(int from, int to) {
  TPause pause(*this);
  auto level = std::move(FItems[static_cast<std::size_t>(from)]);
  FItems.erase(FItems.begin() + from);
  FItems.insert(FItems.begin() + to, std::move(level));
}

void TLevels::Clear() {
  std::vector<std::unique_ptr<TLevel>> gone;
  {
    TPause pause(*this);
    gone.swap(FItems);
  }
  // A picture's levels hold millions of paths, whose freeing would hold the
  // window for most of a second: a large job goes on a thread of its own.
  // The levels are no one's any more, and freeing them touches nothing else.
  std::size_t paths = 0;
  for (const auto &level : gone) {
    level->SetOwner(nullptr);
    paths += level->OutputCount();
    if (const auto *input = level->Input())
      for (const TPaths &set : *input)
        paths += set.size();
  }
  if (paths > 100000)
    std::thread([levels = std::move(gone)]() mutable { levels.clear(); }).detach();
}

TLevel *TLevels::ByIndex(int index) const {
  const bool outline = FOutline;
  int row = 0;
  for (const auto &level : FItems) {
    if ((level->Kind() == lkOutline) != outline)
      continue;
    if (level->Kind() == lkPerimeter && !level->Print())
      continue;
    if (row == index)
      return level.get();
    ++row;
  }
  return nullptr;
}

void TLevels::SetView(TIntSize view) {
  if (view == FView.load())
    return;
  view.cx = std::max(view.cx, 30);
  view.cy = std::max(view.cy, 30);
  FView = view;
  Restart();
}

void TLevels::SetOutput(TIntSize output) {
  if (output == FOutput.load())
    return;
  const auto millimetre = static_cast<std::int32_t>(RoundUnit(UnitsPerMM()));
  output.cx = std::max(output.cx, millimetre);
  output.cy = std::max(output.cy, millimetre);
  FOutput = output;
  FUpdateRaster = true;
  RecalcAll();
}

void TLevels::SetFocus(std::int32_t micrometres) {
  micrometres = std::max(micrometres, 1);
  if (micrometres > 40) {
    FFocus = (micrometres + 5) / 10;
    SetUnitsPerMM(100);
  } else {
    FFocus = 4;
    SetUnitsPerMM(4000 / micrometres);
  }
}

void TLevels::SetReading(bool value) {
  FWorker.SetReading(value);
  if (!value) {
    FUpdateRaster = true;
    RecalcAll();
  }
}

void TLevels::SetMirror(bool value) {
  if (value == FMirror)
    return;
  FMirror = value;
  FUpdateRaster = true;
  RecalcAll();
}

void TLevels::SetOutline(bool value) {
  if (value == FOutline)
    return;
  FOutline = value;
  Restart();
}

void TLevels::SetTravel(bool value) {
  if (value == FTravel)
    return;
  FTravel = value;
  Restart();
}

void TLevels::RebuildRaster() {
  if (!FUpdateRaster.exchange(false))
    return;
  if (FRasterHook && HasRaster()) {
    FRasterHook(*this);
    // A rebuild cut short by a new request must run again next cycle.
    if (Clearing())
      FUpdateRaster = true;
  }
}

void TLevels::RecalcAll() {
  RequestCycle();
  for (const auto &level : FItems)
    level->SetRecalc(true);
  Restart();
}

void TLevels::Restart() {
  RequestCycle();
  for (const auto &level : FItems)
    level->SetLastDrawn(0);
  if (Reading())
    return;
  int maximum = 0;
  if (HasRaster()) {
    maximum = 2;
    for (const auto &level : FItems)
      if (level->Print())
        ++maximum;
  } else {
    maximum = 4;
    for (const auto &level : FItems)
      if (level->Print() && level->Kind() == lkArea)
        maximum += level->Recalc() ? 2 : 1;
  }
  HandOver([&] {
    FHost.SetCalcProgress(0, maximum);
    FHost.ShowCalcResult(false);
    FHost.ShowCalcProgress(true);
  });
}

double TLevels::EstimateSeconds() const { return ::EstimateSeconds(*this); }

std::string TLevels::EstimateText(double seconds) { return ::EstimateText(seconds); }

void TLevels::UpdateEstimate() {
  const std::string text = EstimateText(EstimateSeconds());
  HandOver([&] { FHost.SetCalcResult(text); });
  if (FLateHook)
    RequestLateEstimate();
}

void TLevels::RequestLateEstimate() {
  // A full cycle asked for and not begun yet stays a full one.
  const bool pending = FWorker.Clearing();
  FWorker.RequestCycle();
  if (!pending)
    FLateOnly = true;
}
