#include "RasterPicture.h"

bool TRasterPicture::HasRaster() const {
  std::lock_guard lock(FRasterLock);
  return FRaster.has_value();
}

QImage TRasterPicture::Raster() const {
  std::lock_guard lock(FRasterLock);
  return FRaster ? *FRaster : QImage();
}

void TRasterPicture::SetRaster(const QImage *picture) {
  std::lock_guard lock(FRasterLock);
  if (picture)
    FRaster = picture->copy();
  else
    FRaster.reset();
}

void TRasterPicture::TakeRaster(QImage picture) {
  // The old picture is freed after the lock is let go.
  std::optional<QImage> old(std::move(picture));
  {
    std::lock_guard lock(FRasterLock);
    FRaster.swap(old);
  }
}
