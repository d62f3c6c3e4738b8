// brennix-cli: the window's load, processing cycle and save, without a display.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include <QFileInfo>
#include <QGuiApplication>

#include "JobJson.h"
#include "ProgressBar.h"
#include "core/Estimate.h"
#include "core/FileBytes.h"
#include "core/GcodeCheck.h"
#include "core/HeadlessHost.h"
#include "core/JobLimits.h"
#include "core/LevelLimits.h"
#include "core/Levels.h"
#include "core/Numbers.h"
#include "core/PathUtils.h"
#include "core/PhaseTimes.h"
#include "core/PrintSize.h"
#include "gerber/BoardOutline.h"
#include "io/FileIntake.h"
#include "io/GcodeWriter.h"
#include "io/Messages.h"
#include "raster/RasterModes.h"
#include "settings/BrennixSettings.h"
#include "settings/MachineSettings.h"
#include "settings/RasterModeSettings.h"

namespace {

const char *const Usage =
    "usage: brennix-cli [options] DRAWING\n"
    "       brennix-cli --check GCODE [--profile NAME ...]\n"
    "  -o, --output FILE      write the G-code to FILE\n"
    "  --json FILE            write the processed job as JSON (\"-\": standard output)\n"
    "  --filter-index N       open-dialog filter index passed to the readers (default 1)\n"
    "  --focus MM             focus point size in millimetres (default: stored setting, 0.2)\n"
    "  --scale SX[,SY]        scale in percent, as the Scale boxes do (SY defaults to SX)\n"
    "  --size W[,H]           print size in millimetres, as the Print boxes do\n"
    "  --mirror               Mirror Output\n"
    "  --outline-only         Outline Only\n"
    "  --idle-speed MMS       idle travel speed, mm/s\n"
    "  --offset X,Y           offsets in millimetres\n"
    "  --center               Print from Center\n"
    "  --level I:KEY=V[,KEY=V...]   change level I (0-based index in the level list\n"
    "                         itself, not a grid row) through its setters; KEY is\n"
    "                         print (0/1), speed (mm/s), passes, power (0..255),\n"
    "                         height, style (0..3)\n"
    "  --template NAME=TEXT   use TEXT for template NAME (LaserOn, LaserOff,\n"
    "                         GcodePrefix, GcodeSuffix, HeadSpeed, HeadMove), lines\n"
    "                         separated by \"~\\~\" as in the stored form\n"
    "  --gerber-outline none|offset:MM|mechanical:FILE\n"
    "  --raster-mode MODE     how a picture is engraved: colour (its colour levels,\n"
    "                         the default), dithered or gray (gray levels)\n"
    "  --dither KERNEL        floyd-steinberg, jarvis, stucki, atkinson, sierra,\n"
    "                         bayer or threshold (default floyd-steinberg)\n"
    "  --gray-levels N        gray bands, 2 to 64 (default 16)\n"
    "  --contrast P, --brightness P   percent, -100 to 100 (default 0)\n"
    "  --gamma G              lightness to the power G, 0.1 to 10 (default 1)\n"
    "  --min-power N, --max-power N   the gray bands' power range, 0 to 255\n"
    "  --power-gamma G        the gray bands' power curve, 0.1 to 10 (default 1)\n"
    "  --overscan MM|off      a picture's scan lines run on with the laser off at\n"
    "                         both ends: v\u00b2/(2a) with --accel, else MM\n"
    "machine profile (default: the stored one):\n"
    "  --profile NAME         firmware preset: default, grbl, grblhal, fluidnc, marlin,\n"
    "                         smoothie, reprap, linuxcnc; its templates and power range\n"
    "                         replace the stored ones (custom: keep them)\n"
    "  --s-max N              S written for full power (default 255)\n"
    "  --s-decimals N         decimals of the written S, 0 to 4\n"
    "  --travel TEXT          template for moves with the laser off (\"G0 X? Y?\"),\n"
    "                         empty: they use HeadMove; \"{power}\" in it or in\n"
    "                         HeadMove is replaced by the move's power\n"
    "  --bed W,H              bed size in mm (0,0: no bed); a job that leaves it is\n"
    "                         refused; also --bed-width W, --bed-height H\n"
    "  --accel N              acceleration in mm/s\u00b2 for the running-time estimate\n"
    "                         (0: only the plain estimate)\n"
    "  --timings              wall and processor time of each phase on standard error\n"
    "  --check GCODE          check GCODE for the profile's firmware instead of\n"
    "                         converting a drawing; exit status 3 when it has problems\n"
    "  -q, --quiet            no progress bar (it is drawn only when standard error\n"
    "                         is a terminal)\n"
    "  --version              the program's version\n"
    "  -h, --help             usage\n"
    "exit status:\n"
    "  0  done\n"
    "  1  the drawing was refused (unreadable, too large, off the bed) or a file\n"
    "     could not be read or written\n"
    "  2  bad usage: an unknown option or a value out of range\n"
    "  3  the G-code was written (or --check read) and has problems for the profile\n";

// A G-code file larger than this is not checked: jobs of a hobby machine
// stay far below it.
constexpr std::int64_t MaximumCheckedBytes = std::int64_t{1} << 30;

// Bad usage: exit status 2 with the usage text.
class TUsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

double ParseNumber(const std::string &text, const std::string &what) {
  const auto value = ParseFiniteDouble(text);
  if (!value)
    throw TUsageError("'" + text + "' is not a valid number for " + what);
  return *value;
}

long long ParseInteger(const std::string &text, const std::string &what) {
  const auto value = ::ParseInteger<long long>(text);
  if (!value)
    throw TUsageError("'" + text + "' is not a valid integer for " + what);
  return *value;
}

std::vector<std::string> Split(const std::string &text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos)
      return parts;
    start = at + 1;
  }
}

std::pair<double, double> ParsePair(const std::string &text, const std::string &what,
                                    bool secondOptional) {
  const auto parts = Split(text, ',');
  if (parts.size() == 1 && secondOptional) {
    const double value = ParseNumber(parts[0], what);
    return {value, value};
  }
  if (parts.size() != 2)
    throw TUsageError(what + " takes two numbers separated by a comma");
  return {ParseNumber(parts[0], what), ParseNumber(parts[1], what)};
}

struct TLevelChange {
  long long Index;
  TLevelField Field;
  std::string Value;
};

struct TOptions {
  std::string Drawing, Output, Json;
  int FilterIndex = 1;
  std::optional<double> Focus;
  std::optional<std::pair<double, double>> Scale, Size;
  bool Mirror = false, OutlineOnly = false;
  std::optional<double> IdleSpeed;
  std::optional<std::pair<double, double>> Offset;
  bool Center = false;
  std::vector<TLevelChange> Levels;
  std::vector<std::pair<TTemplateKind, std::string>> Templates;
  std::optional<TOutlineChoice> GerberOutline;
  std::string Check;
  std::optional<std::string> Profile, Travel;
  std::optional<double> PowerMaximum, BedWidth, BedHeight, Acceleration;
  std::optional<int> PowerDecimals;
  bool Timings = false;
  // The raster options with their values, checked, applied over the stored
  // raster settings in their order.
  std::vector<std::pair<std::string, std::string>> Raster;
  bool Quiet = false;
};

double InRange(double value, TJobRange range, const std::string &message) {
  if (!range.Holds(value))
    throw TUsageError(message);
  return value;
}

// The raster options; false when arg is none of them. raster starts as the
// stored settings.
bool ParseRasterOption(const std::string &arg, const std::function<std::string()> &value,
                       TRasterSettings &raster) {
  auto number = [&](TJobRange range, const std::string &unit) {
    return InRange(ParseNumber(value(), arg), range, arg + " takes " + RangeText(range) + unit);
  };
  if (arg == "--raster-mode") {
    const std::string name = value();
    const auto mode = RasterModeByName(name);
    if (!mode)
      throw TUsageError("--raster-mode takes one of " + RasterModeNames() + ", not '" + name + "'");
    raster.Mode = *mode;
  } else if (arg == "--dither") {
    const std::string name = value();
    const auto kernel = DitherKernelByName(name);
    if (!kernel)
      throw TUsageError("--dither takes one of " + DitherKernelNames() + ", not '" + name + "'");
    raster.Kernel = *kernel;
  } else if (arg == "--gray-levels") {
    const long long bands = ParseInteger(value(), arg);
    if (bands < MinGrayLevels || bands > MaxGrayLevels)
      throw TUsageError("--gray-levels takes " + std::to_string(MinGrayLevels) + " to " +
                        std::to_string(MaxGrayLevels) + " bands");
    raster.GrayLevels = static_cast<int>(bands);
  } else if (arg == "--contrast") {
    raster.Contrast = number(ToneRange, " %");
  } else if (arg == "--brightness") {
    raster.Brightness = number(ToneRange, " %");
  } else if (arg == "--gamma") {
    raster.Gamma = number(GammaRange, "");
  } else if (arg == "--power-gamma") {
    raster.PowerGamma = number(GammaRange, "");
  } else if (arg == "--overscan") {
    const std::string text = value();
    raster.Overscan = text != "off";
    if (raster.Overscan)
      raster.OverscanMM = InRange(ParseNumber(text, arg), OverscanRange,
                                  "--overscan takes " + RangeText(OverscanRange) + " mm or off");
  } else if (arg == "--min-power" || arg == "--max-power") {
    (arg == "--min-power" ? raster.MinPower : raster.MaxPower) =
        static_cast<int>(std::lround(number(RasterPowerRange, "")));
  } else {
    return false;
  }
  return true;
}

TOptions ParseArguments(int argc, char **argv) {
  TOptions options;
  auto value = [&](int &i) -> std::string {
    if (i + 1 >= argc)
      throw TUsageError(std::string(argv[i]) + " needs a value");
    return argv[++i];
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << Usage;
      std::exit(0);
    } else if (arg == "--version") {
      std::cout << "brennix-cli " << BRENNIX_VERSION << '\n';
      std::exit(0);
    } else if (arg == "-q" || arg == "--quiet") {
      options.Quiet = true;
    } else if (arg == "-o" || arg == "--output") {
      options.Output = value(i);
    } else if (arg == "--json") {
      options.Json = value(i);
    } else if (arg == "--filter-index") {
      options.FilterIndex = static_cast<int>(ParseInteger(value(i), arg));
    } else if (arg == "--focus") {
      options.Focus = ParseNumber(value(i), arg);
      if (!FocusRange.Holds(*options.Focus))
        throw TUsageError("--focus takes " + RangeText(FocusRange) + " mm");
    } else if (arg == "--scale") {
      options.Scale = ParsePair(value(i), arg, true);
    } else if (arg == "--size") {
      options.Size = ParsePair(value(i), arg, true);
    } else if (arg == "--mirror") {
      options.Mirror = true;
    } else if (arg == "--outline-only") {
      options.OutlineOnly = true;
    } else if (arg == "--idle-speed") {
      options.IdleSpeed =
          std::clamp(ParseNumber(value(i), arg), IdleSpeedRange.Minimum, IdleSpeedRange.Maximum);
    } else if (arg == "--offset") {
      options.Offset = ParsePair(value(i), arg, false);
    } else if (arg == "--center") {
      options.Center = true;
    } else if (arg == "--level") {
      const std::string text = value(i);
      const auto colon = text.find(':');
      if (colon == std::string::npos)
        throw TUsageError("--level takes I:KEY=V[,KEY=V...]");
      const long long index = ParseInteger(text.substr(0, colon), arg);
      for (const auto &pair : Split(text.substr(colon + 1), ',')) {
        const auto equals = pair.find('=');
        if (equals == std::string::npos)
          throw TUsageError("--level takes I:KEY=V[,KEY=V...]");
        const std::string key = pair.substr(0, equals);
        const auto field = LevelFieldByKey(key);
        if (!field)
          throw TUsageError("unknown level setting '" + key + "'");
        options.Levels.push_back({index, *field, pair.substr(equals + 1)});
      }
    } else if (arg == "--template") {
      const std::string text = value(i);
      const auto equals = text.find('=');
      const auto kind = TemplateByName(text.substr(0, equals));
      if (equals == std::string::npos || !kind) {
        std::string names;
        for (const TTemplateInfo &info : TemplateTable)
          names += (names.empty() ? "" : ", ") + std::string(info.Name);
        throw TUsageError("--template takes NAME=TEXT with NAME one of " + names);
      }
      options.Templates.emplace_back(*kind, text.substr(equals + 1));
    } else if (arg == "--gerber-outline") {
      const std::string text = value(i);
      TOutlineChoice choice;
      if (text == "none") {
        choice.Kind = okNone;
      } else if (text.rfind("offset:", 0) == 0) {
        choice.Kind = okOffset;
        choice.OffsetMM = ParseNumber(text.substr(7), arg);
        if (!OutlineOffsetRange.Holds(choice.OffsetMM))
          throw TUsageError("--gerber-outline offset takes " + RangeText(OutlineOffsetRange) +
                            " mm");
      } else if (text.rfind("mechanical:", 0) == 0 && text.size() > 11) {
        choice.Kind = okMechanical;
        choice.MechanicalFile = text.substr(11);
      } else {
        throw TUsageError("--gerber-outline takes none, offset:MM or mechanical:FILE");
      }
      options.GerberOutline = choice;
    } else if (arg == "--timings") {
      options.Timings = true;
    } else if (arg == "--check") {
      options.Check = value(i);
    } else if (arg == "--profile") {
      const std::string name = value(i);
      if (!PresetByName(name) && name != CustomProfileName)
        throw TUsageError("unknown profile '" + name + "'; the profiles are " + ProfileNames());
      options.Profile = name;
    } else if (arg == "--s-max") {
      options.PowerMaximum = InRange(ParseNumber(value(i), arg), PowerMaximumRange,
                                     "--s-max takes " + RangeText(PowerMaximumRange));
    } else if (arg == "--s-decimals") {
      const std::string text = value(i);
      const auto decimals = ::ParseInteger<int>(text);
      if (!decimals || *decimals < 0 || *decimals > PowerDecimalsMaximum)
        throw TUsageError("--s-decimals takes a whole number from 0 to " +
                          std::to_string(PowerDecimalsMaximum) + ", not '" + text + "'");
      options.PowerDecimals = *decimals;
    } else if (arg == "--travel") {
      options.Travel = StoredToMemo(value(i));
    } else if (arg == "--bed") {
      const auto [width, height] = ParsePair(value(i), arg, false);
      const std::string message =
          "--bed takes a width and a height from " + RangeText(BedSideRange) + " mm";
      options.BedWidth = InRange(width, BedSideRange, message);
      options.BedHeight = InRange(height, BedSideRange, message);
    } else if (arg == "--bed-width" || arg == "--bed-height") {
      (arg == "--bed-width" ? options.BedWidth : options.BedHeight) =
          InRange(ParseNumber(value(i), arg), BedSideRange,
                  arg + " takes " + RangeText(BedSideRange) + " mm");
    } else if (arg == "--accel") {
      options.Acceleration =
          InRange(ParseNumber(value(i), arg), AccelerationRange,
                  "--accel takes " + RangeText(AccelerationRange) + " mm/s\u00b2");
    } else if (TRasterSettings checked; ParseRasterOption(
                   arg, [&] { return value(i); }, checked)) {
      options.Raster.emplace_back(arg, argv[i]);
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      throw TUsageError("unknown option " + arg);
    } else if (options.Drawing.empty()) {
      options.Drawing = arg;
    } else {
      throw TUsageError("only one drawing can be converted at a time");
    }
  }
  if (!options.Check.empty() && !options.Drawing.empty())
    throw TUsageError("--check takes a G-code file instead of a drawing, not both");
  if (options.Drawing.empty() && options.Check.empty())
    throw TUsageError("no drawing given");
  return options;
}

void ApplyLevelChange(TLevels &levels, const TLevelChange &change) {
  if (change.Index < 0 || change.Index >= levels.Count())
    throw TUsageError("--level " + std::to_string(change.Index) + ": the job has " +
                      std::to_string(levels.Count()) + " levels");
  TLevel &level = *levels.Item(static_cast<int>(change.Index));
  const TLevelFieldInfo &field = LevelField(change.Field);
  const std::string what = std::string("--level ") + field.Key;
  switch (change.Field) {
  case lfPrint:
    level.SetPrint(ParseInteger(change.Value, what) != 0);
    break;
  case lfSpeed:
    level.SetSpeed(RoundLimited(ParseNumber(change.Value, what) * 100, field.Direct));
    break;
  case lfPasses:
    level.SetPasses(Limited(ParseInteger(change.Value, what), field.Direct));
    break;
  case lfPower:
    level.SetPower(Limited(ParseInteger(change.Value, what), field.Direct));
    break;
  case lfHeight:
    level.SetHeight(Limited(ParseInteger(change.Value, what), field.Direct));
    break;
  case lfStyle: {
    const long long style = ParseInteger(change.Value, what);
    if (style < field.Direct.Minimum || style > field.Direct.Maximum)
      throw TUsageError(what + " takes " + std::to_string(field.Direct.Minimum) + " to " +
                        std::to_string(field.Direct.Maximum));
    level.SetStyle(static_cast<TLevelStyle>(style));
    break;
  }
  }
}

// The Scale and Print boxes: each holds what is written into it within its
// range and the output follows the print size.
void ApplyPrintSize(TLevels &levels, THeadlessHost &host, const TOptions &options) {
  if (!options.Scale && !options.Size)
    return;
  const double u = UnitsPerMM();
  const TIntSize size = levels.Size();
  double printX = host.PrintX, printY = host.PrintY;
  if (options.Scale) {
    host.SetScale(LimitedScale(options.Scale->first), LimitedScale(options.Scale->second));
    printX = PrintForScale(host.ScaleXValue, size.cx, u);
    printY = PrintForScale(host.ScaleYValue, size.cy, u);
  }
  if (options.Size) {
    printX = options.Size->first;
    printY = options.Size->second;
  }
  printX = LimitedPrint(printX);
  printY = LimitedPrint(printY);
  host.SetPrintSize(printX, printY);
  if (options.Size) {
    const auto scaleX = ScaleForPrint(printX, size.cx, u),
               scaleY = ScaleForPrint(printY, size.cy, u);
    if (scaleX && scaleY)
      host.SetScale(LimitedScale(*scaleX), LimitedScale(*scaleY));
  }
  levels.SetOutput({OutputForPrint(printX, u), OutputForPrint(printY, u)});
}

// The stored profile, then --profile's preset, then the single options: an
// edited template turns a preset into a custom profile.
void ApplyProfileOptions(THeadlessHost &host, TMachineProfile profile, const TOptions &options) {
  TTemplates &templates = host.TemplateTexts;
  if (options.Profile) {
    if (const TPreset *preset = PresetByName(*options.Profile))
      ApplyPreset(*preset, profile, templates);
    else
      profile.Name = CustomProfileName;
  }
  if (!options.Templates.empty() || options.Travel)
    profile.Name = CustomProfileName;
  for (const auto &[kind, text] : options.Templates)
    templates[kind] = StoredToMemo(text);
  if (options.Travel)
    profile.TravelMove = *options.Travel;
  if (options.PowerMaximum)
    profile.PowerMaximum = *options.PowerMaximum;
  if (options.PowerDecimals)
    profile.PowerDecimals = *options.PowerDecimals;
  if (options.BedWidth)
    profile.BedWidth = *options.BedWidth;
  if (options.BedHeight)
    profile.BedHeight = *options.BedHeight;
  if (options.Acceleration)
    profile.Acceleration = *options.Acceleration;
  host.ProfileValue = profile;
}

// --check: the problems, one a line, on standard output; 3 when there are any.
int CheckFile(const TOptions &options, const TMachineProfile &profile, double focusMM) {
  const std::string text = ReadFileBytes(options.Check, MaximumCheckedBytes);
  const auto problems = CheckGcode(text, profile, focusMM);
  for (const auto &problem : problems)
    std::cout << options.Check << ": " << ProblemText(problem) << '\n';
  if (!problems.empty()) {
    std::cerr << problems.size() << (problems.size() == 1 ? " problem" : " problems") << " for the "
              << profile.Name << " profile\n";
    return 3;
  }
  std::cout << options.Check << ": no problems for the " << profile.Name << " profile\n";
  return 0;
}

// Standard error: the progress bar when it is a terminal (and not --quiet),
// and the one place where an error that ends the run is shown.
class TTerminal {
public:
  TTerminal() : FBar(stderr), FShowsBar(isatty(STDERR_FILENO) != 0) {}

  void SetQuiet() { FShowsBar = false; }
  bool ShowsBar() const { return FShowsBar; }
  void Progress(const std::string &phase, int value, int maximum) {
    if (FShowsBar)
      FBar.Update(phase, value, maximum);
  }
  void EndBar() { FBar.End(); }
  void ShowError(const std::string &message) {
    EndBar();
    std::cerr << message << '\n';
  }

private:
  TProgressBar FBar;
  bool FShowsBar;
};

// Every progress the job reports, loading, burn paths and saving alike,
// reaches the terminal's bar under the name of the phase under way.
class TCliHost : public THeadlessHost {
public:
  explicit TCliHost(TTerminal &terminal) : FTerminal(terminal) {}
  // The next phase redraws the same line; before any phase nothing shows.
  void BeginPhase(const std::string &phase) { FPhase = phase; }
  void SetCalcProgress(int value, int maximum) override {
    THeadlessHost::SetCalcProgress(value, maximum);
    if (!FPhase.empty())
      FTerminal.Progress(FPhase, value, maximum);
  }

private:
  TTerminal &FTerminal;
  std::string FPhase;
};

// --timings: the phases' figures on standard error when the run ends, also
// when a reader refused the drawing, since a slow refusal is worth seeing.
class TTimings {
public:
  explicit TTimings(bool wanted) : FWanted(wanted) {
    if (FWanted)
      InstallPhaseTimes(&FTimes);
  }
  ~TTimings() {
    if (!FWanted)
      return;
    InstallPhaseTimes(nullptr);
    double wall = 0, cpu = 0;
    std::cerr << std::fixed << std::setprecision(3)
              << "phase                      wall s     CPU s\n";
    auto line = [](const std::string &name, double w, double c) {
      std::cerr << std::left << std::setw(24) << name << std::right << std::setw(10) << w
                << std::setw(10) << c << '\n';
    };
    for (const TPhaseTime &item : FTimes.Items()) {
      line(item.Name, item.WallSeconds, item.CpuSeconds);
      wall += item.WallSeconds;
      cpu += item.CpuSeconds;
    }
    line("total", wall, cpu);
  }
  TTimings(const TTimings &) = delete;
  TTimings &operator=(const TTimings &) = delete;

private:
  bool FWanted;
  TPhaseTimes FTimes;
};

int Run(int argc, char **argv, TTerminal &terminal) {
  const TOptions options = ParseArguments(argc, argv);
  const TTimings timings(options.Timings);
  std::optional<TPhaseMark> phase(std::in_place, "settings");
  if (options.Quiet)
    terminal.SetQuiet();

  // The window's stored settings are the defaults; options override them for
  // this run only, nothing is written back.
  TZelConfiguration::SetKeyName(BrennixKeyName);
  const TBrennixSettings settings;
  const TMachineSettings machine;
  TCliHost host(terminal);
  host.IdleSpeedValue = settings.IdleTravel->Value();
  host.OffsetXValue = settings.OffsetX->Value();
  host.OffsetYValue = settings.OffsetY->Value();
  host.OffsetCenterValue = settings.OffsetCenter->Value();
  for (const TTemplateInfo &info : TemplateTable)
    host.TemplateTexts[info.Kind] = StoredToMemo(settings.Templates[info.Kind]->Value());
  if (options.IdleSpeed)
    host.IdleSpeedValue = *options.IdleSpeed;
  if (options.Offset) {
    host.OffsetXValue = std::clamp(options.Offset->first, OffsetRange.Minimum, OffsetRange.Maximum);
    host.OffsetYValue =
        std::clamp(options.Offset->second, OffsetRange.Minimum, OffsetRange.Maximum);
  }
  if (options.Center)
    host.OffsetCenterValue = true;
  ApplyProfileOptions(host, machine.Read(), options);
  if (!options.Check.empty())
    return CheckFile(options, host.ProfileValue,
                     (options.Focus ? *options.Focus : settings.MicroFocusSize->Value() / 1000.0));
  TLevels levels(host, false);
  levels.SetView({30, 30});
  levels.SetFocus(options.Focus ? static_cast<std::int32_t>(RoundUnit(*options.Focus * 1000))
                                : settings.MicroFocusSize->Value());

  TRasterSettings raster = TRasterModeSettings().Read();
  for (const auto &option : options.Raster) {
    const std::string &text = option.second;
    ParseRasterOption(
        option.first, [&text] { return text; }, raster);
  }
  // Another mode replaces a picture's colour levels right after reading.
  levels.Job().PictureColourLevels = raster.Mode == TRasterMode::ColourLevels;
  phase.emplace("read");
  host.BeginPhase("Reading");
  try {
    LoadFromFile(levels, options.Drawing, options.FilterIndex);
  } catch (const std::exception &error) {
    // As the window does: the message names the file, unless the reader's
    // own message already does.
    const std::string reason = error.what();
    const std::string name =
        QFileInfo(QString::fromStdString(options.Drawing)).fileName().toStdString();
    throw std::runtime_error(reason.find(name) != std::string::npos
                                 ? reason
                                 : OpenFailureText(options.Drawing, reason));
  }
  phase.emplace("set-up");
  const bool rasterMode =
      ApplyRasterMode(levels, raster) || (levels.HasRaster() && raster.Overscan);
  ApplyRasterOverscan(levels, raster);
  terminal.EndBar();
  for (const auto &message : host.Messages)
    std::cerr << message << '\n';
  for (const auto &line : levels.Job().File.Report)
    std::cerr << line << '\n';
  // The outline options window would open now; here the option decides.
  host.IdleQueue.clear();
  if (options.GerberOutline && levels.Job().File.GerberLoaded)
    ApplyOutlineChoice(levels, *options.GerberOutline);

  ApplyPrintSize(levels, host, options);
  levels.SetMirror(options.Mirror);
  levels.SetOutline(options.OutlineOnly);
  for (const auto &change : options.Levels)
    ApplyLevelChange(levels, change);
  phase.reset();
  host.BeginPhase("Burn paths");
  const std::size_t loadMessages = host.Messages.size();
  levels.RunCycles();
  terminal.EndBar();
  // What the burn paths could not do (an outline left empty) is said, not fatal.
  for (std::size_t i = loadMessages; i < host.Messages.size(); ++i)
    std::cerr << host.Messages[i] << '\n';
  std::cout << host.Result << '\n';
  phase.emplace("acceleration estimate");
  const std::optional<double> accelerated = AccelerationSeconds(levels);
  phase.reset();
  if (accelerated && !AccelerationEstimateText(*accelerated).empty())
    std::cout << AccelerationEstimateText(*accelerated) << '\n';

  if (!options.Json.empty()) {
    const TPhaseMark mark("JSON");
    const std::string json = JobJson(levels, host, levels.Job().File.FileName, accelerated,
                                     rasterMode ? RasterSettingsText(raster) : std::string());
    if (options.Json == "-") {
      std::cout << json;
    } else {
      std::ofstream out(options.Json, std::ios::binary);
      out << json;
      if (!out)
        throw std::runtime_error("Cannot write file \"" + options.Json + "\"");
    }
  }
  if (!options.Output.empty()) {
    host.BeginPhase("G-code");
    const auto problems = SaveToGcode(levels, options.Output);
    terminal.EndBar();
    if (!problems.empty()) {
      // The file stays: the user may know better than the check.
      std::cerr << "The G-code in \"" << options.Output << "\" has problems for the "
                << host.ProfileValue.Name << " profile:\n"
                << ProblemsText(problems);
      return 3;
    }
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  // Image decoding, file saving and the glyph outlines of SVG text need an
  // application object, never a display: the offscreen platform draws
  // nothing and finds fonts through fontconfig.
  // Qt's own notes on the environment (no runtime folder, say) are no part
  // of the converter's output, which scripts read.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
      std::cerr << text.toStdString() << '\n';
  });
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  TTerminal terminal;
  try {
    return Run(argc, argv, terminal);
  } catch (const TUsageError &error) {
    terminal.EndBar();
    std::cerr << "brennix-cli: " << error.what() << "\n\n" << Usage;
    return 2;
  } catch (const std::exception &error) {
    // A drawing a reader refused, a save that failed: the message as the
    // window's error box would show it.
    terminal.ShowError(error.what());
    return 1;
  }
}
