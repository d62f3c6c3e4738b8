#include "RasterReader.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include "LabCache.h"
#include "Quantizer.h"
#include "core/ColorUnit.h"
#include "core/FileBytes.h"
#include "core/Levels.h"

namespace {

// A decoder may allocate at most this much for one picture: enough for the
// largest accepted picture at 16 bits a channel, and a backstop for formats
// whose size is not known before decoding.
constexpr int AllocationLimitMB = static_cast<int>(MaxRasterPixels * 8 / (1024 * 1024)) + 16;
// Files are read whole before decoding; no accepted picture needs more.
constexpr qint64 MaxFileBytes = qint64{1} << 30;

std::string Text(const QString &text) { return text.toStdString(); }

std::string PixelsText(qint64 w, qint64 h) {
  return std::to_string(w) + " x " + std::to_string(h) + " pixels";
}

// A JPEG decoder fills a file cut short with grey and calls it a success; that
// grey would be burnt. Walk the segments up to the first scan and require an
// end-of-image marker somewhere after it (data may follow the marker).
bool JpegIsComplete(const QByteArray &bytes) {
  const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
  const qsizetype size = bytes.size();
  qsizetype i = 2; // after the start-of-image marker
  while (i + 1 < size) {
    if (data[i] != 0xFF)
      return false;
    unsigned char marker = data[i + 1];
    if (marker == 0xFF) { // fill byte
      ++i;
      continue;
    }
    if (marker == 0xD9)
      return true;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      i += 2;
      continue;
    }
    if (i + 3 >= size)
      return false;
    const qsizetype length = data[i + 2] << 8 | data[i + 3];
    if (marker == 0xDA) {
      // Entropy-coded data: an end marker anywhere after it will do.
      for (qsizetype j = i + 2; j + 1 < size; ++j)
        if (data[j] == 0xFF && data[j + 1] == 0xD9)
          return true;
      return false;
    }
    if (length < 2)
      return false;
    i += 2 + length;
  }
  return false;
}

std::uint32_t LittleEndian(const QByteArray &bytes, qsizetype at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The BMP decoder, too, returns a picture cut short as a success, with the
// missing rows undefined. Uncompressed pixel data has a known length; check it.
bool BmpIsComplete(const QByteArray &bytes) {
  if (bytes.size() < 26)
    return false;
  const std::uint64_t offset = LittleEndian(bytes, 10, 4);
  const std::uint32_t header = LittleEndian(bytes, 14, 4);
  std::int64_t width = 0, height = 0;
  std::uint32_t bits = 0, compression = 0, imageSize = 0;
  if (header == 12) { // OS/2 core header
    width = LittleEndian(bytes, 18, 2);
    height = LittleEndian(bytes, 20, 2);
    bits = LittleEndian(bytes, 24, 2);
  } else {
    if (bytes.size() < 38)
      return false;
    width = static_cast<std::int32_t>(LittleEndian(bytes, 18, 4));
    height = static_cast<std::int32_t>(LittleEndian(bytes, 22, 4));
    bits = LittleEndian(bytes, 28, 2);
    compression = LittleEndian(bytes, 30, 4);
    imageSize = LittleEndian(bytes, 34, 4);
  }
  std::uint64_t data = 0;
  if (compression == 0 || compression == 3 || compression == 6) {
    const std::uint64_t rowBytes =
        (static_cast<std::uint64_t>(bits) * static_cast<std::uint64_t>(std::abs(width)) + 31) / 32 *
        4;
    data = rowBytes * static_cast<std::uint64_t>(std::abs(height));
  } else {
    data = imageSize; // run-length data: its stated size, when given
  }
  return offset + data <= static_cast<std::uint64_t>(bytes.size());
}

// And the GIF decoder shows as much of a cut-short first frame as it got:
// walk the blocks and require that frame's data to end properly.
bool GifIsComplete(const QByteArray &bytes) {
  const qsizetype size = bytes.size();
  auto at = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
  // Data sub-blocks: a length byte, that many bytes, until a length of zero.
  auto skipSubBlocks = [&](qsizetype &i) {
    while (i < size) {
      const int length = at(i);
      ++i;
      if (length == 0)
        return true;
      i += length;
    }
    return false;
  };
  if (size < 13)
    return false;
  qsizetype i = 13;
  if (at(10) & 0x80)
    i += 3 * (qsizetype{2} << (at(10) & 7));
  while (i < size) {
    const int block = at(i);
    if (block == 0x21) { // extension: label, then sub-blocks
      i += 2;
      if (!skipSubBlocks(i))
        return false;
    } else if (block == 0x2C) { // image descriptor, the first frame
      if (i + 10 > size)
        return false;
      const int flags = at(i + 9);
      i += 10;
      if (flags & 0x80)
        i += 3 * (qsizetype{2} << (flags & 7));
      ++i; // code size
      return i <= size && skipSubBlocks(i);
    } else {
      return false;
    }
  }
  return false;
}

// The five formats are told by their signatures. Qt's own detection also
// tries formats without one (TGA, WBMP), which take almost any bytes.
QByteArray SniffFormat(const QByteArray &bytes) {
  if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
    return "png";
  if (bytes.startsWith("\xFF\xD8\xFF"))
    return "jpeg";
  if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
    return "gif";
  if (bytes.startsWith("BM"))
    return "bmp";
  if (bytes.startsWith(QByteArray("II*\0", 4)) || bytes.startsWith(QByteArray("MM\0*", 4)))
    return "tiff";
  return {};
}

// Transparent parts read as the white of the material, which is not burnt:
// composite onto opaque white. Alpha never reaches the colour conversion.
QImage FlattenOnWhite(const QImage &decoded) {
  if (!decoded.hasAlphaChannel())
    return decoded.convertToFormat(QImage::Format_RGB32);
  const QImage argb = decoded.convertToFormat(QImage::Format_ARGB32);
  QImage flat(argb.size(), QImage::Format_RGB32);
  if (flat.isNull())
    throw TReadError("Not enough memory for a picture of " +
                     PixelsText(argb.width(), argb.height()));
  for (int y = 0; y < argb.height(); ++y) {
    const auto *in = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
    auto *out = reinterpret_cast<QRgb *>(flat.scanLine(y));
    for (int x = 0; x < argb.width(); ++x) {
      const int alpha = qAlpha(in[x]);
      auto blend = [alpha](int channel) {
        return (channel * alpha + 255 * (255 - alpha) + 127) / 255;
      };
      out[x] = qRgb(blend(qRed(in[x])), blend(qGreen(in[x])), blend(qBlue(in[x])));
    }
  }
  return flat;
}

TReadError TooLarge(qint64 w, qint64 h, std::int64_t maxPixels) {
  return TReadError("The picture is too large: " + PixelsText(w, h) + "; at most " +
                    std::to_string(maxPixels / 1'000'000) + " million pixels can be read");
}

QImage Decode(const QByteArray &bytes, std::int64_t maxPixels) {
  // Process-wide in Qt; every picture decoded here is held to it.
  QImageReader::setAllocationLimit(AllocationLimitMB);
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  const QByteArray format = SniffFormat(bytes);
  if (format.isEmpty())
    throw TReadError(
        "The file is not a picture in a readable format (GIF, PNG, JPEG, BMP or TIFF)");
  QImageReader reader(&buffer, format);
  reader.setAutoDetectImageFormat(false);
  // Photos taken upright are often stored sideways with an orientation tag.
  reader.setAutoTransform(true);
  if (!reader.canRead())
    throw TReadError(
        "The file is not a picture in a readable format (GIF, PNG, JPEG, BMP or TIFF)");
  // Refuse a decompression bomb before anything is allocated for it.
  const QSize size = reader.size();
  if (size.isValid() && static_cast<qint64>(size.width()) * size.height() > maxPixels)
    throw TooLarge(size.width(), size.height(), maxPixels);
  if (format == "jpeg" && !JpegIsComplete(bytes))
    throw TReadError("The picture file is incomplete: its data ends too early");
  if ((format == "bmp" && !BmpIsComplete(bytes)) || (format == "gif" && !GifIsComplete(bytes)))
    throw TReadError("The picture file is incomplete: its data ends too early");
  QImage image;
  if (!reader.read(&image))
    throw TReadError("The picture could not be decoded: " + Text(reader.errorString()));
  if (image.isNull() || image.width() <= 0 || image.height() <= 0)
    throw TReadError("The picture has no pixels");
  // The header may understate what the decoder produced.
  if (static_cast<qint64>(image.width()) * image.height() > maxPixels)
    throw TooLarge(image.width(), image.height(), maxPixels);
  return FlattenOnWhite(image);
}

TReadResult MakeLevels(QImage picture, const TReadOptions &options) {
  const std::int64_t focus = std::max<std::int32_t>(options.Focus, 1);
  const std::int64_t cx = picture.width() * focus, cy = picture.height() * focus;
  if (cx > std::numeric_limits<std::int32_t>::max() ||
      cy > std::numeric_limits<std::int32_t>::max())
    throw TReadError("The picture is too large for this focus size: " +
                     PixelsText(picture.width(), picture.height()));
  TReadResult result;
  result.Size = {static_cast<std::int32_t>(cx), static_cast<std::int32_t>(cy)};
  const std::vector<TLabColor> colours =
      options.ColourLevels ? QuantizeColors(picture, options.Progress) : std::vector<TLabColor>();
  for (const TLabColor &colour : colours) {
    auto level = std::make_unique<TLevel>(lkLines);
    // Darker colours burn deeper; light ones are the material itself.
    level->SetHeight(31 - (3 * colour.L) / 10);
    level->SetPrint(colour.L < 85);
    GenerateName(*level, colour);
    result.Levels.push_back(std::move(level));
  }
  result.Raster = std::move(picture);
  return result;
}

// The nearest lines level of each colour, remembered per colour like TLabCache.
class TNearestCache {
public:
  struct TCandidate {
    int Index;
    TLabColor Lab;
  };
  explicit TNearestCache(std::vector<TCandidate> candidates)
      : FCandidates(std::move(candidates)), FSlots(std::size_t{1} << SlotBits, 0) {}
  // Position in the candidate list, or -1 when there is no lines level.
  int Nearest(std::uint32_t argb) {
    const std::uint32_t rgb = argb & 0xFFFFFF;
    std::uint64_t &slot = FSlots[(rgb * 2654435761u) >> (32 - SlotBits)];
    const std::uint32_t key = rgb | 0x1000000;
    if (static_cast<std::uint32_t>(slot >> 32) != key)
      slot = static_cast<std::uint64_t>(key) << 32 | static_cast<std::uint32_t>(Search(rgb) + 1);
    return static_cast<int>(static_cast<std::uint32_t>(slot)) - 1;
  }
  const TCandidate &Candidate(int position) const {
    return FCandidates[static_cast<std::size_t>(position)];
  }

private:
  static constexpr int SlotBits = 16;
  int Search(std::uint32_t rgb) {
    const TLabColor lab = FLab.Lab(rgb);
    int best = -1;
    std::int32_t bestDistance = std::numeric_limits<std::int32_t>::max();
    for (std::size_t i = 0; i < FCandidates.size(); ++i) {
      const std::int32_t distance = LabDistance(lab, FCandidates[i].Lab);
      if (distance < bestDistance) {
        bestDistance = distance;
        best = static_cast<int>(i);
      }
    }
    return best;
  }

  std::vector<TCandidate> FCandidates;
  std::vector<std::uint64_t> FSlots;
  TLabCache FLab;
};

std::uint32_t CellPixel(const QImage &cells, int x, int y) {
  return reinterpret_cast<const std::uint32_t *>(cells.constScanLine(y))[x];
}

} // namespace

TReadResult ReadRasterBytes(const QByteArray &bytes, const TReadOptions &options,
                            std::int64_t maxPixels) {
  return MakeLevels(Decode(bytes, std::min(maxPixels, MaxRasterPixels)), options);
}

TReadResult LoadRasterFile(const std::string &fileName, const TReadOptions &options) {
  const std::string bytes = ReadFileBytes(fileName, MaxFileBytes);
  // The bytes outlive the decoding, which copies what it keeps.
  return ReadRasterBytes(
      QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())), options);
}

TPath ScanSegment(int x, int e, int r, std::int32_t focus) {
  const double third = focus / 3.0;
  const ClipperLib::cInt lineY = static_cast<ClipperLib::cInt>(r) * focus + focus / 2;
  const auto x1 =
      static_cast<ClipperLib::cInt>(std::nearbyint(static_cast<double>(x) * focus + third));
  const auto x2 =
      static_cast<ClipperLib::cInt>(std::nearbyint(static_cast<double>(e) * focus - third));
  return TPath{{x1, lineY}, {x2, lineY}};
}

TIntSize RasterCells(TIntSize output, std::int32_t focus) {
  const std::int32_t f = std::max(focus, 1);
  return {std::max(1, (output.cx + f / 2) / f), std::max(1, (output.cy + f / 2) / f)};
}

QImage ScaleToCells(const QImage &picture, TIntSize cells) {
  QImage scaled =
      picture.scaled(cells.cx, cells.cy, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (scaled.format() != QImage::Format_RGB32 && scaled.format() != QImage::Format_ARGB32)
    scaled = scaled.convertToFormat(QImage::Format_RGB32);
  return scaled;
}

int NearestLevel(const TLevels &levels, const QImage &cells, int x, int y) {
  const int column = levels.Mirror() ? cells.width() - 1 - x : x;
  const TLabColor lab = ColorToLab(cells.pixel(column, y));
  int best = -1;
  std::int32_t bestDistance = std::numeric_limits<std::int32_t>::max();
  for (int i = 0; i < levels.Count(); ++i) {
    const TLevel &level = *levels.Item(i);
    if (level.Kind() != lkLines)
      continue;
    const std::int32_t distance = LabDistance(lab, level.LabColor());
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

TIntSize CheckedRasterCells(TLevels &levels) {
  const TIntSize grid = RasterCells(levels.Output(), levels.Focus());
  if (static_cast<std::int64_t>(grid.cx) * grid.cy > MaxRasterCells) {
    // Nothing from an earlier size may burn at this one.
    for (int i = 0; i < levels.Count(); ++i)
      if (auto *input = levels.Item(i)->Input())
        input->clear();
    throw std::runtime_error("The picture would need " + std::to_string(grid.cx) + " x " +
                             std::to_string(grid.cy) + " focus spots at this print size; at most " +
                             std::to_string(MaxRasterCells / 1'000'000) +
                             " million are possible. Choose a smaller print size or a larger "
                             "focus size.");
  }
  return grid;
}

void VectorizeRaster(TLevels &levels) {
  if (!levels.HasRaster())
    return;
  const std::int32_t focus = levels.Focus();
  if (focus <= 0)
    return;
  const TIntSize grid = CheckedRasterCells(levels);
  const int columns = grid.cx, rows = grid.cy;

  // Raster() hands out an implicitly shared copy under the raster lock, so the
  // picture stays alive and unchanged while it is scaled here, and the main
  // thread, which asks HasRaster() on every restart, is not held meanwhile.
  const QImage cells = ScaleToCells(levels.Raster(), grid);
  if (cells.isNull())
    throw std::runtime_error("Not enough memory to scale the picture to " +
                             std::to_string(columns) + " x " + std::to_string(rows) +
                             " focus spots.");
  if (levels.Clearing())
    return;

  std::vector<TNearestCache::TCandidate> candidates;
  for (int i = 0; i < levels.Count(); ++i)
    if (levels.Item(i)->Kind() == lkLines)
      candidates.push_back({i, levels.Item(i)->LabColor()});
  TNearestCache nearest(std::move(candidates));

  // The runs are kept as cells first, 12 bytes each, and become segments
  // once their number is known: a full-size picture makes tens of millions,
  // and lists grown one run at a time hold up to twice the room they need.
  struct TCellRun {
    std::int32_t X, E, R;
  };
  const bool mirror = levels.Mirror();
  std::vector<std::vector<TCellRun>> runs(static_cast<std::size_t>(levels.Count()));
  std::vector<int> rowNearest(static_cast<std::size_t>(columns));
  for (int r = 0; r < rows; ++r) {
    if (levels.Clearing())
      return;
    // Row 0 is the bottom of the drawing, the last row of the picture.
    const int y = rows - 1 - r;
    for (int x = 0; x < columns; ++x)
      rowNearest[static_cast<std::size_t>(x)] =
          nearest.Nearest(CellPixel(cells, mirror ? columns - 1 - x : x, y));
    for (int x = 0; x < columns;) {
      const int v = rowNearest[static_cast<std::size_t>(x)];
      int e = x + 1;
      while (e < columns && rowNearest[static_cast<std::size_t>(e)] == v)
        ++e;
      if (v >= 0)
        runs[static_cast<std::size_t>(nearest.Candidate(v).Index)].push_back({x, e, r});
      x = e;
    }
  }
  if (levels.Clearing())
    return;
  for (int i = 0; i < levels.Count(); ++i) {
    std::vector<TCellRun> &cellRuns = runs[static_cast<std::size_t>(i)];
    if (auto *input = levels.Item(i)->Input()) {
      TPaths segments;
      segments.reserve(cellRuns.size());
      for (const TCellRun &run : cellRuns)
        segments.push_back(ScanSegment(run.X, run.E, run.R, focus));
      input->assign(1, std::move(segments));
    }
    cellRuns = {};
  }
}
