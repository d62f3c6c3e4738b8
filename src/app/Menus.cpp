// The menu bar: the commands of the buttons with their usual shortcuts, the
// files opened last, the preview switches and the program's own help.

#include <utility>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>

#include "MainWindow.h"
#include "Menus.h"
#include "PowerGrid.h"
#include "PreviewImage.h"
#include "ZelUtils.h"

namespace {

constexpr int RecentCount = 8;
const char *const RecentKey = "RecentFiles";
const char *const GeometryKey = "WindowGeometry";
const char *const SplitterKey = "WindowSplitter";

} // namespace

TMainMenus::TMainMenus(TMainWindow &window, std::function<void(const QString &)> openFile)
    : FWindow(window), FOpenFile(std::move(openFile)) {
  SetToolTips();
  Build();
}

void TMainMenus::SetToolTips() {
  TMainWindow &w = FWindow;
  const std::pair<QWidget *, const char *> tips[] = {
      {w.OpenButton, "Open a drawing, picture, circuit board layer or 3D model (Ctrl+O)"},
      {w.SaveButton, "Write the job as G-code for the laser (Ctrl+S)"},
      {w.OriginalX, "Width of the drawing as read, in mm"},
      {w.OriginalY, "Height of the drawing as read, in mm"},
      {w.ScaleXBox, "Scale the width, in percent of the drawing's own size"},
      {w.ScaleYBox, "Scale the height, in percent of the drawing's own size"},
      {w.PrintX, "Width of the burnt job in mm"},
      {w.PrintY, "Height of the burnt job in mm"},
      {w.CheckTravel, "Show the moves between burns in the preview"},
      {w.CheckMirror, "Burn the job mirrored left to right (for the back of glass or foil)"},
      {w.CheckOutline, "Burn only the frame around the job, to see where it lies"},
      {w.CalcResult, "Time the burning moves take at the set speeds and passes"},
      {w.PowerGrid, "Per level: on or off, speed, passes and power. Click a cell to edit it"},
      {w.ShowConfiguration, "Show the G-code the job is written with"},
      {w.OffsetXBox, "Shift the whole job right by this many mm"},
      {w.OffsetYBox, "Shift the whole job up by this many mm"},
      {w.OffsetCenterBox, "Place the job's middle, not its lower left corner, at the origin"},
      {w.FocusSize, "Diameter of the laser spot: sets hatch spacing and line widths"},
      {w.IdleSpeedBox, "Speed of moves with the laser off"},
      {w.ResetButton, "Put the G-code settings back to their defaults"},
      {w.Preview, "The job as it will be burnt; drop a file here to open it"},
  };
  for (const auto &[widget, tip] : tips)
    if (widget)
      widget->setToolTip(tip);
  for (QPlainTextEdit *memo : w.TemplateMemos)
    memo->setToolTip("G-code lines; each \"?\" is replaced by a number (Help explains which)");
}

void TMainMenus::Build() {
  TMainWindow *w = &FWindow;
  auto guarded = [w](auto handler) { return [w, handler] { Guarded([&] { (w->*handler)(); }); }; };
  QMenu *file = w->menuBar()->addMenu("&File");
  OpenAction = file->addAction("&Open Graphics...", w, guarded(&TMainWindow::OpenButtonClick));
  OpenAction->setShortcut(QKeySequence::Open);
  RecentMenu = file->addMenu("Open &Recent");
  SaveAction = file->addAction("&Save G-code...", w, guarded(&TMainWindow::SaveButtonClick));
  SaveAction->setShortcut(QKeySequence::Save);
  file->addSeparator();
  QuitAction = file->addAction("&Quit", w, [w] { w->close(); });
  QuitAction->setShortcut(QKeySequence::Quit);

  ViewMenu = w->menuBar()->addMenu("&View");
  ShowLinesAction = ViewMenu->addAction("Show &Lines (travel moves)");
  ShowLinesAction->setCheckable(true);
  ShowLinesAction->setChecked(w->CheckTravel->isChecked());
  QObject::connect(ShowLinesAction, &QAction::toggled, w->CheckTravel, &QCheckBox::setChecked);
  QObject::connect(w->CheckTravel, &QCheckBox::toggled, ShowLinesAction, &QAction::setChecked);
  ViewMenu->addSeparator();
  TPreviewImage *preview = w->Preview;
  ZoomInAction = ViewMenu->addAction("Zoom &In", preview, [preview] { preview->ZoomIn(); });
  // Ctrl+= too: on many keyboards "+" needs Shift.
  ZoomInAction->setShortcuts({QKeySequence::ZoomIn, QKeySequence("Ctrl+=")});
  ZoomOutAction = ViewMenu->addAction("Zoom &Out", preview, [preview] { preview->ZoomOut(); });
  ZoomOutAction->setShortcut(QKeySequence::ZoomOut);
  FitAction = ViewMenu->addAction("&Fit Drawing", preview, [preview] { preview->Fit(); });
  FitAction->setShortcut(QKeySequence("Ctrl+0"));

  QMenu *help = w->menuBar()->addMenu("&Help");
  HelpAction = help->addAction("&Templates and Levels", w, [w] {
    auto *box = new QMessageBox(QMessageBox::Information, "Brennix help",
                                QString::fromStdString(HelpText()), QMessageBox::Close, w);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
  });
  HelpAction->setShortcut(QKeySequence::HelpContents);
  AboutAction = help->addAction("&About Brennix", w, [w] {
    QMessageBox::about(w, "About Brennix", QString::fromStdString(AboutText()));
  });
  UpdateRecentMenu();
}

std::string TMainMenus::AboutText() {
  return std::string("<b>Brennix ") + BRENNIX_VERSION +
         "</b><p>Prepares drawings, pictures, circuit boards and 3D models as G-code for "
         "hobby laser engravers.</p><p>Made by Kelvanor.</p><p>Built with:</p><ul>"
         "<li>Qt " QT_VERSION_STR " (running " +
         std::string(qVersion()) +
         "), GNU LGPL version 3</li>"
         "<li>Clipper (polyclipping), Boost Software License 1.0</li>"
         "<li>dxflib, GNU GPL version 2 or later</li></ul>";
}

std::string TMainMenus::HelpText() {
  return "G-code templates: in \"Laser on\", \"Head speed\" and \"Move head\" every \"?\" "
         "is replaced by a number: the power (0 to 255, or the profile's range), the speed "
         "in mm/min, and the X and Y position in mm, in that order.\n\n"
         "Level kinds in the power grid:\n"
         "- a coloured row is an area (filled by hatching) or a line drawing; its box "
         "switches it on or off;\n"
         "- a \"shells\" row under an area traces its edge that many times; its glyph "
         "chooses the hatch direction;\n"
         "- \"Outline\" (shown with Outline Only) burns the frame around the drawing, "
         "to check where it lies on the material.\n\n"
         "Click a cell to edit speed (mm/s), passes and power (%); Enter or Space on a box "
         "switches it.";
}

QStringList TMainMenus::RecentFiles() const { return QSettings().value(RecentKey).toStringList(); }

void TMainMenus::AddRecentFile(const QString &fileName) {
  const QString path = QFileInfo(fileName).absoluteFilePath();
  QStringList files = RecentFiles();
  files.removeAll(path);
  files.prepend(path);
  while (files.size() > RecentCount)
    files.removeLast();
  QSettings().setValue(RecentKey, files);
  UpdateRecentMenu();
}

void TMainMenus::UpdateRecentMenu() {
  RecentMenu->clear();
  const QStringList files = RecentFiles();
  int number = 0;
  for (const QString &path : files) {
    ++number;
    QAction *action = RecentMenu->addAction(
        QString("&%1 %2").arg(number).arg(QFileInfo(path).fileName().replace("&", "&&")));
    action->setToolTip(path);
    action->setData(path);
    QObject::connect(action, &QAction::triggered, &FWindow, [this, path] {
      Guarded([&] {
        if (!FWindow.RightPanel->isEnabled())
          return;
        if (!QFileInfo(path).isFile()) {
          // Gone since: offered no more.
          QStringList left = RecentFiles();
          left.removeAll(path);
          QSettings().setValue(RecentKey, left);
          UpdateRecentMenu();
          throw std::runtime_error("Cannot open \"" + path.toStdString() +
                                   "\": the file no longer exists. It was taken off the "
                                   "recent files.");
        }
        FOpenFile(path);
      });
    });
  }
  RecentMenu->setEnabled(!files.isEmpty());
}

void TMainMenus::RestoreLayout() {
  const QByteArray geometry = QSettings().value(GeometryKey).toByteArray();
  if (!geometry.isEmpty())
    FWindow.restoreGeometry(geometry);
  const QByteArray shares = QSettings().value(SplitterKey).toByteArray();
  if (!shares.isEmpty())
    FWindow.Splitter->restoreState(shares);
}

void TMainMenus::SaveLayout() const {
  QSettings().setValue(GeometryKey, FWindow.saveGeometry());
  QSettings().setValue(SplitterKey, FWindow.Splitter->saveState());
}
