#include "Preview.h"

#include <algorithm>

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

TPreview::TPreview() : FImage(1, 1, QImage::Format_ARGB32_Premultiplied) { FImage.fill(Qt::white); }

void TPreview::Reset(TIntSize view, TIntSize output) {
  FFactor = output.cx > 0 && output.cy > 0 ? std::min(static_cast<double>(view.cx - 20) / output.cx,
                                                      static_cast<double>(view.cy - 20) / output.cy)
                                           : 0.0;
  if (FImage.width() != view.cx || FImage.height() != view.cy)
    FImage =
        QImage(std::max(view.cx, 1), std::max(view.cy, 1), QImage::Format_ARGB32_Premultiplied);
  FImage.fill(Qt::white);
}

void TPreview::Draw(const TPaths &paths, const TPreviewPen &pen) {
  if (FImage.isNull() || FFactor <= 0)
    return;
  const double height = FImage.height();
  QPainterPath drawing;
  for (const auto &path : paths)
    for (std::size_t i = 0; i < path.size(); ++i) {
      const QPointF point(static_cast<double>(path[i].X) * FFactor + 10,
                          height - static_cast<double>(path[i].Y) * FFactor - 10);
      if (i == 0)
        drawing.moveTo(point);
      else
        drawing.lineTo(point);
    }
  QPainter painter(&FImage);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor::fromRgba(pen.Color), pen.Travel ? 1.0 : pen.Focus * FFactor,
                      Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.setOpacity((pen.Lines ? 1.0 : 0.8) - (pen.Travel ? 0.0 : 0.2));
  painter.drawPath(drawing);
}
