#pragma once
// The per-level settings grid: one row per level, its cells drawn and edited in place.

#include <functional>

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
