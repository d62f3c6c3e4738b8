#pragma once
// The settings panel's machine profile section: the firmware preset, the
// power range, the travel template, the bed and the acceleration, kept in
// step with the machine settings store and the window's templates.

#include <memory>

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
  // The running time with acceleration, shown only with one set.
  void UpdateAccelerationEstimate();

private:
  TMainWindow &FWindow;
  TBrennixSettings &FSettings;
  TMachineSettings &FMachine;
  const std::unique_ptr<TLevels> &FLevels;
};
