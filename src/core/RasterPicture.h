#pragma once
// The picture of a raster drawing, which the level list carries: its
// presence means raster mode. The main thread sets it; the worker copies it
// out to scale it, so every access holds the lock.

#include <mutex>
#include <optional>

#include <QImage>

class TRasterPicture {
public:
  bool HasRaster() const;
  QImage Raster() const;
  // Null clears it; otherwise keeps a deep copy.
  void SetRaster(const QImage *picture);
  // Keeps picture itself: a photo of tens of megabytes changes hands at once,
  // where a copy would hold the main thread and the raster lock meanwhile.
  void TakeRaster(QImage picture);

private:
  mutable std::mutex FRasterLock;
  std::optional<QImage> FRaster;
};
