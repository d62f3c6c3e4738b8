#pragma once
// The per-level settings grid and the preview image with its drop target.

#include <functional>
#include <optional>

#include <QImage>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QWidget>

class TLevels;

enum TGridColumn : int { ColumnPrint, ColumnLayer, ColumnSpeed, ColumnPasses, ColumnPower };

// Glyph 0 to 3: the hatch styles; 4 and 5: unchecked and checked boxes.
QPixmap GridGlyph(int index, const QStyle *style);

class TPowerGrid : public QTableWidget {
public:
  explicit TPowerGrid(QWidget *parent);

  // Press and double click on a print cell, Enter and Space on one: the
  // window toggles the level. A double click thus toggles twice.
  std::function<void(int column, int row)> OnCellClick;
  // The user finished editing a cell.
  std::function<void(int column, int row)> OnEditingDone;
  // The text a cell shows: value with its unit, the level's name, "1 shell" ...
  std::function<QString(int column, int row, const QString &value, QColor *fill)> OnDrawCell;

  // Fills the cells without calling the editing handler.
  void SetCellText(int row, int column, const QString &text);
  int RowHeight() const { return 22; }
  // Widens each column to what its cells show (never below its start width,
  // nor a width the user dragged), and puts the full text in each tooltip.
  void FitColumns();
  // The height a horizontal scroll bar takes when the columns outgrow the grid.
  int ScrollBarRoom() const;
  // The columns were widened or the grid resized: the holder's height may change.
  std::function<void()> OnColumnsChanged;

protected:
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  bool FPressOpen = false; // a press not yet followed by its release
  bool FFitting = false;   // FitColumns sets widths: not the user's
  QList<int> FUserWidths;  // per column, 0 until the user drags it
};

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
