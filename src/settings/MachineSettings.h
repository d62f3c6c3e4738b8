#pragma once
// The machine profile's stored values, beside the program's twelve settings
// in the same per-user store. A store without them reads as the program's
// own defaults, so nothing changes for a user who never picks a profile.

#include "Configuration.h"
#include "core/MachineProfile.h"

struct TMachineSettings {
  TMachineSettings();

  TZelConfiguration Configuration;
  TZelConfigurationString *Profile;             // a preset's name or "custom"
  TZelConfigurationFloatRange *PowerMaximum;    // S for full power, default 255
  TZelConfigurationIntegerRange *PowerDecimals; // 0 to 4
  TZelConfigurationString *TravelMove;          // stored with "~\~" for line breaks
  TZelConfigurationFloatRange *BedWidth;        // mm, 0 (no bed) to 10000
  TZelConfigurationFloatRange *BedHeight;
  TZelConfigurationFloatRange *Acceleration; // mm/s², 0 (plain estimate) to 100000

  TMachineProfile Read() const;
  void Write(const TMachineProfile &profile) const;
  void ResetAll() const;
};
