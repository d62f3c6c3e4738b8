#include "AppTest.h"

#include <atomic>
#include <stdexcept>
#include <thread>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/ZelUtils.h"

TEST(IdleExecution, BatchesRunInOrderAndRequeuedWorkWaitsATick) {
  std::vector<std::pair<char, int>> ran;
  ExecuteInIdle([&] {
    ran.push_back({'A', IdleTickCount()});
    ExecuteInIdle([&] { ran.push_back({'C', IdleTickCount()}); });
  });
  ExecuteInIdle([&] { ran.push_back({'B', IdleTickCount()}); });
  EXPECT_TRUE(ran.empty()); // not before the current event is done
  PumpUntil([&] { return ran.size() == 3; });
  ASSERT_EQ(ran.size(), 3u);
  EXPECT_EQ(ran[0].first, 'A');
  EXPECT_EQ(ran[1].first, 'B');
  EXPECT_EQ(ran[2].first, 'C');
  EXPECT_EQ(ran[0].second, ran[1].second);
  EXPECT_EQ(ran[2].second, ran[0].second + 1);
}

TEST(IdleExecution, AnErrorDropsTheRestOfItsBatchOnly) {
  TakeErrors();
  bool afterError = false, nextBatch = false;
  ExecuteInIdle([] { throw std::runtime_error("idle failure"); });
  ExecuteInIdle([&] { afterError = true; });
  PumpUntil([] { return !TakeErrors().isEmpty() || false; });
  Pump(50);
  EXPECT_FALSE(afterError);
  ExecuteInIdle([&] { nextBatch = true; });
  PumpUntil([&] { return nextBatch; });
  EXPECT_TRUE(nextBatch);
}

TEST(IdleExecution, OtherThreadsQueueOntoTheMainThread) {
  std::atomic<bool> ran = false;
  QThread *where = nullptr;
  std::thread([&] {
    ExecuteInIdle([&] {
      where = QThread::currentThread();
      ran = true;
    });
  }).join();
  PumpUntil([&] { return ran.load(); });
  EXPECT_TRUE(ran);
  EXPECT_EQ(where, qApp->thread());
}

TEST(IdleExecution, BackgroundWorkHandsStepsToTheMainThread) {
  std::atomic<bool> done = false;
  QThread *stepThread = nullptr;
  RunInBackground([&](const TSynchronizer &synchronize) {
    synchronize([&] { stepThread = QThread::currentThread(); });
    done = true;
  });
  PumpUntil([&] { return done.load(); });
  EXPECT_TRUE(done);
  EXPECT_EQ(stepThread, qApp->thread());
}

TEST(ShowDialog, StyleBits) {
  struct TCase {
    TMsgDlgType Type;
    TMsgDlgButtons Buttons;
    TMsgDlgBtn Default;
    std::uint32_t Style;
  };
  const TCase cases[] = {
      {mtConfirmation, Buttons({mbYes, mbNo, mbCancel}), mbCancel, 0x20 | 0x2000 | 3 | 0x200},
      {mtConfirmation, Buttons({mbYes, mbNo, mbCancel}), mbNo, 0x20 | 0x2000 | 3 | 0x100},
      {mtInformation, Buttons({mbOK, mbHelp}), mbOK, 0x40 | 0x2000 | 0x4000},
      {mtWarning, Buttons({mbAbort, mbRetry, mbIgnore}), mbRetry, 0x30 | 0x2000 | 2 | 0x100},
      {mtWarning, Buttons({mbAbort, mbRetry, mbIgnore, mbYes, mbNo}), mbIgnore,
       0x30 | 0x2000 | 2 | 0x200},
      {mtError, Buttons({mbYes, mbNo}), mbNo, 0x10 | 0x2000 | 4 | 0x100},
      {mtError, Buttons({mbYes, mbNo}), mbYes, 0x10 | 0x2000 | 4},
      {mtCustom, Buttons({mbRetry, mbCancel}), mbCancel, 0x2000 | 5 | 0x100},
      {mtError, Buttons({mbOK, mbCancel}), mbCancel, 0x10 | 0x2000 | 1 | 0x100},
      {mtWarning, Buttons({mbOK}), mbOK, 0x30 | 0x2000},
      {mtWarning, Buttons({mbCancel, mbHelp}), mbCancel, 0x30 | 0x2000 | 0x4000},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Style);
    EXPECT_EQ(DialogStyle(c.Type, c.Buttons, c.Default), c.Style);
  }
  EXPECT_EQ(DialogTitle(mtWarning, ""), "Warning");
  EXPECT_EQ(DialogTitle(mtConfirmation, ""), "Confirm");
  EXPECT_EQ(DialogTitle(mtError, "Mine"), "Mine");
  EXPECT_EQ(DialogTitle(mtCustom, ""), "Brennix");
}

TEST(ShowDialog, MessageBoxLayouts) {
  using B = QMessageBox::StandardButton;
  struct TCase {
    std::uint32_t Style;
    QList<B> Buttons;
    B Default;
    QMessageBox::Icon Icon;
  };
  const TCase cases[] = {
      {0x20 | 0x2000 | 3 | 0x200, {B::Yes, B::No, B::Cancel}, B::Cancel, QMessageBox::Question},
      {0x40 | 0x2000 | 0x4000, {B::Ok, B::Help}, B::Ok, QMessageBox::Information},
      {0x30 | 0x2000 | 2 | 0x100, {B::Abort, B::Retry, B::Ignore}, B::Retry, QMessageBox::Warning},
      {0x10 | 0x2000 | 5, {B::Retry, B::Cancel}, B::Retry, QMessageBox::Critical},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Style);
    std::unique_ptr<QMessageBox> box(BuildMessageBox("text", "title", c.Style));
    QList<B> buttons;
    for (QAbstractButton *button : box->buttons())
      buttons << box->standardButton(button);
    std::sort(buttons.begin(), buttons.end());
    QList<B> expected = c.Buttons;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(buttons, expected);
    EXPECT_EQ(box->standardButton(box->defaultButton()), c.Default);
    EXPECT_EQ(box->icon(), c.Icon);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
  }
}

TEST(ShowDialog, ShownAtIdleAndAnswerHandedBack) {
  std::optional<TMsgDlgBtn> answer;
  ShowDialog("Keep the changes?", mtConfirmation, "", [&](TMsgDlgBtn b) { answer = b; }, mbCancel,
             Buttons({mbYes, mbNo, mbCancel}));
  QString title;
  QTimer::singleShot(30, [&] {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    box->defaultButton()->click();
  });
  PumpUntil([&] { return answer.has_value(); });
  ASSERT_TRUE(answer);
  EXPECT_EQ(*answer, mbCancel);
  EXPECT_EQ(title, "Confirm");
}

TEST(ErrorDisplay, AnErrorEscapingAnEventHandlerIsShown) {
  class TThrower : public QObject {
  public:
    bool event(QEvent *) override { throw std::runtime_error("thrown in a handler"); }
  } thrower;
  TakeErrors();
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  Pump(20);
  EXPECT_EQ(TakeErrors(), QStringList({"thrown in a handler"}));
  Guarded([] { throw std::runtime_error("guarded"); });
  EXPECT_EQ(TakeErrors(), QStringList({"guarded"}));
}
