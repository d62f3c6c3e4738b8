#pragma once
// Opening a drawing: reader dispatch by extension and the post-load set-up.

#include <string>

class TLevels;
class TJobHost;

// The file last opened, its filter index, and whether it was a Gerber file.
// Written by LoadFromFile (and the Gerber reader's result) on the main thread.
struct TLoadedFile {
  std::string FileName;
  int FilterIndex = 1;
  bool GerberLoaded = false;
};
const TLoadedFile &LoadedFile();

// Opens fileName with the open dialog's filter index; an empty name reads the
// remembered file again (after a focus change). Errors propagate with the
// reader's message, after the window state was restored.
void LoadFromFile(TLevels &levels, const std::string &fileName, int filterIndex);

// The extension that chooses the reader: lower case, "gbr" when there is none.
std::string ReaderExtension(const std::string &fileName);
