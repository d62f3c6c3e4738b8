#include "AppTest.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <sstream>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "app/GridHandlers.h"
#include "app/LoadingWindow.h"
#include "app/MainWindow.h"
#include "app/Menus.h"
#include "app/PowerGrid.h"
#include "app/PreviewImage.h"
#include "app/ZelUtils.h"
#include "core/Geometry.h"
#include "core/HeadlessHost.h"
#include "core/Levels.h"
#include "io/FileIntake.h"
#include "io/GcodeWriter.h"
#include "settings/BrennixSettings.h"

namespace {

std::string ReadFile(const QString &path) {
  std::ifstream file(path.toStdString(), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Opens a drawing the way the open button does and waits for the estimate.
void Open(TMainWindow &window, const QString &path, int filterIndex = 1) {
  window.OpenDialogHook = [path, filterIndex](QString &file, int &index) {
    file = path;
    index = filterIndex;
    return true;
  };
  window.OpenButtonClick();
  ASSERT_TRUE(window.Levels().WaitUntilIdle());
}

class MainWindowTest : public TWindowTest {};

} // namespace

class TUrlCatcher : public QObject {
  Q_OBJECT
public:
  QList<QUrl> Urls;
public slots:
  void Open(const QUrl &url) { Urls << url; }
};

TEST_F(MainWindowTest, StartsWithDefaults) {
  TMainWindow w;
  EXPECT_EQ(w.windowTitle(), "Brennix");
  EXPECT_EQ(w.OpenButton->text(), "&Open Graphics...");
  EXPECT_EQ(w.SaveButton->text(), "&Generate G-code...");
  EXPECT_EQ(w.ResetButton->text(), "&Reset Configuration");
  EXPECT_EQ(w.InputGroup->title(), " Layout Settings: ");
  EXPECT_EQ(w.PowerGroup->title(), " Power Settings: ");
  EXPECT_EQ(w.RightPanel->width(), 353);
  struct TBoxCase {
    QDoubleSpinBox *Box;
    double Minimum, Maximum, Value;
    int Decimals;
  };
  for (const TBoxCase &c : {TBoxCase{w.FocusSize, 0.004, 2.5, 0.2, 3},
                            {w.IdleSpeedBox, 0.1, 1000, 100, 1},
                            {w.OffsetXBox, 0, 1000, 0, 1},
                            {w.OffsetYBox, 0, 1000, 0, 1},
                            {w.ScaleXBox, 1, 1000, 100, 2},
                            {w.PrintX, 1, 100000, 1, 2},
                            {w.OriginalX, 0, 100000, 0, 2}}) {
    SCOPED_TRACE(c.Minimum);
    EXPECT_EQ(c.Box->minimum(), c.Minimum);
    EXPECT_EQ(c.Box->maximum(), c.Maximum);
    EXPECT_EQ(c.Box->value(), c.Value);
    EXPECT_EQ(c.Box->decimals(), c.Decimals);
  }
  EXPECT_FALSE(w.OriginalX->isEnabled());
  EXPECT_EQ(w.LaserOnMemo->toPlainText(), "G4 P0\nM106 S?\nG4 P0");
  const TTemplates templates = w.Templates();
  EXPECT_EQ(templates.LaserOn, "G4 P0\r\nM106 S?\r\nG4 P0");
  EXPECT_EQ(templates.GcodePrefix, "M106 S0\r\nG90\r\nG28 X0 Y0\r\nG21");
  EXPECT_EQ(templates.HeadMove, "G1 X? Y?");
  EXPECT_FALSE(w.ShowConfiguration->isChecked());
  EXPECT_EQ(w.GcodeGroup->height(), 0);
  EXPECT_EQ(w.PowerGrid->rowCount(), 0);
  EXPECT_EQ(w.Levels().Focus(), 20);
  EXPECT_EQ(UnitsPerMM(), 100);
  // Filling the controls from the store writes nothing back.
  EXPECT_FALSE(QFile::exists(QString::fromStdString(TZelConfiguration::StorePath())));
  EXPECT_EQ(NameFilters(OpenDialogFilter).size(), 8);
  EXPECT_EQ(NameFilters(OpenDialogFilter)[4],
            "Gerber RS-274X Files (*.gbl, *.gbs, *.gml, *.gtl, *.gts and others) (*.gbl *.gbs "
            "*.gbo *.gbp *.gko *.gml *.gpb *.gbr *.gpt *.gtl *.gts *.gto *.gtp *.plc *.pls *.smb "
            "*.smt *.sol *.ssb *.sst *.stc *.sts *.top *.bot *.cmp)");
  EXPECT_EQ(NameFilters(SaveDialogFilter),
            QStringList({"All Files (*.*) (*.*)", "G-code Files (*.gcode) (*.gcode)"}));
}

TEST_F(MainWindowTest, StoredSettingsFillControlsAndEditsAreStored) {
  const TBrennixSettings s;
  s.LaserOn->SetValue("A~\\~B");
  s.OffsetX->SetValue(-5);
  s.MicroFocusSize->SetValue(30);
  s.ShowTravel->SetValue(true);
  s.IdleTravel->SetValue(12.5);
  TMainWindow w;
  EXPECT_EQ(w.LaserOnMemo->blockCount(), 2);
  EXPECT_EQ(w.LaserOnMemo->toPlainText(), "A\nB");
  EXPECT_EQ(w.Templates().LaserOn, "A\r\nB");
  EXPECT_EQ(w.OffsetXBox->value(), 0);
  EXPECT_EQ(w.FocusSize->value(), 0.03);
  EXPECT_EQ(w.Levels().Focus(), 4);
  EXPECT_EQ(UnitsPerMM(), 133);
  EXPECT_TRUE(w.CheckTravel->isChecked());
  EXPECT_TRUE(w.Levels().Travel());
  EXPECT_EQ(w.IdleSpeedBox->value(), 12.5);

  w.LaserOnMemo->setPlainText("X\nY\nZ");
  EXPECT_EQ(s.LaserOn->Value(), "X~\\~Y~\\~Z");
  w.IdleSpeedBox->setValue(7.5);
  EXPECT_EQ(s.IdleTravel->Value(), 7.5);
  w.OffsetCenterBox->setChecked(true);
  EXPECT_TRUE(s.OffsetCenter->Value());
  w.OffsetYBox->setValue(3.5);
  EXPECT_EQ(s.OffsetY->Value(), 3.5);
  w.CheckTravel->setChecked(false);
  EXPECT_FALSE(s.ShowTravel->Value());
  EXPECT_FALSE(w.Levels().Travel());
  // Mirror and outline-only are not stored.
  w.CheckMirror->setChecked(true);
  EXPECT_TRUE(w.Levels().Mirror());
  w.CheckOutline->setChecked(true);
  EXPECT_TRUE(w.Levels().Outline());
}

TEST_F(MainWindowTest, FocusIsStoredAtOnceAndAppliedWhenTheBoxIsLeft) {
  const TBrennixSettings s;
  TMainWindow w;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.FocusSize->setFocus();
  w.FocusSize->selectAll();
  QTest::keyClicks(w.FocusSize, "0.05");
  EXPECT_EQ(s.MicroFocusSize->Value(), 50);
  EXPECT_EQ(w.Levels().Focus(), 20);
  w.FocusSizeExit(); // nothing loaded: nothing happens
  EXPECT_EQ(w.Levels().Focus(), 20);

  // The open command drops the pending change.
  Open(w, DrawingFixture());
  w.FocusSizeExit();
  EXPECT_EQ(w.Levels().Focus(), 20);

  w.ScaleXBox->setValue(50);
  w.FocusSize->setValue(0.3);
  EXPECT_EQ(s.MicroFocusSize->Value(), 300);
  EXPECT_EQ(w.Levels().Focus(), 20);
  // Leaving the box applies it and reads the drawing again, keeping the scale.
  QApplication::setActiveWindow(&w);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.FocusSize->setFocus();
  w.OpenButton->setFocus();
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  EXPECT_EQ(w.Levels().Focus(), 30);
  EXPECT_EQ(w.ScaleXBox->value(), 50);
  EXPECT_EQ(w.PrintX->value(), 100);
  EXPECT_GT(w.Levels().Count(), 0);

  // A drop while the box still has the focus: the load disables the panel,
  // which takes the focus away; the new focus is applied after that load.
  QApplication::setActiveWindow(&w); // the loading window had it last
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.FocusSize->setFocus();
  ASSERT_TRUE(w.FocusSize->hasFocus());
  w.FocusSize->setValue(0.5);
  const QString dropped = DrawingFixture("dropped-focus.svg");
  w.DropFileDropped(dropped);
  EXPECT_EQ(w.Levels().Job().File.FileName, dropped.toStdString());
  for (int i = 0; i < 100 && w.Levels().Focus() != 50; ++i)
    Pump(10);
  EXPECT_EQ(w.Levels().Focus(), 50);
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  EXPECT_EQ(w.Levels().Job().File.FileName, dropped.toStdString());
}

TEST_F(MainWindowTest, ScaleAndPrintSizeFollowEachOther) {
  TMainWindow w;
  // Without a drawing a print size has no scale: the box keeps its value.
  w.PrintX->setValue(50);
  EXPECT_EQ(w.ScaleXBox->value(), 100);
  EXPECT_EQ(w.Levels().Output().cx, 5000);
  w.ScaleYBox->setValue(20);
  EXPECT_EQ(w.PrintY->value(), 1); // 0 mm, held at the box's minimum

  Open(w, DrawingFixture());
  EXPECT_EQ(w.Levels().Size().cx, 20000);
  EXPECT_EQ(w.OriginalX->value(), 200);
  EXPECT_EQ(w.OriginalY->value(), 100);
  EXPECT_EQ(w.ScaleXBox->value(), 100); // a new file starts at 100 %
  EXPECT_EQ(w.PrintX->value(), 200);
  w.ScaleXBox->setValue(50);
  EXPECT_EQ(w.PrintX->value(), 100);
  EXPECT_EQ(w.Levels().Output().cx, 10000);
  EXPECT_EQ(w.ScaleYBox->value(), 100);
  EXPECT_EQ(w.PrintY->value(), 100);
  EXPECT_EQ(w.Levels().Output().cy, 10000);
  w.PrintY->setValue(25);
  EXPECT_EQ(w.ScaleYBox->value(), 25);
  EXPECT_EQ(w.Levels().Output().cy, 2500);
  ASSERT_TRUE(w.Levels().WaitUntilIdle());

  // Beyond 1000 % the scale box stops, the print size does not.
  Open(w, SmallFixture());
  ASSERT_EQ(w.Levels().Size().cx, 2000);
  w.PrintX->setValue(300);
  EXPECT_EQ(w.ScaleXBox->value(), 1000);
  EXPECT_EQ(w.Levels().Output().cx, 30000);
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
}

TEST_F(MainWindowTest, ResetRestoresSettingsOnly) {
  const TBrennixSettings s;
  TMainWindow w;
  w.IdleSpeedBox->setValue(5);
  w.HeadMoveMemo->setPlainText("G0 X? Y?");
  w.OffsetCenterBox->setChecked(true);
  w.CheckTravel->setChecked(true);
  w.ScaleXBox->setValue(30);
  w.CheckMirror->setChecked(true);
  w.CheckOutline->setChecked(true);
  w.ShowConfiguration->setChecked(true);
  w.ResetButton->click();
  EXPECT_EQ(s.IdleTravel->Value(), 100);
  EXPECT_EQ(s.HeadMove->Value(), "G1 X? Y?");
  EXPECT_FALSE(s.OffsetCenter->Value());
  EXPECT_FALSE(s.ShowTravel->Value());
  EXPECT_EQ(w.IdleSpeedBox->value(), 100);
  EXPECT_EQ(w.HeadMoveMemo->toPlainText(), "G1 X? Y?");
  EXPECT_FALSE(w.OffsetCenterBox->isChecked());
  EXPECT_FALSE(w.CheckTravel->isChecked());
  EXPECT_EQ(w.ScaleXBox->value(), 100);
  EXPECT_EQ(w.ScaleYBox->value(), 100);
  EXPECT_TRUE(w.CheckMirror->isChecked());
  EXPECT_TRUE(w.Levels().Mirror());
  EXPECT_TRUE(w.CheckOutline->isChecked());
  EXPECT_TRUE(w.ShowConfiguration->isChecked());
  // Every setting was written, also those that already held their default.
  const std::string stored = ReadFile(QString::fromStdString(TZelConfiguration::StorePath()));
  for (auto *value : s.Configuration.GetChildren())
    EXPECT_NE(stored.find("\t" + value->Identifier() + "\t"), std::string::npos)
        << value->Identifier();
}

TEST_F(MainWindowTest, ResetToAnotherFocusReadsTheDrawingAgain) {
  TBrennixSettings().MicroFocusSize->SetValue(30);
  TMainWindow w;
  Open(w, DrawingFixture());
  EXPECT_EQ(w.Levels().Size().cx, 26600); // 133 units per mm
  w.ResetButton->click();
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  EXPECT_EQ(UnitsPerMM(), 100);
  // Read again in the new unit, so the job keeps its size in millimetres.
  EXPECT_EQ(w.Levels().Size().cx, 20000);
  EXPECT_EQ(w.PrintX->value(), 200);
}

TEST_F(MainWindowTest, SaveProposesTheOpenedNameInItsFolder) {
  TMainWindow w;
  QString folder = "unset", name = "unset";
  w.SaveDialogHook = [&](const QString &f, const QString &n) {
    folder = f;
    name = n;
    return QString();
  };
  w.SaveButtonClick();
  EXPECT_EQ(folder, "");
  EXPECT_EQ(name, "");

  Open(w, DrawingFixture("drawing.svg"));
  w.CheckOutline->setChecked(true);
  w.SaveButtonClick();
  EXPECT_EQ(folder, TestFolder());
  EXPECT_EQ(name, "drawing-outline.gcode");
  w.CheckOutline->setChecked(false);
  // A dropped file is not the open dialog's choice.
  w.DropFileDropped(DrawingFixture("dropped.svg"));
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  EXPECT_EQ(w.Levels().Job().File.FileName, DrawingFixture("dropped.svg").toStdString());
  // The same through the preview's drop target, as a file manager drops it.
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(DrawingFixture("dragged.svg"))});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(w.Preview, &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_EQ(enter.dropAction(), Qt::LinkAction);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(w.Preview, &drop);
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  EXPECT_EQ(w.Levels().Job().File.FileName, DrawingFixture("dragged.svg").toStdString());
  EXPECT_EQ(w.Levels().Job().File.FilterIndex, 1);
  EXPECT_EQ(w.Levels().Job().File.FilterIndex, 1);
  w.SaveButtonClick();
  EXPECT_EQ(name, "drawing.gcode");
}

TEST_F(MainWindowTest, SavedJobMatchesTheHeadlessWriter) {
  const QString drawing = DrawingFixture();
  const QString fromWindow = TestFolder() + "/window.gcode";
  const QString headless = TestFolder() + "/headless.gcode";
  {
    TMainWindow w;
    w.OffsetXBox->setValue(5);
    w.HeadMoveMemo->setPlainText("G0 X? Y?");
    w.IdleSpeedBox->setValue(50);
    Open(w, drawing);
    w.SaveDialogHook = [&](const QString &, const QString &) { return fromWindow; };
    w.SaveButtonClick();
    EXPECT_TRUE(w.CalcResult->isVisibleTo(&w));
    EXPECT_TRUE(w.RightPanel->isEnabled());
  }
  THeadlessHost host;
  host.OffsetXValue = 5;
  host.TemplateTexts.HeadMove = "G0 X? Y?";
  host.IdleSpeedValue = 50;
  TLevels levels(host, false);
  levels.SetFocus(200);
  LoadFromFile(levels, drawing.toStdString(), 1);
  levels.RunCycles();
  SaveToGcode(levels, headless.toStdString());
  const std::string written = ReadFile(fromWindow);
  EXPECT_NE(written.find("G0 X5"), std::string::npos);
  EXPECT_NE(written.find("M106 S255"), std::string::npos);
  EXPECT_EQ(written, ReadFile(headless));
}

TEST_F(MainWindowTest, FirstArgumentOpensWithFilterIndexOne) {
  const QString drawing = DrawingFixture("argument.svg");
  TMainWindow w(drawing);
  for (int i = 0; i < 200 && w.Levels().Job().File.FileName != drawing.toStdString(); ++i)
    Pump(10);
  ASSERT_EQ(w.Levels().Job().File.FileName, drawing.toStdString());
  EXPECT_EQ(w.Levels().Job().File.FilterIndex, 1);
  // The program's name once, with the dash the desktop itself would add.
  EXPECT_EQ(w.windowTitle(), "argument \u2014 Brennix");
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  Pump(50);
  EXPECT_TRUE(w.CalcResult->text().startsWith("Estimated burning time:  "))
      << w.CalcResult->text().toStdString();
}

TEST_F(MainWindowTest, AFailedLoadIsShownAndTheWindowStaysUsable) {
  TMainWindow w;
  const QString bad = WriteFixture("bad.svg", "<html/>");
  w.Preview->OnDropped(bad);
  const QStringList errors = TakeErrors();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(
      errors[0].startsWith("Cannot open \"bad.svg\": The document doesn't seem to be an SVG"))
      << errors[0].toStdString();
  EXPECT_TRUE(w.RightPanel->isEnabled());
  EXPECT_EQ(w.LoadingWindow(), nullptr);
  Open(w, DrawingFixture());
  EXPECT_EQ(w.Levels().Size().cx, 20000);
}

namespace {

// What a user sees of the job, to compare before and after a failed load.
struct TJobView {
  QString Title, Result;
  double OriginalX, OriginalY, PrintX, PrintY, ScaleX;
  int Rows, Levels;
  QImage Preview;
  bool ResultShown, ProgressShown;
  std::string FileName;

  explicit TJobView(TMainWindow &w)
      : Title(w.windowTitle()), Result(w.CalcResult->text()), OriginalX(w.OriginalX->value()),
        OriginalY(w.OriginalY->value()), PrintX(w.PrintX->value()), PrintY(w.PrintY->value()),
        ScaleX(w.ScaleXBox->value()), Rows(w.PowerGrid->rowCount()), Levels(w.Levels().Count()),
        Preview(w.Levels().Preview()), ResultShown(w.CalcResult->isVisibleTo(w.InputGroup)),
        ProgressShown(w.CalcProgress->isVisibleTo(w.InputGroup)),
        FileName(w.Levels().Job().File.FileName) {}
  bool operator==(const TJobView &) const = default;
};

std::string PngBytes() {
  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(Qt::white);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "PNG");
  return bytes.toStdString();
}

std::string SaveVia(TMainWindow &w, const QString &path) {
  w.SaveDialogHook = [path](const QString &, const QString &) { return path; };
  w.SaveButtonClick();
  return ReadFile(path);
}

} // namespace

TEST_F(MainWindowTest, AFailedLoadLeavesTheJobAsItWas) {
  TMainWindow w;
  w.show();
  Open(w, DrawingFixture("good.svg"));
  w.ScaleXBox->setValue(50);
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  ASSERT_TRUE(PumpUntil([&] { return w.CalcResult->isVisibleTo(w.InputGroup); }));
  const std::string before = SaveVia(w, TestFolder() + "/before.gcode");
  ASSERT_NE(before.find("M106"), std::string::npos);
  const TJobView view(w);

  const std::string png = PngBytes();
  struct TCase {
    const char *Name;
    std::string Bytes;
  };
  const TCase cases[] = {
      {"truncated.png", png.substr(0, png.size() / 2)},
      {"empty.svg", ""},
      {"junk.gbr",
       std::string("G04 x*\n%ADD10\x01\x02\xff\xfe\x00\x7f\x1b[2J", 22) + std::string(400, '\x03')},
      {"missing.stl", {}},
  };
  for (const TCase &c : cases) {
    const QString path = c.Name == std::string("missing.stl") ? TestFolder() + "/missing.stl"
                                                              : WriteFixture(c.Name, c.Bytes);
    w.Preview->OnDropped(path);
    ASSERT_TRUE(w.Levels().WaitUntilIdle());
    Pump(20);
    const QStringList errors = TakeErrors();
    ASSERT_EQ(errors.size(), 1) << c.Name;
    // The message names the file and shows no raw control bytes.
    EXPECT_TRUE(errors[0].startsWith(QString("Cannot open \"") + c.Name + "\": "))
        << errors[0].toStdString();
    EXPECT_FALSE(std::any_of(errors[0].begin(), errors[0].end(), [](QChar ch) {
      return ch.category() == QChar::Other_Control && ch != '\n';
    })) << errors[0].toStdString();
    EXPECT_LT(errors[0].size(), 1200) << c.Name;
    EXPECT_TRUE(TJobView(w) == view) << c.Name;
    EXPECT_EQ(w.LoadingWindow(), nullptr);
    EXPECT_TRUE(w.RightPanel->isEnabled());
    EXPECT_EQ(SaveVia(w, TestFolder() + "/after.gcode"), before) << c.Name;
  }
}

TEST_F(MainWindowTest, AFailedSaveWritesNothingAndBringsTheEstimateBack) {
  TMainWindow w;
  w.show();
  Open(w, SmallFixture());
  ASSERT_TRUE(PumpUntil([&] { return w.CalcResult->isVisibleTo(w.InputGroup); }));
  const QString locked = TestFolder() + "/locked",
                folder = TestFolder() + "/save-fails/a-folder.gcode";
  ASSERT_TRUE(QDir().mkpath(locked + "/inside"));
  ASSERT_TRUE(QDir().mkpath(folder));
  QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  struct TCase {
    QString Target, Says;
  };
  std::vector<TCase> cases = {
      {TestFolder() + "/no-such-folder/job.gcode", "does not exist"},
      {folder, "Nothing was written"},
  };
  // The superuser writes anywhere: the refused folder is there to test only for others.
  if (geteuid() != 0)
    cases.push_back({locked + "/job.gcode", "cannot be written"});
  for (const TCase &c : cases) {
    w.SaveDialogHook = [&c](const QString &, const QString &) { return c.Target; };
    Guarded([&] { w.SaveButtonClick(); });
    const QStringList errors = TakeErrors();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("\"" + c.Target + "\"")) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains(c.Says)) << errors[0].toStdString();
    EXPECT_FALSE(errors[0].contains("Unknown error")) << errors[0].toStdString();
    EXPECT_FALSE(QFileInfo(c.Target).isFile());
    EXPECT_TRUE(QDir(QFileInfo(c.Target).absolutePath())
                    .entryList({"*.gcode*", "*.tmp"}, QDir::Files)
                    .isEmpty());
    EXPECT_TRUE(w.CalcResult->isVisibleTo(w.InputGroup));
    EXPECT_FALSE(w.CalcProgress->isVisibleTo(w.InputGroup));
    EXPECT_TRUE(w.RightPanel->isEnabled());
  }
  QFile::setPermissions(locked,
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(MainWindowTest, TheImportReportShowsUnderThePreviewWithoutABox) {
  TMainWindow w;
  w.show();
  const QString partial =
      WriteFixture("partial.svg",
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 100 100\">"
                   "<rect width=\"50\" height=\"50\" fill=\"red\"/><image/><foreignObject/></svg>");
  Open(w, partial);
  EXPECT_TRUE(w.ReportBar->isVisible());
  EXPECT_EQ(w.ReportLine->text(), "Not everything was drawn: 1 <image> left out (line 1); 1 more");
  EXPECT_TRUE(w.ShownMessages.isEmpty());
  // The details open beside the window; work goes on.
  w.ReportDetails->click();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  // A drawing read in full hides the line again.
  Open(w, DrawingFixture());
  EXPECT_FALSE(w.ReportBar->isVisible());
}

TEST_F(MainWindowTest, PreviewFollowsTheWindow) {
  TMainWindow w;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.resize(1100, 700);
  Pump(50);
  EXPECT_EQ(w.Levels().View(), (TIntSize{w.Preview->width(), w.Preview->height()}));
  // The settings keep the width their controls need (the machine profile's
  // rows need a little more than the panel's usual width); the preview takes
  // the rest, and the splitter's handle lies between.
  EXPECT_GE(w.RightPanel->width(), 353);
  EXPECT_EQ(w.RightPanel->width(), w.RightPanel->minimumWidth());
  EXPECT_EQ(w.Preview->width(), 1100 - w.RightPanel->width() - w.Splitter->handleWidth());
  Open(w, DrawingFixture());
  Pump(50);
  EXPECT_EQ(w.Preview->Image().size(), w.Preview->size());
  // Something other than white was drawn.
  const QImage image = w.Preview->Image();
  int inked = 0;
  for (int y = 0; y < image.height(); y += 3)
    for (int x = 0; x < image.width(); x += 3)
      inked += image.pixel(x, y) != qRgb(255, 255, 255);
  EXPECT_GT(inked, 100);
}

TEST_F(MainWindowTest, GcodeBlockOpensAndClosesWithItsAnimation) {
  TMainWindow w;
  w.show();
  w.ShowConfiguration->setChecked(true);
  EXPECT_EQ(w.ShowConfiguration->text(), "Co&nfigure G-code:");
  // It opens over time, not at once; a loaded machine may skip every frame in between.
  EXPECT_EQ(w.SettingsAni->state(), QAbstractAnimation::Running);
  EXPECT_LT(w.GcodeGroup->height(), 378);
  PumpUntil([&] {
    return w.GcodeGroup->height() == 378 && w.SettingsOpacity->opacity() == 1.0 &&
           w.ShowConfiguration->x() == 32;
  });
  EXPECT_EQ(w.GcodeGroup->height(), 378);
  EXPECT_EQ(w.ShowConfiguration->x(), 32);
  EXPECT_EQ(w.SettingsLayout->height(), 378);
  EXPECT_EQ(w.SettingsOpacity->opacity(), 1.0);
  w.ShowConfiguration->setChecked(false);
  EXPECT_EQ(w.ShowConfiguration->text(), "Co&nfigure G-code");
  PumpUntil([&] { return w.GcodeGroup->height() == 0 && w.ShowConfiguration->x() == 8; });
  EXPECT_EQ(w.GcodeGroup->height(), 0);
  EXPECT_EQ(w.ShowConfiguration->x(), 8);
  EXPECT_EQ(w.SettingsLayout->height(), w.ShowConfiguration->height());
}

// With the G-code block open the settings outgrow the window and a scroll bar
// shows: it takes its room beside the settings, never over their right edge.
TEST_F(MainWindowTest, TheSettingsFitBesideTheirScrollBar) {
  TMainWindow w;
  w.resize(900, 600);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  auto *scroller = w.RightPanel->findChild<QScrollArea *>("RightScroller");
  ASSERT_NE(scroller, nullptr);
  for (const bool open : {true, false}) {
    w.ShowConfiguration->setChecked(open);
    ASSERT_TRUE(PumpUntil([&] {
      return w.SettingsAni->state() != QAbstractAnimation::Running &&
             w.GcodeGroup->height() == (open ? 378 : 0);
    })) << "open " << open;
    Pump(50);
    if (open) {
      ASSERT_TRUE(scroller->verticalScrollBar()->isVisible());
    }
    if (const char *shot = std::getenv("BRENNIX_SETTINGS_SHOT"); shot && open)
      w.grab().save(shot);
    const QWidget *viewport = scroller->viewport();
    for (QWidget *group : std::vector<QWidget *>{w.InputGroup, w.PowerGroup, w.GcodeGroup,
                                                  w.ProfileGroup, w.SettingsPanel}) {
      if (!group->isVisible())
        continue;
      const QPoint right = group->mapTo(viewport, QPoint(group->width(), 0));
      EXPECT_LE(right.x(), viewport->width()) << group->objectName().toStdString() << " open "
                                              << open;
    }
    // Nothing to scroll sideways: every setting is in view across.
    EXPECT_LE(scroller->widget()->width(), viewport->width()) << "open " << open;
  }
}

TEST_F(MainWindowTest, ProgressWindowMirrorsIntoCalcProgress) {
  TMainWindow w;
  // The new window's first processing cycle writes the same bar; let it end
  // so that only the progress below moves it.
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  w.BeginProgress("Saving...");
  TLoadingWindow *loading = w.LoadingWindow();
  ASSERT_NE(loading, nullptr);
  EXPECT_EQ(loading->windowTitle(), "Saving...");
  EXPECT_EQ(loading->size(), QSize(345, 65));
  EXPECT_EQ(loading->Bar()->maximum(), 30);
  w.Progress(false);
  w.SetProgressMax(4);
  for (int i = 0; i < 3; ++i)
    w.Progress(false);
  EXPECT_EQ(loading->Bar()->value(), 4);
  EXPECT_EQ(w.CalcProgressValue(), 4);
  EXPECT_EQ(w.CalcProgressMax(), 4);
  EXPECT_EQ(w.CalcProgress->value(), w.CalcProgress->maximum());

  w.SetProgressMax(30);
  loading->Bar()->setValue(10);
  w.Progress(true);
  EXPECT_EQ(loading->Bar()->value(), 11);
  EXPECT_EQ(loading->Bar()->maximum(), 31);
  EXPECT_EQ(w.CalcProgressMax(), 31);
  // The user cannot close it; Escape does nothing either.
  EXPECT_FALSE(loading->close());
  QTest::keyClick(loading, Qt::Key_Escape);
  EXPECT_TRUE(loading->isVisible());
  w.EndProgress();
  EXPECT_EQ(w.LoadingWindow(), nullptr);

  // A job begun inside another one's event processing shares its window and
  // leaves the panel disabled until the outer job ends.
  w.BeginProgress("Loading...");
  w.EnableRightPanel(false);
  w.BeginProgress("Loading...");
  w.EnableRightPanel(false);
  w.EnableRightPanel(true);
  w.EndProgress();
  EXPECT_NE(w.LoadingWindow(), nullptr);
  EXPECT_FALSE(w.RightPanel->isEnabled());
  w.EnableRightPanel(true);
  w.EndProgress();
  EXPECT_EQ(w.LoadingWindow(), nullptr);
  EXPECT_TRUE(w.RightPanel->isEnabled());
}

TEST_F(MainWindowTest, TheSettingsStayPutAndTheBarOnlyGrowsWhileProcessing) {
  TMainWindow w;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  Open(w, DrawingFixture());
  Pump(20);
  const QPoint mirror = w.CheckMirror->mapTo(&w, QPoint());
  // A recompute on a larger job, watched as the user would see it.
  QList<QPoint> places;
  QList<int> values;
  bool progressSeen = false;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    places << w.CheckMirror->mapTo(&w, QPoint());
    if (w.CalcProgress->isVisibleTo(w.InputGroup)) {
      progressSeen = true;
      values << w.CalcProgress->value();
    }
  });
  probe.start(1);
  w.PrintX->setValue(400);
  ASSERT_TRUE(PumpUntil(
      [&] {
        return progressSeen && w.Levels().WaitUntilIdle(std::chrono::milliseconds(0)) &&
               w.CalcResult->isVisibleTo(w.InputGroup);
      },
      20000));
  probe.stop();
  EXPECT_TRUE(progressSeen);
  EXPECT_EQ(std::count_if(places.begin(), places.end(), [&](QPoint p) { return p != mirror; }), 0)
      << "of " << places.size() << " samples the Mirror box moved";
  for (qsizetype i = 1; i < values.size(); ++i)
    EXPECT_GE(values[i], values[i - 1]) << "at sample " << i;

  // More steps learnt on the way never pull the bar back; a new start does.
  w.SetCalcProgress(7, 10);
  const int share = w.CalcProgress->value();
  w.SetCalcProgress(8, 30);
  EXPECT_EQ(w.CalcProgress->value(), share);
  w.SetCalcProgress(9, 10);
  EXPECT_GT(w.CalcProgress->value(), share);
  w.SetCalcProgress(0, 5);
  EXPECT_EQ(w.CalcProgress->value(), 0);
}

TEST_F(MainWindowTest, GridColumnsFitWhatTheyShowAndKeepTheUsersWidth) {
  TMainWindow w;
  w.show();
  Open(w, DrawingFixture());
  TLevel *level = w.Levels().ByIndex(0);
  ASSERT_NE(level, nullptr);
  const QString name = "Darkslategray with a long name";
  level->SetName(name.toStdString());
  level->SetSpeed(20000);
  w.UpdateGrid();
  const QFontMetrics metrics(w.PowerGrid->font());
  for (int column : {int(ColumnLayer), int(ColumnSpeed)}) {
    QTableWidgetItem *cell = w.PowerGrid->item(0, column);
    QColor fill;
    const QString shown = w.Grid().CellText(column, 0, cell->text(), &fill);
    EXPECT_GE(w.PowerGrid->columnWidth(column), metrics.horizontalAdvance(shown)) << column;
    EXPECT_EQ(cell->toolTip(), shown);
  }
  EXPECT_EQ(w.PowerGrid->item(0, ColumnLayer)->toolTip(), name);
  // The columns outgrow the grid: a scroll bar shows, with room made for it.
  const int room = w.PowerGrid->ScrollBarRoom();
  EXPECT_GT(room, 0);
  EXPECT_EQ(w.PowerGroup->height(),
            (w.PowerGrid->RowHeight() + 1) * (w.PowerGrid->rowCount() + 1) + 58 + room);
  // A width the user dragged stays through refills.
  w.PowerGrid->horizontalHeader()->resizeSection(ColumnPasses, 90);
  w.UpdateGrid();
  EXPECT_EQ(w.PowerGrid->columnWidth(ColumnPasses), 90);
}

TEST_F(MainWindowTest, ThePreviewCentresTheDrawingAndTheLoadingWindowItsOwner) {
  struct TCase {
    QSize Picture;
    TIntSize Output;
    QPoint Offset;
  };
  // Room of 200 x 200 inside the margin: a 2:1 drawing fills the width and
  // leaves 100 pixels above it, half of which go below.
  const TCase cases[] = {{{220, 220}, {400, 200}, {0, -50}},
                         {{220, 220}, {200, 400}, {50, 0}},
                         {{220, 120}, {100, 50}, {0, 0}},
                         {{220, 220}, {0, 0}, {0, 0}}};
  for (const TCase &c : cases)
    EXPECT_EQ(PreviewOffset(c.Picture, c.Output), c.Offset) << c.Output.cx << " x " << c.Output.cy;

  TMainWindow w;
  w.move(200, 150);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.BeginProgress("Loading...");
  Pump(10);
  const QPoint middle = w.LoadingWindow()->geometry().center();
  EXPECT_LE((middle - w.geometry().center()).manhattanLength(), 4);
  w.EndProgress();
}

TEST_F(MainWindowTest, MenuShortcutsRecentFilesAndAbout) {
  QSettings().remove("RecentFiles");
  TMainWindow w;
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  int opened = 0, saved = 0;
  w.OpenDialogHook = [&](QString &, int &) {
    ++opened;
    return false;
  };
  w.SaveDialogHook = [&](const QString &, const QString &) {
    ++saved;
    return QString();
  };
  QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
  QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(saved, 1);
  EXPECT_FALSE(w.Menus().RecentMenu->isEnabled());

  // Newest first, each once; an entry opens its file again.
  const QString first = DrawingFixture("first.svg"), second = SmallFixture();
  Open(w, first);
  Open(w, second);
  Open(w, first);
  EXPECT_EQ(w.Menus().RecentFiles(), QStringList({first, second}));
  ASSERT_EQ(w.Menus().RecentMenu->actions().size(), 2);
  w.Menus().RecentMenu->actions()[1]->trigger();
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  EXPECT_EQ(w.Levels().Job().File.FileName, second.toStdString());
  // A file gone since says so and leaves the list.
  QFile::remove(first);
  w.Menus().RecentMenu->actions()[1]->trigger();
  const QStringList errors = TakeErrors();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains("no longer exists")) << errors[0].toStdString();
  EXPECT_EQ(w.Menus().RecentFiles(), QStringList({second}));
  EXPECT_EQ(w.Levels().Job().File.FileName, second.toStdString());

  // The menu's travel switch is the check box.
  w.Menus().ShowLinesAction->trigger();
  EXPECT_EQ(w.CheckTravel->isChecked(), w.Menus().ShowLinesAction->isChecked());
  w.CheckTravel->toggle();
  EXPECT_EQ(w.CheckTravel->isChecked(), w.Menus().ShowLinesAction->isChecked());

  // Every control the user works with says what it does.
  for (QWidget *control : std::initializer_list<QWidget *>{
           w.OpenButton, w.SaveButton, w.ScaleXBox, w.ScaleYBox, w.PrintX, w.PrintY, w.CheckTravel,
           w.CheckMirror, w.CheckOutline, w.PowerGrid, w.FocusSize, w.IdleSpeedBox, w.OffsetXBox,
           w.OffsetYBox, w.ResetButton, w.LaserOnMemo})
    EXPECT_FALSE(control->toolTip().isEmpty()) << control->metaObject()->className();

  const QString about = QString::fromStdString(TMainMenus::AboutText());
  EXPECT_TRUE(about.contains(BRENNIX_TEST_VERSION)) << about.toStdString();
  EXPECT_TRUE(about.contains("Qt " + QString(qVersion())) || about.contains(qVersion()));
  EXPECT_TRUE(QString::fromStdString(TMainMenus::HelpText()).contains("\"?\""));
}

namespace {

// The millimetres the status bar shows for the cursor, or nothing.
std::optional<QPointF> ShownPosition(const TMainWindow &w) {
  const QRegularExpressionMatch match =
      QRegularExpression(R"(^X (-?[0-9.]+) mm  Y (-?[0-9.]+) mm$)").match(w.CursorLabel->text());
  if (!match.hasMatch())
    return std::nullopt;
  return QPointF(match.captured(1).toDouble(), match.captured(2).toDouble());
}

void MoveOver(TPreviewImage *preview, QPointF at, Qt::MouseButtons buttons = Qt::NoButton) {
  QMouseEvent move(QEvent::MouseMove, at, preview->mapToGlobal(at), Qt::NoButton, buttons,
                   Qt::NoModifier);
  QApplication::sendEvent(preview, &move);
}

void ExpectNear(std::optional<QPointF> got, QPointF expected, double tolerance, const char *what) {
  ASSERT_TRUE(got.has_value()) << what;
  EXPECT_NEAR(got->x(), expected.x(), tolerance) << what;
  EXPECT_NEAR(got->y(), expected.y(), tolerance) << what;
}

} // namespace

TEST_F(MainWindowTest, PreviewZoomsPansAndShowsTheCursorPlaceInMillimetres) {
  TMainWindow w;
  w.resize(900, 600);
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  Open(w, DrawingFixture()); // 200 x 100 mm
  TPreviewImage *preview = w.Preview;
  ASSERT_TRUE(PumpUntil([&] { return !preview->DrawingSize().isEmpty(); }));
  EXPECT_TRUE(w.DrawingSizeLabel->text().contains("200.0 \u00d7 100.0 mm"))
      << w.DrawingSizeLabel->text().toStdString();

  // The drawing sits in the middle of the preview.
  const QRectF drawing =
      PreviewDrawing(preview->Image().size(), w.Levels().Output()).translated(preview->Offset());
  ASSERT_FALSE(drawing.isEmpty());
  const QPointF middle = QRectF(preview->rect()).center();
  EXPECT_LE(std::abs(drawing.center().x() - middle.x()), 1.0);
  EXPECT_LE(std::abs(drawing.center().y() - middle.y()), 1.0);
  // One pixel of the fitted picture, in mm.
  const double pixel = 200 / drawing.width();

  // The status bar tells where the cursor is, Y up from the lower left corner.
  const QPointF quarter(drawing.left() + drawing.width() / 4,
                        drawing.bottom() - drawing.height() / 4);
  MoveOver(preview, quarter);
  ExpectNear(ShownPosition(w), {50, 25}, pixel, "quarter point");
  MoveOver(preview, middle);
  ExpectNear(ShownPosition(w), {100, 50}, pixel, "middle");
  // Off the drawing (the free room above it), nothing.
  MoveOver(preview, {middle.x(), (drawing.top() - preview->rect().top()) / 2});
  EXPECT_EQ(w.CursorLabel->text(), "");

  // The wheel zooms about the cursor: the point under it stays put.
  const QPointF at(drawing.left() + drawing.width() * 0.7, drawing.top() + drawing.height() * 0.2);
  const std::optional<QPointF> before = preview->PositionAt(at);
  ASSERT_TRUE(before.has_value());
  QWheelEvent wheel(at, preview->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(preview, &wheel);
  EXPECT_DOUBLE_EQ(preview->Zoom(), TPreviewImage::ZoomStep);
  ExpectNear(preview->PositionAt(at), *before, pixel / 4, "under the wheel");
  // Zoomed in, a pixel covers less of the drawing.
  const std::optional<QPointF> nextPixel = preview->PositionAt(at + QPointF(10, 0));
  ASSERT_TRUE(nextPixel.has_value());
  EXPECT_NEAR(nextPixel->x() - before->x(), 10 * pixel / TPreviewImage::ZoomStep, pixel / 4);

  // Dragging carries the drawing with the cursor.
  const QPointF grab = at, drop = at + QPointF(-40, 25);
  QMouseEvent press(QEvent::MouseButtonPress, grab, preview->mapToGlobal(grab), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(preview, &press);
  MoveOver(preview, drop, Qt::LeftButton);
  QMouseEvent release(QEvent::MouseButtonRelease, drop, preview->mapToGlobal(drop), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(preview, &release);
  ExpectNear(preview->PositionAt(drop), *before, pixel / 4, "after the drag");
  ExpectNear(ShownPosition(w), *before, pixel, "status after the drag");

  // The keyboard and the View menu zoom about the middle; Fit shows it all again.
  const double zoom = preview->Zoom();
  // The loading window had the focus a moment ago.
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(&w, Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(preview->Zoom(), zoom * TPreviewImage::ZoomStep);
  QTest::keyClick(&w, Qt::Key_Minus, Qt::ControlModifier);
  QTest::keyClick(&w, Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(preview->Zoom(), zoom / TPreviewImage::ZoomStep);
  w.Menus().ZoomInAction->trigger();
  EXPECT_DOUBLE_EQ(preview->Zoom(), zoom);
  w.Menus().FitAction->trigger();
  EXPECT_DOUBLE_EQ(preview->Zoom(), 1.0);
  EXPECT_TRUE(preview->Pan().isNull());
  ExpectNear(preview->PositionAt(quarter), {50, 25}, pixel, "fitted again");

  // A new drawing comes in fitted.
  w.Menus().ZoomInAction->trigger();
  ASSERT_NE(preview->Zoom(), 1.0);
  Open(w, DrawingFixture());
  EXPECT_DOUBLE_EQ(preview->Zoom(), 1.0);
  EXPECT_TRUE(preview->Pan().isNull());
}

TEST_F(MainWindowTest, TheWindowComesBackWhereTheUserLeftIt) {
  const QRect place(60, 40, 1000, 700);
  QList<int> shares;
  {
    TMainWindow w;
    w.setGeometry(place);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // The user widens the settings by 120 pixels.
    shares = w.Splitter->sizes();
    ASSERT_EQ(shares.size(), 2);
    shares = {shares[0] - 120, shares[1] + 120};
    w.Splitter->setSizes(shares);
    Pump(20);
    shares = w.Splitter->sizes();
    EXPECT_GT(w.RightPanel->width(), 353 + 100);
    w.Menus().SaveLayout();
  }
  TMainWindow again;
  again.Menus().RestoreLayout();
  EXPECT_EQ(again.size(), place.size());
  again.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
  EXPECT_EQ(again.Splitter->sizes(), shares);
  QSettings().remove("WindowGeometry");
  QSettings().remove("WindowSplitter");
}

TEST_F(MainWindowTest, BottomStripOpensTheMakersPage) {
  TUrlCatcher catcher;
  QDesktopServices::setUrlHandler("https", &catcher, "Open");
  TMainWindow w;
  w.show();
  auto *thanks = w.findChild<QPushButton *>("ThanksLine");
  ASSERT_NE(thanks, nullptr);
  EXPECT_EQ(thanks->text(), "Th&ank you for your support!");
  thanks->click();
  QTest::mouseClick(w.findChild<QLabel *>("SiteImage"), Qt::LeftButton);
  QDesktopServices::unsetUrlHandler("https");
  EXPECT_EQ(catcher.Urls, QList<QUrl>({QUrl(MakerPage), QUrl(MakerPage)}));
}

TEST_F(MainWindowTest, ClosingWhileTheWorkerRunsEndsPromptly) {
  QElapsedTimer timer;
  {
    TMainWindow w;
    w.show();
    const QString path = DrawingFixture();
    w.OpenDialogHook = [path](QString &file, int &index) {
      file = path;
      index = 1;
      return true;
    };
    w.OpenButtonClick();      // the worker starts on the new drawing at once
    w.PrintX->setValue(2000); // and on a large job after that
    Pump(30);
    timer.start();
  }
  EXPECT_LT(timer.elapsed(), 3000);
}

#include "MainWindowTest.moc"
