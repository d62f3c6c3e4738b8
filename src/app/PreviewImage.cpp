#include "PreviewImage.h"

#include <algorithm>
#include <cmath>

#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWheelEvent>

TPreviewImage::TPreviewImage(QWidget *parent) : QWidget(parent) {
  setAcceptDrops(true);
  setMouseTracking(true);
  setFocusPolicy(Qt::WheelFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(30, 30);
}

void TPreviewImage::SetImage(const QImage &image, QPoint offset) {
  // Shared, not copied: the worker hands a new picture over for every chunk
  // of a big drawing, and its next stroke detaches its own copy (a painter
  // never draws into a shared image), so this side never sees it change.
  FImage = image;
  FOffset = offset;
  update();
}

void TPreviewImage::SetDrawing(const QRectF &picture, QSizeF millimetres) {
  FDrawing = picture;
  FDrawingMM = millimetres;
}

void TPreviewImage::ZoomBy(double factor, QPointF at) {
  const double zoom = std::clamp(FZoom * factor, MinZoom, MaxZoom);
  if (zoom == FZoom)
    return;
  // The picture point under the cursor stays under it.
  const QPointF under = ToPicture(at);
  const QPointF centre = QRectF(rect()).center();
  FZoom = zoom;
  FPan = at - centre - FZoom * (under - centre);
  update();
  ReportCursor(mapFromGlobal(QCursor::pos()));
}

void TPreviewImage::Fit() {
  FZoom = 1;
  FPan = {};
  update();
}

QPointF TPreviewImage::ToPicture(QPointF widget) const {
  const QPointF centre = QRectF(rect()).center();
  return (widget - centre - FPan) / FZoom + centre;
}

std::optional<QPointF> TPreviewImage::PositionAt(QPointF widget) const {
  if (FDrawing.isEmpty() || FDrawingMM.isEmpty())
    return std::nullopt;
  const QRectF drawing = FDrawing.translated(FOffset);
  const QPointF at = ToPicture(widget);
  // Half a pixel of slack: the drawing's own edge is part of it.
  if (!drawing.adjusted(-0.5, -0.5, 0.5, 0.5).contains(at))
    return std::nullopt;
  const double x = (at.x() - drawing.left()) / drawing.width() * FDrawingMM.width();
  const double y = (drawing.bottom() - at.y()) / drawing.height() * FDrawingMM.height();
  return QPointF(std::clamp(x, 0.0, FDrawingMM.width()), std::clamp(y, 0.0, FDrawingMM.height()));
}

void TPreviewImage::ReportCursor(QPointF widget) {
  if (OnCursorMoved)
    OnCursorMoved(rect().contains(widget.toPoint()) ? PositionAt(widget) : std::nullopt);
}

void TPreviewImage::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (FZoom != 1 || !FPan.isNull()) {
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre + FPan);
    painter.scale(FZoom, FZoom);
    painter.translate(-centre);
    // Smoothing costs little when shrinking; when enlarging, the pixels stay crisp.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, FZoom < 1);
  }
  painter.drawImage(FOffset, FImage);
}

void TPreviewImage::wheelEvent(QWheelEvent *event) {
  const int steps = event->angleDelta().y();
  if (steps == 0) {
    event->ignore();
    return;
  }
  // One notch is 120; touch pads send smaller steps that add up to the same.
  ZoomBy(std::pow(ZoomStep, steps / 120.0), event->position());
  event->accept();
}

void TPreviewImage::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  FDragFrom = event->position();
  setCursor(Qt::ClosedHandCursor);
  event->accept();
}

void TPreviewImage::mouseMoveEvent(QMouseEvent *event) {
  if (FDragFrom && (event->buttons() & Qt::LeftButton)) {
    FPan += event->position() - *FDragFrom;
    FDragFrom = event->position();
    update();
  }
  ReportCursor(event->position());
  event->accept();
}

void TPreviewImage::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() == Qt::LeftButton && FDragFrom) {
    FDragFrom.reset();
    unsetCursor();
  }
  event->accept();
}

void TPreviewImage::leaveEvent(QEvent *event) {
  QWidget::leaveEvent(event);
  if (OnCursorMoved)
    OnCursorMoved(std::nullopt);
}

void TPreviewImage::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  if (OnResized)
    OnResized();
}

void TPreviewImage::dragEnterEvent(QDragEnterEvent *event) {
  event->setDropAction(Qt::LinkAction);
  event->accept();
}

void TPreviewImage::dragMoveEvent(QDragMoveEvent *event) {
  event->setDropAction(Qt::LinkAction);
  event->accept();
}

void TPreviewImage::dropEvent(QDropEvent *event) {
  // Only files dropped from outside the program open a drawing.
  if (event->source() || !event->mimeData()->hasUrls())
    return;
  for (const QUrl &url : event->mimeData()->urls()) {
    if (!url.isLocalFile())
      continue;
    event->setDropAction(Qt::LinkAction);
    event->accept();
    if (OnDropped)
      OnDropped(url.toLocalFile());
    return;
  }
}

QPoint PreviewOffset(QSize picture, TIntSize output) {
  // The picture fits the drawing inside a 10-pixel margin at its bottom left;
  // the free room is split evenly on both sides instead.
  if (output.cx <= 0 || output.cy <= 0 || picture.width() <= 20 || picture.height() <= 20)
    return {};
  const double roomX = picture.width() - 20, roomY = picture.height() - 20;
  const double factor = std::min(roomX / output.cx, roomY / output.cy);
  return {static_cast<int>(std::lround((roomX - output.cx * factor) / 2)),
          -static_cast<int>(std::lround((roomY - output.cy * factor) / 2))};
}

QRectF PreviewDrawing(QSize picture, TIntSize output) {
  // The same fit as PreviewOffset: inside a 10-pixel margin, at the bottom left.
  if (output.cx <= 0 || output.cy <= 0 || picture.width() <= 20 || picture.height() <= 20)
    return {};
  const double factor =
      std::min((picture.width() - 20.0) / output.cx, (picture.height() - 20.0) / output.cy);
  const double width = output.cx * factor, height = output.cy * factor;
  return {10, picture.height() - 10 - height, width, height};
}
