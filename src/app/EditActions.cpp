#include "EditActions.h"

#include <utility>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include "MainWindow.h"
#include "Menus.h"
#include "PowerGrid.h"
#include "RasterModeBox.h"
#include "ZelUtils.h"
#include "core/IdleExecution.h"
#include "core/Levels.h"

namespace {

// The memo's text as the job sees it: lines joined by CR LF.
std::string MemoJobText(const QPlainTextEdit *memo) {
  return memo->toPlainText().replace("\n", "\r\n").toStdString();
}

void WriteMemo(QPlainTextEdit *memo, const std::string &text) {
  if (MemoJobText(memo) != text)
    memo->setPlainText(QString::fromStdString(text).replace("\r\n", "\n"));
}

template <class TBox, class TValue> void WriteBox(TBox *box, TValue value) {
  if (box->value() != value)
    box->setValue(value);
}

void WriteCheck(QCheckBox *check, bool value) {
  if (check->isChecked() != value)
    check->setChecked(value);
}

void WriteIndex(QComboBox *box, int index) {
  if (index >= 0 && box->currentIndex() != index)
    box->setCurrentIndex(index);
}

} // namespace

TEditActions::TEditActions(TMainWindow &window) : FWindow(window) {
  FFlushTimer.setSingleShot(true);
  connect(&FFlushTimer, &QTimer::timeout, this, [this] { Guarded([this] { Flush(); }); });

  EditMenu = new QMenu("&Edit", &window);
  UndoAction = EditMenu->addAction("&Undo");
  UndoAction->setShortcut(QKeySequence::Undo);
  RedoAction = EditMenu->addAction("&Redo");
  // Ctrl+Y as well: what users of other desktops reach for.
  RedoAction->setShortcuts({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")});
  UndoAction->setToolTip("Take back the last change of a level or a job setting");
  RedoAction->setToolTip("Make the change taken back again");
  connect(UndoAction, &QAction::triggered, this, [this] { Guarded([this] { Undo(); }); });
  connect(RedoAction, &QAction::triggered, this, [this] { Guarded([this] { Redo(); }); });
  QMenuBar *bar = window.menuBar();
  bar->insertMenu(window.Menus().ViewMenu->menuAction(), EditMenu);
  window.RightPanel->installEventFilter(this);
  window.PowerGrid->viewport()->installEventFilter(this);

  Watch();
  FHistory.Reset(Capture());
  UpdateActions();
}

TEditActions::~TEditActions() {
  // The grid outlives this: it calls the window's handlers alone again.
  FWindow.PowerGrid->OnCellClick = std::move(FCellClick);
  FWindow.PowerGrid->OnEditingDone = std::move(FEditingDone);
}

void TEditActions::Watch() {
  TMainWindow &w = FWindow;
  // Typed into: their changes merge into one step until the box is left.
  const std::pair<QDoubleSpinBox *, const char *> numbers[] = {
      {w.ScaleXBox, "ScaleX"},
      {w.ScaleYBox, "ScaleY"},
      {w.PrintX, "PrintX"},
      {w.PrintY, "PrintY"},
      {w.OffsetXBox, "OffsetX"},
      {w.OffsetYBox, "OffsetY"},
      {w.FocusSize, "Focus"},
      {w.IdleSpeedBox, "IdleSpeed"},
      {w.PowerMaximumBox, "PowerMaximum"},
      {w.BedWidthBox, "BedWidth"},
      {w.BedHeightBox, "BedHeight"},
      {w.AccelerationBox, "Acceleration"},
      {w.RasterBox->ContrastBox, "Contrast"},
      {w.RasterBox->BrightnessBox, "Brightness"},
      {w.RasterBox->GammaBox, "Gamma"},
      {w.RasterBox->PowerGammaBox, "PowerGamma"},
      {w.RasterBox->OverscanBox, "Overscan"},
  };
  for (const auto &[box, name] : numbers) {
    const std::string field = name;
    connect(box, &QDoubleSpinBox::valueChanged, this, [this, field] { Changed(field); });
    connect(box, &QAbstractSpinBox::editingFinished, this, [this] { FHistory.Seal(); });
    WatchKeys(box);
  }
  const std::pair<QSpinBox *, const char *> wholes[] = {
      {w.PowerDecimalsBox, "PowerDecimals"},
      {w.RasterBox->GrayLevelsBox, "GrayLevels"},
      {w.RasterBox->MinPowerBox, "MinPower"},
      {w.RasterBox->MaxPowerBox, "MaxPower"},
  };
  for (const auto &[box, name] : wholes) {
    const std::string field = name;
    connect(box, &QSpinBox::valueChanged, this, [this, field] { Changed(field); });
    connect(box, &QAbstractSpinBox::editingFinished, this, [this] { FHistory.Seal(); });
    WatchKeys(box);
  }
  for (const TTemplateInfo &info : TemplateTable) {
    const std::string field = info.Name;
    connect(w.TemplateMemos[info.Kind], &QPlainTextEdit::textChanged, this,
            [this, field] { Changed(field); });
  }
  connect(w.TravelMoveMemo, &QPlainTextEdit::textChanged, this, [this] { Changed("TravelMove"); });
  // One click, one step.
  for (QCheckBox *check :
       {w.CheckMirror, w.CheckOutline, w.OffsetCenterBox, w.RasterBox->OverscanCheck})
    connect(check, &QCheckBox::toggled, this, [this] { Changed({}); });
  for (QComboBox *box : {w.ProfileBox, w.RasterBox->ModeBox, w.RasterBox->KernelBox})
    connect(box, &QComboBox::currentIndexChanged, this, [this] { Changed({}); });
  connect(w.ResetButton, &QPushButton::clicked, this, [this] { Changed({}); });
  // A typed value is complete once the keyboard focus moves on.
  connect(qApp, &QApplication::focusChanged, this, [this] {
    Guarded([this] {
      Flush();
      FHistory.Seal();
    });
  });

  TPowerGrid *grid = w.PowerGrid;
  FCellClick = grid->OnCellClick;
  FEditingDone = grid->OnEditingDone;
  grid->OnCellClick = [this](int column, int row) {
    if (FCellClick)
      FCellClick(column, row);
    Changed({});
  };
  grid->OnEditingDone = [this](int column, int row) {
    if (FEditingDone)
      FEditingDone(column, row);
    Changed({});
  };
}

void TEditActions::WatchKeys(QAbstractSpinBox *box) {
  // Only where the value follows every keystroke; a box that takes its
  // value on Enter keeps Ctrl+Z for what is typed and not yet taken.
  if (box->keyboardTracking()) {
    FNumberBoxes.insert(box);
    box->installEventFilter(this);
  }
}

TJobSnapshot TEditActions::Capture() const {
  const TMainWindow &w = FWindow;
  TJobSnapshot state;
  state.Levels = TakeLevelSettings(w.Levels());
  TEditedSettings &s = state.Settings;
  s.ScaleX = w.ScaleXBox->value();
  s.ScaleY = w.ScaleYBox->value();
  s.PrintX = w.PrintX->value();
  s.PrintY = w.PrintY->value();
  s.Mirror = w.CheckMirror->isChecked();
  s.Outline = w.CheckOutline->isChecked();
  s.Focus = w.FocusSize->value();
  s.OffsetX = w.OffsetXBox->value();
  s.OffsetY = w.OffsetYBox->value();
  s.IdleSpeed = w.IdleSpeedBox->value();
  s.OffsetCenter = w.OffsetCenterBox->isChecked();
  s.Templates = w.Templates();
  s.Profile = w.Profile();
  s.Raster = w.RasterBox->Settings();
  return state;
}

bool TEditActions::Free() const {
  // A load, a save or the board-outline dialog is under way: the job is
  // not the user's to change, nor whole enough to be taken as a step.
  return FWindow.RightPanel->isEnabled() && !FWindow.Levels().Reading();
}

void TEditActions::Changed(const std::string &field) {
  // Program code writing the controls, or this class putting a state back.
  if (FRestoring || FWindow.CodeEdit())
    return;
  if (!FPending) {
    FPending = true;
    FPendingField = field;
  } else if (FPendingField != field) {
    FPendingField.clear();
  }
  FFlushTimer.start(0);
  // A step is coming: Ctrl+Z must find the action enabled at once.
  UndoAction->setEnabled(Free());
  RedoAction->setEnabled(false);
}

void TEditActions::Flush() {
  if (!FPending)
    return;
  if (!Free()) {
    FFlushTimer.start(50);
    return;
  }
  FPending = false;
  FHistory.Edited(Capture(), FPendingField);
  FPendingField.clear();
  UpdateActions();
}

void TEditActions::DrawingLoaded() {
  FPending = false;
  FFlushTimer.stop();
  FHistory.Reset(Capture());
  UpdateActions();
  AmendWhenIdle();
}

void TEditActions::DrawingRead() {
  if (FRestoring)
    return;
  AmendWhenIdle();
}

void TEditActions::AmendWhenIdle() {
  ::ExecuteInIdle([actions = QPointer<TEditActions>(this)] {
    if (!actions)
      return;
    if (!actions->Free()) {
      actions->AmendWhenIdle();
      return;
    }
    // An edit that asked for the read is a step of its own; the read then
    // belongs to it.
    actions->Flush();
    actions->FHistory.Amend(actions->Capture());
  });
}

void TEditActions::Undo() { Step(true); }
void TEditActions::Redo() { Step(false); }

void TEditActions::Step(bool back) {
  if (!Free())
    return;
  FFlushTimer.stop();
  Flush();
  const auto state = back ? FHistory.Undo() : FHistory.Redo();
  if (state)
    Restore(*state);
  UpdateActions();
}

void TEditActions::Restore(const TJobSnapshot &state) {
  struct TRestoring {
    TEditActions *Actions;
    explicit TRestoring(TEditActions *actions) : Actions(actions) { Actions->FRestoring = true; }
    ~TRestoring() {
      Actions->FRestoring = false;
      // What the controls settled on (a box's range, a failed read) is the
      // state shown from now on.
      Actions->FHistory.Amend(Actions->Capture());
    }
  } restoring(this);
  RestoreSettings(state.Settings);
  // Last: reading the drawing again for a focus or picture mode gives every
  // level its defaults.
  if (RestoreLevelSettings(FWindow.Levels(), state.Levels))
    FWindow.UpdateGrid();
}

void TEditActions::RestoreSettings(const TEditedSettings &s) {
  // Through the controls, as the user would: their handlers keep the store,
  // the levels and the cycle in step exactly as for the edit itself.
  TMainWindow &w = FWindow;
  TRasterModeBox &raster = *w.RasterBox;
  const TRasterSettings &r = s.Raster;
  WriteIndex(raster.ModeBox, static_cast<int>(r.Mode));
  WriteIndex(raster.KernelBox, static_cast<int>(r.Kernel));
  WriteBox(raster.GrayLevelsBox, r.GrayLevels);
  WriteBox(raster.ContrastBox, r.Contrast);
  WriteBox(raster.BrightnessBox, r.Brightness);
  WriteBox(raster.GammaBox, r.Gamma);
  WriteBox(raster.MaxPowerBox, r.MaxPower);
  WriteBox(raster.MinPowerBox, r.MinPower);
  WriteBox(raster.PowerGammaBox, r.PowerGamma);
  WriteCheck(raster.OverscanCheck, r.Overscan);
  WriteBox(raster.OverscanBox, r.OverscanMM);

  // A preset writes its templates and power range; those that differ from
  // it come after.
  WriteIndex(w.ProfileBox, w.ProfileBox->findData(QString::fromStdString(s.Profile.Name)));
  WriteBox(w.PowerMaximumBox, s.Profile.PowerMaximum);
  WriteBox(w.PowerDecimalsBox, s.Profile.PowerDecimals);
  WriteMemo(w.TravelMoveMemo, s.Profile.TravelMove);
  WriteBox(w.BedWidthBox, s.Profile.BedWidth);
  WriteBox(w.BedHeightBox, s.Profile.BedHeight);
  WriteBox(w.AccelerationBox, s.Profile.Acceleration);
  for (const TTemplateInfo &info : TemplateTable)
    WriteMemo(w.TemplateMemos[info.Kind], s.Templates[info.Kind]);

  if (w.FocusSize->value() != s.Focus) {
    w.FocusSize->setValue(s.Focus);
    w.FocusSizeExit();
  }

  // The print size decides the output; the scale box is written first so
  // that the print size's handler has the last word on both.
  WriteBox(w.ScaleXBox, s.ScaleX);
  WriteBox(w.PrintX, s.PrintX);
  WriteBox(w.ScaleYBox, s.ScaleY);
  WriteBox(w.PrintY, s.PrintY);
  WriteCheck(w.CheckMirror, s.Mirror);
  WriteCheck(w.CheckOutline, s.Outline);
  WriteBox(w.OffsetXBox, s.OffsetX);
  WriteBox(w.OffsetYBox, s.OffsetY);
  WriteCheck(w.OffsetCenterBox, s.OffsetCenter);
  WriteBox(w.IdleSpeedBox, s.IdleSpeed);
}

void TEditActions::UpdateActions() {
  const bool free = Free();
  UndoAction->setEnabled(free && (FHistory.CanUndo() || FPending));
  RedoAction->setEnabled(free && FHistory.CanRedo() && !FPending);
}

bool TEditActions::HistoryKey(QEvent *event) const {
  const QKeySequence pressed(static_cast<QKeyEvent *>(event)->keyCombination());
  return pressed == UndoAction->shortcut() || RedoAction->shortcuts().contains(pressed);
}

bool TEditActions::eventFilter(QObject *watched, QEvent *event) {
  TPowerGrid *grid = FWindow.PowerGrid;
  if (watched == FWindow.RightPanel && event->type() == QEvent::EnabledChange) {
    UpdateActions();
  } else if (watched == grid->viewport() && event->type() == QEvent::ChildAdded) {
    // The grid keeps a cell editor open wherever the cursor is. Not built
    // whole yet: what it is, is asked when a key comes.
    static_cast<QChildEvent *>(event)->child()->installEventFilter(this);
  } else if (event->type() == QEvent::ShortcutOverride && HistoryKey(event)) {
    // An editor with nothing typed into it leaves Ctrl+Z to the job's
    // history, so that undo after a cell edit takes the edit back; with
    // text typed, the editor's own undo takes back the typing first. A
    // number box has its value as soon as it is typed: the history's step
    // holds it, and redo can bring it back.
    const auto *editor = qobject_cast<QLineEdit *>(watched);
    const QTableWidgetItem *cell = grid->currentItem();
    const bool untouched =
        watched->parent() == grid->viewport() && editor && cell && editor->text() == cell->text();
    if (untouched || FNumberBoxes.contains(watched)) {
      event->ignore();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}
