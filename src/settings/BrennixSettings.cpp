#include "BrennixSettings.h"

#include "core/Strings.h"

TBrennixSettings::TBrennixSettings()
    : IdleTravel(new TZelConfigurationFloatRange("IdleTravel", 100.0, 0.1, 1000.0, &Configuration)),
      Templates([this] {
        std::array<TZelConfigurationString *, TemplateCount> templates{};
        for (const TTemplateInfo &info : TemplateTable)
          templates[info.Kind] =
              new TZelConfigurationString(info.Name, MemoToStored(info.Default), &Configuration);
        return templates;
      }()),
      LaserOn(Templates[tkLaserOn]), LaserOff(Templates[tkLaserOff]),
      GcodePrefix(Templates[tkGcodePrefix]), GcodeSuffix(Templates[tkGcodeSuffix]),
      HeadSpeed(Templates[tkHeadSpeed]), HeadMove(Templates[tkHeadMove]),
      MicroFocusSize(
          new TZelConfigurationIntegerRange("MicroFocusSize", 200, 4, 2500, &Configuration)),
      ShowTravel(new TZelConfigurationBoolean("ShowTravel", false, &Configuration)),
      OffsetX(new TZelConfigurationFloatRange("OffsetX", 0.0, 0.0, 1000.0, &Configuration)),
      OffsetY(new TZelConfigurationFloatRange("OffsetY", 0.0, 0.0, 1000.0, &Configuration)),
      OffsetCenter(new TZelConfigurationBoolean("OffsetCenter", false, &Configuration)) {}

void TBrennixSettings::ResetAll() const {
  for (TZelConfigurationValue *value : Configuration.GetChildren())
    value->Reset();
}

std::string StoredToMemo(const std::string &stored) { return ReplaceAll(stored, "~\\~", "\r\n"); }

std::string MemoToStored(const std::string &memo) { return ReplaceAll(memo, "\r\n", "~\\~"); }
