#include "FileIntake.h"

#include <algorithm>
#include <cmath>

#include <QFileInfo>
#include <QString>

#include "core/JobHost.h"
#include "core/LevelDefaults.h"
#include "core/Levels.h"
#include "core/PathUtils.h"
#include "core/ReadResult.h"
#include "dxf/DxfReader.h"
#include "gerber/BoardOutline.h"
#include "gerber/GerberReader.h"
#include "hpgl/PlotterReader.h"
#include "raster/RasterReader.h"
#include "stl/StlReader.h"
#include "svg/SvgReader.h"

namespace {

std::string BaseName(const std::string &fileName) {
  return QFileInfo(QString::fromStdString(fileName)).fileName().toStdString();
}

// Reads fileName into a new level set and swaps it in only once the reader
// succeeded: a file that fails leaves the job, its sizes, caption, preview
// and estimate exactly as they were. A re-read keeps the scale boxes as they are.
bool ReadDrawing(TLevels &levels, const std::string &fileName, int filterIndex, bool reread) {
  TJobHost &host = levels.Host();
  TLoadedFile &loaded = levels.Job().File;

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

  TReadOptions options;
  options.UnitsPerMM = UnitsPerMM();
  options.Focus = levels.Focus();
  options.FilterIndex = filterIndex;
  options.ColourLevels = levels.Job().PictureColourLevels;
  TReadResult result;
  const bool done = host.RunInBackground([&](const TBackgroundSteps &steps) {
    TReadOptions own = options;
    own.SetProgressMax = steps.SetMax;
    own.Progress = steps.Step;
    own.ShowMessage = steps.Message;
    result = ReadDrawingFile(fileName, own);
  });
  if (!done)
    return false;

  // The reader succeeded: from here on the new drawing replaces the old one.
  loaded.FileName = fileName;
  loaded.FilterIndex = filterIndex;
  if (!reread)
    host.SetScale(100, 100);
  host.ShowCalcResult(false);
  host.ShowCalcProgress(true);
  levels.SetReading(true);
  levels.Clear();
  levels.SetRaster(nullptr);
  levels.SetRasterHook(nullptr);
  for (auto &level : result.Levels)
    levels.Add(std::move(level));
  levels.SetSize(result.Size);
  if (result.Raster) {
    levels.TakeRaster(std::move(*result.Raster));
    levels.SetRasterHook(VectorizeRaster);
  }
  loaded.GerberLoaded = result.Gerber;
  loaded.Report = std::move(result.Report);
  levels.Job().GerberShift = result.GerberShift;

  const QString base = QString::fromStdString(BaseName(fileName));
  const qsizetype dot = base.lastIndexOf('.');
  const QString stem = dot < 0 ? base : base.left(dot);
  host.SetCaption("Kelvanor \u2013 Brennix \u2013 " + stem.toStdString());

  ApplyLevelDefaults(levels, loaded.GerberLoaded);

  if (loaded.GerberLoaded) {
    TLevels *list = &levels;
    if (reread)
      host.ExecuteInIdle([list] { ReapplyOutline(*list); });
    else
      host.ExecuteInIdle([&host] { host.ShowGerberOutlineOptions(); });
  }
  return true;
}

} // namespace

std::string ReaderExtension(const std::string &fileName) {
  const QString name = QString::fromStdString(BaseName(fileName));
  const qsizetype dot = name.lastIndexOf('.');
  if (dot < 0)
    return "gbr";
  return name.mid(dot + 1).toLower().toStdString();
}

TReadResult ReadDrawingFile(const std::string &fileName, const TReadOptions &options) {
  const std::string extension = ReaderExtension(fileName);
  if (extension == "stl")
    return LoadStereolithographyFile(fileName, options);
  if (extension == "svg")
    return LoadSvgFile(fileName, options);
  if (extension == "dxf")
    return LoadDxfFile(fileName, options);
  if (extension == "plt" || extension == "hgl" || extension == "hpgl")
    return LoadPlotterFile(fileName, options);
  if (extension == "gif" || extension == "png" || extension == "jpg" || extension == "jpeg" ||
      extension == "bmp" || extension == "tif" || extension == "tiff")
    return LoadRasterFile(fileName, options);
  return LoadGerberFile(fileName, options);
}

bool LoadFromFile(TLevels &levels, const std::string &fileName, int filterIndex) {
  return ReadDrawing(levels, fileName, filterIndex, false);
}

bool ReloadDrawing(TLevels &levels) {
  const TLoadedFile &loaded = levels.Job().File;
  // Copies: a successful read writes them anew.
  const std::string fileName = loaded.FileName;
  const int filterIndex = loaded.FilterIndex;
  return ReadDrawing(levels, fileName, filterIndex, true);
}
