#include "SvgText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

bool IsSeparatorChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 1 && u <= 32) || c == '(' || c == ')' || c == ',';
}

std::vector<std::string_view> SplitSeparators(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || IsSeparatorChar(text[i])) {
      if (i > start)
        pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return pieces;
}

std::string_view TrimText(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
    ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
    --end;
  return text.substr(begin, end - begin);
}

std::optional<double> ParseNumber(std::string_view text) {
  text = TrimText(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // from_chars also reads "inf", "nan" and hexadecimal-looking words; a
  // number here starts with a digit or a decimal point.
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.'))
    return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value,
                                            std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
    return std::nullopt;
  return negative ? -value : value;
}

float NumberOr(std::string_view text, float fallback) {
  const auto value = ParseNumber(text);
  return value ? static_cast<float>(*value) : fallback;
}
