#pragma once
// Colour values of SVG "fill" and "stroke" attributes and style entries.

#include <cstdint>
#include <string_view>

// Reads a CSS colour (#rgb, #rrggbb, rgb() with integers or percentages,
// "none", "transparent" or a colour name) into colour, an ARGB value. A
// value it cannot read leaves colour as it was; an unknown word gives opaque
// white, so a gradient reference still burns as a white area.
void CSSColor(std::string_view text, std::uint32_t &colour);

// One rgb() component ("128", "50%", "$80", "0x80") limited to 0..255.
// Returns false, leaving channel alone, for anything that is not an integer.
bool CSSColorComponent(std::string_view text, std::uint8_t &channel);
