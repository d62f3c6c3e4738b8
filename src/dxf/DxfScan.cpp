#include "DxfScan.h"

#include <algorithm>
#include <array>

#include "core/Numbers.h"
#include "core/ReadResult.h"

namespace {

constexpr std::string_view BinarySentinel = "AutoCAD Binary DXF";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// Entity kinds that are drawn, or that only carry parts of others and show
// nothing themselves; any other kind is reported as left out.
bool Drawn(std::string_view kind) {
  constexpr std::array<std::string_view, 19> kinds = {
      "LINE",     "LWPOLYLINE", "POLYLINE", "VERTEX",   "SEQEND", "ARC",    "CIRCLE",
      "ELLIPSE",  "SPLINE",     "SOLID",    "TRACE",    "HATCH",  "INSERT", "DIMENSION",
      "VIEWPORT", "ATTDEF",     "BLOCK",    "ENDBLK",   "ENDSEC"};
  return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

bool IsModelSpace(std::string_view block) {
  constexpr std::string_view model = "*MODEL_SPACE";
  return block.size() == model.size() &&
         std::equal(block.begin(), block.end(), model.begin(), [](char a, char b) {
           return (a >= 'a' && a <= 'z' ? char(a - 'a' + 'A') : a) == b;
         });
}

// Group codes whose value dxflib takes as the length of a list it allocates,
// for the entity kinds where it does so.
bool DeclaresCount(std::string_view entity, int code) {
  if (entity == "LWPOLYLINE")
    return code == 90;
  if (entity == "SPLINE")
    return code == 72 || code == 73 || code == 74;
  if (entity == "LEADER")
    return code == 76;
  if (entity == "HATCH")
    return code == 91 || code == 93 || code == 95 || code == 96 || code == 97 || code == 98;
  return false;
}

class TScanner {
public:
  explicit TScanner(std::string_view bytes) : FBytes(bytes) {}

  TDxfScan Run() {
    if (FBytes.substr(0, BinarySentinel.size()) == BinarySentinel)
      throw TReadError("Binary DXF files cannot be read; save the drawing as ASCII DXF");
    bool sawSection = false;
    std::string_view codeText, value;
    while (NextLine(codeText)) {
      const int line = FLine;
      const auto code = ParseInteger<int>(Trim(codeText));
      if (!code)
        throw TReadError("DXF line " + std::to_string(line) + ": a group code was expected, not \"" +
                         std::string(Trim(codeText).substr(0, 40)) + "\"");
      if (!NextLine(value))
        break; // a code without its value: the file was cut short
      value = Trim(value);
      if (*code == 0) {
        EndEntity();
        if (value == "EOF") {
          FResult.Complete = true;
          break;
        }
        if (value == "SECTION") {
          sawSection = true;
          FSection.clear();
        } else if (value == "ENDSEC") {
          FSection = "";
        }
        StartEntity(value, line);
      } else {
        Pair(*code, value, line);
      }
    }
    EndEntity();
    if (!sawSection)
      throw TReadError("The file does not seem to be a DXF drawing");
    return std::move(FResult);
  }

private:
  bool NextLine(std::string_view &line) {
    if (FPos >= FBytes.size())
      return false;
    const std::size_t end = FBytes.find('\n', FPos);
    const std::size_t stop = end == std::string_view::npos ? FBytes.size() : end;
    line = FBytes.substr(FPos, stop - FPos);
    FPos = stop + 1;
    ++FLine;
    return true;
  }

  bool InDrawing() const { return FSection == "ENTITIES" || FSection == "BLOCKS"; }

  void StartEntity(std::string_view kind, int line) {
    FEntity = std::string(kind);
    if (kind == "ENDBLK" || kind == "ENDSEC")
      FBlock.clear();
    FPaperSpace = false;
    FWide = false;
    FDimension = TDxfDimension{};
    FDimension.OwnerBlock = FBlock;
    if (FSection == "ENTITIES" && kind != "SECTION" && kind != "VERTEX" && kind != "SEQEND" &&
        kind != "ATTRIB")
      ++FResult.DrawingEntities;
    FLeftOut = InDrawing() && !Drawn(kind) && kind != "SECTION";
    FEntityLine = line;
    FOwner = FBlock;
  }

  void EndEntity() {
    // Counted when the entity ends, once its pairs tell whether it belongs to
    // the paper space (which is told about as a whole).
    if (FLeftOut && !FPaperSpace) {
      auto same = std::find_if(FResult.LeftOut.begin(), FResult.LeftOut.end(),
                               [this](const TDxfLeftOut &leftOut) {
                                 return leftOut.Kind == FEntity && leftOut.Block == FOwner;
                               });
      if (same != FResult.LeftOut.end())
        ++same->Count;
      else
        FResult.LeftOut.push_back({FEntity, FOwner, FEntityLine, 1});
    }
    FLeftOut = false;
    if (FEntity == "DIMENSION" && InDrawing() && !FPaperSpace && !FDimension.Block.empty())
      FResult.Dimensions.push_back(FDimension);
    // A POLYLINE's widths may sit on the VERTEX entities that follow it; the
    // polyline is counted once, when its sequence ends.
    if (FEntity == "VERTEX") {
      FPolylineWide = FPolylineWide || FWide;
    } else if (FEntity == "POLYLINE") {
      FInPolyline = true;
      FPolylineWide = FWide;
      FPolylineOwner = FOwner;
      FPolylinePaperSpace = FPaperSpace;
    } else {
      if (FInPolyline && FPolylineWide && !FPolylinePaperSpace)
        ++FResult.WidePolylines[FPolylineOwner];
      FInPolyline = false;
      if (FEntity == "LWPOLYLINE" && FWide && !FPaperSpace)
        ++FResult.WidePolylines[FOwner];
    }
    FWide = false;
  }

  void Pair(int code, std::string_view value, int line) {
    if (FEntity == "SECTION" && code == 2) {
      FSection = std::string(value);
      return;
    }
    // The model space's own block holds the drawing itself.
    if (FEntity == "BLOCK" && code == 2)
      FBlock = IsModelSpace(value) ? std::string() : std::string(value);
    if (code == 67)
      FPaperSpace = value == "1";
    if (DeclaresCount(FEntity, code)) {
      const auto count = ParseInteger<std::int64_t>(value);
      if (!count || *count < 0 || *count > MaxDxfDeclaredCount)
        throw TReadError("DXF line " + std::to_string(line) + ": " + FEntity + " declares " +
                         std::string(value.substr(0, 40)) + " items (group code " +
                         std::to_string(code) + "); at most " +
                         std::to_string(MaxDxfDeclaredCount) + " are read");
    }
    if ((FEntity == "LWPOLYLINE" && (code == 43 || code == 40 || code == 41)) ||
        ((FEntity == "POLYLINE" || FEntity == "VERTEX") && (code == 40 || code == 41))) {
      const auto width = ParseFloatRangeDecimal(value);
      if (width && *width != 0)
        FWide = true;
    }
    if (FEntity == "DIMENSION") {
      if (code == 2)
        FDimension.Block = std::string(value);
      else if (code == 8)
        FDimension.Layer = std::string(value);
      else if (code == 62)
        FDimension.Color = ParseInteger<int>(value).value_or(256);
      else if (code == 420)
        FDimension.Color24 = ParseInteger<int>(value).value_or(-1);
    }
  }

  std::string_view FBytes;
  std::size_t FPos = 0;
  int FLine = 0;
  std::string FSection;
  std::string FEntity;
  std::string FBlock;
  bool FPaperSpace = false;
  bool FWide = false;
  bool FInPolyline = false;
  bool FPolylineWide = false;
  bool FPolylinePaperSpace = false;
  std::string FPolylineOwner;
  // The entity being read: its line, the block holding it, and whether it
  // is one the reader leaves out.
  int FEntityLine = 0;
  std::string FOwner;
  bool FLeftOut = false;
  TDxfDimension FDimension;
  TDxfScan FResult;
};

} // namespace

TDxfScan ScanDxf(std::string_view bytes) { return TScanner(bytes).Run(); }
