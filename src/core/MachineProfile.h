#pragma once
// The machine a job is written for: its firmware's command templates and
// power range, the travel template, the bed and the acceleration.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Templates.h"

// Firmware families, as far as they differ in what a G-code file may say.
enum TFirmware : std::uint8_t {
  fwMarlinFan, // the program's own defaults: a laser on Marlin's fan output (M106)
  fwGrbl,      // GRBL 1.1 and its descendants: laser mode ($32=1), G0 blanks the laser
  fwMarlinLaser,
  fwSmoothie, // fires only during G1/G2/G3 with S > 0; S is a fraction 0..1
  fwReprap,   // laser mode (M452): fires only during G1/G2/G3 with S > 0
  fwLinuxCnc,
  fwAny // a custom profile: every word any of the others knows
};

// Written into HeadMove and the travel template in place of the move's power,
// for firmwares that read the laser power on the move itself.
inline constexpr std::string_view PowerPlaceholder = "{power}";

struct TPreset {
  const char *Name;  // stored and given to brennix-cli --profile
  const char *Title; // as the window lists it
  TFirmware Firmware;
  // The six templates as their memos show them (lines joined by CR LF).
  const char *Templates[TemplateCount];
  const char *TravelMove;
  double PowerMaximum;
  int PowerDecimals;
};

// The presets, the program's own defaults first.
const std::vector<TPreset> &Presets();
// A preset by its name (ASCII case ignored); none for "custom" or unknown names.
const TPreset *PresetByName(std::string_view name);
inline constexpr const char *CustomProfileName = "custom";
// "default, grbl, ..., custom": for messages that list what may be given.
std::string ProfileNames();

struct TMachineProfile {
  std::string Name = "default"; // a preset's name or "custom"
  double PowerMaximum = 255;    // S written for power 255
  int PowerDecimals = 0;        // decimals of the written S (trailing zeros dropped)
  std::string TravelMove;       // empty: moves with the laser off use HeadMove
  double BedWidth = 0, BedHeight = 0; // millimetres; 0 by 0: no bed to keep to
  double Acceleration = 0;            // mm/s²; 0: only the plain estimate

  bool HasBed() const { return BedWidth > 0 && BedHeight > 0; }
  TFirmware Firmware() const;
};

// Power 0..255 as written: round(power × maximum / 255) to the given decimals,
// trailing zeros and a trailing point dropped ("0.5", "1000", "0").
std::string FormatPower(std::int32_t power, double maximum, int decimals);

// The profile and templates of that preset (the bed and acceleration are the
// machine's, not the firmware's, so they stay).
void ApplyPreset(const TPreset &preset, TMachineProfile &profile, TTemplates &templates);
