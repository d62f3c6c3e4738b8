#pragma once
// Merging shapes into a Gerber image: single-precision transforms, the
// one-shape-at-a-time merge and a batched merge that gives the same region.

#include <cstdint>
#include <utility>
#include <vector>

#include "core/Geometry.h"
#include "core/Matrix.h"
#include "core/ReadResult.h"

// Each point through the matrix in single precision, rounded half to even.
TPaths TransformPaths(const TPaths &paths, const TMatrix &matrix);

// Merges shape into target: united when dark, cut out otherwise; both filled
// even-odd. The shape is first rotated about the origin by rotation degrees.
void AddShape(TPaths &target, const TPaths &shape, bool dark, double rotation);

// The file asked for more work than a board can sensibly need.
class TGerberLimitError : public TReadError {
public:
  using TReadError::TReadError;
};

// Counts generated points (and other units of work) for one parse, so a
// small file cannot make the reader run for hours or exhaust memory.
class TWorkBudget {
public:
  explicit TWorkBudget(std::int64_t limit) : FLeft(limit), FLimit(limit) {}
  // Throws TGerberLimitError once the limit is passed.
  void Charge(std::int64_t units);

private:
  std::int64_t FLeft;
  std::int64_t FLimit;
};

enum TMergeMode : std::uint8_t {
  // Every shape merged into the image by its own boolean operation.
  mmOneByOne,
  // Runs of shapes of one polarity united in a balanced tree first, then
  // merged into the image by one operation: the same region, far fewer
  // operations on the large image.
  mmBatched
};

// Collects shapes in drawing order and merges them into one image.
class TShapeMerger {
public:
  explicit TShapeMerger(TMergeMode mode) : FMode(mode) {}
  void Add(TPaths shape, bool dark);
  // The image so far (flushes pending shapes).
  TPaths &Image();

private:
  void Flush();

  TMergeMode FMode;
  TPaths FImage;
  bool FRunDark = true;
  // Partial unions with their tree level, like the digits of a binary counter.
  std::vector<std::pair<TPaths, int>> FStack;
};
