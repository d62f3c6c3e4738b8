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
}

TPieceIndex::TPieceIndex(const std::vector<TIntPoint> &points)
    : FPoints(points), FOrder(points.size()), FLeafOf(points.size()), FAlive(points.size(), true) {
  std::iota(FOrder.begin(), FOrder.end(), 0);
  if (!points.empty()) {
    FNodes.reserve(points.size() / LeafSize * 2 + 2);
    Build(0, static_cast<std::int32_t>(points.size()), -1, 0);
  }
}

std::int32_t TPieceIndex::Build(std::int32_t begin, std::int32_t end, std::int32_t parent,
                                int depth) {
  const auto id = static_cast<std::int32_t>(FNodes.size());
  TNode node{std::numeric_limits<ClipperLib::cInt>::max(), std::numeric_limits<ClipperLib::cInt>::max(),
             std::numeric_limits<ClipperLib::cInt>::min(), std::numeric_limits<ClipperLib::cInt>::min(),
             begin, end, -1, -1, parent, end - begin};
  for (std::int32_t i = begin; i < end; ++i) {
    const TIntPoint &p = FPoints[static_cast<std::size_t>(FOrder[static_cast<std::size_t>(i)])];
    node.MinX = std::min(node.MinX, p.X);
    node.MinY = std::min(node.MinY, p.Y);
    node.MaxX = std::max(node.MaxX, p.X);
    node.MaxY = std::max(node.MaxY, p.Y);
  }
  FNodes.push_back(node);
  if (end - begin <= LeafSize) {
    for (std::int32_t i = begin; i < end; ++i)
      FLeafOf[static_cast<std::size_t>(FOrder[static_cast<std::size_t>(i)])] = id;
    return id;
  }
  // Split the wider side at the median.
  const bool alongX = node.MaxX - node.MinX >= node.MaxY - node.MinY;
  const std::int32_t middle = begin + (end - begin) / 2;
  std::nth_element(FOrder.begin() + begin, FOrder.begin() + middle, FOrder.begin() + end,
                   [&](std::int32_t a, std::int32_t b) {
                     const TIntPoint &p = FPoints[static_cast<std::size_t>(a)];
                     const TIntPoint &q = FPoints[static_cast<std::size_t>(b)];
                     return alongX ? p.X < q.X : p.Y < q.Y;
                   });
  const std::int32_t low = Build(begin, middle, id, depth + 1);
  const std::int32_t high = Build(middle, end, id, depth + 1);
  FNodes[static_cast<std::size_t>(id)].Low = low;
  FNodes[static_cast<std::size_t>(id)].High = high;
  return id;
}

namespace {
// A lower bound of WalkDistance to any point of the box, computed the same
// way so the comparison with real distances stays exact.
template <typename TNodeT> double BoxDistance(const TNodeT &node, const TIntPoint &from) {
  const ClipperLib::cInt dx = from.X < node.MinX ? node.MinX - from.X : from.X > node.MaxX ? from.X - node.MaxX : 0;
  const ClipperLib::cInt dy = from.Y < node.MinY ? node.MinY - from.Y : from.Y > node.MaxY ? from.Y - node.MaxY : 0;
  const double x = static_cast<double>(dx), y = static_cast<double>(dy);
  return x * x + y * y;
}
} // namespace

void TPieceIndex::Search(std::int32_t id, const TIntPoint &from, double &bestDistance,
                         std::int64_t &best) const {
  const TNode &node = FNodes[static_cast<std::size_t>(id)];
  if (node.Alive == 0)
    return;
  if (best >= 0 && BoxDistance(node, from) > bestDistance)
    return;
  if (node.Low < 0) {
    for (std::int32_t i = node.Begin; i < node.End; ++i) {
      const std::int32_t index = FOrder[static_cast<std::size_t>(i)];
      if (!FAlive[static_cast<std::size_t>(index)])
        continue;
      const double distance = WalkDistance(from, FPoints[static_cast<std::size_t>(index)]);
      if (best < 0 || distance < bestDistance || (distance == bestDistance && index < best)) {
        best = index;
        bestDistance = distance;
      }
    }
    return;
  }
  const TNode &low = FNodes[static_cast<std::size_t>(node.Low)];
  const TNode &high = FNodes[static_cast<std::size_t>(node.High)];
  if (BoxDistance(low, from) <= BoxDistance(high, from)) {
    Search(node.Low, from, bestDistance, best);
    Search(node.High, from, bestDistance, best);
  } else {
    Search(node.High, from, bestDistance, best);
    Search(node.Low, from, bestDistance, best);
  }
}

std::int64_t TPieceIndex::Nearest(const TIntPoint &from) const {
  std::int64_t best = -1;
  double bestDistance = 0;
  if (!FNodes.empty())
    Search(0, from, bestDistance, best);
  return best;
}

void TPieceIndex::Remove(std::int64_t index) {
  if (!FAlive[static_cast<std::size_t>(index)])
    return;
  FAlive[static_cast<std::size_t>(index)] = false;
  for (std::int32_t id = FLeafOf[static_cast<std::size_t>(index)]; id >= 0;
       id = FNodes[static_cast<std::size_t>(id)].Parent)
    --FNodes[static_cast<std::size_t>(id)].Alive;
}
