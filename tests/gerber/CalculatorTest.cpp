#include "gerber/Calculator.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

namespace {

struct TValueCase {
  const char *Text;
  double Value;
};

constexpr TValueCase ValueCases[] = {
    {"2X3+4", 10},  {"2+3X4", 14},     {"8/2/2", 2},   {"(1+2)X3", 9},  {"$5", 0},
    {"4V1+2", 3},   {"1+2V3", 3},      {"$1X-2", -3},  {"-1.5E1", -15}, {"+2", 2},
    {"1E+2-1", 99}, {"$2/2", 2},       {"10-2-3", 5},  {"2X(3)+1", 7},  {"(2)V(1)", 1},
    {"1.", 1},      {"$1+$2X$1", 7.5}, {"0.5X4/2", 1},
};

TEST(Calculate, EvaluatesByPrecedenceLeftToRight) {
  const TVariables variables{{1, 1.5}, {2, 4}};
  for (const auto &c : ValueCases) {
    SCOPED_TRACE(c.Text);
    EXPECT_DOUBLE_EQ(Calculate(c.Text, variables), c.Value);
  }
}

TEST(Calculate, RejectsMalformedText) {
  const char *errors[] = {"((1))", "2X",   "",    "$",     "(1", "1+",  "2x3",     "1E",  "--$1",
                          "-",     "1..2", "inf", "1E400", "3%", "1/0", "1/(2-2)", "$1X", "X2"};
  for (const char *text : errors) {
    SCOPED_TRACE(text);
    EXPECT_THROW(Calculate(text, {}), TCalcError);
  }
}

TEST(Calculate, SignBeforeVariableOrParenthesis) {
  // Real macros negate variables ("-$7") and groups.
  const TVariables variables{{1, 2.5}, {7, -4}};
  const struct {
    const char *Text;
    double Value;
  } cases[] = {{"-$1", -2.5},  {"-$7", 4},      {"+$1", 2.5},
               {"-(1+2)", -3}, {"1X-$1", -2.5}, {"$1+-$7", 6.5}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_DOUBLE_EQ(Calculate(c.Text, variables), c.Value);
  }
}

TEST(Calculate, MinimumKeepsAccumulatorWhenUndecided) {
  // 1E300X1E300 overflows to infinity; infinity minus infinity is not a number.
  const TVariables variables{{1, std::nan("")}};
  EXPECT_DOUBLE_EQ(Calculate("2V$1", variables), 2);
  EXPECT_TRUE(std::isnan(Calculate("$1V2", variables)));
}

TEST(Calculate, DeepParenthesesFailFast) {
  // Only one level is supported; a hostile nesting must not recurse deeply.
  const std::string text = std::string(100000, '(') + "1" + std::string(100000, ')');
  EXPECT_THROW(Calculate(text, {}), TCalcError);
}

TEST(Calculate, LongProductsStayLinear) {
  std::string text = "1";
  for (int i = 0; i < 200000; ++i)
    text += "X1";
  text += "+1";
  EXPECT_DOUBLE_EQ(Calculate(text, {}), 2);
}

} // namespace
