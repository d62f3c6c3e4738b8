#include "BoardOutline.h"

#include <cmath>
#include <limits>
#include <memory>

#include "GerberReader.h"
#include "core/JobHost.h"
#include "core/Levels.h"
#include "core/PathUtils.h"
#include "core/LevelDefaults.h"

using namespace ClipperLib;

namespace {

// Offsets beyond this are no board outline; the dialog offers 0.1 to 50 mm.
constexpr double MaxOffsetMM = 1000;

const TPaths &Copper(TLevels &levels) {
  if (levels.Count() < 2 || levels.Item(0)->Kind() != lkArea || !levels.Item(0)->Input() ||
      levels.Item(0)->Input()->empty())
    throw TReadError("No Gerber copper layer is loaded");
  return levels.Item(0)->Input()->front();
}

// Copper off, "Mechanical" appended, "Clear" at index 2, then the job moved
// to the origin and given its defaults again.
void Restructure(TLevels &levels, const TPaths &outline, TPaths clear) {
  const IntRect bounds = PathsBounds(outline);
  constexpr std::int64_t Max = std::numeric_limits<std::int32_t>::max();
  if (bounds.right - bounds.left > Max || bounds.bottom - bounds.top > Max)
    throw TReadError("The board outline is too large");

  TLevels::TPause pause(levels);
  levels.Item(0)->SetPrint(false);
  levels.Item(1)->SetPrint(false);

  auto mechanical = std::make_unique<TLevel>(lkLines);
  mechanical->SetName("Mechanical");
  mechanical->SetColor(0xFF0000FFu);
  mechanical->SetHeight(7);
  mechanical->Input()->push_back(outline);
  levels.Add(std::move(mechanical));

  auto area = std::make_unique<TLevel>(lkArea);
  area->SetName("Clear");
  area->SetColor(0xFF00CFCFu);
  area->SetHeight(3);
  area->Input()->push_back(std::move(clear));
  levels.Insert(2, std::move(area));

  // The drawing now starts at the outline's lower-left corner.
  if (bounds.left != 0 || bounds.top != 0)
    for (int i = 0; i < levels.Count(); ++i)
      if (auto *input = levels.Item(i)->Input())
        for (auto &paths : *input)
          for (auto &path : paths)
            for (auto &p : path) {
              p.X -= bounds.left;
              p.Y -= bounds.top;
            }
  levels.SetSize({static_cast<std::int32_t>(bounds.right - bounds.left),
                  static_cast<std::int32_t>(bounds.bottom - bounds.top)});
  ApplyLevelDefaults(levels, true);
  for (int i = 0; i < levels.Count(); ++i)
    if (levels.Item(i)->Kind() == lkPerimeter)
      levels.Item(i)->SetHeight(99);
}

} // namespace

TPaths OuterContours(const PolyTree &tree) {
  TPaths result;
  // Depth first with an explicit stack: a node before its children, the
  // children in their order.
  std::vector<const PolyNode *> stack;
  for (int k = tree.ChildCount() - 1; k >= 0; --k)
    stack.push_back(tree.Childs[static_cast<std::size_t>(k)]);
  while (!stack.empty()) {
    const PolyNode *node = stack.back();
    stack.pop_back();
    if (!node->IsOpen() && !node->IsHole() && !node->Contour.empty())
      result.push_back(ClosePath(node->Contour));
    for (int k = node->ChildCount() - 1; k >= 0; --k)
      stack.push_back(node->Childs[static_cast<std::size_t>(k)]);
  }
  return result;
}

void AddOffsetOutline(TLevels &levels, double sizeMM) {
  TOutlineChoice &remembered = levels.Job().Outline;
  const double size = sizeMM < 0 ? remembered.OffsetMM : sizeMM;
  // Not-a-number or absurd sizes would round to garbage distances.
  if (!(size >= 0 && size <= MaxOffsetMM))
    throw TReadError("Invalid offset size");
  const TPaths &copper = Copper(levels);
  TOffsetter offsetter;
  offsetter.Add(copper, jtRound, etClosedPolygon);
  const TPaths board = offsetter.Execute(static_cast<double>(RoundUnit(size * UnitsPerMM())));
  TPaths clear = BooleanPaths(board, copper, ctDifference);
  Restructure(levels, ClosePaths(board), std::move(clear));
  if (sizeMM >= 0) {
    remembered.Kind = okOffset;
    remembered.OffsetMM = sizeMM;
  }
}

void AddMechanicalOutline(TLevels &levels, const std::string &fileName) {
  TOutlineChoice &remembered = levels.Job().Outline;
  const std::string &name = fileName.empty() ? remembered.MechanicalFile : fileName;
  TJobHost &host = levels.Host();
  host.BeginProgress("Loading...");
  struct TEnd {
    TJobHost &Host;
    ~TEnd() { Host.EndProgress(); }
  } end{host};

  const TPaths &copper = Copper(levels);
  TGerberOptions options;
  options.UnitsPerMM = UnitsPerMM();
  options.Hairline = true;
  // Read before anything changes: a bad file leaves the job as it was.
  TPaths lines = ParseGerber(ReadGerberText(name), options);
  // Both layers come from one CAD drawing: the mechanical one moves with the copper.
  ShiftPaths(lines, levels.Job().GerberShift);
  TClipper unite;
  unite.AddSubject(lines);
  PolyTree tree;
  unite.Execute(ctUnion, tree);
  const TPaths outline = OuterContours(tree);
  TPaths clear = BooleanPaths(outline, copper, ctDifference);
  Restructure(levels, outline, std::move(clear));
  if (!fileName.empty()) {
    remembered.Kind = okMechanical;
    remembered.MechanicalFile = fileName;
  }
}

void ApplyOutlineChoice(TLevels &levels, const TOutlineChoice &choice) {
  switch (choice.Kind) {
  case okOffset:
    AddOffsetOutline(levels, choice.OffsetMM);
    break;
  case okMechanical:
    AddMechanicalOutline(levels, choice.MechanicalFile);
    break;
  default:
    // Closing the options without a choice: a re-read adds nothing either.
    levels.Job().Outline.Kind = okNone;
    break;
  }
}

void ReapplyOutline(TLevels &levels) {
  const TOutlineKind kind = levels.Job().Outline.Kind;
  if (kind == okMechanical)
    AddMechanicalOutline(levels, "");
  else if (kind == okOffset)
    AddOffsetOutline(levels, -1);
}

TOutlineChoice RememberedOutline(const TLevels &levels) { return levels.Job().Outline; }

void ResetOutlineChoice(TLevels &levels) { levels.Job().Outline.Kind = okNone; }
