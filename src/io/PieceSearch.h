#pragma once
// Finding the next piece of the G-code walk: the remaining entry nearest to
// the head, the earliest on ties. A k-d tree answers what the plain scan
// answers, without scanning every piece for every piece.

#include <cstdint>
#include <vector>

#include "core/Geometry.h"

// Squared distance as the walk measures it: a 64-bit float.
inline double WalkDistance(const TIntPoint &a, const TIntPoint &b) {
  const double dx = static_cast<double>(a.X - b.X);
  const double dy = static_cast<double>(a.Y - b.Y);
  return dx * dx + dy * dy;
}

// The reference: a scan from the first remaining entry that stops at the
// first entry at distance 0.
class TLinearPieceSearch {
public:
  explicit TLinearPieceSearch(const std::vector<TIntPoint> &points);
  // Index of the nearest remaining entry, or -1 when none remains.
  std::int64_t Nearest(const TIntPoint &from) const;
  void Remove(std::int64_t index);

private:
  const std::vector<TIntPoint> &FPoints;
  std::vector<std::int64_t> FRemaining;
};

class TPieceIndex {
public:
  explicit TPieceIndex(const std::vector<TIntPoint> &points);
  std::int64_t Nearest(const TIntPoint &from) const;
  void Remove(std::int64_t index);

private:
  // Entries in tree order, so a leaf's entries lie together in memory.
  struct TItem {
    ClipperLib::cInt X, Y;
    std::int32_t Index;
    bool Alive;
  };
  // Boxes hold only what is still in the walk.
  struct TNode {
    ClipperLib::cInt MinX, MinY, MaxX, MaxY;
    std::int32_t Begin, End;  // range in FItems
    std::int32_t Low, High;   // children, -1 for a leaf
    std::int32_t Parent;
  };
  std::int32_t Build(std::int32_t begin, std::int32_t end, std::int32_t parent, int depth);
  void Search(std::int32_t node, const TIntPoint &from, double &bestDistance,
              std::int64_t &best) const;
  // Recomputes a node's box from its entries (leaf) or children.
  bool Refit(TNode &node);

  std::vector<TItem> FItems;
  std::vector<TNode> FNodes;
  std::vector<std::int32_t> FLeafOf, FItemOf;
};
