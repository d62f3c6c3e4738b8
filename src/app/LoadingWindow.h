#pragma once
// The small window that shows how far a load or a save is.

#include <functional>

#include <QDialog>

class QProgressBar;
class QPushButton;

class TLoadingWindow : public QDialog {
public:
  // mirror receives (value, maximum) after every step: the main window's
  // CalcProgress bar.
  TLoadingWindow(QWidget *owner, std::function<void(int, int)> mirror);

  QProgressBar *Bar() const { return FBar; }
  // Advances by one; with cycle the end moves away too, so the bar never fills.
  // Lets pending input and repaints through before it returns.
  void Progress(bool cycle);
  // A job on a thread of its own has come this far.
  void ShowSteps(int value, int maximum);
  // Set while a job can be cancelled: the Cancel button and Escape call it.
  void SetCancel(std::function<void()> cancel);
  QPushButton *CancelButton() const { return FCancelButton; }

protected:
  // The window is closed only by the code that opened it; Escape cancels.
  void closeEvent(QCloseEvent *event) override;
  void reject() override;
  // Centred on the owner each time it opens, also before the desktop has
  // placed the owner after start-up.
  void showEvent(QShowEvent *event) override;

private:
  QProgressBar *FBar = nullptr;
  QPushButton *FCancelButton = nullptr;
  std::function<void(int, int)> FMirror;
  std::function<void()> FCancel;
};
