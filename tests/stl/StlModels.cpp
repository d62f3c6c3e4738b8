#include "StlModels.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace StlModels {

void AppendLittleEndian(std::string &bytes, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i)
    bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void AppendFloat(std::string &bytes, float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  AppendLittleEndian(bytes, bits);
}

std::string BinaryStl(const TMesh &mesh, std::string_view header,
                      std::optional<std::uint32_t> count) {
  std::string bytes(header.substr(0, 80));
  bytes.resize(80, ' ');
  AppendLittleEndian(bytes, count.value_or(static_cast<std::uint32_t>(mesh.size())));
  for (const auto &t : mesh) {
    for (int i = 0; i < 3; ++i)
      AppendFloat(bytes, 0);
    for (const auto &v : t) {
      AppendFloat(bytes, v.X);
      AppendFloat(bytes, v.Y);
      AppendFloat(bytes, v.Z);
    }
    AppendLittleEndian(bytes, 0, 2);
  }
  return bytes;
}

std::string FloatText(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string AsciiStl(const TMesh &mesh, std::string_view name) {
  std::string text = "solid";
  if (!name.empty())
    text += " " + std::string(name);
  text += "\n";
  for (const auto &t : mesh) {
    text += "  facet normal 0 0 1\n    outer loop\n";
    for (const auto &v : t)
      text += "      vertex " + FloatText(v.X) + " " + FloatText(v.Y) + " " + FloatText(v.Z) + "\n";
    text += "    endloop\n  endfacet\n";
  }
  text += "endsolid";
  if (!name.empty())
    text += " " + std::string(name);
  text += "\n";
  return text;
}

void AddRectangle(TMesh &mesh, float x0, float y0, float x1, float y1, float z) {
  mesh.push_back({TVertex{x0, y0, z}, TVertex{x1, y0, z}, TVertex{x1, y1, z}});
  mesh.push_back({TVertex{x0, y0, z}, TVertex{x1, y1, z}, TVertex{x0, y1, z}});
}

void AddWall(TMesh &mesh, float x0, float y0, float x1, float y1, float z0, float z1) {
  mesh.push_back({TVertex{x0, y0, z0}, TVertex{x1, y1, z0}, TVertex{x1, y1, z1}});
  mesh.push_back({TVertex{x0, y0, z0}, TVertex{x1, y1, z1}, TVertex{x0, y0, z1}});
}

void AddBox(TMesh &mesh, float x0, float y0, float z0, float x1, float y1, float z1) {
  AddRectangle(mesh, x0, y0, x1, y1, z0);
  AddRectangle(mesh, x0, y0, x1, y1, z1);
  AddWall(mesh, x0, y0, x1, y0, z0, z1);
  AddWall(mesh, x1, y0, x1, y1, z0, z1);
  AddWall(mesh, x1, y1, x0, y1, z0, z1);
  AddWall(mesh, x0, y1, x0, y0, z0, z1);
}

TMesh SteppedRelief(const std::vector<float> &xs, const std::vector<float> &ys,
                    const std::vector<std::vector<float>> &heights) {
  TMesh mesh;
  const std::size_t rows = ys.size() - 1;
  const std::size_t columns = xs.size() - 1;
  auto height = [&](std::ptrdiff_t row, std::ptrdiff_t column) -> float {
    if (row < 0 || column < 0 || row >= static_cast<std::ptrdiff_t>(rows) ||
        column >= static_cast<std::ptrdiff_t>(columns))
      return 0;
    return std::fmax(0.0f,
                     heights[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]);
  };
  for (std::size_t row = 0; row < rows; ++row)
    for (std::size_t column = 0; column < columns; ++column) {
      const float h = height(static_cast<std::ptrdiff_t>(row), static_cast<std::ptrdiff_t>(column));
      if (h <= 0)
        continue;
      const float x0 = xs[column], x1 = xs[column + 1], y0 = ys[row], y1 = ys[row + 1];
      AddRectangle(mesh, x0, y0, x1, y1, h);
      AddRectangle(mesh, x0, y0, x1, y1, 0);
      const auto r = static_cast<std::ptrdiff_t>(row);
      const auto c = static_cast<std::ptrdiff_t>(column);
      // Each cell builds the part of a wall above its lower neighbour.
      if (const float n = height(r - 1, c); n < h)
        AddWall(mesh, x0, y0, x1, y0, n, h);
      if (const float n = height(r + 1, c); n < h)
        AddWall(mesh, x1, y1, x0, y1, n, h);
      if (const float n = height(r, c - 1); n < h)
        AddWall(mesh, x0, y1, x0, y0, n, h);
      if (const float n = height(r, c + 1); n < h)
        AddWall(mesh, x1, y0, x1, y1, n, h);
    }
  return mesh;
}

std::vector<float> Steps(int count, float size) {
  std::vector<float> edges;
  for (int i = 0; i <= count; ++i)
    edges.push_back(static_cast<float>(i) * size);
  return edges;
}

float TableHeight(int index) {
  static constexpr int Table[] = {0,    10,   20,   30,   40,   50,   60,   70,   80,   90,
                                  100,  110,  120,  130,  150,  160,  180,  200,  220,  250,
                                  270,  300,  330,  370,  400,  450,  500,  550,  600,  650,
                                  750,  800,  900,  1000, 1100, 1200, 1300, 1500, 1600, 1800,
                                  2000, 2200, 2500, 2700, 3000, 3300, 3700, 4000, 4500, 5000};
  return static_cast<float>(Table[index]) / 100.0f;
}

TMesh TerraceRelief(int cells, float cellSize, int terraces, int bumps) {
  std::vector<std::vector<float>> heights(static_cast<std::size_t>(cells),
                                          std::vector<float>(static_cast<std::size_t>(cells)));
  const double pi = 3.14159265358979323846;
  for (int row = 0; row < cells; ++row)
    for (int column = 0; column < cells; ++column) {
      const double u = (column + 0.5) / cells * bumps * pi;
      const double v = (row + 0.5) / cells * bumps * pi;
      const double s = std::fabs(std::sin(u) * std::sin(v));
      const int step = std::min(terraces - 1, static_cast<int>(s * terraces));
      // Terrace 0 is the base plate, one table step up from the bottom.
      heights[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] =
          TableHeight(step + 1);
    }
  return SteppedRelief(Steps(cells, cellSize), Steps(cells, cellSize), heights);
}

TMesh ConeRelief(int cells, float cellSize, int terraces, int bumps) {
  std::vector<std::vector<float>> heights(static_cast<std::size_t>(cells),
                                          std::vector<float>(static_cast<std::size_t>(cells)));
  const double spacing = static_cast<double>(cells) / bumps;
  for (int row = 0; row < cells; ++row)
    for (int column = 0; column < cells; ++column) {
      const double u = std::fmod(column + 0.5, spacing) - spacing / 2;
      const double v = std::fmod(row + 0.5, spacing) - spacing / 2;
      const double rise = 1 - std::sqrt(u * u + v * v) / (spacing / 2);
      const int step = std::clamp(static_cast<int>(rise * terraces), 0, terraces - 1);
      heights[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] =
          TableHeight(step + 1);
    }
  return SteppedRelief(Steps(cells, cellSize), Steps(cells, cellSize), heights);
}

TMesh PyramidRelief(int steps, float cellSize, int count) {
  const int side = 2 * steps;
  const int cells = count * side;
  std::vector<std::vector<float>> heights(static_cast<std::size_t>(cells),
                                          std::vector<float>(static_cast<std::size_t>(cells)));
  for (int row = 0; row < cells; ++row)
    for (int column = 0; column < cells; ++column) {
      const int r = row % side, c = column % side;
      const int step = std::min({r, c, side - 1 - r, side - 1 - c});
      heights[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] =
          TableHeight(step + 1);
    }
  return SteppedRelief(Steps(cells, cellSize), Steps(cells, cellSize), heights);
}

TMesh ExampleRelief() { return TerraceRelief(16, 1.5f, 4, 2); }

} // namespace StlModels
