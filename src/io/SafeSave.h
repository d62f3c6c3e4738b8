#pragma once
// Replacing a file whole: the new text goes into a temporary beside it that
// is renamed over it only when complete, so a crash or a kill at any moment
// leaves either the old file or the new one, never a torn one.
//
// The temporary is named ".<file name>.brennix-XXXXXX" (six letters or
// digits). A save killed before its rename leaves that file behind; the
// next save of the same target removes every such leftover first. Only
// names of exactly that form are touched, never another file.

#include <string>
#include <string_view>

// Writes text to fileName that way. Throws std::runtime_error with the
// message to show ("Cannot write file ... Nothing was written.") when the
// folder or the disk refuses; the previous file is then as it was.
void SaveFileWhole(const std::string &fileName, std::string_view text);

// Whether name (a file name, no folder) is a temporary that SaveFileWhole
// of target (also a file name) makes.
bool IsSaveTemporaryOf(std::string_view name, std::string_view target);
