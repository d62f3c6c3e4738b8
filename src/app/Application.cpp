#include "Application.h"

#include "ZelUtils.h"

TBrennixApplication::TBrennixApplication(int &argc, char **argv) : QApplication(argc, argv) {
  setApplicationName("brennix");
  setApplicationDisplayName("Brennix");
  setOrganizationName("Kelvanor");
  setDesktopFileName("brennix");
  SetIdleErrorDisplay(ShowError);
}

bool TBrennixApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &error) {
    ShowError(error.what());
  } catch (...) {
    ShowError("Unknown error");
  }
  return false;
}
