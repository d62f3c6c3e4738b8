#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "core/Numbers.h"

namespace {

using TMaybe = std::optional<double>;
constexpr auto No = std::nullopt;

std::optional<double> Decimal(std::string_view text) {
  double value = 0;
  return ParseDecimal(text, value) ? TMaybe(value) : No;
}

template <typename T> TMaybe Widen(std::optional<T> value) {
  return value ? TMaybe(static_cast<double>(*value)) : No;
}

} // namespace

// Each reader's grammar side by side: where two columns differ, files that
// one reader accepts would be refused (or read otherwise) by the other.
TEST(Numbers, EachGrammarAcceptsWhatItAlwaysHas) {
  constexpr double Inf = std::numeric_limits<double>::infinity();
  struct TCase {
    std::string Text;
    TMaybe Integer, IntegerPlus, Gerber, Svg, Stl;
    double Plotter;
  } cases[] = {
      {"12", 12, 12, 12, 12, 12, 12},
      {"-12", -12, -12, -12, -12, -12, -12},
      {"+12", No, 12, 12, 12, 12, 0},
      {"+-5", No, -5, -5, No, No, 0},
      {" 5", No, No, No, No, No, 0},
      {"", No, No, No, No, No, 0},
      {".5", No, No, 0.5, 0.5, 0.5, 0.5},
      {"5.", No, No, 5, 5, 5, 5},
      {"1e", No, No, No, No, No, 0},
      {"1E3", No, No, 1000, 1000, 1000, 1000},
      {"1.5.5", No, No, No, No, No, 0},
      {"inf", No, No, No, No, No, Inf},
      {"1e40", No, No, 1e40, No, No, 0},
      {"1e-50", No, No, 1e-50, 1e-50, 0, 0},
      {"2147483648", No, No, 2147483648.0, 2147483648.0, 2147483648.0, 2147483648.0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(Widen(ParseInteger<std::int32_t>(c.Text)), c.Integer) << c.Text;
    EXPECT_EQ(Widen(ParseIntegerOptionalPlus<std::int32_t>(c.Text)), c.IntegerPlus) << c.Text;
    EXPECT_EQ(Decimal(c.Text), c.Gerber) << c.Text;
    EXPECT_EQ(ParseFloatRangeDecimal(c.Text), c.Svg) << c.Text;
    EXPECT_EQ(Widen(ParseStrictSingle(c.Text)), c.Stl) << c.Text;
    EXPECT_EQ(static_cast<double>(ParseFloatOrZero(c.Text)), c.Plotter) << c.Text;
  }
  EXPECT_EQ(ParseInteger<std::int64_t>("2147483648"), 2147483648LL);
}
