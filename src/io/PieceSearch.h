#pragma once
// Finding the next piece of the G-code walk: the remaining end nearest to the
// head, the earliest on ties. A k-d tree answers what the plain scan answers,
// without scanning every piece for every piece.

#include <cstdint>
#include <vector>

#include "core/Geometry.h"

// Squared distance as the walk measures it: a 64-bit float.
inline double WalkDistance(const TIntPoint &a, const TIntPoint &b) {
  const double dx = static_cast<double>(a.X - b.X);
  const double dy = static_cast<double>(a.Y - b.Y);
  return dx * dx + dy * dy;
}

// One piece of the walk, burnt from either end. Ends are numbered 2k (A) and
// 2k + 1 (B) for the piece at k; ties go to the lower number.
struct TWalkPiece {
  TIntPoint A, B;
  std::int32_t Tag = 0; // the caller's: the level the piece belongs to
  // The piece's place in the cut: the index sets it before it reorders the
  // pieces, so ties still go to the piece cut first.
  std::int32_t Number = 0;
};

// What a search found: the piece with all the walk needs of it, so the walk
// never goes back to the piece list in the order the pieces were cut.
struct TPieceHit {
  std::int64_t End = -1; // -1 when no piece remains
  TIntPoint Near, Far;   // the end found and the piece's other end
  std::int32_t Tag = 0;
  std::int32_t Slot = -1; // where the search keeps the piece
};

// The reference: a scan over the remaining ends in their order that stops at
// the first end at distance 0.
class TLinearPieceSearch {
public:
  explicit TLinearPieceSearch(std::vector<TWalkPiece> pieces);
  TPieceHit Nearest(const TIntPoint &from) const;
  // Takes the whole piece out.
  void Remove(const TPieceHit &hit);

private:
  std::vector<TWalkPiece> FPieces;
  std::vector<std::int64_t> FRemaining;
};

class TPieceIndex {
public:
  // Takes the pieces over (a moved-in list is reordered in place, not copied).
  explicit TPieceIndex(std::vector<TWalkPiece> pieces);
  TPieceHit Nearest(const TIntPoint &from) const;
  void Remove(const TPieceHit &hit);

private:
  // Boxes hold only the ends still in the walk. The cell is the region the
  // splits above gave the node: every piece below it has its middle there,
  // every other piece has its middle on the cell's edge or outside.
  struct TNode {
    ClipperLib::cInt MinX, MinY, MaxX, MaxY;
    ClipperLib::cInt CellMinX, CellMinY, CellMaxX, CellMaxY;
    // Range in FItems; a leaf keeps its remaining pieces in front, so the
    // range of a leaf shrinks as pieces leave it and a search never reads
    // a piece that is gone.
    std::int32_t Begin, End;
    std::int32_t Low, High;  // children, -1 for a leaf
    std::int32_t Parent;
  };
  struct TBest;
  struct TCell {
    ClipperLib::cInt MinX, MinY, MaxX, MaxY;
  };
  std::int32_t Build(std::int32_t begin, std::int32_t end, std::int32_t parent, int depth,
                     const TCell &cell);
  void Search(std::int32_t node, const TIntPoint &from, TBest &best) const;
  // Whether no piece outside the node can be as near as distance.
  bool Encloses(const TNode &node, const TIntPoint &from, double distance) const;
  // Recomputes a node's box from its pieces (leaf) or children.
  bool Refit(TNode &node);

  // Pieces in tree order, so a leaf's pieces lie together in memory and the
  // walk, which moves through space, moves through memory the same way.
  std::vector<TWalkPiece> FItems;
  std::vector<TNode> FNodes;
  std::vector<std::int32_t> FLeafOf; // by slot in FItems
  // The leaf of the piece taken last: the next one is usually close by, so
  // the search starts there and climbs rather than coming down from the root.
  std::int32_t FStart = 0;
  // How far an end lies from its piece's middle at most, along either axis.
  ClipperLib::cInt FReach = 0;
};
