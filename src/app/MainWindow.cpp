#include "MainWindow.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMetaObject>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "DialogFilters.h"
#include "EditActions.h"
#include "FormControls.h"
#include "GerberWindow.h"
#include "GridHandlers.h"
#include "LoadingWindow.h"
#include "Menus.h"
#include "io/Messages.h"
#include "BackgroundJob.h"
#include "PowerGrid.h"
#include "PreviewImage.h"
#include "ProfileSection.h"
#include "RasterModeBox.h"
#include "ZelUtils.h"
#include "core/Estimate.h"
#include "core/GcodeCheck.h"
#include "core/Geometry.h"
#include "core/JobLimits.h"
#include "core/Levels.h"
#include "core/PrintSize.h"
#include "io/FileIntake.h"
#include "io/GcodeWriter.h"


namespace {

constexpr int GcodeOpenHeight = 378;
constexpr int RightPanelWidth = 353;
// The processing bar's resolution.
constexpr int ProgressSteps = 1000;

std::int32_t RoundToInt(double value) { return static_cast<std::int32_t>(std::nearbyint(value)); }

QPixmap Logo(int size) {
  // A flame over a beam: drawn here, no picture files to ship.
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(38, 42, 51));
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  painter.setBrush(QColor(230, 57, 40));
  painter.drawRect(QRectF(29, 8, 6, 30));
  QPainterPath flame;
  flame.moveTo(32, 34);
  flame.cubicTo(44, 40, 44, 54, 32, 56);
  flame.cubicTo(20, 54, 20, 40, 32, 34);
  painter.setBrush(QColor(255, 170, 40));
  painter.drawPath(flame);
  painter.setBrush(QColor(255, 236, 160));
  painter.drawEllipse(QPointF(32, 48), 4.5, 5);
  painter.setBrush(QColor(200, 205, 215));
  painter.drawRect(QRectF(12, 56, 40, 3));
  return pixmap;
}

} // namespace

TMainWindow::TMainWindow(const QString &fileArgument) {
  // One number format for every conversion, whatever the user's locale.
  QLocale::setDefault(QLocale::c());
  setWindowTitle("Brennix");
  setWindowIcon(QIcon(Logo(64)));

  // The user shares the width out between preview and settings; the
  // settings never get narrower than their controls need.
  Splitter = new QSplitter(Qt::Horizontal, this);
  Splitter->setChildrenCollapsible(false);
  QWidget *central = Splitter;
  // The preview with the reader's report under it: one line and a button
  // for the whole text, so a drawing with missing parts never stops work.
  auto *previewColumn = new QWidget(central);
  auto *previewLayout = new QVBoxLayout(previewColumn);
  previewLayout->setContentsMargins(0, 0, 0, 0);
  previewLayout->setSpacing(0);
  Preview = new TPreviewImage(previewColumn);
  previewLayout->addWidget(Preview, 1);
  ReportBar = new QWidget(previewColumn);
  auto *reportLayout = new QHBoxLayout(ReportBar);
  reportLayout->setContentsMargins(6, 2, 6, 2);
  ReportLine = new QLabel(ReportBar);
  ReportLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
  reportLayout->addWidget(ReportLine, 1);
  ReportDetails = new QPushButton("Details...", ReportBar);
  reportLayout->addWidget(ReportDetails);
  connect(ReportDetails, &QPushButton::clicked, this, [this] { ShowReportDetails(); });
  ReportBar->setVisible(false);
  previewLayout->addWidget(ReportBar);
  Splitter->addWidget(previewColumn);

  RightPanel = new QWidget(central);
  RightPanel->setMinimumWidth(RightPanelWidth);
  auto *rightLayout = new QVBoxLayout(RightPanel);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->setSpacing(0);
  auto *scroller = new QScrollArea(RightPanel);
  FRightScroller = scroller;
  scroller->setObjectName("RightScroller");
  scroller->setWidgetResizable(true);
  scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroller->setFrameShape(QFrame::NoFrame);
  auto *stack = new QWidget;
  auto *stackLayout = new QVBoxLayout(stack);
  stackLayout->setContentsMargins(4, 4, 4, 4);
  stackLayout->setSpacing(6);
  BuildInputGroup(stack);
  BuildPowerGroup(stack);
  BuildGcodeGroup(stack);
  FProfile = std::make_unique<TProfileSection>(*this, FSettings, FMachine, FLevels);
  FProfile->Build(stack);
  stackLayout->addWidget(InputGroup);
  RasterBox = new TRasterModeBox(
      stack, [this]() -> TLevels & { return *FLevels; }, [this] { Reload(); });
  stackLayout->addWidget(RasterBox);
  stackLayout->addWidget(PowerGroup);
  stackLayout->addWidget(SettingsLayout);
  stackLayout->addWidget(ProfileGroup);
  stackLayout->addStretch(1);
  scroller->setWidget(stack);
  // A long level list or the open G-code block brings the scroll bar; the
  // panel widens by it rather than cut off the settings' right edge.
  connect(scroller->verticalScrollBar(), &QScrollBar::rangeChanged, this,
          [this](int, int) { FitRightPanel(); });
  stack->installEventFilter(this);
  rightLayout->addWidget(scroller, 1);
  BuildBottomPanel(RightPanel);
  Splitter->addWidget(RightPanel);
  Splitter->setStretchFactor(0, 1);
  Splitter->setStretchFactor(1, 0);
  setCentralWidget(Splitter);
  CursorLabel = new QLabel(this);
  DrawingSizeLabel = new QLabel(this);
  statusBar()->addWidget(CursorLabel, 1);
  statusBar()->addPermanentWidget(DrawingSizeLabel);
  resize(900, 600);
  Splitter->setSizes({900 - RightPanelWidth, RightPanelWidth});

  Connect();
  FProfile->Connect();
  FMenus = std::make_unique<TMainMenus>(*this, [this](const QString &path) {
    FOpenDialogFile = path;
    LoadFile(path, 1);
  });

  PowerGrid->setRowCount(0);
  FLevels = std::make_unique<TLevels>(*this);
  FProfile->InstallAccelerationEstimate();
  FGrid = std::make_unique<TGridHandlers>(*FLevels, *PowerGrid);
  FLevels->SetView({Preview->width(), Preview->height()});

  // The G-code block starts closed.
  SettingsOpacity->setOpacity(0);
  SettingsAniFinish();
  ApplySettings();
  FEdits = std::make_unique<TEditActions>(*this);

  if (!fileArgument.isEmpty()) {
    // After the window is up, so the loading window has its owner on screen.
    QTimer::singleShot(0, this,
                       [this, fileArgument] { Guarded([&] { LoadFile(fileArgument, 1); }); });
  }
}

void TMainWindow::UpdateGrid() {
  if (FGrid)
    FGrid->Update();
}

TMainWindow::~TMainWindow() {
  // First, since it hands the grid's callbacks back to the window.
  FEdits.reset();
  // The grid outlives this class: QWidget's own destructor closes the window,
  // and an open cell editor then commits. What it calls must not reach a
  // window that is no longer one.
  PowerGrid->OnCellClick = nullptr;
  PowerGrid->OnEditingDone = nullptr;
  PowerGrid->OnDrawCell = nullptr;
  PowerGrid->OnColumnsChanged = nullptr;
  // The worker may still be handing steps over: stop it while the controls
  // those steps touch still exist.
  FGrid.reset();
  FLevels.reset();
  FLoading.reset();
  FBackground.reset();
}

void TMainWindow::BuildInputGroup(QWidget *parent) {
  InputGroup = new QGroupBox(" Layout Settings: ", parent);
  FitInputGroup(false);
  auto *grid = new QGridLayout(InputGroup);
  grid->setContentsMargins(6, 6, 6, 6);
  grid->setHorizontalSpacing(3);
  grid->setVerticalSpacing(4);

  OpenButton = new QPushButton("&Open Graphics...", InputGroup);
  SaveButton = new QPushButton("&Generate G-code...", InputGroup);
  auto *buttons = new QHBoxLayout;
  buttons->addWidget(OpenButton);
  buttons->addWidget(SaveButton);
  grid->addLayout(buttons, 0, 0, 1, 5);

  OriginalX = NumberBox(InputGroup, 0, OriginalMaximum, 2, 1, 0);
  OriginalY = NumberBox(InputGroup, 0, OriginalMaximum, 2, 1, 0);
  OriginalX->setEnabled(false);
  OriginalY->setEnabled(false);
  ScaleXBox = NumberBox(InputGroup, ScaleMinimum, ScaleMaximum, 2, 1, 100);
  ScaleYBox = NumberBox(InputGroup, ScaleMinimum, ScaleMaximum, 2, 1, 100);
  PrintX = NumberBox(InputGroup, PrintMinimum, PrintMaximum, 2, 1, PrintMinimum);
  PrintY = NumberBox(InputGroup, PrintMinimum, PrintMaximum, 2, 1, PrintMinimum);
  for (auto *box : {OriginalX, OriginalY, ScaleXBox, ScaleYBox, PrintX, PrintY})
    box->setFixedWidth(64);
  grid->addWidget(Label("Original shape size:"), 1, 0);
  grid->addWidget(OriginalX, 1, 1);
  grid->addWidget(Label("mm x"), 1, 2);
  grid->addWidget(OriginalY, 1, 3);
  grid->addWidget(Label("mm"), 1, 4);
  grid->addWidget(Label("&Scale shape by:", ScaleXBox), 2, 0);
  grid->addWidget(ScaleXBox, 2, 1);
  grid->addWidget(Label("%  &x", ScaleYBox), 2, 2);
  grid->addWidget(ScaleYBox, 2, 3);
  grid->addWidget(Label("%"), 2, 4);
  grid->addWidget(Label("&Print at size:", PrintX), 3, 0);
  grid->addWidget(PrintX, 3, 1);
  grid->addWidget(Label("mm x"), 3, 2);
  grid->addWidget(PrintY, 3, 3);
  grid->addWidget(Label("&mm", PrintY), 3, 4);

  CheckTravel = new QCheckBox("Show Lines", InputGroup);
  CheckMirror = new QCheckBox("Mirror Output", InputGroup);
  CheckOutline = new QCheckBox("Outline Only", InputGroup);
  auto *checks = new QHBoxLayout;
  checks->setSpacing(2);
  checks->addWidget(CheckTravel);
  checks->addWidget(CheckMirror);
  checks->addWidget(CheckOutline);
  grid->addLayout(checks, 4, 0, 1, 5);

  auto *line = new QFrame(InputGroup);
  line->setObjectName("CalcLine");
  line->setFrameShape(QFrame::HLine);
  line->setFixedHeight(1);
  line->setStyleSheet("background: palette(mid);");
  grid->addWidget(line, 5, 0, 1, 5);
  CalcProgress = new QProgressBar(InputGroup);
  CalcProgress->setTextVisible(false);
  CalcProgress->setRange(0, 1);
  CalcProgress->setValue(0);
  CalcResult = new QLabel("Estimated burning time: 0s", InputGroup);
  CalcResult->setAlignment(Qt::AlignCenter);
  // One slot of fixed height for both, so that the rows below never move
  // while a recompute swaps the estimate for the bar and back.
  auto *slot = new QWidget(InputGroup);
  slot->setObjectName("CalcSlot");
  auto *slotLayout = new QGridLayout(slot);
  slotLayout->setContentsMargins(0, 0, 0, 0);
  slotLayout->addWidget(CalcProgress, 0, 0);
  slotLayout->addWidget(CalcResult, 0, 0);
  slot->setFixedHeight(
      std::max(CalcProgress->sizeHint().height(), CalcResult->sizeHint().height()));
  CalcProgress->setMaximumHeight(slot->maximumHeight());
  grid->addWidget(slot, 6, 0, 1, 5);
  AccelResult = new QLabel(InputGroup);
  AccelResult->setObjectName("AccelResult");
  AccelResult->setAlignment(Qt::AlignCenter);
  AccelResult->setFixedHeight(AccelResultHeight);
  grid->addWidget(AccelResult, 7, 0, 1, 5);
  AccelResult->hide();
  CalcProgress->hide();
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
}

void TMainWindow::BuildPowerGroup(QWidget *parent) {
  PowerGroup = new QGroupBox(" Power Settings: ", parent);
  auto *layout = new QVBoxLayout(PowerGroup);
  layout->setContentsMargins(6, 6, 6, 6);
  PowerGrid = new TPowerGrid(PowerGroup);
  layout->addWidget(PowerGrid);
  PowerGroup->setFixedHeight((PowerGrid->RowHeight() + 1) + 58);
}

void TMainWindow::BuildGcodeGroup(QWidget *parent) {
  SettingsLayout = new QWidget(parent);
  SettingsLayout->installEventFilter(this);
  GcodeGroup = new QGroupBox(SettingsLayout);
  ShowConfiguration = new QCheckBox("Co&nfigure G-code", SettingsLayout);
  ShowConfiguration->setAutoFillBackground(true);
  ShowConfiguration->adjustSize();
  SettingsPanel = new QWidget(GcodeGroup);
  SettingsOpacity = new QGraphicsOpacityEffect(SettingsPanel);
  SettingsPanel->setGraphicsEffect(SettingsOpacity);
  SettingsAni = new QPropertyAnimation(SettingsOpacity, "opacity", this);
  SettingsAni->setDuration(300);

  auto *grid = new QGridLayout(SettingsPanel);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);
  auto memo = [&](int lines) {
    auto *edit = new QPlainTextEdit(SettingsPanel);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setTabChangesFocus(true);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    edit->setFont(font);
    edit->document()->setDocumentMargin(2);
    edit->setFixedHeight(QFontMetrics(font).lineSpacing() * lines + 12);
    return edit;
  };
  // Each template's caption and memo height in lines, in the table's order.
  struct TMemoLook {
    const char *Caption;
    int Lines;
  };
  constexpr TMemoLook Looks[TemplateCount] = {{"&Laser on:", 3},      {"Laser o&ff:", 3},
                                              {"G-code pr&efix:", 4}, {"G-code s&uffix:", 4},
                                              {"Head spee&d:", 1},    {"Move &head:", 1}};
  for (const TTemplateInfo &info : TemplateTable)
    TemplateMemos[info.Kind] = memo(Looks[info.Kind].Lines);
  LaserOnMemo = TemplateMemos[tkLaserOn];
  LaserOffMemo = TemplateMemos[tkLaserOff];
  GcodePrefixMemo = TemplateMemos[tkGcodePrefix];
  GcodeSuffixMemo = TemplateMemos[tkGcodeSuffix];
  HeadSpeedMemo = TemplateMemos[tkHeadSpeed];
  HeadMoveMemo = TemplateMemos[tkHeadMove];
  // Two memos a row, in the table's order.
  int row = 0;
  for (int k = 0; k < TemplateCount; k += 2) {
    for (int column : {0, 1}) {
      QPlainTextEdit *edit = TemplateMemos[static_cast<std::size_t>(k + column)];
      grid->addWidget(Label(Looks[k + column].Caption, edit), row, 2 * column, 1, 2);
      grid->addWidget(edit, row + 1, 2 * column, 1, 2);
    }
    row += 2;
  }

  OffsetXBox = NumberBox(SettingsPanel, OffsetRange.Minimum, OffsetRange.Maximum, 1, 1, 0);
  OffsetYBox = NumberBox(SettingsPanel, OffsetRange.Minimum, OffsetRange.Maximum, 1, 1, 0);
  grid->addWidget(Label("X offset (mm):", OffsetXBox), row, 0);
  grid->addWidget(OffsetXBox, row, 1);
  grid->addWidget(Label("Y offset (mm):", OffsetYBox), row, 2);
  grid->addWidget(OffsetYBox, row, 3);
  ++row;
  OffsetCenterBox = new QCheckBox("Print from Center", SettingsPanel);
  grid->addWidget(Label("Positioning mode:", OffsetCenterBox), row, 0, 1, 2);
  grid->addWidget(OffsetCenterBox, row, 2, 1, 2);
  ++row;
  FocusSize = NumberBox(SettingsPanel, FocusRange.Minimum, FocusRange.Maximum, 3, 0.01, 0.2);
  grid->addWidget(Label("Fo&cus point size (mm):", FocusSize), row, 0, 1, 3);
  grid->addWidget(FocusSize, row, 3);
  ++row;
  IdleSpeedBox =
      NumberBox(SettingsPanel, IdleSpeedRange.Minimum, IdleSpeedRange.Maximum, 1, 0.1, 100);
  grid->addWidget(Label("Idle tra&vel speed (mm/s):", IdleSpeedBox), row, 0, 1, 3);
  grid->addWidget(IdleSpeedBox, row, 3);
  ++row;
  ResetButton = new QPushButton("&Reset Configuration", SettingsPanel);
  grid->addWidget(ResetButton, row, 0, 1, 4);
  ++row;
  grid->setRowStretch(row, 1);
  FocusSize->installEventFilter(this);
  PlaceGcodeBlock();
}

void TMainWindow::BuildBottomPanel(QWidget *parent) {
  auto *bottom = new QFrame(parent);
  bottom->setObjectName("BottomPanel");
  bottom->setFixedHeight(52);
  bottom->setFrameShape(QFrame::StyledPanel);
  auto *layout = new QHBoxLayout(bottom);
  layout->setContentsMargins(8, 4, 8, 4);
  auto *lines = new QVBoxLayout;
  lines->setSpacing(0);
  auto *maker = new QLabel("Brennix \u2013 made by Kelvanor", bottom);
  maker->setObjectName("MakerLine");
  QFont bold = maker->font();
  bold.setBold(true);
  maker->setFont(bold);
  maker->setCursor(Qt::PointingHandCursor);
  maker->installEventFilter(this);
  auto *thanks = new QPushButton("Th&ank you for your support!", bottom);
  thanks->setObjectName("ThanksLine");
  thanks->setFlat(true);
  thanks->setCursor(Qt::PointingHandCursor);
  thanks->setStyleSheet(
      "QPushButton { border: none; padding: 0; text-align: left; color: palette(link); }");
  connect(thanks, &QPushButton::clicked, this, [this] { Guarded([&] { SiteImageClick(); }); });
  lines->addWidget(maker);
  lines->addWidget(thanks);
  layout->addLayout(lines, 1);
  auto *logo = new QLabel(bottom);
  logo->setObjectName("SiteImage");
  logo->setPixmap(Logo(40));
  logo->setCursor(Qt::PointingHandCursor);
  logo->installEventFilter(this);
  layout->addWidget(logo);
  parent->layout()->addWidget(bottom);
}

void TMainWindow::Connect() {
  auto on = [this](auto *sender, auto signal, auto handler) {
    connect(sender, signal, this,
            [this, handler](auto &&...) { Guarded([&] { (this->*handler)(); }); });
  };
  on(OpenButton, &QPushButton::clicked, &TMainWindow::OpenButtonClick);
  on(SaveButton, &QPushButton::clicked, &TMainWindow::SaveButtonClick);
  on(ResetButton, &QPushButton::clicked, &TMainWindow::ResetButtonClick);
  auto guarded = [](auto handler) { return [handler](auto &&...) { Guarded(handler); }; };
  connect(ScaleXBox, &QDoubleSpinBox::valueChanged, this, guarded([this] { ScaleChange(true); }));
  connect(ScaleYBox, &QDoubleSpinBox::valueChanged, this, guarded([this] { ScaleChange(false); }));
  connect(PrintX, &QDoubleSpinBox::valueChanged, this, guarded([this] { PrintChange(true); }));
  connect(PrintY, &QDoubleSpinBox::valueChanged, this, guarded([this] { PrintChange(false); }));
  on(FocusSize, &QDoubleSpinBox::valueChanged, &TMainWindow::FocusSizeChange);
  // Setting echoes are held off while ApplySettings fills the controls: the
  // store already holds those values.
  connect(IdleSpeedBox, &QDoubleSpinBox::valueChanged, this, guarded([this] {
            if (!FCodeEdit)
              FSettings.IdleTravel->SetValue(IdleSpeedBox->value());
          }));
  connect(OffsetXBox, &QDoubleSpinBox::valueChanged, this, guarded([this] {
            if (!FCodeEdit)
              FSettings.OffsetX->SetValue(OffsetXBox->value());
          }));
  connect(OffsetYBox, &QDoubleSpinBox::valueChanged, this, guarded([this] {
            if (!FCodeEdit)
              FSettings.OffsetY->SetValue(OffsetYBox->value());
          }));
  connect(OffsetCenterBox, &QCheckBox::toggled, this, guarded([this] {
            if (!FCodeEdit)
              FSettings.OffsetCenter->SetValue(OffsetCenterBox->isChecked());
          }));
  connect(CheckTravel, &QCheckBox::toggled, this, guarded([this] {
            if (!FCodeEdit)
              FSettings.ShowTravel->SetValue(CheckTravel->isChecked());
            FLevels->SetTravel(CheckTravel->isChecked());
          }));
  connect(CheckMirror, &QCheckBox::toggled, this,
          guarded([this] { FLevels->SetMirror(CheckMirror->isChecked()); }));
  connect(CheckOutline, &QCheckBox::toggled, this, guarded([this] {
            FLevels->SetOutline(CheckOutline->isChecked());
            UpdateGrid();
          }));
  for (const TTemplateInfo &info : TemplateTable) {
    QPlainTextEdit *memo = TemplateMemos[info.Kind];
    TZelConfigurationString *setting = FSettings.Templates[info.Kind];
    connect(memo, &QPlainTextEdit::textChanged, this,
            guarded([this, memo, setting] { TemplateChange(memo, setting); }));
  }
  on(ShowConfiguration, &QCheckBox::toggled, &TMainWindow::ShowConfigurationChange);
  on(SettingsAni, &QPropertyAnimation::valueChanged, &TMainWindow::SettingsAniProcess);
  on(SettingsAni, &QPropertyAnimation::finished, &TMainWindow::SettingsAniFinish);

  Preview->OnResized = [this] { Guarded([&] { PreviewResize(); }); };
  Preview->OnDropped = [this](const QString &file) { Guarded([&] { DropFileDropped(file); }); };
  Preview->OnCursorMoved = [this](std::optional<QPointF> at) {
    CursorLabel->setText(
        at ? QString("X %1 mm  Y %2 mm").arg(at->x(), 0, 'f', 1).arg(at->y(), 0, 'f', 1)
           : QString());
  };
  PowerGrid->OnCellClick = [this](int column, int row) {
    Guarded([&] { FGrid->CellClick(column, row); });
  };
  PowerGrid->OnDrawCell = [this](int column, int row, const QString &value, QColor *fill) {
    return FGrid ? FGrid->CellText(column, row, value, fill) : QString();
  };
  PowerGrid->OnColumnsChanged = [this] {
    PowerGroup->setFixedHeight((PowerGrid->RowHeight() + 1) * (PowerGrid->rowCount() + 1) + 58 +
                               PowerGrid->ScrollBarRoom());
  };
  PowerGrid->OnEditingDone = [this](int column, int row) {
    Guarded([&] {
      if (FGrid)
        FGrid->EditingDone(column, row);
    });
  };
}

// ---------------------------------------------------------------------------
// Settings

void TMainWindow::ApplySettings() {
  FCodeEdit = true;
  for (const TTemplateInfo &info : TemplateTable)
    TemplateMemos[info.Kind]->setPlainText(
        QString::fromStdString(StoredToMemo(FSettings.Templates[info.Kind]->Value()))
            .replace("\r\n", "\n"));
  OffsetXBox->setValue(FSettings.OffsetX->Value());
  OffsetYBox->setValue(FSettings.OffsetY->Value());
  OffsetCenterBox->setChecked(FSettings.OffsetCenter->Value());
  IdleSpeedBox->setValue(FSettings.IdleTravel->Value());
  const std::int32_t focus = FSettings.MicroFocusSize->Value();
  FocusSize->setValue(focus / 1000.0);
  const bool travel = FSettings.ShowTravel->Value();
  CheckTravel->setChecked(travel);
  FLevels->SetFocus(std::max(focus, RoundToInt(FocusSize->minimum() * 1000)));
  FLevels->SetTravel(travel);
  // Mirroring is not a stored setting: a reset keeps it as the user left it.
  CheckMirror->setChecked(FLevels->Mirror());
  FProfile->Apply();
  FCodeEdit = false;
  FLevels->SetReading(false);
}

void TMainWindow::TemplateChange(QPlainTextEdit *memo, TZelConfigurationString *setting) {
  if (FCodeEdit)
    return;
  setting->SetValue(MemoToStored(MemoText(memo).toStdString()));
  FProfile->MarkCustom();
}

void TMainWindow::FocusSizeChange() {
  if (FCodeEdit)
    return;
  FFocusReload = true;
  FSettings.MicroFocusSize->SetValue(RoundToInt(FocusSize->value() * 1000));
}

void TMainWindow::FocusSizeExit() {
  if (!FFocusReload || FLevels->Job().File.FileName.empty())
    return;
  if (!RightPanel->isEnabled()) {
    // Disabling the panel for a load or save moves the focus out of the box:
    // read again once that job is over, not in the middle of it.
    ::ExecuteInIdle([window = QPointer<TMainWindow>(this)] {
      if (window)
        window->FocusSizeExit();
    });
    return;
  }
  FFocusReload = false;
  FLevels->SetFocus(
      std::max(FSettings.MicroFocusSize->Value(), RoundToInt(FocusSize->minimum() * 1000)));
  Reload();
}

void TMainWindow::ResetButtonClick() {
  ScaleXBox->setValue(100);
  ScaleYBox->setValue(100);
  const std::int32_t focus = FLevels->Focus();
  const double unitsPerMM = UnitsPerMM();
  FSettings.ResetAll();
  FMachine.ResetAll();
  ApplySettings();
  // A different focus changes the internal unit the drawing was read in;
  // without a new read the job would be written at the wrong size.
  if ((FLevels->Focus() != focus || UnitsPerMM() != unitsPerMM) &&
      !FLevels->Job().File.FileName.empty()) {
    FFocusReload = false;
    Reload();
  }
}

// ---------------------------------------------------------------------------
// Scale and print size

void TMainWindow::ScaleChange(bool x) {
  if (FCodeEdit)
    return;
  const TIntSize size = FLevels->Size();
  FCodeEdit = true;
  if (x)
    PrintX->setValue(PrintForScale(ScaleXBox->value(), size.cx, UnitsPerMM()));
  else
    PrintY->setValue(PrintForScale(ScaleYBox->value(), size.cy, UnitsPerMM()));
  FCodeEdit = false;
  OutputUpdate();
}

void TMainWindow::PrintChange(bool x) {
  if (FCodeEdit)
    return;
  const TIntSize size = FLevels->Size();
  FCodeEdit = true;
  // Without a drawing there is no scale to derive: the box keeps its value.
  if (x) {
    if (const auto scale = ScaleForPrint(PrintX->value(), size.cx, UnitsPerMM()))
      ScaleXBox->setValue(*scale);
  } else if (const auto scale = ScaleForPrint(PrintY->value(), size.cy, UnitsPerMM())) {
    ScaleYBox->setValue(*scale);
  }
  FCodeEdit = false;
  OutputUpdate();
}

void TMainWindow::OutputUpdate() {
  FLevels->SetOutput({OutputForPrint(PrintX->value(), UnitsPerMM()),
                      OutputForPrint(PrintY->value(), UnitsPerMM())});
}

// ---------------------------------------------------------------------------
// The G-code block

void TMainWindow::ShowConfigurationChange() {
  const bool open = ShowConfiguration->isChecked();
  ShowConfiguration->setText(open ? "Co&nfigure G-code:" : "Co&nfigure G-code");
  ShowConfiguration->adjustSize();
  if (open) {
    GcodeGroup->setVisible(true);
    SettingsPanel->setVisible(true);
  }
  SettingsAni->stop();
  SettingsAni->setStartValue(SettingsOpacity->opacity());
  SettingsAni->setEndValue(open ? 1.0 : 0.0);
  SettingsAni->start();
}

void TMainWindow::SettingsAniProcess() {
  const double o = SettingsOpacity->opacity();
  ShowConfiguration->move(static_cast<int>(std::min(o * 48, 24.0)) + 8, 0);
  const int height = static_cast<int>(o * GcodeOpenHeight);
  GcodeGroup->setFixedHeight(height);
  // The block grows visibly: its holder follows while it opens or closes.
  SettingsLayout->setFixedHeight(std::max(height, ShowConfiguration->height()));
}

void TMainWindow::PlaceGcodeBlock() {
  // The check box sits on the group's title line; the settings start below it.
  const int width = SettingsLayout->width();
  GcodeGroup->setFixedWidth(width);
  const int top = ShowConfiguration->height() + 2;
  SettingsPanel->setGeometry(8, top, width - 16, GcodeOpenHeight - top - 6);
}

void TMainWindow::SettingsAniFinish() {
  const bool open = ShowConfiguration->isChecked();
  GcodeGroup->setFixedHeight(open ? GcodeOpenHeight : 0);
  ShowConfiguration->move(open ? 32 : 8, 0);
  SettingsLayout->setFixedHeight(open ? GcodeGroup->height() : ShowConfiguration->height());
  GcodeGroup->setVisible(open);
  SettingsPanel->setVisible(open);
}

// ---------------------------------------------------------------------------
// Files

void TMainWindow::LoadFile(const QString &fileName, int filterIndex) {
  // A new drawing starts out whole in view.
  Preview->Fit();
  // Also after a failed load, whose report is empty.
  struct TAfter {
    TMainWindow *Window;
    ~TAfter() { Window->ShowReport(); }
  } after{this};
  try {
    RasterBox->BeforeRead();
    // Cancelled: the job stays as it was, and so does the list of recent files.
    if (!LoadFromFile(*FLevels, fileName.toStdString(), filterIndex))
      return;
  } catch (const std::exception &error) {
    throw std::runtime_error(LoadFailureText(fileName.toStdString(), error.what()));
  }
  RasterBox->DrawingLoaded();
  FEdits->DrawingLoaded();
  FMenus->AddRecentFile(fileName);
}

void TMainWindow::Reload() {
  struct TAfter {
    TMainWindow *Window;
    ~TAfter() { Window->ShowReport(); }
  } after{this};
  const std::string fileName = FLevels->Job().File.FileName;
  try {
    RasterBox->BeforeRead();
    if (!ReloadDrawing(*FLevels))
      return;
  } catch (const std::exception &error) {
    throw std::runtime_error(LoadFailureText(fileName, error.what()));
  }
  RasterBox->DrawingLoaded();
  FEdits->DrawingRead();
}

void TMainWindow::ShowReport() {
  const auto &report = FLevels->Job().File.Report;
  ReportBar->setVisible(!report.empty());
  if (report.empty())
    return;
  QString line = QString::fromStdString(report.front());
  if (report.size() > 1)
    line += QString("; %1 more").arg(report.size() - 1);
  ReportLine->setText("Not everything was drawn: " + line);
  ReportLine->setToolTip(line);
}

void TMainWindow::ShowReportDetails() {
  QStringList lines;
  for (const auto &line : FLevels->Job().File.Report)
    lines << QString::fromStdString(line);
  auto *box = new QMessageBox(
      QMessageBox::Information, "Import report",
      "What the drawing holds that was left out or drawn approximately:", QMessageBox::Close, this);
  box->setDetailedText(lines.join('\n'));
  box->setInformativeText(lines.mid(0, 12).join('\n'));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

void TMainWindow::OpenButtonClick() {
  FFocusReload = false;
  QString fileName;
  int filterIndex = 1;
  bool chosen = false;
  if (OpenDialogHook) {
    chosen = OpenDialogHook(fileName, filterIndex);
  } else {
    QFileDialog dialog(this, "Open");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDefaultSuffix("stl");
    const QStringList filters = NameFilters(OpenDialogFilter);
    dialog.setNameFilters(filters);
    if (!FOpenDialogFile.isEmpty())
      dialog.setDirectory(QFileInfo(FOpenDialogFile).absolutePath());
    chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    if (chosen) {
      fileName = dialog.selectedFiles().front();
      filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
      filterIndex = std::max(filterIndex, 1);
    }
  }
  if (!chosen)
    return;
  FOpenDialogFile = fileName;
  LoadFile(fileName, filterIndex);
}

void TMainWindow::SaveButtonClick() {
  QString folder, name;
  if (!FOpenDialogFile.isEmpty()) {
    const QFileInfo info(FOpenDialogFile);
    folder = info.absolutePath();
    name = info.completeBaseName() + (CheckOutline->isChecked() ? "-outline" : "") + ".gcode";
  }
  QString fileName;
  if (SaveDialogHook) {
    fileName = SaveDialogHook(folder, name);
  } else {
    QFileDialog dialog(this, "Save");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDefaultSuffix("gcode");
    const QStringList filters = NameFilters(SaveDialogFilter);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters[1]);
    if (!folder.isEmpty())
      dialog.setDirectory(folder);
    if (!name.isEmpty())
      dialog.selectFile(name);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      fileName = dialog.selectedFiles().front();
  }
  if (fileName.isEmpty())
    return;
  const auto problems = SaveToGcode(*FLevels, fileName.toStdString());
  if (!problems.empty())
    ShowMessage("The G-code was saved to \"" + fileName.toStdString() +
                "\", but its check for the " + Profile().Name + " profile found problems:\n\n" +
                ProblemsText(problems));
}

void TMainWindow::DropFileDropped(const QString &fileName) {
  // A load or save in progress lets events through; it must not be re-entered.
  if (!RightPanel->isEnabled())
    return;
  LoadFile(fileName, 1);
}

void TMainWindow::FitRightPanel() {
  // The settings get the width their controls need (which can be more than
  // the panel's usual width), and the scroll bar, while it shows, its own beside them.
  const QScrollBar *bar = FRightScroller->verticalScrollBar();
  const int settings =
      std::max(RightPanelWidth, FRightScroller->widget()->minimumSizeHint().width());
  const int room = settings + (bar->maximum() > 0 ? bar->sizeHint().width() : 0);
  if (RightPanel->minimumWidth() != room)
    RightPanel->setMinimumWidth(room);
}

void TMainWindow::PreviewResize() {
  if (FLevels)
    FLevels->SetView({Preview->width(), Preview->height()});
}

void TMainWindow::SiteImageClick() { QDesktopServices::openUrl(QUrl(MakerPage)); }

void TMainWindow::closeEvent(QCloseEvent *event) {
  // A load or save under way stops at its next step and leaves the job as it was.
  if (FBackground)
    FBackground->Cancel();
  FMenus->SaveLayout();
  event->accept();
  QCoreApplication::quit();
}

bool TMainWindow::eventFilter(QObject *watched, QEvent *event) {
  if (watched == FocusSize && event->type() == QEvent::FocusOut)
    Guarded([&] { FocusSizeExit(); });
  else if (watched == SettingsLayout && event->type() == QEvent::Resize)
    PlaceGcodeBlock();
  else if (FRightScroller && watched == FRightScroller->widget() &&
           event->type() == QEvent::LayoutRequest)
    FitRightPanel();
  else if (event->type() == QEvent::MouseButtonRelease &&
           (watched->objectName() == "MakerLine" || watched->objectName() == "SiteImage"))
    Guarded([&] { SiteImageClick(); });
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// TJobHost

void TMainWindow::WakeMainThread() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        Guarded([&] {
          if (FLevels)
            FLevels->RunHandOvers();
        });
      },
      Qt::QueuedConnection);
}

void TMainWindow::SetCalcProgress(int value, int maximum) {
  FProgressValue = value;
  FProgressMax = maximum;
  // Shown as a share that only grows: a reader or cycle that learns of more
  // steps on the way raises the maximum, and the bar must not run backwards.
  // A value of 0 starts a new load or cycle.
  const int shown = value <= 0 ? 0
                               : static_cast<int>(std::min<long long>(
                                     ProgressSteps, static_cast<long long>(value) * ProgressSteps /
                                                        std::max(maximum, 1)));
  CalcProgress->setRange(0, ProgressSteps);
  CalcProgress->setValue(value <= 0 ? 0 : std::max(shown, CalcProgress->value()));
}

void TMainWindow::ShowCalcProgress(bool visible) { CalcProgress->setVisible(visible); }

void TMainWindow::SetCalcResult(const std::string &text) {
  CalcResult->setText(QString::fromStdString(text));
  FProfile->AwaitAccelerationEstimate();
}

void TMainWindow::ShowCalcResult(bool visible) {
  CalcResult->setVisible(visible);
  AccelResult->setVisible(visible && !AccelResult->text().isEmpty());
}

void TMainWindow::PresentPreview(const QImage &preview) {
  // No event processing here: the worker waits on this step, and a handler
  // that paused the worker now would wait for it in turn.
  const TIntSize output = FLevels->Output();
  Preview->SetImage(preview, PreviewOffset(preview.size(), output));
  const QSizeF millimetres(output.cx / UnitsPerMM(), output.cy / UnitsPerMM());
  Preview->SetDrawing(PreviewDrawing(preview.size(), output), millimetres);
  DrawingSizeLabel->setText(output.cx > 0 && output.cy > 0
                                ? QString("Drawing %1 \u00d7 %2 mm")
                                      .arg(millimetres.width(), 0, 'f', 1)
                                      .arg(millimetres.height(), 0, 'f', 1)
                                : QString());
}

double TMainWindow::ScaleX() const { return ScaleXBox->value(); }
double TMainWindow::ScaleY() const { return ScaleYBox->value(); }

void TMainWindow::SetScale(double x, double y) {
  // A new drawing's print size is filled in after it is read; the old one's
  // size must not be recomputed on the way.
  WriteBoxes(ScaleXBox, ScaleYBox, x, y);
}

void TMainWindow::SetOriginalSize(double x, double y) { WriteBoxes(OriginalX, OriginalY, x, y); }

void TMainWindow::SetPrintSize(double x, double y) { WriteBoxes(PrintX, PrintY, x, y); }

void TMainWindow::WriteBoxes(QDoubleSpinBox *boxX, QDoubleSpinBox *boxY, double x, double y) {
  const bool codeEdit = FCodeEdit;
  FCodeEdit = true;
  boxX->setValue(x);
  boxY->setValue(y);
  FCodeEdit = codeEdit;
}

void TMainWindow::SetCaption(const std::string &) {
  // The desktop appends " \u2014 Brennix" to a title without it; written out
  // here the program's name appears once, with one kind of dash.
  const QString name =
      QFileInfo(QString::fromStdString(FLevels->Job().File.FileName)).completeBaseName();
  setWindowTitle(name.isEmpty() ? QString("Brennix") : name + " \u2014 Brennix");
}

void TMainWindow::EnableRightPanel(bool enabled) {
  // Disabling pairs with enabling: a job nested in another one's event
  // processing must not free the panel while the outer job still runs.
  FPanelHolds = std::max(FPanelHolds + (enabled ? -1 : 1), 0);
  RightPanel->setEnabled(FPanelHolds == 0);
  // The menu's file commands pause with the buttons.
  if (!FMenus)
    return;
  for (QAction *action : {FMenus->OpenAction, FMenus->SaveAction})
    action->setEnabled(FPanelHolds == 0);
  FMenus->RecentMenu->setEnabled(FPanelHolds == 0 && !FMenus->RecentFiles().isEmpty());
}

TTemplates TMainWindow::Templates() const {
  TTemplates templates;
  for (const TTemplateInfo &info : TemplateTable)
    templates[info.Kind] = MemoText(TemplateMemos[info.Kind]).toStdString();
  return templates;
}

double TMainWindow::IdleSpeed() const { return IdleSpeedBox->value(); }
double TMainWindow::OffsetX() const { return OffsetXBox->value(); }
double TMainWindow::OffsetY() const { return OffsetYBox->value(); }
bool TMainWindow::OffsetCenter() const { return OffsetCenterBox->isChecked(); }
TMachineProfile TMainWindow::Profile() const { return FProfile->Read(); }

void TMainWindow::BeginProgress(const std::string &caption) {
  // A job started from within another one's event processing shares its
  // window, which closes when the outer job ends.
  if (FLoadingDepth++ == 0)
    FLoading = std::make_unique<TLoadingWindow>(
        this, [this](int value, int maximum) { SetCalcProgress(value, maximum); });
  FLoading->setWindowTitle(QString::fromStdString(caption));
  FLoading->show();
}

void TMainWindow::SetProgressMax(int maximum) {
  if (FLoading)
    FLoading->Bar()->setMaximum(maximum);
}

void TMainWindow::Progress(bool cycle) {
  if (FLoading)
    FLoading->Progress(cycle);
}

void TMainWindow::EndProgress() {
  if (FLoadingDepth == 0 || --FLoadingDepth > 0)
    return;
  FLoading->hide();
  FLoading.reset();
}

bool TMainWindow::RunInBackground(const std::function<void(const TBackgroundSteps &)> &work) {
  if (!FBackground)
    FBackground = std::make_unique<TBackgroundJob>(
        this,
        [this](int value, int maximum) {
          if (FLoading)
            FLoading->ShowSteps(value, maximum);
        },
        [this](const std::string &text) { ShowMessage(text); });
  const bool nested = FBackground->Running();
  if (FLoading && !nested)
    FLoading->SetCancel([this] { FBackground->Cancel(); });
  struct TRelease {
    TLoadingWindow *Loading;
    bool Nested;
    ~TRelease() {
      if (Loading && !Nested)
        Loading->SetCancel(nullptr);
    }
  } release{FLoading.get(), nested};
  return FBackground->Run(work, FLoading ? FLoading->Bar()->value() : 0,
                          FLoading ? FLoading->Bar()->maximum() : 0);
}

void TMainWindow::ShowMessage(const std::string &text) {
  // Not modal: this may run inside a hand-over while the worker waits.
  ShownMessages << QString::fromStdString(text);
  // Readers tell of trouble here, never of plain news: a warning, not information.
  auto *box =
      new QMessageBox(QMessageBox::Warning, QApplication::applicationDisplayName(),
                      QString::fromStdString(ReadableText(text, 200, 20)), QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void TMainWindow::ExecuteInIdle(std::function<void()> proc) { ::ExecuteInIdle(std::move(proc)); }

void TMainWindow::ShowGerberOutlineOptions() {
  auto dialog = std::make_unique<TGerberWindow>(this, *FLevels, FOpenDialogFile);
  EnableRightPanel(false);
  struct TRelease {
    TMainWindow *Window;
    ~TRelease() { Window->EnableRightPanel(true); }
  } release{this};
  dialog->exec();
}
