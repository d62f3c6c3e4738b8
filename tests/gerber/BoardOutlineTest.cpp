#include "gerber/BoardOutline.h"

#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

#include "GerberTestUtils.h"
#include "core/HeadlessHost.h"
#include "core/Levels.h"
#include "io/FileIntake.h"

using namespace ClipperLib;

namespace {

const std::string Header = "%FSLAX25Y25*%%MOMM*%";
// A 10 x 10 mm copper square with its lower-left corner at (20, 30) mm.
const std::string CopperSquare = Header + "G36*X2000000Y3000000D02*X3000000Y3000000D01*"
                                          "X3000000Y4000000D01*X2000000Y4000000D01*G37*M02*";

// A closed rectangle drawn with the given aperture diameter, optionally with
// a circular cut-out of radius 5 mm drawn as two half circles.
std::string MechanicalRectangle(const std::string &diameter, bool cutOut) {
  std::string text = Header + "%ADD10C," + diameter +
                     "*%D10*X0Y0D02*X6000000Y0D01*X6000000Y4000000D01*"
                     "X0Y4000000D01*X0Y0D01*";
  if (cutOut)
    text +=
        "G75*X3500000Y2000000D02*G03X2500000Y2000000I-500000J0D01*G03X3500000Y2000000I500000J0D01*";
  return text + "M02*";
}

class BoardOutline : public ::testing::Test {
protected:
  void SetUp() override {
    FFolder =
        std::filesystem::temp_directory_path() /
        ("brennix-outline-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(FFolder);
    FLevels.SetFocus(200);
    ResetOutlineChoice(FLevels);
  }
  void TearDown() override { std::filesystem::remove_all(FFolder); }

  std::string Write(const std::string &name, const std::string &text) {
    const auto path = FFolder / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  // Opens a file as the user would, dropping the options window request.
  void Open(const std::string &file) {
    LoadFromFile(FLevels, file, 1);
    FHost.IdleQueue.clear();
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 0; i < FLevels.Count(); ++i)
      names.push_back(FLevels.Item(i)->Name());
    return names;
  }
  const TPaths &Input(int index) const { return FLevels.Item(index)->Input()->front(); }

  std::filesystem::path FFolder;
  THeadlessHost FHost;
  TLevels FLevels{FHost, false};
};

TEST_F(BoardOutline, OffsetAroundASquare) {
  Open(Write("board.gtl", CopperSquare));
  ASSERT_EQ(Names(), (std::vector<std::string>{"Copper", "Copper", "Outline"}));
  ApplyOutlineChoice(FLevels, {okOffset, 3.0, ""});

  EXPECT_EQ(Names(), (std::vector<std::string>{"Copper", "Copper", "Clear", "Clear", "Mechanical",
                                               "Outline"}));
  EXPECT_FALSE(FLevels.Item(0)->Print());
  EXPECT_FALSE(FLevels.Item(1)->Print());
  EXPECT_TRUE(FLevels.Item(2)->Print());
  EXPECT_EQ(FLevels.Item(2)->Kind(), lkArea);
  EXPECT_EQ(FLevels.Item(2)->Color(), 0xFF00CFCFu);
  EXPECT_EQ(FLevels.Item(3)->Kind(), lkPerimeter);
  EXPECT_EQ(FLevels.Item(4)->Kind(), lkLines);
  EXPECT_EQ(FLevels.Item(4)->Color(), 0xFF0000FFu);
  EXPECT_EQ(FLevels.Item(4)->Height(), 7);
  for (int i : {1, 3})
    EXPECT_EQ(FLevels.Item(i)->Height(), 99);

  // A rounded 16 x 16 mm board with its corner at the origin.
  const IntRect board = PathsBounds(Input(4));
  EXPECT_EQ(board.left, 0);
  EXPECT_EQ(board.top, 0);
  EXPECT_EQ(board.right, 1600);
  EXPECT_EQ(board.bottom, 1600);
  EXPECT_EQ(FLevels.Size(), (TIntSize{1600, 1600}));
  // Closed polylines repeat their first point.
  for (const auto &path : Input(4))
    EXPECT_EQ(path.front(), path.back());
  // The board minus the copper square, moved with everything else.
  const double rounded = 1000 * 1000 + 4 * 1000 * 300 + std::numbers::pi * 300 * 300;
  EXPECT_NEAR(PathsArea(Input(2)), rounded - 1000 * 1000, 0.002 * rounded);
  EXPECT_FALSE(Inside(Input(2), TIntPoint(800, 800)));
  EXPECT_TRUE(Inside(Input(2), TIntPoint(150, 800)));
  EXPECT_EQ(PathsBounds(Input(0)).left, 300);
  EXPECT_EQ(RememberedOutline(FLevels).Kind, okOffset);
}

TEST_F(BoardOutline, NoChoiceLeavesTheJob) {
  const std::string file = Write("board.gtl", CopperSquare);
  Open(file);
  ApplyOutlineChoice(FLevels, {okNone, 0, ""});
  EXPECT_EQ(Names(), (std::vector<std::string>{"Copper", "Copper", "Outline"}));
  EXPECT_TRUE(FLevels.Item(0)->Print());
  // A re-read adds nothing either.
  FLevels.SetFocus(100);
  ReloadDrawing(FLevels);
  FHost.RunIdle();
  EXPECT_EQ(Names(), (std::vector<std::string>{"Copper", "Copper", "Outline"}));
}

TEST_F(BoardOutline, ReloadReappliesTheOffset) {
  Open(Write("board.gtl", CopperSquare));
  ApplyOutlineChoice(FLevels, {okOffset, 5.0, ""});
  FLevels.SetFocus(30);
  ReloadDrawing(FLevels);
  FHost.RunIdle();
  EXPECT_EQ(Names(), (std::vector<std::string>{"Copper", "Copper", "Clear", "Clear", "Mechanical",
                                               "Outline"}));
  // 20 mm at the new unit of 133 per millimetre.
  EXPECT_NEAR(static_cast<double>(FLevels.Size().cx), 20 * 133, 2);
}

TEST_F(BoardOutline, MechanicalOutlineIgnoresTheAperture) {
  const std::string copper = Write("board.gtl", CopperSquare);
  TPaths outlines[2];
  int k = 0;
  for (const char *diameter : {"0.2", "2"}) {
    Open(copper);
    ApplyOutlineChoice(FLevels,
                       {okMechanical, 0, Write("edge.gml", MechanicalRectangle(diameter, false))});
    EXPECT_EQ(Names(), (std::vector<std::string>{"Copper", "Copper", "Clear", "Clear", "Mechanical",
                                                 "Outline"}));
    outlines[k++] = Input(4);
  }
  EXPECT_EQ(outlines[0], outlines[1]);
  // The outer edge of the 2-unit strip: 60 x 40 mm and a little.
  EXPECT_EQ(outlines[0].size(), 1u);
  EXPECT_EQ(FLevels.Size(), (TIntSize{6002, 4002}));
}

TEST_F(BoardOutline, CircularCutOutStaysUnburnt) {
  Open(Write("board.gtl", CopperSquare));
  ApplyOutlineChoice(FLevels,
                     {okMechanical, 0, Write("edge.gml", MechanicalRectangle("0.5", true))});
  const TPaths &clear = Input(2);
  // Moved by one unit: the outline's corner is at (-1, -1) before.
  EXPECT_FALSE(Inside(clear, TIntPoint(3001, 2001)));
  EXPECT_FALSE(Inside(clear, TIntPoint(2501, 3501)));
  EXPECT_TRUE(Inside(clear, TIntPoint(1001, 1001)));
  const double board = 6002.0 * 4002.0;
  const double circle = std::numbers::pi * 500 * 500;
  EXPECT_NEAR(PathsArea(clear), board - circle - 1000 * 1000, 0.002 * board);
  EXPECT_EQ(Input(4).size(), 2u);
}

TEST_F(BoardOutline, BoardBelowTheOriginKeepsItsLayersAligned) {
  // The same board drawn at negative Y, as older CAD tools place it: the
  // copper is moved up into the drawing and the mechanical layer with it.
  Open(Write("board.gtl", Header + "G36*X2000000Y-4000000D02*X3000000Y-4000000D01*"
                                   "X3000000Y-3000000D01*X2000000Y-3000000D01*G37*M02*"));
  EXPECT_EQ(FLevels.Size(), (TIntSize{3000, 1000}));
  ApplyOutlineChoice(
      FLevels, {okMechanical, 0,
                Write("edge.gml", Header + "%ADD10C,0.2*%D10*X0Y0D02*X6000000Y0D01*"
                                           "X6000000Y-4000000D01*X0Y-4000000D01*X0Y0D01*M02*")});
  EXPECT_EQ(FLevels.Size(), (TIntSize{6002, 4002}));
  const TPaths &clear = Input(2);
  EXPECT_FALSE(Inside(clear, TIntPoint(2501, 501)));
  EXPECT_TRUE(Inside(clear, TIntPoint(2501, 3001)));
  EXPECT_NEAR(PathsArea(clear), 6002.0 * 4002.0 - 1000 * 1000, 0.002 * 6002.0 * 4002.0);
}

TEST_F(BoardOutline, AnotherJobDoesNotMoveThisOnesMechanicalLayer) {
  // The copper layer's shift is this job's: a board opened elsewhere in the
  // meantime, at the origin, must not leave the mechanical layer unmoved.
  Open(Write("board.gtl", Header + "G36*X2000000Y-4000000D02*X3000000Y-4000000D01*"
                                   "X3000000Y-3000000D01*X2000000Y-3000000D01*G37*M02*"));
  THeadlessHost otherHost;
  TLevels other(otherHost, false);
  LoadFromFile(other, Write("other.gtl", CopperSquare), 1);
  ApplyOutlineChoice(
      FLevels, {okMechanical, 0,
                Write("edge.gml", Header + "%ADD10C,0.2*%D10*X0Y0D02*X6000000Y0D01*"
                                           "X6000000Y-4000000D01*X0Y-4000000D01*X0Y0D01*M02*")});
  EXPECT_EQ(FLevels.Size(), (TIntSize{6002, 4002}));
  // The copper stays a hole in "Clear": both layers moved together.
  EXPECT_FALSE(Inside(Input(2), TIntPoint(2501, 501)));
  EXPECT_TRUE(Inside(Input(2), TIntPoint(2501, 3001)));
  EXPECT_EQ(RememberedOutline(other).Kind, okNone);
}

TEST_F(BoardOutline, BadMechanicalFileChangesNothing) {
  Open(Write("board.gtl", CopperSquare));
  const std::string bad = Write("bad.gml", Header + "\n%LR45*%M02*");
  try {
    ApplyOutlineChoice(FLevels, {okMechanical, 0, bad});
    FAIL() << "no error";
  } catch (const TReadError &e) {
    EXPECT_STREQ(e.what(), "Gerber line 2: rotation of the objects (LR) is not supported: LR45");
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"Copper", "Copper", "Outline"}));
  EXPECT_TRUE(FLevels.Item(0)->Print());
  EXPECT_EQ(RememberedOutline(FLevels).Kind, okNone);
  EXPECT_FALSE(FHost.LoadingVisible);
  EXPECT_THROW(ApplyOutlineChoice(FLevels, {okOffset, std::nan(""), ""}), TReadError);
}

} // namespace
