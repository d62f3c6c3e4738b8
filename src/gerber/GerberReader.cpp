#include "GerberReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "Apertures.h"
#include "Calculator.h"
#include "core/FileBytes.h"
#include "core/Numbers.h"
#include "core/PathUtils.h"
#include "core/TextDecoding.h"

using namespace ClipperLib;

namespace {

__extension__ typedef __int128 TInt128;

[[noreturn]] void Fail(const std::string &what) { throw std::runtime_error(what); }

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

std::int32_t IntValue(std::string_view block, char letter, std::int32_t fallback) {
  return ParseIntegerOptionalPlus<std::int32_t>(Field(block, letter)).value_or(fallback);
}

std::int64_t StrictInt64(std::string_view block, char letter, const char *what) {
  const auto value = ParseIntegerOptionalPlus<std::int64_t>(Field(block, letter));
  if (!value)
    Fail(std::string(what) + " is not a whole number");
  return *value;
}

// A number scaled to internal units, rounded half to even, inside the limit.
std::int64_t ToUnits(double value, double scale) {
  const double units = std::nearbyint(value * scale);
  if (!(std::fabs(units) <= GerberCoordinateLimit))
    Fail("coordinate out of range (more than a kilometre)");
  return static_cast<std::int64_t>(units);
}

bool IsDigitRun(std::string_view text) {
  if (!text.empty() && (text.front() == '+' || text.front() == '-'))
    text.remove_prefix(1);
  if (text.empty())
    return false;
  for (const char c : text)
    if (c < '0' || c > '9')
      return false;
  return true;
}

// Any file whose extension names no other reader comes here, pictures in
// other formats (or with a wrong extension) too: say what the file is rather
// than quoting its binary as a bad command.
std::string PictureKind(std::string_view bytes) {
  struct TSignature {
    std::string_view Start;
    const char *Kind;
  };
  static constexpr TSignature signatures[] = {
      {"\x89PNG\r\n\x1a\n", "PNG"}, {"\xFF\xD8\xFF", "JPEG"},  {"GIF87a", "GIF"},
      {"GIF89a", "GIF"},               {{"II*\0", 4}, "TIFF"},      {{"MM\0*", 4}, "TIFF"},
      {"8BPS", "Photoshop"},           {"gimp xcf", "GIMP"},       {{"\0\0\1\0", 4}, "Windows icon"}};
  for (const auto &signature : signatures)
    if (bytes.starts_with(signature.Start))
      return signature.Kind;
  if (bytes.size() >= 12 && bytes.starts_with("RIFF") && bytes.substr(8, 4) == "WEBP")
    return "WebP";
  if (bytes.size() >= 12 && bytes.substr(4, 4) == "ftyp") {
    const std::string_view brand = bytes.substr(8, 4);
    if (brand == "avif" || brand == "avis")
      return "AVIF";
    if (brand == "heic" || brand == "heix" || brand == "mif1")
      return "HEIF";
  }
  return {};
}

// Excellon drill files share extensions with Gerber layers (.drl, .txt, even
// .grb) but hold no Gerber at all: their header opens with M48, after
// comments, a lone "%" or a few setup codes (G90, M72) at most.
bool LooksLikeExcellon(std::string_view text) {
  std::size_t start = 0;
  int lines = 0;
  while (start < text.size() && lines < 10) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos)
      end = text.size();
    std::string_view line = text.substr(start, end - start);
    while (!line.empty() && static_cast<unsigned char>(line.front()) <= 32)
      line.remove_prefix(1);
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= 32)
      line.remove_suffix(1);
    start = end + 1;
    if (line.empty() || line.front() == ';' || line == "%")
      continue;
    if (line.find('*') != std::string_view::npos)
      return false;
    if (line == "M48" || line.starts_with("M48;") || line.starts_with("M48 "))
      return true;
    ++lines;
  }
  return false;
}

// How coordinate digits are read: the FS statement with the legacy forms
// older CAD tools still write.
struct TCoordinateFormat {
  std::int32_t XInteger = 0, XDecimals = 5;
  std::int32_t YInteger = 0, YDecimals = 5;
  // Trailing zeros omitted: "X15" in 2.4 means 15.0000, not 0.0015.
  bool TrailingOmitted = false;
  bool Incremental = false;
};

// FS[L|T|D][A|I][Nn][Gn]Xab Ybc[Dn][Mn]: the zero-omission and notation
// letters, then the per-axis digit counts; N, G, D and M counts only
// describe RS-274-D word lengths and change nothing here.
TCoordinateFormat ParseFormat(std::string_view block) {
  TCoordinateFormat format;
  std::size_t pos = 2;
  if (pos < block.size() && (block[pos] == 'L' || block[pos] == 'T' || block[pos] == 'D')) {
    format.TrailingOmitted = block[pos] == 'T';
    ++pos;
  }
  if (pos < block.size() && (block[pos] == 'A' || block[pos] == 'I')) {
    format.Incremental = block[pos] == 'I';
    ++pos;
  }
  const auto digit = [&](std::size_t at) {
    if (at >= block.size() || block[at] < '0' || block[at] > '9')
      Fail("unreadable format statement (expected e.g. FSLAX25Y25)");
    return static_cast<std::int32_t>(block[at] - '0');
  };
  bool haveX = false, haveY = false;
  while (pos < block.size()) {
    const char letter = block[pos];
    if (letter == 'X' || letter == 'Y') {
      const std::int32_t integer = digit(pos + 1), decimals = digit(pos + 2);
      (letter == 'X' ? format.XInteger : format.YInteger) = integer;
      (letter == 'X' ? format.XDecimals : format.YDecimals) = decimals;
      (letter == 'X' ? haveX : haveY) = true;
      pos += 3;
    } else if (letter == 'N' || letter == 'G' || letter == 'D' || letter == 'M') {
      digit(pos + 1);
      pos += 2;
    } else
      Fail("unreadable format statement (expected e.g. FSLAX25Y25)");
  }
  if (!haveX || !haveY)
    Fail("the format statement lacks the X or Y digit counts");
  return format;
}

// Transformations of the whole image by the legacy image parameters.
struct TImageTransform {
  bool SwapAxes = false;
  bool MirrorX = false, MirrorY = false;
  double ScaleX = 1, ScaleY = 1;
  std::int64_t OffsetX = 0, OffsetY = 0;
  std::int32_t Rotation = 0;
  bool Negative = false;

  bool Identity() const {
    return !SwapAxes && !MirrorX && !MirrorY && ScaleX == 1 && ScaleY == 1 && OffsetX == 0 &&
           OffsetY == 0 && Rotation == 0;
  }
  TPaths Apply(const TPaths &image) const;
};

TPaths TImageTransform::Apply(const TPaths &image) const {
  TPaths result = image;
  if (!Identity()) {
    for (auto &path : result)
      for (auto &point : path) {
        double x = static_cast<double>(point.X), y = static_cast<double>(point.Y);
        if (SwapAxes)
          std::swap(x, y);
        x = (MirrorX ? -x : x) * ScaleX + static_cast<double>(OffsetX);
        y = (MirrorY ? -y : y) * ScaleY + static_cast<double>(OffsetY);
        double rx = x, ry = y;
        switch (Rotation) {
        case 90:
          rx = -y;
          ry = x;
          break;
        case 180:
          rx = -x;
          ry = -y;
          break;
        case 270:
          rx = y;
          ry = -x;
          break;
        default:
          break;
        }
        if (!(std::fabs(rx) <= GerberCoordinateLimit && std::fabs(ry) <= GerberCoordinateLimit))
          throw TReadError("The Gerber image parameters (OF, SF) move the image out of range");
        point.X = static_cast<std::int64_t>(std::nearbyint(rx));
        point.Y = static_cast<std::int64_t>(std::nearbyint(ry));
      }
    // A reflection turns every outline the other way round.
    const int flips =
        int(SwapAxes) + int(MirrorX) + int(MirrorY) + int(ScaleX < 0) + int(ScaleY < 0);
    const bool reflected = flips % 2 == 1;
    if (reflected)
      ReversePaths(result);
  }
  if (Negative && !result.empty()) {
    // As gerbv draws a negative image: dark everywhere within its extent
    // except where the file drew.
    const IntRect box = PathsBounds(result);
    const TPaths frame{{TIntPoint(box.left, box.top), TIntPoint(box.right, box.top),
                        TIntPoint(box.right, box.bottom), TIntPoint(box.left, box.bottom)}};
    result = BooleanPaths(frame, result, ctDifference);
  }
  return result;
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
  TGerberParser(const TGerberOptions &options, TMergeMode merge)
      : FOptions(options), FMerge(merge), FBudget(options.MaxPoints), FImage(merge),
        FMacros(StandardMacros()) {}

  TPaths Run(std::string_view text);

private:
  double UnitFactor() const { return FInch ? 25.4 * FOptions.UnitsPerMM : FOptions.UnitsPerMM; }
  double CoordinateScale(char axis) const {
    return UnitFactor() / std::pow(10.0, axis == 'X' ? FFormat.XDecimals : FFormat.YDecimals);
  }

  // Interprets one command; failures become a message naming its line.
  void Command(std::string_view block, bool extended, std::int32_t line);
  void ParameterBlock(std::string_view content,
                      const std::vector<std::pair<std::size_t, std::int32_t>> &starts);
  void Interpret(std::string_view block, bool extended);
  bool ImageParameter(std::string_view block);
  void GCode(std::string_view block);
  void CoordinateBlock(std::string_view block);
  void SelectAperture(std::int32_t code);
  void StepAndRepeat(std::string_view block);
  void Move(std::string_view block);
  void Flash(std::string_view block);
  void Draw(std::string_view block);
  void CloseRegion();
  // A coordinate field's value in file digits, trailing zeros restored.
  bool CoordinateValue(std::string_view field, char axis, double &value) const;
  // A coordinate field in internal units; false when the letter is absent.
  bool Coordinate(std::string_view block, char letter, char axis, std::int64_t &units) const;
  void ReadPoint(std::string_view block, TIntPoint &point) const;
  TPath Interpolate(std::string_view block, TIntPoint to) const;
  // Merges shape (drawn at the origin of the first copy) once per repetition.
  void Emit(const TPaths &shape, TIntPoint offset);

  const TGerberOptions &FOptions;
  TMergeMode FMerge;
  TWorkBudget FBudget;
  // Extended commands that were read past, by their two letters.
  std::map<std::string, std::size_t> FIgnored;
  TShapeMerger FImage;
  TMacroTable FMacros;
  TApertureTable FApertures;

  TCoordinateFormat FFormat;
  TImageTransform FTransform;
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

std::string LineMessage(std::int32_t line, const std::string &what, std::string_view block) {
  std::string message = "Gerber line " + std::to_string(line) + ": " + what;
  if (!block.empty())
    message += ": " + BlockText(block);
  return message;
}

bool IsPrintable(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code > 32 && code < 127;
}

TPaths TGerberParser::Run(std::string_view raw) {
  if (LooksLikeExcellon(raw))
    throw TReadError("This is an Excellon drill file, not a Gerber layer");
  if (const std::string kind = PictureKind(raw); !kind.empty()) {
    const bool readable = kind == "PNG" || kind == "JPEG" || kind == "GIF" || kind == "TIFF";
    std::string extension = kind;
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    throw TReadError("This file holds a picture in " + kind + " format, not a Gerber layer: " +
                     (readable ? "give it the extension ." + extension +
                                     " to open it as a picture"
                               : std::string("pictures are read as GIF, PNG, JPEG, BMP or TIFF; "
                                             "save it as one of those and open that")));
  }

  // A file that never names its unit (no MO, G70 or G71) comes from the
  // RS-274-D era, whose unit was the inch; gerbv reads such files so too.
  if (raw.find("MOMM") == std::string_view::npos && raw.find("MOIN") == std::string_view::npos &&
      raw.find("G70") == std::string_view::npos && raw.find("G71") == std::string_view::npos)
    FInch = true;

  // Blanks, line breaks and anything outside printable ASCII separate
  // nothing; only the line count remembers them, for the messages.
  std::size_t pos = 0;
  std::int32_t line = 1;
  const auto step = [&] {
    const char c = raw[pos++];
    if (c == '\n' || (c == '\r' && (pos >= raw.size() || raw[pos] != '\n')))
      ++line;
  };
  try {
    for (;;) {
      while (pos < raw.size() && !IsPrintable(raw[pos]))
        step();
      if (pos >= raw.size())
        break;
      const std::int32_t first = line;
      std::string block;
      if (raw[pos] == '%') {
        step();
        // Each "*"-ended command inside keeps the line it starts on.
        std::vector<std::pair<std::size_t, std::int32_t>> starts;
        bool closed = false;
        while (pos < raw.size()) {
          if (raw[pos] == '%') {
            step();
            closed = true;
            break;
          }
          if (IsPrintable(raw[pos])) {
            if (block.empty() || block.back() == '*')
              starts.emplace_back(block.size(), line);
            block.push_back(raw[pos]);
          }
          step();
        }
        if (!closed)
          throw TReadError(LineMessage(first, "the parameter block has no closing %", block));
        if (block.empty())
          throw TReadError(LineMessage(first, "empty parameter block %%", ""));
        ParameterBlock(block, starts);
        continue;
      }
      while (pos < raw.size() && raw[pos] != '*') {
        if (IsPrintable(raw[pos]))
          block.push_back(raw[pos]);
        step();
      }
      if (pos >= raw.size()) {
        // A last end-of-program code without its "*" still ends the file.
        if (block == "M02" || block == "M2" || block == "M00" || block == "M0")
          break;
        throw TReadError(LineMessage(
            first, "the file ends inside a command (no closing *); it may be cut off", block));
      }
      step();
      Command(block, false, first);
    }
  } catch (const TEndOfProgram &) {
  }
  // A region still open at the end is not emitted.
  if (FOptions.Report)
    for (const auto &[code, count] : FIgnored)
      FOptions.Report->push_back(std::to_string(count) + " %" + code + "% command" +
                                 (count > 1 ? "s" : "") + " ignored");
  TPaths &image = FImage.Image();
  if (FTransform.Identity() && !FTransform.Negative)
    return std::move(image);
  return FTransform.Apply(image);
}

void TGerberParser::ParameterBlock(
    std::string_view content, const std::vector<std::pair<std::size_t, std::int32_t>> &starts) {
  // A macro body is itself a "*"-separated list: the whole block is one AM.
  if (content.starts_with("AM")) {
    if (content.back() == '*')
      content.remove_suffix(1);
    Command(content, true, starts.front().second);
    return;
  }
  // Several commands may share one block (%FSLAX25Y25*MOIN*%); a last one
  // without its "*" is read as well, as gerbv does.
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const std::size_t begin = starts[k].first;
    const std::size_t end = k + 1 < starts.size() ? starts[k + 1].first : content.size();
    std::string_view command = content.substr(begin, end - begin);
    if (command.back() == '*')
      command.remove_suffix(1);
    if (!command.empty())
      Command(command, true, starts[k].second);
  }
}

void TGerberParser::Command(std::string_view block, bool extended, std::int32_t line) {
  try {
    Interpret(block, extended);
  } catch (const TEndOfProgram &) {
    throw;
  } catch (const TGerberLimitError &) {
    throw;
  } catch (const std::bad_alloc &) {
    throw;
  } catch (const std::exception &error) {
    throw TReadError(LineMessage(line, error.what(), block));
  }
}

// The legacy image parameters. Those that change the image are applied to
// the finished image; names, axis labels and film settings change nothing.
bool TGerberParser::ImageParameter(std::string_view block) {
  const auto number = [&](char letter, double fallback) {
    const std::string_view field = Field(block.substr(2), letter);
    if (field.empty())
      return fallback;
    double value = 0;
    if (!ParseDecimal(field, value) || !(std::fabs(value) < 1e6))
      Fail("unreadable image parameter");
    return value;
  };
  if (block.starts_with("MI")) {
    FTransform.MirrorX = number('A', 0) != 0;
    FTransform.MirrorY = number('B', 0) != 0;
  } else if (block.starts_with("OF")) {
    FTransform.OffsetX = ToUnits(number('A', 0), UnitFactor());
    FTransform.OffsetY = ToUnits(number('B', 0), UnitFactor());
  } else if (block.starts_with("SF")) {
    FTransform.ScaleX = number('A', 1);
    FTransform.ScaleY = number('B', 1);
  } else if (block.starts_with("IR")) {
    const auto degrees = ParseIntegerOptionalPlus<std::int32_t>(block.substr(2));
    if (!degrees || (*degrees != 0 && *degrees != 90 && *degrees != 180 && *degrees != 270))
      Fail("image rotation must be 0, 90, 180 or 270 degrees");
    FTransform.Rotation = *degrees;
  } else if (block.starts_with("IP")) {
    if (block == "IPNEG")
      FTransform.Negative = true;
    else if (block == "IPPOS")
      FTransform.Negative = false;
    else
      Fail("image polarity must be IPPOS or IPNEG");
  } else if (block.starts_with("AS")) {
    if (block == "ASAYBX")
      FTransform.SwapAxes = true;
    else if (block == "ASAXBY")
      FTransform.SwapAxes = false;
    else
      Fail("axis select must be ASAXBY or ASAYBX");
  } else
    return false;
  return true;
}

void TGerberParser::Interpret(std::string_view block, bool extended) {
  // RS-274-D sequence numbers (N12) ahead of a command mean nothing here.
  if (block.size() > 1 && block[0] == 'N' && block[1] >= '0' && block[1] <= '9') {
    std::size_t digits = 1;
    while (digits < block.size() && block[digits] >= '0' && block[digits] <= '9')
      ++digits;
    block.remove_prefix(digits);
  }
  const auto startsWith = [block](std::string_view prefix) { return block.starts_with(prefix); };
  if (extended && ImageParameter(block))
    return;
  if (startsWith("G")) {
    std::int32_t g = IntValue(block, 'G', -1);
    // Older writers put mode codes and the command they are for in one block
    // ("G75G03I150J0X3550Y1701D01"): each mode code is taken, then the command
    // after it. Comments (G04) and the other codes still end the block.
    while (g == 70 || g == 71 || g == 74 || g == 75 || g == 90 || g == 91) {
      GCode(block);
      std::size_t end = 1;
      while (end < block.size() && block[end] >= '0' && block[end] <= '9')
        ++end;
      block.remove_prefix(end);
      if (block.empty() || std::string_view("GXYIJD").find(block.front()) == std::string_view::npos)
        return;
      g = block.front() == 'G' ? IntValue(block, 'G', -1) : 1;
    }
    if (g != 1 && g != 2 && g != 3) {
      GCode(block);
      return;
    }
  } else if (startsWith("L")) {
    const char second = block.size() > 1 ? block[1] : '\0';
    if (second == 'M')
      Fail("mirroring of the objects (LM) is not supported");
    if (second == 'R')
      Fail("rotation of the objects (LR) is not supported");
    if (second == 'S')
      Fail("scaling of the objects (LS) is not supported");
    if (second == 'P') {
      if (block == "LPC")
        FDark = false;
      else if (block == "LPD")
        FDark = true;
      else
        Fail("polarity must be LPD or LPC");
    }
    return;
  } else if (startsWith("MO")) {
    if (block == "MOIN")
      FInch = true;
    else if (block == "MOMM")
      FInch = false;
    else
      Fail("unit must be MOIN or MOMM");
    return;
  } else if (startsWith("M")) {
    const std::int32_t m = ParseIntegerOptionalPlus<std::int32_t>(block.substr(1)).value_or(-1);
    if (m == 0 || m == 2)
      throw TEndOfProgram();
    if (m != 1)
      Fail("unknown M code");
    return;
  } else if (startsWith("FS")) {
    FFormat = ParseFormat(block);
    return;
  } else if (startsWith("A")) {
    const char second = block.size() > 1 ? block[1] : '\0';
    if (second == 'B')
      Fail("aperture blocks (AB) are not supported");
    if (second == 'D') {
      TApertureContext context{FMacros, FApertures, UnitFactor(), FBudget, FMerge};
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
  // extended command is a coordinate block, so they are all ignored. Those
  // that only name or describe things go unmentioned; the others the
  // report counts.
  if (extended) {
    const std::string code(block.substr(0, 2));
    if (code != "TF" && code != "TA" && code != "TO" && code != "TD" && code != "IN" &&
        code != "LN" && code != "PF" && !code.empty())
      ++FIgnored[code];
    return;
  }
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
  case 90:
    FFormat.Incremental = false;
    break;
  case 91:
    FFormat.Incremental = true;
    break;
  default:
    break;
  }
}

void TGerberParser::StepAndRepeat(std::string_view block) {
  const std::int64_t x = StrictInt64(block, 'X', "the step and repeat X count");
  const std::int64_t y = StrictInt64(block, 'Y', "the step and repeat Y count");
  double i = 0, j = 0;
  if (!ParseDecimal(Field(block, 'I'), i) || !ParseDecimal(Field(block, 'J'), j))
    Fail("the step and repeat distances I and J are not numbers");
  const std::int64_t stepI = ToUnits(i, UnitFactor());
  const std::int64_t stepJ = ToUnits(j, UnitFactor());
  if (x > 0 && y > 0) {
    if (x > GerberMaxRepeats || y > GerberMaxRepeats || x * y > GerberMaxRepeats)
      Fail("step and repeat with more than " + std::to_string(GerberMaxRepeats) + " copies");
    // The last copy must stay as far inside the range as any coordinate.
    if (static_cast<double>(x - 1) * std::fabs(static_cast<double>(stepI)) >
            GerberCoordinateLimit ||
        static_cast<double>(y - 1) * std::fabs(static_cast<double>(stepJ)) > GerberCoordinateLimit)
      Fail("step and repeat reaches out of range");
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
    Fail("aperture D" + std::to_string(code) +
         " is selected but the file defines no apertures (an RS-274-D file whose aperture list "
         "is kept in a separate file, which Brennix cannot read)");
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

bool TGerberParser::CoordinateValue(std::string_view field, char axis, double &value) const {
  const std::int32_t digits =
      axis == 'X' ? FFormat.XInteger + FFormat.XDecimals : FFormat.YInteger + FFormat.YDecimals;
  if (FFormat.TrailingOmitted && IsDigitRun(field)) {
    const std::size_t signs = field.front() == '+' || field.front() == '-' ? 1 : 0;
    const std::size_t given = field.size() - signs;
    std::string padded(field);
    if (given < static_cast<std::size_t>(digits))
      padded.append(static_cast<std::size_t>(digits) - given, '0');
    return ParseDecimal(padded, value);
  }
  return ParseDecimal(field, value);
}

bool TGerberParser::Coordinate(std::string_view block, char letter, char axis,
                               std::int64_t &units) const {
  const std::string_view field = Field(block, letter);
  if (field.empty())
    return false;
  double value = 0;
  if (!CoordinateValue(field, axis, value))
    Fail(std::string("the ") + letter + " coordinate is not a number");
  units = ToUnits(value, CoordinateScale(axis));
  return true;
}

void TGerberParser::ReadPoint(std::string_view block, TIntPoint &point) const {
  for (const char letter : {'X', 'Y'}) {
    std::int64_t units = 0;
    if (!Coordinate(block, letter, letter, units))
      continue;
    auto &target = letter == 'X' ? point.X : point.Y;
    if (FFormat.Incremental) {
      units += target;
      if (!(std::fabs(static_cast<double>(units)) <= GerberCoordinateLimit))
        Fail("coordinate out of range (more than a kilometre)");
    }
    target = units;
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
      else {
        // Through double first, as the translation always went: a direct
        // conversion could round differently beyond 2^53.
        const TMatrix move = TMatrix::Translation(static_cast<float>(static_cast<double>(dx)),
                                                  static_cast<float>(static_cast<double>(dy)));
        FImage.Add(TransformPaths(shape, move), FDark);
      }
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
    if (!FAperture)
      Fail("a line is drawn before any aperture is selected");
    // Zero-size apertures (C,0) mark board edges and region boundaries in
    // several CAD tools: their lines add nothing.
    if (FAperture->empty())
      return;
    brush = &FAperture->front();
  }
  // A draw that goes nowhere leaves the brush's own image, as a flash would;
  // the polygon library's sum of a point path is empty.
  if (std::all_of(segment.begin(), segment.end(),
                  [&](const TIntPoint &p) { return p == segment.front(); })) {
    Emit(TPaths{*brush}, segment.front());
    return;
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
  // A missing offset, or one that is not a number, counts as 0.
  const auto offset = [&](char letter) -> std::int64_t {
    const char axis = letter == 'I' ? 'X' : 'Y';
    double value = 0;
    if (!CoordinateValue(Field(block, letter), axis, value))
      return 0;
    return ToUnits(value, CoordinateScale(axis));
  };
  const std::int64_t i = offset('I'), j = offset('J');
  const std::int64_t r2 = i * i + j * j;

  const TIntPoint candidates[] = {
      TIntPoint(from.X + i, from.Y + j), TIntPoint(from.X - i, from.Y + j),
      TIntPoint(from.X + i, from.Y - j), TIntPoint(from.X - i, from.Y - j)};
  const int count = FMultiQuadrant ? 1 : 4;
  double best = 2147483647.0;
  std::optional<TIntPoint> centre;
  double a0 = 0, a1 = 0;
  for (int k = 0; k < count; ++k) {
    const TIntPoint c = candidates[k];
    const double start =
        std::atan2(static_cast<double>(from.Y - c.Y), static_cast<double>(from.X - c.X));
    double end = std::atan2(static_cast<double>(to.Y - c.Y), static_cast<double>(to.X - c.X));
    // In multi-quadrant mode an arc that ends where it starts is a whole
    // circle, the usual way to write a round pad as a region.
    if (FMultiQuadrant && from == to && r2 > 0)
      end = start + (FMode < 0 ? 2 : -2) * std::numbers::pi;
    else if (FMode < 0 && end < start)
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

void ShiftPaths(TPaths &paths, TIntPoint by) {
  if (by.X == 0 && by.Y == 0)
    return;
  for (auto &path : paths)
    for (auto &point : path) {
      point.X += by.X;
      point.Y += by.Y;
    }
}

TPaths ParseGerber(std::string_view text, const TGerberOptions &options) {
  TGerberParser parser(options, mmBatched);
  return parser.Run(text);
}

TPaths ParseGerberReference(std::string_view text, const TGerberOptions &options) {
  TGerberParser parser(options, mmOneByOne);
  return parser.Run(text);
}

std::string ReadGerberText(const std::string &fileName) {
  std::string bytes = ReadFileBytes(fileName, GerberMaxFileBytes);
  const TByteOrderMark mark = ByteOrderMarkOf(bytes);
  if (mark != bomUtf16Little && mark != bomUtf16Big)
    return bytes;
  // Only printable ASCII survives the parser's filter, so every other code
  // unit can become a blank here.
  return NarrowUtf16(bytes, mark == bomUtf16Little, 128, ' ');
}

TReadResult LoadGerberFile(const std::string &fileName, const TReadOptions &options) {
  auto level = std::make_unique<TLevel>(lkArea);
  level->SetName("Copper");
  level->SetColor(0xFFC00000u);
  level->SetHeight(5);

  TGerberOptions parse;
  parse.UnitsPerMM = options.UnitsPerMM;
  std::vector<std::string> report;
  parse.Report = &report;
  TPaths image = ParseGerber(ReadGerberText(fileName), parse);

  IntRect bounds = PathsBounds(image);
  // The drawing counts from the origin and nothing left of or below it is
  // burnt, yet many CAD tools place boards partly or wholly there. Such an
  // axis is moved to start at 0, and a mechanical layer read later with it;
  // images at positive coordinates keep their place.
  TIntPoint shift(0, 0);
  if (!image.empty() && (bounds.left < 0 || bounds.top < 0)) {
    shift = TIntPoint(bounds.left < 0 ? -bounds.left : 0, bounds.top < 0 ? -bounds.top : 0);
    ShiftPaths(image, shift);
    bounds = PathsBounds(image);
  }
  constexpr auto max = std::numeric_limits<std::int32_t>::max();
  if (bounds.right > max || bounds.bottom > max || bounds.left < -max || bounds.top < -max)
    throw TReadError("The Gerber image is too large: " + fileName);
  TReadResult result;
  level->Input()->push_back(std::move(image));
  result.Levels.push_back(std::move(level));
  result.Size = {static_cast<std::int32_t>(bounds.right), static_cast<std::int32_t>(bounds.bottom)};
  result.Gerber = true;
  result.GerberShift = shift;
  result.Report = std::move(report);
  return result;
}
