#include "SvgCleanup.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "core/Crossings.h"
#include "core/Level.h"
#include "core/PathUtils.h"

using namespace ClipperLib;

namespace {

// Areas narrower than twice this are slivers left between shapes that meet.
constexpr double SliverDepth = 50;
// Regions of the cover are united only while they stay this small: a cut
// against a huge union costs more than several cuts against its parts, as
// overlapping shapes all over a drawing unite into one vast polygon.
constexpr std::size_t MergedPoints = 4096;
// Lines within this share of the focus of a later line are burnt by it.
constexpr double LineCoverShare = 0.4;
// Crossings of a lines level above which it is neither cut nor grown.
constexpr std::uint64_t MaxCoverCrossings = 200'000;

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

// What later elements cover, kept as a few regions instead of one union. A
// shape is cut by the regions whose bounding boxes meet its own, one after
// the other, largest overlap first; a shape that is covered completely stops
// being cut early. Only the paths of a region near the shape take part, so
// no cut runs against the whole drawing, and the region cut away is the
// same as that of one cut by the union: region by region is the union, and
// a path adds nothing to a region outside its bounding box.
//
// Regions are merged as a binary counter merges its digits: two regions
// that each stand for the same number of shapes become one. Thousands of
// overlapping shapes then make a dozen regions, and a shape is cut a dozen
// times instead of once per shape drawn after it; each shape takes part in
// a logarithmic number of unions.
class TCover {
  struct TRegion {
    TPaths Paths;
    std::vector<IntRect> Boxes;
    IntRect Box;
    // How many added regions this one unites.
    std::size_t Shapes = 1;
  };

public:
  // region: a polygon set filled even-odd; clean Clipper output where lines
  // are to be cut by it.
  void Add(TPaths region) {
    if (IsEmptyBox(PointsBox(region)))
      return;
    std::size_t shapes = 1;
    while (!FRegions.empty() && FRegions.back().Shapes == shapes &&
           PointCount(FRegions.back().Paths) + PointCount(region) <= MergedPoints) {
      region = BooleanPaths(FRegions.back().Paths, region, ctUnion);
      shapes += FRegions.back().Shapes;
      FRegions.pop_back();
    }
    // A region too large to merge further stays as it is; the count that
    // no other region matches keeps it out of later merges.
    if (!FRegions.empty() && FRegions.back().Shapes == shapes)
      shapes = 0;
    TRegion r;
    r.Box = PointsBox(region);
    r.Shapes = shapes;
    for (const auto &path : region)
      r.Boxes.push_back(PointsBox(path));
    r.Paths = std::move(region);
    FRegions.push_back(std::move(r));
  }

  // Closed polygons minus the cover, cut region by region.
  TPaths Subtract(TPaths subject) const {
    for (const TRegion *region : Near(PointsBox(subject))) {
      if (subject.empty())
        break;
      const TPaths clip = PathsNear(*region, PointsBox(subject));
      if (!clip.empty())
        subject = BooleanPaths(subject, clip, ctDifference);
    }
    return subject;
  }

  // Open lines minus the cover, in one cut by all regions near them. Cut
  // region by region, a line running exactly along the seam of two regions
  // that touch would stay, as it lies on the edge of each; under the union
  // it is inside. The regions are clean offsets (outer contours
  // counter-clockwise, holes clockwise), so their non-zero fill together is
  // their union.
  TPaths SubtractOpen(const TPaths &lines) const {
    const IntRect box = PointsBox(lines);
    TPaths clip;
    for (const TRegion *region : Near(box)) {
      TPaths near = PathsNear(*region, box);
      clip.insert(clip.end(), std::make_move_iterator(near.begin()),
                  std::make_move_iterator(near.end()));
    }
    return OpenDifference(lines, clip, pftNonZero);
  }

  // Whether SubtractOpen of lines in box would cut against anything.
  bool Reaches(const IntRect &box) const {
    for (const TRegion *region : Near(box))
      for (const IntRect &pathBox : region->Boxes)
        if (BoxesMeet(pathBox, box))
          return true;
    return false;
  }

private:
  // Regions whose boxes meet box, the largest overlap first: a shape covered
  // completely is then emptied by few cuts.
  std::vector<const TRegion *> Near(const IntRect &box) const {
    std::vector<std::pair<double, const TRegion *>> near;
    for (const auto &region : FRegions)
      if (BoxesMeet(region.Box, box))
        near.emplace_back(-OverlapArea(region.Box, box), &region);
    std::stable_sort(near.begin(), near.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<const TRegion *> result;
    for (const auto &entry : near)
      result.push_back(entry.second);
    return result;
  }

  static TPaths PathsNear(const TRegion &region, const IntRect &box) {
    TPaths paths;
    for (std::size_t i = 0; i < region.Paths.size(); ++i)
      if (BoxesMeet(region.Boxes[i], box))
        paths.push_back(region.Paths[i]);
    return paths;
  }

  static double OverlapArea(const IntRect &a, const IntRect &b) {
    const double w = static_cast<double>(std::min(a.right, b.right) - std::max(a.left, b.left));
    const double h = static_cast<double>(std::min(a.bottom, b.bottom) - std::max(a.top, b.top));
    return w * h;
  }

  static std::size_t PointCount(const TPaths &paths) {
    std::size_t count = 0;
    for (const auto &path : paths)
      count += path.size();
    return count;
  }

  std::vector<TRegion> FRegions;
};

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
    const TPaths &p = FirstSet(level);
    const TPaths visible = cover.Subtract(p);
    cover.Add(p);
    TPaths opened = OpenArea(visible);
    if (opened.empty())
      erase[i] = true;
    else
      Replace(level, std::move(opened));
  }
  EraseMarked(levels, erase);
}

void HideCoveredLinesReference(TLevelList &levels, std::int32_t focus,
                               std::vector<std::string> &) {
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

void HideCoveredLines(TLevelList &levels, std::int32_t focus, std::vector<std::string> &report) {
  std::vector<bool> erase(levels.size());
  // A line's cover only cuts lines drawn before it: the first lines level
  // needs none, and a drawing of one polyline no cover at all.
  std::size_t firstLines = levels.size();
  for (std::size_t i = 0; i < levels.size() && firstLines == levels.size(); ++i)
    if (levels[i]->Kind() == lkLines)
      firstLines = i;
  std::size_t whole = 0;
  std::uint64_t most = 0;
  TCover cover;
  for (std::size_t i = levels.size(); i-- > 0;) {
    TLevel &level = *levels[i];
    if (level.Kind() == lkArea) {
      cover.Add(Offset(FirstSet(level), -SliverDepth, etClosedPolygon));
    } else if (level.Kind() == lkLines) {
      const TPaths lines = FirstSet(level);
      // Both the cut and the growing sort every crossing of the lines, which
      // for a curve through thousands of random points takes minutes. Such
      // lines stay whole and cover nothing: burnt twice where they overlap
      // other lines, but the drawing loads.
      std::optional<std::uint64_t> crossings;
      auto crowded = [&] {
        if (!crossings)
          crossings = EstimateCrossings(lines, MaxCoverCrossings);
        return *crossings > MaxCoverCrossings;
      };
      const bool cut = cover.Reaches(PointsBox(lines));
      const bool grow = i > firstLines;
      if ((cut || grow) && crowded()) {
        ++whole;
        most = std::max(most, *crossings);
      }
      const TPaths visible = cut && !crowded() ? cover.SubtractOpen(lines) : lines;
      if (grow && !crowded())
        cover.Add(Offset(lines, LineCoverShare * focus, etOpenRound));
      TPaths kept = KeepLong(visible, focus);
      if (kept.empty())
        erase[i] = true;
      else
        Replace(level, std::move(kept));
    }
  }
  EraseMarked(levels, erase);
  if (whole)
    report.push_back(TooManyCrossingsText(most, "hide what lines cover") + ": " +
                     std::to_string(whole) + (whole > 1 ? " lines levels" : " lines level") +
                     " left as drawn, hiding nothing");
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
