#include "Numbers.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

bool ParseDecimal(std::string_view text, double &value) {
  if (!text.empty() && text.front() == '+')
    text.remove_prefix(1);
  if (text.empty())
    return false;
  // from_chars would also take "inf" and "nan": only digits, a point, an
  // exponent and signs make a number here.
  for (const char c : text)
    if (!IsDigit(c) && c != '.' && c != 'E' && c != 'e' && c != '+' && c != '-')
      return false;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

std::optional<double> ParseFloatRangeDecimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // from_chars also reads "inf", "nan" and hexadecimal-looking words; a
  // number here starts with a digit or a decimal point.
  if (text.empty() ||
      !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.'))
    return std::nullopt;
  double value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
    return std::nullopt;
  return negative ? -value : value;
}

std::optional<float> ParseStrictSingle(std::string_view token) {
  std::size_t i = 0;
  if (i < token.size() && (token[i] == '+' || token[i] == '-'))
    ++i;
  const std::size_t numberStart = !token.empty() && token[0] == '+' ? 1 : 0;
  std::size_t digits = 0;
  while (i < token.size() && IsDigit(token[i]))
    ++i, ++digits;
  if (i < token.size() && token[i] == '.') {
    ++i;
    while (i < token.size() && IsDigit(token[i]))
      ++i, ++digits;
  }
  if (digits == 0)
    return std::nullopt;
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
      ++i;
    std::size_t exponentDigits = 0;
    while (i < token.size() && IsDigit(token[i]))
      ++i, ++exponentDigits;
    if (exponentDigits == 0)
      return std::nullopt;
  }
  if (i != token.size())
    return std::nullopt;
  const char *first = token.data() + numberStart;
  const char *last = token.data() + token.size();
  float value = 0;
  auto [end, error] = std::from_chars(first, last, value);
  if (error == std::errc() && end == last)
    return value;
  if (error != std::errc::result_out_of_range)
    return std::nullopt;
  // Too small for a float is zero (or a denormal); too large is an error.
  double wide = 0;
  auto [wideEnd, wideError] = std::from_chars(first, last, wide);
  if (wideError != std::errc() || wideEnd != last ||
      std::fabs(wide) > std::numeric_limits<float>::max())
    return std::nullopt;
  return static_cast<float>(wide);
}

std::optional<double> ParseFiniteDouble(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value))
    return std::nullopt;
  return value;
}

float ParseFloatOrZero(std::string_view piece) {
  if (piece.empty())
    return 0;
  std::string text;
  if (piece.front() == '.') {
    text = "0";
    text += piece;
    piece = text;
  }
  float value = 0;
  const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
  if (error != std::errc() || end != piece.data() + piece.size())
    return 0;
  return value;
}
