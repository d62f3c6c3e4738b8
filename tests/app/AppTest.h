#pragma once
// Shared set-up of the window tests: a private settings folder, collected
// error messages and a drawing written on the fly.

#include <functional>
#include <ostream>
#include <string>

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

// Errors shown by the standard error display since the last call.
QStringList TakeErrors();
// A folder that lives as long as the test program.
QString TestFolder();
// Writes text to a file in the test folder and returns its path.
QString WriteFixture(const QString &name, const std::string &text);
// 200 mm by 100 mm: a red square (an area level) and a blue line (a lines level).
QString DrawingFixture(const QString &name = "drawing.svg");
// Empties the settings store.
void ClearSettings();
// Lets queued events, timers and hand-overs run for about ms milliseconds.
void Pump(int ms);
// Lets events run until done() holds or about timeoutMs have passed; returns done().
// Waits on a loaded machine as long as needed where a fixed Pump would guess.
bool PumpUntil(const std::function<bool()> &done, int timeoutMs = 5000);

// Readable QString values in test failures.
inline void PrintTo(const QString &text, std::ostream *os) {
  *os << '"' << text.toStdString() << '"';
}
// 20 mm of one line only: cheap to process at any print size.
QString SmallFixture();

// A window test starts from an empty store and ends with no error shown.
class TWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    ClearSettings();
    TakeErrors();
  }
  void TearDown() override { EXPECT_EQ(TakeErrors(), QStringList()); }
};
