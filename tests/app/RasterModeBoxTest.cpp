#include "AppTest.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QSpinBox>
#include <QTableWidgetItem>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/MainWindow.h"
#include "app/PowerGrid.h"
#include "app/RasterModeBox.h"
#include "core/Level.h"
#include "core/Levels.h"
#include "raster/Quantizer.h"
#include "raster/RasterModes.h"
#include "settings/RasterModeSettings.h"

namespace {

class RasterModeBoxTest : public TWindowTest {};

// A small photo-like picture: a gray ramp from left to right over a red and
// a blue patch, so the colour levels are several and the dither has tones.
QString PictureFixture() {
  QImage image(48, 24, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const int gray = 255 * x / (image.width() - 1);
      QRgb colour = qRgb(gray, gray, gray);
      if (y < 8 && x < 16)
        colour = qRgb(220, 30, 30);
      else if (y < 8 && x >= 32)
        colour = qRgb(30, 30, 220);
      image.setPixel(x, y, colour);
    }
  image.setDotsPerMeterX(3780); // 96 dots per inch
  image.setDotsPerMeterY(3780);
  const QString path = TestFolder() + "/ramp.png";
  EXPECT_TRUE(image.save(path));
  return path;
}

std::string ReadFile(const QString &path) {
  std::ifstream file(path.toStdString(), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void Open(TMainWindow &w, const QString &path) {
  w.OpenDialogHook = [path](QString &file, int &index) {
    file = path;
    index = 1;
    return true;
  };
  w.OpenButtonClick();
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
}

std::vector<std::string> LevelNames(const TLevels &levels) {
  std::vector<std::string> names;
  for (int i = 0; i < levels.Count(); ++i)
    names.push_back(levels.Item(i)->Name());
  return names;
}

std::string SaveVia(TMainWindow &w, const QString &path) {
  EXPECT_TRUE(w.Levels().WaitUntilIdle());
  w.SaveDialogHook = [path](const QString &, const QString &) { return path; };
  w.SaveButtonClick();
  return ReadFile(path);
}

// The job brennix-cli writes for the picture with these options and an
// empty settings store, as the window tests start with.
std::string CliGcode(const QString &picture, QStringList options) {
  QTemporaryDir config;
  const QString gcode = config.filePath("cli.gcode");
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("XDG_CONFIG_HOME", config.path());
  process.setProcessEnvironment(environment);
  options << "-o" << gcode << picture;
  process.start(BRENNIX_CLI, options);
  EXPECT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  return ReadFile(gcode);
}

} // namespace

TEST_F(RasterModeBoxTest, ShownForPicturesOnly) {
  TMainWindow w;
  w.show();
  EXPECT_FALSE(w.RasterBox->isVisibleTo(&w));
  Open(w, PictureFixture());
  EXPECT_TRUE(w.RasterBox->isVisibleTo(&w));
  Open(w, DrawingFixture());
  EXPECT_FALSE(w.RasterBox->isVisibleTo(&w));
  EXPECT_EQ(LevelNames(w.Levels()).size(), 4u) << "red area, its perimeter, blue line, outline";
}

TEST_F(RasterModeBoxTest, DitheredReplacesTheColourLevelsLikeTheCommandLine) {
  const QString picture = PictureFixture();
  TMainWindow w;
  w.show();
  Open(w, picture);
  const std::vector<std::string> colourLevels = LevelNames(w.Levels());
  ASSERT_GT(colourLevels.size(), 2u);

  w.RasterBox->ModeBox->setCurrentIndex(static_cast<int>(TRasterMode::Dithered));
  EXPECT_TRUE(w.RasterBox->KernelBox->isVisibleTo(&w));
  EXPECT_FALSE(w.RasterBox->GrayLevelsBox->isVisibleTo(&w));
  EXPECT_EQ(LevelNames(w.Levels()), (std::vector<std::string>{"Dithered", "Outline"}));
  ASSERT_TRUE(PumpUntil([&] { return w.CalcResult->isVisibleTo(w.InputGroup); }));

  TRasterSettings dithered;
  dithered.Mode = TRasterMode::Dithered;
  const std::string written = SaveVia(w, TestFolder() + "/window.gcode");
  EXPECT_NE(written.find("M106"), std::string::npos);
  EXPECT_EQ(written, CliGcode(picture, {"--raster-mode", "dithered"}));
  EXPECT_EQ(TRasterModeSettings().Read(), dithered);

  // Back to colour levels: the reader's levels return.
  w.RasterBox->ModeBox->setCurrentIndex(static_cast<int>(TRasterMode::ColourLevels));
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  EXPECT_EQ(LevelNames(w.Levels()), colourLevels);
  EXPECT_EQ(SaveVia(w, TestFolder() + "/colour.gcode"), CliGcode(picture, {}));
}

TEST_F(RasterModeBoxTest, StoredSettingsComeBackAndApplyOnLoading) {
  const QString picture = PictureFixture();
  TRasterSettings gray;
  gray.Mode = TRasterMode::GrayLevels;
  gray.GrayLevels = 5;
  gray.MinPower = 40;
  gray.MaxPower = 200;
  gray.PowerGamma = 1.5;
  gray.Contrast = 20;
  gray.Overscan = true;
  gray.OverscanMM = 3.5;
  std::vector<std::string> colourLevels;
  {
    TMainWindow w;
    w.show();
    Open(w, picture);
    colourLevels = LevelNames(w.Levels());
    TRasterModeBox &box = *w.RasterBox;
    box.ModeBox->setCurrentIndex(static_cast<int>(TRasterMode::GrayLevels));
    box.GrayLevelsBox->setValue(gray.GrayLevels);
    box.MinPowerBox->setValue(gray.MinPower);
    box.MaxPowerBox->setValue(gray.MaxPower);
    box.PowerGammaBox->setValue(gray.PowerGamma);
    box.ContrastBox->setValue(gray.Contrast);
    box.OverscanCheck->setChecked(true);
    box.OverscanBox->setValue(gray.OverscanMM);
    ASSERT_TRUE(w.Levels().WaitUntilIdle());
    EXPECT_EQ(TRasterModeSettings().Read(), gray);
    EXPECT_EQ(box.Settings(), gray);
  }
  TMainWindow w;
  w.show();
  EXPECT_EQ(w.RasterBox->Settings(), gray);
  // The gray bands replace the colour levels at once: the quantiser is left
  // out of the load, and runs when the colour levels are asked for.
  const std::uint64_t quantised = QuantizeColorsRuns();
  Open(w, picture);
  EXPECT_EQ(QuantizeColorsRuns(), quantised);
  const TLevels &levels = w.Levels();
  ASSERT_EQ(levels.Count(), gray.GrayLevels + 1);
  for (int band = 0; band < gray.GrayLevels; ++band) {
    EXPECT_EQ(levels.Item(band)->Power(), BandPower(band, gray)) << band;
    // The grid lists each band at its own power, in per cent.
    EXPECT_EQ(w.PowerGrid->item(band, ColumnPower)->text(),
              QString::number(std::lround(BandPower(band, gray) / 2.55)))
        << band;
  }
  EXPECT_EQ(SaveVia(w, TestFolder() + "/gray.gcode"),
            CliGcode(picture, {"--raster-mode", "gray", "--gray-levels", "5", "--min-power", "40",
                               "--max-power", "200", "--power-gamma", "1.5", "--contrast", "20",
                               "--overscan", "3.5"}));
  w.RasterBox->ModeBox->setCurrentIndex(static_cast<int>(TRasterMode::ColourLevels));
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  EXPECT_EQ(QuantizeColorsRuns(), quantised + 1);
  EXPECT_EQ(LevelNames(levels), colourLevels);
}

TEST_F(RasterModeBoxTest, BackToColourLevelsWithThePictureGoneShowsWhyAndKeepsTheJob) {
  const QString picture = PictureFixture();
  TMainWindow w;
  w.show();
  Open(w, picture);
  w.RasterBox->ModeBox->setCurrentIndex(static_cast<int>(TRasterMode::Dithered));
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  ASSERT_TRUE(QFile::remove(picture));
  w.RasterBox->ModeBox->setCurrentIndex(static_cast<int>(TRasterMode::ColourLevels));
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  const QStringList errors = TakeErrors();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains("ramp.png")) << errors[0].toStdString();
  EXPECT_EQ(LevelNames(w.Levels()), (std::vector<std::string>{"Dithered", "Outline"}));
  // The box and the store say what the levels are.
  EXPECT_EQ(w.RasterBox->Settings().Mode, TRasterMode::Dithered);
  EXPECT_EQ(TRasterModeSettings().Read().Mode, TRasterMode::Dithered);
  EXPECT_TRUE(w.RasterBox->KernelBox->isVisibleTo(&w));
  EXPECT_TRUE(w.RightPanel->isEnabled());
  EXPECT_NE(SaveVia(w, TestFolder() + "/kept.gcode").find("M106"), std::string::npos);
}
