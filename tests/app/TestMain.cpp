#include "AppTest.h"

#include <cstdlib>
#include <fstream>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/ZelUtils.h"
#include "settings/Configuration.h"

namespace {
QStringList Errors;
QTemporaryDir *Folder = nullptr;
} // namespace

QStringList TakeErrors() {
  QStringList result = Errors;
  Errors.clear();
  return result;
}

QString TestFolder() { return Folder->path(); }

QString WriteFixture(const QString &name, const std::string &text) {
  const QString path = Folder->filePath(name);
  std::ofstream(path.toStdString(), std::ios::binary) << text;
  return path;
}

QString DrawingFixture(const QString &name) {
  return WriteFixture(
      name,
      R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 200 100" width="200mm" height="100mm">
<rect x="0" y="0" width="100" height="100" fill="red"/>
<polyline points="120,0 200,100" stroke="blue" stroke-width="1" fill="none"/>
</svg>
)");
}

QString SmallFixture() {
  return WriteFixture(
      "small.svg",
      R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 20 10" width="20mm" height="10mm">
<polyline points="0,0 20,10" stroke="blue" stroke-width="1" fill="none"/>
</svg>
)");
}

void ClearSettings() { QFile::remove(QString::fromStdString(TZelConfiguration::StorePath())); }

void Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool PumpUntil(const std::function<bool()> &done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < timeoutMs)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

int main(int argc, char **argv) {
  QTemporaryDir folder;
  Folder = &folder;
  // The tests never touch the user's own settings.
  setenv("XDG_CONFIG_HOME", folder.filePath("config").toLocal8Bit().constData(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TZelConfiguration::SetKeyName("brennix-apptest");
  TBrennixApplication app(argc, argv);
  SetErrorDisplay([](const std::string &message) { Errors << QString::fromStdString(message); });
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
