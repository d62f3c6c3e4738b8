#pragma once
// The settings panel's machine profile section: the firmware preset, the
// power range, the travel template, the bed and the acceleration, kept in
// step with the machine settings store and the window's templates.

#include <memory>
#include <string>

#include <QObject>

#include "core/MachineProfile.h"

class QWidget;
struct TBrennixSettings;
class TLevels;
struct TMachineSettings;
class TMainWindow;

// A QObject so that its connections end with it, before the window's
// controls are torn down.
class TProfileSection : public QObject {
public:
  TProfileSection(TMainWindow &window, TBrennixSettings &settings, TMachineSettings &machine,
                  const std::unique_ptr<TLevels> &levels);

  // Fills the window's profile controls into a new group under parent.
  void Build(QWidget *parent);
  void Connect();
  // Shows what the store holds.
  void Apply();
  TMachineProfile Read() const;
  // The user picked an entry of the firmware box: a preset fills the
  // templates, the power range and the travel template.
  void PresetChange();
  // A template edited by hand: the profile is no longer the preset's.
  void MarkCustom();
  // The running time with acceleration, shown only with one set. It walks
  // the whole job, so the worker makes it at the end of every cycle; a
  // change of the profile asks for it again.
  void InstallAccelerationEstimate();
  void UpdateAccelerationEstimate();
  // A new plain estimate: the figure with acceleration follows.
  void AwaitAccelerationEstimate();

  // What the slot shows while the figure is made.
  static constexpr const char *AccelerationPending = "With acceleration, travel and passes: ...";

private:
  void ShowAccelerationText(const std::string &text);

  TMainWindow &FWindow;
  TBrennixSettings &FSettings;
  TMachineSettings &FMachine;
  const std::unique_ptr<TLevels> &FLevels;
};
