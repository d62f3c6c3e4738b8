#pragma once
// The power grid's handlers: what each cell shows, which cells take the
// cursor, and what a click or an edit does to the level behind the row.

#include <QColor>
#include <QString>

class TLevels;
class TPowerGrid;

class TGridHandlers {
public:
  TGridHandlers(TLevels &levels, TPowerGrid &grid);

  // Fills the grid from the level list.
  void Update();
  void CellClick(int column, int row);
  void EditingDone(int column, int row);
  bool SelectCell(int column, int row) const;
  // What a cell shows; fill receives the swatch colour. Null without a level.
  QString CellText(int column, int row, const QString &value, QColor *fill) const;

private:
  TLevels &FLevels;
  TPowerGrid &FGrid;
};
