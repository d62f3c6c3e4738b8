#pragma once
// Small STL models built in code: triangles, boxes and stepped reliefs, written
// as binary or ASCII files. Shared by the STL tests, benchmark and fuzz seeds.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace StlModels {

struct TVertex {
  float X = 0, Y = 0, Z = 0;
};
using TTriangle = std::array<TVertex, 3>;
using TMesh = std::vector<TTriangle>;

void AppendLittleEndian(std::string &bytes, std::uint32_t value, int size = 4);

void AppendFloat(std::string &bytes, float value);

// An 80-byte header (the text padded with spaces), the facet count (the true
// one unless a lie is asked for) and 50 bytes per facet.
std::string BinaryStl(const TMesh &mesh, std::string_view header = "brennix test",
                      std::optional<std::uint32_t> count = std::nullopt);

std::string FloatText(float value);

// name may be empty (no name) or several words.
std::string AsciiStl(const TMesh &mesh, std::string_view name = "relief");

// A horizontal rectangle as two triangles.
void AddRectangle(TMesh &mesh, float x0, float y0, float x1, float y1, float z);

// A vertical wall from (x0, y0) to (x1, y1) between heights z0 and z1.
void AddWall(TMesh &mesh, float x0, float y0, float x1, float y1, float z0, float z1);

// A closed box; boxes standing on each other put two faces at the same height.
void AddBox(TMesh &mesh, float x0, float y0, float z0, float x1, float y1, float z1);

// A stepped relief as one closed solid: cell (row, column) spans
// xs[column]..xs[column + 1] by ys[row]..ys[row + 1] and rises to
// heights[row][column] millimetres; a height of 0 or less leaves the cell
// empty. Every cell gets a top and a bottom face, walls are built where
// neighbouring heights differ.
TMesh SteppedRelief(const std::vector<float> &xs, const std::vector<float> &ys,
                    const std::vector<std::vector<float>> &heights);

std::vector<float> Steps(int count, float size);

// The heights of the table in millimetres, so terraces land on table steps.
float TableHeight(int index);

// Rolling hills cut into terraces: bumps × bumps hills over a square of
// cells × cells cells, each hill rising through the given number of
// terraces. Every terrace of every hill is a ring of its own, so outlines
// number in the hundreds for a few hills and 50 heights.
TMesh TerraceRelief(int cells, float cellSize, int terraces, int bumps);

// Stepped cones: bumps × bumps round hills over a square of cells × cells
// cells, each climbing through the given number of terraces from a base
// plate. Each terrace is one clean ring, so a hill gives two outlines per
// terrace.
TMesh ConeRelief(int cells, float cellSize, int terraces, int bumps);

// Stepped square pyramids: count × count of them side by side, each of the
// given number of steps one cell wide. Every step is a square ring, so a
// pyramid gives two four-cornered outlines per step.
TMesh PyramidRelief(int steps, float cellSize, int count);

// The relief committed as examples/relief.stl: four hills of three terraces
// on a base plate, 24 mm square.
TMesh ExampleRelief();

} // namespace StlModels
