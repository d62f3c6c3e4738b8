#pragma once
// A first pass over the group pairs of a DXF file, before dxflib reads it:
// refuses what dxflib cannot read safely (binary files, broken pairs, counts
// that would size huge buffers) and collects what dxflib does not hand over.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Counts a file may declare for the lists dxflib allocates up front
// (polyline vertices, spline knots and points, hatch loops and edges).
// Real drawings stay far below; beyond this the file is refused.
constexpr std::int64_t MaxDxfDeclaredCount = 1000000;

// A DIMENSION entity: dxflib reports its measurements but not the block that
// holds its drawn geometry, which is what a laser burns.
struct TDxfDimension {
  std::string OwnerBlock; // empty in the drawing itself
  std::string Block;
  std::string Layer = "0";
  int Color = 256;
  int Color24 = -1;
};

// Entities of one kind the reader does not draw in one block (or in the
// drawing itself), with where the first one is. Only those of blocks that
// are inserted are told about: a library of unused blocks is not drawn anyway.
struct TDxfLeftOut {
  std::string Kind;
  std::string Block; // empty in the drawing itself
  int Line = 0;
  int Count = 0;
};

struct TDxfScan {
  std::vector<TDxfDimension> Dimensions;
  std::vector<TDxfLeftOut> LeftOut;
  // Entities of the drawing itself (blocks and the parts of polylines and
  // inserts not counted), for the reader to make room for them at once.
  std::size_t DrawingEntities = 0;
  // Polylines with a constant or per-vertex width (only centre lines are
  // drawn), by the block that holds them, empty for the drawing itself.
  std::map<std::string, int> WidePolylines;
  // The file ends with the EOF marker (a file cut short does not).
  bool Complete = false;
};

// Throws TReadError with the message the user sees.
TDxfScan ScanDxf(std::string_view bytes);
