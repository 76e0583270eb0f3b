#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <memory>

#include "platform/Worker.h"
#include "support/TestSupport.h"

using TestSupport::WaitUntil;

namespace {
constexpr int kWaitMs = 5000;
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
      run.Post([&](QObject*) { ++reports; });
      stage = 2;
    });
    while (stage < 1) QThread::msleep(1);  // without delivering any report
  }
  EXPECT_EQ(stage, 2) << "the owner went before its task had ended";
  QCoreApplication::processEvents();
  EXPECT_EQ(reports, 0) << "a stopped run still reported";
}

// Reports run on the user-interface thread, and are dropped once the receiver is gone.
TEST(Worker, ReportsReachOnlyALivingReceiverOnTheUserInterfaceThread) {
  auto receiver = std::make_unique<QObject>();
  Worker<QObject> worker(receiver.get());  // here the worker outlives its receiver
  std::atomic<int> stage{0};
  int late = 0;
  worker.Start([&](const WorkerRun<QObject>& run) {
    EXPECT_TRUE(run.Send([&](QObject*) { EXPECT_EQ(QThread::currentThread(), qApp->thread()); }));
    run.Post([&](QObject*) { receiver.reset(); });
    run.Post([&](QObject*) { ++late; });
    EXPECT_FALSE(run.Send([&](QObject*) { ++late; }));
    stage = 1;
  });
  ASSERT_TRUE(WaitUntil([&] { return stage == 1; }, kWaitMs));
  QCoreApplication::processEvents();
  EXPECT_EQ(late, 0) << "a report reached a receiver that was gone";
}
