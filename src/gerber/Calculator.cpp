#include "Calculator.h"

#include <string>
#include <vector>

#include "core/Numbers.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The operand at text[pos]; pos moves past it.
double Operand(std::string_view text, std::size_t &pos, const TVariables &variables) {
  if (pos >= text.size())
    throw TCalcError("a macro expression lacks an operand");
  // A sign before a variable or a parenthesis ("-$7"): numbers keep their
  // own sign below.
  if ((text[pos] == '-' || text[pos] == '+') && pos + 1 < text.size() &&
      (text[pos + 1] == '$' || text[pos + 1] == '(')) {
    const bool negative = text[pos] == '-';
    ++pos;
    const double value = Operand(text, pos, variables);
    return negative ? -value : value;
  }
  if (text[pos] == '$') {
    std::size_t end = pos + 1;
    while (end < text.size() && IsDigit(text[end]))
      ++end;
    const auto number = ParseInteger<std::int32_t>(text.substr(pos + 1, end - pos - 1));
    if (!number)
      throw TCalcError("a macro variable without its number");
    pos = end;
    const auto found = variables.find(*number);
    return found == variables.end() ? 0.0 : found->second;
  }
  if (text[pos] == '(') {
    // Only the first ")" closes: an inner "(" leaves the inner text without
    // its ")" and fails there, so the recursion is never deeper than two.
    const std::size_t close = text.find(')', pos + 1);
    if (close == std::string_view::npos)
      throw TCalcError("a macro expression lacks its )");
    const double value = Calculate(text.substr(pos + 1, close - pos - 1), variables);
    pos = close + 1;
    return value;
  }
  std::size_t end = pos;
  while (end < text.size()) {
    const char c = text[end];
    const bool sign = (c == '+' || c == '-') && (end == pos || text[end - 1] == 'E');
    if (!IsDigit(c) && c != '.' && c != 'E' && !sign)
      break;
    ++end;
  }
  double value = 0;
  if (!ParseDecimal(text.substr(pos, end - pos), value))
    throw TCalcError("a macro expression holds something that is not a number");
  pos = end;
  return value;
}

TKind Operator(char c) {
  switch (c) {
  case '+':
    return ekAdd;
  case '-':
    return ekSubtract;
  case 'X':
    return ekMultiply;
  case '/':
    return ekDivide;
  case 'V':
    return ekMinimum;
  default:
    throw TCalcError(std::string("unknown operator ") + c + " in a macro expression");
  }
}

} // namespace

double Calculate(std::string_view text, const TVariables &variables) {
  std::vector<TToken> tokens;
  std::size_t pos = 0;
  tokens.push_back({ekNumber, Operand(text, pos, variables)});
  while (pos < text.size()) {
    tokens.push_back({Operator(text[pos]), 0});
    ++pos;
    tokens.push_back({ekNumber, Operand(text, pos, variables)});
  }

  // Multiplicative pass, folded as it goes so long products stay linear.
  std::vector<TToken> sums;
  sums.push_back(tokens[0]);
  for (std::size_t i = 1; i + 1 < tokens.size(); i += 2) {
    const TToken &op = tokens[i];
    const double n = tokens[i + 1].Value;
    if (op.Kind == ekMultiply)
      sums.back().Value *= n;
    else if (op.Kind == ekDivide) {
      // A macro dividing by zero is malformed; an infinite size would only
      // fail later with a less helpful message.
      if (n == 0)
        throw TCalcError("division by zero in a macro expression");
      sums.back().Value /= n;
    } else {
      sums.push_back(op);
      sums.push_back({ekNumber, n});
    }
  }

  double accumulator = sums[0].Value;
  for (std::size_t i = 1; i + 1 < sums.size(); i += 2) {
    const double n = sums[i + 1].Value;
    switch (sums[i].Kind) {
    case ekAdd:
      accumulator += n;
      break;
    case ekSubtract:
      accumulator -= n;
      break;
    default:
      // Undecided with a not-a-number value: the accumulator stays.
      if (n < accumulator)
        accumulator = n;
      break;
    }
  }
  return accumulator;
}
