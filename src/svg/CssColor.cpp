#include "CssColor.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "SvgText.h"
#include "core/ColorUnit.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

// The integer syntax colour components have always accepted: optional
// leading blanks, a sign, then decimal digits or hexadecimal digits after
// "$", "X" or "0X". The value must fit in 32 bits (hexadecimal may use all
// of them, as two's complement).
std::optional<std::int64_t> ParseInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size())
    return std::nullopt;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (hex) {
      const int digit = HexDigit(text[i]);
      if (digit < 0)
        return std::nullopt;
      value = value * 16 + digit;
      if (value > 0xFFFFFFFFLL)
        return std::nullopt;
    } else {
      if (text[i] < '0' || text[i] > '9')
        return std::nullopt;
      value = value * 10 + (text[i] - '0');
      if (value > 0x80000000LL)
        return std::nullopt;
    }
  }
  if (hex)
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  if (negative)
    value = -value;
  if (value > INT32_MAX || value < INT32_MIN)
    return std::nullopt;
  return value;
}

void SetChannel(std::uint32_t &colour, int shift, std::uint8_t value) {
  colour = (colour & ~(0xFFu << shift)) | (std::uint32_t(value) << shift);
}

} // namespace

bool CSSColorComponent(std::string_view text, std::uint8_t &channel) {
  std::int64_t value = 0;
  if (!text.empty() && text.back() == '%') {
    const auto percent = ParseInteger(text.substr(0, text.size() - 1));
    if (!percent)
      return false;
    value = *percent * 255 / 100; // truncates toward zero
  } else {
    const auto plain = ParseInteger(text);
    if (!plain)
      return false;
    value = *plain;
  }
  channel = static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, 255));
  return true;
}

void CSSColor(std::string_view text, std::uint32_t &colour) {
  std::string s(TrimText(text));
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
  });

  if (!s.empty() && s.front() == '#') {
    int digits[6] = {};
    if (s.size() != 4 && s.size() != 7)
      return;
    for (std::size_t i = 1; i < s.size(); ++i) {
      digits[i - 1] = HexDigit(s[i]);
      if (digits[i - 1] < 0)
        return;
    }
    if (s.size() == 4)
      colour = 0xFF000000u | std::uint32_t(digits[0] * 17) << 16 |
               std::uint32_t(digits[1] * 17) << 8 | std::uint32_t(digits[2] * 17);
    else
      colour = 0xFF000000u | std::uint32_t(digits[0] * 16 + digits[1]) << 16 |
               std::uint32_t(digits[2] * 16 + digits[3]) << 8 |
               std::uint32_t(digits[4] * 16 + digits[5]);
    return;
  }

  if (s.size() >= 5 && s.starts_with("RGB(") && s.ends_with(")")) {
    const std::string_view inner = TrimText(std::string_view(s).substr(4, s.size() - 5));
    const auto pieces = SplitSeparators(inner);
    if (pieces.size() != 3)
      return;
    // A component read before a failing one stays stored, as it always did.
    const int shifts[3] = {16, 8, 0};
    for (int i = 0; i < 3; ++i) {
      std::uint8_t channel = 0;
      if (!CSSColorComponent(pieces[i], channel))
        return;
      SetChannel(colour, shifts[i], channel);
    }
    colour |= 0xFF000000u;
    return;
  }

  if (s == "NONE" || s == "TRANSPARENT") {
    colour = 0;
    return;
  }
  colour = FindNamedColor(s).value_or(0xFFFFFFFFu);
}
