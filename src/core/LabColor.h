#pragma once
// A colour in CIE L*a*b*, as the levels of pictures and vector drawings carry it.

#include <cstdint>

struct TLabColor {
  std::int32_t L = 0;
  std::int32_t a = 0;
  std::int32_t b = 0;
  friend bool operator==(const TLabColor &, const TLabColor &) = default;
};
