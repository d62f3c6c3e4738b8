#pragma once
// The arithmetic of aperture macro expressions: numbers, $n variables, one
// level of parentheses, + - X / and the minimum operator V; a sign may stand
// before a variable or a parenthesis.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string_view>

// A malformed expression; the Gerber reader names the block that held it.
class TCalcError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Variable number -> value; an unset variable reads as 0.
using TVariables = std::map<std::int32_t, double>;

enum TKind : std::uint8_t { ekAdd, ekSubtract, ekMultiply, ekDivide, ekMinimum, ekNumber };

struct TToken {
  TKind Kind = ekNumber;
  double Value = 0;
};

// Evaluates text (no blanks, upper case). X and / bind tighter than + - V;
// each level associates to the left. Division by zero is an error.
double Calculate(std::string_view text, const TVariables &variables);
