#pragma once
// The preview of what the job burns, with zoom, pan and a drop target for files.

#include <functional>
#include <optional>

#include <QImage>
#include <QWidget>

#include "core/Geometry.h"

// Where the preview picture goes in its frame so that a drawing of output
// size sits in the middle.
QPoint PreviewOffset(QSize picture, TIntSize output);
// Where a drawing of output size lies in its preview picture, before that offset.
QRectF PreviewDrawing(QSize picture, TIntSize output);

// Shows what the level list draws; dropping a file on it opens the file.
// The wheel and the zoom commands scale the picture, dragging moves it; the
// picture itself is always rendered to fit, so zooming never waits on the worker.
class TPreviewImage : public QWidget {
public:
  explicit TPreviewImage(QWidget *parent);
  // offset: where the picture's corner goes, so that the drawing sits centred.
  void SetImage(const QImage &image, QPoint offset = {});
  const QImage &Image() const { return FImage; }
  QPoint Offset() const { return FOffset; }
  // Where the drawing lies in the picture (before the offset) and its size in mm;
  // an empty rectangle when nothing is drawn.
  void SetDrawing(const QRectF &picture, QSizeF millimetres);
  QSizeF DrawingSize() const { return FDrawingMM; }

  double Zoom() const { return FZoom; }
  QPointF Pan() const { return FPan; }
  static constexpr double ZoomStep = 1.25, MinZoom = 0.125, MaxZoom = 64;
  // Scales by factor keeping the picture point under at (a widget point) in place.
  void ZoomBy(double factor, QPointF at);
  void ZoomIn() { ZoomBy(ZoomStep, rect().center()); }
  void ZoomOut() { ZoomBy(1 / ZoomStep, rect().center()); }
  // The whole drawing in view again, centred.
  void Fit();
  // The drawing position in mm (Y up from its lower left corner) under a
  // widget point, or nothing when the point is off the drawing.
  std::optional<QPointF> PositionAt(QPointF widget) const;

  std::function<void(const QString &fileName)> OnDropped;
  std::function<void()> OnResized;
  // The cursor moved over the preview or left it (position empty).
  std::function<void(std::optional<QPointF> millimetres)> OnCursorMoved;

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

private:
  QPointF ToPicture(QPointF widget) const;
  void ReportCursor(QPointF widget);

  QImage FImage;
  QPoint FOffset;
  QRectF FDrawing;
  QSizeF FDrawingMM;
  double FZoom = 1;
  QPointF FPan;
  std::optional<QPointF> FDragFrom; // the last cursor point of a drag
};
