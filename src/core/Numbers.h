#pragma once
// The number grammars of the readers and the settings file, in one place so
// that their differences show. Each reader keeps exactly the grammar it has
// always accepted; none of them reads blanks, a locale's separator,
// infinities or NaN unless its comment says so.

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

// The integer ones are templates in this header only, so that the settings
// store, which links QtCore alone, reads its numbers the same way.

// An optional minus sign and decimal digits, the whole text, within T.
template <typename T> std::optional<T> ParseInteger(std::string_view text) {
  T value{};
  if (text.empty())
    return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

// ParseInteger after an optional plus sign (so "+-5" is -5): Gerber fields.
template <typename T> std::optional<T> ParseIntegerOptionalPlus(std::string_view text) {
  if (!text.empty() && text.front() == '+')
    text.remove_prefix(1);
  return ParseInteger<T>(text);
}

// Gerber's decimal: an optional plus sign, then only digits, ".", "E", "e"
// and signs, read as one double (a fraction, an exponent and a minus sign
// as from_chars takes them). False when the whole text is not one; value
// then holds whatever part of it was read.
bool ParseDecimal(std::string_view text, double &value);

// SVG's decimal: an optional sign, then a digit or a point starting a
// from_chars number (fraction and exponent optional) that is the whole text,
// finite and within the single-precision range.
std::optional<double> ParseFloatRangeDecimal(std::string_view text);

// A decimal for STL: optional sign, digits with an optional fraction (at
// least one digit), an exponent only with digits. Beyond the range of a
// float it is not a number; too small for one it is zero or a denormal.
std::optional<float> ParseStrictSingle(std::string_view text);

// What a user types into an option or a grid cell: what from_chars reads as
// one double from the whole text (a minus sign, no plus), finite.
std::optional<double> ParseFiniteDouble(std::string_view text);

// A plotter parameter: what from_chars reads as one float from the whole
// text (also "inf" and "nan"; a leading point is taken), otherwise 0.
float ParseFloatOrZero(std::string_view text);
