#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "StlModels.h"
#include "stl/StlReader.h"

using namespace StlModels;

namespace {

// What the user sees of one read: the message boxes, the error, the model.
struct TOutcome {
  std::vector<std::string> Messages;
  std::string Error;
  TStlModel Model;
};

TOutcome Read(std::string_view bytes, int filter = 1, double units = 100) {
  TOutcome outcome;
  TReadOptions options;
  options.FilterIndex = filter;
  options.UnitsPerMM = units;
  options.ShowMessage = [&](const std::string &text) { outcome.Messages.push_back(text); };
  try {
    outcome.Model = ReadStlModel(bytes, options);
  } catch (const TReadError &error) {
    outcome.Error = error.what();
  }
  return outcome;
}

TReadResult ReadLevels(std::string_view bytes, int filter, std::vector<std::string> &messages) {
  TReadOptions options;
  options.FilterIndex = filter;
  options.ShowMessage = [&](const std::string &text) { messages.push_back(text); };
  return ReadStereolithography(bytes, options);
}

TMesh Square(float size, float z = 0) {
  TMesh mesh;
  AddRectangle(mesh, 0, 0, size, size, z);
  return mesh;
}

const std::string NoEndsolid = "No \"endsolid\" suffix";
const std::string FacetFormat = "Invalid facet format";

} // namespace

// A binary header may begin with "solid": a length of 84 + 50 × the count
// it declares makes a file binary under every filter. Text is text under
// the binary filter too.
TEST(StlForm, FilterChoosesBinaryOrText) {
  const std::string binaryLikeText = BinaryStl(Square(10), "solid model exported by a CAD program");
  const std::string binary = BinaryStl(Square(10));
  const std::string text = AsciiStl(Square(10));
  struct TCase {
    const std::string *Bytes;
    int Filter;
    std::string Message;
    std::size_t Levels;
  };
  const TCase cases[] = {
      {&binaryLikeText, 1, "", 2}, {&binaryLikeText, 2, "", 2}, {&binaryLikeText, 3, "", 2},
      {&binary, 1, "", 2},         {&binary, 3, "", 2},         {&text, 2, "", 2},
      {&text, 1, "", 2},           {&text, 3, "", 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "filter " << c.Filter << " case " << (&c - cases));
    std::vector<std::string> messages;
    const TReadResult result = ReadLevels(*c.Bytes, c.Filter, messages);
    EXPECT_EQ(result.Levels.size(), c.Levels);
    if (c.Message.empty()) {
      EXPECT_TRUE(messages.empty());
      EXPECT_EQ(result.Size, (TIntSize{1000, 1000}));
    } else {
      EXPECT_EQ(messages, std::vector<std::string>{c.Message});
      // An empty model: one millimetre square.
      EXPECT_EQ(result.Size, (TIntSize{100, 100}));
    }
  }
}

TEST(StlForm, BinaryWithoutTheLengthItsCountAsks) {
  const TMesh two = Square(10);
  struct TCase {
    std::string Bytes;
    int Filter;
    std::size_t Facets;
    std::string Message;
  };
  const TCase cases[] = {
      // The count left 0 by the exporter: the binary filter, or binary bytes
      // after a "solid" header, still read it.
      {BinaryStl(two, "solid x", 0), 2, 2, ""},
      {BinaryStl(two, "solid x", 0), 1, 2, ""},
      {BinaryStl(two, "solid x", 0), 3, 0, NoEndsolid},
      // A "solid" header that is text to its end is text whatever the count says.
      {BinaryStl({}, "solid x", 0x20202020) + "facet", 1, 0, FacetFormat},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "filter " << c.Filter << " case " << (&c - cases));
    const TOutcome outcome = Read(c.Bytes, c.Filter);
    EXPECT_EQ(outcome.Error, "");
    EXPECT_EQ(outcome.Model.Facets.size(), c.Facets);
    ASSERT_EQ(outcome.Messages.size(), c.Message.empty() ? 0u : 1u);
    if (!c.Message.empty()) {
      EXPECT_EQ(outcome.Messages[0].substr(0, c.Message.size()), c.Message);
    }
  }
}

TEST(StlAscii, NamesKeywordsAndTruncation) {
  const TMesh mesh = Square(10);
  const std::string body = AsciiStl(mesh, "");
  // The facets of body without its "solid" line and "endsolid" line.
  const std::string facets = body.substr(6, body.size() - 6 - 9);
  std::string upper = AsciiStl(mesh, "PART");
  for (const char *word : {"solid", "facet", "normal", "outer", "loop", "vertex", "endloop"})
    for (std::size_t at = upper.find(word); at != std::string::npos; at = upper.find(word, at))
      for (std::size_t i = 0; word[i]; ++i, ++at)
        upper[at] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[at])));
  struct TCase {
    std::string Text;
    std::string Message;
  };
  const TCase cases[] = {
      {"solid\n" + facets + "endsolid\n", ""},
      {"solid part1\n" + facets + "endsolid part1\n", ""},
      {"solid part1 " + facets + "endsolid", ""},
      // Names of several words, and endsolid with another name or none.
      {"solid my part\n" + facets + "endsolid my part\n", ""},
      {"solid Cura Glass Plate 2\n" + facets + "endsolid\n", ""},
      {"solid a b c " + facets + "endsolid other name\n", ""},
      {"solid\n" + facets + "endsolid OpenSCAD_Model\n", ""},
      // Whatever follows the end of the first solid is ignored.
      {"solid a\n" + facets + "endsolid a\nsolid b\nfacet garbage\n", ""},
      {"solid a\n" + facets, NoEndsolid},
      {"solid a\n" + facets + "end", NoEndsolid},
      {"solid a\n" + facets.substr(0, facets.size() * 3 / 4), FacetFormat},
      {"solid a\n" + facets.substr(0, facets.find("endfacet")), FacetFormat},
      {"solid a\nfacet normal 0 0 1 loop vertex 0 0 0 vertex 1 0 0 vertex 1 1 0 endloop "
       "endfacet endsolid",
       FacetFormat},
      {"solid a\nfacet normal 0 0 1 outer loop vertex 0 0 0 vertex 1 0 0 vertex 1 1 0 0 endloop "
       "endfacet endsolid",
       FacetFormat},
      {"solid", NoEndsolid},
      {"", NoEndsolid},
      {upper, NoEndsolid},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Text.substr(0, 60));
    const TOutcome outcome = Read(c.Text, 3);
    EXPECT_EQ(outcome.Error, "");
    if (c.Message.empty()) {
      EXPECT_TRUE(outcome.Messages.empty());
      EXPECT_EQ(outcome.Model.Facets.size(), 2u);
    } else {
      // The message goes on to say where; StlAscii.MessagesSayWhere checks that.
      ASSERT_EQ(outcome.Messages.size(), 1u);
      EXPECT_EQ(outcome.Messages[0].substr(0, c.Message.size()), c.Message);
      EXPECT_TRUE(outcome.Model.Facets.empty());
    }
  }
  // Without the text filter, upper-case keywords are not text at all.
  ASSERT_NE((upper.size() - 84) % 50, 0u);
  const TOutcome binary = Read(upper, 1);
  EXPECT_TRUE(binary.Messages.empty());
  EXPECT_EQ(binary.Error.substr(0, 33), "The binary STL file is cut short:");
}

TEST(StlAscii, MessagesSayWhere) {
  const std::string facet = "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                            "vertex 1 1 0\nendloop\nendfacet\n";
  struct TCase {
    std::string Text;
    std::string Message;
    std::string Error;
  };
  const TCase cases[] = {
      {"solid a\n" + facet + facet,
       NoEndsolid + ": the file ends at line 16 where \"facet\" or "
                    "\"endsolid\" belongs",
       ""},
      {"solid a\n" + facet + "endsolix a\n",
       NoEndsolid + ": line 9 holds \"endsolix\" where \"facet\" or \"endsolid\" belongs", ""},
      {"solid a\r\n" + facet + "facet normal 0 0 1\r\nouter loop\r\nvertex 0 0 0\r\nvertx",
       FacetFormat + ": line 12 holds \"vertx\" where \"vertex\" belongs", ""},
      {"solid a\n" + facet + "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0",
       FacetFormat + ": the file ends at line 12 where \"vertex\" belongs", ""},
      {"solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0,5 0\nvertex 1 1 0\n"
       "endloop\nendfacet\nendsolid\n",
       "", "'0,5' is not a valid floating point value for Single type (line 5)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Text);
    const TOutcome outcome = Read(c.Text, 1);
    EXPECT_EQ(outcome.Error, c.Error);
    EXPECT_EQ(outcome.Messages,
              c.Message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Message});
  }
}

TEST(StlAscii, NumbersUseTheDotAndFitAFloat) {
  // The token is the X of one corner; the origin is the smaller of it and 0.
  struct TGood {
    const char *Token;
    double Value;
  };
  constexpr TGood good[] = {{"10", 10},      {"1e1", 10},           {"+2.", 2},
                            {"1E-2", 0.01},  {"-.5", -0.5},         {"1e-50", 0},
                            {"2.5e+0", 2.5}, {"5.425E-01", 0.5425}, {"-1.0E+01", -10}};
  for (const auto &c : good) {
    SCOPED_TRACE(c.Token);
    const std::string text = std::string("solid t\nfacet normal n o p outer loop vertex ") +
                             c.Token +
                             " 0 0 vertex 30 0 0 vertex 30 30 0 endloop endfacet\n"
                             "facet normal 0 0 1 outer loop vertex 0 0 0 vertex 30 30 0 "
                             "vertex 0 30 0 endloop endfacet endsolid t\n";
    const TOutcome outcome = Read(text);
    ASSERT_EQ(outcome.Error, "");
    ASSERT_EQ(outcome.Model.Facets.size(), 2u);
    const double origin = std::min(c.Value, 0.0);
    EXPECT_EQ(outcome.Model.Facets[0].Corners[0].X, std::llround((c.Value - origin) * 100));
    EXPECT_EQ(outcome.Model.Facets[1].Corners[0].X, std::llround(-origin * 100));
  }
  struct TBad {
    std::string Token;
    std::string Shown;
  };
  const TBad bad[] = {
      {"1,5", "1,5"},         {"nan", "nan"},
      {"inf", "inf"},         {"-infinity", "-infinity"},
      {"1e39", "1e39"},       {"0x10", "0x10"},
      {"1e", "1e"},           {".", "."},
      {"--1", "--1"},         {"1.5.2", "1.5.2"},
      {"\xB5m", "\xC2\xB5m"}, {std::string(150, '7') + "x", std::string(100, '7') + "..."}};
  for (const auto &c : bad) {
    SCOPED_TRACE(c.Token);
    const std::string text = "solid t\nfacet normal 0 0 1 outer loop vertex 0 0 0 vertex 1 " +
                             c.Token + " 0 vertex 1 1 0 endloop endfacet endsolid t\n";
    const TOutcome outcome = Read(text);
    EXPECT_EQ(outcome.Error,
              "'" + c.Shown + "' is not a valid floating point value for Single type (line 2)");
    EXPECT_TRUE(outcome.Messages.empty());
  }
}

TEST(StlHeights, NearestTableHeightHalfwayTakesTheHigher) {
  struct TCase {
    double Hundredths;
    int Index;
  };
  constexpr TCase cases[] = {{0, 0},       {4, 0},       {5, 1},       {104, 10},
                             {105, 11},    {106, 11},    {139, 13},    {140, 14},
                             {699999, 98}, {700000, 99}, {750000, 99}, {1e12, 99}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Hundredths);
    EXPECT_EQ(StlHeightIndex(c.Hundredths), c.Index);
  }
  EXPECT_EQ(StlHeight(17), 200);
  EXPECT_EQ(StlHeight(99), 750000);
}

TEST(StlHeights, SearchFindsWhatTheScanFinds) {
  // Every midpoint and its neighbours, below the table and beyond it.
  std::vector<double> values = {-1e12, -1, -0.5, 1e12};
  for (int i = 0; i + 1 < StlHeightCount; ++i) {
    const double middle = (StlHeight(i) + StlHeight(i + 1)) / 2.0;
    for (const double d : {-1.0, -0.5, -0.25, 0.0, 0.25, 0.5, 1.0})
      values.push_back(middle + d);
    values.push_back(StlHeight(i));
  }
  for (const double v : values)
    ASSERT_EQ(StlHeightIndex(v), StlHeightIndexReference(v)) << v;
}

TEST(StlHeights, OnlyFacetsOnOneTableHeightAreKept) {
  TMesh mesh = Square(10);
  // 1.04, 1.05 and 1.06 mm snap to 1.0, 1.1 and 1.1 mm: not horizontal.
  mesh.push_back({TVertex{0, 0, 1.04f}, TVertex{10, 0, 1.05f}, TVertex{10, 10, 1.06f}});
  // 1.05 to 1.07 mm all snap to 1.1 mm.
  mesh.push_back({TVertex{0, 0, 1.05f}, TVertex{10, 0, 1.06f}, TVertex{10, 10, 1.07f}});
  // Above 7500 mm everything is the top height, even a steep slope.
  mesh.push_back({TVertex{0, 0, 7600}, TVertex{10, 0, 9000}, TVertex{10, 10, 1e20f}});
  // A wall: dropped, but it still moves the origin.
  mesh.push_back({TVertex{-5, -2, 0}, TVertex{-5, -2, 3}, TVertex{-5, 20, 3}});
  const TOutcome outcome = Read(BinaryStl(mesh));
  ASSERT_EQ(outcome.Error, "");
  std::vector<int> heights;
  for (const auto &facet : outcome.Model.Facets)
    heights.push_back(facet.Height);
  EXPECT_EQ(heights, (std::vector<int>{0, 0, 11, 99}));
  EXPECT_EQ(outcome.Model.Facets[0].Corners[0], (TIntPoint{500, 200}));
  // The size spans the kept corners only, measured from the whole model's corner.
  EXPECT_EQ(outcome.Model.Size, (TIntSize{1500, 1200}));
}

TEST(StlUnits, CoordinatesRoundHalfToEvenAndSizeIsAtLeastOneMillimetre) {
  TMesh mesh;
  AddRectangle(mesh, 0, 0, 0.5f, 0.25f, 0);
  const TOutcome outcome = Read(BinaryStl(mesh), 1, 133);
  ASSERT_EQ(outcome.Model.Facets.size(), 2u);
  // 0.5 mm is 66.5 units and 0.25 mm 33.25.
  EXPECT_EQ(outcome.Model.Facets[0].Corners[2], (TIntPoint{66, 33}));
  EXPECT_EQ(outcome.Model.Size, (TIntSize{133, 133}));
}

TEST(StlBinary, LengthDecidesTheFacetsNotTheCount) {
  const TMesh two = Square(10);
  struct TCase {
    std::string Bytes;
    std::string Error;
    std::size_t Facets;
  };
  const std::string exact = BinaryStl(two);
  const TCase cases[] = {
      {BinaryStl({}), "", 0},
      {exact.substr(0, 83), "The binary STL file ends within its 84-byte header (83 bytes)", 0},
      {exact.substr(0, 84 + 49),
       "The binary STL file is cut short: it announces 2 facets and holds 0 and 49 bytes of the "
       "next",
       0},
      {exact.substr(0, 84 + 51),
       "The binary STL file is cut short: it announces 2 facets and holds 1 and 1 byte of the next",
       0},
      {exact + "x", "The binary STL file announces 2 facets and holds 2 and 1 byte more", 0},
      {"", "The STL file is empty", 0},
      // A count of two billion in a small file allocates nothing and is ignored.
      {BinaryStl(two, "lying", 0x7FFFFFFF), "", 2},
      {BinaryStl(two, "lying", 0xFFFFFFFF), "", 2},
      {BinaryStl(two, "zero", 0), "", 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    const TOutcome outcome = Read(c.Bytes);
    EXPECT_EQ(outcome.Error, c.Error);
    EXPECT_EQ(outcome.Model.Facets.size(), c.Facets);
    if (c.Error.empty() && c.Facets == 0) {
      EXPECT_EQ(outcome.Model.Size, (TIntSize{100, 100}));
    }
  }
}

TEST(StlBinary, CoordinatesThatAreNotNumbersOrTooLargeAreRefused) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct TCase {
    TVertex Corner;
    std::string Error;
  };
  const TCase cases[] = {
      {{nan, 0, 0}, "Invalid vertex coordinate in facet 3"},
      {{0, 0, nan}, "Invalid vertex coordinate in facet 3"},
      {{inf, 0, 0}, "Invalid vertex coordinate in facet 3"},
      {{0, -inf, 0}, "Invalid vertex coordinate in facet 3"},
      {{1e30f, 0, 0}, "The model is too large"},
      {{0, -1e30f, 0}, "The model is too large"},
      // A height beyond the table is only the top height.
      {{0, 0, 1e30f}, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Error);
    TMesh mesh = Square(10);
    mesh.push_back({c.Corner, TVertex{1, 0, c.Corner.Z}, TVertex{1, 1, c.Corner.Z}});
    EXPECT_EQ(Read(BinaryStl(mesh)).Error, c.Error);
  }
}

TEST(StlLevels, DegenerateHorizontalFacesGiveNoLevels) {
  TMesh mesh;
  for (int i = 0; i < 50; ++i) {
    const float x = static_cast<float>(i);
    // Corners on one line, and corners all in one point.
    mesh.push_back({TVertex{x, 0, 1}, TVertex{x + 1, 1, 1}, TVertex{x + 2, 2, 1}});
    mesh.push_back({TVertex{x, 5, 2}, TVertex{x, 5, 2}, TVertex{x, 5, 2}});
  }
  std::vector<std::string> messages;
  EXPECT_TRUE(ReadLevels(BinaryStl(mesh), 1, messages).Levels.empty());
  EXPECT_TRUE(ReadLevels(AsciiStl({}), 1, messages).Levels.empty());
  EXPECT_TRUE(messages.empty());
}

// The committed example is the helper's relief; BRENNIX_WRITE_EXAMPLES=1
// writes it again after the helper changed.
TEST(StlFile, ExampleLoadsFromDiskLikeItsBytes) {
  const std::string path = std::string(BRENNIX_SOURCE_DIR) + "/examples/relief.stl";
  const std::string expected = BinaryStl(ExampleRelief(), "Brennix example relief");
  if (std::getenv("BRENNIX_WRITE_EXAMPLES")) {
    std::ofstream(path, std::ios::binary) << expected;
  }
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, expected);
  TReadOptions options;
  const TReadResult fromFile = LoadStereolithographyFile(path, options);
  const TReadResult fromBytes = ReadStereolithography(expected, options);
  ASSERT_FALSE(fromFile.Levels.empty());
  ASSERT_EQ(fromFile.Levels.size(), fromBytes.Levels.size());
  EXPECT_EQ(fromFile.Size, fromBytes.Size);
  for (std::size_t i = 0; i < fromFile.Levels.size(); ++i) {
    EXPECT_EQ(fromFile.Levels[i]->Name(), fromBytes.Levels[i]->Name());
    EXPECT_EQ(*fromFile.Levels[i]->Input(), *fromBytes.Levels[i]->Input());
  }
  // A folder opens as a stream with a nonsense size.
  for (const std::string &bad :
       {path + ".missing", std::string(BRENNIX_SOURCE_DIR) + "/examples"}) {
    try {
      LoadStereolithographyFile(bad, options);
      ADD_FAILURE() << bad << " loaded";
    } catch (const TReadError &error) {
      EXPECT_EQ(std::string(error.what()), "Cannot open file " + bad);
    }
  }
}
