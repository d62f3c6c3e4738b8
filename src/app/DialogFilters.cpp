#include "DialogFilters.h"

const char *const OpenDialogFilter =
    "All Supported Files (*.stl, *.gif, *.png, *.jpg, *.tiff, gerber, *.svg, *.plt)|*.stl;*.gif;"
    "*.png;*.jpg;*.jpeg;*.bmp;*.tif;*.tiff;*.gbl;*.gbs;*.gbo;*.gbp;*.gbr;*.gko;*.gml;*.gpb;*.gpt;"
    "*.gtl;*.gts;*.gto;*.gtp;*.plc;*.pls;*.smb;*.smt;*.sol;*.ssb;*.sst;*.stc;*.sts;*.top;*.bot;"
    "*.cmp;*.svg;*.plt;*.hgl;*.hpgl;*.dxf|STereoLithography Binary Files (*.stl)|*.stl|"
    "STereoLithography Text Files (*.stl)|*.stl|Raster Graphics Files (*.gif, *.png, *.jpg, "
    "*.jpeg, *.bmp, *.tif, *.tiff)|*.gif;*.png;*.jpg;*.jpeg;*.bmp;*.tif;*.tiff|Gerber RS-274X "
    "Files (*.gbl, *.gbs, *.gml, *.gtl, *.gts and others)|*.gbl;*.gbs;*.gbo;*.gbp;*.gko;*.gml;"
    "*.gpb;*.gbr;*.gpt;*.gtl;*.gts;*.gto;*.gtp;*.plc;*.pls;*.smb;*.smt;*.sol;*.ssb;*.sst;*.stc;"
    "*.sts;*.top;*.bot;*.cmp|Scalable Vector Graphics Files (*.svg)|*.svg|HP-GL Plotter Files "
    "(*.plt;*.hgl;*.hpgl)|*.plt;*.hgl;*.hpgl|Other Gerber RS-274X Files (*.*)|*.*";
const char *const SaveDialogFilter = "All Files (*.*)|*.*|G-code Files (*.gcode)|*.gcode";
const char *const MakerPage = "https://kelvanor.com/brennix";

QStringList NameFilters(const char *filter) {
  // "Description|*.a;*.b" pairs become "Description (*.a *.b)"; the dialog
  // hides the masks, so the user reads the descriptions as written.
  const QStringList parts = QString(filter).split('|');
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
    result << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
  return result;
}
