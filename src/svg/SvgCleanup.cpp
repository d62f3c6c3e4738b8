#include "SvgCleanup.h"

#include <algorithm>
#include <map>
#include <string>
#include <tuple>

#include "core/Level.h"
#include "core/PathUtils.h"

using namespace ClipperLib;

namespace {

// Areas narrower than twice this are slivers left between shapes that meet.
constexpr double SliverDepth = 50;
// Lines within this share of the focus of a later line are burnt by it.
constexpr double LineCoverShare = 0.4;

const TPaths &FirstSet(const TLevel &level) {
  static const TPaths none;
  const auto *input = level.Input();
  return input && !input->empty() ? input->front() : none;
}

void Replace(TLevel &level, TPaths paths) {
  level.Input()->clear();
  level.Input()->push_back(std::move(paths));
}

TPaths Offset(const TPaths &paths, double delta, EndType end) {
  TOffsetter offsetter;
  offsetter.Add(paths, jtRound, end);
  return offsetter.Execute(delta);
}

// Shrinking, then growing back, removes what is narrower than twice the depth.
TPaths OpenArea(const TPaths &paths) {
  return Offset(Offset(paths, -SliverDepth, etClosedPolygon), SliverDepth, etClosedPolygon);
}

// Clipper loses an open path made only of horizontal edges when nothing
// else is in the operation, so with nothing to clip against the lines are
// taken as they are.
TPaths OpenDifference(const TPaths &lines, const TPaths &clip, PolyFillType fill) {
  if (clip.empty())
    return lines;
  TClipper clipper;
  clipper.AddSubject(lines, false);
  clipper.AddClip(clip);
  PolyTree tree;
  clipper.Execute(ctDifference, tree, fill);
  TPaths visible;
  OpenPathsFromPolyTree(tree, visible);
  return visible;
}

TPaths KeepLong(const TPaths &paths, std::int64_t minimum) {
  TPaths kept;
  for (const auto &path : paths)
    if (PathLength(path, false) >= minimum)
      kept.push_back(path);
  return kept;
}

void EraseMarked(TLevelList &levels, const std::vector<bool> &erase) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < levels.size(); ++i)
    if (!erase[i])
      levels[out++] = std::move(levels[i]);
  levels.resize(out);
}

IntRect Bounds(const TPath &path) {
  IntRect box{0, 0, -1, -1};
  if (path.empty())
    return box;
  box = {path[0].X, path[0].Y, path[0].X, path[0].Y};
  for (const auto &p : path) {
    box.left = std::min(box.left, p.X);
    box.right = std::max(box.right, p.X);
    box.top = std::min(box.top, p.Y);
    box.bottom = std::max(box.bottom, p.Y);
  }
  return box;
}

bool IsEmptyBox(const IntRect &box) { return box.left > box.right; }

IntRect Unite(const IntRect &a, const IntRect &b) {
  if (IsEmptyBox(a))
    return b;
  if (IsEmptyBox(b))
    return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

IntRect Bounds(const TPaths &paths) {
  IntRect box{0, 0, -1, -1};
  for (const auto &path : paths)
    box = Unite(box, Bounds(path));
  return box;
}

// Touching boxes count as overlapping: shapes that share an edge interact.
bool Overlap(const IntRect &a, const IntRect &b) {
  return !IsEmptyBox(a) && !IsEmptyBox(b) && a.left <= b.right && b.left <= a.right &&
         a.top <= b.bottom && b.top <= a.bottom;
}

// What later elements cover, kept as separate pieces instead of one union.
// Each piece is a clean polygon set straight from Clipper (outer contours
// counter-clockwise, holes clockwise, no overlaps), so its non-zero winding
// is 1 inside and 0 outside, and the non-zero fill of all pieces together is
// their union. A path adds no winding outside its bounding box, so the paths
// whose boxes meet a shape's box give exactly the cover over that shape: one
// small boolean operation per level instead of one against the whole drawing.
class TCover {
public:
  TPaths Near(const IntRect &box) const {
    TPaths near;
    for (const auto &piece : FPieces)
      if (Overlap(piece.Box, box))
        for (std::size_t i = 0; i < piece.Paths.size(); ++i)
          if (Overlap(piece.Boxes[i], box))
            near.push_back(piece.Paths[i]);
    return near;
  }

  // region must be clean Clipper output. Small neighbouring pieces are
  // merged with it so the pieces do not pile up where shapes overlap; big
  // pieces are left alone so no union grows over the whole drawing.
  void Add(TPaths region) {
    const IntRect box = Bounds(region);
    if (IsEmptyBox(box))
      return;
    std::size_t points = CountPoints(region);
    TClipper clipper;
    clipper.AddSubject(region);
    bool merged = false;
    for (auto &piece : FPieces) {
      if (piece.Points == 0 || !Overlap(piece.Box, box) || points + piece.Points > MergeLimit)
        continue;
      clipper.AddSubject(piece.Paths);
      points += piece.Points;
      piece = {};
      merged = true;
    }
    if (merged) {
      region = clipper.Execute(ctUnion, pftNonZero);
      std::erase_if(FPieces, [](const TPiece &piece) { return piece.Points == 0; });
    }
    TPiece piece;
    piece.Points = std::max<std::size_t>(CountPoints(region), 1);
    piece.Box = Bounds(region);
    for (const auto &path : region)
      piece.Boxes.push_back(Bounds(path));
    piece.Paths = std::move(region);
    FPieces.push_back(std::move(piece));
  }

private:
  static constexpr std::size_t MergeLimit = 2000;

  struct TPiece {
    TPaths Paths;
    std::vector<IntRect> Boxes;
    IntRect Box{0, 0, -1, -1};
    std::size_t Points = 0;
  };

  static std::size_t CountPoints(const TPaths &paths) {
    std::size_t count = 0;
    for (const auto &path : paths)
      count += path.size();
    return count;
  }

  std::vector<TPiece> FPieces;
};

// Any polygon set as clean Clipper output with the same even-odd region.
TPaths Clean(const TPaths &paths) {
  TClipper clipper;
  clipper.AddSubject(paths);
  return clipper.Execute(ctUnion, pftEvenOdd);
}

} // namespace

void HideCoveredAreasReference(TLevelList &levels) {
  std::vector<bool> erase(levels.size());
  TPaths cover;
  for (std::size_t i = levels.size(); i-- > 0;) {
    TLevel &level = *levels[i];
    if (level.Kind() != lkArea)
      continue;
    const TPaths p = FirstSet(level);
    const TPaths visible = BooleanPaths(p, cover, ctDifference);
    cover = BooleanPaths(p, cover, ctUnion);
    TPaths opened = OpenArea(visible);
    if (opened.empty())
      erase[i] = true;
    else
      Replace(level, std::move(opened));
  }
  EraseMarked(levels, erase);
}

void HideCoveredAreas(TLevelList &levels) {
  std::vector<bool> erase(levels.size());
  TCover cover;
  for (std::size_t i = levels.size(); i-- > 0;) {
    TLevel &level = *levels[i];
    if (level.Kind() != lkArea)
      continue;
    TPaths p = Clean(FirstSet(level));
    TClipper clipper;
    clipper.AddSubject(p);
    clipper.AddClip(cover.Near(Bounds(p)));
    const TPaths visible = clipper.Execute(ctDifference, pftNonZero);
    cover.Add(std::move(p));
    TPaths opened = OpenArea(visible);
    if (opened.empty())
      erase[i] = true;
    else
      Replace(level, std::move(opened));
  }
  EraseMarked(levels, erase);
}

void HideCoveredLinesReference(TLevelList &levels, std::int32_t focus) {
  std::vector<bool> erase(levels.size());
  TPaths cover;
  for (std::size_t i = levels.size(); i-- > 0;) {
    TLevel &level = *levels[i];
    if (level.Kind() == lkArea) {
      cover = BooleanPaths(cover, Offset(FirstSet(level), -SliverDepth, etClosedPolygon), ctUnion);
    } else if (level.Kind() == lkLines) {
      const TPaths lines = FirstSet(level);
      const TPaths visible = OpenDifference(lines, cover, pftEvenOdd);
      cover = BooleanPaths(cover, Offset(lines, LineCoverShare * focus, etOpenRound), ctUnion);
      TPaths kept = KeepLong(visible, focus);
      if (kept.empty())
        erase[i] = true;
      else
        Replace(level, std::move(kept));
    }
  }
  EraseMarked(levels, erase);
}

void HideCoveredLines(TLevelList &levels, std::int32_t focus) {
  std::vector<bool> erase(levels.size());
  TCover cover;
  for (std::size_t i = levels.size(); i-- > 0;) {
    TLevel &level = *levels[i];
    if (level.Kind() == lkArea) {
      cover.Add(Offset(FirstSet(level), -SliverDepth, etClosedPolygon));
    } else if (level.Kind() == lkLines) {
      const TPaths lines = FirstSet(level);
      const TPaths visible = OpenDifference(lines, cover.Near(Bounds(lines)), pftNonZero);
      cover.Add(Offset(lines, LineCoverShare * focus, etOpenRound));
      TPaths kept = KeepLong(visible, focus);
      if (kept.empty())
        erase[i] = true;
      else
        Replace(level, std::move(kept));
    }
  }
  EraseMarked(levels, erase);
}

void MergeEqualLevels(TLevelList &levels) {
  // Every level joins the first one that looks the same, in drawing order:
  // the same result as comparing each pair from the end, in linear time.
  using TKey = std::tuple<int, std::int32_t, std::uint32_t, std::string>;
  std::map<TKey, std::size_t> first;
  std::vector<bool> erase(levels.size());
  for (std::size_t i = 0; i < levels.size(); ++i) {
    TLevel &level = *levels[i];
    const TKey key{level.Kind(), level.Height(), level.Color(), level.Name()};
    const auto [it, inserted] = first.try_emplace(key, i);
    if (inserted || !level.Input())
      continue;
    auto &target = *levels[it->second]->Input();
    for (auto &set : *level.Input())
      target.push_back(std::move(set));
    erase[i] = true;
  }
  EraseMarked(levels, erase);
}
