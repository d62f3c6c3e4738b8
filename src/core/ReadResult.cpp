#include "ReadResult.h"

#include "Bounds.h"

ClipperLib::IntRect LevelsInputBox(const TReadResult &result) {
  ClipperLib::IntRect box = EmptyBox;
  for (const auto &level : result.Levels)
    for (const auto &set : *level->Input())
      box = UniteBoxes(box, PointsBox(set));
  return box;
}

void MoveLevelsInput(TReadResult &result, TIntPoint by) {
  if (by.X == 0 && by.Y == 0)
    return;
  for (const auto &level : result.Levels)
    for (auto &set : *level->Input())
      for (auto &path : set)
        for (auto &p : path) {
          p.X -= by.X;
          p.Y -= by.Y;
        }
}
