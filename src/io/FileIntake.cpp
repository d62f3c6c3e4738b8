#include "FileIntake.h"

#include <algorithm>
#include <cmath>

#include <QFileInfo>
#include <QString>

#include "core/JobHost.h"
#include "core/Levels.h"
#include "core/PathUtils.h"
#include "core/ReadResult.h"
#include "gerber/BoardOutline.h"
#include "gerber/GerberReader.h"
#include "hpgl/PlotterReader.h"
#include "raster/RasterReader.h"
#include "stl/StlReader.h"
#include "svg/SvgReader.h"

namespace {
// What was opened last; main thread only.
TLoadedFile GLoadedFile;

std::string BaseName(const std::string &fileName) {
  return QFileInfo(QString::fromStdString(fileName)).fileName().toStdString();
}
} // namespace

const TLoadedFile &LoadedFile() { return GLoadedFile; }

std::string ReaderExtension(const std::string &fileName) {
  const QString name = QString::fromStdString(BaseName(fileName));
  const qsizetype dot = name.lastIndexOf('.');
  if (dot < 0)
    return "gbr";
  return name.mid(dot + 1).toLower().toStdString();
}

void LoadFromFile(TLevels &levels, const std::string &fileName, int filterIndex) {
  TJobHost &host = levels.Host();
  const bool reread = fileName.empty();
  if (!reread) {
    GLoadedFile.FileName = fileName;
    GLoadedFile.FilterIndex = filterIndex;
    host.SetScale(100, 100);
  }
  GLoadedFile.GerberLoaded = false;

  host.ShowCalcResult(false);
  host.ShowCalcProgress(true);
  host.BeginProgress("Loading...");
  host.EnableRightPanel(false);
  struct TRestore {
    TJobHost &Host;
    ~TRestore() {
      Host.EnableRightPanel(true);
      Host.EndProgress();
    }
  } restore{host};
  host.Progress(false);

  levels.SetReading(true);
  levels.Clear();
  levels.SetRaster(nullptr);
  levels.SetRasterHook(nullptr);

  TReadOptions options;
  options.UnitsPerMM = UnitsPerMM();
  options.Focus = levels.Focus();
  options.FilterIndex = GLoadedFile.FilterIndex;
  options.SetProgressMax = [&host](int maximum) { host.SetProgressMax(maximum); };
  options.Progress = [&host] { host.Progress(false); };
  options.ShowMessage = [&host](const std::string &text) { host.ShowMessage(text); };

  const std::string &name = GLoadedFile.FileName;
  const std::string extension = ReaderExtension(name);
  TReadResult result;
  if (extension == "stl")
    result = LoadStereolithographyFile(name, options);
  else if (extension == "svg")
    result = LoadSvgFile(name, options);
  else if (extension == "plt" || extension == "hgl" || extension == "hpgl")
    result = LoadPlotterFile(name, options);
  else if (extension == "gif" || extension == "png" || extension == "jpg" || extension == "jpeg" ||
           extension == "bmp" || extension == "tif" || extension == "tiff")
    result = LoadRasterFile(name, options);
  else
    result = LoadGerberFile(name, options);

  for (auto &level : result.Levels)
    levels.Add(std::move(level));
  levels.SetSize(result.Size);
  if (result.Raster) {
    levels.SetRaster(&*result.Raster);
    levels.SetRasterHook(VectorizeRaster);
  }
  GLoadedFile.GerberLoaded = result.Gerber;

  const QString base = QString::fromStdString(BaseName(name));
  const qsizetype dot = base.lastIndexOf('.');
  const QString stem = dot < 0 ? base : base.left(dot);
  host.SetCaption("Kelvanor \u2013 Brennix \u2013 " + stem.toStdString());

  ApplyLevelDefaults(levels);

  if (GLoadedFile.GerberLoaded) {
    TLevels *list = &levels;
    if (reread)
      host.ExecuteInIdle([list] { ReapplyOutline(*list); });
    else
      host.ExecuteInIdle([&host] { host.ShowGerberOutlineOptions(); });
  }
}

void ApplyLevelDefaults(TLevels &levels) {
  TJobHost &host = levels.Host();
  bool outline = false;
  for (int i = levels.Count() - 1; i >= 0; --i) {
    TLevel &level = *levels.Item(i);
    if (level.Kind() == lkPerimeter)
      continue;
    if (level.Kind() == lkOutline) {
      levels.Move(i, levels.Count() - 1);
      outline = true;
      continue;
    }
    const std::int32_t height = level.Height();
    level.SetPower(255);
    // A negative height would give no passes at all: such a level would
    // silently never burn.
    level.SetPasses(std::max(height / 15 + 1, 1));
    std::int32_t speed = 1000;
    if (height >= 1) {
      speed = static_cast<std::int32_t>(RoundUnit(std::sqrt(static_cast<double>(level.Passes())) * 2000 / height));
      speed = std::clamp(speed, 2, 1000);
    }
    level.SetSpeed(speed);
    if (level.Speed() > 10)
      level.SetSpeed(level.Speed() / 10 * 10);

    if (level.Kind() == lkArea &&
        (i == levels.Count() - 1 || levels.Item(i + 1)->Kind() != lkPerimeter)) {
      auto perimeter = std::make_unique<TLevel>(lkPerimeter);
      perimeter->SetHeight(GLoadedFile.GerberLoaded ? 99 : 1);
      perimeter->SetName(level.Name());
      perimeter->SetColor(level.Color());
      perimeter->SetSpeed(level.Speed());
      perimeter->SetPower(level.Power());
      perimeter->SetPrint(level.Print());
      perimeter->SetPasses(level.Passes());
      levels.Insert(i + 1, std::move(perimeter));
    }
  }
  if (!outline) {
    auto level = std::make_unique<TLevel>(lkOutline);
    level->SetHeight(3);
    level->SetName("Outline");
    level->SetColor(0xFF000000u);
    level->SetSpeed(static_cast<std::int32_t>(RoundUnit(host.IdleSpeed() * 100)));
    level->SetPower(3);
    level->SetPrint(true);
    level->SetPasses(2);
    levels.Add(std::move(level));
  }
  host.UpdateGrid();

  const TIntSize size = levels.Size();
  const double unitsPerMM = UnitsPerMM();
  host.SetOriginalSize(size.cx / unitsPerMM, size.cy / unitsPerMM);
  host.SetPrintSize(host.ScaleX() * size.cx / unitsPerMM / 100, host.ScaleY() * size.cy / unitsPerMM / 100);
  // The output follows the scale the boxes show: 100 % after opening a file,
  // the user's scale after a re-read, so preview and G-code match the boxes.
  levels.SetOutput({static_cast<std::int32_t>(RoundUnit(size.cx * host.ScaleX() / 100)),
                    static_cast<std::int32_t>(RoundUnit(size.cy * host.ScaleY() / 100))});
  levels.SetReading(false);
}
