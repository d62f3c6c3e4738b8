#include "PowerGrid.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QUrl>
#include <QWheelEvent>

namespace {
// The narrowest each column gets, whatever it shows.
constexpr int StartWidths[] = {24, 76, 76, 50, 50};
} // namespace

QPixmap GridGlyph(int index, const QStyle *style) {
  if (index == 4 || index == 5) {
    // The toolkit's own check box, at its own size.
    const int w = style->pixelMetric(QStyle::PM_IndicatorWidth);
    const int h = style->pixelMetric(QStyle::PM_IndicatorHeight);
    QPixmap pixmap(w, h);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QStyleOptionButton option;
    option.rect = QRect(0, 0, w, h);
    option.state = QStyle::State_Enabled | (index == 5 ? QStyle::State_On : QStyle::State_Off);
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter);
    return pixmap;
  }
  // The hatch styles as 16 x 16 tiles: horizontal, diagonal down, vertical, diagonal up.
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::white);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(40, 40, 40), 1.4));
  painter.setClipRect(1, 1, 14, 14);
  for (int k = -16; k <= 32; k += 4) {
    switch (index) {
    case 0:
      painter.drawLine(QPointF(0, k + 0.5), QPointF(16, k + 0.5));
      break;
    case 1:
      painter.drawLine(QPointF(k, 0), QPointF(k + 16, 16));
      break;
    case 2:
      painter.drawLine(QPointF(k + 0.5, 0), QPointF(k + 0.5, 16));
      break;
    case 3:
      painter.drawLine(QPointF(k, 16), QPointF(k + 16, 0));
      break;
    default:
      break;
    }
  }
  painter.setClipping(false);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QColor(120, 120, 120));
  painter.drawRect(0, 0, 15, 15);
  return pixmap;
}

// Draws each cell from its value: units appended, names, glyphs, colour swatches.
class TPowerGridDelegate : public QStyledItemDelegate {
public:
  explicit TPowerGridDelegate(TPowerGrid *grid) : QStyledItemDelegate(grid), FGrid(grid) {}

  void paint(QPainter *painter, const QStyleOptionViewItem &option,
             const QModelIndex &index) const override {
    if (!FGrid->OnDrawCell)
      return;
    const QString value = index.data().toString();
    QColor fill;
    const QString text = FGrid->OnDrawCell(index.column(), index.row(), value, &fill);
    if (text.isNull())
      return; // no level in this row
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    if (index.column() == ColumnPrint) {
      opt.text.clear();
      QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
      bool ok = false;
      const int glyph = value.toInt(&ok);
      if (ok) {
        const QPixmap pixmap = GridGlyph(glyph, QApplication::style());
        const QPoint at = option.rect.center() - QPoint(pixmap.width() / 2, pixmap.height() / 2);
        painter->drawPixmap(at + QPoint(1, 1), pixmap);
      }
      return;
    }
    if (fill.isValid())
      painter->fillRect(option.rect, fill);
    opt.text = text;
    if (fill.isValid()) {
      // Readable on the swatch whatever its colour.
      const bool dark = 299 * fill.red() + 587 * fill.green() + 114 * fill.blue() < 140000;
      opt.palette.setColor(QPalette::Text, dark ? Qt::white : Qt::black);
      opt.backgroundBrush = Qt::NoBrush;
    }
    QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
  }

  QString Shown(const QModelIndex &index) const {
    QColor fill;
    return FGrid->OnDrawCell
               ? FGrid->OnDrawCell(index.column(), index.row(), index.data().toString(), &fill)
               : index.data().toString();
  }

  void setModelData(QWidget *editor, QAbstractItemModel *model,
                    const QModelIndex &index) const override {
    QStyledItemDelegate::setModelData(editor, model, index);
    if (FGrid->OnEditingDone)
      FGrid->OnEditingDone(index.column(), index.row());
  }

private:
  TPowerGrid *FGrid;
};

TPowerGrid::TPowerGrid(QWidget *parent) : QTableWidget(0, 5, parent) {
  setHorizontalHeaderLabels({"", "Layer", "Speed", "Passes", "Power"});
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(RowHeight());
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setSectionResizeMode(ColumnPrint, QHeaderView::Fixed);
  horizontalHeader()->setFixedHeight(RowHeight());
  horizontalHeader()->setMinimumSectionSize(24);
  for (int column = ColumnPrint; column <= ColumnPower; ++column)
    setColumnWidth(column, StartWidths[column]);
  FUserWidths = QList<int>(5, 0);
  horizontalHeader()->setStretchLastSection(true);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int column, int, int width) {
            if (FFitting)
              return;
            // The stretched last column follows the grid's width, not the user.
            if (column != ColumnPower)
              FUserWidths[column] = width;
            if (OnColumnsChanged)
              OnColumnsChanged();
          });
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked |
                  QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
  setTabKeyNavigation(true);
  setShowGrid(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Columns widened past the grid scroll; the group makes room for the bar.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Its columns never widen the panel: it scrolls instead.
  setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
  setItemDelegate(new TPowerGridDelegate(this));
}

void TPowerGrid::FitColumns() {
  const QFontMetrics metrics(font());
  const QFontMetrics headerMetrics(horizontalHeader()->font());
  const auto *delegate = static_cast<const TPowerGridDelegate *>(itemDelegate());
  FFitting = true;
  for (int column = ColumnLayer; column <= ColumnPower; ++column) {
    int width =
        std::max(StartWidths[column],
                 headerMetrics.horizontalAdvance(horizontalHeaderItem(column)->text()) + 16);
    for (int row = 0; row < rowCount(); ++row) {
      QTableWidgetItem *cell = item(row, column);
      if (!cell)
        continue;
      const QString shown = delegate->Shown(indexFromItem(cell));
      cell->setToolTip(shown);
      width = std::max(width, metrics.horizontalAdvance(shown) + 12);
    }
    setColumnWidth(column, FUserWidths[column] > 0 ? FUserWidths[column] : width);
  }
  FFitting = false;
  if (OnColumnsChanged)
    OnColumnsChanged();
}

int TPowerGrid::ScrollBarRoom() const {
  int total = 0;
  for (int column = ColumnPrint; column <= ColumnPower; ++column)
    total += column == ColumnPower ? StartWidths[column] : columnWidth(column);
  const int room = width() - 2 * frameWidth();
  return total > room ? horizontalScrollBar()->sizeHint().height() : 0;
}

void TPowerGrid::resizeEvent(QResizeEvent *event) {
  QTableWidget::resizeEvent(event);
  if (OnColumnsChanged)
    OnColumnsChanged();
}

void TPowerGrid::SetCellText(int row, int column, const QString &text) {
  QTableWidgetItem *cell = item(row, column);
  if (!cell) {
    cell = new QTableWidgetItem;
    setItem(row, column, cell);
  }
  cell->setText(text);
}

void TPowerGrid::mousePressEvent(QMouseEvent *event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  QTableWidget::mousePressEvent(event);
  FPressOpen = true;
  if (event->button() == Qt::LeftButton && index.isValid() && index.column() == ColumnPrint &&
      OnCellClick)
    OnCellClick(index.column(), index.row());
}

void TPowerGrid::mouseDoubleClickEvent(QMouseEvent *event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && index.isValid() && index.column() == ColumnPrint) {
    // Some platforms deliver the second press of a double click before the
    // double click itself, others only the double click: count one of them.
    if (!FPressOpen && OnCellClick)
      OnCellClick(index.column(), index.row());
    FPressOpen = true;
    return;
  }
  QTableWidget::mouseDoubleClickEvent(event);
}

void TPowerGrid::mouseReleaseEvent(QMouseEvent *event) {
  FPressOpen = false;
  QTableWidget::mouseReleaseEvent(event);
}

void TPowerGrid::keyPressEvent(QKeyEvent *event) {
  const bool toggle = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                       event->key() == Qt::Key_Space) &&
                      currentColumn() == ColumnPrint && currentRow() >= 0;
  if (toggle && OnCellClick)
    OnCellClick(ColumnPrint, currentRow());
  // Not consumed: the grid still moves or edits as it would.
  QTableWidget::keyPressEvent(event);
}
