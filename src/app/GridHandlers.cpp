// The power grid's handlers: rows are the level list seen through ByIndex.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include <QGroupBox>

#include "GridHandlers.h"
#include "PowerGrid.h"
#include "core/Level.h"
#include "core/LevelLimits.h"
#include "core/Levels.h"
#include "core/Numbers.h"

namespace {

std::string Trimmed(const QString &text) { return text.trimmed().toStdString(); }

std::optional<std::int32_t> ParseInteger(const QString &text) {
  return ::ParseInteger<std::int32_t>(Trimmed(text));
}

std::optional<double> ParseNumber(const QString &text) { return ParseFiniteDouble(Trimmed(text)); }

// Hundredths of a mm/s: one decimal where that says it all, two where it would round.
QString SpeedText(std::int32_t speed) {
  return QLocale::c().toString(speed / 100.0, 'f', speed % 10 == 0 ? 1 : 2);
}

} // namespace

TGridHandlers::TGridHandlers(TLevels &levels, TPowerGrid &grid) : FLevels(levels), FGrid(grid) {}

void TGridHandlers::Update() {
  TLevels &levels = FLevels;
  FGrid.setRowCount(levels.Count());
  FGrid.setColumnWidth(ColumnPower, 50);
  int row = 0;
  for (; const TLevel *level = levels.ByIndex(row); ++row) {
    QString print;
    if (level->Kind() == lkPerimeter)
      print = QString::number(level->Style());
    else if (level->Kind() != lkOutline)
      print = level->Print() ? "5" : "4";
    FGrid.SetCellText(row, ColumnPrint, print);
    FGrid.SetCellText(row, ColumnLayer, QString::number(level->Height()));
    FGrid.SetCellText(row, ColumnSpeed, SpeedText(level->Speed()));
    FGrid.SetCellText(row, ColumnPasses, QString::number(level->Passes()));
    FGrid.SetCellText(row, ColumnPower,
                      QString::number(static_cast<int>(std::nearbyint(level->Power() / 2.55))));
    for (int column = ColumnPrint; column <= ColumnPower; ++column) {
      Qt::ItemFlags flags = Qt::ItemIsEnabled;
      if (SelectCell(column, row))
        flags |= Qt::ItemIsSelectable;
      if (column != ColumnPrint && SelectCell(column, row))
        flags |= Qt::ItemIsEditable;
      FGrid.item(row, column)->setFlags(flags);
    }
  }
  FGrid.setRowCount(row);
  FGrid.FitColumns();
  FGrid.viewport()->update();
}

bool TGridHandlers::SelectCell(int column, int row) const {
  if (column != ColumnLayer)
    return true;
  const TLevel *level = FLevels.ByIndex(row);
  return level && level->Kind() == lkPerimeter;
}

void TGridHandlers::EditingDone(int column, int row) {
  TLevel *level = FLevels.ByIndex(row);
  if (!level)
    return;
  const QTableWidgetItem *cell = FGrid.item(row, column);
  const QString text = cell ? cell->text() : QString();
  switch (column) {
  case ColumnLayer:
    level->SetHeight(
        Limited(ParseInteger(text).value_or(level->Height()), LevelField(lfHeight).Grid));
    break;
  case ColumnPasses:
    level->SetPasses(
        Limited(ParseInteger(text).value_or(level->Passes()), LevelField(lfPasses).Grid));
    break;
  case ColumnSpeed: {
    const double v = ParseNumber(text).value_or(level->Speed() / 100.0);
    level->SetSpeed(RoundLimited(v * 100, LevelField(lfSpeed).Grid));
    break;
  }
  case ColumnPower: {
    // p × 255 / 100 rather than p × 2.55: 50 % must give 127.5 and so 128.
    const double p = ParseNumber(text).value_or(level->Power() * 100 / 255.0);
    level->SetPower(RoundLimited(p * 255 / 100, LevelField(lfPower).Grid));
    break;
  }
  default:
    break;
  }
  Update();
}

void TGridHandlers::CellClick(int column, int row) {
  if (column != ColumnPrint)
    return;
  TLevels &levels = FLevels;
  TLevel *level = levels.ByIndex(row);
  if (!level || level->Kind() == lkOutline)
    return;
  const int index = levels.IndexOf(level);
  if (level->Kind() == lkPerimeter) {
    // Clicks step through the hatch styles and back to the first.
    const auto style =
        static_cast<TLevelStyle>((level->Style() + 1) % (LevelField(lfStyle).Grid.Maximum + 1));
    level->SetStyle(style);
    if (index > 0)
      levels.Item(index - 1)->SetStyle(style);
  } else {
    level->SetPrint(!level->Print());
    if (level->Kind() == lkArea && index + 1 < levels.Count())
      levels.Item(index + 1)->SetPrint(level->Print());
  }
  Update();
}

QString TGridHandlers::CellText(int column, int row, const QString &value, QColor *fill) const {
  const TLevel *level = FLevels.ByIndex(row);
  if (!level)
    return QString();
  const bool outline = FLevels.Outline();
  switch (column) {
  case ColumnLayer:
    if (outline)
      return "Outline";
    if (level->Kind() == lkPerimeter)
      return level->Height() == 1 ? QString("1 shell") : value + " shells";
    *fill = QColor::fromRgb(level->Color() | 0xff000000u);
    return QString::fromStdString(level->Name());
  case ColumnSpeed:
    return value + " mm/s";
  case ColumnPower:
    return value + " %";
  default:
    return value.isNull() ? QString("") : value;
  }
}
