#include "StlLevels.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <numeric>
#include <optional>

#include "core/PathUtils.h"
#include "core/PhaseTimes.h"

using namespace ClipperLib;

namespace {

// How the outline searches find the outlines near each other; both give the
// same levels.
enum TStlSearch : std::uint8_t { ssIndexed, ssPlain };

struct TBuildOptions : TStlLevelOptions {
  TStlSearch Search = ssIndexed;
};

constexpr std::uint32_t LevelColors[] = {
    0xFFEF3030, 0xFFEFEF30, 0xFF30EF30, 0xFF30EFEF, 0xFFEF30EF, 0xFF3030EF, 0xFF909090, 0xFFBF0000,
    0xFFBF6F00, 0xFF00BF00, 0xFF00BFBF, 0xFFBF00BF, 0xFF0000BF, 0xFFBFBF00, 0xFFCFCFCF};
constexpr std::size_t LevelColorCount = sizeof(LevelColors) / sizeof(LevelColors[0]);

// A level while the list is being built; turned into TLevel at the end, so
// the many insertions and removals move no atomics or locks.
using TLevelInput = std::vector<TPaths>;
struct TWork {
  TLevelKind Kind = lkLines;
  std::int32_t Height = 0;
  TLevelInput Input;
  bool Removed = false;
};
using TWorkList = std::vector<TWork>;

TPaths AllPaths(const TWork &work) {
  TPaths all;
  for (const auto &set : work.Input)
    all.insert(all.end(), set.begin(), set.end());
  return all;
}

std::int64_t LinesLength(const TWork &work) {
  std::int64_t length = 0;
  for (const auto &set : work.Input)
    length += PathsLength(set, true, 0);
  return length;
}

void RemoveMarked(TWorkList &list) {
  std::erase_if(list, [](const TWork &work) { return work.Removed; });
}

class TProgress {
public:
  explicit TProgress(const TBuildOptions &options) : FOptions(options) {}
  void SetMax(int value) const {
    if (FOptions.SetProgressMax)
      FOptions.SetProgressMax(value);
  }
  void Step() const {
    if (FOptions.Progress)
      FOptions.Progress();
  }

private:
  const TStlLevelOptions &FOptions;
};

// Name pattern of both kinds: the table height as millimetres with one
// decimal, cut rather than rounded.
std::string HeightName(std::int32_t index, const char *symbol) {
  const std::int32_t h = StlHeight(index);
  return std::to_string(h / 100) + "." + std::to_string((h % 100) / 10) + " mm " + symbol;
}

TPaths OffsetClosed(const TPaths &paths, double delta) {
  TOffsetter offsetter;
  offsetter.Add(paths, jtRound, etClosedPolygon);
  return offsetter.Execute(delta);
}

// The region within a distance of one level's outlines: a band around each
// path, as Clipper's offsetting returns it (outer boundaries counter-
// clockwise, holes clockwise). Non-zero filling over the bands of several
// levels is then their union, so each level's band is made once and kept
// rather than offsetting all levels together for every outline clipped.
struct TZone {
  TPaths Polygons;
  std::vector<IntRect> Boxes;
  IntRect Box = EmptyBox;
};

TZone MakeZone(const TLevelInput &input, double distance) {
  TZone zone;
  TPaths paths;
  for (const auto &set : input)
    paths.insert(paths.end(), set.begin(), set.end());
  zone.Polygons = StrokeZone(paths, distance);
  for (const auto &polygon : zone.Polygons)
    zone.Boxes.push_back(PathsBounds({polygon}));
  if (!zone.Polygons.empty())
    zone.Box = PathsBounds(zone.Polygons);
  return zone;
}

__extension__ using TWide = __int128;

// Whether the segment a-b touches the closed box. Exact in 128 bits: the
// box's axes and the segment's normal are the only possible separations.
bool SegmentMeetsBox(const IntPoint &a, const IntPoint &b, const IntRect &box) {
  if (std::max(a.X, b.X) < box.left || std::min(a.X, b.X) > box.right ||
      std::max(a.Y, b.Y) < box.top || std::min(a.Y, b.Y) > box.bottom)
    return false;
  const TWide dx = b.X - a.X;
  const TWide dy = b.Y - a.Y;
  int below = 0, above = 0;
  for (const IntPoint &corner : {IntPoint(box.left, box.top), IntPoint(box.right, box.top),
                                 IntPoint(box.left, box.bottom), IntPoint(box.right, box.bottom)}) {
    const TWide side = dx * (corner.Y - a.Y) - dy * (corner.X - a.X);
    below += side <= 0;
    above += side >= 0;
  }
  return below > 0 && above > 0;
}

bool PolygonMeetsBox(const TPath &polygon, const IntRect &box) {
  for (std::size_t i = 0; i < polygon.size(); ++i)
    if (SegmentMeetsBox(polygon[i], polygon[(i + 1) % polygon.size()], box))
      return true;
  return false;
}

// The pieces of an open path outside the polygons (non-zero filling).
TPaths ClipOpen(const TPaths &path, const std::vector<const TPath *> &polygons) {
  TClipper clipper;
  clipper.AddSubject(path, false);
  for (const TPath *polygon : polygons)
    clipper.AddClip(*polygon);
  PolyTree tree;
  clipper.Execute(ctDifference, tree, pftNonZero);
  TPaths pieces;
  OpenPathsFromPolyTree(tree, pieces);
  return pieces;
}

// The pieces of an open path outside all zones (non-zero filling).
//
// Indexed, polygons whose boundary stays clear of the path's box are left
// out where that cannot change the pieces: such a polygon adds the same
// winding (0, or 1 either way round) at every point of the path. Those
// adding 0 go; the others go too when their windings cancel out (the hole
// of a ring lying around the path, with its outer boundary). What is left
// clips the path at the same places and fills the same points of it.
//
// Nothing when no polygon is left to clip the path: the path clipped by
// nothing is the same for every call with it, so the caller keeps that.
std::optional<TPaths> OutsideZones(const TPaths &path, const IntRect &target,
                                   const std::vector<const TZone *> &zones, bool indexed) {
  std::vector<const TPath *> clips;
  std::vector<const TPath *> around;
  int aroundWinding = 0;
  for (const TZone *zone : zones) {
    if (indexed && !BoxesMeet(zone->Box, target))
      continue;
    for (std::size_t k = 0; k < zone->Polygons.size(); ++k) {
      const TPath &polygon = zone->Polygons[k];
      if (!indexed) {
        clips.push_back(&polygon);
        continue;
      }
      if (!BoxesMeet(zone->Boxes[k], target))
        continue;
      if (PolygonMeetsBox(polygon, target) || path.empty() || path.front().empty()) {
        clips.push_back(&polygon);
      } else if (PointInPolygon(path.front().front(), polygon) != 0) {
        around.push_back(&polygon);
        aroundWinding += Orientation(polygon) ? 1 : -1;
      }
    }
  }
  if (aroundWinding != 0)
    clips.insert(clips.end(), around.begin(), around.end());
  if (clips.empty())
    return std::nullopt;
  return ClipOpen(path, clips);
}

// Zones of the levels of the list at one distance. The plain search makes
// every zone afresh each time it is needed; the indexed one makes it once
// and skips the zones whose boxes miss the clipped path.
class TZones {
public:
  TZones(const TWorkList &list, double distance, TStlSearch search)
      : FList(list), FDistance(distance), FIndexed(search == ssIndexed), FCache(list.size()) {}

  // The pieces of path (whose box is target) outside the zones of the
  // given levels; nothing when no zone can clip it (see OutsideZones).
  std::optional<TPaths> Outside(const TPaths &path, const IntRect &target,
                                const std::vector<int> &levels) {
    std::vector<TZone> fresh;
    std::vector<const TZone *> zones;
    if (!FIndexed)
      fresh.reserve(levels.size());
    for (const int level : levels) {
      if (!FIndexed) {
        fresh.push_back(MakeZone(Input(level), FDistance));
        zones.push_back(&fresh.back());
        continue;
      }
      auto &cached = FCache[static_cast<std::size_t>(level)];
      if (!cached)
        cached = MakeZone(Input(level), FDistance);
      if (BoxesMeet(cached->Box, target))
        zones.push_back(&*cached);
    }
    return OutsideZones(path, target, zones, FIndexed);
  }

  // A zone is kept until its level changes.
  void Forget(int level) { FCache[static_cast<std::size_t>(level)].reset(); }

private:
  const TLevelInput &Input(int level) const { return FList[static_cast<std::size_t>(level)].Input; }

  const TWorkList &FList;
  const double FDistance;
  const bool FIndexed;
  std::vector<std::optional<TZone>> FCache;
};

// The lines levels whose zones may reach a box, found through a grid of
// their boxes grown by the zone distance (with room for the offsetting's
// rounding) instead of a look at every level. The plain search asks for all.
class TNearLevels {
public:
  TNearLevels(const TWorkList &list, double distance, TStlSearch search)
      : FIndexed(search == ssIndexed), FStamp(list.size(), 0) {
    const cInt grow = static_cast<cInt>(std::ceil(2 * distance)) + 2;
    IntRect all = EmptyBox;
    for (std::size_t i = 0; i < list.size(); ++i) {
      IntRect box = EmptyBox;
      if (list[i].Kind == lkLines)
        for (const auto &set : list[i].Input)
          box = UniteBoxes(box, PointsBox(set));
      if (!IsEmptyBox(box))
        box = {box.left - grow, box.top - grow, box.right + grow, box.bottom + grow};
      FBoxes.push_back(box);
      all = UniteBoxes(all, box);
      if (!IsEmptyBox(box))
        FAll.push_back(static_cast<int>(i));
    }
    FGrid = all;
    FSide = std::clamp<std::size_t>(static_cast<std::size_t>(std::sqrt(FAll.size())), 1, 256);
    FCells.resize(FSide * FSide);
    for (const int i : FAll)
      ForCells(FBoxes[static_cast<std::size_t>(i)],
               [&](std::size_t cell) { FCells[cell].push_back(i); });
  }

  // Ascending indices of the lines levels that may reach the box.
  std::vector<int> Near(const IntRect &box) {
    if (!FIndexed)
      return FAll;
    std::vector<int> found;
    if (!BoxesMeet(box, FGrid))
      return found;
    ++FRound;
    ForCells(box, [&](std::size_t cell) {
      for (const int i : FCells[cell]) {
        auto &stamp = FStamp[static_cast<std::size_t>(i)];
        if (stamp != FRound && BoxesMeet(FBoxes[static_cast<std::size_t>(i)], box))
          found.push_back(i);
        stamp = FRound;
      }
    });
    std::sort(found.begin(), found.end());
    return found;
  }

private:
  template <class TVisit> void ForCells(const IntRect &box, TVisit visit) const {
    const auto cell = [&](cInt v, cInt from, cInt to) {
      const TWide offset = TWide{std::clamp(v, from, to)} - from;
      return static_cast<std::size_t>(offset * static_cast<TWide>(FSide) / (TWide{to} - from + 1));
    };
    const std::size_t x0 = cell(box.left, FGrid.left, FGrid.right);
    const std::size_t x1 = cell(box.right, FGrid.left, FGrid.right);
    const std::size_t y0 = cell(box.top, FGrid.top, FGrid.bottom);
    const std::size_t y1 = cell(box.bottom, FGrid.top, FGrid.bottom);
    for (std::size_t y = y0; y <= y1; ++y)
      for (std::size_t x = x0; x <= x1; ++x)
        visit(y * FSide + x);
  }

  const bool FIndexed;
  std::vector<IntRect> FBoxes;
  std::vector<int> FAll;
  IntRect FGrid = EmptyBox;
  std::size_t FSide = 1;
  std::vector<std::vector<int>> FCells;
  std::vector<std::uint32_t> FStamp;
  std::uint32_t FRound = 0;
};

bool PointLess(const TIntPoint &a, const TIntPoint &b) {
  return a.X < b.X || (a.X == b.X && a.Y < b.Y);
}

// The outline loops of triangles under even-odd filling. An edge shared by
// two triangles is crossed twice by any ray, so it bounds nothing: such
// pairs go, and the remaining edges, every corner touched by an even number
// of them, are walked into closed loops. The loops fill exactly the points
// the triangles fill, and one union of a few long loops takes the polygon
// library a fraction of the time that hundreds of thousands of triangles
// sharing edges take (a relief's bottom triangulated cell by cell).
// Corners are walked as keys: keyOf and pointOf convert, less orders keys
// as PointLess orders their points.
template <class TKey, class TKeyOf, class TPointOf, class TLess>
TPaths WalkTriangleLoops(const std::vector<const THorizontalFacet *> &facets, TKeyOf keyOf,
                         TPointOf pointOf, TLess less) {
  using TEdge = std::pair<TKey, TKey>;
  std::vector<TEdge> all;
  all.reserve(3 * facets.size());
  for (const auto *facet : facets) {
    const auto &c = facet->Corners;
    // A triangle of no area fills nothing (the library drops it too).
    const TWide cross =
        TWide{c[1].X - c[0].X} * (c[2].Y - c[0].Y) - TWide{c[1].Y - c[0].Y} * (c[2].X - c[0].X);
    if (cross == 0)
      continue;
    for (std::size_t i = 0; i < 3; ++i) {
      TKey a = keyOf(c[i]), b = keyOf(c[(i + 1) % 3]);
      if (less(b, a))
        std::swap(a, b);
      all.emplace_back(a, b);
    }
  }
  std::sort(all.begin(), all.end(), [&](const TEdge &x, const TEdge &y) {
    return less(x.first, y.first) || (x.first == y.first && less(x.second, y.second));
  });
  std::vector<TEdge> edges;
  for (std::size_t i = 0; i < all.size();) {
    std::size_t j = i;
    while (j < all.size() && all[j] == all[i])
      ++j;
    if ((j - i) % 2)
      edges.push_back(all[i]);
    i = j;
  }
  // Both ends of every edge, sorted by point, with a cursor per point past
  // the edges already walked.
  std::vector<std::pair<TKey, std::size_t>> ends;
  ends.reserve(2 * edges.size());
  for (std::size_t e = 0; e < edges.size(); ++e) {
    ends.emplace_back(edges[e].first, e);
    ends.emplace_back(edges[e].second, e);
  }
  std::sort(ends.begin(), ends.end(), [&](const auto &x, const auto &y) {
    return less(x.first, y.first) || (x.first == y.first && x.second < y.second);
  });
  auto firstEnd = [&](const TKey &p) {
    return static_cast<std::size_t>(
        std::lower_bound(ends.begin(), ends.end(), p,
                         [&](const auto &end, const TKey &q) { return less(end.first, q); }) -
        ends.begin());
  };
  std::vector<char> used(edges.size(), 0);
  TPaths loops;
  for (std::size_t e = 0; e < edges.size(); ++e) {
    if (used[e])
      continue;
    used[e] = 1;
    const TKey start = edges[e].first;
    TPath loop{pointOf(start)};
    TKey at = edges[e].second;
    while (!(at == start)) {
      loop.push_back(pointOf(at));
      std::size_t k = firstEnd(at);
      while (k < ends.size() && ends[k].first == at && used[ends[k].second])
        ++k;
      // Every corner has an even number of edges, so the walk can only end
      // where it started; the check keeps a broken invariant from looping.
      if (k == ends.size() || !(ends[k].first == at))
        break;
      const TEdge &next = edges[ends[k].second];
      used[ends[k].second] = 1;
      at = next.first == at ? next.second : next.first;
    }
    loops.push_back(std::move(loop));
  }
  return loops;
}

TPaths TriangleLoops(const std::vector<const THorizontalFacet *> &facets) {
  // Points go into one 64-bit key each, X in the high half, so that keys
  // sort as PointLess sorts the points and the sorts compare single
  // integers. Corners come from the reader within 31 bits; anything wider
  // than 32 bits after moving the origin is walked as points.
  cInt minX = 0, minY = 0, maxX = 0, maxY = 0;
  bool first = true;
  for (const auto *facet : facets)
    for (const auto &c : facet->Corners) {
      if (first) {
        minX = maxX = c.X;
        minY = maxY = c.Y;
        first = false;
      }
      minX = std::min(minX, c.X);
      maxX = std::max(maxX, c.X);
      minY = std::min(minY, c.Y);
      maxY = std::max(maxY, c.Y);
    }
  constexpr cInt Span = cInt{1} << 32;
  if (!first &&
      (maxX - minX >= Span || maxY - minY >= Span || maxX - minX < 0 || maxY - minY < 0)) {
    const auto same = [](const TIntPoint &p) { return p; };
    return WalkTriangleLoops<TIntPoint>(facets, same, same, PointLess);
  }
  const auto key = [&](const TIntPoint &p) {
    return (static_cast<std::uint64_t>(p.X - minX) << 32) | static_cast<std::uint64_t>(p.Y - minY);
  };
  const auto point = [&](std::uint64_t k) {
    return TIntPoint(static_cast<cInt>(k >> 32) + minX, static_cast<cInt>(k & 0xFFFFFFFFu) + minY);
  };
  return WalkTriangleLoops<std::uint64_t>(facets, key, point, std::less<std::uint64_t>());
}

// The polygon library now and then hands back an outline turned like a
// hole (seen with a triangulated face around an engraved letter), and the
// offsetting that follows then fills the hole. Nesting decides instead: a
// path inside an even number of the others is an outline and turns
// counter-clockwise, the others are holes and turn clockwise.
void OrientByNesting(TPaths &paths) {
  std::vector<IntRect> boxes;
  boxes.reserve(paths.size());
  for (const auto &path : paths)
    boxes.push_back(PathsBounds({path}));
  std::vector<bool> outer(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    int depth = 0;
    for (std::size_t j = 0; j < paths.size(); ++j) {
      const IntRect &a = boxes[i], &b = boxes[j];
      if (j == i || a.left < b.left || a.right > b.right || a.top < b.top || a.bottom > b.bottom)
        continue;
      // The first corner not on the other path's boundary tells.
      for (const auto &point : paths[i]) {
        const int inside = PointInPolygon(point, paths[j]);
        if (inside >= 0) {
          depth += inside;
          break;
        }
      }
    }
    outer[i] = depth % 2 == 0;
  }
  for (std::size_t i = 0; i < paths.size(); ++i)
    if (Orientation(paths[i]) != outer[i])
      ReversePath(paths[i]);
}

// 1. The visible faces of each height, before trimming by higher ones.
TWorkList AreaLevels(const std::vector<THorizontalFacet> &facets, const TBuildOptions &options) {
  std::vector<std::vector<const THorizontalFacet *>> byHeight(StlHeightCount);
  for (const auto &facet : facets)
    byHeight[static_cast<std::size_t>(std::clamp(facet.Height, 0, StlHeightCount - 1))].push_back(
        &facet);
  const double gap = options.UnitsPerMM / 20;
  const double minimumArea = static_cast<double>(options.Focus) * options.Focus;
  TWorkList list;
  for (int k = StlHeightCount - 1; k >= 0; --k) {
    const auto &group = byHeight[static_cast<std::size_t>(k)];
    if (group.empty())
      continue;
    // Even-odd: a face lying on another at the same height (a block standing
    // on a plate) cancels it, which is what one sees from above.
    TClipper clipper;
    clipper.AddSubject(TriangleLoops(group));
    TPaths united = clipper.Execute(ctUnion);
    OrientByNesting(united);
    TPaths area = OffsetClosed(OffsetClosed(united, gap), -gap);
    OrientByNesting(area);
    if (std::fabs(PathsArea(area)) > minimumArea)
      list.push_back({lkArea, k, {std::move(area)}});
  }
  return list;
}

// 2.1 One lines level per outline, lowest heights first.
void AddOutlineLevels(TWorkList &list) {
  TWorkList outlines;
  for (std::size_t i = list.size(); i-- > 0;)
    for (const auto &path : list[i].Input.front())
      outlines.push_back({lkLines, list[i].Height, {{ClosePath(path)}}});
  for (auto &outline : outlines)
    list.push_back(std::move(outline));
}

// 2.2 The wall below each outline: the highest lower outline that it runs
// along for most of its length.
void FindWallHeights(TWorkList &list, const TBuildOptions &options, const TProgress &progress) {
  // Levels before the one being searched still have their outline heights;
  // the search only changes levels it has finished with.
  const auto heightIndex = [&](int j) {
    return std::clamp(list[static_cast<std::size_t>(j)].Height, 0, StlHeightCount - 1);
  };
  TZones zones(list, 0.6 * options.Focus, options.Search);
  TNearLevels near(list, 0.6 * options.Focus, options.Search);
  for (std::size_t i = list.size(); i-- > 0;) {
    progress.Step();
    TWork &level = list[i];
    if (level.Kind != lkLines)
      continue;
    const TPaths path = AllPaths(level);
    const std::int32_t d = level.Height;
    const IntRect box = PathsBounds(path);
    const double limit = 0.2 * static_cast<double>(PathsLength(path, true, 0));
    const auto runsAlong = [&](const TPaths &rest) {
      return rest.empty() || static_cast<double>(PathsLength(rest, true, 0)) < limit;
    };
    // The earlier lines levels nearby, highest first, each height in list
    // order.
    std::vector<int> candidates = near.Near(box);
    std::erase_if(candidates, [&](int j) {
      return j >= static_cast<int>(i) || list[static_cast<std::size_t>(j)].Kind != lkLines;
    });
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](int a, int b) { return heightIndex(a) > heightIndex(b); });
    auto next = candidates.begin();
    std::optional<bool> unclippedRunsAlong;
    std::int32_t r = d;
    for (; r >= 1; --r) {
      const int height = std::min(r, StlHeightCount - 1);
      while (next != candidates.end() && heightIndex(*next) > height)
        ++next;
      std::vector<int> earlier;
      for (auto k = next; k != candidates.end() && heightIndex(*k) == height; ++k)
        earlier.push_back(*k);
      const std::optional<TPaths> rest =
          earlier.empty() ? std::nullopt : zones.Outside(path, box, earlier);
      if (!rest && !unclippedRunsAlong)
        unclippedRunsAlong = runsAlong(ClipOpen(path, {}));
      if (rest ? runsAlong(*rest) : *unclippedRunsAlong)
        break;
    }
    level.Height = d - std::max(r, 0);
  }
}

// 2.3 An outline that runs along an outline listed later is drawn by that one.
void RemoveDuplicates(TWorkList &list, const TBuildOptions &options, const TProgress &progress) {
  if (list.size() < 2)
    return;
  TZones zones(list, 0.5 * options.Focus, options.Search);
  // Cutting only shortens a level, so the boxes found before stay wide enough.
  TNearLevels near(list, 0.5 * options.Focus, options.Search);
  // Levels after the one being cut are final: their zones stay valid.
  for (std::size_t i = list.size() - 1; i-- > 0;) {
    progress.Step();
    TWork &level = list[i];
    if (level.Kind != lkLines)
      continue;
    const TPaths path = AllPaths(level);
    const IntRect box = PathsBounds(path);
    std::vector<int> later = near.Near(box);
    std::erase_if(later, [&](int j) {
      const TWork &other = list[static_cast<std::size_t>(j)];
      return j <= static_cast<int>(i) || other.Kind != lkLines || other.Removed;
    });
    TPaths kept;
    std::optional<TPaths> rest = later.empty() ? std::nullopt : zones.Outside(path, box, later);
    if (!rest)
      rest = ClipOpen(path, {});
    for (auto &piece : *rest)
      if (PathLength(piece, true) > options.Focus)
        kept.push_back(std::move(piece));
    if (kept.empty())
      level.Removed = true;
    else
      level.Input = {std::move(kept)};
    zones.Forget(static_cast<int>(i));
  }
  RemoveMarked(list);
}

void AppendInto(TWork &target, const TWork &source) {
  TPaths joined = AllPaths(source);
  for (const auto &set : target.Input)
    joined.insert(joined.end(), set.begin(), set.end());
  target.Input = {std::move(joined)};
}

// 2.4 One level per wall height.
//
// Each later level of a height joins the first one, the last joined first,
// each in front of what the first holds: the first ends up with the later
// levels' paths in list order, then its own.
void MergeEqualWalls(TWorkList &list) {
  std::vector<std::pair<std::int32_t, std::size_t>> byHeight;
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i].Kind == lkLines)
      byHeight.emplace_back(list[i].Height, i);
  std::sort(byHeight.begin(), byHeight.end());
  for (std::size_t a = 0; a < byHeight.size();) {
    std::size_t b = a + 1;
    while (b < byHeight.size() && byHeight[b].first == byHeight[a].first)
      ++b;
    if (b - a > 1) {
      TWork &first = list[byHeight[a].second];
      TPaths joined;
      for (std::size_t k = a + 1; k < b; ++k) {
        TWork &later = list[byHeight[k].second];
        for (auto &set : later.Input)
          joined.insert(joined.end(), std::make_move_iterator(set.begin()),
                        std::make_move_iterator(set.end()));
        later.Removed = true;
      }
      for (auto &set : first.Input)
        joined.insert(joined.end(), std::make_move_iterator(set.begin()),
                      std::make_move_iterator(set.end()));
      first.Input = {std::move(joined)};
    }
    a = b;
  }
  RemoveMarked(list);
}

// 2.6 A wall too short to be worth its own level joins the nearest height.
void AbsorbShortWalls(TWorkList &list) {
  std::int64_t longest = 0;
  for (const auto &work : list)
    if (work.Kind == lkLines)
      longest = std::max(longest, LinesLength(work));
  if (longest <= 0)
    return;
  for (std::size_t i = list.size(); i-- > 0;) {
    TWork &level = list[i];
    if (level.Kind != lkLines || level.Removed ||
        static_cast<double>(LinesLength(level)) / static_cast<double>(longest) >= 0.005)
      continue;
    std::int64_t nearest = -1;
    std::size_t target = 0;
    for (std::size_t j = 0; j < list.size(); ++j) {
      if (j == i || list[j].Kind != lkLines || list[j].Removed)
        continue;
      const std::int64_t distance = std::llabs(std::int64_t{list[j].Height} - level.Height);
      // The last level at the smallest distance takes it.
      if (nearest < 0 || distance <= nearest) {
        nearest = distance;
        target = j;
      }
    }
    if (nearest < 0)
      continue;
    AppendInto(list[target], level);
    level.Removed = true;
  }
  RemoveMarked(list);
}

void CreateContours(TWorkList &list, const TBuildOptions &options, const TProgress &progress) {
  AddOutlineLevels(list);
  progress.SetMax(2 * static_cast<int>(list.size()) + 3);
  progress.Step();
  FindWallHeights(list, options, progress);
  RemoveDuplicates(list, options, progress);
  MergeEqualWalls(list);
  // Stable, so equal heights keep the area level before the lines level.
  std::stable_sort(list.begin(), list.end(),
                   [](const TWork &a, const TWork &b) { return a.Height > b.Height; });
  AbsorbShortWalls(list);
}

// Islands of a tree: each outer polygon with its holes; islands standing in
// a hole come before the island around them.
// Outlines turn counter-clockwise and holes clockwise, whatever the library
// returned.
void CollectIslands(const PolyNode &outer, std::vector<TPaths> &islands) {
  TPaths island{outer.Contour};
  if (!Orientation(island.front()))
    ReversePath(island.front());
  for (const PolyNode *hole : outer.Childs) {
    for (const PolyNode *inner : hole->Childs)
      CollectIslands(*inner, islands);
    island.push_back(hole->Contour);
    if (Orientation(island.back()))
      ReversePath(island.back());
  }
  islands.push_back(std::move(island));
}

// 3. What higher faces leave visible, split into islands.
void TrimAreas(TWorkList &list, const TBuildOptions &options) {
  const double opening = options.UnitsPerMM / 10;
  const double minimumArea = static_cast<double>(options.Focus) * options.Focus;
  for (std::size_t i = list.size(); i-- > 0;) {
    TWork &level = list[i];
    if (level.Kind != lkArea)
      continue;
    TClipper clipper;
    clipper.AddSubject(level.Input.front());
    // Levels before this one are not trimmed yet, as the cut needs.
    for (std::size_t j = 0; j < i; ++j)
      if (list[j].Kind == lkArea)
        clipper.AddClip(list[j].Input.front());
    // Non-zero rather than even-odd filling: where two higher faces overlap
    // (the top and the underside of an overhang), the face below is still
    // hidden. Each face set is a clean union with holes turned the other
    // way, so both fillings agree wherever nothing overlaps.
    const TPaths visible = clipper.Execute(ctDifference, pftNonZero);
    TOffsetter grow;
    grow.Add(OffsetClosed(visible, -opening), jtRound, etClosedPolygon);
    PolyTree tree;
    grow.Execute(tree, opening);
    std::vector<TPaths> islands;
    for (const PolyNode *outer : tree.Childs)
      CollectIslands(*outer, islands);
    std::erase_if(
        islands, [&](const TPaths &island) { return std::fabs(PathsArea(island)) <= minimumArea; });
    if (islands.empty())
      level.Removed = true;
    else
      level.Input = std::move(islands);
  }
  RemoveMarked(list);
}

std::vector<std::unique_ptr<TLevel>> Build(const std::vector<THorizontalFacet> &facets,
                                           const TBuildOptions &options) {
  const TProgress progress(options);
  std::optional<TPhaseMark> mark(std::in_place, "read: STL areas");
  TWorkList list = AreaLevels(facets, options);
  mark.emplace("read: STL contours");
  CreateContours(list, options, progress);
  mark.emplace("read: STL trim");
  TrimAreas(list, options);
  mark.reset();
  std::vector<std::unique_ptr<TLevel>> levels;
  levels.reserve(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    TWork &work = list[i];
    auto level = std::make_unique<TLevel>(work.Kind);
    level->SetHeight(work.Height);
    level->SetName(HeightName(work.Height, work.Kind == lkArea ? "\u25A6" : "\u25A2"));
    level->SetColor(LevelColors[i % LevelColorCount]);
    *level->Input() = std::move(work.Input);
    levels.push_back(std::move(level));
  }
  return levels;
}

} // namespace

std::vector<std::unique_ptr<TLevel>> BuildStlLevels(const std::vector<THorizontalFacet> &facets,
                                                    const TStlLevelOptions &options) {
  TBuildOptions build;
  static_cast<TStlLevelOptions &>(build) = options;
  return Build(facets, build);
}

std::vector<std::unique_ptr<TLevel>>
BuildStlLevelsReference(const std::vector<THorizontalFacet> &facets,
                        const TStlLevelOptions &options) {
  TBuildOptions build;
  static_cast<TStlLevelOptions &>(build) = options;
  build.Search = ssPlain;
  return Build(facets, build);
}
