#include "StlReader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>

#include "StlLevels.h"
#include "core/FileBytes.h"
#include "core/Numbers.h"
#include "core/PathUtils.h"
#include "core/PhaseTimes.h"

namespace {

// clang-format off
constexpr std::int32_t HeightTable[StlHeightCount] = {
    0,      10,     20,     30,     40,     50,     60,     70,     80,     90,
    100,    110,    120,    130,    150,    160,    180,    200,    220,    250,
    270,    300,    330,    370,    400,    450,    500,    550,    600,    650,
    750,    800,    900,    1000,   1100,   1200,   1300,   1500,   1600,   1800,
    2000,   2200,   2500,   2700,   3000,   3300,   3700,   4000,   4500,   5000,
    5500,   6000,   6700,   7400,   8000,   9000,   10000,  11000,  12000,  13500,
    15000,  16500,  18000,  20000,  22000,  24500,  27000,  30000,  33000,  36500,
    40000,  45000,  50000,  55000,  60000,  66000,  73000,  81000,  90000,  100000,
    110000, 120000, 135000, 150000, 165000, 180000, 200000, 220000, 245000, 270000,
    300000, 330000, 365000, 400000, 450000, 500000, 550000, 600000, 650000, 750000};
// clang-format on

// One facet as the file gives it: three corners of X, Y, Z in millimetres.
// The normal and the attribute word are never used, so they are not kept.
struct TRawFacet {
  std::array<float, 9> V;
};

constexpr std::size_t BinaryHeaderSize = 84;
constexpr std::size_t BinaryRecordSize = 50;
constexpr std::size_t BinaryVertexOffset = 12;

const std::string NoEndsolidText = "No \"endsolid\" suffix";
const std::string FacetFormatText = "Invalid facet format";

float LittleEndianFloat(const char *p) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i)
    bits = (bits << 8) | static_cast<unsigned char>(p[i]);
  return std::bit_cast<float>(bits);
}

std::uint32_t DeclaredFacets(std::string_view bytes) {
  std::uint32_t count = 0;
  for (int i = 3; i >= 0; --i)
    count = (count << 8) | static_cast<unsigned char>(bytes[80 + static_cast<std::size_t>(i)]);
  return count;
}

// The header's facet count matches the length exactly: a binary file, even
// when its header begins with "solid" as many exporters write it.
bool BinaryByLength(std::string_view bytes) {
  return bytes.size() >= BinaryHeaderSize &&
         (bytes.size() - BinaryHeaderSize) / BinaryRecordSize == DeclaredFacets(bytes) &&
         (bytes.size() - BinaryHeaderSize) % BinaryRecordSize == 0;
}

// "solid" and then text only, as far as a look at the start shows: binary
// facets hold control bytes (zeros above all) within their first records.
bool LooksLikeText(std::string_view bytes) {
  if (bytes.substr(0, 5) != "solid")
    return false;
  constexpr std::size_t Look = 1024;
  for (const char c : bytes.substr(0, Look)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x09 || (byte > 0x0D && byte < 0x20) || byte == 0x7F)
      return false;
  }
  return true;
}

std::string Plural(std::size_t n, const char *word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// The records of a binary file, checked for size; read in place.
std::size_t BinaryFacets(std::string_view bytes) {
  if (bytes.empty())
    throw TReadError("The STL file is empty");
  if (bytes.size() < BinaryHeaderSize)
    throw TReadError("The binary STL file ends within its 84-byte header (" +
                     Plural(bytes.size(), "byte") + ")");
  const std::size_t held = (bytes.size() - BinaryHeaderSize) / BinaryRecordSize;
  const std::size_t rest = (bytes.size() - BinaryHeaderSize) % BinaryRecordSize;
  if (rest != 0) {
    const std::uint32_t declared = DeclaredFacets(bytes);
    if (declared > held)
      throw TReadError("The binary STL file is cut short: it announces " +
                       Plural(declared, "facet") + " and holds " + std::to_string(held) + " and " +
                       Plural(rest, "byte") + " of the next");
    throw TReadError("The binary STL file announces " + Plural(declared, "facet") + " and holds " +
                     std::to_string(held) + " and " + Plural(rest, "byte") + " more");
  }
  // Otherwise the facet count in the header is not used: exporters often
  // leave it 0 or wrong. Only the bytes present size the list, so a header
  // claiming billions of facets in a small file allocates nothing.
  return held;
}

// Walks the text token by token, so a huge file never becomes a huge token list.
class TTokens {
public:
  explicit TTokens(std::string_view text) : FText(text) {}
  // The next token, or an empty one when none is left.
  std::string_view Next() {
    while (FPos < FText.size() && IsSeparator(FText[FPos])) {
      if (FText[FPos] == '\n')
        ++FLine;
      ++FPos;
    }
    const std::size_t start = FPos;
    while (FPos < FText.size() && !IsSeparator(FText[FPos]))
      ++FPos;
    return FText.substr(start, FPos - start);
  }

  // The line (from 1) of the token Next() gave last, or of the end.
  int Line() const { return FLine; }

private:
  static bool IsSeparator(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
  std::string_view FText;
  std::size_t FPos = 0;
  int FLine = 1;
};

// The file is 8-bit text; the user sees the token in a UTF-8 message.
std::string Latin1ToUtf8(std::string_view text) {
  // A token of megabytes would make an unreadable message box.
  constexpr std::size_t MaxShown = 100;
  const bool cut = text.size() > MaxShown;
  if (cut)
    text = text.substr(0, MaxShown);
  std::string result;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      result += c;
    } else {
      result += static_cast<char>(0xC0 | (byte >> 6));
      result += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  if (cut)
    result += "...";
  return result;
}

// Returns the message to show when the text is not laid out as expected;
// facets then holds what was read before, which the caller discards.
std::string ReadAscii(std::string_view bytes, std::vector<TRawFacet> &facets) {
  TTokens tokens(bytes);
  tokens.Next();
  std::string_view token = tokens.Next();
  // The solid's name is any number of words, or none (exporters write the
  // model's name, "Cura Glass Plate 2", or "OpenSCAD_Model", or nothing);
  // it can hold neither keyword.
  while (!token.empty() && token != "facet" && token != "endsolid")
    token = tokens.Next();
  constexpr int FacetTokens = 21;
  std::array<std::string_view, FacetTokens> facet;
  std::array<int, FacetTokens> lines{};
  // Where reading stopped: the line, and what stands there instead of what belongs.
  auto at = [](int line, std::string_view found, const char *expected) {
    const std::string place =
        found.empty() ? "the file ends at line " + std::to_string(line)
                      : "line " + std::to_string(line) + " holds \"" + Latin1ToUtf8(found) + "\"";
    return ": " + place + " where " + expected + " belongs";
  };
  for (;;) {
    if (token != "facet")
      return token == "endsolid"
                 ? std::string()
                 : NoEndsolidText + at(tokens.Line(), token, "\"facet\" or \"endsolid\"");
    facet[0] = token;
    lines[0] = tokens.Line();
    // A file cut short inside a facet leaves empty tokens, which fail the
    // keyword checks below like any other malformed facet.
    for (std::size_t i = 1; i < FacetTokens; ++i) {
      facet[i] = tokens.Next();
      lines[i] = tokens.Line();
    }
    static constexpr std::pair<std::size_t, const char *> keywords[] = {
        {1, "normal"},  {5, "outer"},   {6, "loop"},     {7, "vertex"},
        {11, "vertex"}, {15, "vertex"}, {19, "endloop"}, {20, "endfacet"}};
    for (const auto &[index, keyword] : keywords)
      if (facet[index] != keyword)
        return FacetFormatText +
               at(lines[index], facet[index], ("\"" + std::string(keyword) + "\"").c_str());
    TRawFacet raw;
    for (std::size_t corner = 0; corner < 3; ++corner)
      for (std::size_t axis = 0; axis < 3; ++axis) {
        const std::size_t index = 8 + 4 * corner + axis;
        const std::string_view text = facet[index];
        const std::optional<float> value = ParseStrictSingle(text);
        if (!value)
          throw TReadError("'" + Latin1ToUtf8(text) +
                           "' is not a valid floating point value for Single type (line " +
                           std::to_string(lines[index]) + ")");
        raw.V[3 * corner + axis] = *value;
      }
    facets.push_back(raw);
    token = tokens.Next();
  }
}

// Over the coordinates as value(facet, index) gives them, nine per facet, so
// that binary records are read where they lie instead of being copied first.
template <class TValue>
TStlModel Normalise(std::size_t count, const TValue &value9, double unitsPerMM) {
  TStlModel model;
  float minimum[3] = {2147483647.0f, 2147483647.0f, 2147483647.0f};
  for (std::size_t f = 0; f < count; ++f)
    for (std::size_t i = 0; i < 9; ++i) {
      const float value = value9(f, i);
      // NaN would slip through every comparison and turn into an undefined
      // integer; infinity would move the origin to infinity.
      if (!std::isfinite(value))
        throw TReadError("Invalid vertex coordinate in facet " + std::to_string(f + 1));
      minimum[i % 3] = std::min(minimum[i % 3], value);
    }
  const std::int64_t unit = RoundUnit(unitsPerMM);
  std::int64_t maxX = unit;
  std::int64_t maxY = unit;
  // The drawing size is 32 bits wide; a larger model cannot be laid out.
  constexpr double Largest = std::numeric_limits<std::int32_t>::max();
  auto toUnits = [&](float value, float origin) {
    const double units =
        std::nearbyint((static_cast<double>(value) - static_cast<double>(origin)) * unitsPerMM);
    if (units > Largest)
      throw TReadError("The model is too large");
    return static_cast<std::int64_t>(units);
  };
  // Most facets of a relief stand upright and are dropped, but reserving
  // room for all costs only address space.
  model.Facets.reserve(count);
  for (std::size_t f = 0; f < count; ++f) {
    auto height = [&](std::size_t corner) {
      const double z =
          static_cast<double>(value9(f, 3 * corner + 2)) - static_cast<double>(minimum[2]);
      return StlHeightIndex(std::nearbyint(z * 100));
    };
    int heights[3];
    heights[0] = height(0);
    // Upright facets, most of a model, are dropped at the first corner off
    // the first one's height.
    if ((heights[1] = height(1)) != heights[0] || (heights[2] = height(2)) != heights[0])
      continue;
    THorizontalFacet horizontal;
    horizontal.Height = heights[0];
    for (std::size_t corner = 0; corner < 3; ++corner) {
      TIntPoint &p = horizontal.Corners[corner];
      p.X = toUnits(value9(f, 3 * corner), minimum[0]);
      p.Y = toUnits(value9(f, 3 * corner + 1), minimum[1]);
      maxX = std::max<std::int64_t>(maxX, p.X);
      maxY = std::max<std::int64_t>(maxY, p.Y);
    }
    model.Facets.push_back(horizontal);
  }
  model.Size = {static_cast<std::int32_t>(maxX), static_cast<std::int32_t>(maxY)};
  return model;
}

// The open dialog's filter for text files. The binary filter (2) needs no
// rule of its own: a binary file is never plainly text.
constexpr int TextFilter = 3;

// The length rule comes first: a binary file whose header begins with
// "solid" is common, an ASCII file whose length fits a binary count is
// practically impossible (its bytes 80 to 83 would announce a billion
// facets). After that the chosen filter holds, except that a file that
// plainly is ASCII reads as ASCII under the binary filter too, and
// anything else is binary.
bool ReadsAsAscii(std::string_view bytes, int filterIndex) {
  if (BinaryByLength(bytes))
    return false;
  if (filterIndex == TextFilter)
    return true;
  if (LooksLikeText(bytes))
    return true;
  // Binary bytes, whatever the header says: a truncated binary file is
  // told as one.
  return false;
}

} // namespace

std::int32_t StlHeight(int index) { return HeightTable[std::clamp(index, 0, StlHeightCount - 1)]; }

int StlHeightIndex(double hundredths) {
  // The first height whose midpoint with the next lies above; the midpoints
  // rise with the table, so a binary search finds it.
  int low = 0, high = StlHeightCount - 1;
  while (low < high) {
    const int middle = (low + high) / 2;
    if (2 * hundredths < HeightTable[middle] + HeightTable[middle + 1])
      high = middle;
    else
      low = middle + 1;
  }
  return low;
}

int StlHeightIndexReference(double hundredths) {
  for (int i = 0; i + 1 < StlHeightCount; ++i)
    if (2 * hundredths < HeightTable[i] + HeightTable[i + 1])
      return i;
  return StlHeightCount - 1;
}

TStlModel ReadStlModel(std::string_view bytes, const TReadOptions &options) {
  if (!ReadsAsAscii(bytes, options.FilterIndex)) {
    const char *records = bytes.data() + BinaryHeaderSize + BinaryVertexOffset;
    return Normalise(
        BinaryFacets(bytes),
        [records](std::size_t f, std::size_t i) {
          return LittleEndianFloat(records + f * BinaryRecordSize + 4 * i);
        },
        options.UnitsPerMM);
  }
  std::vector<TRawFacet> facets;
  const std::string message = ReadAscii(bytes, facets);
  if (!message.empty()) {
    if (options.ShowMessage)
      options.ShowMessage(message);
    facets.clear();
  }
  return Normalise(
      facets.size(), [&facets](std::size_t f, std::size_t i) { return facets[f].V[i]; },
      options.UnitsPerMM);
}

TReadResult ReadStereolithography(std::string_view bytes, const TReadOptions &options) {
  std::optional<TPhaseMark> mark(std::in_place, "read: STL facets");
  TStlModel model = ReadStlModel(bytes, options);
  mark.reset();
  TReadResult result;
  result.Size = model.Size;
  TStlLevelOptions levelOptions;
  levelOptions.UnitsPerMM = options.UnitsPerMM;
  levelOptions.Focus = options.Focus;
  levelOptions.SetProgressMax = options.SetProgressMax;
  levelOptions.Progress = options.Progress;
  result.Levels = BuildStlLevels(model.Facets, levelOptions);
  return result;
}

TReadResult LoadStereolithographyFile(const std::string &fileName, const TReadOptions &options) {
  return ReadStereolithography(ReadFileBytes(fileName, UnlimitedFileBytes), options);
}
