#pragma once
// The program's twelve stored settings, shared by the window and brennix-cli.

#include <array>
#include <string>

#include "Configuration.h"
#include "core/Templates.h"

// The store name both programs use, whatever their executables are called.
inline constexpr const char *BrennixKeyName = "brennix";

// Owns one descriptor per setting; the pointers stay valid for its lifetime.
struct TBrennixSettings {
  TBrennixSettings();

  TZelConfiguration Configuration;
  TZelConfigurationFloatRange *IdleTravel;     // mm/s, 0.1 to 1000, default 100
  // The templates in the table's order, named as it names them, stored with
  // "~\~" for each line break.
  std::array<TZelConfigurationString *, TemplateCount> Templates;
  TZelConfigurationString *LaserOn, *LaserOff, *GcodePrefix, *GcodeSuffix, *HeadSpeed, *HeadMove;
  TZelConfigurationIntegerRange *MicroFocusSize; // micrometres, 4 to 2500, default 200
  TZelConfigurationBoolean *ShowTravel;
  TZelConfigurationFloatRange *OffsetX;        // mm, 0 to 1000
  TZelConfigurationFloatRange *OffsetY;
  TZelConfigurationBoolean *OffsetCenter;

  // Writes every default, in the order the window's reset button does.
  void ResetAll() const;
};

// Templates are stored on one line with "~\~" where the memo has a line break.
std::string StoredToMemo(const std::string &stored);
std::string MemoToStored(const std::string &memo);
