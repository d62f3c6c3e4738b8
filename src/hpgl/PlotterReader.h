#pragma once
// HP-GL plotter files: one lines level per pen ("Pen n") and one area level
// per pen for what it filled ("Fill n").

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ReadResult.h"

struct TPlotterCommand {
  // Two letters at most; shorter at the end of a letter run ("ABC" gives AB and C).
  std::string Mnemonic;
  std::vector<float> Parameters;
  // The text of a label (LB, BL) as written, up to its terminator.
  std::string Text{};
  // The file line (from 1) the command starts on, for messages; where a
  // command stands is not part of what it says, so equality ignores it.
  int Line = 0;
  friend bool operator==(const TPlotterCommand &a, const TPlotterCommand &b) {
    return a.Mnemonic == b.Mnemonic && a.Parameters == b.Parameters && a.Text == b.Text;
  }
};

// Parameters are separated by commas, blanks (line breaks included) or both,
// and a sign after a number starts the next one ("PA10-20" is 10, -20).
// Label text (LB, BL up to the terminator set by DT) is the command's Text,
// never commands or parameters; quoted text is skipped; malformed numbers read as 0.
std::vector<TPlotterCommand> ParsePlotterCommands(std::string_view text);
// The same, handing each command over as soon as it is read, so a large plot
// is never held as a command list.
void ParsePlotterCommands(std::string_view text,
                          const std::function<void(const TPlotterCommand &)> &onCommand);

// bytes: the file as read; a byte-order mark selects the encoding (DecodePlotterText).
TReadResult ReadPlotter(std::string_view bytes, const TReadOptions &options);
// Throws TReadError when the file cannot be read.
TReadResult LoadPlotterFile(const std::string &fileName, const TReadOptions &options);

// File bytes to 8-bit text: a UTF-8 byte-order mark is dropped, UTF-16 with a
// byte-order mark is narrowed (characters beyond 8 bits can never be commands).
std::string DecodePlotterText(std::string_view bytes);

// The factor from plotter units to internal units. A plotter unit is 0.025 mm
// whatever the focus, so the factor follows the internal unit and a drawing
// keeps its size in millimetres when a focus change reads it again (2.5 at
// 100 units per millimetre).
inline double PlotterUnitScale(double unitsPerMM) { return unitsPerMM / 40.0; }
