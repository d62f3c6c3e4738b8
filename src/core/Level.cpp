#include "Level.h"

#include <algorithm>

#include "Levels.h"
#include "PathUtils.h"

TLevel::TLevel(TLevelKind kind) : FKind(kind) {
  if (kind != lkPerimeter)
    FInput = std::make_unique<std::vector<TPaths>>();
}

void TLevel::SetPrint(bool value) {
  FPrint = value;
  if (FKind == lkLines) {
    if (FOwner)
      FOwner->RecalcAll();
  } else {
    Invalidate();
  }
}

void TLevel::SetSpeed(std::int32_t value) {
  FSpeed = value <= 0 ? 1 : value;
  if (FOwner)
    FOwner->UpdateEstimate();
}

void TLevel::SetPasses(std::int32_t value) {
  const bool wasZero = FPasses == 0;
  FPasses = value;
  if (!FOwner)
    return;
  if (wasZero != (value == 0))
    FOwner->Restart();
  else
    FOwner->UpdateEstimate();
}

void TLevel::SetPower(std::int32_t value) {
  const bool wasZero = FPower == 0;
  FPower = value;
  if (FOwner && wasZero != (value == 0))
    FOwner->Restart();
}

void TLevel::SetStyle(TLevelStyle value) {
  FStyle = value;
  Invalidate();
}

void TLevel::SetHeight(std::int32_t value) {
  FHeight = value;
  Invalidate();
}

TPaths TLevel::Output() const {
  std::lock_guard lock(FOutputLock);
  return FOutput;
}

TPaths TLevel::OutputPart(std::size_t first, std::size_t count) const {
  std::lock_guard lock(FOutputLock);
  if (first >= FOutput.size())
    return {};
  const std::size_t last = std::min(FOutput.size(), first + count);
  return TPaths(FOutput.begin() + static_cast<std::ptrdiff_t>(first),
                FOutput.begin() + static_cast<std::ptrdiff_t>(last));
}

std::size_t TLevel::OutputCount() const {
  std::lock_guard lock(FOutputLock);
  return FOutput.size();
}

std::int64_t TLevel::OutputLength() const {
  std::lock_guard lock(FOutputLock);
  return PathsLength(FOutput, false, 0);
}

void TLevel::ClearOutput() {
  std::lock_guard lock(FOutputLock);
  FOutput.clear();
}

void TLevel::AppendOutput(const TPaths &paths) {
  std::lock_guard lock(FOutputLock);
  FOutput.insert(FOutput.end(), paths.begin(), paths.end());
}

void TLevel::SetOutput(TPaths paths) {
  std::lock_guard lock(FOutputLock);
  FOutput = std::move(paths);
}

void TLevel::Invalidate() {
  if (!FOwner)
    return;
  const int index = FOwner->IndexOf(this);
  if (index < 0)
    return;
  FOwner->RequestCycle();
  FRecalc = true;
  // A perimeter's shells are computed by the area level before it.
  if (FKind == lkPerimeter && index > 0)
    FOwner->Item(index - 1)->SetRecalc(true);
  FOwner->Restart();
}
