#pragma once
// Opening a drawing: reader dispatch by extension and the post-load set-up.

#include <string>

class TLevels;

// Opens fileName with the open dialog's filter index and remembers both in
// the job; the scale boxes go back to 100 %. Errors propagate with the
// reader's message, after the window state was restored.
void LoadFromFile(TLevels &levels, const std::string &fileName, int filterIndex);
// Reads the file last opened again, with its filter index and the user's
// scale: after a focus change, whose new internal unit the drawing must be
// read in. A copper layer gets the board outline chosen last, without asking.
void ReloadDrawing(TLevels &levels);

// The extension that chooses the reader: lower case, "gbr" when there is none.
std::string ReaderExtension(const std::string &fileName);
