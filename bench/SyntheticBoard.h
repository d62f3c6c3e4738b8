#pragma once
// A synthetic board of realistic make-up for the Gerber benchmarks.
#include <cmath>
#include <string>

namespace SyntheticBoards {

inline std::string Coordinate(double mm) {
  return std::to_string(static_cast<long long>(std::llround(mm * 1e5)));
}
inline std::string At(double x, double y) { return "X" + Coordinate(x) + "Y" + Coordinate(y); }

// A board of columns x rows footprints: each a pair of pads with a track to
// the next footprint, some arcs, a ground pour with clearances cut into it
// and thermals on top. About 4 objects per footprint.
inline std::string SyntheticBoard(int columns, int rows, int &objects) {
  objects = 1;
  std::string text = "%FSLAX25Y25*%%MOMM*%%ADD10C,0.25*%%ADD11R,0.9X0.6*%%ADD12C,1.1*%%ADD13C,0.6*%"
                     "%AMTH*7,0,0,1.4,1,0.25,45*%%ADD14TH*%";
  const double pitch = 2.5;
  // The ground pour and its clearances first, as layout programs write them.
  text += "G36*" + At(-1, -1) + "D02*G01*" + At(columns * pitch, -1) + "D01*" +
          At(columns * pitch, rows * pitch) + "D01*" + At(-1, rows * pitch) + "D01*" + At(-1, -1) +
          "D01*G37*";
  text += "%LPC*%D12*";
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; c += 2) {
      text += At(c * pitch, r * pitch) + "D03*";
      ++objects;
    }
  text += "%LPD*%";
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const double x = c * pitch, y = r * pitch;
      text += "D11*" + At(x, y) + "D03*" + At(x + 0.9, y) + "D03*";
      text += "D10*" + At(x + 0.9, y) + "D02*";
      if (c % 5 == 4) {
        text += "G75*G03" + At(x + 2.5, y) + "I" + Coordinate(0.8) + "J0D01*G01*";
        objects += 3;
      } else {
        text += At(x + 1.6, y + 0.6) + "D01*" + At(x + 2.5, y) + "D01*";
        objects += 4;
      }
    }
    text += "D14*" + At(r * 0.7, r * pitch + 1.2) + "D03*";
    ++objects;
  }
  return text + "M02*";
}

} // namespace SyntheticBoards
