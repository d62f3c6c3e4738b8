#pragma once
// Asked once after a Gerber copper layer was opened: where the board ends.
// The outline comes from a mechanical-layer file or from offsetting the
// copper; either turns the job into "Clear" (board minus copper) and
// "Mechanical" (the board edge).

#include <functional>

#include <QDialog>
#include <QString>
#include <QStringList>

class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TLevels;

// The open dialog's filter for the mechanical layer, pairs separated by "|".
extern const char *const GerberDialogFilter;

// Files beside copperFile whose names look like a board edge (Edge_Cuts,
// outline, .gko, .gm1, .gml), best first: those of the same board before
// others. Never the copper file itself.
QStringList OutlineCandidates(const QString &copperFile);

class TGerberWindow : public QDialog {
public:
  // copperFile: the file the main window's open dialog chose last; the
  // mechanical-layer dialog starts there.
  TGerberWindow(QWidget *owner, TLevels &levels, const QString &copperFile);

  // Replaces the file dialog so tests can answer it: false when cancelled.
  // fileName comes in as the dialog's proposal (empty without one).
  std::function<bool(QString &fileName)> OpenDialogHook;

  // Event handlers, public so tests can run them as the user would.
  void GerberRadioChange();
  void ApplyButtonClick();
  void GerberButtonClick();

  QGroupBox *GroupBox = nullptr;
  QRadioButton *GerberRadio = nullptr, *OffsetRadio = nullptr, *CloseRadio = nullptr;
  QPushButton *GerberButton = nullptr, *ApplyButton = nullptr, *CloseButton = nullptr;
  QDoubleSpinBox *OffsetSize = nullptr;
  QLabel *OffsetHelp = nullptr;

private:
  bool ChooseMechanicalFile(QString &fileName);

  TLevels &FLevels;
  QString FCopperFile;
};
