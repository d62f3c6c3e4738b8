#pragma once
// Reduces a picture to its 2 to 9 dominant colours in Lab: a sequential
// k-means over a fixed pseudo-random sample, then merging of close clusters.

#include <cstdint>
#include <functional>
#include <vector>

#include "core/LabColor.h"

class QImage;

// The picture's alpha is ignored (red, green and blue as stored): flatten a
// transparent picture first. progress runs once per sampling round. An empty
// picture gives no colours.
std::vector<TLabColor> QuantizeColors(const QImage &picture,
                                      const std::function<void()> &progress = {});

// How many times QuantizeColors has run in this process, from any thread:
// tells whether a load quantised.
std::uint64_t QuantizeColorsRuns();

// The sampling sequence: a 32-bit linear congruential generator.
class TRandom {
public:
  explicit TRandom(std::uint32_t seed) : FSeed(seed) {}
  // 0 <= result < n.
  std::uint32_t Next(std::uint32_t n) {
    FSeed = FSeed * 134775813u + 1u;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(FSeed) * n) >> 32);
  }

  // As if Next had been called steps times: the composed step
  // seed -> m * seed + c is squared once per bit of steps.
  void Skip(std::uint64_t steps) {
    std::uint32_t m = 134775813u, c = 1u;
    for (; steps != 0; steps >>= 1) {
      if (steps & 1)
        FSeed = FSeed * m + c;
      c = c * m + c;
      m = m * m;
    }
  }

private:
  std::uint32_t FSeed;
};

// Kept for tests and benchmarks: the same clusters, computed the plain way:
// every round draws and converts its W x H samples afresh.
std::vector<TLabColor> QuantizeColorsReference(const QImage &picture,
                                               const std::function<void()> &progress = {});
