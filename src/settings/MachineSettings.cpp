#include "MachineSettings.h"

#include "BrennixSettings.h"

TMachineSettings::TMachineSettings()
    : Profile(new TZelConfigurationString("MachineProfile", "default", &Configuration)),
      PowerMaximum(
          new TZelConfigurationFloatRange("PowerMaximum", 255.0, 0.001, 1000000.0, &Configuration)),
      PowerDecimals(new TZelConfigurationIntegerRange("PowerDecimals", 0, 0, 4, &Configuration)),
      TravelMove(new TZelConfigurationString("TravelMove", "", &Configuration)),
      BedWidth(new TZelConfigurationFloatRange("BedWidth", 0.0, 0.0, 10000.0, &Configuration)),
      BedHeight(new TZelConfigurationFloatRange("BedHeight", 0.0, 0.0, 10000.0, &Configuration)),
      Acceleration(
          new TZelConfigurationFloatRange("Acceleration", 0.0, 0.0, 100000.0, &Configuration)) {}

TMachineProfile TMachineSettings::Read() const {
  TMachineProfile profile;
  profile.Name = Profile->Value();
  profile.PowerMaximum = PowerMaximum->Value();
  profile.PowerDecimals = PowerDecimals->Value();
  profile.TravelMove = StoredToMemo(TravelMove->Value());
  profile.BedWidth = BedWidth->Value();
  profile.BedHeight = BedHeight->Value();
  profile.Acceleration = Acceleration->Value();
  return profile;
}

void TMachineSettings::Write(const TMachineProfile &profile) const {
  Profile->SetValue(profile.Name);
  PowerMaximum->SetValue(profile.PowerMaximum);
  PowerDecimals->SetValue(profile.PowerDecimals);
  TravelMove->SetValue(MemoToStored(profile.TravelMove));
  BedWidth->SetValue(profile.BedWidth);
  BedHeight->SetValue(profile.BedHeight);
  Acceleration->SetValue(profile.Acceleration);
}

void TMachineSettings::ResetAll() const {
  for (TZelConfigurationValue *value : Configuration.GetChildren())
    value->Reset();
}
