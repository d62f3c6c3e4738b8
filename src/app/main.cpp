// The desktop program: one window, the drawing named by the first argument.

#include <chrono>
#include <cstdlib>
#include <thread>

#include <QLabel>
#include <QStringList>
#include <QTimer>

#include "Application.h"
#include "MainWindow.h"
#include "Menus.h"

int main(int argc, char **argv) {
  TBrennixApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  int result = 0;
  {
    TMainWindow window(arguments.size() > 1 ? arguments[1] : QString());
    // For screenshots and documentation: grab the window once the estimate
    // shows, then quit (BRENNIX_SCREENSHOT=file.png).
    const QString screenshot = qEnvironmentVariable("BRENNIX_SCREENSHOT");
    if (screenshot.isEmpty())
      window.Menus().RestoreLayout();
    window.show();
    if (!screenshot.isEmpty()) {
      auto *timer = new QTimer(&window);
      const auto started = std::chrono::steady_clock::now();
      QObject::connect(timer, &QTimer::timeout, &window, [&window, screenshot, timer, started] {
        const bool waited = std::chrono::steady_clock::now() - started > std::chrono::seconds(60);
        const bool done = window.CalcResult->isVisible() && window.RightPanel->isEnabled() &&
                          std::chrono::steady_clock::now() - started > std::chrono::seconds(2);
        if (!done && !waited)
          return;
        timer->stop();
        window.grab().save(screenshot);
        QCoreApplication::quit();
      });
      timer->start(250);
    }
    result = app.exec();
    // The worker stops at its next check; should a computation not reach one
    // soon, the program still ends promptly.
    std::thread([] {
      std::this_thread::sleep_for(std::chrono::seconds(5));
      std::_Exit(0);
    }).detach();
  }
  return result;
}
