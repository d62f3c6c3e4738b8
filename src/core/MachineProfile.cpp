#include "MachineProfile.h"

#include <cmath>

namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

// GRBL 1.1 laser mode and its descendants read the same words: M4 scales the
// power with the actual speed (no burnt corners where the head slows down),
// an S on the G1 line changes power without stopping, G0 travels dark at the
// machine's own rapid rate, and S runs to $30 (1000 unless changed).
constexpr const char *GrblTemplates[TemplateCount] = {
    "M4 S?", "M5", "G90\r\nG21", "G0 X0 Y0", "F?", "G1 X? Y? S{power}"};

} // namespace

const std::vector<TPreset> &Presets() {
  static const std::vector<TPreset> presets = {
      {"default",
       "Marlin, laser on the fan output (M106)",
       fwMarlinFan,
       {TemplateTable[0].Default, TemplateTable[1].Default, TemplateTable[2].Default,
        TemplateTable[3].Default, TemplateTable[4].Default, TemplateTable[5].Default},
       "",
       255,
       0},
      {"grbl", "GRBL 1.1 (laser mode, $32=1)", fwGrbl,
       {GrblTemplates[0], GrblTemplates[1], GrblTemplates[2], GrblTemplates[3], GrblTemplates[4],
        GrblTemplates[5]},
       "G0 X? Y?", 1000, 0},
      {"grblhal", "grblHAL (laser mode, $32=1)", fwGrbl,
       {GrblTemplates[0], GrblTemplates[1], GrblTemplates[2], GrblTemplates[3], GrblTemplates[4],
        GrblTemplates[5]},
       "G0 X? Y?", 1000, 0},
      {"fluidnc", "FluidNC (laser spindle)", fwGrbl,
       {GrblTemplates[0], GrblTemplates[1], GrblTemplates[2], GrblTemplates[3], GrblTemplates[4],
        GrblTemplates[5]},
       "G0 X? Y?", 1000, 0},
      // Marlin's laser feature in inline mode: "M3 S? I" sets the power of the
      // next G1 without waiting for the moves before it; M5 waits and turns it off.
      {"marlin", "Marlin laser (M3 inline, S 0..255)", fwMarlinLaser,
       {"M3 S? I", "M5", "G90\r\nG21", "G0 X0 Y0\r\nM84", "G1 F?", "G1 X? Y?"}, "G0 X? Y?", 255, 0},
      // Smoothieware fires the laser only during G1 moves, at the S fraction
      // of the move: the power belongs on the move, and G0 travels dark.
      {"smoothie", "Smoothieware (S 0..1 on the moves)", fwSmoothie,
       {"", "", "G90\r\nG21", "G0 X0 Y0", "G1 F?", "G1 X? Y? S{power}"}, "G0 X? Y?", 1, 3},
      // In laser mode (M452 in config.g) RepRapFirmware reads the power from
      // the S of each G1 (not kept from move to move unless M452 S1), scaled
      // to M452's R (255 unless set).
      {"reprap", "RepRapFirmware laser mode (M452)", fwReprap,
       {"", "", "G90\r\nG21", "G0 X0 Y0", "G1 F?", "G1 X? Y? S{power}"}, "G0 X? Y?", 255, 0},
      {"linuxcnc", "LinuxCNC (M3/M5 with S)", fwLinuxCnc,
       {"M3 S?", "M5", "G90\r\nG21", "G0 X0 Y0\r\nM2", "F?", "G1 X? Y?"}, "G0 X? Y?", 1000, 0},
  };
  return presets;
}

const TPreset *PresetByName(std::string_view name) {
  for (const TPreset &preset : Presets())
    if (SameName(name, preset.Name))
      return &preset;
  return nullptr;
}

std::string ProfileNames() {
  std::string names;
  for (const TPreset &preset : Presets())
    names += std::string(preset.Name) + ", ";
  return names + CustomProfileName;
}

TFirmware TMachineProfile::Firmware() const {
  const TPreset *preset = PresetByName(Name);
  return preset ? preset->Firmware : fwAny;
}

std::string FormatPower(std::int32_t power, double maximum, int decimals) {
  decimals = decimals < 0 ? 0 : decimals > 6 ? 6 : decimals;
  long long scale = 1;
  for (int i = 0; i < decimals; ++i)
    scale *= 10;
  // Rounded once, in whole steps of the last decimal, so the text is exact.
  const auto steps = static_cast<long long>(
      std::nearbyint(static_cast<double>(power) * maximum / 255.0 * static_cast<double>(scale)));
  const long long magnitude = steps < 0 ? -steps : steps;
  std::string text = steps < 0 ? "-" : "";
  text += std::to_string(magnitude / scale);
  if (decimals == 0)
    return text;
  std::string fraction = std::to_string(magnitude % scale);
  fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0')
    fraction.pop_back();
  if (!fraction.empty())
    text += "." + fraction;
  return text;
}

void ApplyPreset(const TPreset &preset, TMachineProfile &profile, TTemplates &templates) {
  profile.Name = preset.Name;
  profile.PowerMaximum = preset.PowerMaximum;
  profile.PowerDecimals = preset.PowerDecimals;
  profile.TravelMove = preset.TravelMove;
  for (int k = 0; k < TemplateCount; ++k)
    templates[static_cast<TTemplateKind>(k)] = preset.Templates[k];
}
