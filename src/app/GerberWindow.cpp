#include "GerberWindow.h"

#include <algorithm>
#include <vector>

#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include "MainWindow.h"
#include "ZelUtils.h"
#include "core/JobLimits.h"
#include "gerber/BoardOutline.h"

const char *const GerberDialogFilter =
    "Gerber RS-274X Files (*.gbl, *.gbs, *.gml, *.gtl, *.gts and others)|*.gbl;*.gbs;*.gbo;*.gbp;"
    "*.gko;*.gml;*.gpb;*.gbr;*.gpt;*.gtl;*.gts;*.gto;*.gtp;*.plc;*.pls;*.smb;*.smt;*.sol;*.ssb;"
    "*.sst;*.stc;*.sts;*.top;*.bot;*.cmp|Other Gerber RS-274X Files (*.*)|*.*";

TGerberWindow::TGerberWindow(QWidget *owner, TLevels &levels, const QString &copperFile)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FLevels(levels), FCopperFile(copperFile) {
  // Every newly opened file starts without a choice: closing without one
  // must not let a later re-read bring back the previous board's outline.
  ResetOutlineChoice(levels);

  setWindowTitle("Gerber Advanced Settings");
  setFixedSize(459, 171);

  GroupBox = new QGroupBox(" Layout Size Settings: ", this);
  GroupBox->setGeometry(8, 8, 443, 117);

  GerberRadio = new QRadioButton("&Read from a mechanical layer Gerber file:", GroupBox);
  GerberRadio->setChecked(true);
  OffsetRadio = new QRadioButton("Create from the copper layer by &offsetting:", GroupBox);
  CloseRadio = new QRadioButton("&Don't add any additional layers", GroupBox);
  // The controls column starts after the longest radio text in the font at
  // hand, so no text is cut off.
  int column = 0;
  for (QRadioButton *radio : {GerberRadio, OffsetRadio, CloseRadio})
    column = std::max(column, radio->sizeHint().width());
  column = std::clamp(16 + column + 8, 280, 320);
  GerberRadio->setGeometry(16, 26, column - 24, 22);
  OffsetRadio->setGeometry(16, 56, column - 24, 22);
  CloseRadio->setGeometry(16, 86, column - 24, 22);

  GerberButton = new QPushButton("Open &Gerber File", GroupBox);
  GerberButton->setGeometry(column, 24, 435 - column - 8, 26);
  OffsetSize = new QDoubleSpinBox(GroupBox);
  OffsetSize->setGeometry(column, 55, 80, 24);
  OffsetSize->setLocale(QLocale::c());
  OffsetSize->setDecimals(1);
  OffsetSize->setRange(OutlineOffsetRange.Minimum, OutlineOffsetRange.Maximum);
  OffsetSize->setSingleStep(0.1);
  OffsetSize->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  OffsetSize->setValue(3.0);
  OffsetSize->setEnabled(false);
  OffsetHelp = new QLabel("&mm", GroupBox);
  OffsetHelp->setGeometry(column + 86, 56, 30, 22);
  OffsetHelp->setBuddy(OffsetSize);

  ApplyButton = new QPushButton("A&pply", this);
  ApplyButton->setGeometry(288, 136, 77, 27);
  ApplyButton->setDefault(true);
  ApplyButton->setEnabled(false);
  CloseButton = new QPushButton("&Close", this);
  CloseButton->setGeometry(374, 136, 77, 27);

  for (QRadioButton *radio : {GerberRadio, OffsetRadio, CloseRadio})
    connect(radio, &QRadioButton::toggled, this, [this] { GerberRadioChange(); });
  connect(GerberButton, &QPushButton::clicked, this,
          [this] { Guarded([this] { GerberButtonClick(); }); });
  connect(ApplyButton, &QPushButton::clicked, this,
          [this] { Guarded([this] { ApplyButtonClick(); }); });
  // Escape and the close box reject as well: nothing is added.
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TGerberWindow::GerberRadioChange() {
  ApplyButton->setEnabled(OffsetRadio->isChecked());
  GerberButton->setEnabled(GerberRadio->isChecked());
  OffsetSize->setEnabled(OffsetRadio->isChecked());
}

void TGerberWindow::ApplyButtonClick() {
  if (OffsetRadio->isChecked())
    AddOffsetOutline(FLevels, OffsetSize->value());
  // Reached only when the option worked: after an error the dialog stays
  // open so another choice can be made.
  accept();
}

void TGerberWindow::GerberButtonClick() {
  QString fileName;
  if (!ChooseMechanicalFile(fileName))
    return;
  // The loading window processes events: no second choice meanwhile.
  GroupBox->setEnabled(false);
  CloseButton->setEnabled(false);
  struct TReenable {
    TGerberWindow *Window;
    ~TReenable() {
      Window->GroupBox->setEnabled(true);
      Window->CloseButton->setEnabled(true);
    }
  } reenable{this};
  AddMechanicalOutline(FLevels, fileName.toStdString());
  accept();
}

QStringList OutlineCandidates(const QString &copperFile) {
  if (copperFile.isEmpty())
    return {};
  const QFileInfo copper(copperFile);
  const QString board = copper.completeBaseName().toLower();
  static const QRegularExpression edgeName("edge[ _.-]?cuts|outline|\\.(gko|gm\\d+|gml)$",
                                           QRegularExpression::CaseInsensitiveOption);
  struct TCandidate {
    int Rank;
    QString Path;
  };
  std::vector<TCandidate> found;
  const QFileInfoList files = QDir(copper.absolutePath()).entryInfoList(QDir::Files, QDir::Name);
  for (const QFileInfo &file : files) {
    if (file.canonicalFilePath() == copper.canonicalFilePath() ||
        !edgeName.match(file.fileName()).hasMatch())
      continue;
    // "board-Edge_Cuts.gbr" beside "board-F_Cu.gbr", "board.gko" beside "board.gtl".
    const QString stem = file.completeBaseName().toLower();
    const qsizetype shared =
        std::mismatch(stem.begin(), stem.end(), board.begin(), board.end()).first - stem.begin();
    found.push_back({static_cast<int>(shared), file.absoluteFilePath()});
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const TCandidate &a, const TCandidate &b) { return a.Rank > b.Rank; });
  QStringList result;
  for (const TCandidate &candidate : found)
    result << candidate.Path;
  return result;
}

bool TGerberWindow::ChooseMechanicalFile(QString &fileName) {
  // Proposed, never the copper layer: one Enter must not make an outline of it.
  const QStringList candidates = OutlineCandidates(FCopperFile);
  fileName = candidates.isEmpty() ? QString() : candidates.front();
  if (OpenDialogHook)
    return OpenDialogHook(fileName) && !fileName.isEmpty();
  QFileDialog dialog(this, "Open");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setDefaultSuffix("gml");
  dialog.setNameFilters(NameFilters(GerberDialogFilter));
  // The mechanical layer usually lies next to the copper layer.
  if (!FCopperFile.isEmpty()) {
    const QFileInfo copper(FCopperFile);
    dialog.setDirectory(copper.absolutePath());
    if (!fileName.isEmpty())
      dialog.selectFile(QFileInfo(fileName).fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return false;
  fileName = dialog.selectedFiles().front();
  return true;
}
