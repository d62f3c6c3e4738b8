#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "core/ColorUnit.h"
#include "svg/CssColor.h"

namespace {

// Colour values start from this so that "unchanged" is visible.
constexpr std::uint32_t Before = 0x11223344u;

struct TColorCase {
  const char *Text;
  std::uint32_t Expected;
};

constexpr TColorCase ColorCases[] = {
    {"#f00", 0xFFFF0000u},
    {"#F00", 0xFFFF0000u},
    {"#ff8000", 0xFFFF8000u},
    {"#FF8000", 0xFFFF8000u},
    {"#12345", Before},          // five digits
    {"#ggg", Before},            // not hexadecimal
    {"#", Before},
    {"rgb(255, 128, 0)", 0xFFFF8000u},
    {"rgb(100%, 50%, 0%)", 0xFFFF7F00u}, // 50 per cent is 127
    {"rgb(300, -5, 0)", 0xFFFF0000u},
    {"RGB( 1 2 3 )", 0xFF010203u},
    {"rgb($10, 0x20, X30)", 0xFF102030u},
    {"rgb(10, 20)", Before},
    {"rgb(1, 2, 3, 4)", Before},
    {"rgb(10, y, 5)", 0x110A3344u}, // red is stored before green fails
    {"rgb(1.5, 2, 3)", Before},
    {"none", 0},
    {"NONE", 0},
    {"transparent", 0},
    {"Null", 0},
    {"DarkSlateGrey", 0xFF2F4F4Fu},
    {"cyan", 0xFF00FFFFu},
    {"grey", 0xFF808080u},
    {"  red  ", 0xFFFF0000u},
    {"green", 0xFF008000u},
    {"lime", 0xFF00FF00u},
    {"url(#gradient)", 0xFFFFFFFFu},
    {"rgba(1, 2, 3, 0.5)", 0xFFFFFFFFu},
    {"nosuchcolour", 0xFFFFFFFFu},
};

TEST(CssColor, ReadsEverySyntax) {
  for (const auto &c : ColorCases) {
    SCOPED_TRACE(c.Text);
    std::uint32_t colour = Before;
    CSSColor(c.Text, colour);
    EXPECT_EQ(colour, c.Expected);
  }
}

TEST(CssColor, FindsAllTableNamesInAnyCase) {
  ASSERT_EQ(NamedColors().size(), 148u);
  for (const auto &entry : NamedColors()) {
    SCOPED_TRACE(entry.Name);
    std::string lower = entry.Name, upper = entry.Name;
    for (auto &c : lower)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (auto &c : upper)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto &text : {std::string(entry.Name), lower, upper}) {
      std::uint32_t colour = Before;
      CSSColor(text, colour);
      EXPECT_EQ(colour, entry.Value);
    }
  }
}

struct TComponentCase {
  const char *Text;
  bool Ok;
  int Value;
};

constexpr TComponentCase ComponentCases[] = {
    {"128", true, 128},   {"  7", true, 7},    {"+5", true, 5},       {"-5", true, 0},
    {"300", true, 255},   {"$80", true, 128},  {"0x80", true, 128},   {"X1F", true, 31},
    {"50%", true, 127},   {"200%", true, 255}, {"-10%", true, 0},     {"1%", true, 2},
    {"", false, 0},       {"1.5", false, 0},   {"12a", false, 0},     {"7 ", false, 0},
    {"%", false, 0},      {"$", false, 0},     {"99999999999", false, 0}, {"0x", false, 0},
};

TEST(CssColor, ComponentsFollowTheIntegerSyntax) {
  for (const auto &c : ComponentCases) {
    SCOPED_TRACE(c.Text);
    std::uint8_t channel = 99;
    EXPECT_EQ(CSSColorComponent(c.Text, channel), c.Ok);
    EXPECT_EQ(channel, c.Ok ? c.Value : 99);
  }
}

} // namespace
