#pragma once
// The Qt application with the last safety net for errors in event handlers.

#include <QApplication>

class TBrennixApplication : public QApplication {
public:
  TBrennixApplication(int &argc, char **argv);
  // An error that escaped a handler is shown; the window stays usable.
  bool notify(QObject *receiver, QEvent *event) override;
};
