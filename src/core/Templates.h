#pragma once
// The six G-code command templates: one table of their names and defaults,
// in the order the store keeps them, shared by the window, brennix-cli and
// the settings store. Header only, so the store needs no link to the core.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum TTemplateKind : std::uint8_t {
  tkLaserOn,
  tkLaserOff,
  tkGcodePrefix,
  tkGcodeSuffix,
  tkHeadSpeed,
  tkHeadMove
};
inline constexpr int TemplateCount = 6;

struct TTemplateInfo {
  TTemplateKind Kind;
  // The stored value's name, also brennix-cli's --template NAME.
  const char *Name;
  // As the memo shows it, lines joined by CR LF; "?" is where a number goes.
  const char *Default;
};

inline constexpr TTemplateInfo TemplateTable[TemplateCount] = {
    {tkLaserOn, "LaserOn", "G4 P0\r\nM106 S?\r\nG4 P0"},
    {tkLaserOff, "LaserOff", "G4 P0\r\nM106 S0\r\nG4 P10"},
    {tkGcodePrefix, "GcodePrefix", "M106 S0\r\nG90\r\nG28 X0 Y0\r\nG21"},
    {tkGcodeSuffix, "GcodeSuffix", "G1 F3000\r\nG1 X0 Y0\r\nM84"},
    {tkHeadSpeed, "HeadSpeed", "G1 F?"},
    {tkHeadMove, "HeadMove", "G1 X? Y?"},
};
static_assert(
    [] {
      for (int i = 0; i < TemplateCount; ++i)
        if (TemplateTable[i].Kind != i)
          return false;
      return true;
    }(),
    "the table lists the templates in the order of their kinds");

// The template of that stored name, if it is one of the six.
constexpr std::optional<TTemplateKind> TemplateByName(std::string_view name) {
  for (const TTemplateInfo &info : TemplateTable)
    if (name == info.Name)
      return info.Kind;
  return std::nullopt;
}

// The six texts a job is written with, each as its memo shows it.
struct TTemplates {
  std::string LaserOn = TemplateTable[tkLaserOn].Default;
  std::string LaserOff = TemplateTable[tkLaserOff].Default;
  std::string GcodePrefix = TemplateTable[tkGcodePrefix].Default;
  std::string GcodeSuffix = TemplateTable[tkGcodeSuffix].Default;
  std::string HeadSpeed = TemplateTable[tkHeadSpeed].Default;
  std::string HeadMove = TemplateTable[tkHeadMove].Default;

  std::string &operator[](TTemplateKind kind) { return this->*Fields[kind]; }
  const std::string &operator[](TTemplateKind kind) const { return this->*Fields[kind]; }

private:
  static constexpr std::string TTemplates::*Fields[TemplateCount] = {
      &TTemplates::LaserOn,     &TTemplates::LaserOff,  &TTemplates::GcodePrefix,
      &TTemplates::GcodeSuffix, &TTemplates::HeadSpeed, &TTemplates::HeadMove};
};
