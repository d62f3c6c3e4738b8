#include "LabCache.h"

TLabCache::TLabCache(int slotBits)
    : FShift(32 - slotBits), FSlots(std::size_t{1} << slotBits, 0) {
  for (unsigned channel = 0; channel < 256; ++channel)
    FLinear[channel] = ColorDetail::ChannelToLinear(channel);
}

std::uint32_t TLabCache::Convert(std::uint32_t rgb) const {
  return PackLab(ColorDetail::LinearToLab(FLinear[rgb >> 16 & 0xFF], FLinear[rgb >> 8 & 0xFF],
                                          FLinear[rgb & 0xFF]));
}
