#include "raster/RasterModes.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include <QImage>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/HeadlessHost.h"
#include "core/Levels.h"
#include "io/FileIntake.h"
#include "raster/Quantizer.h"

namespace {

constexpr TDitherKernel DiffusionKernels[] = {
    TDitherKernel::FloydSteinberg, TDitherKernel::JarvisJudiceNinke, TDitherKernel::Stucki,
    TDitherKernel::Atkinson, TDitherKernel::Sierra};
constexpr TDitherKernel AllKernels[] = {
    TDitherKernel::FloydSteinberg, TDitherKernel::JarvisJudiceNinke,
    TDitherKernel::Stucki,         TDitherKernel::Atkinson,
    TDitherKernel::Sierra,         TDitherKernel::Bayer,
    TDitherKernel::Threshold};

double DarkShare(const std::vector<std::uint8_t> &dark, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to; ++i)
    sum += dark[i];
  return sum / static_cast<double>(to - from);
}

TEST(Dither, ConstantGrayGivesItsDarknessAsTheShareOfBurntSamples) {
  constexpr int Size = 256;
  for (const TDitherKernel kernel : DiffusionKernels)
    for (const float gray : {0.1f, 0.25f, 0.5f, 0.7f, 0.9f}) {
      // Atkinson drops a quarter of the error by design, which pushes every
      // gray but the middle one towards black or white (by 5 to 8 % at a
      // quarter from the middle): it is held to the middle gray only.
      if (kernel == TDitherKernel::Atkinson && gray != 0.5f)
        continue;
      const std::vector<float> samples(Size * Size, gray);
      const auto dark = Dither(samples, Size, Size, kernel);
      EXPECT_NEAR(DarkShare(dark, 0, dark.size()), 1.0 - gray, 0.01)
          << DitherKernelName(kernel) << " at " << gray;
    }
}

TEST(Dither, AGradientDarkensSteadily) {
  // Lightness rising from left to right: the burnt share of each band of
  // columns falls, for every kernel.
  constexpr int Width = 512, Height = 128, Band = 32;
  std::vector<float> samples(Width * Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      samples[static_cast<std::size_t>(y * Width + x)] = (x + 0.5f) / Width;
  for (const TDitherKernel kernel : AllKernels) {
    const auto dark = Dither(samples, Width, Height, kernel);
    double previous = 2;
    for (int band = 0; band < Width / Band; ++band) {
      double sum = 0;
      for (int y = 0; y < Height; ++y)
        for (int x = band * Band; x < (band + 1) * Band; ++x)
          sum += dark[static_cast<std::size_t>(y * Width + x)];
      const double share = sum / (Band * Height);
      EXPECT_LE(share, previous) << DitherKernelName(kernel) << ", band " << band;
      previous = share;
    }
    EXPECT_GT(DarkShare(dark, 0, 8), 0.9) << DitherKernelName(kernel);
  }
}

TEST(Dither, OrderedDitherOfHalfGrayIsACheckerboard) {
  constexpr int Size = 16;
  const std::vector<float> samples(Size * Size, 0.5f);
  const auto dark = Dither(samples, Size, Size, TDitherKernel::Bayer);
  for (int y = 0; y < Size; ++y)
    for (int x = 0; x < Size; ++x) {
      const auto at = static_cast<std::size_t>(y * Size + x);
      if (x + 1 < Size) {
        EXPECT_NE(dark[at], dark[at + 1]) << x << "," << y;
      }
      if (y + 1 < Size) {
        EXPECT_NE(dark[at], dark[at + Size]) << x << "," << y;
      }
    }
  EXPECT_DOUBLE_EQ(DarkShare(dark, 0, dark.size()), 0.5);
}

TEST(Dither, OrderedDitherSpreadsEveryShareOfTheEightByEightTile) {
  // k sixty-fourths of darkness burn exactly k cells of every tile.
  for (int k = 0; k <= 64; k += 7) {
    const std::vector<float> samples(64, 1.0f - k / 64.0f);
    const auto dark = Dither(samples, 8, 8, TDitherKernel::Bayer);
    EXPECT_EQ(DarkShare(dark, 0, 64) * 64, k) << k;
  }
}

TEST(Dither, WhiteNeverBurnsNorPassesErrorOn) {
  // A white stripe through dark gray: error from the gray must not burn it,
  // and the gray beyond it dithers as if the stripe were not there.
  constexpr int Width = 96, Height = 96;
  std::vector<float> samples(Width * Height, 0.3f);
  for (int y = 0; y < Height; ++y)
    for (int x = 40; x < 56; ++x)
      samples[static_cast<std::size_t>(y * Width + x)] = 1.0f;
  for (const TDitherKernel kernel : AllKernels) {
    const auto dark = Dither(samples, Width, Height, kernel);
    for (int y = 0; y < Height; ++y)
      for (int x = 40; x < 56; ++x)
        ASSERT_EQ(dark[static_cast<std::size_t>(y * Width + x)], 0)
            << DitherKernelName(kernel) << " at " << x << "," << y;
  }
}

TEST(Dither, RefusesSamplesThatDoNotFillTheGrid) {
  EXPECT_THROW(Dither(std::vector<float>(10, 0.5f), 4, 4, TDitherKernel::Stucki),
               std::invalid_argument);
}

TEST(Tone, WhiteStaysWhiteAndTheAdjustmentsMoveGraysTheWayTheySay) {
  TRasterSettings plain, brighter, contrast, gamma;
  brighter.Brightness = 20;
  contrast.Contrast = 50;
  gamma.Gamma = 2;
  for (const auto *s : {&plain, &brighter, &contrast, &gamma})
    EXPECT_EQ(AdjustTone(1.0f, *s), 1.0f);
  EXPECT_EQ(Lightness(0xFFFFFFFF), 1.0f);
  EXPECT_NEAR(Lightness(0xFF000000), 0.0f, 1e-6);
  EXPECT_LT(AdjustTone(0.99f, brighter), 1.0f); // bright gray is not paper
  EXPECT_GT(AdjustTone(0.4f, brighter), AdjustTone(0.4f, plain));
  EXPECT_LT(AdjustTone(0.3f, contrast), AdjustTone(0.3f, plain));
  EXPECT_GT(AdjustTone(0.7f, contrast), AdjustTone(0.7f, plain));
  EXPECT_LT(AdjustTone(0.5f, gamma), AdjustTone(0.5f, plain));
  // Middle gray (sRGB 119) is close to L* 50.
  EXPECT_NEAR(Lightness(0xFF777777), 0.50f, 0.01f);
}

TEST(GrayLevels, BandsCoverTheGrayScaleInOrderAndPowersFollowTheCurve) {
  for (const int bands : {2, 16, 64}) {
    int previous = bands; // darker first
    for (int g = 0; g < 255; ++g) {
      const int band = GrayBand(g / 255.0f, bands);
      ASSERT_GE(band, 0);
      ASSERT_LT(band, bands);
      EXPECT_LE(band, previous) << g;
      previous = band;
    }
    EXPECT_EQ(GrayBand(0.0f, bands), bands - 1);
    EXPECT_EQ(GrayBand(0.999f, bands), 0);
    EXPECT_EQ(GrayBand(1.0f, bands), -1);
  }
  TRasterSettings two;
  two.GrayLevels = 2;
  // Middles at a quarter and three quarters of the darkness.
  EXPECT_EQ(BandPower(0, two), 64);
  EXPECT_EQ(BandPower(1, two), 191);
  two.MinPower = 100;
  two.MaxPower = 200;
  two.PowerGamma = 2;
  EXPECT_EQ(BandPower(0, two), 106); // 100 + 100 / 16
  EXPECT_EQ(BandPower(1, two), 156); // 100 + 100 * 9 / 16
}

TEST(ScanRuns, JoinsNeighboursOfOneLabelIntoOneShortenedSegmentBottomRowFirst) {
  // Two rows of five, the top row first; focus 30 units.
  const std::vector<std::int16_t> labels{-1, 0, 0,  1, 1, //
                                         0,  0, -1, 0, -1};
  const auto runs = ScanRuns(labels, 5, 2, 30, 2);
  ASSERT_EQ(runs.size(), 2u);
  const TPaths zero{{{10, 15}, {50, 15}}, {{100, 15}, {110, 15}}, {{40, 45}, {80, 45}}};
  const TPaths one{{{100, 45}, {140, 45}}};
  EXPECT_EQ(runs[0], zero);
  EXPECT_EQ(runs[1], one);
}

TEST(Overscan, RunsOnUntilTheLevelSpeedIsReached) {
  struct TCase {
    std::int32_t Speed; // hundredths of mm/s
    double Acceleration, Fixed, Expected;
  } cases[] = {
      {10000, 1000, 0, 5.0}, // 100 mm/s at 1000 mm/s^2
      {5000, 500, 9, 2.5},   // the acceleration wins over the fixed length
      {20000, 3000, 0, 20.0 / 3.0}, {0, 1000, 0, 0.0}, {10000, 0, 3, 3.0}, // no acceleration known
      {10000, 0, -1, 0.0},
  };
  for (const auto &c : cases)
    EXPECT_DOUBLE_EQ(OverscanLength(c.Speed, c.Acceleration, c.Fixed), c.Expected)
        << c.Speed << " at " << c.Acceleration;
}

TEST(RasterModeNames, RoundTripAndRefuseOthers) {
  for (const auto mode :
       {TRasterMode::ColourLevels, TRasterMode::Dithered, TRasterMode::GrayLevels})
    EXPECT_EQ(RasterModeByName(RasterModeName(mode)), mode);
  for (const TDitherKernel kernel : AllKernels)
    EXPECT_EQ(DitherKernelByName(DitherKernelName(kernel)), kernel);
  EXPECT_FALSE(RasterModeByName("halftone"));
  EXPECT_FALSE(DitherKernelByName(""));
}

TEST(RasterSettingsProblem, NamesWhatIsOutOfRange) {
  TRasterSettings s;
  EXPECT_EQ(RasterSettingsProblem(s), "");
  s.GrayLevels = 65;
  EXPECT_NE(RasterSettingsProblem(s).find("gray levels"), std::string::npos);
  s = {};
  s.MinPower = 200;
  s.MaxPower = 100;
  EXPECT_NE(RasterSettingsProblem(s).find("powers"), std::string::npos);
  s = {};
  s.Gamma = 0;
  EXPECT_NE(RasterSettingsProblem(s).find("gamma"), std::string::npos);
}

// A picture in a level list without a worker: 0.2 mm focus, 20 units a spot.
struct TModeJob {
  THeadlessHost Host;
  TLevels Levels{Host, false};
  explicit TModeJob(const QImage &picture) {
    Levels.SetFocus(200);
    Levels.SetRaster(&picture);
    Levels.SetSize({picture.width() * 20, picture.height() * 20});
    Levels.SetOutput({picture.width() * 20, picture.height() * 20});
  }
  std::vector<const TLevel *> LinesLevels() const {
    std::vector<const TLevel *> result;
    for (int i = 0; i < Levels.Count(); ++i)
      if (Levels.Item(i)->Kind() == lkLines)
        result.push_back(Levels.Item(i));
    return result;
  }
};

// Left half black-to-gray columns, right half white paper.
QImage HalfPaper(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(0xFFFFFFFF);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w / 2; ++x) {
      const int g = 200 * x / (w / 2);
      image.setPixel(x, y, qRgb(g, g, g));
    }
  return image;
}

TEST(ApplyRasterMode, EveryModeBurnsOnlyLeftOfThePaper) {
  constexpr int W = 40, H = 12;
  const QImage picture = HalfPaper(W, H);
  TRasterSettings dithered, ordered, gray;
  dithered.Mode = TRasterMode::Dithered;
  ordered.Mode = TRasterMode::Dithered;
  ordered.Kernel = TDitherKernel::Bayer;
  ordered.Brightness = 30; // a brighter picture still leaves paper alone
  gray.Mode = TRasterMode::GrayLevels;
  gray.GrayLevels = 8;
  for (const auto &settings : {dithered, ordered, gray}) {
    TModeJob job(picture);
    ASSERT_TRUE(ApplyRasterMode(job.Levels, settings));
    job.Levels.RunCycles();
    const auto lines = job.LinesLevels();
    ASSERT_EQ(lines.size(), settings.Mode == TRasterMode::Dithered ? 1u : 8u);
    std::size_t runs = 0;
    for (const TLevel *level : lines)
      for (const TPaths &paths : *level->Input())
        for (const TPath &run : paths) {
          ++runs;
          ASSERT_EQ(run.size(), 2u);
          EXPECT_LE(run[1].X, W / 2 * 20) << RasterSettingsText(settings);
          EXPECT_LT(run[0].X, run[1].X);
        }
    EXPECT_GT(runs, static_cast<std::size_t>(H)) << RasterSettingsText(settings);
    // The burn paths are the runs: they reach the G-code like any lines level.
    std::size_t burnt = 0;
    for (const TLevel *level : lines)
      burnt += level->OutputCount();
    EXPECT_GT(burnt, 0u);
  }
}

TEST(ApplyRasterMode, GrayBandsGetTheCurvePowersDarkestLast) {
  TModeJob job(HalfPaper(32, 4));
  TRasterSettings gray;
  gray.Mode = TRasterMode::GrayLevels;
  gray.GrayLevels = 4;
  gray.MinPower = 40;
  gray.MaxPower = 240;
  ASSERT_TRUE(ApplyRasterMode(job.Levels, gray));
  const auto lines = job.LinesLevels();
  ASSERT_EQ(lines.size(), 4u);
  for (int band = 0; band < 4; ++band) {
    // Middles at 1/8, 3/8, 5/8 and 7/8 of the darkness.
    EXPECT_EQ(lines[static_cast<std::size_t>(band)]->Power(), 40 + 25 * (2 * band + 1));
    if (band > 0) {
      EXPECT_LT(lines[static_cast<std::size_t>(band)]->LabColor().L,
                lines[static_cast<std::size_t>(band - 1)]->LabColor().L);
    }
  }
}

TEST(VectorizeRasterMode, RefusesAGridTooLargeForMemoryAndClearsWhatAnEarlierSizeLeft) {
  TRasterSettings dithered, gray;
  dithered.Mode = TRasterMode::Dithered;
  gray.Mode = TRasterMode::GrayLevels;
  gray.GrayLevels = 4;
  for (const auto &settings : {dithered, gray}) {
    TModeJob job(HalfPaper(16, 4));
    ASSERT_TRUE(ApplyRasterMode(job.Levels, settings));
    job.Levels.RunCycles();
    std::size_t before = 0;
    for (const TLevel *level : job.LinesLevels())
      before += level->Input()->empty() ? 0 : level->Input()->front().size();
    ASSERT_GT(before, 0u) << RasterSettingsText(settings);
    // 2 m x 1 m at a 0.2 mm focus: 10000 x 5000 spots.
    job.Levels.SetOutput({200'000, 100'000});
    try {
      VectorizeRasterMode(job.Levels, settings);
      ADD_FAILURE() << RasterSettingsText(settings);
    } catch (const std::runtime_error &error) {
      EXPECT_EQ(std::string(error.what()),
                "The picture would need 10000 x 5000 focus spots at this print size; at most 40 "
                "million are possible. Choose a smaller print size or a larger focus size.");
    }
    for (const TLevel *level : job.LinesLevels())
      EXPECT_TRUE(level->Input()->empty()) << RasterSettingsText(settings);
  }
}

// The powers of the lines levels as the grid shows them, taken on each refresh.
struct TGridHost : THeadlessHost {
  const TLevels *Shown = nullptr;
  std::vector<std::int32_t> Powers;
  void UpdateGrid() override {
    THeadlessHost::UpdateGrid();
    Powers.clear();
    for (int i = 0; Shown && i < Shown->Count(); ++i)
      if (Shown->Item(i)->Kind() == lkLines)
        Powers.push_back(Shown->Item(i)->Power());
  }
};

TEST(ApplyRasterMode, TheGridShowsTheBandPowersOnceTheyAreSet) {
  const QImage picture = HalfPaper(32, 4);
  TGridHost host;
  TLevels levels(host, false);
  host.Shown = &levels;
  levels.SetFocus(200);
  levels.SetRaster(&picture);
  levels.SetSize({640, 80});
  TRasterSettings gray;
  gray.Mode = TRasterMode::GrayLevels;
  gray.GrayLevels = 4;
  gray.MinPower = 40;
  gray.MaxPower = 240;
  ASSERT_TRUE(ApplyRasterMode(levels, gray));
  std::vector<std::int32_t> expected;
  for (int i = 0; i < levels.Count(); ++i)
    if (levels.Item(i)->Kind() == lkLines)
      expected.push_back(levels.Item(i)->Power());
  ASSERT_EQ(expected.size(), 4u);
  EXPECT_NE(expected.front(), 255) << "the bands' own powers, not the defaults'";
  EXPECT_EQ(host.Powers, expected);
}

TEST(ApplyRasterMode, ColourLevelsAndBadSettingsLeaveTheListAlone) {
  TModeJob job(HalfPaper(8, 8));
  EXPECT_FALSE(ApplyRasterMode(job.Levels, {}));
  EXPECT_EQ(job.Levels.Count(), 0);
  TRasterSettings bad;
  bad.Mode = TRasterMode::GrayLevels;
  bad.GrayLevels = 1;
  EXPECT_THROW(ApplyRasterMode(job.Levels, bad), std::invalid_argument);
  EXPECT_EQ(job.Levels.Count(), 0);
}

// What a job's levels burn after a cycle: name, power and segments of each.
struct TLevelPrint {
  std::string Name;
  std::int32_t Power;
  std::vector<TPaths> Input;
  friend bool operator==(const TLevelPrint &, const TLevelPrint &) = default;
};
std::vector<TLevelPrint> PrintOf(TLevels &levels) {
  levels.RunCycles();
  std::vector<TLevelPrint> print;
  for (int i = 0; i < levels.Count(); ++i) {
    const TLevel &level = *levels.Item(i);
    print.push_back({level.Name(), level.Power(),
                     level.Input() ? *level.Input() : std::vector<TPaths>()});
  }
  return print;
}

TEST(ApplyRasterMode, AReadForAnotherModeSkipsTheQuantiserAndEndsInTheSameLevels) {
  QTemporaryDir dir;
  const std::string file = dir.filePath("photo.png").toStdString();
  ASSERT_TRUE(HalfPaper(60, 20).save(QString::fromStdString(file)));
  TRasterSettings dithered, gray;
  dithered.Mode = TRasterMode::Dithered;
  dithered.Kernel = TDitherKernel::Atkinson;
  gray.Mode = TRasterMode::GrayLevels;
  gray.GrayLevels = 6;
  for (const auto &settings : {dithered, gray}) {
    SCOPED_TRACE(RasterSettingsText(settings));
    auto read = [&](TLevels &levels, bool colourLevels) {
      levels.SetFocus(200);
      levels.Job().PictureColourLevels = colourLevels;
      const std::uint64_t before = QuantizeColorsRuns();
      LoadFromFile(levels, file, 1);
      return QuantizeColorsRuns() - before;
    };
    THeadlessHost fullHost, skippedHost;
    TLevels full(fullHost, false), skipped(skippedHost, false);
    EXPECT_EQ(read(full, true), 1u);
    const std::vector<TLevelPrint> colour = PrintOf(full);
    ASSERT_FALSE(colour.empty());
    EXPECT_EQ(read(skipped, false), 0u);
    EXPECT_TRUE(skipped.HasRaster());
    for (int i = 0; i < skipped.Count(); ++i)
      EXPECT_NE(skipped.Item(i)->Kind(), lkLines) << "no colour level without the quantiser";
    ASSERT_TRUE(ApplyRasterMode(full, settings));
    ASSERT_TRUE(ApplyRasterMode(skipped, settings));
    const std::vector<TLevelPrint> expected = PrintOf(full);
    EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [](const TLevelPrint &level) {
      return !level.Input.empty() && !level.Input.front().empty();
    })) << "the mode's levels burn something";
    EXPECT_EQ(PrintOf(skipped), expected);
    EXPECT_EQ(skipped.Size(), full.Size());
    // Back to colour levels: the picture is read again, and quantised then.
    skipped.Job().PictureColourLevels = true;
    const std::uint64_t before = QuantizeColorsRuns();
    ReloadDrawing(skipped);
    EXPECT_EQ(QuantizeColorsRuns() - before, 1u);
    EXPECT_EQ(PrintOf(skipped), colour);
  }
}

} // namespace
