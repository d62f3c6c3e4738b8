// The raster reader on a 12-megapixel photo-like picture: the colour
// quantiser (prepared samples against the plain per-round conversion), the
// whole load from JPEG bytes, and the scan-line vectoriser for a
// 300 mm x 200 mm engraving at a 0.1 mm focus, in colour levels, dithered and
// in gray levels. On a 17.9-megapixel wallpaper, the quantiser beside
// ImageMagick's convert -colors 9 reading the same pixels (skipped, saying
// so, when convert is not installed). BRENNIX_WALLPAPER names a photo to use
// in place of the made-up wallpaper. Both sides count processor seconds of
// every thread, since the quantiser and convert may each use two cores.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "core/ColorUnit.h"
#include "core/HeadlessHost.h"
#include "core/Levels.h"
#include "raster/LabCache.h"
#include "raster/Quantizer.h"
#include "raster/RasterModes.h"
#include "raster/RasterReader.h"

namespace {

// Sky and ground gradients, a sun, a few objects of flat colour, soft
// shading and sensor noise: a million or more distinct colours, like a photo.
QImage MakePhoto(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  std::mt19937 random(2024);
  std::normal_distribution<float> noise(0.0f, 3.0f);
  auto clamp = [](float v) { return std::clamp(static_cast<int>(std::lround(v)), 0, 255); };
  for (int y = 0; y < h; ++y) {
    auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
    const float fy = static_cast<float>(y) / static_cast<float>(h);
    for (int x = 0; x < w; ++x) {
      const float fx = static_cast<float>(x) / static_cast<float>(w);
      float r, g, b;
      if (fy < 0.55f) { // sky
        r = 110 + 120 * fy;
        g = 160 + 70 * fy;
        b = 240 - 30 * fy;
        const float sx = fx - 0.75f, sy = fy - 0.2f;
        if (sx * sx + sy * sy < 0.004f)
          r = 255, g = 240, b = 190;
      } else { // ground with a field pattern
        r = 70 + 40 * std::sin(fx * 40) + 30 * fy;
        g = 120 + 30 * std::sin(fx * 13 + fy * 20);
        b = 40 + 20 * fy;
      }
      const float hx = fx - 0.3f, hy = fy - 0.6f;
      if (std::abs(hx) < 0.12f && std::abs(hy) < 0.15f) { // a red house
        r = 170 + 40 * hy;
        g = 40;
        b = 35;
      }
      if (fx > 0.55f && fx < 0.62f && fy > 0.35f) { // a dark tree trunk
        r = g = b = 35 + 20 * fx;
      }
      row[x] = qRgb(clamp(r + noise(random)), clamp(g + noise(random)), clamp(b + noise(random)));
    }
  }
  return image;
}

const QImage &Photo() {
  static const QImage photo = MakePhoto(4000, 3000);
  return photo;
}

const QByteArray &PhotoJpeg() {
  static const QByteArray bytes = [] {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    Photo().save(&buffer, "jpg", 90);
    return data;
  }();
  return bytes;
}

void Quantize(benchmark::State &state, bool fast) {
  const QImage &photo = Photo();
  int rounds = 0;
  std::size_t colours = 0;
  for (auto _ : state) {
    rounds = 0;
    const auto result = fast ? QuantizeColors(photo, [&] { ++rounds; })
                             : QuantizeColorsReference(photo, [&] { ++rounds; });
    colours = result.size();
    benchmark::DoNotOptimize(result.data());
  }
  state.counters["rounds"] = rounds;
  state.counters["colours"] = static_cast<double>(colours);
  state.counters["megapixels"] = photo.width() * photo.height() / 1e6;
}

void BM_QuantizeColors(benchmark::State &state) { Quantize(state, true); }
void BM_QuantizeColorsReference(benchmark::State &state) { Quantize(state, false); }
BENCHMARK(BM_QuantizeColors)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_QuantizeColorsReference)->Unit(benchmark::kMillisecond)->Iterations(1);

// Lab conversion of every pixel: plain ColorToLab against the cached one.
void BM_ColorToLabPlain(benchmark::State &state) {
  const QImage &photo = Photo();
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (int y = 0; y < photo.height(); ++y) {
      const auto *row = reinterpret_cast<const QRgb *>(photo.constScanLine(y));
      for (int x = 0; x < photo.width(); ++x)
        sum += static_cast<std::uint64_t>(ColorToLab(row[x]).L);
    }
    benchmark::DoNotOptimize(sum);
  }
}
void BM_ColorToLabCached(benchmark::State &state) {
  const QImage &photo = Photo();
  for (auto _ : state) {
    TLabCache cache;
    std::uint64_t sum = 0;
    for (int y = 0; y < photo.height(); ++y) {
      const auto *row = reinterpret_cast<const QRgb *>(photo.constScanLine(y));
      for (int x = 0; x < photo.width(); ++x)
        sum += cache.Packed(row[x]) & 0xFF;
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_ColorToLabPlain)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ColorToLabCached)->Unit(benchmark::kMillisecond)->Iterations(3);

// Decoding, flattening, quantising and naming, as opening the file does.
void BM_LoadJpeg(benchmark::State &state) {
  const QByteArray &bytes = PhotoJpeg();
  for (auto _ : state) {
    const TReadResult result = ReadRasterBytes(bytes, {});
    benchmark::DoNotOptimize(result.Levels.data());
  }
  state.counters["jpeg_MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_LoadJpeg)->Unit(benchmark::kMillisecond)->Iterations(3);

// 300 mm x 200 mm at 0.1 mm: 3000 x 2000 cells from the 12-megapixel picture.
void BM_VectorizeRaster(benchmark::State &state) {
  THeadlessHost host;
  TLevels levels(host, false);
  levels.SetFocus(100); // 10 units of 0.01 mm
  // Nine levels, as many as a busy photo gives, spread over the picture's colours.
  for (const QRgb colour : {0xFFFFFFFFu, 0xFF87CEEBu, 0xFF6FA0E8u, 0xFFA0B8E0u, 0xFF7A7A40u,
                            0xFF508030u, 0xFFA03028u, 0xFF303030u, 0xFFFFF0C0u}) {
    auto level = std::make_unique<TLevel>(lkLines);
    GenerateName(*level, ColorToLab(colour));
    levels.Add(std::move(level));
  }
  levels.SetRaster(&Photo());
  levels.SetOutput({30000, 20000});
  levels.RunCycles(); // settles the requested cycle, so nothing cuts the rebuild short
  std::size_t segments = 0;
  for (auto _ : state) {
    VectorizeRaster(levels);
    segments = 0;
    for (int i = 0; i < levels.Count(); ++i)
      segments += levels.Item(i)->Input()->front().size();
  }
  state.counters["segments"] = static_cast<double>(segments);
  state.counters["levels"] = levels.Count();
}
BENCHMARK(BM_VectorizeRaster)->Unit(benchmark::kMillisecond)->Iterations(3);

// The wallpaper size of today's desktops: 5640 x 3172, 17.9 megapixels.
const QImage &Wallpaper() {
  static const QImage photo = [] {
    if (const char *file = std::getenv("BRENNIX_WALLPAPER"); file && *file) {
      const QImage read(QString::fromLocal8Bit(file));
      if (!read.isNull())
        return read.convertToFormat(QImage::Format_RGB32);
    }
    return MakePhoto(5640, 3172);
  }();
  return photo;
}

// Processor seconds of the children that have ended so far.
double ChildCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_QuantizeWallpaper(benchmark::State &state) {
  std::size_t colours = 0;
  int rounds = 0;
  for (auto _ : state) {
    rounds = 0;
    const auto result = QuantizeColors(Wallpaper(), [&] { ++rounds; });
    colours = result.size();
    benchmark::DoNotOptimize(result.data());
  }
  state.counters["colours"] = static_cast<double>(colours);
  state.counters["rounds"] = rounds;
  state.counters["megapixels"] = Wallpaper().width() * Wallpaper().height() / 1e6;
}
BENCHMARK(BM_QuantizeWallpaper)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();

// ImageMagick's quantiser on the same pixels, read from an uncompressed file
// and written nowhere, so that little else than its colour reduction counts.
void BM_ImageMagickColors9Wallpaper(benchmark::State &state) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) {
    state.SkipWithError("ImageMagick's convert is not installed: no comparison");
    return;
  }
  QTemporaryDir dir;
  const QString file = dir.filePath("wallpaper.ppm");
  if (!Wallpaper().save(file, "PPM")) {
    state.SkipWithError("cannot write the wallpaper for convert");
    return;
  }
  const std::string command = "convert '" + file.toStdString() + "' -colors 9 null:";
  const double before = ChildCpuSeconds();
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("convert failed");
      return;
    }
  state.counters["convert_cpu_ms"] =
      1000 * (ChildCpuSeconds() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ImageMagickColors9Wallpaper)->Unit(benchmark::kMillisecond)->Iterations(3);

// Reading the same file with convert alone, to tell its decoding from its quantising.
void BM_ImageMagickReadWallpaper(benchmark::State &state) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) {
    state.SkipWithError("ImageMagick's convert is not installed: no comparison");
    return;
  }
  QTemporaryDir dir;
  const QString file = dir.filePath("wallpaper.ppm");
  Wallpaper().save(file, "PPM");
  const std::string command = "convert '" + file.toStdString() + "' null:";
  const double before = ChildCpuSeconds();
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("convert failed");
      return;
    }
  state.counters["convert_cpu_ms"] =
      1000 * (ChildCpuSeconds() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ImageMagickReadWallpaper)->Unit(benchmark::kMillisecond)->Iterations(3);

// 300 mm x 200 mm at a 0.1 mm focus in a raster mode: scaling, gray, dither
// or bands, and the scan-line runs.
void RasterMode(benchmark::State &state, TRasterSettings settings) {
  THeadlessHost host;
  TLevels levels(host, false);
  levels.SetFocus(100);
  levels.SetRaster(&Photo());
  levels.SetSize({30000, 20000});
  ApplyRasterMode(levels, settings);
  levels.SetOutput({30000, 20000});
  levels.RunCycles();
  std::size_t segments = 0;
  for (auto _ : state) {
    VectorizeRasterMode(levels, settings);
    segments = 0;
    for (int i = 0; i < levels.Count(); ++i)
      if (levels.Item(i)->Kind() == lkLines)
        segments += levels.Item(i)->Input()->front().size();
  }
  state.counters["segments"] = static_cast<double>(segments);
}
void BM_DitherFloydSteinberg(benchmark::State &state) {
  TRasterSettings settings;
  settings.Mode = TRasterMode::Dithered;
  RasterMode(state, settings);
}
void BM_DitherJarvis(benchmark::State &state) {
  TRasterSettings settings;
  settings.Mode = TRasterMode::Dithered;
  settings.Kernel = TDitherKernel::JarvisJudiceNinke;
  RasterMode(state, settings);
}
void BM_DitherBayer(benchmark::State &state) {
  TRasterSettings settings;
  settings.Mode = TRasterMode::Dithered;
  settings.Kernel = TDitherKernel::Bayer;
  RasterMode(state, settings);
}
void BM_GrayLevels16(benchmark::State &state) {
  TRasterSettings settings;
  settings.Mode = TRasterMode::GrayLevels;
  RasterMode(state, settings);
}
BENCHMARK(BM_DitherFloydSteinberg)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DitherJarvis)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DitherBayer)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GrayLevels16)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
