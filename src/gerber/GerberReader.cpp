#include "GerberReader.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "Apertures.h"
#include "Calculator.h"
#include "core/PathUtils.h"

using namespace ClipperLib;

namespace {

__extension__ typedef __int128 TInt128;

[[noreturn]] void Fail(const char *what) { throw std::runtime_error(what); }

// Messages name the block; a block of megabytes is cut short.
std::string BlockText(std::string_view block) {
  constexpr std::size_t MaxShown = 200;
  if (block.size() <= MaxShown)
    return std::string(block);
  return std::string(block.substr(0, MaxShown)) + "...";
}

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

// The text after the first occurrence of letter up to the next upper-case letter.
std::string_view Field(std::string_view block, char letter) {
  const std::size_t at = block.find(letter);
  if (at == std::string_view::npos)
    return {};
  std::size_t end = at + 1;
  while (end < block.size() && !IsUpper(block[end]))
    ++end;
  return block.substr(at + 1, end - at - 1);
}

template <typename T> std::optional<T> ParseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+')
    text.remove_prefix(1);
  T value{};
  if (text.empty())
    return std::nullopt;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size())
    return std::nullopt;
  return value;
}

std::int32_t IntValue(std::string_view block, char letter, std::int32_t fallback) {
  return ParseInteger<std::int32_t>(Field(block, letter)).value_or(fallback);
}

std::int64_t StrictInt64(std::string_view block, char letter) {
  const auto value = ParseInteger<std::int64_t>(Field(block, letter));
  if (!value)
    Fail("Not an integer");
  return *value;
}

// A number scaled to internal units, rounded half to even, inside the limit.
std::int64_t ToUnits(double value, double scale) {
  const double units = std::nearbyint(value * scale);
  if (!(std::fabs(units) <= GerberCoordinateLimit))
    Fail("Coordinate out of range");
  return static_cast<std::int64_t>(units);
}

std::int64_t PointCount(const TPaths &paths) {
  std::int64_t count = 0;
  for (const auto &path : paths)
    count += static_cast<std::int64_t>(path.size());
  return count;
}

// Ends the parse (M00, M02) without an error.
struct TEndOfProgram {};

class TGerberParser {
public:
  TGerberParser(const TGerberOptions &options)
      : FOptions(options), FBudget(options.MaxPoints), FImage(options.Merge),
        FMacros(StandardMacros()) {}

  TPaths Run(std::string_view text);

private:
  double UnitFactor() const { return FInch ? 25.4 * FOptions.UnitsPerMM : FOptions.UnitsPerMM; }
  double CoordinateScale() const { return UnitFactor() / std::pow(10.0, FDecimals); }

  void Interpret(std::string_view block, bool extended);
  void GCode(std::string_view block);
  void CoordinateBlock(std::string_view block);
  void SelectAperture(std::int32_t code);
  void StepAndRepeat(std::string_view block);
  void Move(std::string_view block);
  void Flash(std::string_view block);
  void Draw(std::string_view block);
  void CloseRegion();
  void ReadPoint(std::string_view block, TIntPoint &point) const;
  TPath Interpolate(std::string_view block, TIntPoint to) const;
  // Merges shape (drawn at the origin of the first copy) once per repetition.
  void Emit(const TPaths &shape, TIntPoint offset);

  const TGerberOptions &FOptions;
  TWorkBudget FBudget;
  TShapeMerger FImage;
  TMacroTable FMacros;
  TApertureTable FApertures;

  std::int32_t FDecimals = 5;
  bool FInch = false;
  TIntPoint FCurrent{0, 0};
  const TPaths *FAperture = nullptr;
  std::int32_t FMode = 0;
  bool FMultiQuadrant = false;
  bool FDark = true;
  bool FRegion = false;
  TPaths FContour;
  std::int64_t FRepeatX = 1, FRepeatY = 1;
  std::int64_t FStepI = 0, FStepJ = 0;
};

TPaths TGerberParser::Run(std::string_view raw) {
  std::string text;
  text.reserve(raw.size());
  for (const char c : raw) {
    const auto code = static_cast<unsigned char>(c);
    if (code > 32 && code < 127)
      text.push_back(c);
  }

  std::string_view rest = text;
  std::string_view previous;
  try {
    while (!rest.empty()) {
      std::string_view block;
      bool extended = false;
      if (rest.front() == '%') {
        const std::size_t close = rest.find('%', 1);
        if (close == std::string_view::npos)
          throw TReadError("Invalid command: " + BlockText(rest.substr(1)));
        block = rest.substr(1, close - 1);
        if (block.empty() || block.back() != '*')
          throw TReadError("Invalid command: " + BlockText(block));
        block.remove_suffix(1);
        rest.remove_prefix(close + 1);
        extended = true;
      } else {
        const std::size_t star = rest.find('*');
        // A fragment without its "*" cannot be told from a cut-off file; the
        // message names the last complete block.
        if (star == std::string_view::npos)
          throw TReadError("Invalid command: " + BlockText(previous));
        block = rest.substr(0, star);
        rest.remove_prefix(star + 1);
      }
      previous = block;
      try {
        Interpret(block, extended);
      } catch (const TEndOfProgram &) {
        throw;
      } catch (const TGerberLimitError &) {
        throw;
      } catch (const std::bad_alloc &) {
        throw;
      } catch (const std::exception &) {
        throw TReadError("Invalid command: " + BlockText(block));
      }
    }
  } catch (const TEndOfProgram &) {
  }
  // A region still open at the end is not emitted.
  return std::move(FImage.Image());
}

void TGerberParser::Interpret(std::string_view block, bool extended) {
  const auto startsWith = [block](std::string_view prefix) { return block.starts_with(prefix); };
  if (startsWith("G")) {
    const std::int32_t g = IntValue(block, 'G', -1);
    if (g != 1 && g != 2 && g != 3) {
      GCode(block);
      return;
    }
  } else if (startsWith("L")) {
    const char second = block.size() > 1 ? block[1] : '\0';
    if (second == 'M' || second == 'R' || second == 'S')
      Fail("Layer transformations are not supported");
    if (second == 'P') {
      if (block == "LPC")
        FDark = false;
      else if (block == "LPD")
        FDark = true;
      else
        Fail("Bad polarity");
    }
    return;
  } else if (startsWith("MO")) {
    if (block == "MOIN")
      FInch = true;
    else if (block == "MOMM")
      FInch = false;
    else
      Fail("Bad unit");
    return;
  } else if (startsWith("M")) {
    const std::int32_t m = ParseInteger<std::int32_t>(block.substr(1)).value_or(-1);
    if (m == 0 || m == 2)
      throw TEndOfProgram();
    if (m != 1)
      Fail("Bad M code");
    return;
  } else if (startsWith("FS")) {
    if (!startsWith("FSLAX") || block.size() != 10 || block.substr(5, 2) != block.substr(8, 2) ||
        block[9] < '0' || block[9] > '9')
      Fail("Bad format");
    FDecimals = block[9] - '0';
    return;
  } else if (startsWith("A")) {
    const char second = block.size() > 1 ? block[1] : '\0';
    if (second == 'B')
      Fail("Aperture blocks are not supported");
    if (second == 'D') {
      TApertureContext context{FMacros, FApertures, UnitFactor(), FBudget, FOptions.Merge};
      DefineAperture(context, block.substr(3));
    } else if (second == 'M')
      DefineMacro(FMacros, block.substr(2));
    return;
  } else if (startsWith("SR")) {
    StepAndRepeat(block);
    return;
  }
  // Attributes (TF, TA, TO, TD) and image commands carry names such as
  // "TO.C,Y1" or "TO.C,D3" that would read as coordinates or D codes; no
  // extended command is a coordinate block, so they are all ignored.
  if (extended)
    return;
  CoordinateBlock(block);
}

void TGerberParser::GCode(std::string_view block) {
  switch (IntValue(block, 'G', -1)) {
  case 36:
    FRegion = true;
    FContour.clear();
    break;
  case 37:
    CloseRegion();
    FRegion = false;
    break;
  case 54: {
    const std::int32_t d = IntValue(block, 'D', -1);
    if (d >= 10)
      SelectAperture(d);
    break;
  }
  case 70:
    FInch = true;
    break;
  case 71:
    FInch = false;
    break;
  case 74:
    FMultiQuadrant = false;
    break;
  case 75:
    FMultiQuadrant = true;
    break;
  case 91:
    Fail("Incremental coordinates are not supported");
  default:
    break;
  }
}

void TGerberParser::StepAndRepeat(std::string_view block) {
  const std::int64_t x = StrictInt64(block, 'X');
  const std::int64_t y = StrictInt64(block, 'Y');
  double i = 0, j = 0;
  if (!ParseDecimal(Field(block, 'I'), i) || !ParseDecimal(Field(block, 'J'), j))
    Fail("Bad step");
  const std::int64_t stepI = ToUnits(i, UnitFactor());
  const std::int64_t stepJ = ToUnits(j, UnitFactor());
  if (x > 0 && y > 0) {
    if (x > GerberMaxRepeats || y > GerberMaxRepeats || x * y > GerberMaxRepeats)
      Fail("Too many repetitions");
    // The last copy must stay as far inside the range as any coordinate.
    if (static_cast<double>(x - 1) * std::fabs(static_cast<double>(stepI)) > GerberCoordinateLimit ||
        static_cast<double>(y - 1) * std::fabs(static_cast<double>(stepJ)) > GerberCoordinateLimit)
      Fail("Repetition out of range");
  }
  FRepeatX = x;
  FRepeatY = y;
  FStepI = stepI;
  FStepJ = stepJ;
}

void TGerberParser::SelectAperture(std::int32_t code) {
  auto found = FApertures.find(code);
  if (found == FApertures.end())
    found = FApertures.find(10);
  if (found == FApertures.end())
    found = FApertures.begin();
  if (found == FApertures.end())
    Fail("No aperture defined");
  FAperture = &found->second;
}

void TGerberParser::CoordinateBlock(std::string_view block) {
  const std::int32_t g = IntValue(block, 'G', -1);
  if (g == 1)
    FMode = 0;
  else if (g == 2)
    FMode = 1;
  else if (g == 3)
    FMode = -1;
  const std::int32_t fallback =
      IntValue(block, 'X', -1) > 0 || IntValue(block, 'Y', -1) > 0 ? 1 : -1;
  const std::int32_t d = IntValue(block, 'D', fallback);
  if (d == 1)
    Draw(block);
  else if (d == 2)
    Move(block);
  else if (d == 3)
    Flash(block);
  else if (d >= 10)
    SelectAperture(d);
}

void TGerberParser::ReadPoint(std::string_view block, TIntPoint &point) const {
  const double scale = CoordinateScale();
  for (const char letter : {'X', 'Y'}) {
    const std::string_view field = Field(block, letter);
    if (field.empty())
      continue;
    double value = 0;
    if (!ParseDecimal(field, value))
      Fail("Bad coordinate");
    (letter == 'X' ? point.X : point.Y) = ToUnits(value, scale);
  }
}

void TGerberParser::Emit(const TPaths &shape, TIntPoint offset) {
  if (shape.empty() || FRepeatX <= 0 || FRepeatY <= 0)
    return;
  const std::int64_t points = PointCount(shape);
  for (std::int64_t i = 0; i < FRepeatX; ++i)
    for (std::int64_t j = 0; j < FRepeatY; ++j) {
      FBudget.Charge(points + 1);
      const std::int64_t dx = offset.X + i * FStepI;
      const std::int64_t dy = offset.Y + j * FStepJ;
      // The translation goes through single precision; skipping the identity
      // keeps coordinates beyond its 24-bit mantissa exact.
      if (dx == 0 && dy == 0)
        FImage.Add(shape, FDark);
      else
        FImage.Add(TransformPaths(shape, TMatrix::Translation(static_cast<double>(dx),
                                                              static_cast<double>(dy))),
                   FDark);
    }
}

void TGerberParser::CloseRegion() {
  if (!FRegion || FContour.empty())
    return;
  Emit(FContour, TIntPoint(0, 0));
  FContour.clear();
}

void TGerberParser::Move(std::string_view block) {
  CloseRegion();
  ReadPoint(block, FCurrent);
}

void TGerberParser::Flash(std::string_view block) {
  ReadPoint(block, FCurrent);
  if (FAperture)
    Emit(*FAperture, FCurrent);
}

void TGerberParser::Draw(std::string_view block) {
  TIntPoint to = FCurrent;
  ReadPoint(block, to);
  const TPath segment = Interpolate(block, to);
  FCurrent = to;
  if (FRegion) {
    FBudget.Charge(static_cast<std::int64_t>(segment.size()));
    if (FContour.empty())
      FContour.push_back({segment.front()});
    FContour[0].insert(FContour[0].end(), segment.begin() + 1, segment.end());
    return;
  }
  static const TPath HairlineBrush{TIntPoint(-1, -1), TIntPoint(-1, 1), TIntPoint(1, 1),
                                   TIntPoint(1, -1)};
  const TPath *brush = &HairlineBrush;
  if (!FOptions.Hairline) {
    if (!FAperture || FAperture->empty())
      Fail("No brush");
    brush = &FAperture->front();
  }
  // MinkowskiSum works on every brush edge along every segment edge.
  FBudget.Charge(4 * static_cast<std::int64_t>(brush->size()) *
                 static_cast<std::int64_t>(segment.size()));
  TPaths shape;
  MinkowskiSum(*brush, segment, shape, false);
  Emit(shape, TIntPoint(0, 0));
}

TPath TGerberParser::Interpolate(std::string_view block, TIntPoint to) const {
  const TIntPoint from = FCurrent;
  if (FMode == 0)
    return {from, to};
  const double scale = CoordinateScale();
  const auto offset = [&](char letter) -> std::int64_t {
    double value = 0;
    if (!ParseDecimal(Field(block, letter), value))
      return 0;
    return ToUnits(value, scale);
  };
  const std::int64_t i = offset('I'), j = offset('J');
  const std::int64_t r2 = i * i + j * j;

  const TIntPoint candidates[] = {TIntPoint(from.X + i, from.Y + j), TIntPoint(from.X - i, from.Y + j),
                                  TIntPoint(from.X + i, from.Y - j), TIntPoint(from.X - i, from.Y - j)};
  const int count = FMultiQuadrant ? 1 : 4;
  double best = 2147483647.0;
  std::optional<TIntPoint> centre;
  double a0 = 0, a1 = 0;
  for (int k = 0; k < count; ++k) {
    const TIntPoint c = candidates[k];
    const double start = std::atan2(static_cast<double>(from.Y - c.Y), static_cast<double>(from.X - c.X));
    double end = std::atan2(static_cast<double>(to.Y - c.Y), static_cast<double>(to.X - c.X));
    if (FMode < 0 && end < start)
      end += 2 * std::numbers::pi;
    if (FMode > 0 && end > start)
      end -= 2 * std::numbers::pi;
    if (!FMultiQuadrant && std::fabs(end - start) > 0.65 * std::numbers::pi)
      continue;
    const TInt128 dx = to.X - c.X, dy = to.Y - c.Y;
    TInt128 difference = dx * dx + dy * dy - static_cast<TInt128>(r2);
    if (difference < 0)
      difference = -difference;
    const double error = static_cast<double>(difference);
    if (error < best) {
      best = error;
      centre = c;
      a0 = start;
      a1 = end;
    }
  }
  if (!centre)
    return {from, to};

  const double r = std::sqrt(static_cast<double>(r2));
  const auto at = [&](double a) {
    return TIntPoint(RoundUnit(static_cast<double>(centre->X) + r * std::cos(a)),
                     RoundUnit(static_cast<double>(centre->Y) + r * std::sin(a)));
  };
  TPath path;
  double a = a0;
  if (FMode < 0)
    for (; a1 > a + 0.1; a += 0.1)
      path.push_back(at(a));
  else
    for (; a1 < a - 0.1; a -= 0.1)
      path.push_back(at(a));
  if (path.empty())
    path.push_back(at(a0));
  path.push_back(to);
  return path;
}

} // namespace

TPaths ParseGerber(std::string_view text, const TGerberOptions &options) {
  TGerberParser parser(options);
  return parser.Run(text);
}

std::string ReadGerberText(const std::string &fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in)
    throw TReadError("Cannot open file " + fileName);
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0)
    throw TReadError("Cannot read file " + fileName);
  if (size > GerberMaxFileBytes)
    throw TReadError("The Gerber file is too large: " + fileName);
  in.seekg(0);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!in.read(bytes.data(), size))
    throw TReadError("Cannot read file " + fileName);

  const bool littleEndian = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  const bool bigEndian = bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF';
  if (!littleEndian && !bigEndian)
    return bytes;
  // Only printable ASCII survives the parser's filter, so every other code
  // unit can become a blank here.
  std::string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t k = 2; k + 1 < bytes.size(); k += 2) {
    const auto lo = static_cast<unsigned char>(bytes[littleEndian ? k : k + 1]);
    const auto hi = static_cast<unsigned char>(bytes[littleEndian ? k + 1 : k]);
    text.push_back(hi == 0 && lo < 128 ? static_cast<char>(lo) : ' ');
  }
  return text;
}

TReadResult LoadGerberFile(const std::string &fileName, const TReadOptions &options) {
  auto level = std::make_unique<TLevel>(lkArea);
  level->SetName("Copper");
  level->SetColor(0xFFC00000u);
  level->SetHeight(5);

  TGerberOptions parse;
  parse.UnitsPerMM = options.UnitsPerMM;
  TPaths image = ParseGerber(ReadGerberText(fileName), parse);

  const IntRect bounds = PathsBounds(image);
  constexpr auto max = std::numeric_limits<std::int32_t>::max();
  if (bounds.right > max || bounds.bottom > max || bounds.left < -max || bounds.top < -max)
    throw TReadError("The Gerber image is too large: " + fileName);
  TReadResult result;
  level->Input()->push_back(std::move(image));
  result.Levels.push_back(std::move(level));
  result.Size = {static_cast<std::int32_t>(bounds.right), static_cast<std::int32_t>(bounds.bottom)};
  result.Gerber = true;
  return result;
}
