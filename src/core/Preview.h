#pragma once
// The preview picture: burn paths in output coordinates scaled to fit the
// view, Y pointing up, with a 10-pixel margin; nothing else is drawn.

#include <cstdint>

#include <QImage>

#include "Geometry.h"

// How one level's paths are stroked.
struct TPreviewPen {
  std::uint32_t Color = 0; // ARGB
  std::int32_t Focus = 0;  // spot diameter in internal units: the stroke width
  bool Travel = false;     // "Show Lines": one-pixel lines, full opacity
  bool Lines = false;      // a lines level: drawn more opaque than areas
};

class TPreview {
public:
  // A white picture of one pixel, as before the first cycle.
  TPreview();

  const QImage &Image() const { return FImage; }

  // Fits output into view, resizes the picture to view and clears it to white.
  void Reset(TIntSize view, TIntSize output);
  // Strokes the paths, each as one line through its points.
  void Draw(const TPaths &paths, const TPreviewPen &pen);

private:
  QImage FImage;
  double FFactor = 0; // pixels per internal unit; 0 while there is no output size
};
