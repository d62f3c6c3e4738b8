#pragma once
// DXF drawings (ASCII, read by dxflib): one lines level per layer and colour,
// an area level per layer and colour for its fills (HATCH, SOLID, TRACE),
// and one area level per layer, not printed, for what its closed contours
// enclose, for users who want the parts engraved rather than cut.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ReadResult.h"

// Reads the file; errors are TReadError with the message the user sees.
TReadResult LoadDxfFile(const std::string &fileName, const TReadOptions &options);
// The same from the bytes of a file.
TReadResult LoadDxf(std::string_view bytes, const TReadOptions &options);

// Millimetres per drawing unit for a $INSUNITS value; 0 for a value that
// names no length (0, unitless, among them).
double DxfUnitMillimetres(int insunits);

// Limits on what a file from anywhere may ask of the reader.
// Blocks inside blocks deeper than this are left out (with a message).
constexpr int MaxDxfInsertDepth = 32;
// Entities that drawing all inserts and arrays visits (each insert counts
// itself too); beyond it the file is refused before anything is drawn.
constexpr std::int64_t MaxDxfPlacedEntities = 4000000;
// Points of all flattened entities together.
constexpr std::size_t MaxDxfPoints = std::size_t(1) << 23;
// Width and height of the drawing in internal units, as for SVG drawings:
// the size fits 32 bits and offsets stay far inside Clipper's range.
constexpr double MaxDxfExtent = 1e9;
// Spline degrees beyond this are left out: CAD programs write 2 to 5.
constexpr int MaxDxfSplineDegree = 25;
// Characters of all TEXT and MTEXT entities together.
constexpr std::size_t MaxDxfTextCharacters = 200000;
// Bytes of a DXF file.
constexpr std::int64_t MaxDxfFileSize = std::int64_t(512) << 20;

// Heights that file intake turns into burn defaults: lines are cut (3 passes
// at 1.1 mm/s), areas engraved (one pass at 5 mm/s).
constexpr std::int32_t DxfLinesHeight = 30;
constexpr std::int32_t DxfAreaHeight = 4;
