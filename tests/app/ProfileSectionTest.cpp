#include "AppTest.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include "app/MainWindow.h"
#include "core/Estimate.h"
#include "core/Levels.h"
#include "io/GcodeWriter.h"
#include "settings/MachineSettings.h"

namespace {

std::string ReadFile(const QString &path) {
  std::ifstream file(path.toStdString(), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void Open(TMainWindow &window, const QString &path) {
  window.OpenDialogHook = [path](QString &file, int &index) {
    file = path;
    index = 1;
    return true;
  };
  window.OpenButtonClick();
  ASSERT_TRUE(window.Levels().WaitUntilIdle());
}

void Pick(TMainWindow &window, const char *name) {
  const int index = window.ProfileBox->findData(QString(name));
  ASSERT_GE(index, 0) << name;
  window.ProfileBox->setCurrentIndex(index);
}

class ProfileSectionTest : public TWindowTest {};

} // namespace

TEST_F(ProfileSectionTest, AStoreWithoutAProfileShowsTheDefaults) {
  TMainWindow w;
  EXPECT_EQ(w.ProfileBox->currentIndex(), 0);
  EXPECT_EQ(w.ProfileBox->currentData().toString(), "default");
  EXPECT_EQ(w.ProfileBox->count(), static_cast<int>(Presets().size()) + 1);
  EXPECT_EQ(w.ProfileBox->itemText(w.ProfileBox->count() - 1), "Custom");
  EXPECT_EQ(w.PowerMaximumBox->value(), 255);
  EXPECT_EQ(w.TravelMoveMemo->toPlainText(), "");
  EXPECT_EQ(w.AccelerationBox->value(), 0);
  EXPECT_EQ(w.HeadMoveMemo->toPlainText(), "G1 X? Y?");
  EXPECT_FALSE(w.AccelResult->isVisibleTo(&w));
  // Showing the window wrote nothing to the store.
  EXPECT_FALSE(std::filesystem::exists(TZelConfiguration::StorePath()));
}

TEST_F(ProfileSectionTest, PickingGrblOnceMakesEverySaveAGrblJob) {
  const QString target = TestFolder() + "/grbl.gcode";
  {
    TMainWindow w;
    Pick(w, "grbl");
    EXPECT_EQ(w.LaserOnMemo->toPlainText(), "M4 S?");
    EXPECT_EQ(w.HeadMoveMemo->toPlainText(), "G1 X? Y? S{power}");
    EXPECT_EQ(w.TravelMoveMemo->toPlainText(), "G0 X? Y?");
    EXPECT_EQ(w.PowerMaximumBox->value(), 1000);
  }
  // A new window, as after a restart: the choice and the templates were stored.
  TMainWindow w;
  EXPECT_EQ(w.ProfileBox->currentData().toString(), "grbl");
  EXPECT_EQ(w.GcodePrefixMemo->toPlainText(), "G90\nG21");
  Open(w, SmallFixture());
  w.SaveDialogHook = [&](const QString &, const QString &) { return target; };
  w.SaveButtonClick();
  EXPECT_TRUE(w.ShownMessages.isEmpty()) << w.ShownMessages.join("\n").toStdString();
  const std::string text = ReadFile(target);
  EXPECT_EQ(text.rfind("M5\r\nG90\r\nG21\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\nM4 S1000\r\n"), std::string::npos);
  EXPECT_NE(text.find(" S1000\r\n"), std::string::npos);
  EXPECT_EQ(text.find("M106"), std::string::npos);
  EXPECT_TRUE(CheckGcode(text, w.Profile(), 0.2).empty());
}

TEST_F(ProfileSectionTest, EditingATemplateAfterAPresetMakesItCustomAndKeepsTheEdit) {
  TMachineSettings machine;
  {
    TMainWindow w;
    Pick(w, "marlin");
    EXPECT_EQ(machine.Profile->Value(), "marlin");
    w.LaserOnMemo->setPlainText("M3 S? I\n; mine");
    EXPECT_EQ(w.ProfileBox->currentData().toString(), "custom");
    EXPECT_EQ(w.LaserOnMemo->toPlainText(), "M3 S? I\n; mine");
    EXPECT_EQ(machine.Profile->Value(), "custom");
    // The preset's power range stays what it set.
    EXPECT_EQ(w.Profile().PowerMaximum, 255);
    // The travel template counts as a template too.
    Pick(w, "linuxcnc");
    w.TravelMoveMemo->setPlainText("G0 X? Y? ; dark");
    EXPECT_EQ(w.ProfileBox->currentData().toString(), "custom");
    EXPECT_EQ(w.Profile().TravelMove, "G0 X? Y? ; dark");
  }
  TMainWindow w;
  EXPECT_EQ(w.ProfileBox->currentData().toString(), "custom");
  EXPECT_EQ(w.TravelMoveMemo->toPlainText(), "G0 X? Y? ; dark");
  EXPECT_EQ(w.LaserOnMemo->toPlainText(), "M3 S?"); // linuxcnc's, picked after the edit
  // Reset puts the program's own defaults back, the profile included.
  w.ResetButton->click();
  EXPECT_EQ(w.ProfileBox->currentData().toString(), "default");
  EXPECT_EQ(w.LaserOnMemo->toPlainText(), "G4 P0\nM106 S?\nG4 P0");
  EXPECT_EQ(w.TravelMoveMemo->toPlainText(), "");
}

TEST_F(ProfileSectionTest, AccelerationEstimateShowsBesideThePlainOne) {
  TMainWindow w;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  Open(w, SmallFixture());
  const QString plain = w.CalcResult->text();
  EXPECT_TRUE(plain.startsWith("Estimated burning time:   ")) << plain.toStdString();
  EXPECT_FALSE(w.AccelResult->isVisible());
  const int height = w.InputGroup->height();
  const QImage preview = w.Levels().Preview();
  // The figure walks the whole job, so the worker makes it; the slot holds
  // its line meanwhile.
  auto expected = [&w] {
    const auto seconds = AccelerationSeconds(w.Levels());
    return seconds ? QString::fromStdString(AccelerationEstimateText(*seconds)) : QString();
  };
  w.AccelerationBox->setValue(500);
  EXPECT_TRUE(w.AccelResult->isVisible());
  EXPECT_EQ(w.InputGroup->height(), height + 18);
  const QString first = expected();
  EXPECT_TRUE(first.startsWith("With acceleration, travel and passes: ")) << first.toStdString();
  // Asking for the figure again neither recomputes nor redraws: the plain
  // figure stays in view meanwhile, where a new cycle shows its progress.
  bool plainHidden = false;
  EXPECT_TRUE(PumpUntil([&] {
    plainHidden = plainHidden || !w.CalcResult->isVisible();
    return w.AccelResult->text() == first;
  })) << w.AccelResult->text().toStdString();
  EXPECT_FALSE(plainHidden);
  EXPECT_TRUE(w.AccelResult->isVisible());
  const auto seconds = AccelerationSeconds(w.Levels());
  ASSERT_TRUE(seconds);
  EXPECT_GT(*seconds, w.Levels().EstimateSeconds());
  EXPECT_EQ(w.CalcResult->text(), plain);
  EXPECT_EQ(w.Levels().Preview(), preview);
  // A change of the job brings both figures anew, the later one for the
  // passes as they are now, also when a second change comes before it.
  w.Levels().Item(0)->SetPasses(2);
  w.Levels().Item(0)->SetPasses(3);
  ASSERT_TRUE(w.Levels().WaitUntilIdle());
  EXPECT_NE(w.CalcResult->text(), plain);
  EXPECT_TRUE(w.AccelResult->isVisible());
  const QString third = expected();
  EXPECT_NE(third, first);
  EXPECT_TRUE(PumpUntil([&] { return w.AccelResult->text() == third; }))
      << w.AccelResult->text().toStdString();
  EXPECT_EQ(w.Levels().Preview(), preview);
  w.AccelerationBox->setValue(0);
  EXPECT_FALSE(w.AccelResult->isVisible());
  EXPECT_EQ(w.InputGroup->height(), height);
}

TEST_F(ProfileSectionTest, SaveRefusesAJobOffTheBedAndReportsProblems) {
  TMainWindow w;
  Open(w, SmallFixture()); // 20 x 10 mm
  const QString target = TestFolder() + "/bed.gcode";
  QFile::remove(target);
  w.SaveDialogHook = [&](const QString &, const QString &) { return target; };
  w.BedWidthBox->setValue(15);
  w.BedHeightBox->setValue(100);
  try {
    w.SaveButtonClick();
    ADD_FAILURE() << "a job wider than the bed was saved";
  } catch (const TBedError &error) {
    EXPECT_STREQ(error.what(), "The job does not fit on the bed of 15 x 100 mm: it leaves it "
                               "by 5 mm on the right. Nothing was written.");
  }
  EXPECT_FALSE(QFile::exists(target));
  EXPECT_TRUE(w.RightPanel->isEnabled());

  // On the bed, but with a laser-off template that leaves it burning: the
  // file is written and the window says what the check found.
  w.BedWidthBox->setValue(0);
  w.LaserOffMemo->setPlainText("G4 P0");
  w.SaveButtonClick();
  EXPECT_TRUE(QFile::exists(target));
  ASSERT_EQ(w.ShownMessages.size(), 1);
  EXPECT_TRUE(w.ShownMessages[0].contains("but its check for the custom profile found problems"))
      << w.ShownMessages[0].toStdString();
  EXPECT_TRUE(w.ShownMessages[0].contains(": the laser is still on at the end of the file"));
}
