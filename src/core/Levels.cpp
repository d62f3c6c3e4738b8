#include "Levels.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>

#include <QColor>

#include "JobHost.h"
#include "PathUtils.h"

using namespace std::chrono_literals;

TLevels::TLevels(TJobHost &host, bool runWorker)
    : FHost(host), FPreview(1, 1, QImage::Format_ARGB32_Premultiplied),
      FMainThread(std::this_thread::get_id()) {
  FPreview.fill(Qt::white);
  if (runWorker)
    FThread = std::thread([this] { Process(); });
}

TLevels::~TLevels() {
  if (FThread.joinable()) {
    {
      std::lock_guard lock(FLock);
      FTerminated = true;
    }
    FClear = true;
    FWake.notify_all();
    // The worker may be waiting in a hand-over: keep serving them until it ends.
    for (;;) {
      RunHandOvers();
      std::unique_lock lock(FLock);
      if (!FInCycle)
        break;
      FWake.wait_for(lock, 5ms, [this] { return !FHandOvers.empty() || !FInCycle; });
    }
    FThread.join();
  }
}

int TLevels::IndexOf(const TLevel *level) const {
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == level)
      return static_cast<int>(i);
  return -1;
}

TLevel *TLevels::Add(std::unique_ptr<TLevel> level) { return Insert(Count(), std::move(level)); }

TLevel *TLevels::Insert(int index, std::unique_ptr<TLevel> level) {
  TPause pause(*this);
  level->FOwner = this;
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

void TLevels::Delete(int index) {
  TPause pause(*this);
  FItems.erase(FItems.begin() + index);
}

void TLevels::Clear() {
  TPause pause(*this);
  FItems.clear();
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
  FReading = value;
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

bool TLevels::HasRaster() const {
  std::lock_guard lock(FRasterLock);
  return FRaster.has_value();
}

QImage TLevels::Raster() const {
  std::lock_guard lock(FRasterLock);
  return FRaster ? *FRaster : QImage();
}

void TLevels::SetRaster(const QImage *picture) {
  std::lock_guard lock(FRasterLock);
  if (picture)
    FRaster = picture->copy();
  else
    FRaster.reset();
}

void TLevels::RequestCycle() {
  FClear = true;
  FWake.notify_all();
}

void TLevels::RecalcAll() {
  FClear = true;
  for (const auto &level : FItems)
    level->FRecalc = true;
  Restart();
}

void TLevels::Restart() {
  RequestCycle();
  for (const auto &level : FItems)
    level->FLastDrawn = 0;
  if (FReading)
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

double TLevels::EstimateSeconds() const {
  const double unitsPerMM = UnitsPerMM();
  double seconds = 0;
  for (const auto &level : FItems) {
    if (!level->Print())
      continue;
    const double length = static_cast<double>(PathsLength(level->Output(), false, 0));
    seconds += length * 100 / unitsPerMM * level->Passes() / level->Speed();
  }
  return seconds;
}

std::string TLevels::EstimateText(double seconds) {
  // Rounded once, half to even; the parts each start with a space.
  auto s = static_cast<long long>(std::nearbyint(seconds));
  std::string text;
  char part[48];
  if (s >= 3600) {
    std::snprintf(part, sizeof part, " %lldh", s / 3600);
    text += part;
    s %= 3600;
  }
  if (s > 59) {
    std::snprintf(part, sizeof part, " %lldm", s / 60);
    text += part;
    s %= 60;
  }
  if (s != 0) {
    std::snprintf(part, sizeof part, " %llds", s);
    text += part;
  }
  if (text.empty())
    return "Nothing to print";
  return "Estimated burning time:  " + text;
}

void TLevels::UpdateEstimate() {
  const std::string text = EstimateText(EstimateSeconds());
  HandOver([&] { FHost.SetCalcResult(text); });
}

void TLevels::PresentPreview() { FHost.PresentPreview(FPreview); }

void TLevels::SetProgress(int value) {
  HandOver([&] { FHost.SetCalcProgress(value, FHost.CalcProgressMax()); });
}

void TLevels::AdvanceProgress(int by) {
  HandOver([&] { FHost.SetCalcProgress(FHost.CalcProgressValue() + by, FHost.CalcProgressMax()); });
}

void TLevels::HandOver(const std::function<void()> &step) {
  if (OnMainThread() || InlineMode()) {
    step();
    return;
  }
  THandOver request{&step, false, nullptr};
  {
    std::lock_guard lock(FLock);
    FHandOvers.push_back(&request);
  }
  FWake.notify_all();
  FHost.WakeMainThread();
  std::unique_lock lock(FLock);
  FWake.wait(lock, [&] { return request.Done; });
  if (request.Error)
    std::rethrow_exception(request.Error);
}

void TLevels::RunHandOvers() {
  for (;;) {
    THandOver *request = nullptr;
    {
      std::lock_guard lock(FLock);
      if (FHandOvers.empty())
        return;
      request = FHandOvers.front();
      FHandOvers.pop_front();
    }
    try {
      (*request->Step)();
    } catch (...) {
      request->Error = std::current_exception();
    }
    {
      std::lock_guard lock(FLock);
      request->Done = true;
    }
    FWake.notify_all();
  }
}

void TLevels::HoldWorker() {
  std::unique_lock lock(FLock);
  ++FHold;
  if (!FThread.joinable() || std::this_thread::get_id() == FThread.get_id())
    return;
  FClear = true;
  while (FInCycle) {
    if (!FHandOvers.empty()) {
      lock.unlock();
      RunHandOvers();
      lock.lock();
      continue;
    }
    FWake.wait_for(lock, 5ms, [this] { return !FHandOvers.empty() || !FInCycle; });
  }
}

void TLevels::ReleaseWorker() {
  {
    std::lock_guard lock(FLock);
    --FHold;
  }
  FWake.notify_all();
}

TLevels::TPause::TPause(TLevels &levels) : FLevels(levels) { FLevels.HoldWorker(); }
TLevels::TPause::~TPause() { FLevels.ReleaseWorker(); }

bool TLevels::WaitUntilIdle(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(FLock);
  for (;;) {
    if (!FHandOvers.empty()) {
      lock.unlock();
      RunHandOvers();
      lock.lock();
      continue;
    }
    const bool due = FClear && !FReading && FHold == 0;
    if (!FInCycle && !due)
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    FWake.wait_for(lock, 5ms);
  }
}

void TLevels::RunCycles() {
  while (FClear && !FReading)
    Cycle();
}

void TLevels::Process() {
  for (;;) {
    {
      std::unique_lock lock(FLock);
      FWake.wait_for(lock, 100ms, [this] {
        return FTerminated || (FClear && !FReading && FHold == 0);
      });
      if (FTerminated)
        return;
      if (!(FClear && !FReading && FHold == 0))
        continue;
      FInCycle = true;
    }
    try {
      Cycle();
    } catch (const std::exception &error) {
      // A computation that failed leaves its level marked; show why once.
      const std::string message = error.what();
      try {
        HandOver([&] { FHost.ShowMessage(message); });
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

void TLevels::Cycle() {
  HandOver([&] {
    if (!FClear)
      return;
    FClear = false;
    const TIntSize view = FView, output = FOutput, size = FSize;
    FFactor = output.cx > 0 && output.cy > 0
                  ? std::min(static_cast<double>(view.cx - 20) / output.cx,
                             static_cast<double>(view.cy - 20) / output.cy)
                  : 0.0;
    FScale = TSizeF{size.cx > 0 ? static_cast<float>(output.cx) / static_cast<float>(size.cx) : 0.0f,
                    size.cy > 0 ? static_cast<float>(output.cy) / static_cast<float>(size.cy) : 0.0f};
    if (FPreview.width() != view.cx || FPreview.height() != view.cy)
      FPreview = QImage(std::max(view.cx, 1), std::max(view.cy, 1),
                        QImage::Format_ARGB32_Premultiplied);
    FPreview.fill(Qt::white);
    PresentPreview();
    FHost.SetCalcProgress(1, FHost.CalcProgressMax());
  });
  if (FClear)
    return;

  if (FUpdateRaster) {
    FUpdateRaster = false;
    if (FRasterHook && HasRaster()) {
      FRasterHook(*this);
      // A rebuild cut short by a new request must run again next cycle.
      if (FClear)
        FUpdateRaster = true;
    }
  }
  if (FClear)
    return;

  bool lines = false;
  for (const auto &level : FItems) {
    if (level->Print() && level->Recalc() && level->Kind() == lkLines) {
      level->RecalcLine();
      level->Redraw();
      lines = true;
    }
    if (FClear)
      return;
  }
  if (lines)
    SetProgress(2);
  if (FClear)
    return;

  for (const auto &level : FItems) {
    if (level->Print() && level->Kind() == lkLines && !FOutline &&
        level->LastDrawn() < static_cast<std::int32_t>(level->OutputCount()))
      level->Redraw();
    if (FClear)
      return;
  }

  for (;;) {
    if (FClear)
      return;
    // Levels that Redraw skips (no power or passes) count as drawn, or this
    // loop would find them again for ever.
    auto undrawn = [this](const TLevel &level) {
      return level.Print() && level.Kind() == lkArea && !FOutline && !level.Recalc() &&
             level.Power() != 0 && level.Passes() != 0 &&
             level.LastDrawn() < static_cast<std::int32_t>(level.OutputCount());
    };
    auto next = [this](std::size_t i) {
      return i + 1 < FItems.size() ? FItems[i + 1].get() : nullptr;
    };
    bool found = false;
    for (std::size_t i = 0; i < FItems.size() && !found; ++i) {
      if (!undrawn(*FItems[i]))
        continue;
      found = true;
      FItems[i]->Redraw();
      if (TLevel *perimeter = next(i))
        perimeter->Redraw();
      if (!FClear)
        HandOver([&] {
          PresentPreview();
          FHost.SetCalcProgress(FHost.CalcProgressValue() + 1, FHost.CalcProgressMax());
        });
    }
    if (found)
      continue;
    for (std::size_t i = 0; i < FItems.size() && !found; ++i) {
      TLevel &level = *FItems[i];
      if (!(level.Print() && level.Recalc() && level.Kind() == lkArea))
        continue;
      found = true;
      TLevel *perimeter = next(i);
      level.RecalcArea(perimeter && perimeter->Kind() == lkPerimeter ? perimeter : nullptr);
      if (!FClear)
        AdvanceProgress(1);
    }
    if (!found)
      break;
  }

  if (FClear)
    return;
  for (const auto &level : FItems) {
    if (level->Kind() != lkOutline)
      continue;
    if (level->Recalc())
      level->RecalcOutline();
    level->Redraw();
  }

  if (FClear)
    return;
  HandOver([&] {
    if (FClear)
      return;
    UpdateEstimate();
    FHost.ShowCalcProgress(false);
    FHost.ShowCalcResult(true);
  });
}
