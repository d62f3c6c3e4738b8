#include "AppTest.h"

#include <cmath>
#include <functional>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/GerberWindow.h"
#include "app/MainWindow.h"
#include "core/HeadlessHost.h"
#include "core/Levels.h"
#include "core/PathUtils.h"
#include "gerber/BoardOutline.h"
#include "io/FileIntake.h"

namespace {

// A 10 mm copper square, filled as a region.
QString CopperSquare() {
  return WriteFixture("square.gbr",
                      "%FSLAX26Y26*%\n%MOMM*%\nG36*\nX0Y0D02*\nX10000000Y0D01*\n"
                      "X10000000Y10000000D01*\nX0Y10000000D01*\nX0Y0D01*\nG37*\nM02*\n");
}

// A 20 mm board edge drawn as lines around the copper square.
QString BoardEdge() {
  return WriteFixture("edge.gml", "%FSLAX26Y26*%\n%MOMM*%\n%ADD10C,0.2*%\nD10*\n"
                                  "X-5000000Y-5000000D02*\nX15000000Y-5000000D01*\n"
                                  "X15000000Y15000000D01*\nX-5000000Y15000000D01*\n"
                                  "X-5000000Y-5000000D01*\nM02*\n");
}

double MM(double units) { return units / UnitsPerMM(); }
double SquareMM(double units) { return units / (UnitsPerMM() * UnitsPerMM()); }

std::vector<std::string> Names(const TLevels &levels) {
  std::vector<std::string> names;
  for (int i = 0; i < levels.Count(); ++i)
    names.push_back(levels.Item(i)->Name());
  return names;
}

std::vector<bool> Printed(const TLevels &levels) {
  std::vector<bool> printed;
  for (int i = 0; i < levels.Count(); ++i)
    printed.push_back(levels.Item(i)->Print());
  return printed;
}

const TPaths &FirstInput(const TLevels &levels, const std::string &name) {
  for (int i = 0; i < levels.Count(); ++i)
    if (levels.Item(i)->Name() == name)
      return levels.Item(i)->Input()->front();
  static const TPaths none;
  ADD_FAILURE() << "no level " << name;
  return none;
}

// Sees the loading window open, where the window's controls must be locked.
struct TWatchingHost : THeadlessHost {
  std::function<void()> OnBegin;
  void BeginProgress(const std::string &caption) override {
    if (OnBegin)
      OnBegin();
    THeadlessHost::BeginProgress(caption);
  }
};

// The copper square loaded as the program loads it, without a window.
class GerberWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    ClearSettings();
    TakeErrors();
    Levels.SetFocus(200);
    LoadFromFile(Levels, CopperSquare().toStdString(), 1);
    ASSERT_TRUE(Levels.WaitUntilIdle());
    // The options window is what the idle procedure would open.
    ASSERT_EQ(Host.IdleQueue.size(), 1u);
    Host.IdleQueue.clear();
    ASSERT_GE(Levels.Count(), 2);
    ASSERT_EQ(Levels.Item(0)->Name(), "Copper");
  }
  void TearDown() override { EXPECT_EQ(TakeErrors(), QStringList()); }

  TWatchingHost Host;
  TLevels Levels{Host};
};

} // namespace

TEST_F(GerberWindowTest, StartsAsLaidOutAndForgetsTheLastChoice) {
  AddOffsetOutline(Levels, 2.0);
  ASSERT_EQ(RememberedOutline(Levels).Kind, okOffset);

  TGerberWindow w(nullptr, Levels, {});
  EXPECT_EQ(RememberedOutline(Levels).Kind, okNone);
  EXPECT_EQ(w.windowTitle(), "Gerber Advanced Settings");
  EXPECT_EQ(w.size(), QSize(459, 171));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_EQ(w.GroupBox->title(), " Layout Size Settings: ");
  for (QWidget *inside : std::initializer_list<QWidget *>{
           w.GerberRadio, w.GerberButton, w.OffsetRadio, w.OffsetSize, w.OffsetHelp, w.CloseRadio})
    EXPECT_EQ(inside->parentWidget(), w.GroupBox);

  EXPECT_EQ(w.GerberRadio->text(), "&Read from a mechanical layer Gerber file:");
  EXPECT_EQ(w.GerberButton->text(), "Open &Gerber File");
  EXPECT_EQ(w.OffsetRadio->text(), "Create from the copper layer by &offsetting:");
  EXPECT_EQ(w.OffsetHelp->text(), "&mm");
  EXPECT_EQ(w.OffsetHelp->buddy(), w.OffsetSize);
  EXPECT_EQ(w.CloseRadio->text(), "&Don't add any additional layers");
  EXPECT_EQ(w.ApplyButton->text(), "A&pply");
  EXPECT_EQ(w.CloseButton->text(), "&Close");

  EXPECT_TRUE(w.GerberRadio->isChecked());
  EXPECT_FALSE(w.OffsetRadio->isChecked());
  EXPECT_FALSE(w.CloseRadio->isChecked());
  EXPECT_TRUE(w.GerberButton->isEnabled());
  EXPECT_FALSE(w.OffsetSize->isEnabled());
  EXPECT_EQ(w.OffsetSize->text(), "3.0");
  EXPECT_TRUE(w.OffsetSize->alignment() & Qt::AlignRight);
  EXPECT_TRUE(w.ApplyButton->isDefault());
  EXPECT_FALSE(w.ApplyButton->isEnabled());
  EXPECT_TRUE(w.CloseButton->isEnabled());
}

TEST_F(GerberWindowTest, RadioButtonsEnableTheirControls) {
  TGerberWindow w(nullptr, Levels, {});
  struct TCase {
    QRadioButton *Radio;
    bool Apply, Gerber, Offset;
  };
  // Back to the first choice at the end: enabling must also be undone.
  const TCase cases[] = {{w.OffsetRadio, true, false, true},
                         {w.CloseRadio, false, false, false},
                         {w.OffsetRadio, true, false, true},
                         {w.GerberRadio, false, true, false}};
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Radio->text().toStdString());
    c.Radio->click();
    EXPECT_TRUE(c.Radio->isChecked());
    EXPECT_EQ(int(w.GerberRadio->isChecked()) + w.OffsetRadio->isChecked() +
                  w.CloseRadio->isChecked(),
              1);
    EXPECT_EQ(w.ApplyButton->isEnabled(), c.Apply);
    EXPECT_EQ(w.GerberButton->isEnabled(), c.Gerber);
    EXPECT_EQ(w.OffsetSize->isEnabled(), c.Offset);
  }
}

TEST_F(GerberWindowTest, OffsetSizeTakesOneDecimalFromATenthTo50) {
  TGerberWindow w(nullptr, Levels, {});
  EXPECT_DOUBLE_EQ(w.OffsetSize->singleStep(), 0.1);
  const struct {
    double Typed, Kept;
  } cases[] = {{0.04, 0.1},   {0, 0.1}, {-2, 0.1},   {0.1, 0.1}, {2.36, 2.4},
               {12.34, 12.3}, {50, 50}, {50.04, 50}, {70, 50}};
  for (const auto &c : cases) {
    w.OffsetSize->setValue(c.Typed);
    EXPECT_DOUBLE_EQ(w.OffsetSize->value(), c.Kept) << c.Typed;
  }
  // Typed text is read with a "." whatever the locale.
  w.OffsetSize->findChild<QLineEdit *>()->setText("4.5");
  w.OffsetSize->interpretText();
  EXPECT_DOUBLE_EQ(w.OffsetSize->value(), 4.5);
}

TEST_F(GerberWindowTest, ApplyOffsetsTheCopperIntoABoard) {
  TGerberWindow w(nullptr, Levels, {});
  int accepted = 0;
  QObject::connect(&w, &QDialog::accepted, [&] { ++accepted; });
  w.OffsetRadio->click();
  w.OffsetSize->setValue(3.0);
  w.ApplyButton->click();
  EXPECT_EQ(accepted, 1);
  EXPECT_EQ(w.result(), QDialog::Accepted);

  ASSERT_EQ(Levels.Count(), 6);
  EXPECT_EQ(Levels.Item(0)->Name(), "Copper");
  EXPECT_EQ(Levels.Item(2)->Name(), "Clear");
  EXPECT_EQ(Levels.Item(3)->Kind(), lkPerimeter);
  EXPECT_EQ(Levels.Item(4)->Name(), "Mechanical");
  EXPECT_EQ(Levels.Item(5)->Kind(), lkOutline);
  EXPECT_EQ(Printed(Levels),
            (std::vector<bool>{false, false, true, true, true, Levels.Item(5)->Print()}));

  // A rounded 16 mm board with its lower-left corner at the origin.
  const auto board = PathsBounds(FirstInput(Levels, "Mechanical"));
  EXPECT_EQ(board.left, 0);
  EXPECT_EQ(board.top, 0);
  EXPECT_NEAR(MM(board.right), 16, 0.01);
  EXPECT_NEAR(MM(board.bottom), 16, 0.01);
  EXPECT_NEAR(MM(Levels.Size().cx), 16, 0.01);
  EXPECT_NEAR(MM(Levels.Size().cy), 16, 0.01);
  // 10 x 10 + four 10 x 3 sides + four quarter circles of 3 mm, less the copper.
  const double boardArea = 100 + 120 + M_PI * 9;
  EXPECT_NEAR(SquareMM(std::abs(PathsArea(FirstInput(Levels, "Clear")))), boardArea - 100, 0.5);

  const TOutlineChoice remembered = RememberedOutline(Levels);
  EXPECT_EQ(remembered.Kind, okOffset);
  EXPECT_DOUBLE_EQ(remembered.OffsetMM, 3.0);
}

TEST_F(GerberWindowTest, ApplyErrorKeepsTheWindowOpen) {
  THeadlessHost host;
  TLevels empty(host);
  empty.SetFocus(200);
  TGerberWindow w(nullptr, empty, {});
  int accepted = 0;
  QObject::connect(&w, &QDialog::accepted, [&] { ++accepted; });
  w.OffsetRadio->click();
  w.ApplyButton->click();
  EXPECT_EQ(TakeErrors(), QStringList{"No Gerber copper layer is loaded"});
  EXPECT_EQ(accepted, 0);
  EXPECT_TRUE(w.ApplyButton->isEnabled());
  EXPECT_EQ(empty.Count(), 0);
  EXPECT_EQ(RememberedOutline(empty).Kind, okNone);
}

TEST_F(GerberWindowTest, DontAddLeavesTheJobAsLoaded) {
  const auto names = Names(Levels);
  const auto printed = Printed(Levels);
  const TIntSize size = Levels.Size();
  TGerberWindow w(nullptr, Levels, {});
  w.CloseRadio->click();
  EXPECT_FALSE(w.ApplyButton->isEnabled());
  w.CloseButton->click();
  EXPECT_EQ(w.result(), QDialog::Rejected);
  EXPECT_EQ(Names(Levels), names);
  EXPECT_EQ(Printed(Levels), printed);
  EXPECT_TRUE(Levels.Item(0)->Print());
  EXPECT_EQ(Levels.Size(), size);
  EXPECT_EQ(RememberedOutline(Levels).Kind, okNone);
}

TEST_F(GerberWindowTest, MechanicalFileErrorsKeepTheWindowUsable) {
  TGerberWindow w(nullptr, Levels, "/some/where/copper.gbr");
  int accepted = 0;
  QObject::connect(&w, &QDialog::accepted, [&] { ++accepted; });
  const auto names = Names(Levels);
  QString answer;
  bool enabledDuringRead = true;
  w.OpenDialogHook = [&](QString &file) {
    file = answer;
    return !answer.isEmpty();
  };

  // Cancelled: nothing happens.
  w.GerberButton->click();
  EXPECT_EQ(accepted, 0);
  EXPECT_EQ(Names(Levels), names);

  const QString missing = TestFolder() + "/missing.gml";
  const struct {
    QString File, Error;
  } failures[] = {{WriteFixture("bad.gml", "%FSLAX26Y26*%\n%MOMM*%\n%ADD10C"),
                   "Gerber line 3: the parameter block has no closing %: ADD10C"},
                  {missing, "Cannot open file " + missing}};
  for (const auto &failure : failures) {
    SCOPED_TRACE(failure.File.toStdString());
    answer = failure.File;
    w.GerberButton->click();
    EXPECT_EQ(TakeErrors(), QStringList{failure.Error});
    EXPECT_EQ(accepted, 0);
    EXPECT_TRUE(w.GroupBox->isEnabled());
    EXPECT_TRUE(w.CloseButton->isEnabled());
    EXPECT_EQ(Names(Levels), names);
  }
  EXPECT_EQ(RememberedOutline(Levels).Kind, okNone);

  // Then a good file works from the same window.
  answer = BoardEdge();
  Host.OnBegin = [&] { enabledDuringRead = w.GroupBox->isEnabled() || w.CloseButton->isEnabled(); };
  w.GerberButton->click();
  EXPECT_EQ(accepted, 1);
  EXPECT_FALSE(enabledDuringRead);
  EXPECT_TRUE(w.GroupBox->isEnabled());
  ASSERT_EQ(Levels.Count(), 6);
  EXPECT_EQ(Levels.Item(4)->Name(), "Mechanical");
  const auto board = PathsBounds(FirstInput(Levels, "Mechanical"));
  // The edge's outer side: the drawn line as a hairline a couple of units wide.
  const double width = MM(board.right - board.left);
  EXPECT_NEAR(width, 20, MM(3));
  EXPECT_NEAR(MM(board.bottom - board.top), width, MM(1));
  EXPECT_NEAR(SquareMM(std::abs(PathsArea(FirstInput(Levels, "Clear")))), width * width - 100, 0.1);
  EXPECT_EQ(RememberedOutline(Levels).Kind, okMechanical);
  EXPECT_EQ(RememberedOutline(Levels).MechanicalFile, answer.toStdString());
}

namespace {

// Runs action on the options window once it is shown modally by the main
// window, then waits until it is gone.
bool AnswerOptions(TMainWindow &w, const std::function<void(TGerberWindow &)> &action) {
  bool answered = false;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto *dialog = dynamic_cast<TGerberWindow *>(QApplication::activeModalWidget());
    if (!answered && dialog && dialog->isVisible()) {
      answered = true;
      action(*dialog);
    }
  });
  poll.start();
  for (int i = 0; i < 400 && !(answered && !w.findChild<TGerberWindow *>()); ++i)
    Pump(10);
  return answered;
}

// Opens the 10 mm copper square through the window's open command.
void OpenCopperSquare(TMainWindow &w) {
  const QString copper = CopperSquare();
  w.OpenDialogHook = [copper](QString &file, int &index) {
    file = copper;
    index = 1;
    return true;
  };
  w.OpenButtonClick();
}

} // namespace

TEST_F(GerberWindowTest, MainWindowAsksAfterOpeningAGerberFile) {
  TMainWindow w;
  w.show();
  OpenCopperSquare(w);
  ASSERT_TRUE(w.Levels().WaitUntilIdle());

  bool panelWhileOpen = true;
  const bool answered = AnswerOptions(w, [&](TGerberWindow &dialog) {
    panelWhileOpen = w.RightPanel->isEnabled();
    EXPECT_EQ(dialog.parentWidget(), &w);
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.windowTitle(), "Gerber Advanced Settings");
    dialog.OffsetRadio->click();
    dialog.OffsetSize->setValue(5.0);
    dialog.ApplyButton->click();
  });
  ASSERT_TRUE(answered);
  EXPECT_FALSE(panelWhileOpen);
  EXPECT_TRUE(w.RightPanel->isEnabled());
  EXPECT_EQ(w.findChild<TGerberWindow *>(), nullptr);
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  EXPECT_EQ(Names(w.Levels())[4], "Mechanical");
  EXPECT_NEAR(MM(w.Levels().Size().cx), 20, 0.01);

  // A new focus size reads the file again and brings the same board back
  // without asking.
  w.FocusSize->setValue(w.FocusSize->value() + 0.1);
  w.FocusSizeExit();
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  bool askedAgain = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    askedAgain = askedAgain || dynamic_cast<TGerberWindow *>(QApplication::activeModalWidget());
    if (auto *dialog = dynamic_cast<TGerberWindow *>(QApplication::activeModalWidget()))
      dialog->reject();
  });
  poll.start(5);
  Pump(200);
  EXPECT_FALSE(askedAgain);
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  ASSERT_EQ(w.Levels().Count(), 6);
  EXPECT_EQ(Names(w.Levels())[4], "Mechanical");
  EXPECT_NEAR(MM(w.Levels().Size().cx), 20, 0.01);
}

TEST_F(GerberWindowTest, MainWindowClosedWithoutAChoiceAddsNothing) {
  TMainWindow w;
  w.show();
  OpenCopperSquare(w);
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  const auto names = Names(w.Levels());
  ASSERT_TRUE(AnswerOptions(w, [](TGerberWindow &dialog) { dialog.CloseButton->click(); }));
  EXPECT_TRUE(w.RightPanel->isEnabled());
  EXPECT_EQ(Names(w.Levels()), names);
  EXPECT_TRUE(w.Levels().Item(0)->Print());
  EXPECT_EQ(RememberedOutline(w.Levels()).Kind, okNone);
}

TEST(OutlineProposal, NamesThatLookLikeABoardEdgeNeverTheCopper) {
  const QString folder = TestFolder() + "/proposal";
  struct TCase {
    QStringList Files;
    QString Copper;
    QStringList Proposed;
  };
  const TCase cases[] = {
      {{"clock-F_Cu.gbr", "clock-Edge_Cuts.gbr", "clock-F_Mask.gbr", "notes.txt"},
       "clock-F_Cu.gbr",
       {"clock-Edge_Cuts.gbr"}},
      {{"uno.cmp", "uno.GKO", "uno.sol"}, "uno.cmp", {"uno.GKO"}},
      {{"mix.gtl", "mix.gml", "mix.gm1", "other.gko"},
       "mix.gtl",
       {"mix.gm1", "mix.gml", "other.gko"}},
      // A copper layer that is itself called "outline" is never proposed.
      {{"outline.gtl", "outline.gbl"}, "outline.gtl", {"outline.gbl"}},
      {{"only.gtl", "only.gbl"}, "only.gtl", {}},
  };
  int n = 0;
  for (const TCase &c : cases) {
    const QString here = folder + QString::number(n++);
    ASSERT_TRUE(QDir().mkpath(here));
    for (const QString &file : c.Files)
      WriteFixture(QDir(TestFolder()).relativeFilePath(here + "/" + file), "G04 x*\nM02*\n");
    QStringList expected;
    for (const QString &file : c.Proposed)
      expected << here + "/" + file;
    EXPECT_EQ(OutlineCandidates(here + "/" + c.Copper), expected) << c.Copper.toStdString();
  }
}

TEST_F(GerberWindowTest, TheFilePickerStartsAtTheProposalNotTheCopper) {
  const QString here = TestFolder() + "/picker";
  ASSERT_TRUE(QDir().mkpath(here));
  const QString copper = WriteFixture("picker/board-F_Cu.gbr", "G04 x*\nM02*\n");
  const QString edge = WriteFixture("picker/board-Edge_Cuts.gbr", "G04 x*\nM02*\n");
  QString offered = "unset";
  TGerberWindow w(nullptr, Levels, copper);
  w.OpenDialogHook = [&](QString &file) {
    offered = file;
    return false;
  };
  w.GerberButton->click();
  EXPECT_EQ(offered, QFileInfo(edge).absoluteFilePath());
  QFile::remove(edge);
  w.GerberButton->click();
  EXPECT_EQ(offered, "");
}
