#include "settings/MachineSettings.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "StoreTest.h"
#include "settings/BrennixSettings.h"

namespace {

class MachineSettings : public TStoreTest {};

} // namespace

TEST_F(MachineSettings, AStoreWithoutThemReadsAsTheDefaultsAndStaysUntouched) {
  // A user's store from before profiles existed: only the old settings.
  const TBrennixSettings old;
  old.OffsetX->SetValue(12.5);
  old.HeadMove->SetValue("G1 X? Y? ; mine");
  const std::string before = FileText();
  ASSERT_FALSE(before.empty());

  const TMachineSettings machine;
  const TMachineProfile profile = machine.Read();
  const TMachineProfile defaults;
  EXPECT_EQ(profile.Name, "default");
  EXPECT_EQ(profile.PowerMaximum, defaults.PowerMaximum);
  EXPECT_EQ(profile.PowerDecimals, defaults.PowerDecimals);
  EXPECT_EQ(profile.TravelMove, "");
  EXPECT_FALSE(profile.HasBed());
  EXPECT_EQ(profile.Acceleration, 0.0);
  // Reading wrote nothing: the old file is byte for byte what it was.
  EXPECT_EQ(FileText(), before);
}

TEST_F(MachineSettings, WrittenProfileReadsBackAndRangesClamp) {
  const TMachineSettings machine;
  TMachineProfile profile;
  profile.Name = "smoothie";
  profile.PowerMaximum = 1;
  profile.PowerDecimals = 3;
  profile.TravelMove = "G0 X? Y?\r\nM400";
  profile.BedWidth = 300;
  profile.BedHeight = 200.5;
  profile.Acceleration = 1500;
  machine.Write(profile);
  TZelConfiguration::CloseStore();
  const TMachineProfile back = TMachineSettings().Read();
  EXPECT_EQ(back.Name, "smoothie");
  EXPECT_EQ(back.PowerMaximum, 1.0);
  EXPECT_EQ(back.PowerDecimals, 3);
  EXPECT_EQ(back.TravelMove, "G0 X? Y?\r\nM400");
  EXPECT_EQ(back.BedWidth, 300.0);
  EXPECT_EQ(back.BedHeight, 200.5);
  EXPECT_EQ(back.Acceleration, 1500.0);
  // Stored on one line, as the templates are.
  EXPECT_EQ(machine.TravelMove->Value(), "G0 X? Y?~\\~M400");

  machine.PowerDecimals->SetValue(9);
  machine.PowerMaximum->SetValue(-3);
  machine.Acceleration->SetValue(-1);
  EXPECT_EQ(machine.Read().PowerDecimals, 4);
  EXPECT_EQ(machine.Read().PowerMaximum, 0.001);
  EXPECT_EQ(machine.Read().Acceleration, 0.0);

  machine.ResetAll();
  EXPECT_EQ(machine.Read().Name, "default");
  EXPECT_EQ(machine.Read().PowerMaximum, 255.0);
  EXPECT_FALSE(machine.Read().HasBed());
}
