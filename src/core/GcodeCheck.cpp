#include "GcodeCheck.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "MotionTime.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

std::string Number(double value) {
  // Rounded to a thousandth so that the messages read like the file.
  const double rounded = std::nearbyint(value * 1000) / 1000;
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, rounded == 0 ? 0.0 : rounded,
                                 std::chars_format::general, 12)
                       .ptr;
  return std::string(buffer, end);
}

// A command code as the line wrote it: G1, M106, G38.2.
std::string Code(char letter, double value) { return std::string(1, letter) + Number(value); }

struct TWord {
  char Letter = 0;
  bool HasValue = false;
  double Value = 0;
};

// Whether the three characters at i spell NAN or INF in any case.
bool NanOrInfAt(std::string_view line, std::size_t i) {
  if (line.size() < i + 3)
    return false;
  const char a = Upper(line[i]), b = Upper(line[i + 1]), c = Upper(line[i + 2]);
  return (a == 'N' && b == 'A' && c == 'N') || (a == 'I' && b == 'N' && c == 'F');
}

// A number of sign, digits and at most one point, read as from_chars reads
// it. Up to 15 digits with at most 22 decimals the quotient of two exact
// doubles is the correctly rounded value itself, so the common case needs
// no general conversion.
double ReadNumber(std::string_view text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative)
    ++i;
  std::uint64_t mantissa = 0;
  int digits = 0, decimals = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.') {
      point = true;
      continue;
    }
    if (digits == 0 && c == '0') {
      decimals += point ? 1 : 0;
      continue;
    }
    if (++digits > 15)
      break;
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
    decimals += point ? 1 : 0;
  }
  if (digits <= 15 && decimals <= 22) {
    static constexpr double Powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const double magnitude = static_cast<double>(mantissa) / Powers[decimals];
    return negative ? -magnitude : magnitude;
  }
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

bool GrblFamily(TFirmware firmware) { return firmware == fwGrbl; }
// Firmwares whose laser fires only while a G1/G2/G3 with S > 0 runs.
bool FiresOnMoves(TFirmware firmware) {
  return firmware == fwSmoothie || firmware == fwReprap;
}
// Marlin and the firmwares that grew from the same 3-D printer roots take
// words without a value as flags ("M3 S204 I").
bool TakesFlags(TFirmware firmware) {
  return firmware == fwMarlinFan || firmware == fwMarlinLaser || firmware == fwReprap ||
         firmware == fwSmoothie || firmware == fwAny;
}
// G4 P counts milliseconds on the printer firmwares, seconds on GRBL and LinuxCNC.
bool DwellInSeconds(TFirmware firmware) { return firmware == fwGrbl || firmware == fwLinuxCnc; }

// The G and M codes each firmware runs (those a laser job can need).
const std::set<std::string> &KnownCodes(TFirmware firmware) {
  static const auto make = [](std::initializer_list<const char *> extra) {
    std::set<std::string> codes = {"G0", "G1", "G2", "G3", "G4", "G17", "G20", "G21",
                                   "G28", "G90", "G91", "G92", "M2", "M30"};
    for (const char *code : extra)
      codes.insert(code);
    return codes;
  };
  // Marlin knows M3 to M5 only when built with its laser feature.
  static const std::set<std::string> marlinFan =
      make({"M17", "M18", "M84", "M106", "M107", "M400"});
  static const std::set<std::string> marlin =
      make({"M3", "M4", "M5", "M17", "M18", "M84", "M106", "M107", "M400"});
  static const std::set<std::string> grbl =
      make({"G10", "G53", "G54", "G94", "M0", "M1", "M3", "M4", "M5", "M7", "M8", "M9"});
  static const std::set<std::string> smoothie =
      make({"M3", "M5", "M17", "M18", "M84", "M106", "M107", "M400"});
  static const std::set<std::string> reprap =
      make({"M3", "M4", "M5", "M17", "M18", "M84", "M106", "M107", "M400", "M452"});
  static const std::set<std::string> linuxcnc =
      make({"G53", "G54", "G64", "G94", "M0", "M1", "M3", "M4", "M5", "M7", "M8", "M9"});
  static const std::set<std::string> any = [] {
    std::set<std::string> all;
    for (const auto *set : {&marlin, &grbl, &smoothie, &reprap, &linuxcnc})
      all.insert(set->begin(), set->end());
    return all;
  }();
  switch (firmware) {
  case fwMarlinFan: return marlinFan;
  case fwMarlinLaser: return marlin;
  case fwGrbl: return grbl;
  case fwSmoothie: return smoothie;
  case fwReprap: return reprap;
  case fwLinuxCnc: return linuxcnc;
  case fwAny: break;
  }
  return any;
}

// The integer codes below 1000 of the firmware's set, for the lookup of
// every G and M word.
struct TCodeTable {
  std::vector<bool> G, M;
};
const TCodeTable &KnownCodeTable(TFirmware firmware) {
  static const auto make = [](TFirmware of) {
    TCodeTable table{std::vector<bool>(1000), std::vector<bool>(1000)};
    for (const std::string &code : KnownCodes(of)) {
      int value = 0;
      const auto [end, error] = std::from_chars(code.data() + 1, code.data() + code.size(), value);
      if (error == std::errc() && end == code.data() + code.size() && value >= 0 && value < 1000)
        (code[0] == 'G' ? table.G : table.M)[static_cast<std::size_t>(value)] = true;
    }
    return table;
  };
  static const TCodeTable tables[] = {make(fwMarlinFan), make(fwMarlinLaser), make(fwGrbl),
                                      make(fwSmoothie),  make(fwReprap),      make(fwLinuxCnc),
                                      make(fwAny)};
  switch (firmware) {
  case fwMarlinFan: return tables[0];
  case fwMarlinLaser: return tables[1];
  case fwGrbl: return tables[2];
  case fwSmoothie: return tables[3];
  case fwReprap: return tables[4];
  case fwLinuxCnc: return tables[5];
  case fwAny: break;
  }
  return tables[6];
}

// Whether Code(letter, value) is in KnownCodes: the code is written rounded
// to a thousandth, and every known code is a whole number.
bool KnownCode(const TCodeTable &table, char letter, double value) {
  const double rounded = std::nearbyint(value * 1000) / 1000;
  if (!(rounded >= 0 && rounded < 1000))
    return false;
  const auto whole = static_cast<std::size_t>(rounded);
  if (static_cast<double>(whole) != rounded)
    return false;
  return (letter == 'G' ? table.G : table.M)[whole];
}

// What a line may carry besides G and M: axes, feed, power, arc centres,
// dwell time, line numbers.
bool KnownLetter(char letter) {
  return std::string_view("GMSFXYZIJKRPN").find(letter) != std::string_view::npos;
}

// Walks the file line by line as the firmware would, keeping the position,
// the modes and the laser state; the check and the running time both use it.
class TInterpreter {
public:
  TInterpreter(const TMachineProfile &profile, double focusMM)
      : FProfile(profile), FFirmware(profile.Firmware()), FCodes(KnownCodeTable(FFirmware)),
        FFocus(focusMM) {}

  std::function<void(int line, std::string message)> OnProblem;
  // A move to (x1, y1) in mm from where the last one ended; rapid for G0.
  std::function<void(double x1, double y1, bool rapid, double feed)> OnMove;
  std::function<void(double seconds)> OnDwell;

  void Run(std::string_view text) {
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos)
        end = text.size();
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
      Line(++number, line);
      start = end + 1;
    }
    if (LaserOn())
      Problem(number, "the laser is still on at the end of the file");
  }

  double X() const { return FX; }
  double Y() const { return FY; }

private:
  void Problem(int line, std::string message) {
    if (OnProblem)
      OnProblem(line, std::move(message));
  }

  bool LaserOn() const {
    if (FiresOnMoves(FFirmware))
      return false;
    return (FSpindle && FPower > 0) || FFan > 0;
  }

  // Splits the line into words; false (after reporting) when it cannot be read.
  bool Words(int number, std::string_view line, std::vector<TWord> &words) {
    std::size_t i = 0;
    auto skipBlanks = [&] {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    };
    skipBlanks();
    // GRBL's own settings and commands, and program delimiters.
    if (i < line.size() && ((line[i] == '$' && GrblFamily(FFirmware)) || line[i] == '%'))
      return true;
    while (i < line.size()) {
      const char c = line[i];
      if (c == ' ' || c == '\t') {
        skipBlanks();
        continue;
      }
      if (c == ';')
        break;
      if (c == '(') {
        const std::size_t close = line.find(')', i);
        if (close == std::string_view::npos) {
          Problem(number, "a comment \"(\" is not closed on its line");
          return false;
        }
        i = close + 1;
        continue;
      }
      const char letter = Upper(c);
      if (letter < 'A' || letter > 'Z') {
        Problem(number, std::string("the character \"") + c + "\" is not G-code");
        return false;
      }
      ++i;
      if (i < line.size() && Upper(line[i]) >= 'A' && Upper(line[i]) <= 'Z' &&
          !NanOrInfAt(line, i)) {
        // Letters run together ("MOVE"): a word of text, not G-code words.
        std::size_t end = i;
        while (end < line.size() && Upper(line[end]) >= 'A' && Upper(line[end]) <= 'Z')
          ++end;
        Problem(number, "the word \"" + std::string(line.substr(i - 1, end - i + 1)) +
                            "\" is not G-code");
        return false;
      }
      skipBlanks();
      TWord word;
      word.Letter = letter;
      const std::size_t numberStart = i;
      if (i < line.size() && (line[i] == '+' || line[i] == '-'))
        ++i;
      const std::size_t digitsStart = i;
      while (i < line.size() && (IsDigit(line[i]) || line[i] == '.'))
        ++i;
      const std::string_view digits = line.substr(digitsStart, i - digitsStart);
      const bool hasDigit = std::any_of(digits.begin(), digits.end(), IsDigit);
      if (!hasDigit) {
        // "nan", "inf" and friends after a letter.
        if (NanOrInfAt(line, digitsStart)) {
          Problem(number, std::string(1, letter) + " is not a number: \"" +
                              std::string(line.substr(numberStart, 3 + digitsStart - numberStart)) +
                              "\"");
          return false;
        }
        if (i != digitsStart || digitsStart != numberStart) {
          Problem(number, std::string(1, letter) + " has no digits");
          return false;
        }
        if (!TakesFlags(FFirmware)) {
          Problem(number, std::string(1, letter) + " has no value");
          return false;
        }
        words.push_back(word);
        continue;
      }
      if (i < line.size() && (line[i] == 'e' || line[i] == 'E') && i + 1 < line.size() &&
          (IsDigit(line[i + 1]) || line[i + 1] == '+' || line[i + 1] == '-')) {
        std::size_t end = i + 2;
        while (end < line.size() && IsDigit(line[end]))
          ++end;
        Problem(number, std::string(1, letter) + " is written with an exponent: \"" +
                            std::string(line.substr(numberStart, end - numberStart)) + "\"");
        return false;
      }
      if (std::count(digits.begin(), digits.end(), '.') > 1) {
        Problem(number, std::string(1, letter) + " has two decimal points");
        return false;
      }
      std::string_view value = line.substr(numberStart, i - numberStart);
      if (!value.empty() && value.front() == '+')
        value.remove_prefix(1);
      word.Value = ReadNumber(value);
      word.HasValue = true;
      words.push_back(word);
    }
    return true;
  }

  void Line(int number, std::string_view line) {
    std::vector<TWord> &words = FWords;
    words.clear();
    if (!Words(number, line, words))
      return;
    int motions = 0;
    std::optional<int> motion;
    bool dwell = false, home = false, setPosition = false;
    std::optional<double> x, y, s, f, p, sSeconds;
    bool spindleOn = false, spindleOff = false, fanOn = false, fanOff = false;
    std::uint32_t seen = 0; // one bit per letter
    for (const TWord &word : words) {
      const char letter = word.Letter;
      if (letter != 'G' && letter != 'M') {
        if (!KnownLetter(letter)) {
          Problem(number, std::string("the word ") + letter + Number(word.Value) +
                              " is not one the firmware knows");
          continue;
        }
        const std::uint32_t bit = 1U << (letter - 'A');
        if (seen & bit) {
          Problem(number, std::string(1, letter) + " appears twice on the line");
          continue;
        }
        seen |= bit;
      }
      if (!word.HasValue) {
        if (letter == 'G' || letter == 'M')
          Problem(number, std::string(1, letter) + " has no value");
        continue;
      }
      switch (letter) {
      case 'G':
      case 'M': {
        if (!KnownCode(FCodes, letter, word.Value)) {
          Problem(number, Code(letter, word.Value) + " is not a command this firmware knows");
          continue;
        }
        if (letter == 'G') {
          const int g = static_cast<int>(word.Value);
          if (g >= 0 && g <= 3 && word.Value == g) {
            ++motions;
            motion = g;
          } else if (g == 4) {
            dwell = true;
          } else if (g == 20) {
            FInches = true;
          } else if (g == 21) {
            FInches = false;
          } else if (g == 28) {
            home = true;
          } else if (g == 90) {
            FRelative = false;
          } else if (g == 91) {
            FRelative = true;
          } else if (g == 92) {
            setPosition = true;
          }
        } else {
          const int m = static_cast<int>(word.Value);
          if (m == 3 || m == 4)
            spindleOn = true;
          else if (m == 5 || m == 2 || m == 30)
            spindleOff = true;
          else if (m == 106)
            fanOn = true;
          else if (m == 107)
            fanOff = true;
        }
        break;
      }
      case 'X': x = word.Value; break;
      case 'Y': y = word.Value; break;
      case 'S': s = word.Value; break;
      case 'F': f = word.Value; break;
      case 'P': p = word.Value; break;
      default: break;
      }
    }
    if (motions > 1)
      Problem(number, "more than one motion command (G0, G1, G2, G3) on one line");
    if (!std::isfinite(s.value_or(0)) || !std::isfinite(x.value_or(0)) ||
        !std::isfinite(y.value_or(0)) || !std::isfinite(f.value_or(0)))
      Problem(number, "a number is too large for the firmware");

    const double unit = FInches ? 25.4 : 1.0;
    if (dwell) {
      // On a dwell S is a time, not a power.
      sSeconds = s;
      s.reset();
      double seconds = 0;
      if (p)
        seconds += DwellInSeconds(FFirmware) ? *p : *p / 1000;
      if (sSeconds && !DwellInSeconds(FFirmware))
        seconds += *sSeconds;
      if (OnDwell)
        OnDwell(std::max(seconds, 0.0));
    }
    if (s) {
      if (*s < 0 || *s > FProfile.PowerMaximum + 1e-9)
        Problem(number, "S" + Number(*s) + " is outside the power range 0 to " +
                            Number(FProfile.PowerMaximum));
      if (fanOn)
        FFan = *s;
      else
        FPower = *s;
    } else if (fanOn) {
      FFan = 255; // M106 without S runs the fan at full speed
    }
    if (fanOff)
      FFan = 0;
    if (spindleOn)
      FSpindle = true;
    if (spindleOff)
      FSpindle = false;
    if (f) {
      if (*f <= 0)
        Problem(number, "the feed F" + Number(*f) + " is not positive");
      else
        FFeed = *f * unit / 60;
    }
    if (motion)
      FMotion = *motion;

    if (home) {
      // G28 alone homes every axis; with axes, only those.
      if (!x && !y) {
        FX = 0;
        FY = 0;
      }
      if (x)
        FX = 0;
      if (y)
        FY = 0;
      return;
    }
    if (setPosition) {
      if (x)
        FX = *x * unit;
      if (y)
        FY = *y * unit;
      return;
    }
    if (dwell || (!x && !y))
      return;
    if (!FMotion) {
      Problem(number, "an axis word without a motion command before it");
      return;
    }
    if (*FMotion != 0 && FFeed <= 0 && GrblFamily(FFirmware))
      Problem(number, "a feed move before any feed rate F was set");
    const double fromX = FX, fromY = FY;
    if (x)
      FX = FRelative ? FX + *x * unit : *x * unit;
    if (y)
      FY = FRelative ? FY + *y * unit : *y * unit;
    const bool rapid = *FMotion == 0;
    const double length = std::hypot(FX - fromX, FY - fromY);
    const bool blanks = rapid && (GrblFamily(FFirmware) || FiresOnMoves(FFirmware));
    if (rapid && !blanks && LaserOn() && length > FFocus)
      Problem(number, "a rapid move of " + Number(length) + " mm with the laser on");
    if (FProfile.HasBed())
      BedCheck(number);
    if (OnMove)
      OnMove(FX, FY, rapid, FFeed);
  }

  void BedCheck(int number) {
    constexpr double Slack = 1e-6;
    std::string sides;
    auto side = [&sides](double by, const char *where) {
      if (by > Slack)
        sides += std::string(sides.empty() ? "" : ", ") + "by " + Number(by) + " mm " + where;
    };
    side(-FX, "on the left");
    side(FX - FProfile.BedWidth, "on the right");
    side(-FY, "at the bottom");
    side(FY - FProfile.BedHeight, "at the top");
    if (!sides.empty())
      Problem(number, "the move to X" + Number(FX) + " Y" + Number(FY) + " leaves the bed (" +
                          Number(FProfile.BedWidth) + " x " + Number(FProfile.BedHeight) +
                          " mm) " + sides);
  }

  const TMachineProfile &FProfile;
  TFirmware FFirmware;
  const TCodeTable &FCodes;
  double FFocus;
  // The words of the line being read, kept to spare an allocation per line.
  std::vector<TWord> FWords;
  double FX = 0, FY = 0;
  bool FRelative = false, FInches = false;
  std::optional<int> FMotion;
  bool FSpindle = false;
  double FPower = 0, FFan = 0;
  double FFeed = 0;
};

} // namespace

std::vector<TGcodeProblem> CheckGcode(std::string_view text, const TMachineProfile &profile,
                                      double focusMM) {
  std::vector<TGcodeProblem> problems;
  TInterpreter interpreter(profile, focusMM);
  interpreter.OnProblem = [&problems](int line, std::string message) {
    problems.push_back({line, std::move(message)});
  };
  interpreter.Run(text);
  return problems;
}

double GcodeNumber(std::string_view text) { return ReadNumber(text); }

std::string ProblemText(const TGcodeProblem &problem) {
  return "line " + std::to_string(problem.Line) + ": " + problem.Message;
}

std::string ProblemsText(const std::vector<TGcodeProblem> &problems, std::size_t shown) {
  std::string text;
  for (std::size_t i = 0; i < problems.size() && i < shown; ++i)
    text += ProblemText(problems[i]) + "\n";
  if (problems.size() > shown)
    text += "... and " + std::to_string(problems.size() - shown) + " more\n";
  return text;
}

double GcodeSeconds(std::string_view text, const TMachineProfile &profile, double rapidSpeed) {
  TInterpreter interpreter(profile, 0);
  std::vector<TMotion> moves;
  double dwells = 0;
  bool rest = false;
  interpreter.OnMove = [&](double x, double y, bool rapid, double feed) {
    TMotion move;
    move.X = x;
    move.Y = y;
    move.Speed = rapid ? rapidSpeed : feed;
    move.RestBefore = rest;
    rest = false;
    moves.push_back(move);
  };
  interpreter.OnDwell = [&](double seconds) {
    dwells += seconds;
    rest = true;
  };
  interpreter.Run(text);
  return MotionSeconds(0, 0, moves, profile.Acceleration) + dwells;
}
