#pragma once
// ColorToLab for many pixels: the same arithmetic, each colour converted once.

#include <array>
#include <cstdint>
#include <vector>

#include "core/ColorUnit.h"
#include "core/LabColor.h"

// Lab packed into 32 bits: L in the low byte, then a and b as signed bytes.
inline std::uint32_t PackLab(const TLabColor &lab) {
  return static_cast<std::uint32_t>(lab.L & 0xFF) | static_cast<std::uint32_t>(lab.a & 0xFF) << 8 |
         static_cast<std::uint32_t>(lab.b & 0xFF) << 16;
}
inline TLabColor UnpackLab(std::uint32_t packed) {
  return {static_cast<std::int8_t>(packed & 0xFF), static_cast<std::int8_t>(packed >> 8 & 0xFF),
          static_cast<std::int8_t>(packed >> 16 & 0xFF)};
}

// Gives exactly ColorToLab's result. The power law is one of 256 values per
// channel, so it comes from a table; whole colours are remembered in a small
// direct-mapped cache, because pictures repeat colours far more often than
// they introduce new ones. Not thread-safe: one per thread.
class TLabCache {
public:
  // 2^slotBits colours are remembered (8 bytes each): a photo of millions
  // of pixels may well hold a million different colours.
  explicit TLabCache(int slotBits = 16);
  // Packed Lab of the colour's red, green and blue (alpha ignored).
  std::uint32_t Packed(std::uint32_t argb) {
    const std::uint32_t rgb = argb & 0xFFFFFF;
    std::uint64_t &slot = FSlots[Slot(rgb)];
    // The key keeps bit 24 set, so an empty slot (0) never matches.
    const std::uint32_t key = rgb | 0x1000000;
    if (static_cast<std::uint32_t>(slot >> 32) != key)
      slot = static_cast<std::uint64_t>(key) << 32 | Convert(rgb);
    return static_cast<std::uint32_t>(slot);
  }
  TLabColor Lab(std::uint32_t argb) { return UnpackLab(Packed(argb)); }
  // Asks for the colour's slot ahead of a Packed call.
  void Prefetch(std::uint32_t argb) const { __builtin_prefetch(&FSlots[Slot(argb & 0xFFFFFF)]); }

private:
  std::size_t Slot(std::uint32_t rgb) const { return (rgb * 2654435761u) >> FShift; }
  std::uint32_t Convert(std::uint32_t rgb) const;

  int FShift;
  std::array<float, 256> FLinear;
  std::vector<std::uint64_t> FSlots;
};
