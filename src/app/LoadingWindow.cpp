#include "LoadingWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QProgressBar>

TLoadingWindow::TLoadingWindow(QWidget *owner, std::function<void(int, int)> mirror)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      FBar(new QProgressBar(this)), FMirror(std::move(mirror)) {
  setWindowTitle("Loading...");
  setFixedSize(345, 65);
  setWindowModality(Qt::WindowModal);
  FBar->setGeometry(16, 16, 313, 33);
  FBar->setTextVisible(false);
  FBar->setRange(0, 30);
  FBar->setValue(0);
}

void TLoadingWindow::Progress(bool cycle) {
  if (cycle)
    FBar->setMaximum(FBar->maximum() + 1);
  // QProgressBar ignores a value beyond its maximum; readers never overshoot,
  // but the bar must not stall if one did.
  FBar->setValue(std::min(FBar->value() + 1, FBar->maximum()));
  if (FMirror)
    FMirror(FBar->value(), FBar->maximum());
  QCoreApplication::processEvents();
}

void TLoadingWindow::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (const QWidget *owner = parentWidget(); owner && owner->isVisible())
    move(owner->geometry().center() - QPoint(width() / 2, height() / 2));
}

void TLoadingWindow::closeEvent(QCloseEvent *event) { event->ignore(); }
