#pragma once
// Writing the job as G-code through the six command templates.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <stdexcept>

#include "core/GcodeCheck.h"
#include "core/Geometry.h"
#include "core/JobHost.h"

class TLevel;
class TLevels;

// A job whose moves leave the machine's bed: nothing is written.
class TBedError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Writes the printed levels' burn paths to fileName (atomically: a failed
// save leaves no partial file and keeps an existing one). Errors propagate
// with their message after the window state was restored; a job that leaves
// the profile's bed throws TBedError before anything is written. Returns what
// the check of the written file found (the file is kept either way). The walk
// and the write run through the host's RunInBackground; a cancelled save
// writes nothing and returns no problems.
std::vector<TGcodeProblem> SaveToGcode(TLevels &levels, const std::string &fileName);

// What the writer needs of the job, taken from the levels as they stand.
struct TGcodeLevel {
  TPaths Paths;
  std::int32_t Speed = 1, Power = 0, Passes = 0;
  bool Outline = false;
  // Scan lines: each segment is burnt whole, run up to and run out of by
  // this many units with the laser off at the level's speed.
  std::int64_t Overscan = 0;
};

struct TGcodeJob {
  std::vector<TGcodeLevel> Levels;
  TTemplates Templates;
  double IdleSpeed = 100;
  TIntPoint Offset{0, 0};
  std::int32_t Focus = 20;
  double UnitsPerMM = 100;
  bool OutlineOnly = false;
  TMachineProfile Profile;
};

// Where the written head moves reach, in millimetres, offsets included.
struct TMoveExtent {
  bool Any = false;
  double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
};

// The job as the writer sees it: printed levels, offsets and templates.
TGcodeJob GcodeJobFromLevels(const TLevels &levels);
// The same in two steps: the settings, read where the window lives, and the
// burn paths of the levels in sources (null for a level that writes none),
// which may be copied on another thread while the levels stay.
TGcodeJob JobSettingsFromLevels(const TLevels &levels, std::vector<const TLevel *> &sources);
void CopyPaths(TGcodeJob &job, const std::vector<const TLevel *> &sources);
// The file's lines (without line ends). progress(maximum) sets the bar's
// maximum when not negative and advances it by one. extent, when given,
// receives where the head moves reach.
std::vector<std::string> GcodeLines(const TGcodeJob &job,
                                    const std::function<void(int maximum)> &progress = {},
                                    TMoveExtent *extent = nullptr);
// Why the moves do not fit on the profile's bed ("The job leaves the bed ...
// by 2 mm on the right"), or empty when they fit or there is no bed.
std::string BedRefusal(const TMachineProfile &profile, const TMoveExtent &extent);
// Parts of burn paths with negative coordinates are not burnt: keeps what
// lies in the quadrant, axes included, in the paths' own direction.
TPaths ClipToQuadrant(const TPaths &paths);
// Millimetres as head moves write them: shortest form, 15 significant digits.
std::string FormatMillimetres(double value);
// units / 100 millimetres exactly as FormatMillimetres writes the quotient:
// the head moves' form at 100 units per millimetre, made without floating point.
std::string FormatHundredths(std::int64_t units);
// ASCII bytes with CR LF line ends; other characters become "?".
std::string GcodeFileText(const std::vector<std::string> &lines);
// The file itself, as GcodeFileText makes it of GcodeLines, written straight
// into one text.
std::string GcodeText(const TGcodeJob &job, const std::function<void(int maximum)> &progress = {},
                      TMoveExtent *extent = nullptr);

// The running time of the job as it would be written, each move a trapezoid
// at the profile's acceleration, travel (at the idle speed) and passes
// counted; none when the profile has no acceleration.
std::optional<double> AccelerationSeconds(const TLevels &levels);

// Kept for tests and benchmarks: the same lines, the next piece found by a
// plain scan instead of the k-d tree.
std::vector<std::string> GcodeLinesReference(const TGcodeJob &job,
                                             const std::function<void(int maximum)> &progress = {},
                                             TMoveExtent *extent = nullptr);
