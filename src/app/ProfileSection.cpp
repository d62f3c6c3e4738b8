#include "ProfileSection.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>

#include "FormControls.h"
#include "MainWindow.h"
#include "ZelUtils.h"
#include "core/Estimate.h"
#include "core/JobLimits.h"
#include "core/Levels.h"
#include "io/GcodeWriter.h"
#include "settings/BrennixSettings.h"
#include "settings/MachineSettings.h"

TProfileSection::TProfileSection(TMainWindow &window, TBrennixSettings &settings,
                                 TMachineSettings &machine, const std::unique_ptr<TLevels> &levels)
    : FWindow(window), FSettings(settings), FMachine(machine), FLevels(levels) {}

void TProfileSection::Build(QWidget *parent) {
  FWindow.ProfileGroup = new QGroupBox(" Machine Profile: ", parent);
  auto *grid = new QGridLayout(FWindow.ProfileGroup);
  grid->setContentsMargins(6, 6, 6, 6);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(3);
  FWindow.ProfileBox = new QComboBox(FWindow.ProfileGroup);
  for (const TPreset &preset : Presets())
    FWindow.ProfileBox->addItem(preset.Title, QString(preset.Name));
  FWindow.ProfileBox->addItem("Custom", QString(CustomProfileName));
  // A long preset title must not widen the panel past its edge.
  FWindow.ProfileBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  FWindow.ProfileBox->setMinimumContentsLength(12);
  grid->addWidget(Label("Fir&mware:", FWindow.ProfileBox), 0, 0);
  grid->addWidget(FWindow.ProfileBox, 0, 1, 1, 3);

  FWindow.PowerMaximumBox = NumberBox(FWindow.ProfileGroup, PowerMaximumRange.Minimum,
                                      PowerMaximumRange.Maximum, 3, 1, 255);
  FWindow.PowerDecimalsBox = new QSpinBox(FWindow.ProfileGroup);
  FWindow.PowerDecimalsBox->setRange(0, PowerDecimalsMaximum);
  FWindow.PowerDecimalsBox->setButtonSymbols(QAbstractSpinBox::NoButtons);
  FWindow.PowerDecimalsBox->setAlignment(Qt::AlignRight);
  grid->addWidget(Label("S at full &power:", FWindow.PowerMaximumBox), 1, 0);
  grid->addWidget(FWindow.PowerMaximumBox, 1, 1);
  grid->addWidget(Label("Decimals:", FWindow.PowerDecimalsBox), 1, 2);
  grid->addWidget(FWindow.PowerDecimalsBox, 1, 3);

  FWindow.TravelMoveMemo = new QPlainTextEdit(FWindow.ProfileGroup);
  FWindow.TravelMoveMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  FWindow.TravelMoveMemo->setTabChangesFocus(true);
  const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  FWindow.TravelMoveMemo->setFont(font);
  FWindow.TravelMoveMemo->document()->setDocumentMargin(2);
  FWindow.TravelMoveMemo->setFixedHeight(QFontMetrics(font).lineSpacing() + 12);
  FWindow.TravelMoveMemo->setPlaceholderText("empty: as Move head");
  grid->addWidget(Label("Travel (laser off):", FWindow.TravelMoveMemo), 2, 0);
  grid->addWidget(FWindow.TravelMoveMemo, 2, 1, 1, 3);

  FWindow.BedWidthBox =
      NumberBox(FWindow.ProfileGroup, BedSideRange.Minimum, BedSideRange.Maximum, 1, 1, 0);
  FWindow.BedHeightBox =
      NumberBox(FWindow.ProfileGroup, BedSideRange.Minimum, BedSideRange.Maximum, 1, 1, 0);
  grid->addWidget(Label("&Bed (mm, 0: none):", FWindow.BedWidthBox), 3, 0);
  grid->addWidget(FWindow.BedWidthBox, 3, 1);
  grid->addWidget(Label("x"), 3, 2, Qt::AlignRight);
  grid->addWidget(FWindow.BedHeightBox, 3, 3);

  FWindow.AccelerationBox = NumberBox(FWindow.ProfileGroup, AccelerationRange.Minimum,
                                      AccelerationRange.Maximum, 0, 100, 0);
  grid->addWidget(Label("Acceleration (mm/s\u00b2):", FWindow.AccelerationBox), 4, 0, 1, 3);
  grid->addWidget(FWindow.AccelerationBox, 4, 3);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
}

void TProfileSection::Connect() {
  auto guarded = [](auto handler) { return [handler](auto &&...) { Guarded(handler); }; };
  connect(FWindow.ProfileBox, &QComboBox::currentIndexChanged, this, guarded([this] {
            if (!FWindow.CodeEdit())
              PresetChange();
          }));
  connect(FWindow.PowerMaximumBox, &QDoubleSpinBox::valueChanged, this, guarded([this] {
            if (!FWindow.CodeEdit())
              FMachine.PowerMaximum->SetValue(FWindow.PowerMaximumBox->value());
          }));
  connect(FWindow.PowerDecimalsBox, &QSpinBox::valueChanged, this, guarded([this] {
            if (!FWindow.CodeEdit())
              FMachine.PowerDecimals->SetValue(FWindow.PowerDecimalsBox->value());
          }));
  connect(FWindow.TravelMoveMemo, &QPlainTextEdit::textChanged, this, guarded([this] {
            if (FWindow.CodeEdit())
              return;
            FMachine.TravelMove->SetValue(
                MemoToStored(MemoText(FWindow.TravelMoveMemo).toStdString()));
            MarkCustom();
          }));
  connect(FWindow.BedWidthBox, &QDoubleSpinBox::valueChanged, this, guarded([this] {
            if (!FWindow.CodeEdit())
              FMachine.BedWidth->SetValue(FWindow.BedWidthBox->value());
          }));
  connect(FWindow.BedHeightBox, &QDoubleSpinBox::valueChanged, this, guarded([this] {
            if (!FWindow.CodeEdit())
              FMachine.BedHeight->SetValue(FWindow.BedHeightBox->value());
          }));
  connect(FWindow.AccelerationBox, &QDoubleSpinBox::valueChanged, this, guarded([this] {
            if (FWindow.CodeEdit())
              return;
            FMachine.Acceleration->SetValue(FWindow.AccelerationBox->value());
            FWindow.FitInputGroup(FWindow.AccelerationBox->value() > 0);
            UpdateAccelerationEstimate();
          }));
}

void TProfileSection::Apply() {
  const TMachineProfile profile = FMachine.Read();
  // A name this version does not know (a newer one wrote it) shows as Custom.
  int index = FWindow.ProfileBox->findData(QString::fromStdString(profile.Name));
  if (index < 0 || !PresetByName(profile.Name))
    index = FWindow.ProfileBox->findData(QString(CustomProfileName));
  FWindow.ProfileBox->setCurrentIndex(index);
  FWindow.PowerMaximumBox->setValue(profile.PowerMaximum);
  FWindow.PowerDecimalsBox->setValue(profile.PowerDecimals);
  FWindow.TravelMoveMemo->setPlainText(
      QString::fromStdString(profile.TravelMove).replace("\r\n", "\n"));
  FWindow.BedWidthBox->setValue(profile.BedWidth);
  FWindow.BedHeightBox->setValue(profile.BedHeight);
  FWindow.AccelerationBox->setValue(profile.Acceleration);
  FWindow.FitInputGroup(profile.Acceleration > 0);
  UpdateAccelerationEstimate();
}

TMachineProfile TProfileSection::Read() const {
  TMachineProfile profile;
  profile.Name = FWindow.ProfileBox->currentData().toString().toStdString();
  profile.PowerMaximum = FWindow.PowerMaximumBox->value();
  profile.PowerDecimals = FWindow.PowerDecimalsBox->value();
  profile.TravelMove = MemoText(FWindow.TravelMoveMemo).toStdString();
  profile.BedWidth = FWindow.BedWidthBox->value();
  profile.BedHeight = FWindow.BedHeightBox->value();
  profile.Acceleration = FWindow.AccelerationBox->value();
  return profile;
}

void TProfileSection::PresetChange() {
  TMachineProfile profile = Read();
  if (const TPreset *preset = PresetByName(profile.Name)) {
    TTemplates templates = FWindow.Templates();
    ApplyPreset(*preset, profile, templates);
    const bool codeEdit = FWindow.CodeEdit();
    FWindow.SetCodeEdit(true);
    for (const TTemplateInfo &info : TemplateTable)
      FWindow.TemplateMemos[info.Kind]->setPlainText(
          QString::fromStdString(templates[info.Kind]).replace("\r\n", "\n"));
    FWindow.PowerMaximumBox->setValue(profile.PowerMaximum);
    FWindow.PowerDecimalsBox->setValue(profile.PowerDecimals);
    FWindow.TravelMoveMemo->setPlainText(
        QString::fromStdString(profile.TravelMove).replace("\r\n", "\n"));
    FWindow.SetCodeEdit(codeEdit);
    for (const TTemplateInfo &info : TemplateTable)
      FSettings.Templates[info.Kind]->SetValue(MemoToStored(templates[info.Kind]));
  }
  FMachine.Write(profile);
  UpdateAccelerationEstimate();
}

void TProfileSection::MarkCustom() {
  const QString custom(CustomProfileName);
  if (FWindow.ProfileBox->currentData().toString() == custom)
    return;
  const bool codeEdit = FWindow.CodeEdit();
  FWindow.SetCodeEdit(true);
  FWindow.ProfileBox->setCurrentIndex(FWindow.ProfileBox->findData(custom));
  FWindow.SetCodeEdit(codeEdit);
  FMachine.Profile->SetValue(CustomProfileName);
}

namespace {

// Thrown through the walk's progress when a change makes its figure useless.
struct TEstimateStopped {};

} // namespace

void TProfileSection::InstallAccelerationEstimate() {
  FLevels->SetLateEstimateHook([this]() -> TLevels::TLateWork {
    if (FWindow.AccelerationBox->value() <= 0) {
      ShowAccelerationText({});
      return {};
    }
    // The settings are read here, the paths on the worker, which keeps the
    // levels in place while its cycle runs.
    auto sources = std::make_shared<std::vector<const TLevel *>>();
    auto job = std::make_shared<TGcodeJob>(JobSettingsFromLevels(*FLevels, *sources));
    return [this, job, sources](const std::atomic<bool> &stop) -> std::function<void()> {
      CopyPaths(*job, *sources);
      std::string text;
      try {
        text = GcodeText(*job, [&stop](int) {
          if (stop)
            throw TEstimateStopped();
        });
      } catch (const TEstimateStopped &) {
        return {};
      }
      const double seconds = GcodeSeconds(text, job->Profile, job->IdleSpeed);
      return [this, shown = AccelerationEstimateText(seconds)] { ShowAccelerationText(shown); };
    };
  });
}

void TProfileSection::UpdateAccelerationEstimate() {
  if (!FLevels)
    return;
  AwaitAccelerationEstimate();
  if (FWindow.AccelerationBox->value() > 0)
    FLevels->RequestLateEstimate();
}

void TProfileSection::AwaitAccelerationEstimate() {
  // The slot keeps its line while the figure is made, so nothing shifts.
  ShowAccelerationText(FWindow.AccelerationBox->value() > 0 ? AccelerationPending : "");
}

void TProfileSection::ShowAccelerationText(const std::string &text) {
  FWindow.AccelResult->setText(QString::fromStdString(text));
  FWindow.AccelResult->setVisible(!text.empty() &&
                                  FWindow.CalcResult->isVisibleTo(FWindow.InputGroup));
}
