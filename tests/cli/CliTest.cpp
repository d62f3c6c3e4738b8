// brennix-cli end to end: real drawings from examples/, exit codes, outputs.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>

#include "../common/Slowdown.h"
#include "core/Templates.h"

namespace {

struct TRun {
  int Status;
  std::string Out, Err;
};

TRun RunCli(const QStringList &arguments, const QString &configHome) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("XDG_CONFIG_HOME", configHome);
  process.setProcessEnvironment(environment);
  process.start(BRENNIX_CLI, arguments);
  process.waitForFinished(300000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          process.readAllStandardOutput().toStdString(),
          process.readAllStandardError().toStdString()};
}

std::string ReadFile(const QString &path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

QString Example(const char *name) { return QString(BRENNIX_SOURCE_DIR) + "/examples/" + name; }

} // namespace

TEST(Cli, ConvertsAnExampleToGcodeAndJson) {
  QTemporaryDir dir;
  const QString gcode = dir.filePath("relief.gcode"), json = dir.filePath("relief.json");
  const TRun run =
      RunCli({"-o", gcode, "--json", json, "--mirror", Example("relief.stl")}, dir.path());
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out.rfind("Estimated burning time:   ", 0), 0u) << run.Out;

  const std::string text = ReadFile(gcode);
  EXPECT_EQ(text.rfind("G4 P0\r\nM106 S0\r\nG4 P10\r\nM106 S0\r\nG90\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\nM106 S255\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 25), "G1 F3000\r\nG1 X0 Y0\r\nM84\r\n");

  const QJsonObject job =
      QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(json))).object();
  EXPECT_EQ(job["caption"].toString(), QString::fromUtf8("Kelvanor \u2013 Brennix \u2013 relief"));
  EXPECT_EQ(job["unitsPerMM"].toDouble(), 100.0);
  EXPECT_EQ(job["focus"].toInt(), 20);
  EXPECT_TRUE(job["mirror"].toBool());
  EXPECT_EQ(job["estimate"].toString().toStdString() + "\n", run.Out);
  const QJsonArray levels = job["levels"].toArray();
  ASSERT_GE(levels.size(), 3);
  const QJsonObject last = levels.last().toObject();
  EXPECT_EQ(last["kind"].toString(), "lkOutline");
  EXPECT_EQ(last["color"].toString(), "#FF000000");
  for (const auto &value : levels) {
    const QJsonObject level = value.toObject();
    if (level["kind"].toString() == "lkPerimeter")
      EXPECT_TRUE(level["input"].isNull());
    else
      EXPECT_TRUE(level["input"].isArray());
  }
}

TEST(Cli, OptionsChangeTheJob) {
  QTemporaryDir dir;
  const QString json = dir.filePath("job.json");
  const TRun run = RunCli({"--json", json, "--scale", "50", "--focus", "0.1", "--level",
                           "0:print=0,passes=3", "--outline-only", Example("relief.stl")},
                          dir.path());
  ASSERT_EQ(run.Status, 0) << run.Err;
  const QJsonObject job =
      QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(json))).object();
  EXPECT_EQ(job["focus"].toInt(), 10);
  EXPECT_TRUE(job["outline"].toBool());
  const QJsonArray size = job["size"].toArray(), output = job["output"].toArray();
  EXPECT_EQ(output[0].toInt(), (size[0].toInt() + 1) / 2);
  const QJsonObject first = job["levels"].toArray()[0].toObject();
  EXPECT_FALSE(first["print"].toBool());
  EXPECT_EQ(first["passes"].toInt(), 3);
}

TEST(Cli, FailuresExitWithoutWriting) {
  QTemporaryDir dir;
  const QString gcode = dir.filePath("out.gcode");
  // A drawing that cannot be read: status 1, the reader's message, no file.
  TRun run = RunCli({"-o", gcode, dir.filePath("missing.svg")}, dir.path());
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("missing.svg"), std::string::npos) << run.Err;
  EXPECT_FALSE(QFile::exists(gcode));
  // A file the reader refuses: its name before the reader's words.
  {
    QFile broken(dir.filePath("broken.svg"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("garbage");
  }
  run = RunCli({"-o", gcode, dir.filePath("broken.svg")}, dir.path());
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err.rfind("Cannot open \"broken.svg\": ", 0), 0u) << run.Err;
  EXPECT_FALSE(QFile::exists(gcode));

  // Bad usage: status 2 and the usage text.
  for (const QStringList &arguments :
       {QStringList{}, QStringList{"--scale"}, QStringList{"--bogus", "x.plt"},
        QStringList{"--level", "0:colour=1", "x.plt"}, QStringList{"--focus", "abc", "x.plt"}}) {
    run = RunCli(arguments, dir.path());
    EXPECT_EQ(run.Status, 2) << arguments.join(' ').toStdString();
    EXPECT_NE(run.Err.find("usage: brennix-cli"), std::string::npos);
  }
}

TEST(Cli, StoredSettingsAreDefaultsAndOptionsOverrideThem) {
  QTemporaryDir dir;
  {
    // A corrupt settings file reads as defaults.
    std::ofstream out((dir.path() + "/brennix.conf").toStdString(), std::ios::binary);
    out << "\x01\x02garbage";
  }
  const QString gcode = dir.filePath("out.gcode");
  const TRun run =
      RunCli({"-o", gcode, "--template", "HeadMove=MOVE ? ?~\\~; next", Example("relief.stl")},
             dir.path());
  // No firmware reads "MOVE": the check after the save says so (status 3)
  // and the file is kept as written.
  ASSERT_EQ(run.Status, 3) << run.Err;
  EXPECT_NE(run.Err.find(": the word \"MOVE\" is not G-code\n"), std::string::npos) << run.Err;
  const std::string text = ReadFile(gcode);
  EXPECT_NE(text.find("\r\n; next\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nMOVE "), std::string::npos);
  EXPECT_EQ(text.find("G1 X"), text.rfind("G1 X0 Y0")); // only the suffix's move
}

TEST(Cli, EveryTemplateNameReachesItsPlaceInTheJob) {
  // The names come from the one table the store and the window use: a name
  // wired to another template's text would write the wrong commands.
  QTemporaryDir dir;
  const QString gcode = dir.filePath("out.gcode");
  QStringList arguments{"-o", gcode};
  for (const TTemplateInfo &info : TemplateTable)
    arguments << "--template" << QString(info.Name) + "=; " + info.Name;
  arguments << Example("relief.stl");
  const TRun run = RunCli(arguments, dir.path());
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string text = ReadFile(gcode);
  EXPECT_EQ(text.rfind("; LaserOff\r\n; GcodePrefix\r\n", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 15), "; GcodeSuffix\r\n");
  for (const char *inside : {"\r\n; LaserOn\r\n", "\r\n; HeadSpeed\r\n", "\r\n; HeadMove\r\n"})
    EXPECT_NE(text.find(inside), std::string::npos) << inside;
}

TEST(Cli, LevelOptionsReachTheSettersWithinTheirOwnLimits) {
  // brennix-cli edits any level, not a grid row: a depth of a reader's level
  // may go far beyond the grid's shell counts, and only overflow is held off.
  QTemporaryDir dir;
  const QString json = dir.filePath("job.json");
  const TRun run =
      RunCli({"--json", json, "--level", "0:passes=5000,height=-7000000,power=300,speed=0",
              "--level", "1:speed=1e300,height=5000", Example("relief.stl")},
             dir.path());
  ASSERT_EQ(run.Status, 0) << run.Err;
  const QJsonArray levels = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(json)))
                                .object()["levels"]
                                .toArray();
  const struct {
    int Level;
    const char *Key;
    int Value;
  } cases[] = {{0, "passes", 1000}, {0, "height", -1000000}, {0, "power", 255},
               {0, "speed", 1},     {1, "speed", 100000000}, {1, "height", 5000}};
  for (const auto &c : cases)
    EXPECT_EQ(levels[c.Level].toObject()[c.Key].toInt(), c.Value) << c.Level << " " << c.Key;

  const TRun style = RunCli({"--level", "0:style=4", Example("relief.stl")}, dir.path());
  EXPECT_EQ(style.Status, 2);
  EXPECT_EQ(style.Err.rfind("brennix-cli: --level style takes 0 to 3\n", 0), 0u) << style.Err;
}

TEST(Cli, ProfilePresetWritesForItsFirmwareAndEstimatesWithAcceleration) {
  QTemporaryDir dir;
  const QString gcode = dir.filePath("grbl.gcode"), json = dir.filePath("grbl.json");
  TRun run = RunCli({"--profile", "grbl", "-o", gcode, "--json", json, Example("hpgl-demo.plt")},
                    dir.path());
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string text = ReadFile(gcode);
  EXPECT_EQ(text.rfind("M5\r\nG90\r\nG21\r\nM4 S1000\r\n", 0), 0u) << text.substr(0, 80);
  EXPECT_NE(text.find(" S1000\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nG0 X"), std::string::npos);
  EXPECT_EQ(text.find("M106"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 14), "M5\r\nG0 X0 Y0\r\n");
  QJsonObject job = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(json))).object();
  EXPECT_EQ(job["profile"].toString(), "grbl");
  EXPECT_TRUE(job["accelerationEstimate"].isNull());
  // Without an acceleration the standard output is the plain estimate only.
  EXPECT_EQ(run.Out, job["estimate"].toString().toStdString() + "\n");

  // The same file checks clean for GRBL; for the program's defaults it does not.
  run = RunCli({"--check", gcode, "--profile", "grbl"}, dir.path());
  EXPECT_EQ(run.Status, 0) << run.Out;
  run = RunCli({"--check", gcode, "--profile", "default"}, dir.path());
  EXPECT_EQ(run.Status, 3);
  EXPECT_NE(run.Out.find(": line 4: M4 is not a command this firmware knows\n"), std::string::npos)
      << run.Out;

  // With an acceleration the trapezoid estimate follows on its own line and
  // is longer than the plain one, which ignores travel and ramps.
  run = RunCli({"--profile", "grbl", "--accel", "500", "--json", json, Example("hpgl-demo.plt")},
               dir.path());
  ASSERT_EQ(run.Status, 0) << run.Err;
  job = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(json))).object();
  const std::string accelerated = job["accelerationEstimateText"].toString().toStdString();
  EXPECT_EQ(accelerated.rfind("With acceleration, travel and passes: ", 0), 0u);
  EXPECT_EQ(run.Out, job["estimate"].toString().toStdString() + "\n" + accelerated + "\n");
  EXPECT_GT(job["accelerationEstimate"].toDouble(), 0);
}

TEST(Cli, CheckListsEachProblemWithItsLine) {
  QTemporaryDir dir;
  const QString file = dir.filePath("job.gcode");
  std::ofstream(file.toStdString(), std::ios::binary)
      << "G90\r\nM4 S1500\r\nF600\r\nG1 X1e2 Y0\r\nG1 X500 Y0\r\n";
  const TRun run = RunCli({"--check", file, "--profile", "grbl", "--bed", "300,200"}, dir.path());
  EXPECT_EQ(run.Status, 3);
  const std::string name = file.toStdString();
  EXPECT_EQ(run.Out, name + ": line 2: S1500 is outside the power range 0 to 1000\n" + name +
                         ": line 4: X is written with an exponent: \"1e2\"\n" + name +
                         ": line 5: the move to X500 Y0 leaves the bed (300 x 200 mm) by 200 mm "
                         "on the right\n" +
                         name + ": line 5: the laser is still on at the end of the file\n");
  EXPECT_EQ(run.Err, "4 problems for the grbl profile\n");
  // A missing file: status 1 and the reading message.
  const TRun missing = RunCli({"--check", dir.filePath("none.gcode")}, dir.path());
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find("none.gcode"), std::string::npos);
}

TEST(Cli, BedRefusalWritesNothingAndBadProfileValuesAreNamed) {
  QTemporaryDir dir;
  const QString gcode = dir.filePath("out.gcode");
  TRun run = RunCli({"--bed", "10,10", "-o", gcode, Example("hpgl-demo.plt")}, dir.path());
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("The job does not fit on the bed of 10 x 10 mm: it leaves it by "),
            std::string::npos)
      << run.Err;
  EXPECT_FALSE(QFile::exists(gcode));

  const struct {
    QStringList Arguments;
    const char *Message;
  } cases[] = {
      {{"--profile", "grbl2"},
       "unknown profile 'grbl2'; the profiles are default, grbl, "
       "grblhal, fluidnc, marlin, smoothie, reprap, linuxcnc, custom"},
      {{"--s-max", "0"}, "--s-max takes 0.001 to 1000000"},
      {{"--s-max", "1e3x"}, "'1e3x' is not a valid number for --s-max"},
      {{"--s-decimals", "1.5"}, "--s-decimals takes a whole number from 0 to 4, not '1.5'"},
      {{"--bed", "300"}, "--bed takes two numbers separated by a comma"},
      {{"--bed", "300,-1"}, "--bed takes a width and a height from 0 to 10000 mm"},
      {{"--bed-height", "20000"}, "--bed-height takes 0 to 10000 mm"},
      {{"--accel", "-5"}, "--accel takes 0 to 100000 mm/s\u00b2"},
      {{"--check", "a.gcode", "b.plt"},
       "--check takes a G-code file instead of a drawing, not both"},
  };
  for (const auto &c : cases) {
    QStringList arguments = c.Arguments;
    if (!arguments.contains("--check"))
      arguments << "x.plt";
    run = RunCli(arguments, dir.path());
    EXPECT_EQ(run.Status, 2) << c.Message;
    EXPECT_EQ(run.Err.rfind("brennix-cli: " + std::string(c.Message) + "\n", 0), 0u) << run.Err;
  }
}

TEST(Cli, ReportGoesToStandardErrorAndTheJsonDump) {
  QTemporaryDir dir;
  const QString svg = dir.filePath("report.svg"), json = dir.filePath("report.json");
  {
    std::ofstream out(svg.toStdString(), std::ios::binary);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 100 100\">\n"
           "<rect width=\"50\" height=\"50\" fill=\"red\"/>\n"
           "<image href=\"a.png\"/>\n<image href=\"b.png\"/>\n</svg>\n";
  }
  const TRun run = RunCli({"--json", json, svg}, dir.path());
  ASSERT_EQ(run.Status, 0) << run.Err;
  // Qt may add notes of its own about the environment.
  EXPECT_NE(run.Err.find("2 <image> left out (first on line 3)\n"), std::string::npos) << run.Err;
  const QJsonObject job =
      QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(json))).object();
  const QJsonArray report = job["report"].toArray();
  ASSERT_EQ(report.size(), 1);
  EXPECT_EQ(report[0].toString(), "2 <image> left out (first on line 3)");
  // A drawing read in full has an empty report.
  const TRun clean = RunCli({"--json", json, Example("relief.stl")}, dir.path());
  ASSERT_EQ(clean.Status, 0) << clean.Err;
  EXPECT_TRUE(QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(json)))
                  .object()["report"]
                  .toArray()
                  .isEmpty());
}

namespace {

// The --timings table: each phase's name with its wall and processor seconds.
std::map<std::string, std::pair<double, double>> TimingsTable(const std::string &err) {
  std::map<std::string, std::pair<double, double>> phases;
  const std::regex row(R"(^(\S.*\S) +([0-9]+\.[0-9]{3}) +([0-9]+\.[0-9]{3})$)");
  std::istringstream lines(err);
  std::string line;
  std::smatch match;
  bool inTable = false;
  while (std::getline(lines, line)) {
    if (line.rfind("phase ", 0) == 0)
      inTable = true;
    else if (inTable && std::regex_match(line, match, row))
      phases[match[1]] = {std::stod(match[2]), std::stod(match[3])};
  }
  return phases;
}

} // namespace

TEST(Cli, TimingsListEachPhaseAndChangeNothingElse) {
  QTemporaryDir dir;
  const QString plain = dir.filePath("plain.gcode"), timed = dir.filePath("timed.gcode");
  const TRun reference = RunCli({"-o", plain, Example("gerber-board.gbr")}, dir.path());
  ASSERT_EQ(reference.Status, 0) << reference.Err;
  EXPECT_EQ(reference.Err.find("phase "), std::string::npos);
  const TRun run = RunCli({"--timings", "-o", timed, Example("gerber-board.gbr")}, dir.path());
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, reference.Out);
  EXPECT_EQ(ReadFile(timed), ReadFile(plain));

  const auto phases = TimingsTable(run.Err);
  for (const char *name : {"read", "burn paths: areas", "burn paths: outline", "estimate",
                           "G-code: walk", "G-code: check", "total"})
    EXPECT_TRUE(phases.count(name)) << name << " missing in\n" << run.Err;
  double wall = 0, cpu = 0;
  for (const auto &[name, figures] : phases)
    if (name != "total") {
      EXPECT_GE(figures.first, 0) << name;
      EXPECT_GE(figures.second, 0) << name;
      wall += figures.first;
      cpu += figures.second;
    }
  // Each figure is rounded to a millisecond.
  const double slack = 0.0005 * static_cast<double>(phases.size());
  EXPECT_NEAR(phases.at("total").first, wall, slack);
  EXPECT_NEAR(phases.at("total").second, cpu, slack);

  // A refused drawing still shows where the time went.
  const QString bad = dir.filePath("bad.gbr");
  {
    std::ofstream out(bad.toStdString());
    out << "%FSLAX25Y25*%%MOMM*%X1Y1D77*";
  }
  const TRun refused = RunCli({"--timings", bad}, dir.path());
  EXPECT_EQ(refused.Status, 1);
  EXPECT_TRUE(TimingsTable(refused.Err).count("read")) << refused.Err;
}

TEST(Cli, RasterModesReplaceAPicturesColourLevelsAndSayHowInTheDump) {
  QTemporaryDir dir;
  // A horizontal gray ramp, white at the right.
  QImage ramp(60, 20, QImage::Format_RGB32);
  for (int x = 0; x < 60; ++x)
    for (int y = 0; y < 20; ++y)
      ramp.setPixel(x, y, x >= 50 ? 0xFFFFFFFFu : qRgb(x * 5, x * 5, x * 5));
  const QString picture = dir.filePath("ramp.png"), json = dir.filePath("out.json");
  ASSERT_TRUE(ramp.save(picture));
  const TRun run = RunCli({"--json", json, "--raster-mode", "gray", "--gray-levels", "4",
                           "--min-power", "40", "--max-power", "200", picture},
                          dir.path());
  ASSERT_EQ(run.Status, 0) << run.Err;
  const QJsonObject job =
      QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(json))).object();
  EXPECT_TRUE(job["rasterMode"].toString().startsWith("mode=gray gray-levels=4 min-power=40"));
  int bands = 0, previous = 0;
  for (const auto &value : job["levels"].toArray()) {
    const QJsonObject level = value.toObject();
    if (level["kind"].toString() != "lkLines")
      continue;
    ++bands;
    EXPECT_GT(level["power"].toInt(), previous);
    previous = level["power"].toInt();
  }
  EXPECT_EQ(bands, 4);

  // A colour-level picture's dump has no mode, as before the modes.
  ASSERT_EQ(RunCli({"--json", json, picture}, dir.path()).Status, 0);
  EXPECT_FALSE(QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(json)))
                   .object()
                   .contains("rasterMode"));

  for (const QStringList &arguments :
       {QStringList{"--raster-mode", "halftone", picture}, QStringList{"--dither", "x", picture},
        QStringList{"--gray-levels", "65", picture}, QStringList{"--overscan", "-1", picture}}) {
    const TRun bad = RunCli(arguments, dir.path());
    EXPECT_EQ(bad.Status, 2) << arguments.join(' ').toStdString();
    EXPECT_NE(bad.Err.find(arguments[0].toStdString()), std::string::npos);
  }
}

TEST(Cli, VersionHelpAndQuietWithoutATerminal) {
  QTemporaryDir dir;
  TRun run = RunCli({"--version"}, dir.path());
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out.rfind("brennix-cli ", 0), 0u) << run.Out;
  EXPECT_NE(run.Out.find_first_of("0123456789"), std::string::npos) << run.Out;

  // --help documents every exit status the program uses.
  run = RunCli({"--help"}, dir.path());
  EXPECT_EQ(run.Status, 0);
  const std::size_t statuses = run.Out.find("exit status:");
  ASSERT_NE(statuses, std::string::npos) << run.Out;
  for (const char *status : {"  0  ", "  1  ", "  2  ", "  3  "})
    EXPECT_NE(run.Out.find(status, statuses), std::string::npos) << status;

  // Standard error is a pipe here: no bar with or without --quiet, and
  // --quiet changes nothing else.
  const QString gcode = dir.filePath("out.gcode"), quietGcode = dir.filePath("quiet.gcode");
  const TRun plain = RunCli({"-o", gcode, Example("relief.stl")}, dir.path());
  const TRun quiet = RunCli({"--quiet", "-o", quietGcode, Example("relief.stl")}, dir.path());
  ASSERT_EQ(plain.Status, 0) << plain.Err;
  ASSERT_EQ(quiet.Status, 0) << quiet.Err;
  EXPECT_EQ(plain.Err.find('\r'), std::string::npos) << plain.Err;
  EXPECT_EQ(plain.Err, quiet.Err);
  EXPECT_EQ(plain.Out, quiet.Out);
  EXPECT_EQ(ReadFile(gcode), ReadFile(quietGcode));
}

TEST(Cli, PlotsThatWouldFillForHoursEndWithinASecond) {
  // A fuzzer's find (an edge wedge of radius 100990 plotter units amid
  // junk, then fills), and the same wedge written cleanly and filled.
  const struct {
    const char *Name;
    QByteArray Plot;
    bool Refused;
  } cases[] = {
      {"fuzzed",
       QByteArray::fromHex("4e5032bdb9afffffcfc4af3130af313036303b45573130303939302c392cc030303b"
                           "3939283b4650313b32bdb9afffffcfc427af313036303b45573130303939302c392c"
                           "c030303b3939393939283b4650313b"),
       false},
      {"clean", "IN;SP1;PU0,0;EW100990,9,300;FP;", true},
  };
  QTemporaryDir dir;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    const QString file = dir.filePath(QString(c.Name) + ".plt"),
                  gcode = dir.filePath(QString(c.Name) + ".gcode");
    {
      std::ofstream out(file.toStdString(), std::ios::binary);
      out.write(c.Plot.data(), c.Plot.size());
    }
    QElapsedTimer timer;
    timer.start();
    const TRun run = RunCli({"-o", gcode, file}, dir.path());
    EXPECT_LT(timer.elapsed(), 1000 * SanitizerSlowdown);
    if (c.Refused) {
      EXPECT_EQ(run.Status, 1) << run.Err;
      EXPECT_NE(run.Err.find("too large to fill"), std::string::npos) << run.Err;
      EXPECT_FALSE(QFile::exists(gcode));
    } else {
      EXPECT_EQ(run.Status, 0) << run.Err;
    }
  }
}

namespace {

// A curve through points at random across a 100 mm square: it crosses
// itself millions of times.
std::vector<std::pair<int, int>> RandomPoints(std::size_t count, unsigned seed) {
  std::vector<std::pair<int, int>> points;
  unsigned state = seed;
  auto next = [&] {
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 8) % 100001);
  };
  for (std::size_t i = 0; i < count; ++i) {
    const int x = next();
    points.emplace_back(x, next());
  }
  return points;
}

std::string Decimal(int thousandths) {
  return std::to_string(thousandths / 1000) + "." + std::to_string(thousandths % 1000 + 1000).substr(1);
}

} // namespace

TEST(Cli, SelfCrossingDrawingsLoadWithoutTheirOutlineWithinSeconds) {
  std::string spline = "0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n4\n0\nENDSEC\n"
                       "0\nSECTION\n2\nENTITIES\n0\nSPLINE\n8\n0\n70\n8\n71\n3\n74\n5000\n";
  for (const auto &[x, y] : RandomPoints(5000, 1))
    spline += "11\n" + Decimal(x) + "\n21\n" + Decimal(y) + "\n31\n0\n";
  spline += "0\nENDSEC\n0\nEOF\n";
  // One polyline, then a second drawn over it: the second would hide what
  // it covers of the first.
  auto polyline = [](unsigned seed, const char *colour) {
    std::string points;
    for (const auto &[x, y] : RandomPoints(5000, seed))
      points += Decimal(x) + "," + Decimal(y) + " ";
    return "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" points=\"" + points +
           "\"/>\n";
  };
  const std::string svgHead =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100mm\" height=\"100mm\" "
      "viewBox=\"0 0 100 100\">\n";
  const std::string one = svgHead + polyline(2, "red") + "</svg>\n";
  const std::string two = svgHead + polyline(2, "red") + polyline(3, "blue") + "</svg>\n";
  const struct {
    const char *Name;
    const std::string *Text;
    const char *Report; // what loading says, or nullptr
  } cases[] = {
      {"spline.dxf", &spline, nullptr},
      {"one.svg", &one, nullptr},
      {"two.svg", &two, "too many to hide what lines cover: 1 lines level left as drawn, hiding nothing"},
  };
  QTemporaryDir dir;
  for (const auto &c : cases) {
    const QString file = dir.filePath(c.Name), gcode = dir.filePath("out.gcode");
    {
      std::ofstream out(file.toStdString(), std::ios::binary);
      out << *c.Text;
    }
    for (bool outlineOnly : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (outlineOnly ? " outline only" : ""));
      QStringList arguments{"-o", gcode, file};
      if (outlineOnly)
        arguments.prepend("--outline-only");
      QElapsedTimer timer;
      timer.start();
      const TRun run = RunCli(arguments, dir.path());
      EXPECT_LT(timer.elapsed(), 10000 * SanitizerSlowdown);
      ASSERT_EQ(run.Status, 0) << run.Err;
      const bool refused = run.Err.find("The drawing crosses itself about ") != std::string::npos &&
                           run.Err.find("too many to outline it; the outline is left empty.") !=
                               std::string::npos;
      // The outline is burnt only in Outline Only mode: only there is it missed.
      EXPECT_EQ(refused, outlineOnly) << run.Err;
      if (c.Report) {
        EXPECT_NE(run.Err.find(c.Report), std::string::npos) << run.Err;
      } else {
        EXPECT_EQ(run.Err.find("too many to hide"), std::string::npos) << run.Err;
      }
      // The lines are burnt whatever happened to the outline.
      if (!outlineOnly) {
        EXPECT_GT(ReadFile(gcode).size(), 50000u);
      }
    }
  }
}
