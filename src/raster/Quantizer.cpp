#include "Quantizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include <QImage>

#include "ColorUnit.h"
#include "LabCache.h"

namespace {

constexpr int MaxClusters = 9;
constexpr std::uint32_t SampleSeed = 123;
// Merging stops once the two nearest clusters are this far apart.
constexpr std::int64_t MergeDistance = 200;

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

// ((d) div 3)^2 for every difference of two a or b values, -255..255.
struct TThirdSquares {
  std::array<std::int32_t, 511> Values;
  TThirdSquares() {
    for (int d = -255; d <= 255; ++d)
      Values[static_cast<std::size_t>(d + 255)] = (d / 3) * (d / 3);
  }
  std::int32_t operator()(int d) const { return Values[static_cast<std::size_t>(d + 255)]; }
};

// One sampling round over the prepared samples with K clusters. The cluster
// means are kept up to date as the sums change, so each sample costs K small
// integer distances; only the receiving cluster's mean is worked out again.
template <int K>
void RunRound(std::vector<TCluster> &clusters, const std::vector<std::uint32_t> &samples,
              const TThirdSquares &thirdSquare) {
  std::int32_t meanL[K], meanA[K], meanB[K];
  auto refresh = [&](int j) {
    // Truncating division through double is exact here: the sums stay far
    // below 2^53 and a quotient's distance to the next integer is at least
    // 1 / count, far above double's rounding error.
    const double count = static_cast<double>(clusters[j].Count);
    meanL[j] = static_cast<std::int32_t>(static_cast<double>(clusters[j].L) / count);
    meanA[j] = static_cast<std::int32_t>(static_cast<double>(clusters[j].a) / count);
    meanB[j] = static_cast<std::int32_t>(static_cast<double>(clusters[j].b) / count);
  };
  for (int j = 0; j < K; ++j)
    refresh(j);
  for (const std::uint32_t packed : samples) {
    const int l = static_cast<std::int8_t>(packed & 0xFF);
    const int a = static_cast<std::int8_t>(packed >> 8 & 0xFF);
    const int b = static_cast<std::int8_t>(packed >> 16 & 0xFF);
    int best = 0;
    std::int32_t bestDistance = std::numeric_limits<std::int32_t>::max();
    for (int j = 0; j < K; ++j) {
      const std::int32_t dl = l - meanL[j];
      const std::int32_t distance = dl * dl + thirdSquare(a - meanA[j]) + thirdSquare(b - meanB[j]);
      if (distance < bestDistance) {
        bestDistance = distance;
        best = j;
      }
    }
    TCluster &cluster = clusters[static_cast<std::size_t>(best)];
    cluster.L += l;
    cluster.a += a;
    cluster.b += b;
    ++cluster.Count;
    refresh(best);
  }
}

using TRoundFunction = void (*)(std::vector<TCluster> &, const std::vector<std::uint32_t> &,
                                const TThirdSquares &);
constexpr TRoundFunction Rounds[MaxClusters + 1] = {
    nullptr,     nullptr,     RunRound<2>, RunRound<3>, RunRound<4>,
    RunRound<5>, RunRound<6>, RunRound<7>, RunRound<8>, RunRound<9>};

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
  std::vector<std::uint32_t> samples(static_cast<std::size_t>(count));
  TRandom random(SampleSeed);
  for (auto &sample : samples) {
    const auto y = static_cast<int>(random.Next(static_cast<std::uint32_t>(h)));
    const auto x = static_cast<int>(random.Next(static_cast<std::uint32_t>(w)));
    sample = cache.Packed(Pixel(image, x, y));
  }

  const TThirdSquares thirdSquare;
  std::vector<TCluster> clusters;
  for (int k = MaxClusters;; --k) {
    if (progress)
      progress();
    clusters.assign(static_cast<std::size_t>(k), {});
    for (int i = 0; i < k; ++i)
      clusters[static_cast<std::size_t>(i)].Add(cache.Lab(SeedPixel(image, i)));
    Rounds[k](clusters, samples, thirdSquare);
    if (RoundIsFinal(clusters, count))
      break;
  }
  return MergeAndAverage(std::move(clusters));
}
