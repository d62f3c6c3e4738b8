#pragma once
// Number and list syntax shared by the SVG attributes, styles and colours.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Characters 1 to 31, space, "(", ")" and ",": what separates the pieces of
// viewBox, points, transform and rgb() lists.
bool IsSeparatorChar(char c);
// The non-empty pieces of text between separator characters.
std::vector<std::string_view> SplitSeparators(std::string_view text);

// Text without leading and trailing characters up to the space character.
std::string_view TrimText(std::string_view text);

// A decimal number with "." as separator, optional sign, fraction and
// exponent, surrounded by optional blanks. Infinities, NaN and values beyond
// the single-precision range are not numbers: a float could not hold them.
std::optional<double> ParseNumber(std::string_view text);
// ParseNumber, or fallback when the text is not a number.
float NumberOr(std::string_view text, float fallback);
