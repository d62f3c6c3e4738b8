#include "Quantizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <thread>

// BRENNIX_NO_SIMD builds the portable round, so that it can be tested on x86 too.
#if defined(__SSE2__) && !defined(BRENNIX_NO_SIMD)
#include <emmintrin.h>
#endif

#include <QImage>

#include "LabCache.h"
#include "core/ColorUnit.h"

namespace {

constexpr int MaxClusters = 9;
constexpr std::uint32_t SampleSeed = 123;
// Merging stops once the two nearest clusters are this far apart.
constexpr std::int64_t MergeDistance = 200;
// Pictures from this many pixels on run two rounds at a time.
constexpr std::int64_t ParallelSamples = 1 << 20;

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

void AddSample(TCluster &cluster, int l, int a, int b) {
  cluster.L += l;
  cluster.a += a;
  cluster.b += b;
  ++cluster.Count;
}

int SampleL(std::uint32_t packed) { return static_cast<std::int8_t>(packed & 0xFF); }
int SampleA(std::uint32_t packed) { return static_cast<std::int8_t>(packed >> 8 & 0xFF); }
int SampleB(std::uint32_t packed) { return static_cast<std::int8_t>(packed >> 16 & 0xFF); }

#if defined(__SSE2__) && !defined(BRENNIX_NO_SIMD)
// One sampling round over the prepared samples, all clusters compared at
// once. A distance is at most 100^2 + 2 x 85^2, so it fits a signed 16-bit
// lane: two registers hold nine clusters, and unused lanes read as the
// largest distance. The first lane holding the minimum is the first cluster
// on ties. Means are kept in the registers and reloaded only when the
// receiving cluster's truncated mean actually moves, which soon becomes rare.
void RunRound(std::vector<TCluster> &clusters, const std::vector<std::uint32_t> &samples) {
  const int k = static_cast<int>(clusters.size());
  alignas(16) std::int16_t meanL[16] = {}, meanA[16] = {}, meanB[16] = {}, unused[16] = {};
  for (int j = 0; j < 16; ++j)
    unused[j] = j < k ? 0 : 0x7FFF;
  auto store = [&](int j) {
    const TMean mean =
        MeanOf(clusters[static_cast<std::size_t>(j)], {meanL[j], meanA[j], meanB[j]});
    const bool moved = meanL[j] != mean.L || meanA[j] != mean.a || meanB[j] != mean.b;
    meanL[j] = static_cast<std::int16_t>(mean.L);
    meanA[j] = static_cast<std::int16_t>(mean.a);
    meanB[j] = static_cast<std::int16_t>(mean.b);
    return moved;
  };
  for (int j = 0; j < k; ++j)
    store(j);
  __m128i l0, l1, a0, a1, b0, b1;
  auto load = [&] {
    l0 = _mm_load_si128(reinterpret_cast<const __m128i *>(meanL));
    l1 = _mm_load_si128(reinterpret_cast<const __m128i *>(meanL + 8));
    a0 = _mm_load_si128(reinterpret_cast<const __m128i *>(meanA));
    a1 = _mm_load_si128(reinterpret_cast<const __m128i *>(meanA + 8));
    b0 = _mm_load_si128(reinterpret_cast<const __m128i *>(meanB));
    b1 = _mm_load_si128(reinterpret_cast<const __m128i *>(meanB + 8));
  };
  load();
  const __m128i unused0 = _mm_load_si128(reinterpret_cast<const __m128i *>(unused));
  const __m128i unused1 = _mm_load_si128(reinterpret_cast<const __m128i *>(unused + 8));
  const __m128i oneThird = _mm_set1_epi16(0x5556);
  // d div 3, truncating toward zero, for |d| <= 255.
  auto third = [&](__m128i d) {
    return _mm_sub_epi16(_mm_mulhi_epi16(d, oneThird), _mm_srai_epi16(d, 15));
  };
  auto distance = [&](__m128i l, __m128i a, __m128i b, __m128i ml, __m128i ma, __m128i mb,
                      __m128i pad) {
    const __m128i dl = _mm_sub_epi16(l, ml);
    const __m128i da = third(_mm_sub_epi16(a, ma));
    const __m128i db = third(_mm_sub_epi16(b, mb));
    const __m128i sum = _mm_add_epi16(
        _mm_mullo_epi16(dl, dl), _mm_add_epi16(_mm_mullo_epi16(da, da), _mm_mullo_epi16(db, db)));
    return _mm_or_si128(sum, pad);
  };
  for (const std::uint32_t packed : samples) {
    const int l = SampleL(packed), a = SampleA(packed), b = SampleB(packed);
    const __m128i vl = _mm_set1_epi16(static_cast<short>(l));
    const __m128i va = _mm_set1_epi16(static_cast<short>(a));
    const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
    const __m128i d0 = distance(vl, va, vb, l0, a0, b0, unused0);
    const __m128i d1 = distance(vl, va, vb, l1, a1, b1, unused1);
    __m128i m = _mm_min_epi16(d0, d1);
    m = _mm_min_epi16(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm_min_epi16(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    m = _mm_min_epi16(m, _mm_shufflelo_epi16(m, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m128i smallest = _mm_set1_epi16(static_cast<short>(_mm_extract_epi16(m, 0)));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(d0, smallest))) |
                      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(d1, smallest))) << 16;
    const int best = __builtin_ctz(mask) / 2;
    AddSample(clusters[static_cast<std::size_t>(best)], l, a, b);
    if (store(best))
      load();
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
void RunRound(std::vector<TCluster> &clusters, const std::vector<std::uint32_t> &samples) {
  const TThirdSquares thirdSquare;
  std::vector<TMean> means;
  for (const auto &cluster : clusters)
    means.push_back(MeanOf(cluster, {0, 0, 0}));
  for (const std::uint32_t packed : samples) {
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
    AddSample(clusters[best], l, a, b);
    means[best] = MeanOf(clusters[best], means[best]);
  }
}
#endif

// The samples are random pixels of a picture far larger than the caches, so
// fetching them is what costs. Their positions do not depend on the pixels:
// draw a batch of positions ahead and ask for their memory before it is read,
// and likewise for the colour cache's slots.
std::vector<std::uint32_t> DrawSamples(const QImage &image, std::int64_t count, TLabCache &cache) {
  constexpr int Batch = 32;
  const auto w = static_cast<std::uint32_t>(image.width());
  const auto h = static_cast<std::uint32_t>(image.height());
  const auto *bits = reinterpret_cast<const std::uint32_t *>(image.constBits());
  const std::size_t stride = static_cast<std::size_t>(image.bytesPerLine()) / 4;
  std::vector<std::uint32_t> samples(static_cast<std::size_t>(count));
  TRandom random(SampleSeed);
  // Three batches in flight: positions drawn, pixels read, colours converted.
  const std::uint32_t *drawn[Batch], *read[Batch];
  std::uint32_t colours[Batch];
  auto draw = [&](std::int64_t first) {
    const std::int64_t n = std::min<std::int64_t>(Batch, count - first);
    for (std::int64_t j = 0; j < n; ++j) {
      const std::uint32_t y = random.Next(h);
      const std::uint32_t x = random.Next(w);
      drawn[j] = bits + y * stride + x;
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
    for (std::int64_t j = 0; j < n; ++j) {
      colours[j] = *read[j];
      cache.Prefetch(colours[j]);
    }
    for (std::int64_t j = 0; j < n; ++j)
      samples[static_cast<std::size_t>(first + j)] = cache.Packed(colours[j]);
    first += n;
  }
  return samples;
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

std::vector<TLabColor> QuantizeColors(const QImage &picture,
                                      const std::function<void()> &progress) {
  if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
    return {};
  const QImage image = Mapped(picture);
  const int w = image.width(), h = image.height();
  const std::int64_t count = static_cast<std::int64_t>(w) * h;

  // Every round restarts the generator from the same seed, so every round
  // sees the same samples in the same order: draw and convert them once.
  TLabCache cache;
  const std::vector<std::uint32_t> samples = DrawSamples(image, count, cache);

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
  const bool beside = count >= ParallelSamples && std::thread::hardware_concurrency() > 1;
  for (int k = MaxClusters;; k -= beside ? 2 : 1) {
    std::vector<TCluster> clusters = seeded(k);
    std::vector<TCluster> next;
    std::thread other;
    if (beside && k > 2) {
      next = seeded(k - 1);
      other = std::thread([&] { RunRound(next, samples); });
    }
    if (progress)
      progress();
    RunRound(clusters, samples);
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