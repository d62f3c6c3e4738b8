#pragma once
// Readers that draw text need an application object; offscreen, it needs no
// display. Made on the first call and kept for the life of the fuzz target.

#include <QGuiApplication>

inline void OffscreenApplication() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char *argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication application(argc, argv);
}
