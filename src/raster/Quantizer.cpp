#include "Quantizer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <span>
#include <thread>

#include <cstdlib>
#include <new>

// BRENNIX_NO_SIMD builds the portable round, so that it can be tested on x86 too.
#if defined(__SSE2__) && !defined(BRENNIX_NO_SIMD)
#include <emmintrin.h>
#endif

#include <QImage>

#include "LabCache.h"
#include "core/ColorUnit.h"
#include "core/HugePages.h"

namespace {

constexpr int MaxClusters = 9;
constexpr std::uint32_t SampleSeed = 123;
// Merging stops once the two nearest clusters are this far apart.
constexpr std::int64_t MergeDistance = 200;
// Pictures from this many pixels on run two rounds at a time.
constexpr std::int64_t ParallelSamples = 1 << 20;

std::atomic<std::uint64_t> QuantizeRuns{0};

// Running sums of Lab colours. They are 64-bit: 32-bit sums overflow at about
// 21 million white samples, which a photo of today easily has.
struct TCluster {
  std::int64_t L = 0, a = 0, b = 0, Count = 0;
  void Add(const TLabColor &lab) {
    L += lab.L;
    a += lab.a;
    b += lab.b;
    ++Count;
  }
  void Add(const TCluster &other) {
    L += other.L;
    a += other.a;
    b += other.b;
    Count += other.Count;
  }
};

// ClusterDistance on 64-bit sums: identical to it whenever the sums fit 32 bits.
std::int64_t Distance(const TCluster &p, const TCluster &s) {
  const std::int64_t dl = p.L / p.Count - s.L / s.Count;
  const std::int64_t da = (p.a / p.Count - s.a / s.Count) / 3;
  const std::int64_t db = (p.b / p.Count - s.b / s.Count) / 3;
  return dl * dl + da * da + db * db;
}

// Pixels as 32-bit ARGB rows, whatever the picture's own format.
QImage Mapped(const QImage &picture) {
  if (picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32)
    return picture;
  return picture.convertToFormat(QImage::Format_ARGB32);
}

std::uint32_t Pixel(const QImage &image, int x, int y) {
  return reinterpret_cast<const std::uint32_t *>(image.constScanLine(y))[x];
}

// The 3 x 3 grid at one, three and five sixths, column by column.
std::uint32_t SeedPixel(const QImage &image, int i) {
  const int x = (image.width() / 6) * (2 * (i / 3) + 1);
  const int y = (image.height() / 6) * (2 * (i % 3) + 1);
  return Pixel(image, x, y);
}

// A round is final when even the smallest cluster holds a fiftieth of the samples.
bool RoundIsFinal(const std::vector<TCluster> &clusters, std::int64_t samples) {
  std::int64_t smallest = std::numeric_limits<std::int64_t>::max();
  for (const auto &cluster : clusters)
    smallest = std::min(smallest, cluster.Count);
  return clusters.size() <= 2 ||
         static_cast<double>(smallest) >= static_cast<double>(samples) / 50.0;
}

std::vector<TLabColor> MergeAndAverage(std::vector<TCluster> clusters) {
  while (clusters.size() > 2) {
    std::size_t bestP = 0, bestS = 1;
    std::int64_t best = std::numeric_limits<std::int64_t>::max();
    for (std::size_t p = 0; p < clusters.size(); ++p)
      for (std::size_t s = p + 1; s < clusters.size(); ++s) {
        const std::int64_t distance = Distance(clusters[p], clusters[s]);
        if (distance < best) {
          best = distance;
          bestP = p;
          bestS = s;
        }
      }
    if (best >= MergeDistance)
      break;
    clusters[bestP].Add(clusters[bestS]);
    if (bestS != clusters.size() - 1)
      clusters[bestS] = clusters.back();
    clusters.pop_back();
  }
  std::vector<TLabColor> means;
  means.reserve(clusters.size());
  for (const auto &c : clusters)
    means.push_back({static_cast<std::int32_t>(c.L / c.Count),
                     static_cast<std::int32_t>(c.a / c.Count),
                     static_cast<std::int32_t>(c.b / c.Count)});
  return means;
}

// Truncated means of a cluster, which the distances compare samples with.
struct TMean {
  std::int32_t L, a, b;
};

// sum div count (truncating toward zero), found from a nearby guess: adding
// one sample moves a mean by little, mostly not at all, so a few
// multiplications replace a 64-bit division.
std::int32_t TruncatedMean(std::int64_t sum, std::int64_t count, std::int32_t guess) {
  std::int64_t q = guess;
  if (sum >= 0) { // largest q with q * count <= sum
    while (q * count > sum)
      --q;
    while ((q + 1) * count <= sum)
      ++q;
  } else { // smallest q with q * count >= sum
    while (q * count < sum)
      ++q;
    while ((q - 1) * count >= sum)
      --q;
  }
  return static_cast<std::int32_t>(q);
}

TMean MeanOf(const TCluster &cluster, const TMean &guess) {
  return {TruncatedMean(cluster.L, cluster.Count, guess.L),
          TruncatedMean(cluster.a, cluster.Count, guess.a),
          TruncatedMean(cluster.b, cluster.Count, guess.b)};
}

// Whether q is still sum div count (truncating toward zero): the common
// case after one more sample, told by one multiplication.
[[gnu::always_inline]] inline bool StillTruncatedMean(std::int64_t sum, std::int64_t count, std::int32_t q) {
  const std::int64_t product = q * count;
  if (q > 0)
    return product <= sum && sum - product < count;
  if (q < 0)
    return product >= sum && product - sum < count;
  return sum > -count && sum < count;
}

[[gnu::always_inline]] inline bool MeanStays(const TCluster &cluster, const TMean &mean) {
  return StillTruncatedMean(cluster.L, cluster.Count, mean.L) &&
         StillTruncatedMean(cluster.a, cluster.Count, mean.a) &&
         StillTruncatedMean(cluster.b, cluster.Count, mean.b);
}

void AddSample(TCluster &cluster, int l, int a, int b) {
  cluster.L += l;
  cluster.a += a;
  cluster.b += b;
  ++cluster.Count;
}

int SampleL(std::uint32_t packed) { return static_cast<std::int8_t>(packed & 0xFF); }
int SampleA(std::uint32_t packed) { return static_cast<std::int8_t>(packed >> 8 & 0xFF); }
int SampleB(std::uint32_t packed) { return static_cast<std::int8_t>(packed >> 16 & 0xFF); }

// The least and greatest L, a and b of the samples: how far one sample can
// pull a mean.
struct TSampleRange {
  std::array<int, 3> Low{0, 0, 0}, High{0, 0, 0};
};

TSampleRange RangeOf(std::span<const std::uint32_t> samples) {
  if (samples.empty())
    return {};
  // Plain variables, so that the loop runs in vector lanes.
  int lowL = 255, highL = -255, lowA = 255, highA = -255, lowB = 255, highB = -255;
  for (const std::uint32_t packed : samples) {
    const int l = SampleL(packed), a = SampleA(packed), b = SampleB(packed);
    lowL = std::min(lowL, l);
    highL = std::max(highL, l);
    lowA = std::min(lowA, a);
    highA = std::max(highA, a);
    lowB = std::min(lowB, b);
    highB = std::max(highB, b);
  }
  TSampleRange range;
  range.Low = {lowL, lowA, lowB};
  range.High = {highL, highA, highB};
  return range;
}


// A sample's cluster depends on the means left by every sample before it,
// which makes a round one long chain of dependent steps. Yet a truncated
// mean soon moves only now and then: find the nearest clusters of a whole
// batch under the current means, where the steps do not wait on each other,
// then add the samples in order. When an addition moves a mean, the rest of
// the batch is found again under the new means, so every sample still goes
// where the sample-by-sample round would send it. The batch grows while means
// stay put and shrinks when they move, to waste little in either phase.
// assign(first, n, chosen) gives the clusters of n samples from first under
// the current means; moved(j) brings cluster j's mean up to date after an
// addition and tells whether it changed.
constexpr std::size_t MinBatch = 8, MaxBatch = 1024;
template <class TAssign, class TMoved>
void RunBatches(std::vector<TCluster> &clusters, std::span<const std::uint32_t> samples,
                TAssign &&assign, TMoved &&moved) {
  std::array<std::uint8_t, MaxBatch> chosen;
  std::size_t batch = MinBatch;
  const std::size_t count = samples.size();
  for (std::size_t first = 0; first < count;) {
    const std::size_t n = std::min(batch, count - first);
    assign(samples.data() + first, n, chosen.data());
    std::size_t done = 0;
    bool stale = false;
    while (done < n && !stale) {
      const std::uint32_t packed = samples[first + done];
      const int j = chosen[done];
      AddSample(clusters[static_cast<std::size_t>(j)], SampleL(packed), SampleA(packed),
                SampleB(packed));
      ++done;
      stale = moved(j);
    }
    first += done;
    batch = stale ? std::max(MinBatch, batch / 2) : std::min(MaxBatch, batch * 2);
  }
}

#if defined(__SSE2__) && !defined(BRENNIX_NO_SIMD)
// Whether the truncated mean q of sum (over count) surely stays q while
// `added` more samples from low..high join, whatever their order. q stays
// while lo(n) <= sum <= hi(n), bounds that move by a fixed step per sample:
// q n .. (q + 1) n - 1 for q > 0, (q - 1) n + 1 .. q n for q < 0 and
// -(n - 1) .. n - 1 for q = 0. Each sample moves sum - lo(n) by v - stepLo
// and hi(n) - sum by stepHi - v, so neither room can run out before the
// worst case of every sample taking the most of it.
bool StaysFor(std::int64_t sum, std::int64_t count, std::int32_t q, std::int64_t added, int low,
              int high) {
  std::int64_t stepLo = q, stepHi = q + 1, lo = q * count, hi = (q + 1) * count - 1;
  if (q < 0) {
    stepLo = q - 1;
    stepHi = q;
    lo = (q - 1) * count + 1;
    hi = q * count;
  } else if (q == 0) {
    stepLo = -1;
    stepHi = 1;
    lo = -(count - 1);
    hi = count - 1;
  }
  const std::int64_t takeLo = stepLo - low, takeHi = high - stepHi;
  return (takeLo <= 0 || sum - lo >= added * takeLo) && (takeHi <= 0 || hi - sum >= added * takeHi);
}

bool ClusterStaysFor(const TCluster &cluster, const TMean &mean, std::int64_t added,
                     const TSampleRange &range) {
  return StaysFor(cluster.L, cluster.Count, mean.L, added, range.Low[0], range.High[0]) &&
         StaysFor(cluster.a, cluster.Count, mean.a, added, range.Low[1], range.High[1]) &&
         StaysFor(cluster.b, cluster.Count, mean.b, added, range.Low[2], range.High[2]);
}

// One sampling round over the prepared samples, eight samples at a time
// against one cluster after the other. A distance is at most
// 100^2 + 2 x 85^2, so it fits a signed 16-bit lane. Only a strictly smaller
// distance replaces the best, so ties go to the first cluster.
//
// Once the clusters hold many samples, a batch of samples can rarely move a
// truncated mean, and StaysFor tells when it cannot at all: the batch's
// samples are then summed per cluster in the vector lanes as they are
// assigned, in any order, and nothing is done one sample at a time. Only the
// clusters that might move are followed sample by sample; when one does, the
// batch ends there, as in RunBatches.
void RunRound(std::vector<TCluster> &clusters, std::span<const std::uint32_t> samples,
              const TSampleRange &range) {
  const int k = static_cast<int>(clusters.size());
  std::array<TMean, MaxClusters> means{};
  __m128i meanL[MaxClusters], meanA[MaxClusters], meanB[MaxClusters];
  auto load = [&](int j) {
    const TMean &mean = means[static_cast<std::size_t>(j)];
    meanL[j] = _mm_set1_epi16(static_cast<short>(mean.L));
    meanA[j] = _mm_set1_epi16(static_cast<short>(mean.a));
    meanB[j] = _mm_set1_epi16(static_cast<short>(mean.b));
  };
  for (int j = 0; j < k; ++j) {
    means[static_cast<std::size_t>(j)] = MeanOf(clusters[static_cast<std::size_t>(j)], {0, 0, 0});
    load(j);
  }
  const __m128i oneThird = _mm_set1_epi16(0x5556);
  // d div 3, truncating toward zero, for |d| <= 255.
  auto third = [&](__m128i d) {
    return _mm_sub_epi16(_mm_mulhi_epi16(d, oneThird), _mm_srai_epi16(d, 15));
  };
  // The signed byte of each 32-bit lane at the given shift, as 16-bit lanes.
  auto channel = [](__m128i low, __m128i high, int shift) {
    const __m128i countLeft = _mm_cvtsi32_si128(24 - shift);
    const __m128i countRight = _mm_cvtsi32_si128(24);
    return _mm_packs_epi32(_mm_sra_epi32(_mm_sll_epi32(low, countLeft), countRight),
                           _mm_sra_epi32(_mm_sll_epi32(high, countLeft), countRight));
  };
  // A batch's sums per cluster. A lane takes at most MaxBatch / 8 = 128
  // values of at most 128 in size, which a signed 16-bit lane holds.
  static_assert(MaxBatch / 8 * 128 <= 32767);
  __m128i sumL[MaxClusters], sumA[MaxClusters], sumB[MaxClusters], taken[MaxClusters];
  auto eight = [&](const std::uint32_t *first, std::uint8_t *chosen, __m128i valid) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(first));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(first + 4));
    const __m128i l = channel(low, high, 0), a = channel(low, high, 8), b = channel(low, high, 16);
    __m128i best = _mm_set1_epi16(0x7FFF), index = _mm_setzero_si128();
    for (int j = 0; j < k; ++j) {
      const __m128i dl = _mm_sub_epi16(l, meanL[j]);
      const __m128i da = third(_mm_sub_epi16(a, meanA[j]));
      const __m128i db = third(_mm_sub_epi16(b, meanB[j]));
      const __m128i d = _mm_add_epi16(
          _mm_mullo_epi16(dl, dl), _mm_add_epi16(_mm_mullo_epi16(da, da), _mm_mullo_epi16(db, db)));
      const __m128i closer = _mm_cmpgt_epi16(best, d);
      best = _mm_min_epi16(best, d);
      index = _mm_or_si128(_mm_and_si128(closer, _mm_set1_epi16(static_cast<short>(j))),
                           _mm_andnot_si128(closer, index));
    }
    _mm_storel_epi64(reinterpret_cast<__m128i *>(chosen), _mm_packus_epi16(index, index));
    for (int j = 0; j < k; ++j) {
      const __m128i mine =
          _mm_and_si128(_mm_cmpeq_epi16(index, _mm_set1_epi16(static_cast<short>(j))), valid);
      taken[j] = _mm_sub_epi16(taken[j], mine);
      sumL[j] = _mm_add_epi16(sumL[j], _mm_and_si128(mine, l));
      sumA[j] = _mm_add_epi16(sumA[j], _mm_and_si128(mine, a));
      sumB[j] = _mm_add_epi16(sumB[j], _mm_and_si128(mine, b));
    }
  };
  auto assign = [&](const std::uint32_t *first, std::size_t n, std::uint8_t *chosen) {
    for (int j = 0; j < k; ++j)
      sumL[j] = sumA[j] = sumB[j] = taken[j] = _mm_setzero_si128();
    const __m128i all = _mm_set1_epi16(-1);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
      eight(first + i, chosen + i, all);
    if (i < n) { // the last few, padded with copies of the last sample that count for nothing
      std::uint32_t padded[8];
      std::uint8_t out[8];
      for (std::size_t p = 0; p < 8; ++p)
        padded[p] = first[std::min(i + p, n - 1)];
      const __m128i valid = _mm_cmpgt_epi16(_mm_set1_epi16(static_cast<short>(n - i)),
                                            _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7));
      eight(padded, out, valid);
      std::copy(out, out + (n - i), chosen + i);
    }
  };
  auto total = [](__m128i lanes) {
    __m128i t = _mm_madd_epi16(lanes, _mm_set1_epi16(1));
    t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0x4E));
    t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0xB1));
    return static_cast<std::int64_t>(_mm_cvtsi128_si32(t));
  };

  std::array<std::uint8_t, MaxBatch> chosen;
  std::array<TCluster, MaxClusters> followed;
  std::size_t batch = MinBatch;
  const std::size_t count = samples.size();
  for (std::size_t first = 0; first < count;) {
    const std::size_t n = std::min(batch, count - first);
    assign(samples.data() + first, n, chosen.data());
    std::array<std::int64_t, MaxClusters> batchCount{};
    std::uint32_t mayMove = 0;
    for (int j = 0; j < k; ++j) {
      const auto c = static_cast<std::size_t>(j);
      batchCount[c] = total(taken[j]);
      if (batchCount[c] > 0 && !ClusterStaysFor(clusters[c], means[c], batchCount[c], range)) {
        mayMove |= 1u << j;
        followed[c] = clusters[c];
      }
    }
    std::size_t done = n;
    int moved = -1;
    for (std::size_t i = 0; mayMove != 0 && i < n; ++i) {
      const int j = chosen[i];
      if ((mayMove >> j & 1) == 0)
        continue;
      const auto c = static_cast<std::size_t>(j);
      const std::uint32_t packed = samples[first + i];
      AddSample(followed[c], SampleL(packed), SampleA(packed), SampleB(packed));
      if (MeanStays(followed[c], means[c]))
        continue;
      const TMean mean = MeanOf(followed[c], means[c]);
      if (mean.L != means[c].L || mean.a != means[c].a || mean.b != means[c].b) {
        moved = j;
        done = i + 1;
        break;
      }
    }
    if (moved < 0) {
      for (int j = 0; j < k; ++j) {
        TCluster &cluster = clusters[static_cast<std::size_t>(j)];
        cluster.L += total(sumL[j]);
        cluster.a += total(sumA[j]);
        cluster.b += total(sumB[j]);
        cluster.Count += batchCount[static_cast<std::size_t>(j)];
      }
    } else {
      for (std::size_t i = 0; i < done; ++i) {
        const std::uint32_t packed = samples[first + i];
        AddSample(clusters[chosen[i]], SampleL(packed), SampleA(packed), SampleB(packed));
      }
      const auto c = static_cast<std::size_t>(moved);
      means[c] = MeanOf(clusters[c], means[c]);
      load(moved);
    }
    first += done;
    batch = moved >= 0 ? std::max(MinBatch, batch / 2) : std::min(MaxBatch, batch * 2);
  }
}
#else
// ((d) div 3)^2 for every difference of two a or b values, -255..255.
struct TThirdSquares {
  std::array<std::int32_t, 511> Values;
  TThirdSquares() {
    for (int d = -255; d <= 255; ++d)
      Values[static_cast<std::size_t>(d + 255)] = (d / 3) * (d / 3);
  }
  std::int32_t operator()(int d) const { return Values[static_cast<std::size_t>(d + 255)]; }
};

// One sampling round over the prepared samples: each sample costs k small
// integer distances; only the receiving cluster's mean is worked out again.
void RunRound(std::vector<TCluster> &clusters, std::span<const std::uint32_t> samples,
              const TSampleRange &) {
  const TThirdSquares thirdSquare;
  std::vector<TMean> means;
  for (const auto &cluster : clusters)
    means.push_back(MeanOf(cluster, {0, 0, 0}));
  auto nearest = [&](std::uint32_t packed) {
    const int l = SampleL(packed), a = SampleA(packed), b = SampleB(packed);
    std::size_t best = 0;
    std::int32_t bestDistance = std::numeric_limits<std::int32_t>::max();
    for (std::size_t j = 0; j < means.size(); ++j) {
      const std::int32_t dl = l - means[j].L;
      const std::int32_t distance =
          dl * dl + thirdSquare(a - means[j].a) + thirdSquare(b - means[j].b);
      if (distance < bestDistance) {
        bestDistance = distance;
        best = j;
      }
    }
    return static_cast<std::uint8_t>(best);
  };
  auto assign = [&](const std::uint32_t *first, std::size_t n, std::uint8_t *chosen) {
    for (std::size_t i = 0; i < n; ++i)
      chosen[i] = nearest(first[i]);
  };
  RunBatches(clusters, samples, assign, [&](int j) {
    const auto index = static_cast<std::size_t>(j);
    if (MeanStays(clusters[index], means[index]))
      return false;
    const TMean mean = MeanOf(clusters[index], means[index]);
    const bool moved = mean.L != means[index].L || mean.a != means[index].a || mean.b != means[index].b;
    means[index] = mean;
    return moved;
  });
}
#endif

// Room for count 32-bit values, uninitialised, in huge pages where the
// system offers them on request: the samples are read at random over tens
// of megabytes, and with 4 KiB pages nearly every read also misses the
// address translation cache; the fresh pages' faults cost too.
struct TFree {
  void operator()(std::uint32_t *p) const { std::free(p); }
};
using TWords = std::unique_ptr<std::uint32_t[], TFree>;
TWords HugeWords(std::size_t count) {
  constexpr std::size_t Huge = std::size_t{2} << 20;
  const std::size_t bytes = (std::max<std::size_t>(count, 1) * 4 + Huge - 1) / Huge * Huge;
  void *memory = std::aligned_alloc(Huge, bytes);
  if (!memory)
    throw std::bad_alloc();
  AskHugePages(memory, bytes);
  return TWords(static_cast<std::uint32_t *>(memory));
}

// Rows first .. last of the picture as packed Lab, row after row without gaps.
// The colours are read in order, so the colour cache's slots can be asked
// for ahead of their use.
void ConvertRows(const QImage &image, int first, int last, TLabCache &cache, std::uint32_t *lab) {
  constexpr int Ahead = 16;
  const int w = image.width();
  for (int y = first; y < last; ++y) {
    const auto *row = reinterpret_cast<const std::uint32_t *>(image.constScanLine(y));
    std::uint32_t *out = lab + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
    for (int x = 0; x < w; ++x) {
      if (x + Ahead < w)
        cache.Prefetch(row[x + Ahead]);
      out[x] = cache.Packed(row[x]);
    }
  }
}

// The samples are random pixels of a picture far larger than the caches, so
// fetching them is what costs. Their positions do not depend on the pixels:
// draw a batch of positions ahead and ask for their memory before it is read.
// Samples begin .. begin + count of the sequence go to out.
void DrawSamples(const std::uint32_t *lab, int width, int height, std::int64_t begin,
                 std::int64_t count, std::uint32_t *samples) {
  constexpr int Batch = 32;
  const auto w = static_cast<std::uint32_t>(width);
  const auto h = static_cast<std::uint32_t>(height);
  TRandom random(SampleSeed);
  random.Skip(2 * static_cast<std::uint64_t>(begin)); // a sample draws y, then x
  // Two batches in flight: positions drawn, values read.
  const std::uint32_t *drawn[Batch], *read[Batch];
  auto draw = [&](std::int64_t first) {
    const std::int64_t n = std::min<std::int64_t>(Batch, count - first);
    for (std::int64_t j = 0; j < n; ++j) {
      const std::uint32_t y = random.Next(h);
      const std::uint32_t x = random.Next(w);
      drawn[j] = lab + static_cast<std::size_t>(y) * w + x;
      __builtin_prefetch(drawn[j]);
    }
  };
  std::int64_t first = 0;
  draw(0);
  while (first < count) {
    const std::int64_t n = std::min<std::int64_t>(Batch, count - first);
    std::copy(drawn, drawn + n, read);
    if (first + n < count)
      draw(first + n);
    for (std::int64_t j = 0; j < n; ++j)
      samples[static_cast<std::size_t>(first + j)] = *read[j];
    first += n;
  }
}

} // namespace

std::vector<TLabColor> QuantizeColorsReference(const QImage &picture,
                                               const std::function<void()> &progress) {
  if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
    return {};
  const QImage image = Mapped(picture);
  const int w = image.width(), h = image.height();
  const std::int64_t samples = static_cast<std::int64_t>(w) * h;
  std::vector<TCluster> clusters;
  for (int k = MaxClusters;; --k) {
    if (progress)
      progress();
    clusters.assign(static_cast<std::size_t>(k), {});
    for (int i = 0; i < k; ++i)
      clusters[static_cast<std::size_t>(i)].Add(ColorToLab(SeedPixel(image, i)));
    TRandom random(SampleSeed);
    for (std::int64_t n = 0; n < samples; ++n) {
      const auto y = static_cast<int>(random.Next(static_cast<std::uint32_t>(h)));
      const auto x = static_cast<int>(random.Next(static_cast<std::uint32_t>(w)));
      TCluster sample;
      sample.Add(ColorToLab(Pixel(image, x, y)));
      std::size_t best = 0;
      std::int64_t bestDistance = std::numeric_limits<std::int64_t>::max();
      for (std::size_t j = 0; j < clusters.size(); ++j) {
        const std::int64_t distance = Distance(sample, clusters[j]);
        if (distance < bestDistance) {
          bestDistance = distance;
          best = j;
        }
      }
      clusters[best].Add(sample);
    }
    if (RoundIsFinal(clusters, samples))
      break;
  }
  return MergeAndAverage(std::move(clusters));
}

std::uint64_t QuantizeColorsRuns() { return QuantizeRuns.load(); }

std::vector<TLabColor> QuantizeColors(const QImage &picture,
                                      const std::function<void()> &progress) {
  ++QuantizeRuns;
  if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
    return {};
  const QImage image = Mapped(picture);
  const int w = image.width(), h = image.height();
  const std::int64_t count = static_cast<std::int64_t>(w) * h;

  // Every round restarts the generator from the same seed, so every round
  // sees the same samples in the same order: draw and convert them once.
  // The picture is converted to Lab in order first, each colour through the
  // cache, so that the random draws then read one compact array and nothing
  // else. Both steps are split between two cores on large pictures, each
  // converting colours through its own cache.
  // A cache of about a sixteenth as many colours as there are pixels, from
  // 64 thousand to a million.
  int slotBits = 16;
  while (slotBits < 20 && (std::int64_t{16} << slotBits) < count)
    ++slotBits;
  TLabCache cache(slotBits);
  const bool beside = count >= ParallelSamples && std::thread::hardware_concurrency() > 1;
  // Every entry of both is written before it is read.
  const TWords samplesStorage = HugeWords(static_cast<std::size_t>(count));
  const std::span<std::uint32_t> samples(samplesStorage.get(), static_cast<std::size_t>(count));
  {
    const TWords lab = HugeWords(static_cast<std::size_t>(count));
    if (beside) {
      const int middle = h / 2;
      std::thread other([&] {
        TLabCache otherCache(slotBits);
        ConvertRows(image, middle, h, otherCache, lab.get());
      });
      ConvertRows(image, 0, middle, cache, lab.get());
      other.join();
      const std::int64_t half = count / 2;
      std::thread drawing([&] { DrawSamples(lab.get(), w, h, half, count - half, samples.data() + half); });
      DrawSamples(lab.get(), w, h, 0, half, samples.data());
      drawing.join();
    } else {
      ConvertRows(image, 0, h, cache, lab.get());
      DrawSamples(lab.get(), w, h, 0, count, samples.data());
    }
  }

  const TSampleRange range = RangeOf(samples);

  auto seeded = [&](int k) {
    std::vector<TCluster> clusters(static_cast<std::size_t>(k));
    for (int i = 0; i < k; ++i)
      clusters[static_cast<std::size_t>(i)].Add(cache.Lab(SeedPixel(image, i)));
    return clusters;
  };
  // Each round starts afresh from its own seeds over the same samples, so
  // the next smaller k may run beside it on a second core; its result is
  // used (and its progress shown) only when this round turns out not final.
  // Small pictures are not worth a thread.
  for (int k = MaxClusters;; k -= beside ? 2 : 1) {
    std::vector<TCluster> clusters = seeded(k);
    std::vector<TCluster> next;
    std::thread other;
    if (beside && k > 2) {
      next = seeded(k - 1);
      other = std::thread([&] { RunRound(next, samples, range); });
    }
    if (progress)
      progress();
    RunRound(clusters, samples, range);
    if (other.joinable())
      other.join();
    if (RoundIsFinal(clusters, count))
      return MergeAndAverage(std::move(clusters));
    if (!next.empty()) {
      if (progress)
        progress();
      if (RoundIsFinal(next, count))
        return MergeAndAverage(std::move(next));
    }
  }
}