#pragma once
// Opening a drawing: reader dispatch by extension and the post-load set-up.

#include <string>

class TLevels;
struct TReadOptions;
struct TReadResult;

// Opens fileName with the open dialog's filter index and remembers both in
// the job; the scale boxes go back to 100 %. Errors propagate with the
// reader's message, after the window state was restored. The reader runs
// through the host's RunInBackground; false when the user cancelled, the job
// left exactly as it was.
bool LoadFromFile(TLevels &levels, const std::string &fileName, int filterIndex);
// Reads the file last opened again, with its filter index and the user's
// scale: after a focus change, whose new internal unit the drawing must be
// read in. A copper layer gets the board outline chosen last, without asking.
bool ReloadDrawing(TLevels &levels);
// Runs the reader the extension chooses; touches no job, so any thread may call it.
TReadResult ReadDrawingFile(const std::string &fileName, const TReadOptions &options);

// The extension that chooses the reader: lower case, "gbr" when there is none.
std::string ReaderExtension(const std::string &fileName);
