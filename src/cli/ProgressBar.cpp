#include "ProgressBar.h"

#include <algorithm>

std::string TProgressBar::Line(const std::string &phase, int percent) {
  constexpr int Width = 30;
  const int filled = std::clamp(percent, 0, 100) * Width / 100;
  char number[8];
  std::snprintf(number, sizeof number, "%3d%%", std::clamp(percent, 0, 100));
  // The trailing blanks wipe a longer phase name drawn before.
  return "\r" + phase + " [" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(Width - filled), ' ') + "] " + number + "   ";
}

void TProgressBar::Update(const std::string &phase, long long value, long long maximum) {
  const int percent =
      maximum > 0 ? static_cast<int>(std::clamp(value, 0LL, maximum) * 100 / maximum) : 0;
  const auto now = FClock();
  if (phase == FPhase && percent == FPercent) {
    FPending = false;
    return;
  }
  if (FOpen && now - FLast < MinInterval) {
    FPending = true;
    FPendingPhase = phase;
    FPendingPercent = percent;
    return;
  }
  FPending = false;
  std::fputs(Line(phase, percent).c_str(), FOut);
  std::fflush(FOut);
  FPhase = phase;
  FPercent = percent;
  FLast = now;
  FOpen = true;
}

void TProgressBar::End() {
  // The last state shows before the line ends, or a finished phase could
  // stay on the screen at the percentage drawn a moment before.
  if (FPending)
    std::fputs(Line(FPendingPhase, FPendingPercent).c_str(), FOut);
  FPending = false;
  if (FOpen)
    std::fputs("\n", FOut);
  FOpen = false;
  FPhase.clear();
  FPercent = -1;
}
