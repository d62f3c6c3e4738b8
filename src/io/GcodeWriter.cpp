#include "GcodeWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string_view>

#include "PieceSearch.h"
#include "SafeSave.h"
#include "core/HugePages.h"
#include "core/Levels.h"
#include "core/PathUtils.h"
#include "core/PhaseTimes.h"
#include "core/Strings.h"
#include "raster/RasterModes.h"

namespace {

std::vector<std::string> TemplateLines(const std::string &text) {
  std::vector<std::string> lines;
  if (text.empty())
    return lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

std::string FillQuestionMarks(const std::string &text, const std::string &value) {
  std::string result;
  for (char c : text) {
    if (c == '?')
      result += value;
    else
      result += c;
  }
  return result;
}

// HeadMove split at its first two "?": written once per move, so the
// template is taken apart once per job.
struct THeadMove {
  std::string Before, Between, After;
  int Values = 0; // how many "?" take a value (0 to 2)
  bool HasPower = false;

  explicit THeadMove(const std::string &text)
      : HasPower(text.find(PowerPlaceholder) != std::string::npos) {
    const std::size_t first = text.find('?');
    if (first == std::string::npos) {
      Before = text;
      return;
    }
    Before = text.substr(0, first);
    const std::size_t second = text.find('?', first + 1);
    if (second == std::string::npos) {
      Between = text.substr(first + 1);
      Values = 1;
      return;
    }
    Between = text.substr(first + 1, second - first - 1);
    After = text.substr(second + 1);
    Values = 2;
  }
};

// Firmwares that read the power on the move itself need no laser-on line: an
// empty LaserOn or LaserOff template then writes nothing at all.
bool PowerOnMoves(const TGcodeJob &job) {
  return job.Templates.HeadMove.find(PowerPlaceholder) != std::string::npos;
}

void AppendMillimetres(std::string &text, double value) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  text.append(buffer, result.ptr);
}

// Coordinates below this many hundredths have at most 15 digits, so the
// 15-digit form of units / 100 is exactly their decimal hundredths.
constexpr std::int64_t HundredthsLimit = 1'000'000'000'000LL;

// units / 100 millimetres as AppendMillimetres writes that quotient, without
// the floating-point formatting: at most two decimals, no trailing zeros.
void AppendHundredths(std::string &text, std::int64_t units) {
  char buffer[24];
  char *end = buffer + sizeof buffer, *p = end;
  const bool negative = units < 0;
  std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  const auto fraction = static_cast<unsigned>(magnitude % 100);
  magnitude /= 100;
  if (fraction != 0) {
    if (fraction % 10 != 0)
      *--p = static_cast<char>('0' + fraction % 10);
    *--p = static_cast<char>('0' + fraction / 10);
    *--p = '.';
  }
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative)
    *--p = '-';
  text.append(p, end);
}

// The file's bytes as GcodeFileText makes them of one line: ASCII kept, one
// "?" per other character.
void AppendAsciiLine(std::string &text, std::string_view line) {
  if (std::all_of(line.begin(), line.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    text.append(line);
  } else {
    for (unsigned char c : line) {
      if (c < 0x80)
        text += static_cast<char>(c);
      else if ((c & 0xC0) != 0x80)
        text += '?';
    }
  }
  text += "\r\n";
}

// Where the walk's lines go: kept one by one for GcodeLines, or straight
// into the file's text.
class TLineSink {
public:
  void Line(std::string_view line) { FLines.emplace_back(line); }
  void Reserve(std::size_t) {}
  std::vector<std::string> Take() { return std::move(FLines); }

private:
  std::vector<std::string> FLines;
};

class TTextSink {
public:
  void Line(std::string_view line) { AppendAsciiLine(FText, line); }
  void Reserve(std::size_t bytes) {
    FText.reserve(bytes);
    AskHugePages(FText.data(), FText.capacity());
  }
  std::string Take() { return std::move(FText); }

private:
  std::string FText;
};

// One side of the half-plane clip: keeps the part of each path where the
// chosen coordinate is not negative, split where it crosses zero.
TPaths ClipHalfPlane(const TPaths &paths, bool alongX) {
  auto coord = [alongX](const TIntPoint &p) { return alongX ? p.X : p.Y; };
  auto crossing = [alongX](const TIntPoint &a, const TIntPoint &b) {
    const double ca = static_cast<double>(alongX ? a.X : a.Y);
    const double cb = static_cast<double>(alongX ? b.X : b.Y);
    const double t = ca / (ca - cb);
    const double otherA = static_cast<double>(alongX ? a.Y : a.X);
    const double otherB = static_cast<double>(alongX ? b.Y : b.X);
    const auto other =
        static_cast<ClipperLib::cInt>(std::nearbyint(otherA + (otherB - otherA) * t));
    return alongX ? TIntPoint(0, other) : TIntPoint(other, 0);
  };
  TPaths result;
  result.reserve(paths.size());
  for (const auto &path : paths) {
    TPath current;
    auto push = [&current](const TIntPoint &p) {
      if (current.empty() || current.back() != p)
        current.push_back(p);
    };
    auto flush = [&]() {
      if (current.size() >= 2)
        result.push_back(current);
      current.clear();
    };
    for (std::size_t i = 0; i < path.size(); ++i) {
      const TIntPoint &p = path[i];
      const bool inside = coord(p) >= 0;
      if (i > 0) {
        const TIntPoint &q = path[i - 1];
        const bool wasInside = coord(q) >= 0;
        if (wasInside && !inside) {
          push(crossing(q, p));
          flush();
        } else if (!wasInside && inside && coord(p) > 0) {
          push(crossing(q, p));
        }
      }
      if (inside)
        push(p);
    }
    flush();
  }
  return result;
}

template <typename TSearch, typename TSink> class TWalk {
public:
  TWalk(const TGcodeJob &job, TSink &out)
      : FJob(job), FOut(out), FHeadMove(job.Templates.HeadMove),
        FTravelMove(job.Profile.TravelMove.empty() ? job.Templates.HeadMove
                                                   : job.Profile.TravelMove),
        // The prefix leaves the head at the machine's origin, which lies at
        // minus the offset in burn coordinates: with an offset the first
        // piece needs its approach move, or the laser would burn a line from
        // the origin to the job.
        FPosition(-job.Offset.X, -job.Offset.Y) {
    FLaserOn = job.Templates.LaserOn;
    FLaserOffLines = TemplateLines(job.Templates.LaserOff);
    FSkipEmptyLaserOn = PowerOnMoves(job) && FLaserOn.empty();
  }

  const TMoveExtent &Extent() const { return FExtent; }

  void Move(std::int64_t feedSource, std::int32_t power, const TIntPoint &p) {
    const std::int64_t near = FJob.Focus / 8;
    if (std::llabs(p.X - FPosition.X) <= near && std::llabs(p.Y - FPosition.Y) <= near)
      return;
    const std::string &powerText = PowerText(power);
    if (power != FPower) {
      FPower = power;
      if (power > 0) {
        if (!FSkipEmptyLaserOn)
          FOut.Line(LaserOnText(power, powerText));
      } else {
        for (const std::string &line : FLaserOffLines)
          FOut.Line(line);
      }
    }
    const std::int64_t feed = std::max<std::int64_t>(feedSource * 3 / 5, 1);
    if (feed != FFeed) {
      FFeed = feed;
      FOut.Line(HeadSpeedText(feed));
    }
    FPosition = p;
    // Moves with the laser off take the travel template when there is one.
    const THeadMove &form = power > 0 ? FHeadMove : FTravelMove;
    const std::int64_t unitsX = p.X + FJob.Offset.X, unitsY = p.Y + FJob.Offset.Y;
    const double x = static_cast<double>(unitsX) / FJob.UnitsPerMM;
    const double y = static_cast<double>(unitsY) / FJob.UnitsPerMM;
    std::string &move = FMove;
    move.assign(form.Before);
    if (form.Values > 0) {
      AppendCoordinate(move, unitsX, x);
      move += form.Between;
      Reach(x, true);
    }
    if (form.Values > 1) {
      AppendCoordinate(move, unitsY, y);
      move += form.After;
      Reach(y, false);
    }
    if (form.HasPower)
      move = ReplaceAll(move, PowerPlaceholder, powerText);
    FOut.Line(move);
  }

  void Run(std::vector<TWalkPiece> pieces, int sweeps, const std::function<void(int)> &progress) {
    const auto idleFeed = static_cast<std::int64_t>(RoundUnit(FJob.IdleSpeed * 100));
    const double focus2 = static_cast<double>(FJob.Focus) * FJob.Focus;
    const std::size_t count = pieces.size();
    for (; sweeps > 0; --sweeps) {
      // Each sweep starts its walk at the origin, while the head stays where
      // the last sweep left it: moves are measured from where it really is.
      TIntPoint from(0, 0);
      // The last sweep hands the pieces over rather than copying them.
      TSearch search = sweeps > 1 ? TSearch(pieces) : TSearch(std::move(pieces));
      for (std::size_t left = count; left > 0; --left) {
        const TPieceHit hit = search.Nearest(from);
        const TGcodeLevel &level = FJob.Levels[static_cast<std::size_t>(hit.Tag)];
        const std::int32_t passes = FJob.OutlineOnly ? 1 : level.Passes;
        if (level.Overscan > 0) {
          TIntPoint a = hit.Near, b = hit.Far;
          Move(idleFeed, 0, Beyond(b, a, level.Overscan));
          for (std::int32_t pass = 0; pass < passes; ++pass) {
            // Up to speed before the run, and slowing down only after it;
            // the run out is the next pass's run up.
            Move(level.Speed, 0, a);
            Move(level.Speed, level.Power, b);
            Move(level.Speed, 0, Beyond(a, b, level.Overscan));
            std::swap(a, b);
          }
        } else {
          const bool far = WalkDistance(FPosition, hit.Near) > focus2;
          Move(idleFeed, far ? 0 : level.Power, hit.Near);
          for (std::int32_t pass = 0; pass < passes; ++pass)
            Move(level.Speed, level.Power, pass % 2 ? hit.Near : hit.Far);
        }
        search.Remove(hit);
        from = FPosition;
        if ((count - left + 1) % 32 == 0 && progress)
          progress(-1);
      }
    }
  }

private:
  // length units past to, away from from; never below the machine's origin
  // nor beyond the bed when its size is known.
  TIntPoint Beyond(const TIntPoint &from, const TIntPoint &to, std::int64_t length) const {
    const double dx = static_cast<double>(to.X - from.X), dy = static_cast<double>(to.Y - from.Y);
    const double distance = std::hypot(dx, dy);
    if (distance <= 0)
      return to;
    auto limit = [&](double value, std::int64_t offset, double bedMM) {
      double high = std::numeric_limits<double>::max();
      if (FJob.Profile.HasBed())
        high = bedMM * FJob.UnitsPerMM - static_cast<double>(offset);
      return static_cast<ClipperLib::cInt>(
          std::nearbyint(std::clamp(value, -static_cast<double>(offset), high)));
    };
    const double l = static_cast<double>(length) / distance;
    return TIntPoint(
        limit(static_cast<double>(to.X) + dx * l, FJob.Offset.X, FJob.Profile.BedWidth),
        limit(static_cast<double>(to.Y) + dy * l, FJob.Offset.Y, FJob.Profile.BedHeight));
  }

  void AppendCoordinate(std::string &text, std::int64_t units, double millimetres) const {
    if (FHundredths && units < HundredthsLimit && units > -HundredthsLimit)
      AppendHundredths(text, units);
    else
      AppendMillimetres(text, millimetres);
  }

  // Both are written at every change of power or speed, which alternate
  // between the few values of a job: each text is made once.
  const std::string &LaserOnText(std::int32_t power, const std::string &powerText) {
    if (power < 0 || power > 255) {
      FOddLaserOn = FillQuestionMarks(FLaserOn, powerText);
      return FOddLaserOn;
    }
    if (FLaserOnTexts.empty())
      FLaserOnTexts.resize(256);
    auto &text = FLaserOnTexts[static_cast<std::size_t>(power)];
    if (!text)
      text = FillQuestionMarks(FLaserOn, powerText);
    return *text;
  }
  const std::string &HeadSpeedText(std::int64_t feed) {
    for (const auto &[known, text] : FHeadSpeedTexts)
      if (known == feed)
        return text;
    if (FHeadSpeedTexts.size() >= 16)
      FHeadSpeedTexts.erase(FHeadSpeedTexts.begin());
    FHeadSpeedTexts.emplace_back(feed,
                                 FillQuestionMarks(FJob.Templates.HeadSpeed, std::to_string(feed)));
    return FHeadSpeedTexts.back().second;
  }

  // The written S of each level power, formatted once per job.
  const std::string &PowerText(std::int32_t power) {
    if (FPowerTexts.empty())
      for (std::int32_t level = 0; level <= 255; ++level)
        FPowerTexts.push_back(
            FormatPower(level, FJob.Profile.PowerMaximum, FJob.Profile.PowerDecimals));
    if (power < 0 || power > 255) {
      FOddPower = FormatPower(power, FJob.Profile.PowerMaximum, FJob.Profile.PowerDecimals);
      return FOddPower;
    }
    return FPowerTexts[static_cast<std::size_t>(power)];
  }

  // Only what a move writes counts: a template without "?" goes nowhere known.
  void Reach(double value, bool alongX) {
    double &low = alongX ? FExtent.MinX : FExtent.MinY;
    double &high = alongX ? FExtent.MaxX : FExtent.MaxY;
    if (!(alongX ? FReachedX : FReachedY)) {
      low = high = value;
      (alongX ? FReachedX : FReachedY) = true;
    }
    low = std::min(low, value);
    high = std::max(high, value);
    FExtent.Any = FReachedX || FReachedY;
  }

  const TGcodeJob &FJob;
  TSink &FOut;
  const bool FHundredths = FJob.UnitsPerMM == 100;
  std::string FMove;
  std::vector<std::optional<std::string>> FLaserOnTexts;
  std::string FOddLaserOn;
  std::vector<std::pair<std::int64_t, std::string>> FHeadSpeedTexts;
  THeadMove FHeadMove, FTravelMove;
  std::string FLaserOn;
  std::vector<std::string> FLaserOffLines;
  bool FSkipEmptyLaserOn = false;
  std::vector<std::string> FPowerTexts;
  std::string FOddPower;
  TMoveExtent FExtent;
  bool FReachedX = false, FReachedY = false;
  TIntPoint FPosition;
  std::int32_t FPower = 0;
  std::int64_t FFeed = 0;
};

} // namespace

namespace {

// What the clip leaves of such a path is the path itself: every point in
// the quadrant, no point repeated, at least two points.
bool WithinQuadrant(const TPath &path) {
  if (path.size() < 2)
    return false;
  for (std::size_t i = 0; i < path.size(); ++i)
    if (path[i].X < 0 || path[i].Y < 0 || (i > 0 && path[i] == path[i - 1]))
      return false;
  return true;
}

} // namespace

TPaths ClipToQuadrant(const TPaths &paths) {
  return ClipHalfPlane(ClipHalfPlane(paths, true), false);
}

// Calls use(path) for each path ClipToQuadrant(paths) holds, in its order,
// without copying the paths that lie in the quadrant already.
template <typename TUse> void ForEachInQuadrant(const TPaths &paths, TUse &&use) {
  for (const TPath &path : paths) {
    if (WithinQuadrant(path)) {
      use(path);
      continue;
    }
    for (const TPath &piece : ClipToQuadrant({path}))
      use(piece);
  }
}

std::string FormatMillimetres(double value) {
  std::string text;
  AppendMillimetres(text, value);
  return text;
}

std::string FormatHundredths(std::int64_t units) {
  std::string text;
  if (units < HundredthsLimit && units > -HundredthsLimit)
    AppendHundredths(text, units);
  else
    AppendMillimetres(text, static_cast<double>(units) / 100);
  return text;
}

std::string GcodeFileText(const std::vector<std::string> &lines) {
  std::string text;
  for (const auto &line : lines) {
    for (unsigned char c : line) {
      if (c < 0x80)
        text += static_cast<char>(c);
      else if ((c & 0xC0) != 0x80) // one "?" per character, not per byte
        text += '?';
    }
    text += "\r\n";
  }
  return text;
}

// The job without its burn paths, and for each of its levels the level whose
// paths it writes (null for a level that writes none).
TGcodeJob JobSettingsFromLevels(const TLevels &levels, std::vector<const TLevel *> &sources) {
  TGcodeJob job;
  const TJobHost &host = levels.Host();
  job.Templates = host.Templates();
  job.IdleSpeed = host.IdleSpeed();
  job.UnitsPerMM = UnitsPerMM();
  job.Focus = levels.Focus();
  job.OutlineOnly = levels.Outline();
  job.Profile = host.Profile();
  job.Offset = TIntPoint(RoundUnit(host.OffsetX() * job.UnitsPerMM),
                         RoundUnit(host.OffsetY() * job.UnitsPerMM));
  if (host.OffsetCenter()) {
    job.Offset.X -= levels.Output().cx / 2;
    job.Offset.Y -= levels.Output().cy / 2;
  }
  for (int i = 0; i < levels.Count(); ++i) {
    const TLevel &level = *levels.Item(i);
    TGcodeLevel out;
    out.Speed = level.Speed();
    out.Power = level.Power();
    out.Passes = level.Passes();
    out.Outline = level.Kind() == lkOutline;
    const double overscan = levels.Job().ScanOverscanMM;
    if (overscan >= 0 && level.Kind() == lkLines && levels.HasRaster())
      out.Overscan = RoundUnit(OverscanLength(level.Speed(), job.Profile.Acceleration, overscan) *
                               job.UnitsPerMM);
    const bool written =
        level.Print() && out.Passes >= 1 && out.Power >= 1 && out.Outline == job.OutlineOnly;
    sources.push_back(written ? &level : nullptr);
    job.Levels.push_back(std::move(out));
  }
  return job;
}

void CopyPaths(TGcodeJob &job, const std::vector<const TLevel *> &sources) {
  for (std::size_t i = 0; i < sources.size(); ++i)
    if (sources[i])
      job.Levels[i].Paths = sources[i]->Output();
}

TGcodeJob GcodeJobFromLevels(const TLevels &levels) {
  std::vector<const TLevel *> sources;
  TGcodeJob job = JobSettingsFromLevels(levels, sources);
  CopyPaths(job, sources);
  return job;
}

namespace {

// The whole file with the given piece search; both searches pick the same pieces.
template <typename TSearch, typename TSink>
auto WriteLines(const TGcodeJob &job, const std::function<void(int)> &progress,
                TMoveExtent *extent) {
  TSink lines;
  if (!(PowerOnMoves(job) && job.Templates.LaserOff.empty()))
    lines.Line(job.Templates.LaserOff);
  for (auto &line : TemplateLines(job.Templates.GcodePrefix))
    lines.Line(line);

  // Cut every printed burn path into pieces shorter than 2 mm, running from
  // each segment's end towards its start.
  std::vector<TWalkPiece> pieces;
  int sweeps = 1;
  const std::int64_t step = std::max<std::int64_t>(2 * RoundUnit(job.UnitsPerMM), 1);
  for (std::size_t l = 0; l < job.Levels.size(); ++l) {
    const TGcodeLevel &level = job.Levels[l];
    if (level.Passes < 1 || level.Power < 1 || level.Outline != job.OutlineOnly ||
        level.Paths.empty())
      continue;
    if (level.Outline)
      sweeps = level.Passes;
    // Every segment makes one piece at least.
    std::size_t segments = 0;
    for (const auto &path : level.Paths)
      segments += path.empty() ? 0 : path.size() - 1;
    pieces.reserve(pieces.size() + segments);
    AskHugePages(pieces.data() + pieces.size(), (pieces.capacity() - pieces.size()) * sizeof(TWalkPiece));
    ForEachInQuadrant(level.Paths, [&](const TPath &path) {
      for (std::size_t i = 1; i < path.size(); ++i) {
        const TIntPoint &a = path[i - 1], &b = path[i];
        const auto level32 = static_cast<std::int32_t>(l);
        if (level.Overscan > 0) {
          pieces.push_back({b, a, level32});
          continue;
        }
        // Most segments are far shorter than a piece: the length is at most
        // |dx| + |dy|, so below step - 1 units the segment is one piece.
        const std::int64_t across = std::llabs(a.X - b.X);
        if (across <= step - 2 && std::llabs(a.Y - b.Y) <= step - 2 - across) {
          pieces.push_back({b, a, level32});
          continue;
        }
        const std::int64_t length =
            RoundUnit(std::hypot(static_cast<double>(b.X - a.X), static_cast<double>(b.Y - a.Y)));
        const std::int64_t n = length / step + 1;
        const std::int64_t dx = a.X - b.X, dy = a.Y - b.Y;
        for (std::int64_t j = 0; j < n; ++j)
          pieces.push_back({TIntPoint(b.X + dx * j / n, b.Y + dy * j / n),
                            TIntPoint(b.X + dx * (j + 1) / n, b.Y + dy * (j + 1) / n), level32});
      }
    });
  }
  const auto count = 2 * static_cast<std::int64_t>(pieces.size());
  const auto maximum = job.OutlineOnly ? count / 64 * sweeps + 4 : count / 64 + 4;
  if (progress)
    progress(static_cast<int>(std::min<std::int64_t>(maximum, 1 << 30)));

  // A piece writes its move of some 20 bytes, and often a travel move and
  // the laser lines; room that stays unused costs only address space.
  lines.Reserve(pieces.size() * 80 + 4096);
  TWalk<TSearch, TSink> walk(job, lines);
  walk.Run(std::move(pieces), sweeps, progress);
  if (extent)
    *extent = walk.Extent();

  for (auto &line : TemplateLines(job.Templates.LaserOff))
    lines.Line(line);
  for (auto &line : TemplateLines(job.Templates.GcodeSuffix))
    lines.Line(line);
  return lines.Take();
}

} // namespace

std::vector<std::string> GcodeLines(const TGcodeJob &job, const std::function<void(int)> &progress,
                                    TMoveExtent *extent) {
  return WriteLines<TPieceIndex, TLineSink>(job, progress, extent);
}

std::string GcodeText(const TGcodeJob &job, const std::function<void(int)> &progress,
                      TMoveExtent *extent) {
  return WriteLines<TPieceIndex, TTextSink>(job, progress, extent);
}

std::vector<std::string> GcodeLinesReference(const TGcodeJob &job,
                                             const std::function<void(int)> &progress,
                                             TMoveExtent *extent) {
  return WriteLines<TLinearPieceSearch, TLineSink>(job, progress, extent);
}

std::string BedRefusal(const TMachineProfile &profile, const TMoveExtent &extent) {
  if (!profile.HasBed() || !extent.Any)
    return {};
  // Half a micrometre: the written numbers themselves are rounded that finely.
  constexpr double Slack = 0.0005;
  std::string sides;
  auto side = [&sides](double by, const char *where) {
    if (by <= Slack)
      return;
    const double rounded = std::ceil(by * 1000 - 1e-6) / 1000;
    sides += std::string(sides.empty() ? "" : ", ") + "by " + FormatMillimetres(rounded) + " mm " +
             where;
  };
  side(-extent.MinX, "on the left");
  side(extent.MaxX - profile.BedWidth, "on the right");
  side(-extent.MinY, "at the bottom");
  side(extent.MaxY - profile.BedHeight, "at the top");
  if (sides.empty())
    return {};
  return "The job does not fit on the bed of " + FormatMillimetres(profile.BedWidth) + " x " +
         FormatMillimetres(profile.BedHeight) + " mm: it leaves it " + sides +
         ". Nothing was written.";
}

std::optional<double> AccelerationSeconds(const TLevels &levels) {
  const TGcodeJob job = GcodeJobFromLevels(levels);
  if (job.Profile.Acceleration <= 0)
    return std::nullopt;
  return GcodeSeconds(GcodeText(job), job.Profile, job.IdleSpeed);
}

std::vector<TGcodeProblem> SaveToGcode(TLevels &levels, const std::string &fileName) {
  TJobHost &host = levels.Host();
  // Also after a failure: the estimate comes back in place of the progress.
  struct TRestore {
    TJobHost &Host;
    ~TRestore() {
      Host.EnableRightPanel(true);
      Host.EndProgress();
      Host.ShowCalcProgress(false);
      Host.ShowCalcResult(true);
    }
  };
  host.ShowCalcResult(false);
  host.ShowCalcProgress(true);
  host.EnableRightPanel(false);
  TRestore restore{host};
  host.BeginProgress("Saving...");
  host.SetProgressMax(100000);
  host.Progress(false);

  std::optional<TPhaseMark> mark(std::in_place, "G-code: walk");
  // The settings are read here, from the window; the paths, which can be
  // millions, are copied on the save's own thread. The level list holds still
  // meanwhile: loading, editing and resetting wait while the panel is disabled,
  // and levels only ever go with a new load.
  std::vector<const TLevel *> sources;
  TGcodeJob job = JobSettingsFromLevels(levels, sources);
  // The walk, the write and the check read only the copy.
  std::vector<TGcodeProblem> problems;
  host.RunInBackground([&](const TBackgroundSteps &steps) {
    CopyPaths(job, sources);
    TMoveExtent extent;
    const std::string text = GcodeText(
        job,
        [&steps](int maximum) {
          if (maximum >= 0)
            steps.SetMax(maximum);
          steps.Step();
        },
        &extent);
    // The copied paths, millions for a picture, are freed here and not where
    // the job goes out of scope, on the main thread.
    job.Levels.clear();
    // Refused before the file is touched: a job that would drive the head
    // into the frame must not be there to run.
    if (std::string refusal = BedRefusal(job.Profile, extent); !refusal.empty())
      throw TBedError(refusal);
    mark.emplace("G-code: write");

    // Written beside the target and renamed over it only when complete, so a
    // failed, cancelled or killed save never leaves a partial job that a laser
    // could run.
    SaveFileWhole(fileName, text);

    mark.emplace("G-code: check");
    problems = CheckGcode(text, job.Profile, job.Focus / job.UnitsPerMM);
  });
  return problems;
}
