#include "raster/RasterReader.h"

#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "core/ColorUnit.h"
#include "core/HeadlessHost.h"
#include "core/Levels.h"
#include "raster/Quantizer.h"

namespace {

constexpr QRgb White = 0xFFFFFFFF, Black = 0xFF000000;

QImage Flat(int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// Columns painted left to right, every row alike.
QImage Columns(const std::vector<QRgb> &columns, int rows) {
  QImage image(static_cast<int>(columns.size()), rows, QImage::Format_RGB32);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < image.width(); ++x)
      image.setPixel(x, y, columns[static_cast<std::size_t>(x)]);
  return image;
}

// Something like a photo: smooth gradients, a few shapes, sensor noise.
QImage PhotoLike(int w, int h, unsigned seed) {
  QImage image(w, h, QImage::Format_RGB32);
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> noise(-6, 6);
  for (int y = 0; y < h; ++y) {
    auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
    for (int x = 0; x < w; ++x) {
      int r = 90 + 120 * y / h, g = 140 + 60 * x / w, b = 230 - 80 * y / h;
      const int dx = x - w / 3, dy = y - h / 2;
      if (dx * dx + dy * dy < (h / 4) * (h / 4)) {
        r = 200;
        g = 60 + 40 * y / h;
        b = 40;
      } else if (x > 2 * w / 3 && y > h / 3) {
        r = g = b = 30 + 20 * x / w;
      }
      auto clamp = [](int v) { return std::clamp(v, 0, 255); };
      row[x] = qRgb(clamp(r + noise(random)), clamp(g + noise(random)), clamp(b + noise(random)));
    }
  }
  return image;
}

QImage Noise(int w, int h, unsigned seed) {
  QImage image(w, h, QImage::Format_RGB32);
  std::mt19937 random(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.setPixel(x, y, 0xFF000000u | (random() & 0xFFFFFF));
  return image;
}

QByteArray Encode(const QImage &image, const char *format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format)) << format;
  return bytes;
}

std::string ReadError(const QByteArray &bytes, const TReadOptions &options = {}) {
  try {
    ReadRasterBytes(bytes, options);
  } catch (const TReadError &error) {
    return error.what();
  }
  return "(no error)";
}

void PutLE(QByteArray &bytes, int at, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i)
    bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

// A BMP header claiming a size, with no pixel data behind it.
QByteArray BmpHeader(std::int32_t w, std::int32_t h) {
  QByteArray bytes(54, '\0');
  bytes[0] = 'B';
  bytes[1] = 'M';
  PutLE(bytes, 2, 54, 4);
  PutLE(bytes, 10, 54, 4);
  PutLE(bytes, 14, 40, 4);
  PutLE(bytes, 18, static_cast<std::uint32_t>(w), 4);
  PutLE(bytes, 22, static_cast<std::uint32_t>(h), 4);
  PutLE(bytes, 26, 1, 2);
  PutLE(bytes, 28, 24, 2);
  return bytes;
}

std::uint32_t Crc32(const QByteArray &data) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (char c : data) {
    crc ^= static_cast<unsigned char>(c);
    for (int k = 0; k < 8; ++k)
      crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

// A PNG whose header (with a valid checksum) claims w x h pixels.
QByteArray PngHeader(std::uint32_t w, std::uint32_t h) {
  auto be = [](std::uint32_t v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
      b[i] = static_cast<char>(v >> (24 - 8 * i) & 0xFF);
    return b;
  };
  auto chunk = [&](const QByteArray &type, const QByteArray &data) {
    const QByteArray body = type + data;
    return be(static_cast<std::uint32_t>(data.size())) + body + be(Crc32(body));
  };
  // The decoder reads every chunk up to the first image data to learn the size.
  return QByteArray("\x89PNG\r\n\x1a\n", 8) +
         chunk("IHDR", be(w) + be(h) + QByteArray("\x08\x02\x00\x00\x00", 5)) +
         chunk("IDAT", QByteArray("\x78\x9c\x63\x00\x00", 5)) + chunk("IEND", {});
}

TEST(Random, FollowsTheGenerator) {
  TRandom random(123);
  const std::uint32_t expected[] = {85, 8, 86, 5, 2, 257};
  const std::uint32_t ranges[] = {100, 100, 100, 7, 7, 1000};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(random.Next(ranges[i]), expected[i]) << i;
}

TEST(QuantizeColors, OneFlatColourGivesTwoLevelsOfIt) {
  int rounds = 0;
  const auto colours = QuantizeColors(Flat(40, 30, 0xFF3366CC), [&] { ++rounds; });
  ASSERT_EQ(colours.size(), 2u);
  EXPECT_EQ(colours[0], ColorToLab(0xFF3366CC));
  EXPECT_EQ(colours[1], ColorToLab(0xFF3366CC));
  // Every sample joins the first cluster, so k shrinks from 9 to 2.
  EXPECT_EQ(rounds, 8);
}

TEST(QuantizeColors, SmallPicturesNeedOneRound) {
  // Every count is at least one, which reaches W x H / 50 when W x H <= 50.
  for (const QImage &image : {Noise(10, 5, 1), Noise(7, 7, 2), Noise(1, 1, 3), Noise(50, 1, 4)}) {
    int rounds = 0;
    const auto colours = QuantizeColors(image, [&] { ++rounds; });
    EXPECT_EQ(rounds, 1) << image.width() << "x" << image.height();
    EXPECT_GE(colours.size(), 2u);
    EXPECT_LE(colours.size(), 9u);
  }
  int rounds = 0;
  QuantizeColors(Noise(51, 1, 5), [&] { ++rounds; });
  EXPECT_GT(rounds, 1) << "51 samples: a cluster of one is below a fiftieth";
}

TEST(QuantizeColors, FastAndPlainVersionsAgree) {
  QImage withAlpha = PhotoLike(90, 70, 9).convertToFormat(QImage::Format_ARGB32);
  withAlpha.setPixel(3, 3, 0x00123456);
  const QImage pictures[] = {PhotoLike(320, 240, 1),
                             PhotoLike(97, 301, 2),
                             Noise(64, 64, 3),
                             Flat(9, 9, 0xFF808080),
                             Noise(1, 1, 4),
                             Noise(2, 3, 5),
                             Columns({White, White, Black, 0xFFFF0000, 0xFF00FF00}, 40),
                             PhotoLike(300, 200, 6).convertToFormat(QImage::Format_Indexed8),
                             withAlpha};
  for (const QImage &picture : pictures) {
    SCOPED_TRACE(std::to_string(picture.width()) + "x" + std::to_string(picture.height()));
    int fastRounds = 0, plainRounds = 0;
    const auto fast = QuantizeColors(picture, [&] { ++fastRounds; });
    const auto plain = QuantizeColorsReference(picture, [&] { ++plainRounds; });
    ASSERT_EQ(fast.size(), plain.size());
    for (std::size_t i = 0; i < fast.size(); ++i)
      EXPECT_EQ(fast[i], plain[i]) << i;
    EXPECT_EQ(fastRounds, plainRounds);
  }
}

TEST(QuantizeColors, LargePicturesRunningTwoRoundsAtATimeGiveTheSameClusters) {
  // Above a million pixels the rounds run in pairs on two threads; noise keeps
  // the small clusters small, so several pairs run and both members decide.
  for (const QImage &picture : {PhotoLike(1100, 1000, 11), Noise(1030, 1030, 12)}) {
    int fastRounds = 0, plainRounds = 0;
    const auto fast = QuantizeColors(picture, [&] { ++fastRounds; });
    const auto plain = QuantizeColorsReference(picture, [&] { ++plainRounds; });
    EXPECT_EQ(fast, plain);
    EXPECT_EQ(fastRounds, plainRounds);
  }
}

TEST(QuantizeColors, SkippingAheadContinuesTheSequenceWhereStepsWouldLeaveIt) {
  // Zero, single bits, mixed bits and a long jump, from two seeds.
  for (const std::uint32_t seed : {123u, 0xDEADBEEFu})
    for (const std::uint64_t steps : {0ull, 1ull, 2ull, 7ull, 64ull, 1000ull, 123457ull}) {
      TRandom stepped(seed), skipped(seed);
      for (std::uint64_t i = 0; i < steps; ++i)
        stepped.Next(1000);
      skipped.Skip(steps);
      for (int i = 0; i < 4; ++i)
        EXPECT_EQ(skipped.Next(0xFFFFFFFFu), stepped.Next(0xFFFFFFFFu)) << seed << " " << steps;
    }
}

// Horizontal bands 30 rows high, so the first column of seeds meets each colour.
QImage Bands(const std::vector<QRgb> &colours) {
  QImage image(120, 30 * static_cast<int>(colours.size()), QImage::Format_RGB32);
  for (std::size_t i = 0; i < colours.size(); ++i)
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 120; ++x)
        image.setPixel(x, static_cast<int>(i) * 30 + y, colours[i]);
  return image;
}

TEST(QuantizeColors, DistinctColoursStayApartAndCloseOnesMerge) {
  const auto three = QuantizeColors(Bands({White, 0xFFFF0000, 0xFF0000FF}));
  EXPECT_EQ(three, (std::vector<TLabColor>{ColorToLab(White), ColorToLab(0xFFFF0000),
                                           ColorToLab(0xFF0000FF)}));
  // Two greys one step apart are far nearer than merging's limit of 200.
  const auto greys = QuantizeColors(Bands({White, 0xFF808080, 0xFF858585}));
  ASSERT_EQ(greys.size(), 2u);
  EXPECT_EQ(greys[0], ColorToLab(White));
  EXPECT_GE(greys[1].L, ColorToLab(0xFF808080).L);
  EXPECT_LT(greys[1].L, ColorToLab(0xFF858585).L);
  // Colours only at the right are lost once the seeds shrink to the first
  // column: everything then joins the first white cluster.
  const auto right =
      QuantizeColors(Columns({White, White, 0xFFFF0000, 0xFF0000FF}, 60).scaled(120, 60));
  ASSERT_EQ(right.size(), 2u);
  EXPECT_EQ(right[1], ColorToLab(White));
  EXPECT_TRUE(QuantizeColors(QImage()).empty());
}

TEST(ReadRasterBytes, MakesOneNamedLinesLevelPerColour) {
  QImage image = Flat(60, 40, White);
  {
    QPainter painter(&image);
    painter.fillRect(10, 10, 30, 20, Qt::black);
  }
  TReadOptions options;
  options.Focus = 20;
  int progress = 0;
  options.Progress = [&] { ++progress; };
  const TReadResult result = ReadRasterBytes(Encode(image, "png"), options);
  EXPECT_EQ(result.Size, (TIntSize{60 * 20, 40 * 20}));
  ASSERT_TRUE(result.Raster.has_value());
  EXPECT_EQ(result.Raster->size(), image.size());
  EXPECT_GE(progress, 1);
  ASSERT_EQ(result.Levels.size(), 2u);
  const TLevel *white = result.Levels[0].get(), *black = result.Levels[1].get();
  EXPECT_EQ(white->Name(), "White");
  EXPECT_EQ(black->Name(), "Black");
  for (const auto &level : result.Levels) {
    EXPECT_EQ(level->Kind(), lkLines);
    EXPECT_TRUE(level->Input() && level->Input()->empty());
  }
  // L >= 85 is the material itself: not printed.
  EXPECT_FALSE(white->Print());
  EXPECT_TRUE(black->Print());
  EXPECT_EQ(white->Height(), 1);
  EXPECT_EQ(black->Height(), 31);
  EXPECT_EQ(black->Color(), 0xFF000000u);
}

TEST(ReadRasterBytes, PrintsOnlyBelowLightness85) {
  // L 84 and L 85 greys side by side: the first prints, the second does not.
  std::uint32_t grey84 = 0, grey85 = 0;
  for (std::uint32_t v = 0; v < 256; ++v) {
    const std::uint32_t argb = 0xFF000000u | v << 16 | v << 8 | v;
    if (ColorToLab(argb).L == 84)
      grey84 = argb;
    if (ColorToLab(argb).L == 85)
      grey85 = argb;
  }
  ASSERT_NE(grey84, 0u);
  ASSERT_NE(grey85, 0u);
  for (auto [argb, print] : {std::pair{grey84, true}, std::pair{grey85, false}}) {
    const TReadResult result = ReadRasterBytes(Encode(Flat(8, 8, argb), "png"), {});
    ASSERT_EQ(result.Levels.size(), 2u);
    EXPECT_EQ(result.Levels[0]->Print(), print) << ColorToLab(argb).L;
  }
}

TEST(ReadRasterBytes, TransparentBackgroundReadsAsWhitePaper) {
  // Transparent black is what most editors store around a logo.
  QImage logo(80, 60, QImage::Format_ARGB32);
  logo.fill(0x00000000);
  {
    QPainter painter(&logo);
    painter.fillRect(20, 15, 40, 30, QColor(0, 0, 160));
  }
  for (const char *format : {"png", "tiff"}) {
    SCOPED_TRACE(format);
    const TReadResult result = ReadRasterBytes(Encode(logo, format), {});
    ASSERT_EQ(result.Levels.size(), 2u);
    const bool whiteFirst = result.Levels[0]->Name() == "White";
    const TLevel &white = *result.Levels[whiteFirst ? 0 : 1],
                 &blue = *result.Levels[whiteFirst ? 1 : 0];
    EXPECT_EQ(white.Name(), "White");
    EXPECT_FALSE(white.Print());
    EXPECT_EQ(blue.Name(), "Darkblue");
    EXPECT_TRUE(blue.Print());
    EXPECT_EQ(result.Raster->pixel(0, 0), White);
  }
  // Half transparent black is a mid grey.
  QImage half(4, 4, QImage::Format_ARGB32);
  half.fill(0x80000000);
  const TReadResult grey = ReadRasterBytes(Encode(half, "png"), {});
  EXPECT_EQ(qRed(grey.Raster->pixel(0, 0)), 127);
}

TEST(ReadRasterBytes, ReadsEveryFormat) {
  const QImage image = Columns({White, White, Black, Black}, 4);
  for (const char *format : {"png", "jpg", "bmp", "tiff"}) {
    SCOPED_TRACE(format);
    const TReadResult result = ReadRasterBytes(Encode(image, format), {});
    EXPECT_EQ(result.Levels.size(), 2u);
    EXPECT_EQ(result.Raster->size(), QSize(4, 4));
  }
  // Qt writes no GIF: a 2 x 1 GIF, white and black, written by hand.
  const char gif[] = "GIF89a\x02\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
                     ",\x00\x00\x00\x00\x02\x00\x01\x00\x00\x02\x02\x44\x0a\x00;";
  const TReadResult result = ReadRasterBytes(QByteArray(gif, sizeof gif - 1), {});
  EXPECT_EQ(result.Raster->size(), QSize(2, 1));
  EXPECT_EQ(result.Raster->pixel(0, 0), White);
  EXPECT_EQ(result.Raster->pixel(1, 0), Black);
  // With a graphic control extension making its first colour (red) transparent.
  const char transparentGif[] = "GIF89a\x02\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
                                "\x21\xf9\x04\x01\x00\x00\x00\x00"
                                ",\x00\x00\x00\x00\x02\x00\x01\x00\x00\x02\x02\x44\x0a\x00;";
  const TReadResult transparent =
      ReadRasterBytes(QByteArray(transparentGif, sizeof transparentGif - 1), {});
  EXPECT_EQ(transparent.Raster->pixel(0, 0), White);
  EXPECT_EQ(transparent.Raster->pixel(1, 0), Black);
  // Data after a JPEG's end marker (phones append videos) is no truncation.
  const QByteArray jpeg = Encode(image, "jpg") + QByteArray(3000, '\x55');
  EXPECT_EQ(ReadRasterBytes(jpeg, {}).Levels.size(), 2u);
  // And the same GIF cut inside its image data is refused.
  EXPECT_EQ(ReadError(QByteArray(gif, 30)),
            "The picture file is incomplete: its data ends too early");
}

TEST(ReadRasterBytes, OnePixelPicture) {
  TReadOptions options;
  options.Focus = 7;
  const TReadResult result = ReadRasterBytes(Encode(Flat(1, 1, 0xFF00FF00), "png"), options);
  EXPECT_EQ(result.Size, (TIntSize{7, 7}));
  ASSERT_EQ(result.Levels.size(), 2u);
  EXPECT_EQ(result.Levels[0]->Name(), "Lime");
}

TEST(ReadRasterBytes, RefusesBadInputWithClearMessages) {
  const QByteArray png = Encode(PhotoLike(120, 90, 3), "png");
  const QByteArray jpeg = Encode(PhotoLike(120, 90, 3), "jpg");
  const QByteArray bmp = Encode(PhotoLike(120, 90, 3), "bmp");
  const std::string unreadable =
      "The file is not a picture in a readable format (GIF, PNG, JPEG, BMP or TIFF)";
  const std::string incomplete = "The picture file is incomplete: its data ends too early";
  const std::string bomb = "The picture is too large: 30000 x 30000 pixels; at most 50 million "
                           "pixels can be read";
  struct TCase {
    const char *Name;
    QByteArray Bytes;
    std::string Message;
  };
  const TCase cases[] = {
      {"text", QByteArray("solid 4 cube\nfacet normal 0 0 1\n"), unreadable},
      {"empty", QByteArray(), unreadable},
      {"png cut", png.left(png.size() / 2),
       "The picture could not be decoded: Unable to read image data"},
      {"jpeg cut", jpeg.left(jpeg.size() / 2), incomplete},
      {"bmp cut", bmp.left(bmp.size() - 10), incomplete},
      {"bmp bomb", BmpHeader(10000, 10000),
       "The picture is too large: 10000 x 10000 pixels; at most 50 million pixels can be read"},
      {"bmp header alone", BmpHeader(30000, 30000), incomplete},
      {"png bomb", PngHeader(30000, 30000), bomb},
      {"png 0x0", PngHeader(0, 0), ""},
      {"bmp 0x0", BmpHeader(0, 0), ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string message = ReadError(c.Bytes);
    if (c.Message.empty()) {
      // Whatever the decoder says, it must be an error with a message.
      EXPECT_NE(message, "(no error)");
      EXPECT_FALSE(message.empty());
    } else {
      EXPECT_EQ(message, c.Message);
    }
  }
}

TEST(ReadRasterBytes, RefusesASizeTheFocusCannotHold) {
  TReadOptions options;
  options.Focus = 100000;
  EXPECT_EQ(ReadError(Encode(Flat(30000, 1, White), "png"), options),
            "The picture is too large for this focus size: 30000 x 1 pixels");
}

TEST(LoadRasterFile, ReportsAMissingFile) {
  try {
    LoadRasterFile("/nonexistent/picture.png", {});
    FAIL();
  } catch (const TReadError &error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file /nonexistent/picture.png");
  }
}

// A level list in raster mode without a worker: F = 20 units, 100 units/mm.
struct TRasterJob {
  THeadlessHost Host;
  TLevels Levels{Host, false};
  explicit TRasterJob(const QImage &picture, std::initializer_list<QRgb> colours,
                      int micrometres = 200) {
    Levels.SetFocus(micrometres);
    for (QRgb colour : colours) {
      auto level = std::make_unique<TLevel>(lkLines);
      GenerateName(*level, ColorToLab(colour));
      Levels.Add(std::move(level));
    }
    Levels.SetRaster(&picture);
  }
  // As the worker does at the start of a cycle.
  void Vectorize() {
    Levels.SetRasterHook(VectorizeRaster);
    Levels.RunCycles();
  }
  TPaths Input(int index) const {
    const auto *input = Levels.Item(index)->Input();
    EXPECT_EQ(input->size(), 1u);
    return input->empty() ? TPaths{} : input->front();
  }
};

TPath Segment(ClipperLib::cInt x1, ClipperLib::cInt x2, ClipperLib::cInt y) {
  return {{x1, y}, {x2, y}};
}

TEST(VectorizeRaster, RunsBecomeSegmentsShortenedByAThirdSpot) {
  // Five cells a row, one focus spot each: the picture is not rescaled.
  TRasterJob job(Columns({White, White, Black, Black, Black}, 5), {White, Black});
  job.Levels.SetOutput({100, 100});
  job.Vectorize();
  TPaths white, black;
  for (int r = 0; r < 5; ++r) {
    white.push_back(Segment(7, 33, r * 20 + 10));
    black.push_back(Segment(47, 93, r * 20 + 10)); // 40 + 6.67 and 100 - 6.67
  }
  EXPECT_EQ(job.Input(0), white);
  EXPECT_EQ(job.Input(1), black);
}

TEST(VectorizeRaster, RowZeroIsTheBottomOfThePicture) {
  QImage picture = Flat(5, 5, White);
  for (int x = 0; x < 5; ++x)
    picture.setPixel(x, 0, Black); // top row
  picture.setPixel(1, 4, Black);   // one cell in the bottom row
  TRasterJob job(picture, {White, Black});
  job.Levels.SetOutput({100, 100});
  job.Vectorize();
  EXPECT_EQ(job.Input(1), (TPaths{Segment(27, 33, 10), Segment(7, 93, 90)}));
  EXPECT_EQ(job.Input(0).front(), Segment(7, 13, 10));
}

TEST(VectorizeRaster, MirroringReversesColumnsNotSegments) {
  TRasterJob job(Columns({White, White, Black, Black, Black}, 5), {White, Black});
  job.Levels.SetOutput({100, 100});
  job.Levels.SetMirror(true);
  job.Vectorize();
  EXPECT_EQ(job.Input(1).front(), Segment(7, 53, 10));
  EXPECT_EQ(job.Input(0).front(), Segment(67, 93, 10));
  EXPECT_EQ(job.Input(1).size(), 5u);
}

TEST(VectorizeRaster, OutputBelowOneSpotStillGivesOneCell) {
  EXPECT_EQ(RasterCells({0, 0}, 20), (TIntSize{1, 1}));
  EXPECT_EQ(RasterCells({9, 10}, 20), (TIntSize{1, 1}));
  EXPECT_EQ(RasterCells({29, 30}, 20), (TIntSize{1, 2}));
  // 3000 micrometres: F = 300 units, but the output is one millimetre (100).
  TRasterJob job(Noise(30, 20, 1), {White, Black}, 3000);
  job.Levels.SetOutput({50, 50});
  job.Vectorize();
  const TPaths all = [&] {
    TPaths paths = job.Input(0);
    const TPaths more = job.Input(1);
    paths.insert(paths.end(), more.begin(), more.end());
    return paths;
  }();
  EXPECT_EQ(all, (TPaths{Segment(100, 200, 150)}));
}

TEST(VectorizeRaster, OnlyLinesLevelsReceiveSegments) {
  TRasterJob job(Columns({Black, Black, White, White, White}, 5), {White});
  // An outline level, black like the picture's left half, is never chosen.
  auto outline = std::make_unique<TLevel>(lkOutline);
  outline->SetLabColor({0, 0, 0});
  job.Levels.Insert(0, std::move(outline));
  job.Levels.SetOutput({100, 100});
  job.Vectorize();
  EXPECT_TRUE(job.Input(0).empty());
  // The one lines level takes every run, dark or not, as a single run a row.
  EXPECT_EQ(job.Input(1).size(), 5u);
  EXPECT_EQ(job.Input(1).front(), Segment(7, 93, 10));

  // Without any lines level nothing is made, and nothing breaks.
  TRasterJob empty(Noise(8, 8, 2), {});
  auto alone = std::make_unique<TLevel>(lkOutline);
  empty.Levels.Add(std::move(alone));
  empty.Levels.SetOutput({300, 300});
  empty.Vectorize();
  EXPECT_TRUE(empty.Input(0).empty());
}

TEST(VectorizeRaster, AgreesWithThePlainNearestLevelSearch) {
  for (bool mirror : {false, true}) {
    SCOPED_TRACE(mirror);
    const QImage picture = PhotoLike(64, 48, 11);
    TRasterJob job(picture, {0xFFFFFFFF, 0xFFC83C28, 0xFF303030, 0xFF5A96DC});
    job.Levels.SetOutput({173 * 20, 91 * 20 + 7});
    job.Levels.SetMirror(mirror);
    job.Vectorize();

    const TIntSize grid = RasterCells(job.Levels.Output(), 20);
    ASSERT_EQ(grid, (TIntSize{173, 91}));
    const QImage cells = ScaleToCells(picture, grid);
    std::vector<TPaths> expected(4);
    for (int r = 0; r < grid.cy; ++r) {
      const int y = grid.cy - 1 - r;
      for (int x = 0; x < grid.cx;) {
        const int v = NearestLevel(job.Levels, cells, x, y);
        int e = x + 1;
        while (e < grid.cx && NearestLevel(job.Levels, cells, e, y) == v)
          ++e;
        expected[static_cast<std::size_t>(v)].push_back(
            Segment(static_cast<ClipperLib::cInt>(std::nearbyint(x * 20 + 20 / 3.0)),
                    static_cast<ClipperLib::cInt>(std::nearbyint(e * 20 - 20 / 3.0)), r * 20 + 10));
        x = e;
      }
    }
    std::size_t total = 0;
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(job.Input(i), expected[static_cast<std::size_t>(i)]) << i;
      total += expected[static_cast<std::size_t>(i)].size();
    }
    EXPECT_GT(total, static_cast<std::size_t>(grid.cy)); // more than one run a row
  }
}

TEST(VectorizeRaster, ACycleRequestedMeanwhileLeavesInputsAndRebuildsNextCycle) {
  TRasterJob job(Columns({White, White, Black, Black, Black}, 5), {White, Black});
  job.Levels.SetOutput({100, 100});
  job.Levels.SetRasterHook(VectorizeRaster);
  job.Levels.RunCycles();
  const TPaths built = job.Input(1);
  ASSERT_EQ(built.size(), 5u);
  EXPECT_EQ(job.Levels.Item(1)->Output(), built); // raster input is burnt unchanged

  const TPaths stale{Segment(1, 2, 3)};
  job.Levels.Item(1)->Input()->assign(1, stale);
  job.Levels.RequestCycle(); // say, the preview was resized
  VectorizeRaster(job.Levels);
  EXPECT_EQ(job.Input(1), stale);

  // A request that arrives while the rebuild runs cuts it short; the next
  // cycle rebuilds, although nothing asked for a rebuild again.
  bool interrupt = true;
  int rebuilds = 0;
  job.Levels.SetRasterHook([&](TLevels &levels) {
    ++rebuilds;
    if (interrupt)
      levels.RequestCycle();
    interrupt = false;
    VectorizeRaster(levels);
  });
  job.Levels.SetMirror(true);
  job.Levels.SetMirror(false);
  job.Levels.Item(1)->Input()->assign(1, stale);
  job.Levels.RunCycles();
  EXPECT_EQ(rebuilds, 2);
  EXPECT_EQ(job.Input(1), built);
}

TEST(VectorizeRaster, TheWorkerEndsWithTheSegmentsOfTheLastSettings) {
  // Settings change while the worker rebuilds: rebuilds are cut short and
  // started again, and what stays must be exactly the last settings' segments.
  const QImage picture = PhotoLike(120, 90, 5);
  THeadlessHost host;
  TLevels levels(host);
  levels.SetFocus(200);
  for (QRgb colour : {White, 0xFFC83C28u, 0xFF303030u}) {
    auto level = std::make_unique<TLevel>(lkLines);
    GenerateName(*level, ColorToLab(colour));
    levels.Add(std::move(level));
  }
  levels.SetRaster(&picture);
  levels.SetRasterHook(VectorizeRaster);
  for (int i = 0; i < 30; ++i) {
    levels.SetOutput({4000 + 37 * i, 3000 + 11 * i});
    levels.SetView({300 + i, 200});
    levels.SetMirror(i % 2 == 1);
    levels.RunHandOvers();
  }
  ASSERT_TRUE(levels.WaitUntilIdle());

  TRasterJob calm(picture, {White, 0xFFC83C28u, 0xFF303030u});
  calm.Levels.SetOutput(levels.Output());
  calm.Levels.SetMirror(levels.Mirror());
  calm.Vectorize();
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(levels.Item(i)->Input()->size(), 1u);
    EXPECT_EQ(levels.Item(i)->Input()->front(), calm.Input(i)) << i;
  }
}

TEST(VectorizeRaster, RefusesAGridTooLargeForMemory) {
  // 4 micrometre focus over 300 x 200 mm: 75000 x 50000 cells.
  TRasterJob job(Flat(4, 4, Black), {White, Black}, 4);
  job.Levels.Item(1)->Input()->assign(1, TPaths{Segment(1, 2, 3)});
  job.Levels.SetOutput({300000, 200000});
  try {
    job.Vectorize();
    FAIL();
  } catch (const std::runtime_error &error) {
    EXPECT_EQ(std::string(error.what()),
              "The picture would need 75000 x 50000 focus spots at this print size; at most 40 "
              "million are possible. Choose a smaller print size or a larger focus size.");
  }
  EXPECT_TRUE(job.Levels.Item(1)->Input()->empty());
}

} // namespace
