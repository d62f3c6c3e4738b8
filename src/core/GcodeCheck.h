#pragma once
// Reading a G-code file the way the machine's firmware would: the check that
// finds lines it refuses or that would burn where nobody asked, and the
// running time of the file with acceleration.

#include <string>
#include <string_view>
#include <vector>

#include "MachineProfile.h"

struct TGcodeProblem {
  int Line = 0; // 1-based
  std::string Message;
};

// Every problem of the text for that profile's firmware, in line order:
// words it does not know, numbers it cannot read (exponents, NaN), S beyond
// 0..PowerMaximum, more than one motion word on a line, a rapid move longer
// than focusMM with the laser on, the laser left on at the end, and moves
// off the bed when the profile has one.
std::vector<TGcodeProblem> CheckGcode(std::string_view text, const TMachineProfile &profile,
                                      double focusMM);
// The value of a number word as the check reads it (a minus, digits, at most one
// point): the correctly rounded double, as std::from_chars gives it.
double GcodeNumber(std::string_view text);
// "line 12: ..."
std::string ProblemText(const TGcodeProblem &problem);
// The first few problems, one a line, then how many more there are.
std::string ProblemsText(const std::vector<TGcodeProblem> &problems, std::size_t shown = 20);

// Seconds the machine takes to run the text: every move a trapezoid at the
// profile's acceleration (MotionTime.h), G0 at rapidSpeed mm/s, other moves at
// their feed, dwells counted. The head starts at rest at the origin.
double GcodeSeconds(std::string_view text, const TMachineProfile &profile, double rapidSpeed);
