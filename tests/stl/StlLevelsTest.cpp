#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "StlModels.h"
#include "core/PathUtils.h"
#include "stl/StlLevels.h"

using namespace StlModels;

namespace {

// What the level grid shows of a level.
struct TShown {
  TLevelKind Kind;
  std::int32_t Height;
  std::string Name;
  friend bool operator==(const TShown &, const TShown &) = default;
};

void PrintTo(const TShown &shown, std::ostream *out) {
  *out << (shown.Kind == lkArea ? "area " : "lines ") << shown.Height << " " << shown.Name;
}

using TLevelList = std::vector<std::unique_ptr<TLevel>>;

TLevelList Build(const TMesh &mesh, bool reference = false, std::int32_t focus = 20) {
  TReadOptions readOptions;
  const TStlModel model = ReadStlModel(BinaryStl(mesh), readOptions);
  TStlLevelOptions options;
  options.Focus = focus;
  return reference ? BuildStlLevelsReference(model.Facets, options)
                   : BuildStlLevels(model.Facets, options);
}

std::vector<TShown> Shown(const TLevelList &levels) {
  std::vector<TShown> shown;
  for (const auto &level : levels)
    shown.push_back({level->Kind(), level->Height(), level->Name()});
  return shown;
}

double Area(const TLevel &level) {
  double area = 0;
  for (const auto &set : *level.Input())
    area += PathsArea(set);
  return area;
}

std::int64_t Length(const TLevel &level) {
  std::int64_t length = 0;
  for (const auto &set : *level.Input())
    length += PathsLength(set, true, 0);
  return length;
}

const std::string Area10 = "1.0 mm \u25A6";
const std::string Area20 = "2.0 mm \u25A6";
const std::string Lines10 = "1.0 mm \u25A2";
const std::string Lines07 = "0.7 mm \u25A2";

// A 30 mm square plate 1 mm thick with a 10 mm block reaching 2 mm.
TMesh PlateAndBlock() {
  return SteppedRelief(Steps(3, 10), Steps(3, 10), {{1, 1, 1}, {1, 2, 1}, {1, 1, 1}});
}

} // namespace

TEST(StlContours, PlateAndBlock) {
  TMesh boxes;
  AddBox(boxes, 0, 0, 0, 30, 30, 1);
  AddBox(boxes, 10, 10, 1, 20, 20, 2);
  // One solid, or a block standing on a plate whose faces touch at 1 mm.
  for (const TMesh &mesh : {PlateAndBlock(), boxes}) {
    const TLevelList levels = Build(mesh);
    ASSERT_EQ(Shown(levels), (std::vector<TShown>{{lkArea, 17, Area20},
                                                  {lkArea, 10, Area10},
                                                  {lkLines, 10, Lines10},
                                                  {lkLines, 7, Lines07}}));
    const std::uint32_t colors[] = {0xFFEF3030, 0xFFEFEF30, 0xFF30EF30, 0xFF30EFEF};
    for (std::size_t i = 0; i < levels.size(); ++i)
      EXPECT_EQ(levels[i]->Color(), colors[i]);
    // Areas in square internal units (100 per mm), lengths in units.
    EXPECT_NEAR(Area(*levels[0]), 100e4, 100e4 * 0.002);
    ASSERT_EQ(levels[1]->Input()->size(), 1u);
    EXPECT_EQ(levels[1]->Input()->front().size(), 2u) << "a ring: outline and hole";
    EXPECT_NEAR(Area(*levels[1]), 800e4, 800e4 * 0.002);
    EXPECT_NEAR(static_cast<double>(Length(*levels[2])), 12000, 12000 * 0.002);
    EXPECT_NEAR(static_cast<double>(Length(*levels[3])), 4000, 4000 * 0.002);
  }
}

// Each wall is named after the table height of its height difference in
// index steps, not after the difference in millimetres.
TEST(StlContours, WallsFindTheHighestLowerOutline) {
  const TMesh pyramid = SteppedRelief(Steps(5, 6), Steps(5, 6),
                                      {{1, 1, 1, 1, 1},
                                       {1, 1.5f, 1.5f, 1.5f, 1},
                                       {1, 1.5f, 2, 1.5f, 1},
                                       {1, 1.5f, 1.5f, 1.5f, 1},
                                       {1, 1, 1, 1, 1}});
  EXPECT_EQ(Shown(Build(pyramid)), (std::vector<TShown>{{lkArea, 17, Area20},
                                                        {lkArea, 14, "1.5 mm \u25A6"},
                                                        {lkArea, 10, Area10},
                                                        {lkLines, 10, Lines10},
                                                        {lkLines, 4, "0.4 mm \u25A2"},
                                                        {lkLines, 3, "0.3 mm \u25A2"}}));
}

TEST(StlContours, SmallFacesAndShortPiecesVanish) {
  // A 0.1 mm pillar reaching 2 mm: its top is smaller than the spot.
  const TMesh pillar =
      SteppedRelief({0, 10, 10.1f, 30}, {0, 10, 10.1f, 30}, {{1, 1, 1}, {1, 2, 1}, {1, 1, 1}});
  EXPECT_EQ(Shown(Build(pillar)),
            (std::vector<TShown>{{lkArea, 10, Area10}, {lkLines, 10, Lines10}}));
  // A notch 0.25 mm wide and 0.15 mm deep in the plate's edge, its floor at
  // 0.5 mm too small to show. The bottom outline keeps only 0.05 mm across
  // the notch's mouth outside the plate outline: too short to burn, so the
  // bottom outline goes away.
  const TMesh notch =
      SteppedRelief({0, 10, 10.25f, 30}, {0, 29.85f, 30}, {{1, 1, 1}, {1, 0.5f, 1}});
  const TLevelList levels = Build(notch);
  EXPECT_EQ(Shown(levels), (std::vector<TShown>{{lkArea, 10, Area10}, {lkLines, 10, Lines10}}));
  for (const auto &level : levels)
    for (const auto &set : *level->Input())
      for (const auto &path : set)
        EXPECT_GT(PathLength(path, true), 20);
}

TEST(StlContours, IslandsAtOneHeightShareLevels) {
  const TMesh twoBlocks = SteppedRelief(Steps(5, 10), Steps(3, 10),
                                        {{1, 1, 1, 1, 1}, {1, 2, 1, 2, 1}, {1, 1, 1, 1, 1}});
  const TLevelList levels = Build(twoBlocks);
  ASSERT_EQ(Shown(levels), (std::vector<TShown>{{lkArea, 17, Area20},
                                                {lkArea, 10, Area10},
                                                {lkLines, 10, Lines10},
                                                {lkLines, 7, Lines07}}));
  EXPECT_EQ(levels[0]->Input()->size(), 2u) << "two islands";
  EXPECT_EQ(levels[1]->Input()->front().size(), 3u) << "a plate with two holes";
  ASSERT_EQ(levels[3]->Input()->size(), 1u);
  EXPECT_EQ(levels[3]->Input()->front().size(), 2u) << "both block outlines";

  // A ring wall with the plate showing again inside it: the inner piece is
  // an island of its own, listed before the island around it.
  const TMesh ring = SteppedRelief(
      Steps(5, 6), Steps(5, 6),
      {{1, 1, 1, 1, 1}, {1, 2, 2, 2, 1}, {1, 2, 1, 2, 1}, {1, 2, 2, 2, 1}, {1, 1, 1, 1, 1}});
  const TLevelList ringLevels = Build(ring);
  ASSERT_GE(ringLevels.size(), 2u);
  const auto &plate = *ringLevels[1];
  ASSERT_EQ(plate.Name(), Area10);
  ASSERT_EQ(plate.Input()->size(), 2u);
  EXPECT_EQ(plate.Input()->at(0).size(), 1u);
  EXPECT_NEAR(PathsArea(plate.Input()->at(0)), 36e4, 36e4 * 0.002);
  EXPECT_EQ(plate.Input()->at(1).size(), 2u);
}

TEST(StlContours, OneHeightGivesOneAreaAndOneLinesLevel) {
  TMesh box;
  AddBox(box, 0, 0, 0, 20, 10, 1);
  TMesh sheet;
  AddRectangle(sheet, 0, 0, 20, 10, 0);
  AddRectangle(sheet, 25, 0, 30, 10, 0);
  EXPECT_EQ(Shown(Build(box)), (std::vector<TShown>{{lkArea, 10, Area10}, {lkLines, 10, Lines10}}));
  EXPECT_EQ(Shown(Build(sheet)),
            (std::vector<TShown>{{lkArea, 0, "0.0 mm \u25A6"}, {lkLines, 0, "0.0 mm \u25A2"}}));
}

// Where two higher faces overlap (the top and the underside of an
// overhanging cap), the face below them is still hidden.
TEST(StlContours, OverhangsHideWhatIsBelowThem) {
  TMesh mushroom;
  AddBox(mushroom, 0, 0, 0, 30, 30, 1);
  AddBox(mushroom, 13, 13, 1, 17, 17, 3);
  AddBox(mushroom, 5, 5, 3, 25, 25, 4);
  std::vector<std::string> areas;
  for (const auto &level : Build(mushroom))
    if (level->Kind() == lkArea) {
      areas.push_back(level->Name());
      if (level->Name() == Area10) {
        EXPECT_NEAR(Area(*level), 500e4, 500e4 * 0.002);
      }
    }
  // The cap's underside at 3 mm is covered by its top.
  EXPECT_EQ(areas, (std::vector<std::string>{"4.0 mm \u25A6", Area10}));
}

// The top of a block with the letter M cut through it, as a CAD program
// triangulated it. Uniting these triangles, the polygon library returned
// the block's outline turned like a hole, and the offsetting that closes
// gaps then filled the letter in.
TEST(StlContours, FaceAroundALetterKeepsItsHole) {
  constexpr float triangles[][3][2] = {
      {{7.56607f, 8.68285f}, {1.82231f, -6.59592f}, {7.56607f, -10.8762f}},
      {{10.5051f, -10.8762f}, {15, 15}, {10.5051f, 11.3983f}},
      {{15, 15}, {6.01463f, 11.3983f}, {10.5051f, 11.3983f}},
      {{6.01463f, 11.3983f}, {-5.38333f, 11.3983f}, {0.300568f, -3.761f}},
      {{15, 15}, {-5.38333f, 11.3983f}, {6.01463f, 11.3983f}},
      {{-15, 15}, {-5.38333f, 11.3983f}, {15, 15}},
      {{-9.87398f, 11.3983f}, {-15, 15}, {-9.87398f, -10.8762f}},
      {{-5.38333f, 11.3983f}, {-15, 15}, {-9.87398f, 11.3983f}},
      {{15, 15}, {10.5051f, -10.8762f}, {15, -15}},
      {{7.56607f, -10.8762f}, {15, -15}, {10.5051f, -10.8762f}},
      {{-1.20619f, -6.59592f}, {7.56607f, -10.8762f}, {1.82231f, -6.59592f}},
      {{-6.94974f, -10.8762f}, {7.56607f, -10.8762f}, {-1.20619f, -6.59592f}},
      {{-6.94974f, -10.8762f}, {-1.20619f, -6.59592f}, {-6.94974f, 8.68285f}},
      {{7.56607f, -10.8762f}, {-6.94974f, -10.8762f}, {15, -15}},
      {{-15, -15}, {-6.94974f, -10.8762f}, {-9.87398f, -10.8762f}},
      {{-6.94974f, -10.8762f}, {-15, -15}, {15, -15}},
      {{-15, -15}, {-9.87398f, -10.8762f}, {-15, 15}},
  };
  TMesh mesh;
  for (const auto &t : triangles)
    mesh.push_back(
        {TVertex{t[0][0], t[0][1], 0}, TVertex{t[1][0], t[1][1], 0}, TVertex{t[2][0], t[2][1], 0}});
  const TLevelList levels = Build(mesh);
  ASSERT_EQ(Shown(levels),
            (std::vector<TShown>{{lkArea, 0, "0.0 mm \u25A6"}, {lkLines, 0, "0.0 mm \u25A2"}}));
  ASSERT_EQ(levels[0]->Input()->size(), 1u);
  const TPaths &island = levels[0]->Input()->front();
  ASSERT_EQ(island.size(), 2u) << "the block's outline and the letter";
  EXPECT_GT(ClipperLib::Area(island[0]), 0);
  EXPECT_LT(ClipperLib::Area(island[1]), 0);
  EXPECT_NEAR(PathsArea(island), 682.2e4, 682.2e4 * 0.002);
  // Both outlines are drawn, the letter's too.
  EXPECT_EQ(levels[1]->Input()->front().size(), 2u);
}

TEST(StlContours, ProgressStaysWithinItsMaximum) {
  TReadOptions readOptions;
  const TStlModel model = ReadStlModel(BinaryStl(PlateAndBlock()), readOptions);
  std::vector<int> maxima;
  int steps = 0;
  TStlLevelOptions options;
  options.SetProgressMax = [&](int value) { maxima.push_back(value); };
  options.Progress = [&] { ++steps; };
  BuildStlLevels(model.Facets, options);
  // Three area levels and four outlines before the outlines are refined.
  EXPECT_EQ(maxima, std::vector<int>{2 * 7 + 3});
  EXPECT_GE(steps, 7);
  EXPECT_LE(steps, maxima.front());
  maxima.clear();
  steps = 0;
  BuildStlLevels({}, options);
  EXPECT_LE(steps, maxima.empty() ? 0 : maxima.front());
}

// The indexed outline search must give exactly what clipping against every
// outline gives.
TEST(StlContours, IndexedSearchMatchesPlainSearch) {
  // Cells of random heights: outlines everywhere, touching each other.
  std::vector<std::vector<float>> random(16, std::vector<float>(16));
  std::uint32_t seed = 12345;
  for (auto &row : random)
    for (auto &h : row) {
      seed = seed * 1664525u + 1013904223u;
      h = TableHeight(1 + static_cast<int>((seed >> 16) % 12));
    }
  struct TCase {
    const char *Name;
    TMesh Mesh;
    std::int32_t Focus;
  };
  const TCase cases[] = {
      {"plate and block", PlateAndBlock(), 20},
      {"terraces", TerraceRelief(48, 0.5f, 10, 3), 20},
      {"fine terraces", TerraceRelief(40, 0.3f, 8, 2), 8},
      {"random cells", SteppedRelief(Steps(16, 1), Steps(16, 1), random), 20},
      {"random cells, wide spot", SteppedRelief(Steps(16, 1), Steps(16, 1), random), 90},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    const TLevelList indexed = Build(c.Mesh, false, c.Focus);
    const TLevelList plain = Build(c.Mesh, true, c.Focus);
    EXPECT_GT(indexed.size(), 3u);
    ASSERT_EQ(Shown(indexed), Shown(plain));
    for (std::size_t i = 0; i < indexed.size(); ++i)
      EXPECT_EQ(*indexed[i]->Input(), *plain[i]->Input()) << indexed[i]->Name();
    // Hatching relies on islands turning the way the library's booleans
    // return them: the outline counter-clockwise, its holes clockwise.
    for (const auto &level : indexed) {
      if (level->Kind() != lkArea)
        continue;
      for (const auto &island : *level->Input())
        for (std::size_t k = 0; k < island.size(); ++k)
          EXPECT_EQ(ClipperLib::Orientation(island[k]), k == 0) << level->Name();
    }
  }
}

// Faces more than 2^32 units apart, beyond what the outline search packs into
// one key per point: the far copy of the plate and block adds the same
// levels again, each as large as the near one's.
TEST(StlContours, FarApartFacesKeepTheirOutlines) {
  TReadOptions readOptions;
  const TStlModel model = ReadStlModel(BinaryStl(PlateAndBlock()), readOptions);
  std::vector<THorizontalFacet> both = model.Facets;
  for (THorizontalFacet facet : model.Facets) {
    for (auto &corner : facet.Corners)
      corner.X += std::int64_t{1} << 33;
    both.push_back(facet);
  }
  TStlLevelOptions options;
  const TLevelList near = BuildStlLevels(model.Facets, options);
  const TLevelList twice = BuildStlLevels(both, options);
  ASSERT_EQ(Shown(twice), Shown(near));
  for (std::size_t i = 0; i < near.size(); ++i) {
    if (near[i]->Kind() == lkArea)
      EXPECT_NEAR(Area(*twice[i]), 2 * Area(*near[i]), 1e-6 * Area(*near[i])) << near[i]->Name();
    else
      EXPECT_EQ(Length(*twice[i]), 2 * Length(*near[i])) << near[i]->Name();
  }
}
