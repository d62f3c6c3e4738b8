#pragma once
// The one-line progress bar brennix-cli draws on standard error when that is
// a terminal: the phase, a bar and the percentage, redrawn in place.

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

class TProgressBar {
public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;
  // Redrawn at most this often, so a fast job does not flood a slow terminal.
  static constexpr std::chrono::milliseconds MinInterval{100};

  explicit TProgressBar(std::FILE *out, TClock clock = std::chrono::steady_clock::now)
      : FOut(out), FClock(std::move(clock)) {}

  // Draws only what changed the line, and not sooner than MinInterval after
  // the last drawing; the first drawing shows at once.
  void Update(const std::string &phase, long long value, long long maximum);
  // Draws the last state an update held back, then ends the bar's line so
  // that what follows starts on a line of its own.
  void End();
  static std::string Line(const std::string &phase, int percent);

private:
  std::FILE *FOut;
  TClock FClock;
  std::string FPhase;
  int FPercent = -1;
  bool FOpen = false;
  bool FPending = false;
  std::string FPendingPhase;
  int FPendingPercent = 0;
  std::chrono::steady_clock::time_point FLast{};
};
