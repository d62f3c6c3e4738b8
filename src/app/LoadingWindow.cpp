#include "LoadingWindow.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QProgressBar>
#include <QPushButton>

TLoadingWindow::TLoadingWindow(QWidget *owner, std::function<void(int, int)> mirror)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      FBar(new QProgressBar(this)), FCancelButton(new QPushButton("Cancel", this)),
      FMirror(std::move(mirror)) {
  setWindowTitle("Loading...");
  setFixedSize(345, 65);
  setWindowModality(Qt::WindowModal);
  FBar->setGeometry(16, 16, 225, 33);
  FCancelButton->setGeometry(249, 16, 80, 33);
  FCancelButton->setEnabled(false);
  FCancelButton->setToolTip("Stop here; the job stays as it was before");
  connect(FCancelButton, &QPushButton::clicked, this, [this] { reject(); });
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

void TLoadingWindow::ShowSteps(int value, int maximum) {
  FBar->setMaximum(std::max(maximum, 1));
  FBar->setValue(std::min(value, FBar->maximum()));
  if (FMirror)
    FMirror(FBar->value(), FBar->maximum());
}

void TLoadingWindow::SetCancel(std::function<void()> cancel) {
  FCancel = std::move(cancel);
  FCancelButton->setEnabled(FCancel != nullptr);
}

void TLoadingWindow::reject() {
  if (FCancel)
    FCancel();
}

void TLoadingWindow::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (const QWidget *owner = parentWidget(); owner && owner->isVisible())
    move(owner->geometry().center() - QPoint(width() / 2, height() / 2));
}

void TLoadingWindow::closeEvent(QCloseEvent *event) { event->ignore(); }
