#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <memory>

#include "platform/Worker.h"
#include "support/TestSupport.h"

using TestSupport::WaitUntil;

namespace {
constexpr int kWaitMs = 5000;

void WaitFor(const std::atomic<int>& stage, int value) {  // without delivering any report
  while (stage < value) QThread::msleep(1);
}
}  // namespace

TEST(Worker, DestructionStopsAndJoinsEvenATaskWaitingOnTheUserInterface) {
  QObject receiver;
  std::atomic<int> stage{0};
  int reports = 0;
  {
    Worker<QObject> worker(&receiver);
    worker.Start([&](const WorkerRun<QObject>& run) {
      stage = 1;
      // No event is processed meanwhile: only the stop can end this wait.
      EXPECT_FALSE(run.Send([&](QObject*) { ++reports; }));
      EXPECT_TRUE(run.StopRequested());
      run.Post([&](QObject*) { ++reports; });
      stage = 2;
    });
    WaitFor(stage, 1);
  }
  EXPECT_EQ(stage, 2) << "the owner went before its task had ended";
  QCoreApplication::processEvents();
  EXPECT_EQ(reports, 0) << "a stopped run still reported";
}

TEST(Worker, ReportsReachOnlyALivingReceiverOnTheUserInterfaceThread) {
  auto receiver = std::make_unique<QObject>();
  Worker<QObject> worker(receiver.get());  // here the worker outlives its receiver
  std::atomic<int> stage{0};
  bool ranOnUiThread = false;
  int late = 0;
  worker.Start([&](const WorkerRun<QObject>& run) {
    EXPECT_TRUE(run.Send([&](QObject*) { ranOnUiThread = QThread::currentThread() == qApp->thread(); }));
    stage = 1;
    WaitFor(stage, 2);
    run.Post([&](QObject*) { ++late; });  // queued while the receiver lives
    stage = 3;
    WaitFor(stage, 4);
    EXPECT_FALSE(run.Send([&](QObject*) { ++late; }));
    stage = 5;
  });
  ASSERT_TRUE(WaitUntil([&] { return stage == 1; }, kWaitMs));
  EXPECT_TRUE(ranOnUiThread);
  stage = 2;
  WaitFor(stage, 3);
  receiver.reset();
  stage = 4;
  ASSERT_TRUE(WaitUntil([&] { return stage == 5; }, kWaitMs));
  QCoreApplication::processEvents();
  EXPECT_EQ(late, 0) << "a report reached a receiver that was gone";
  worker.Stop();
}
