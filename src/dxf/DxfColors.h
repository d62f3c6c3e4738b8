#pragma once
// The colours of a DXF drawing: AutoCAD's 256 colour numbers and true colours.

#include <cstdint>
#include <string>

// Colour numbers that stand for another colour rather than being one.
constexpr int DxfColorByBlock = 0;
constexpr int DxfColorByLayer = 256;

// Opaque ARGB of a colour number 1 to 255. Number 7 is drawn white on dark
// screens and black on paper; a laser's preview is paper, so it is black.
// Numbers outside 1 to 255 give black.
std::uint32_t AciColor(int number);

// How a level names its colour: "red" for the seven named numbers, "colour
// 42" for the others, "#RRGGBB" for a true colour (number 0 here).
std::string DxfColorName(int number, std::int32_t trueColor);
