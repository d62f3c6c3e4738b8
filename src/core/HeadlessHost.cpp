#include "HeadlessHost.h"

void THeadlessHost::SetCalcProgress(int value, int maximum) {
  ProgressValue = value;
  ProgressMax = maximum;
}

void THeadlessHost::SetScale(double x, double y) {
  ScaleXValue = x;
  ScaleYValue = y;
}

void THeadlessHost::SetOriginalSize(double x, double y) {
  OriginalX = x;
  OriginalY = y;
}

void THeadlessHost::SetPrintSize(double x, double y) {
  PrintX = x;
  PrintY = y;
}

void THeadlessHost::BeginProgress(const std::string &caption) {
  ProgressCaption = caption;
  LoadingValue = 0;
  LoadingMax = 30;
  LoadingVisible = true;
}

void THeadlessHost::Progress(bool cycle) {
  if (cycle)
    ++LoadingMax;
  ++LoadingValue;
  SetCalcProgress(LoadingValue, LoadingMax);
  if (OnProgress)
    OnProgress(LoadingValue, LoadingMax);
}

void THeadlessHost::RunIdle() {
  while (!IdleQueue.empty()) {
    auto batch = std::move(IdleQueue);
    IdleQueue.clear();
    for (auto &proc : batch)
      proc();
  }
}
