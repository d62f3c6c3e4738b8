#include "SvgText.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "core/Numbers.h"

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

std::vector<std::string_view> SplitNumberList(std::string_view text) {
  std::vector<std::string_view> pieces;
  for (const std::string_view piece : SplitSeparators(text)) {
    std::vector<std::string_view> numbers;
    std::size_t pos = 0;
    double value = 0;
    while (pos < piece.size()) {
      const std::size_t start = pos;
      if (ScanSvgNumber(piece, pos, value) == nsNone)
        break;
      numbers.push_back(piece.substr(start, pos - start));
    }
    if (pos == piece.size())
      pieces.insert(pieces.end(), numbers.begin(), numbers.end());
    else
      pieces.push_back(piece);
  }
  return pieces;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipDigits(std::string_view text, std::size_t pos) {
  while (pos < text.size() && IsDigit(text[pos]))
    ++pos;
  return pos;
}

} // namespace

TNumberScan ScanSvgNumber(std::string_view text, std::size_t &pos, double &value) {
  std::size_t i = pos;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    ++i;
  const std::size_t mantissa = i;
  i = SkipDigits(text, i);
  bool digits = i > mantissa;
  if (i < text.size() && text[i] == '.') {
    const std::size_t fraction = i + 1;
    const std::size_t end = SkipDigits(text, fraction);
    if (digits || end > fraction) {
      digits = true;
      i = end;
    }
  }
  if (!digits)
    return nsNone;
  // An "e" without digits after it is no exponent: "1e" is the number 1
  // followed by an "e", which the caller then finds out of place.
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t e = i + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-'))
      ++e;
    if (e < text.size() && IsDigit(text[e]))
      i = SkipDigits(text, e);
  }
  const std::size_t begin = pos;
  pos = i;
  // from_chars takes no plus sign; the exponent may carry one.
  const bool negative = text[begin] == '-';
  const char *first = text.data() + mantissa;
  const char *last = text.data() + i;
  double magnitude = 0;
  const auto [end, error] = std::from_chars(first, last, magnitude, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Too small for a double is as good as zero; too large is out of range.
    const std::string_view written(first, static_cast<std::size_t>(last - first));
    const auto exponent = written.find_first_of("eE");
    if (exponent != std::string_view::npos &&
        written.find('-', exponent) != std::string_view::npos) {
      value = 0;
      return nsNumber;
    }
    return nsOutOfRange;
  }
  if (error != std::errc() || end != last || !std::isfinite(magnitude) ||
      magnitude > std::numeric_limits<float>::max())
    return nsOutOfRange;
  value = negative ? -magnitude : magnitude;
  return nsNumber;
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
  return ParseFloatRangeDecimal(TrimText(text));
}

float NumberOr(std::string_view text, float fallback) {
  const auto value = ParseNumber(text);
  return value ? static_cast<float>(*value) : fallback;
}
