#pragma once
// Number and list syntax shared by the SVG attributes, styles and colours.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Characters 1 to 31, space, "(", ")" and ",": what separates the pieces of
// viewBox, points, transform and rgb() lists.
bool IsSeparatorChar(char c);
// The non-empty pieces of text between separator characters.
std::vector<std::string_view> SplitSeparators(std::string_view text);
// The pieces of a viewBox, points or transform list. A piece written the
// compact way SVG allows ("1.5.5" is 1.5 and .5, "10-5" is 10 and -5)
// becomes one piece per number; a piece that is not made of numbers stays
// whole, so a word still counts as one piece.
std::vector<std::string_view> SplitNumberList(std::string_view text);

// One number of SVG's number grammar: an optional sign, digits with at most
// one decimal point (at least one digit in all), and an exponent only where
// a digit follows the "e" or "E" and its optional sign. The longest such
// number starting at pos; without a sign or digit there is no number.
enum TNumberScan : std::uint8_t {
  nsNone,      // no number starts at pos, which is left unchanged
  nsNumber,    // value holds it, pos is just past it
  nsOutOfRange // a number beyond the single-precision range; pos is past it
};
TNumberScan ScanSvgNumber(std::string_view text, std::size_t &pos, double &value);

// Text without leading and trailing characters up to the space character.
std::string_view TrimText(std::string_view text);

// A decimal number with "." as separator, optional sign, fraction and
// exponent, surrounded by optional blanks. Infinities, NaN and values beyond
// the single-precision range are not numbers: a float could not hold them.
std::optional<double> ParseNumber(std::string_view text);
// ParseNumber, or fallback when the text is not a number.
float NumberOr(std::string_view text, float fallback);
