#include "PieceSearch.h"

#include <algorithm>
#include <limits>
#include <numeric>

TLinearPieceSearch::TLinearPieceSearch(const std::vector<TIntPoint> &points) : FPoints(points) {
  FRemaining.resize(points.size());
  std::iota(FRemaining.begin(), FRemaining.end(), 0);
}

std::int64_t TLinearPieceSearch::Nearest(const TIntPoint &from) const {
  std::int64_t best = -1;
  double bestDistance = 0;
  for (std::int64_t index : FRemaining) {
    const double distance = WalkDistance(from, FPoints[static_cast<std::size_t>(index)]);
    if (best < 0 || distance < bestDistance) {
      best = index;
      bestDistance = distance;
    }
    if (distance == 0)
      break;
  }
  return best;
}

void TLinearPieceSearch::Remove(std::int64_t index) {
  FRemaining.erase(std::find(FRemaining.begin(), FRemaining.end(), index));
}

namespace {
constexpr std::int32_t LeafSize = 8;
constexpr ClipperLib::cInt Highest = std::numeric_limits<ClipperLib::cInt>::max();
constexpr ClipperLib::cInt Lowest = std::numeric_limits<ClipperLib::cInt>::min();

// A lower bound of WalkDistance to any point of the box, computed the same
// way so the comparison with real distances stays exact.
template <typename TNodeT> double BoxDistance(const TNodeT &node, const TIntPoint &from) {
  const ClipperLib::cInt dx = from.X < node.MinX   ? node.MinX - from.X
                              : from.X > node.MaxX ? from.X - node.MaxX
                                                   : 0;
  const ClipperLib::cInt dy = from.Y < node.MinY   ? node.MinY - from.Y
                              : from.Y > node.MaxY ? from.Y - node.MaxY
                                                   : 0;
  const double x = static_cast<double>(dx), y = static_cast<double>(dy);
  return x * x + y * y;
}
template <typename TNodeT> bool Empty(const TNodeT &node) { return node.MinX > node.MaxX; }
} // namespace

TPieceIndex::TPieceIndex(const std::vector<TIntPoint> &points)
    : FLeafOf(points.size()), FItemOf(points.size()) {
  FItems.reserve(points.size());
  for (std::size_t i = 0; i < points.size(); ++i)
    FItems.push_back({points[i].X, points[i].Y, static_cast<std::int32_t>(i), true});
  if (!points.empty()) {
    FNodes.reserve(points.size() / LeafSize * 2 + 2);
    Build(0, static_cast<std::int32_t>(points.size()), -1, 0);
  }
  for (std::size_t i = 0; i < FItems.size(); ++i)
    FItemOf[static_cast<std::size_t>(FItems[i].Index)] = static_cast<std::int32_t>(i);
}

std::int32_t TPieceIndex::Build(std::int32_t begin, std::int32_t end, std::int32_t parent,
                                int depth) {
  const auto id = static_cast<std::int32_t>(FNodes.size());
  FNodes.push_back({Highest, Highest, Lowest, Lowest, begin, end, -1, -1, parent});
  if (end - begin <= LeafSize) {
    for (std::int32_t i = begin; i < end; ++i)
      FLeafOf[static_cast<std::size_t>(FItems[static_cast<std::size_t>(i)].Index)] = id;
  } else {
    // Split at the median, across X and Y in turn; boxes come from below.
    const bool alongX = depth % 2 == 0;
    const std::int32_t middle = begin + (end - begin) / 2;
    // One comparison per axis, so the partition's inner loop does not
    // choose the axis again at every step.
    const auto first = FItems.begin() + begin, nth = FItems.begin() + middle,
               last = FItems.begin() + end;
    if (alongX)
      std::nth_element(first, nth, last, [](const TItem &a, const TItem &b) { return a.X < b.X; });
    else
      std::nth_element(first, nth, last, [](const TItem &a, const TItem &b) { return a.Y < b.Y; });
    const std::int32_t low = Build(begin, middle, id, depth + 1);
    const std::int32_t high = Build(middle, end, id, depth + 1);
    FNodes[static_cast<std::size_t>(id)].Low = low;
    FNodes[static_cast<std::size_t>(id)].High = high;
  }
  Refit(FNodes[static_cast<std::size_t>(id)]);
  return id;
}

void TPieceIndex::Search(std::int32_t id, const TIntPoint &from, double &bestDistance,
                         std::int64_t &best) const {
  const TNode &node = FNodes[static_cast<std::size_t>(id)];
  if (node.Low < 0) {
    for (std::int32_t i = node.Begin; i < node.End; ++i) {
      const TItem &item = FItems[static_cast<std::size_t>(i)];
      if (!item.Alive)
        continue;
      const double distance = WalkDistance(from, TIntPoint(item.X, item.Y));
      if (best < 0 || distance < bestDistance || (distance == bestDistance && item.Index < best)) {
        best = item.Index;
        bestDistance = distance;
      }
    }
    return;
  }
  const TNode &low = FNodes[static_cast<std::size_t>(node.Low)];
  const TNode &high = FNodes[static_cast<std::size_t>(node.High)];
  const double lowDistance = Empty(low) ? -1 : BoxDistance(low, from);
  const double highDistance = Empty(high) ? -1 : BoxDistance(high, from);
  auto visit = [&](std::int32_t child, double distance) {
    if (distance >= 0 && (best < 0 || distance <= bestDistance))
      Search(child, from, bestDistance, best);
  };
  if (highDistance < 0 || (lowDistance >= 0 && lowDistance <= highDistance)) {
    visit(node.Low, lowDistance);
    visit(node.High, highDistance);
  } else {
    visit(node.High, highDistance);
    visit(node.Low, lowDistance);
  }
}

std::int64_t TPieceIndex::Nearest(const TIntPoint &from) const {
  std::int64_t best = -1;
  double bestDistance = 0;
  if (!FNodes.empty() && !Empty(FNodes[0]))
    Search(0, from, bestDistance, best);
  return best;
}

bool TPieceIndex::Refit(TNode &node) {
  const TNode before = node;
  node.MinX = node.MinY = Highest;
  node.MaxX = node.MaxY = Lowest;
  auto include = [&node](ClipperLib::cInt minX, ClipperLib::cInt minY, ClipperLib::cInt maxX,
                         ClipperLib::cInt maxY) {
    node.MinX = std::min(node.MinX, minX);
    node.MinY = std::min(node.MinY, minY);
    node.MaxX = std::max(node.MaxX, maxX);
    node.MaxY = std::max(node.MaxY, maxY);
  };
  if (node.Low < 0) {
    for (std::int32_t i = node.Begin; i < node.End; ++i) {
      const TItem &item = FItems[static_cast<std::size_t>(i)];
      if (item.Alive)
        include(item.X, item.Y, item.X, item.Y);
    }
  } else {
    for (std::int32_t child : {node.Low, node.High}) {
      const TNode &c = FNodes[static_cast<std::size_t>(child)];
      if (!Empty(c))
        include(c.MinX, c.MinY, c.MaxX, c.MaxY);
    }
  }
  return node.MinX != before.MinX || node.MinY != before.MinY || node.MaxX != before.MaxX ||
         node.MaxY != before.MaxY;
}

void TPieceIndex::Remove(std::int64_t index) {
  TItem &item = FItems[static_cast<std::size_t>(FItemOf[static_cast<std::size_t>(index)])];
  if (!item.Alive)
    return;
  item.Alive = false;
  // Boxes shrink to what is left, so the search keeps pruning well as the
  // walk empties the job; a node with nothing left has an empty box.
  for (std::int32_t id = FLeafOf[static_cast<std::size_t>(index)]; id >= 0;) {
    TNode &node = FNodes[static_cast<std::size_t>(id)];
    if (!Refit(node))
      break;
    id = node.Parent;
  }
}
