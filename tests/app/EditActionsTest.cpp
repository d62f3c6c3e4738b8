// Undo and redo in the window: what an edit changed comes back exactly, in
// the controls, the settings store and the G-code written.

#include "AppTest.h"

#include <fstream>
#include <functional>
#include <sstream>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/EditActions.h"
#include "app/GerberWindow.h"
#include "app/MainWindow.h"
#include "app/PowerGrid.h"
#include "app/PreviewImage.h"
#include "app/RasterModeBox.h"
#include "core/Level.h"
#include "core/Levels.h"
#include "settings/BrennixSettings.h"
#include "settings/MachineSettings.h"
#include "settings/RasterModeSettings.h"

namespace {

// Rows of the drawing fixture: the red square, its shells, the blue line.
constexpr int AreaRow = 0, LinesRow = 2;

class EditActionsTest : public TWindowTest {
protected:
  void SetUp() override {
    TWindowTest::SetUp();
    W = std::make_unique<TMainWindow>();
    W->show();
    W->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(W.get()));
    Open(DrawingFixture());
  }
  void TearDown() override {
    W.reset();
    TWindowTest::TearDown();
  }

  void Open(const QString &path) {
    W->OpenDialogHook = [path](QString &file, int &index) {
      file = path;
      index = 1;
      return true;
    };
    W->OpenButtonClick();
    Settle();
    Activate();
  }
  // The loading window has the focus while it is up; keys and focus
  // changes go to the window again.
  void Activate() {
    QApplication::setActiveWindow(W.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(W.get()));
  }
  // Lets the snapshot, the idle queue and the cycle finish.
  void Settle() {
    Pump(30);
    ASSERT_TRUE(W->Levels().WaitUntilIdle());
    Pump(30);
  }
  std::string Gcode() {
    Settle();
    const QString path = TestFolder() + "/undo.gcode";
    W->SaveDialogHook = [path](const QString &, const QString &) { return path; };
    W->SaveButtonClick();
    Activate();
    std::ifstream file(path.toStdString(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  // Edits a cell through its editor, as the user types into it.
  void EditCell(int row, int column, const QString &text) {
    W->PowerGrid->setFocus();
    W->PowerGrid->setCurrentCell(row, column);
    // The cell's own editor: the one it left may still be on its way out.
    QLineEdit *editor = nullptr;
    for (QLineEdit *open : W->PowerGrid->viewport()->findChildren<QLineEdit *>())
      if (open->isVisible())
        editor = open;
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    Settle();
  }
  QString Cell(int row, int column) const { return W->PowerGrid->item(row, column)->text(); }
  TEditActions &Edits() const { return W->Edits(); }
  void Undo() {
    ASSERT_TRUE(Edits().UndoAction->isEnabled());
    Edits().UndoAction->trigger();
    Settle();
  }
  void Redo() {
    ASSERT_TRUE(Edits().RedoAction->isEnabled());
    Edits().RedoAction->trigger();
    Settle();
  }

  std::unique_ptr<TMainWindow> W;
};

} // namespace

TEST_F(EditActionsTest, UndoOfAGridEditRestoresTheCellAndTheGcode) {
  EXPECT_FALSE(Edits().UndoAction->isEnabled());
  EXPECT_FALSE(Edits().RedoAction->isEnabled());
  const QString speed = Cell(LinesRow, ColumnSpeed);
  const std::string before = Gcode();
  ASSERT_NE(before.find("M106"), std::string::npos);

  EditCell(LinesRow, ColumnSpeed, "2.5");
  ASSERT_EQ(Cell(LinesRow, ColumnSpeed), "2.5");
  const std::string edited = Gcode();
  ASSERT_NE(edited, before);
  EXPECT_EQ(Edits().History().UndoCount(), 1u);

  Undo();
  EXPECT_EQ(Cell(LinesRow, ColumnSpeed), speed);
  EXPECT_EQ(W->Levels().ByIndex(LinesRow)->Speed(), Edits().History().Current().Levels[2].Speed);
  EXPECT_EQ(Gcode(), before);
  EXPECT_FALSE(Edits().UndoAction->isEnabled());

  Redo();
  EXPECT_EQ(Cell(LinesRow, ColumnSpeed), "2.5");
  EXPECT_EQ(Gcode(), edited);

  // A new edit after undo drops what could be redone.
  Undo();
  EditCell(LinesRow, ColumnPasses, "3");
  EXPECT_FALSE(Edits().RedoAction->isEnabled());
  EXPECT_EQ(Edits().History().RedoCount(), 0u);
  Undo();
  EXPECT_EQ(Gcode(), before);
}

TEST_F(EditActionsTest, UndoOfJobSettingsRestoresControlsStoreAndGcode) {
  struct TCase {
    const char *Name;
    std::function<void(TMainWindow &)> Edit;
  };
  const TCase cases[] = {
      {"area switched off", [](TMainWindow &w) { w.PowerGrid->OnCellClick(ColumnPrint, AreaRow); }},
      {"mirror", [](TMainWindow &w) { w.CheckMirror->click(); }},
      {"outline only", [](TMainWindow &w) { w.CheckOutline->click(); }},
      {"scale", [](TMainWindow &w) { w.ScaleXBox->setValue(50); }},
      {"print size", [](TMainWindow &w) { w.PrintY->setValue(33.33); }},
      {"offset", [](TMainWindow &w) { w.OffsetXBox->setValue(12.5); }},
      {"print from centre", [](TMainWindow &w) { w.OffsetCenterBox->click(); }},
      {"idle speed", [](TMainWindow &w) { w.IdleSpeedBox->setValue(40); }},
      {"template", [](TMainWindow &w) { w.HeadMoveMemo->setPlainText("G0 X? Y?\nG4 P1"); }},
      {"firmware preset",
       [](TMainWindow &w) { w.ProfileBox->setCurrentIndex(w.ProfileBox->findData("grbl")); }},
      {"power range", [](TMainWindow &w) { w.PowerMaximumBox->setValue(1000); }},
      {"reset",
       [](TMainWindow &w) {
         w.OffsetYBox->setValue(7);
         w.ResetButtonClick();
       }},
  };
  W->OffsetYBox->setValue(3);
  Settle();
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    const TJobSnapshot state = Edits().Capture();
    const std::string before = Gcode();
    const std::size_t steps = Edits().History().UndoCount();
    c.Edit(*W);
    const std::string edited = Gcode();
    ASSERT_NE(edited, before);
    EXPECT_EQ(Edits().History().UndoCount(), steps + 1);

    Undo();
    EXPECT_EQ(Edits().Capture(), state);
    EXPECT_EQ(Gcode(), before);
    // The store holds what the controls show, as after the user's own edit.
    TBrennixSettings stored;
    EXPECT_EQ(stored.OffsetX->Value(), W->OffsetXBox->value());
    EXPECT_EQ(stored.OffsetY->Value(), W->OffsetYBox->value());
    EXPECT_EQ(stored.IdleTravel->Value(), W->IdleSpeedBox->value());
    EXPECT_EQ(stored.OffsetCenter->Value(), W->OffsetCenterBox->isChecked());
    EXPECT_EQ(stored.Templates[tkHeadMove]->Value(), "G1 X? Y?");
    EXPECT_EQ(TMachineSettings().Read().Name, W->Profile().Name);
    EXPECT_EQ(TMachineSettings().Read().PowerMaximum, W->Profile().PowerMaximum);

    Redo();
    EXPECT_EQ(Gcode(), edited);
    Undo();
    EXPECT_EQ(Gcode(), before);
  }
}

TEST_F(EditActionsTest, TypingIntoABoxIsOneStepUntilItIsLeft) {
  W->OffsetXBox->setFocus();
  QLineEdit *line = W->OffsetXBox->findChild<QLineEdit *>();
  ASSERT_NE(line, nullptr);
  line->selectAll();
  QTest::keyClicks(W->OffsetXBox, "123");
  Settle();
  EXPECT_EQ(W->OffsetXBox->value(), 123);
  EXPECT_EQ(Edits().History().UndoCount(), 1u);
  // Enter ends the value: the next one typed is a step of its own.
  QTest::keyClick(W->OffsetXBox, Qt::Key_Return);
  line->selectAll();
  QTest::keyClicks(W->OffsetXBox, "45");
  Settle();
  EXPECT_EQ(Edits().History().UndoCount(), 2u);
  W->PowerGrid->setFocus();
  Undo();
  EXPECT_EQ(W->OffsetXBox->value(), 123);
  Undo();
  EXPECT_EQ(W->OffsetXBox->value(), 0);
  EXPECT_EQ(TBrennixSettings().OffsetX->Value(), 0);

  // In the box itself Ctrl+Z and Ctrl+Shift+Z are the history's: what was
  // typed comes back with redo.
  W->ScaleXBox->setFocus();
  ASSERT_TRUE(W->ScaleXBox->hasFocus());
  W->ScaleXBox->selectAll();
  QTest::keyClicks(W->ScaleXBox, "50");
  Settle();
  ASSERT_EQ(W->ScaleXBox->value(), 50);
  QTest::keyClick(W->ScaleXBox, Qt::Key_Z, Qt::ControlModifier);
  Settle();
  EXPECT_EQ(W->ScaleXBox->value(), 100);
  EXPECT_EQ(Edits().History().RedoCount(), 1u);
  QTest::keyClick(W->ScaleXBox, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  Settle();
  EXPECT_EQ(W->ScaleXBox->value(), 50);
  EXPECT_EQ(W->PrintX->value(), 100);
  EXPECT_EQ(Edits().History().RedoCount(), 0u);
}

TEST_F(EditActionsTest, UndoOfAFocusChangeReadsTheDrawingAgainAndKeepsTheGridEdits) {
  EditCell(AreaRow, ColumnPower, "40");
  const std::string before = Gcode();
  const TJobSnapshot state = Edits().Capture();
  W->ShowConfiguration->setChecked(true);
  ASSERT_TRUE(PumpUntil([&] { return W->FocusSize->isVisible(); }));
  W->FocusSize->setFocus();
  W->FocusSize->findChild<QLineEdit *>()->selectAll();
  QTest::keyClicks(W->FocusSize, "0.35");
  W->PowerGrid->setFocus(); // leaving the box reads the drawing again
  Settle();
  ASSERT_EQ(W->Levels().Focus(), 35);
  const std::string edited = Gcode();
  ASSERT_NE(edited, before);

  Undo();
  EXPECT_EQ(W->FocusSize->value(), 0.2);
  EXPECT_EQ(TBrennixSettings().MicroFocusSize->Value(), 200);
  EXPECT_EQ(Cell(AreaRow, ColumnPower), "40");
  EXPECT_EQ(Edits().Capture(), state);
  EXPECT_EQ(Gcode(), before);
  Redo();
  EXPECT_EQ(Gcode(), edited);
}

TEST_F(EditActionsTest, OpeningADrawingClearsTheHistory) {
  EditCell(LinesRow, ColumnSpeed, "2.5");
  EditCell(LinesRow, ColumnPasses, "2");
  Undo();
  ASSERT_TRUE(Edits().RedoAction->isEnabled());
  // A file that cannot be read leaves the job, and so its steps, as they were.
  W->Preview->OnDropped(TestFolder() + "/missing.svg");
  Settle();
  EXPECT_EQ(TakeErrors().size(), 1);
  EXPECT_EQ(Edits().History().UndoCount(), 1u);
  EXPECT_EQ(Edits().History().RedoCount(), 1u);
  Open(SmallFixture());
  EXPECT_FALSE(Edits().History().CanUndo());
  EXPECT_FALSE(Edits().History().CanRedo());
  EXPECT_FALSE(Edits().UndoAction->isEnabled());
  EXPECT_FALSE(Edits().RedoAction->isEnabled());
  // The first edit of the new drawing goes back to its own state.
  const std::string before = Gcode();
  EditCell(0, ColumnSpeed, "7");
  Undo();
  EXPECT_EQ(Gcode(), before);
}

TEST_F(EditActionsTest, ShortcutsAndTheEditMenu) {
  const QList<QAction *> menus = W->menuBar()->actions();
  ASSERT_GE(menus.size(), 3);
  EXPECT_EQ(menus[1]->menu(), Edits().EditMenu);
  EXPECT_EQ(Edits().UndoAction->shortcut(), QKeySequence(QKeySequence::Undo));

  const QString speed = Cell(LinesRow, ColumnSpeed);
  EditCell(LinesRow, ColumnSpeed, "2.5");
  struct TKey {
    const char *Name;
    int Key;
    Qt::KeyboardModifiers Modifiers;
    const char *Speed; // the cell after the key
  };
  const TKey keys[] = {
      {"Ctrl+Z undoes", Qt::Key_Z, Qt::ControlModifier, nullptr},
      {"Ctrl+Shift+Z redoes", Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, "2.5"},
      {"Ctrl+Z again", Qt::Key_Z, Qt::ControlModifier, nullptr},
      {"Ctrl+Y redoes", Qt::Key_Y, Qt::ControlModifier, "2.5"},
  };
  int column = ColumnPasses;
  for (const TKey &k : keys) {
    SCOPED_TRACE(k.Name);
    // The cursor on another cell opens its editor, which has the keys:
    // untouched, it leaves them to the history.
    W->PowerGrid->setFocus();
    column = column == ColumnPasses ? ColumnPower : ColumnPasses;
    W->PowerGrid->setCurrentCell(AreaRow, column);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, static_cast<Qt::Key>(k.Key), k.Modifiers);
    Settle();
    EXPECT_EQ(Cell(LinesRow, ColumnSpeed), k.Speed ? QString(k.Speed) : speed);
  }

  // Typed into, the editor's own undo takes back the typing first.
  W->PowerGrid->setCurrentCell(AreaRow, ColumnPasses);
  auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  const QString passes = editor->text();
  QTest::keyClicks(editor, "9");
  QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
  Settle();
  EXPECT_EQ(editor->text(), passes);
  EXPECT_EQ(Cell(LinesRow, ColumnSpeed), "2.5");
}

TEST_F(EditActionsTest, UndoOfAPictureModeBringsBackTheColourLevelsAndTheirEdits) {
  // 40 by 30 pixels: a dark and a mid-gray block on white.
  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.fillRect(2, 2, 16, 26, QColor(20, 20, 20));
  painter.fillRect(22, 2, 16, 26, QColor(128, 128, 128));
  painter.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "PNG");
  Open(WriteFixture("blocks.png", bytes.toStdString()));
  ASSERT_TRUE(W->RasterBox->isVisible());
  ASSERT_EQ(W->RasterBox->Settings().Mode, TRasterMode::ColourLevels);
  EditCell(0, ColumnPower, "60");
  const QString power = Cell(0, ColumnPower);
  const std::string before = Gcode();
  const TJobSnapshot state = Edits().Capture();

  W->RasterBox->ModeBox->setCurrentIndex(static_cast<int>(TRasterMode::Dithered));
  const std::string dithered = Gcode();
  ASSERT_NE(dithered, before);
  ASSERT_NE(Edits().Capture().Levels, state.Levels);

  Undo();
  EXPECT_EQ(W->RasterBox->ModeBox->currentIndex(), static_cast<int>(TRasterMode::ColourLevels));
  EXPECT_EQ(TRasterModeSettings().Read().Mode, TRasterMode::ColourLevels);
  EXPECT_EQ(Cell(0, ColumnPower), power);
  EXPECT_EQ(Edits().Capture(), state);
  EXPECT_EQ(Gcode(), before);
  Redo();
  EXPECT_EQ(Gcode(), dithered);
}

TEST_F(EditActionsTest, TheBoardOutlineChosenAfterOpeningIsWhereUndoStops) {
  // A 10 mm copper square; the options window that follows is answered
  // with an outline 2 mm around the copper, which adds levels to the job.
  const QString copper =
      WriteFixture("copper.gbr", "%FSLAX26Y26*%\n%MOMM*%\nG36*\nX0Y0D02*\nX10000000Y0D01*\n"
                                 "X10000000Y10000000D01*\nX0Y10000000D01*\nX0Y0D01*\nG37*\nM02*\n");
  bool answered = false;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto *dialog = dynamic_cast<TGerberWindow *>(QApplication::activeModalWidget())) {
      dialog->OffsetRadio->setChecked(true);
      dialog->OffsetSize->setValue(2);
      dialog->ApplyButtonClick();
      answered = true;
    }
  });
  answer.start(20);
  Open(copper);
  ASSERT_TRUE(PumpUntil([&] { return answered && !QApplication::activeModalWidget(); }));
  answer.stop();
  Settle();
  Activate();
  const int levels = W->Levels().Count();
  ASSERT_GT(levels, 2);
  EXPECT_FALSE(Edits().History().CanUndo());
  const std::string before = Gcode();

  // The shells of the board around the copper: they burn the whole of it.
  int clear = 0;
  while (W->Levels().ByIndex(clear) && (W->Levels().ByIndex(clear)->Name() != "Clear" ||
                                        W->Levels().ByIndex(clear)->Kind() != lkPerimeter))
    ++clear;
  ASSERT_NE(W->Levels().ByIndex(clear), nullptr);
  EditCell(clear, ColumnSpeed, "7");
  ASSERT_TRUE(Gcode() != before);
  Undo();
  EXPECT_EQ(W->Levels().Count(), levels);
  EXPECT_TRUE(Gcode() == before);
  EXPECT_FALSE(Edits().UndoAction->isEnabled());
}
