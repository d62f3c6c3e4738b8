#include "AppTest.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <thread>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/BackgroundJob.h"
#include "app/LoadingWindow.h"
#include "app/MainWindow.h"
#include "app/Menus.h"
#include "core/Levels.h"
#include "../common/Slowdown.h"

namespace {

// The longest the main thread went without serving a 20 ms timer.
class TFreezeProbe {
public:
  TFreezeProbe() {
    FTimer.setInterval(20);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      FLongest = std::max(FLongest, FSince.restart());
    });
    FSince.start();
    FTimer.start();
  }
  qint64 Longest() {
    FLongest = std::max(FLongest, FSince.elapsed());
    return FLongest;
  }

private:
  QTimer FTimer;
  QElapsedTimer FSince;
  qint64 FLongest = 0;
};

std::string ReadBytes(const QString &path) {
  std::ifstream file(path.toStdString(), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// A noisy picture: slow to read (its colours are sorted out pixel by pixel)
// and a few megabytes of G-code when saved.
QString LargeDrawing() {
  static const QString path = [] {
    QImage picture(720, 720, QImage::Format_RGB32);
    unsigned seed = 12345;
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x) {
        seed = seed * 1103515245u + 12345u;
        const int noise = static_cast<int>((seed >> 16) % 64);
        picture.setPixel(x, y, qRgb(std::min(255, x * 255 / 720 + noise), 96 + noise,
                                    std::min(255, y * 255 / 720 + noise)));
      }
    const QString file = TestFolder() + "/large.png";
    picture.save(file);
    return file;
  }();
  return path;
}

void SetOpen(TMainWindow &w, const QString &path) {
  w.OpenDialogHook = [path](QString &file, int &index) {
    file = path;
    index = 1;
    return true;
  };
}

bool Settled(TMainWindow &w) {
  return w.Levels().Count() > 0 && w.CalcResult->isVisibleTo(w.InputGroup) &&
         w.RightPanel->isEnabled();
}

// Clicks the loading window's Cancel button as soon as it can be clicked.
class TCanceller {
public:
  explicit TCanceller(TMainWindow &w) : FWindow(w) {
    FTimer.setInterval(5);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      TLoadingWindow *loading = FWindow.LoadingWindow();
      if (loading && loading->CancelButton()->isEnabled()) {
        loading->CancelButton()->click();
        Clicked = true;
        FTimer.stop();
      }
    });
    FTimer.start();
  }
  bool Clicked = false;

private:
  TMainWindow &FWindow;
  QTimer FTimer;
};

class BackgroundJobTest : public TWindowTest {};

} // namespace

TEST_F(BackgroundJobTest, AJobRunsOffTheMainThreadReportsAndHandsItsErrorBack) {
  QObject context;
  std::vector<std::pair<int, int>> shown;
  QStringList messages;
  TBackgroundJob job(
      &context, [&](int value, int maximum) { shown.emplace_back(value, maximum); },
      [&](const std::string &text) { messages << QString::fromStdString(text); });
  const std::thread::id main = std::this_thread::get_id();
  std::thread::id ran;
  EXPECT_TRUE(job.Run(
      [&](const TBackgroundSteps &steps) {
        ran = std::this_thread::get_id();
        steps.SetMax(5);
        for (int i = 0; i < 5; ++i)
          steps.Step();
        steps.Message("first");
        steps.Message("second");
      },
      1, 30));
  EXPECT_NE(ran, main);
  EXPECT_FALSE(job.Running());
  // Messages arrive on the main thread in order, before Run returns.
  EXPECT_EQ(messages, QStringList({"first", "second"}));
  ASSERT_FALSE(shown.empty());
  // The last report is the end: past the maximum never shows.
  EXPECT_EQ(shown.back(), std::make_pair(5, 5));

  EXPECT_THROW(job.Run([](const TBackgroundSteps &) { throw std::runtime_error("bad file"); }, 0,
                       1),
               std::runtime_error);
  EXPECT_FALSE(job.Running());
}

TEST_F(BackgroundJobTest, CancelStopsTheJobAtItsNextStepAndSwallowsItsFailure) {
  QObject context;
  TBackgroundJob job(&context, [](int, int) {}, [](const std::string &) {});
  struct TCase {
    const char *Name;
    bool ThrowAfterCancel;
  };
  for (const TCase c : {TCase{"stops at a step", false}, TCase{"fails once cancelled", true}}) {
    std::atomic<int> steps{0};
    QTimer::singleShot(30, [&] { job.Cancel(); });
    QElapsedTimer timer;
    timer.start();
    const bool done = job.Run(
        [&](const TBackgroundSteps &s) {
          // Would run for a minute if nothing stopped it.
          for (int i = 0; i < 6000; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            try {
              s.Step();
            } catch (...) {
              if (c.ThrowAfterCancel)
                throw std::runtime_error("half-read");
              throw;
            }
            ++steps;
          }
        },
        0, 6000);
    EXPECT_FALSE(done) << c.Name;
    EXPECT_LT(timer.elapsed(), 5000 * SanitizerSlowdown) << c.Name;
    EXPECT_GT(steps, 0) << c.Name;
    EXPECT_LT(steps, 6000) << c.Name;
  }
}

TEST_F(BackgroundJobTest, CancelDuringALoadKeepsThePreviousJob) {
  TMainWindow w;
  w.show();
  SetOpen(w, DrawingFixture("kept.svg"));
  w.OpenButtonClick();
  ASSERT_TRUE(PumpUntil([&] { return Settled(w); }, 20000));
  const QString path = TestFolder() + "/kept.gcode";
  w.SaveDialogHook = [path](const QString &, const QString &) { return path; };
  w.SaveButtonClick();
  const std::string before = ReadBytes(path);
  ASSERT_FALSE(before.empty());
  const QString title = w.windowTitle();
  const int levels = w.Levels().Count();
  const QImage preview = w.Levels().Preview();
  const QStringList recent = w.Menus().RecentFiles();

  SetOpen(w, LargeDrawing());
  TCanceller canceller(w);
  w.OpenButtonClick();
  EXPECT_TRUE(canceller.Clicked);
  EXPECT_EQ(w.LoadingWindow(), nullptr);
  EXPECT_TRUE(w.RightPanel->isEnabled());
  EXPECT_EQ(w.windowTitle(), title);
  EXPECT_EQ(w.Levels().Count(), levels);
  EXPECT_EQ(w.Levels().Preview(), preview);
  EXPECT_EQ(w.Menus().RecentFiles(), recent);
  EXPECT_TRUE(w.CalcResult->isVisibleTo(w.InputGroup));
  QFile::remove(path);
  w.SaveButtonClick();
  EXPECT_EQ(ReadBytes(path), before);

  // A cancelled save leaves no file, nor a temporary beside it.
  const QString cancelled = TestFolder() + "/cancelled/job.gcode";
  ASSERT_TRUE(QDir().mkpath(QFileInfo(cancelled).absolutePath()));
  SetOpen(w, LargeDrawing());
  w.OpenButtonClick();
  ASSERT_TRUE(PumpUntil([&] { return Settled(w); }, 60000 * SanitizerSlowdown));
  w.SaveDialogHook = [cancelled](const QString &, const QString &) { return cancelled; };
  TCanceller saveCanceller(w);
  w.SaveButtonClick();
  if (saveCanceller.Clicked) {
    EXPECT_TRUE(QDir(QFileInfo(cancelled).absolutePath()).isEmpty());
  }
  EXPECT_TRUE(w.CalcResult->isVisibleTo(w.InputGroup));
  EXPECT_TRUE(w.RightPanel->isEnabled());
}

TEST_F(BackgroundJobTest, ClosingDuringALoadCancelsItAndCloses) {
  TMainWindow w;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  SetOpen(w, LargeDrawing());
  bool closed = false;
  QTimer closer;
  closer.setInterval(5);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (w.LoadingWindow() && w.LoadingWindow()->CancelButton()->isEnabled()) {
      closed = w.close();
      closer.stop();
    }
  });
  closer.start();
  QElapsedTimer timer;
  timer.start();
  w.OpenButtonClick();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.Levels().Count(), 0);
  EXPECT_EQ(w.LoadingWindow(), nullptr);
  EXPECT_LT(timer.elapsed(), 10000 * SanitizerSlowdown);
}

// Loading and saving a large drawing never keeps the window from answering
// for long. Set BRENNIX_FREEZE_FILES to a list of files (separated by ":")
// to measure them as well, and BRENNIX_FREEZE_ACCELERATION to an
// acceleration (mm/s²) to measure with the running time that walks the job.
TEST_F(BackgroundJobTest, TheWindowKeepsAnsweringWhileLoadingAndSaving) {
  // Well above the 100 ms aimed at: a loaded machine and a virtual screen
  // stall now and then, while a read on the main thread stalls for seconds.
  const qint64 bound = 400 * SanitizerSlowdown;
  QStringList files{LargeDrawing()};
  if (const char *more = std::getenv("BRENNIX_FREEZE_FILES"))
    files << QString(more).split(':', Qt::SkipEmptyParts);
  TMainWindow w;
  w.resize(1000, 700);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  // A copper layer asks for its board outline: answered with no outline.
  QTimer dismisser;
  dismisser.setInterval(50);
  QObject::connect(&dismisser, &QTimer::timeout, [&w] {
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal->inherits("QDialog") && modal != w.LoadingWindow())
      QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
  });
  dismisser.start();
  const char *accelerationText = std::getenv("BRENNIX_FREEZE_ACCELERATION");
  const double acceleration = accelerationText ? std::atof(accelerationText) : 0;
  w.AccelerationBox->setValue(acceleration);
  // With an acceleration, processing ends when its figure is shown.
  auto settled = [&w, acceleration] {
    return Settled(w) && (acceleration <= 0 || (w.AccelResult->isVisibleTo(w.InputGroup) &&
                                                !w.AccelResult->text().endsWith("...")));
  };
  for (const QString &file : files) {
    SetOpen(w, file);
    qint64 loading = 0, processing = 0;
    {
      TFreezeProbe probe;
      w.OpenButtonClick();
      loading = probe.Longest();
      ASSERT_TRUE(PumpUntil(settled, 120000 * SanitizerSlowdown)) << file.toStdString();
      processing = probe.Longest();
    }
    const QString out = TestFolder() + "/probe.gcode";
    w.SaveDialogHook = [out](const QString &, const QString &) { return out; };
    TFreezeProbe probe;
    w.SaveButtonClick();
    const qint64 saving = probe.Longest();
    std::cout << "freeze probe " << QFileInfo(file).fileName().toStdString() << " ("
              << QFileInfo(file).size() << " bytes): load " << loading
              << " ms, load and processing " << processing << " ms, save " << saving << " ms ("
              << QFileInfo(out).size() << " bytes of G-code)"
              << (acceleration > 0 ? ", " + w.AccelResult->text().toStdString() : "") << std::endl;
    EXPECT_LT(loading, bound) << file.toStdString();
    EXPECT_LT(saving, bound) << file.toStdString();
    if (file == LargeDrawing()) {
      EXPECT_GT(QFileInfo(out).size(), 2'000'000);
    }
  }
}
